#include "registry/witness_quorum.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "core/json/reader.hpp"
#include "core/json/record.hpp"
#include "core/json/writer.hpp"
#include "core/verdict.hpp"
#include "did/did_document.hpp"
#include "registry/cosignature.hpp"

namespace zelq::registry {

namespace {

using json::Value;

constexpr auto kI64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
constexpr auto kMaxDuration = static_cast<std::uint64_t>(kMaxDurationSecs);

bool is_uint_at_most(const Value& v, std::uint64_t max) { return v.type() == json::Type::UInt && v.as_u64() <= max; }

ArgumentError too_long(std::string_view member) {
  return {"policy." + std::string(member) + " must be at most " + std::to_string(kMaxDurationSecs) + " seconds"};
}

// Each witness's document keeps what key selection reads.
const json::Prune* witness_docs_prune() {
  static const json::Prune p{{}, {}, false, json::Unnamed::Refuse, did::did_document_prune()};
  return &p;
}

// The members of a policy, the only ones its reader looks at.
enum PolicyMember : std::size_t { kMinWitnesses, kMaxAgeSecs, kMaxClockSkewSecs };
constexpr std::array<std::string_view, 3> kPolicyMembers{"min_witnesses", "max_age_secs", "max_clock_skew_secs"};

const json::Prune* policy_prune() {
  static const json::Prune p = json::scalar_members_prune(kPolicyMembers);
  return &p;
}

}  // namespace

Result<CosignatureList, ArgumentError> cosignatures_argument(std::string_view text) {
  json::Reader r(text);
  auto list = json::for_each_in_seq(r, [](json::Reader& at) -> json::PResult<void> {
    auto v = json::read_value_text(at);
    if (!v) return fail(std::move(v).error());
    return {};
  });
  if (list) list = r.end();
  if (!list) return fail(ArgumentError{"invalid cosignatures JSON (array): " + list.error().display()});
  return CosignatureList{text};
}

bool TrustedWitnesses::contains(std::string_view did) const {
  return std::binary_search(sorted.begin(), sorted.end(), did);
}

Result<TrustedWitnesses, ArgumentError> trusted_witness_dids_argument(std::string_view text) {
  TrustedWitnesses out;
  // Every entry takes at least its two quotes and a comma or the bracket.
  out.sorted.reserve(text.size() / 3);
  json::Reader r(text);
  auto list = json::for_each_in_seq(r, [&](json::Reader& at) -> json::PResult<void> {
    bool escaped = false;
    auto s = json::read_string_view(at, escaped);
    if (!s) return fail(std::move(s).error());
    out.sorted.push_back(escaped ? std::string_view(out.decoded.emplace_back(*s)) : *s);
    return {};
  });
  if (list) list = r.end();
  if (!list) return fail(ArgumentError{"invalid trusted_witness_dids JSON (array): " + list.error().display()});
  std::sort(out.sorted.begin(), out.sorted.end());
  out.sorted.erase(std::unique(out.sorted.begin(), out.sorted.end()), out.sorted.end());
  return out;
}

Result<json::Object, ArgumentError> witness_did_docs_argument(std::string_view text, ArgumentReading reading) {
  auto docs = json::parse_argument(text, "witness DID docs",
                                   reading == ArgumentReading::Pruned ? witness_docs_prune() : nullptr);
  if (!docs) return fail(std::move(docs).error());
  if (!docs->is_object()) return fail(ArgumentError{"witness_did_docs_json must be a JSON object keyed by witness_id"});
  return std::move(docs->as_object());
}

Result<WitnessPolicy, ArgumentError> witness_policy_argument(std::string_view text, ArgumentReading reading) {
  auto policy = json::parse_argument(text, "policy", reading == ArgumentReading::Pruned ? policy_prune() : nullptr);
  if (!policy) return fail(std::move(policy).error());
  if (!policy->is_object()) return fail(ArgumentError{"policy must be a JSON object"});
  WitnessPolicy p;
  if (const Value* v = policy->get(kPolicyMembers[kMinWitnesses])) {
    if (!is_uint_at_most(*v, std::numeric_limits<std::uint32_t>::max()) || v->as_u64() == 0) {
      return fail(ArgumentError{"policy.min_witnesses must be an integer >= 1"});
    }
    p.min_witnesses = static_cast<std::uint32_t>(v->as_u64());
  }
  if (const Value* v = policy->get(kPolicyMembers[kMaxAgeSecs])) {
    if (v->is_null()) {
      p.max_age_secs = std::nullopt;
    } else {
      if (!is_uint_at_most(*v, kI64Max)) {
        return fail(ArgumentError{"policy.max_age_secs must be a non-negative integer or null"});
      }
      if (v->as_u64() > kMaxDuration) return fail(too_long("max_age_secs"));
      p.max_age_secs = static_cast<std::int64_t>(v->as_u64());
    }
  }
  if (const Value* v = policy->get(kPolicyMembers[kMaxClockSkewSecs])) {
    if (!is_uint_at_most(*v, kI64Max)) {
      return fail(ArgumentError{"policy.max_clock_skew_secs must be a non-negative integer"});
    }
    if (v->as_u64() > kMaxDuration) return fail(too_long("max_clock_skew_secs"));
    p.max_clock_skew_secs = static_cast<std::int64_t>(v->as_u64());
  }
  return p;
}

Result<ConsumerClock, ArgumentError> quorum_clock(const WitnessPolicy& policy, const UtcTime& now) {
  return bounded_consumer_clock(now, policy.max_clock_skew_secs, "policy.max_clock_skew_secs");
}

ZResult<std::string> evaluate_witness_quorum(const CosignatureList& cosignatures, const Value& expected_checkpoint,
                                             const TrustedWitnesses& trusted,
                                             const json::Object& witness_did_docs, const WitnessPolicy& policy,
                                             const ConsumerClock& clock) {
  auto checkpoint = parse_log_checkpoint(expected_checkpoint);
  if (!checkpoint) return fail(std::move(checkpoint).error());
  // Each witness's document is read once however many cosignatures name it;
  // reading is pure, so the outcome is that of reading it every time.
  std::map<std::string, json::PResult<did::DidDocument>, std::less<>> docs_read;
  // Repeats of one cosignature are verified once: with the documents, the
  // checkpoint and the clock fixed for the call, the outcome depends on the
  // value alone. Each repeat still adds its failure entry.
  std::unordered_map<std::string, ZResult<LogCosignature>> outcomes;
  std::set<std::string> counted, fresh;  // std::string orders by unsigned bytes
  json::Array failures;

  // The list read for its form already: each element reads.
  json::Reader list(cosignatures.text);
  auto walked = json::for_each_in_seq(list, [&](json::Reader& at) -> json::PResult<void> {
    auto element = at.parse_value(log_cosignature_prune());
    if (!element) return fail(std::move(element).error());
    const Value& raw = *element;
    auto c = parse_log_cosignature(raw);
    if (!c) return {};
    const WitnessedCheckpoint& w = c->witnessed_checkpoint;
    if (w.log_id != checkpoint->log_id || w.tree_size != checkpoint->tree_size || w.root_hash != checkpoint->root_hash)
      return {};
    if (!trusted.contains(c->witness_id)) return {};
    const Value* doc = witness_did_docs.find(c->witness_id);
    if (!doc) {
      failures.push_back(witness_failure_verdict(
          cosignature_error("no DID document supplied for trusted witness '" + c->witness_id +
                            "' \xe2\x80\x94 cannot verify its cosignature (RFC-ZELQ-0015 \xc2\xa7" "8 step 2)")));
      return {};
    }
    std::string text = json::to_string(raw);
    auto outcome = outcomes.find(text);
    if (outcome == outcomes.end()) {
      auto read = docs_read.find(c->witness_id);
      if (read == docs_read.end()) read = docs_read.emplace(c->witness_id, did::did_document_from_value(*doc)).first;
      auto result = verify_cosignature_with_read_doc(raw, read->second, *checkpoint, clock);
      outcome = outcomes.emplace(std::move(text), std::move(result)).first;
    }
    const ZResult<LogCosignature>& verified = outcome->second;
    if (!verified) {
      failures.push_back(witness_failure_verdict(verified.error()));
      return {};
    }
    if (!policy.max_age_secs || !later_by_more_than(clock.now, verified->witnessed_at, *policy.max_age_secs))
      fresh.insert(verified->witness_id);
    counted.insert(verified->witness_id);
    return {};
  });
  if (!walked) return fail(ZelqError::text(ErrorKind::SchemaViolation, walked.error().display()));
  json::Array witnesses;
  witnesses.reserve(counted.size());
  for (const std::string& id : counted) witnesses.emplace_back(id);
  json::Object report;
  report.insert("witnessed_count", Value::from_u64(counted.size()));
  report.insert("witnesses", Value(std::move(witnesses)));
  report.insert("meets_quorum", Value(counted.size() >= policy.min_witnesses));
  report.insert("fresh_witnessed_count", Value::from_u64(fresh.size()));
  report.insert("meets_fresh_quorum", Value(fresh.size() >= policy.min_witnesses));
  report.insert("failures", Value(std::move(failures)));
  return json::to_string(Value(std::move(report)));
}

}  // namespace zelq::registry
