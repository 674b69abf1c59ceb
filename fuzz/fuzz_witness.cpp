// Any byte string through the witness readers: as a cosignature, as a
// policy, as the cosignature list of a quorum, and as the checkpoint a
// witness mints over. No crash, and what the readers accept keeps their
// promises: a parsed cosignature has its key binding and a digest, a policy
// stays in range, a quorum never counts more witnesses than it was given,
// and a mint is well-formed JSON of the witness.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/json/reader.hpp"
#include "registry/cosignature.hpp"
#include "registry/witness_mint.hpp"
#include "registry/witness_quorum.hpp"

namespace {

using zelq::json::Value;

void check(bool ok) {
  if (!ok) std::abort();
}

const Value& expected_checkpoint() {
  static const Value v = *zelq::json::parse(
      R"({"checkpoint_version":"zelq-log/1","log_id":"did:web:r.example/log/a","tree_size":1,)"
      R"("root_hash":"sha256:0000000000000000000000000000000000000000000000000000000000000000",)"
      R"("timestamp":"2026-01-01T00:00:00.000Z","signature":{"algorithm":"ed25519",)"
      R"("key_id":"did:web:r.example#k","value":""}})");
  return v;
}

void one_value(const Value& v, const zelq::UtcTime& now) {
  if (auto c = zelq::registry::parse_log_cosignature(v)) {
    check(zelq::registry::check_cosignature_key_id(*c).ok());
    check(zelq::registry::cosignature_signing_digest(v).ok());
  }
  auto minted = zelq::registry::build_witness_cosignature(v, "did:web:w.example", zelq::Secret32(), now);
  if (minted) {
    auto back = zelq::json::parse(*minted);
    check(back.ok());
    // Times far outside 0000..9999 are written with a sign and no longer
    // read as RFC 3339, so only the shape is promised here.
    check(back->get("witness_id")->as_string() == "did:web:w.example" && back->get("signature"));
  }
}

// The quorum over a list of `n` cosignatures.
void quorum(const zelq::registry::CosignatureList& list, std::size_t n, const zelq::UtcTime& now) {
  // An allowance at the top of the duration range must still compare exactly.
  zelq::registry::WitnessPolicy policy;
  policy.max_clock_skew_secs = zelq::registry::kMaxDurationSecs;
  const std::vector<std::string> trusted = {"did:web:w.example", "did:key:zW"};
  zelq::json::Object docs;
  docs.insert("did:web:w.example", *zelq::json::parse(R"({"id":"did:web:w.example"})"));
  auto report = zelq::registry::evaluate_witness_quorum(list, expected_checkpoint(), trusted, docs, policy,
                                                        {now, policy.max_clock_skew_secs});
  check(report.ok());
  auto parsed = zelq::json::parse(*report);
  check(parsed.ok() && parsed->get("witnessed_count")->as_u64() <= n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static const zelq::UtcTime now = *zelq::parse_rfc3339("2026-01-01T00:00:30Z");
  auto v = zelq::json::parse(text);
  if (v) one_value(*v, now);
  // The argument readers take the text itself.
  if (auto list = zelq::registry::cosignatures_argument(text)) {
    check(v.ok() && v->is_array());
    quorum(*list, v->as_array().size(), now);
  }
  if (auto dids = zelq::registry::trusted_witness_dids_argument(text)) check(v.ok() && v->is_array());
  if (auto p = zelq::registry::witness_policy_argument(text)) {
    check(v.ok() && v->is_object() && p->min_witnesses >= 1);
    check(p->max_clock_skew_secs >= 0 && p->max_clock_skew_secs <= zelq::registry::kMaxDurationSecs);
    check(!p->max_age_secs || (*p->max_age_secs >= 0 && *p->max_age_secs <= zelq::registry::kMaxDurationSecs));
  }
  return 0;
}
