#include "registry/log_leaf.hpp"

#include "core/json/writer.hpp"
#include "core/json/canonical.hpp"
#include "core/json/record.hpp"
#include "registry/merkle.hpp"
#include "registry/receipt.hpp"

namespace zelq::registry {

namespace {

constexpr json::Field<LogLeaf> kFields[] = {
    json::string_field<LogLeaf, &LogLeaf::leaf_version>("leaf_version"),
    json::string_field<LogLeaf, &LogLeaf::ctx_id>("ctx_id"),
    json::string_field<LogLeaf, &LogLeaf::lineage_id>("lineage_id"),
    json::string_field<LogLeaf, &LogLeaf::origin_registry>("origin_registry"),
    json::utc_time_field<LogLeaf, &LogLeaf::created_at>("created_at"),
    json::string_field<LogLeaf, &LogLeaf::content_hash>("content_hash"),
    json::string_field<LogLeaf, &LogLeaf::key_fingerprint>("key_fingerprint"),
    json::string_field<LogLeaf, &LogLeaf::receipt_hash>("receipt_hash"),
};

ZelqError leaf_error(std::string text) { return ZelqError::text(ErrorKind::InvalidLogProof, std::move(text)); }

// The members in declaration order with their texts.
template <class F>
void for_each_member(const LogLeaf& leaf, F&& f) {
  f("leaf_version", leaf.leaf_version);
  f("ctx_id", leaf.ctx_id);
  f("lineage_id", leaf.lineage_id);
  f("origin_registry", leaf.origin_registry);
  f("created_at", format_rfc3339_millis(leaf.created_at));
  f("content_hash", leaf.content_hash);
  f("key_fingerprint", leaf.key_fingerprint);
  f("receipt_hash", leaf.receipt_hash);
}

}  // namespace

const json::Record<LogLeaf> kLogLeafRecord{"LogLeaf", kFields, json::Unknown::Deny, true};

namespace {

using LeafText = json::WithRawTime<LogLeaf>;
constexpr auto kTextFields = json::rows_with_raw_time<LogLeaf, kFields, 4, &LogLeaf::created_at, &json::utc_time_of>(
    std::make_index_sequence<std::size(kFields)>());

}  // namespace

const json::Record<LeafText> kLogLeafTextRecord{"LogLeaf", kTextFields, json::Unknown::Deny, false};

ZResult<LogLeaf> parse_log_leaf(const json::Value& v) {
  auto leaf = json::read_record(v, kLogLeafRecord);
  if (!leaf) return fail(leaf_error("log leaf does not parse: " + leaf.error().display()));
  ZELQ_TRY(check_log_leaf(*leaf, raw_string_member(v, "created_at")));
  return std::move(*leaf);
}

ZResult<void> check_log_leaf(const LogLeaf& leaf, const std::string* raw) {
  if (leaf.leaf_version != kLeafVersion) {
    return fail(leaf_error("log leaf leaf_version '" + leaf.leaf_version + "' \u2260 '" + std::string(kLeafVersion) +
                           "' (RFC-ZELQ-0012 \u00a7" "4)"));
  }
  ZELQ_TRY(check_canonical_time_text(raw, "log leaf created_at", "RFC-ZELQ-0012 \u00a7" "4",
                                     ErrorKind::InvalidLogProof));
  return {};
}

ZResult<std::string> log_leaf_canonical_bytes(const LogLeaf& leaf) {
  // Eight string members, written straight in the byte order of their names:
  // the canonical form of the object, without building it. The names need
  // no escape, so each is written with its quotes and colon as it stands.
  const std::pair<std::string_view, const std::string*> sorted[] = {
      {"{\"content_hash\":", &leaf.content_hash},
      {",\"created_at\":", nullptr},
      {",\"ctx_id\":", &leaf.ctx_id},
      {",\"key_fingerprint\":", &leaf.key_fingerprint},
      {",\"leaf_version\":", &leaf.leaf_version},
      {",\"lineage_id\":", &leaf.lineage_id},
      {",\"origin_registry\":", &leaf.origin_registry},
      {",\"receipt_hash\":", &leaf.receipt_hash},
  };
  // Room for the plain texts: names, quotes and the 24-byte time.
  std::size_t size = 160;
  for (const auto& [name, text] : sorted) size += text ? text->size() : 0;
  std::string out;
  out.reserve(size);
  for (const auto& [name, text] : sorted) {
    out.append(name);
    if (text) write_canonical_string(*text, out);
    else format_rfc3339_millis(leaf.created_at, out);
  }
  out += '}';
  return out;
}

Digest32 log_leaf_digest(const LogLeaf& leaf) { return merkle_leaf_hash(*log_leaf_canonical_bytes(leaf)); }

std::string log_leaf_hash(const LogLeaf& leaf) { return format_sha256_hash(log_leaf_digest(leaf)); }

std::string write_log_leaf(const LogLeaf& leaf) {
  std::string out = "{";
  for_each_member(leaf, [&](const char* name, const std::string& text) {
    if (out.size() > 1) out += ',';
    json::write_string(name, out);
    out += ':';
    json::write_string(text, out);
  });
  out += '}';
  return out;
}

ZResult<LogLeaf> log_leaf_from_receipt(const json::Value& raw_receipt) {
  ZELQ_TRY(receipt_created_at(raw_receipt));
  auto r = parse_registry_receipt(raw_receipt);
  if (!r) return fail(std::move(r).error());
  auto receipt_hash = receipt_signing_digest(raw_receipt, "receipt");
  if (!receipt_hash) return fail(std::move(receipt_hash).error());
  return LogLeaf{std::string(kLeafVersion), std::move(r->ctx_id), std::move(r->lineage_id),
                 std::move(r->origin_registry), r->created_at, std::move(r->content_hash),
                 std::move(r->key_fingerprint), std::move(*receipt_hash)};
}

const json::Prune* log_leaf_prune() { return json::prune_of<LogLeaf, kLogLeafRecord>(); }

}  // namespace zelq::registry
