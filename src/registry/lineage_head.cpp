#include "registry/lineage_head.hpp"

#include <array>

#include <limits>

#include "core/json/record.hpp"
#include "core/verdict.hpp"
#include "did/did_url.hpp"
#include "did/did_web.hpp"
#include "did/key_select.hpp"
#include "registry/receipt.hpp"

namespace zelq::registry {

namespace {

using H = LineageHeadReceipt;

json::PResult<void> value_u32(const json::Value& v, H& h) {
  if (v.type() == json::Type::UInt && v.as_u64() <= std::numeric_limits<std::uint32_t>::max()) {
    h.head_version = static_cast<std::uint32_t>(v.as_u64());
    return {};
  }
  if (v.type() == json::Type::UInt || v.type() == json::Type::Int) {
    return fail(json::ParseError{"invalid value: " + json::unexpected_desc(v) + ", expected u32"});
  }
  return fail(json::invalid_type(v, "u32"));
}

json::PResult<void> value_signature(const json::Value& v, H& h) {
  auto s = wire::signature_from_value(v);
  if (!s) return fail(std::move(s).error());
  h.signature = std::move(*s);
  return {};
}

constexpr json::Field<H> kFields[] = {
    json::string_field<H, &H::receipt_version>("receipt_version"),
    json::string_field<H, &H::registry_did>("registry_did"),
    json::string_field<H, &H::lineage_id>("lineage_id"),
    json::string_field<H, &H::head_ctx_id>("head_ctx_id"),
    {"head_version", json::Presence::Required, nullptr, &value_u32, nullptr, nullptr, &json::scalar_prune},
    json::string_field<H, &H::head_status>("head_status"),
    json::utc_time_field<H, &H::as_of>("as_of"),
    {"signature", json::Presence::Required, nullptr, &value_signature, nullptr, nullptr, &json::prune_of<wire::Signature, wire::kSignatureRecord>},
};

constexpr json::Record<H> kHeadRecord{"LineageHeadReceipt", kFields, json::Unknown::Deny, true};

ZelqError head_error(std::string message) { return invalid_receipt("lineage_head_receipt " + std::move(message)); }

ZResult<void> lineage_head_as_of(const json::Value& raw) {
  return check_canonical_time_member(&raw, "as_of", "lineage_head_receipt as_of", "RFC-ZELQ-0011 \u00a7" "4",
                                     ErrorKind::InvalidReceipt);
}

// The members of an expectation, the only ones its reader looks at.
enum ExpectedMember : std::size_t { kAuthority, kRegistryDid, kLineageId, kHeadCtxId, kHeadVersion, kHeadStatus, kOnCurrentEndpoint };
constexpr std::array<std::string_view, 7> kExpectedMembers{
    "authority", "registry_did", "lineage_id", "head_ctx_id", "head_version", "head_status", "on_current_endpoint"};

const json::Value* expected_member(const json::Value& expected, ExpectedMember m) {
  return expected.get(kExpectedMembers[m]);
}

const std::string* expected_string(const json::Value& expected, ExpectedMember m) {
  return raw_string_member(expected, kExpectedMembers[m]);
}

bool is_superseded_or_retracted(const wire::ContextStatus& s) {
  return s.kind == wire::ContextStatus::Kind::Superseded || s.kind == wire::ContextStatus::Kind::Retracted;
}

}  // namespace

Result<LineageHeadExpectation, ArgumentError> parse_lineage_head_expectation(const json::Value& expected) {
  const auto bad = [](std::string message) { return fail(ArgumentError{std::move(message)}); };
  if (!expected.is_object()) return bad("expected must be a JSON object");
  LineageHeadExpectation e;
  const std::string* authority = expected_string(expected, kAuthority);
  const std::string* registry_did = expected_string(expected, kRegistryDid);
  if (!authority && !registry_did) {
    return bad(
        "expected must carry 'authority' (the serving authority the response was fetched from) and/or "
        "'registry_did' (capabilities.registry_did)");
  }
  if (authority && registry_did) {
    e.authority = *authority;
    e.registry_did = *registry_did;
  } else if (authority) {
    e.authority = *authority;
    e.registry_did = did::did_web_from_authority(*authority);
  } else {
    auto derived = did::derive_authority_from_registry_did(*registry_did);
    if (!derived) return bad("expected.registry_did " + quoted(*registry_did) + " is not a did:web DID");
    e.authority = std::move(*derived);
    e.registry_did = *registry_did;
  }

  const std::string* lineage_id = expected_string(expected, kLineageId);
  if (!lineage_id) return bad("expected.lineage_id is required");
  if (auto v = wire::validate_lineage_id(*lineage_id); !v) return bad("expected.lineage_id: " + v.error().display());
  e.lineage_id = *lineage_id;

  const std::string* head_ctx_id = expected_string(expected, kHeadCtxId);
  if (!head_ctx_id) return bad("expected.head_ctx_id is required");
  if (auto v = wire::validate_ctx_id(*head_ctx_id); !v) return bad("expected.head_ctx_id: " + v.error().display());
  e.head_ctx_id = *head_ctx_id;

  const json::Value* version = expected_member(expected, kHeadVersion);
  if (!version || version->type() != json::Type::UInt || version->as_u64() > std::numeric_limits<std::uint32_t>::max()) {
    return bad("expected.head_version is required and must be an unsigned integer");
  }
  e.head_version = static_cast<std::uint32_t>(version->as_u64());

  const std::string* status = expected_string(expected, kHeadStatus);
  if (!status) return bad("expected.head_status is required");
  auto s = wire::validate_status(*status);
  if (!s) return bad("expected.head_status: " + s.error().display());
  e.head_status = std::move(*s);

  const json::Value* current = expected_member(expected, kOnCurrentEndpoint);
  e.on_current_endpoint = !(current && current->is_bool()) || current->as_bool();
  return e;
}

ZResult<LineageHeadReceipt> parse_lineage_head_receipt(const json::Value& raw) {
  auto read = json::read_record(raw, kHeadRecord);
  if (!read) return fail(head_error("does not parse: " + read.error().display()));
  LineageHeadReceipt r = std::move(*read);
  if (r.receipt_version != kLineageHeadReceiptVersion) {
    return fail(head_error("receipt_version " + quoted(r.receipt_version) + " \u2260 " +
                           quoted(kLineageHeadReceiptVersion) + " (RFC-ZELQ-0011 \u00a7" "4)"));
  }
  if (r.head_version < 1) return fail(head_error("head_version must be >= 1"));
  auto status = wire::validate_status(r.head_status);
  if (!status) return fail(head_error("head_status: " + status.error().display()));
  if (is_superseded_or_retracted(*status)) {
    return fail(head_error("head_status must never be " + quoted(r.head_status) +
                           " (RFC-ZELQ-0011 \u00a7" "4: a superseded version is never the head; "
                           "RFC-ZELQ-0013 \u00a7" "8.3: a retracted version is never served as head)"));
  }
  if (!did::is_did_web(r.registry_did)) {
    return fail(head_error("registry_did " + quoted(r.registry_did) + " must be did:web (RFC-ZELQ-0011 \u00a7" "4)"));
  }
  ZELQ_TRY(lineage_head_as_of(raw));
  return r;
}

ZResult<void> check_head_registry(const LineageHeadReceipt& r, std::string_view authority,
                                  std::string_view registry_did) {
  const std::string serving = did::did_web_from_authority(authority);
  if (r.registry_did != serving) {
    return fail(head_error("registry_did " + quoted(r.registry_did) + " \u2260 serving authority's DID " +
                           quoted(serving) + " (RFC-ZELQ-0011 \u00a7" "7 step 3)"));
  }
  if (r.registry_did != registry_did) {
    return fail(head_error("registry_did " + quoted(r.registry_did) + " \u2260 capabilities.registry_did " +
                           quoted(registry_did) + " (RFC-ZELQ-0011 \u00a7" "7 step 3)"));
  }
  const std::string_view key_id = r.signature.key_id;
  if (!did::is_key_id_under_did(key_id, r.registry_did)) {
    return fail(head_error("signature.key_id " + quoted(key_id) + " is not a DID URL under registry_did " +
                           quoted(r.registry_did) + " (RFC-ZELQ-0011 \u00a7" "7 step 3)"));
  }
  const std::string_view head_authority = wire::split_ctx_id(r.head_ctx_id);
  if (did::did_web_from_authority(head_authority) != r.registry_did) {
    return fail(head_error("head_ctx_id authority " + quoted(head_authority) + " \u2260 registry_did " +
                           quoted(r.registry_did) + " (RFC-ZELQ-0011 \u00a7" "7 step 3: lineages are single-registry)"));
  }
  return {};
}

ZResult<void> check_head_lineage(const LineageHeadReceipt& r, std::string_view lineage_id) {
  if (r.lineage_id != lineage_id) {
    return fail(head_error("lineage_id " + quoted(r.lineage_id) + " \u2260 requested lineage " + quoted(lineage_id) +
                           " (RFC-ZELQ-0011 \u00a7" "7 step 4)"));
  }
  return {};
}

ZResult<void> check_head_against_served(const LineageHeadReceipt& r, std::string_view served_ctx_id,
                                        std::uint32_t served_version, const wire::ContextStatus& served_status,
                                        bool on_current_endpoint) {
  const bool same_head = r.head_ctx_id == served_ctx_id;
  if (on_current_endpoint && !same_head) {
    return fail(head_error("head_ctx_id " + quoted(r.head_ctx_id) + " \u2260 served ctx_id " + quoted(served_ctx_id) +
                           " (RFC-ZELQ-0011 \u00a7" "7 step 5: /current must serve the attested head)"));
  }
  if (same_head) {
    if (r.head_version != served_version) {
      return fail(head_error("head_version " + std::to_string(r.head_version) + " \u2260 served body.version " +
                             std::to_string(served_version) + " (RFC-ZELQ-0011 \u00a7" "7 step 5)"));
    }
    if (r.head_status != served_status.word()) {
      return fail(head_error("head_status " + quoted(r.head_status) + " \u2260 served registry_state.status " +
                             quoted(served_status.word()) + " (RFC-ZELQ-0011 \u00a7" "7 step 5)"));
    }
    return {};
  }
  // A full retrieval of an older version: the receipt may name a newer head,
  // but only of a context the registry itself marks as replaced.
  if (r.head_version <= served_version) {
    return fail(head_error("names a different head " + quoted(r.head_ctx_id) + " but head_version " +
                           std::to_string(r.head_version) + " is not greater than the served body.version " +
                           std::to_string(served_version) + " (RFC-ZELQ-0011 \u00a7" "7 step 5b)"));
  }
  if (!is_superseded_or_retracted(served_status)) {
    return fail(head_error("names a different head " + quoted(r.head_ctx_id) + " but the served context's status is " +
                           quoted(served_status.word()) +
                           ", not 'superseded' (or 'retracted', RFC-ZELQ-0013 \u00a7" "7.2) \u2014 self-contradictory "
                           "response (RFC-ZELQ-0011 \u00a7" "7 step 5b)"));
  }
  return {};
}

ZResult<void> check_as_of_fresh(const LineageHeadReceipt& r, const ConsumerClock& clock) {
  if (beyond_skew(r.as_of, clock)) {
    return fail(head_error("as_of " + quoted(format_rfc3339_millis(r.as_of)) + " is in the future beyond the " +
                           std::to_string(clock.skew_secs) + "s clock-skew allowance (consumer clock " +
                           quoted(format_rfc3339_millis(clock.now)) + ") \u2014 forged freshness claim "
                           "(RFC-ZELQ-0011 \u00a7" "7 step 6)"));
  }
  return {};
}

std::string verify_lineage_head_receipt(const json::Value& raw, const LineageHeadExpectation& expected,
                                        std::string_view registry_did_doc_json, const ConsumerClock& clock,
                                        std::int64_t max_age_secs) {
  auto receipt = parse_lineage_head_receipt(raw);
  if (!receipt) return failure_verdict_json(receipt.error());
  const LineageHeadReceipt& r = *receipt;
  if (auto c = check_head_registry(r, expected.authority, expected.registry_did); !c) return failure_verdict_json(c.error());
  if (auto c = check_head_lineage(r, expected.lineage_id); !c) return failure_verdict_json(c.error());
  if (auto c = check_head_against_served(r, expected.head_ctx_id, expected.head_version, expected.head_status,
                                         expected.on_current_endpoint);
      !c) {
    return failure_verdict_json(c.error());
  }
  if (auto c = check_as_of_fresh(r, clock); !c) return failure_verdict_json(c.error());

  auto key = did::resolve_signature_key(registry_did_doc_json, r.registry_did, r.signature.key_id,
                                        r.signature.algorithm, false);
  if (!key) return failure_verdict_json(key.error());
  auto digest = receipt_signing_digest(raw, "lineage_head_receipt");
  if (!digest) return failure_verdict_json(digest.error());
  if (auto s = verify_receipt_signature(r.signature, *digest, key->key); !s) return failure_verdict_json(s.error());

  const std::int64_t age = whole_seconds_between(clock.now, r.as_of);
  std::string out = "{\"valid\":true,\"stale\":";
  out += age > max_age_secs ? "true" : "false";
  out += ",\"age_secs\":" + std::to_string(age) + ",\"historical\":";
  out += key->historical ? "true" : "false";
  out += '}';
  return out;
}

const json::Prune* lineage_head_receipt_prune() { return json::prune_of<H, kHeadRecord>(); }

const json::Prune* lineage_head_expectation_prune() {
  static const json::Prune p = json::scalar_members_prune(kExpectedMembers);
  return &p;
}

}  // namespace zelq::registry
