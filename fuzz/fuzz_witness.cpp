// Any byte string through the witness readers: as a cosignature, as a
// policy, as the cosignature list of a quorum, and as the checkpoint a
// witness mints over. No crash, and what the readers accept keeps their
// promises: a parsed cosignature has its key binding and a digest, a policy
// stays in range, a quorum never counts more witnesses than it was given,
// and a mint is well-formed JSON of the witness. Read as the methods read
// them (only what the records read built), a cosignature, a witnessed
// checkpoint, a policy and a witness-document map give the whole value's
// verdict word for word.
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
#include "pruned_reading.hpp"

namespace {

// The witnesses every quorum here trusts (views into a text that lives on).
zelq::registry::TrustedWitnesses kTrusted() {
  return *zelq::registry::trusted_witness_dids_argument(R"(["did:web:w.example", "did:key:zW"])");
}

using zelq::json::Value;

using zelq::fuzz::check;
using zelq::fuzz::same_failure;
using zelq::fuzz::same_outcome;

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

// A witness whose document holds the key of the seed cosignatures.
const Value& witness_doc() {
  static const Value v = *zelq::json::parse(
      R"({"id":"did:web:w.example","verificationMethod":[{"id":"did:web:w.example#witness-key-1",)"
      R"("type":"JsonWebKey2020","controller":"did:web:w.example","publicKeyJwk":{"kty":"OKP","crv":"Ed25519",)"
      R"("x":"O2onvM62pC1io6jQKm8Nc2UyFXcd4kOmOsBIoYtZ2ik"}}],"assertionMethod":["#witness-key-1"]})");
  return v;
}

constexpr std::string_view kCosignatures =
    R"([{"cosignature_version":"zelq-cosig/1","witness_id":"did:web:w.example","witnessed_checkpoint":)"
    R"({"log_id":"did:web:r.example/log/a","tree_size":1,"root_hash":)"
    R"("sha256:0000000000000000000000000000000000000000000000000000000000000000",)"
    R"("timestamp":"2026-01-01T00:00:00.000Z"},"witnessed_at":"2026-01-01T00:00:30.000Z","signature":)"
    R"({"algorithm":"ed25519","key_id":"did:web:w.example#witness-key-1","value":)"
    R"("Q7OEsvvFVBYOFTQXv/4vK8owcy5uKpjdjlT/oUAz0g9Gv/aAX63mWAbS1jzNi7ZTWv3kJGdUOsasq73ZtWZEBw=="}},)"
    R"({"cosignature_version":"zelq-cosig/1","witness_id":"did:key:zW","witnessed_checkpoint":)"
    R"({"log_id":"did:web:r.example/log/a","tree_size":1,"root_hash":)"
    R"("sha256:0000000000000000000000000000000000000000000000000000000000000000",)"
    R"("timestamp":"2026-01-01T00:00:00.000Z"},"witnessed_at":"2026-01-01T00:00:02.000Z","signature":)"
    R"({"algorithm":"ed25519","key_id":"did:key:zW#witness-key-1","value":""}}])";

// The text as each argument the witness methods read with a prune, read so
// and whole.
void pruned_readings(std::string_view text, const zelq::UtcTime& now) {
  using namespace zelq::registry;
  const ConsumerClock clock{now, 120};
  zelq::fuzz::tie_argument(text, "cosignature", log_cosignature_prune(), [&](const Value& pruned, const Value& whole) {
    check(verify_witness_cosignature(pruned, witness_doc(), expected_checkpoint(), clock) ==
          verify_witness_cosignature(whole, witness_doc(), expected_checkpoint(), clock));
    // The quorum reads each element of its list so, and passes over one
    // that does not parse.
    auto c = parse_log_cosignature(whole);
    same_failure(parse_log_cosignature(pruned), c);
    if (c) same_outcome(cosignature_signing_digest(pruned), cosignature_signing_digest(whole));
  });
  zelq::fuzz::tie_argument(text, "witnessed_checkpoint", witnessed_checkpoint_prune(),
                           [&](const Value& pruned, const Value& whole) {
                             same_outcome(build_witness_cosignature(pruned, "did:web:w.example", zelq::Secret32(), now),
                                          build_witness_cosignature(whole, "did:web:w.example", zelq::Secret32(), now));
                           });
  same_outcome(witness_policy_argument(text), witness_policy_argument(text, ArgumentReading::Whole));

  auto docs = witness_did_docs_argument(text);
  auto whole_docs = witness_did_docs_argument(text, ArgumentReading::Whole);
  same_failure(docs, whole_docs);
  if (!whole_docs) return;
  check(docs->size() == whole_docs->size());
  for (std::size_t i = 0; i < docs->size(); ++i) {
    const auto& a = docs->members()[i];
    const auto& b = whole_docs->members()[i];
    check(a.key == b.key);
    same_outcome(zelq::did::did_document_from_value(a.value), zelq::did::did_document_from_value(b.value));
  }
  static const TrustedWitnesses trusted = kTrusted();
  const WitnessPolicy policy;
  same_outcome(evaluate_witness_quorum({kCosignatures}, expected_checkpoint(), trusted, *docs, policy, clock),
               evaluate_witness_quorum({kCosignatures}, expected_checkpoint(), trusted, *whole_docs, policy, clock));
}

// The quorum over a list of `n` cosignatures.
void quorum(const zelq::registry::CosignatureList& list, std::size_t n, const zelq::UtcTime& now) {
  // An allowance at the top of the duration range must still compare exactly.
  zelq::registry::WitnessPolicy policy;
  policy.max_clock_skew_secs = zelq::registry::kMaxDurationSecs;
  static const zelq::registry::TrustedWitnesses trusted = kTrusted();
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
  pruned_readings(text, now);
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
