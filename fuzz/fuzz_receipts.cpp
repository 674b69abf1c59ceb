// Any byte string through the readers and checks of registry receipts,
// lineage-head receipts, lifecycle events, key-revocation bodies and the
// revocation list: no crash, no leak, a verdict is always one of the two
// verdict shapes, and what a revocation body yields reads back as a list.
// Read as the methods read them (only what the records read built), a
// lifecycle event, a lineage-head receipt and its expectations give the
// whole value's verdict word for word.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json/reader.hpp"
#include "registry/lifecycle.hpp"
#include "registry/lineage_head.hpp"
#include "registry/receipt.hpp"
#include "registry/revocation.hpp"
#include "pruned_reading.hpp"

namespace {

using zelq::fuzz::check;

void check_verdict(std::string_view v) {
  check(v.starts_with("{\"valid\":true,") || v.starts_with("{\"valid\":false,\"code\":\""));
}

constexpr std::string_view kDoc =
    R"({"id":"did:web:reg.example","verificationMethod":[{"id":"did:web:reg.example#k1","type":"JsonWebKey2020",)"
    R"("controller":"did:web:reg.example","publicKeyJwk":{"kty":"OKP","crv":"Ed25519",)"
    R"("x":"11qYAYKxCrfVS_7TyWQHOg7hcvPapiMlrwIaaPcHURo"}}],"assertionMethod":["did:web:reg.example#k1"]})";
constexpr std::string_view kCtx = "zelq://reg.example/0b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f";
constexpr zelq::crypto::Ed25519PublicKey kKey = {0xd7, 0x5a, 0x98, 0x01};

// The text as each argument these methods read with a prune, read so and
// whole.
void pruned_readings(std::string_view text, const zelq::registry::ConsumerClock& clock) {
  using namespace zelq;
  using json::Value;
  fuzz::tie_argument(text, "event", registry::lifecycle_event_prune(), [](const Value& pruned, const Value& whole) {
    check(registry::verify_lifecycle_event(pruned, std::nullopt, kCtx) ==
          registry::verify_lifecycle_event(whole, std::nullopt, kCtx));
    check(registry::verify_lifecycle_event(pruned, kDoc, kCtx) == registry::verify_lifecycle_event(whole, kDoc, kCtx));
  });
  // The expectations the seed receipt meets.
  static const registry::LineageHeadExpectation expected = *registry::parse_lineage_head_expectation(*json::parse(
      R"({"authority":"reg.example","lineage_id":"lin:sha256:abababababababababababababababababababababababababababababababab",)"
      R"("head_ctx_id":"zelq://reg.example/0b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f","head_version":2,"head_status":"active"})"));
  fuzz::tie_argument(text, "receipt", registry::lineage_head_receipt_prune(), [&](const Value& pruned, const Value& whole) {
    check(registry::verify_lineage_head_receipt(pruned, expected, kDoc, clock, 300) ==
          registry::verify_lineage_head_receipt(whole, expected, kDoc, clock, 300));
  });
  fuzz::tie_argument(text, "expected", registry::lineage_head_expectation_prune(),
                     [](const Value& pruned, const Value& whole) {
                       fuzz::same_outcome(registry::parse_lineage_head_expectation(pruned),
                                          registry::parse_lineage_head_expectation(whole));
                     });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelq;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  constexpr std::string_view kFp = "sha256:0000000000000000000000000000000000000000000000000000000000000000";
  if (auto c = registry::classify_under_revocation(text, kFp, "2026-03-01T12:00:00Z")) check(c->starts_with("{\"authorization\":"));
  if (auto body = wire::parse_body(text)) {
    if (auto k = registry::parse_key_revocation(*body, kFp)) {
      const std::string json = registry::key_revocation_json(*k);
      auto back = registry::read_revocation_list("[" + json + "]");
      check(back.ok() && back->size() == 1 && registry::key_revocation_json(back->front()) == json);
    }
  }
  const auto now = *UtcTime::from_unix(1'772'366'400, 0);
  const auto clock = *registry::bounded_consumer_clock(now, std::nullopt, "max_skew_secs");
  pruned_readings(text, clock);
  auto raw = json::parse(text);
  if (!raw) return 0;

  if (registry::receipt_created_at(*raw).ok()) {
    if (auto r = registry::parse_registry_receipt(*raw)) {
      (void)registry::cross_check(*r, kCtx, "sha256:00", std::nullopt);
      (void)registry::check_receipt_against_body(*r, {r->lineage_id, r->origin_registry, r->created_at});
      auto digest = registry::receipt_signing_digest(*raw, "receipt");
      check(digest.ok() && digest->size() == 71);
      (void)registry::verify_receipt_signature(r->signature, *digest, crypto::PublicKey(kKey));
    }
  }

  if (auto e = registry::parse_lineage_head_expectation(*raw)) {
    check_verdict(registry::verify_lineage_head_receipt(*raw, *e, text, clock, 300));
  }
  registry::LineageHeadExpectation expected;
  expected.authority = "reg.example";
  expected.registry_did = "did:web:reg.example";
  expected.head_ctx_id = kCtx;
  check_verdict(registry::verify_lineage_head_receipt(*raw, expected, kDoc, clock, 300));
  for (std::int64_t skew : {-registry::kMaxDurationSecs, std::int64_t{-1}, registry::kMaxDurationSecs}) {
    const registry::ConsumerClock edge{now, skew};
    check_verdict(registry::verify_lineage_head_receipt(*raw, expected, kDoc, edge, INT64_MIN));
  }

  check_verdict(registry::verify_lifecycle_event(*raw, std::nullopt, kCtx));
  check_verdict(registry::verify_lifecycle_event(*raw, kDoc, kCtx));
  return 0;
}
