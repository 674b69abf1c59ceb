#include "registry/cosignature.hpp"

#include <utility>

#include "core/json/writer.hpp"
#include "core/verdict.hpp"
#include "did/did_document.hpp"
#include "did/did_key.hpp"
#include "did/did_url.hpp"
#include "did/key_select.hpp"
#include "registry/merkle.hpp"

namespace zelq::registry {

namespace {

using json::Value;

constexpr std::string_view kTimeRefs = "RFC-ZELQ-0015 \xc2\xa7" "4";

ZelqError wrap_key_extraction(const ZelqError& e) {
  return cosignature_error("witness key extraction: " + e.display());
}

ZelqError wrap_checkpoint_form(const ZelqError& e) { return cosignature_error("witnessed_checkpoint: " + e.display()); }

}  // namespace

ZResult<LogCosignature> parse_log_cosignature(const Value& raw) {
  auto read = json::read_record(raw, kLogCosignatureRecord);
  if (!read) return fail(cosignature_error("log_cosignature does not parse: " + read.error().message));
  LogCosignature& c = *read;
  if (c.cosignature_version != kCosignatureVersion) {
    return fail(cosignature_error("log_cosignature cosignature_version '" + c.cosignature_version + "' \xe2\x89\xa0 '" +
                                  std::string(kCosignatureVersion) + "' (RFC-ZELQ-0015 \xc2\xa7" "4)"));
  }
  if (!did::is_web_or_key_did(c.witness_id)) {
    return fail(cosignature_error("log_cosignature witness_id '" + c.witness_id +
                                  "' is not a did:web or did:key DID (RFC-ZELQ-0015 \xc2\xa7" "4)"));
  }
  if (auto id = check_log_id(c.witnessed_checkpoint.log_id); !id) return fail(wrap_checkpoint_form(id.error()));
  if (auto h = parse_sha256_hash(c.witnessed_checkpoint.root_hash); !h) return fail(wrap_checkpoint_form(h.error()));
  // The positional forms read, but carry no member texts to hold to the
  // canonical form.
  ZELQ_TRY(check_canonical_time_member(raw.get("witnessed_checkpoint"), "timestamp",
                                       "log_cosignature witnessed_checkpoint.timestamp", kTimeRefs,
                                       ErrorKind::InvalidWitnessCosignature));
  // Always a string once the record read from an object; checked all the same.
  ZELQ_TRY(check_canonical_time_member(&raw, "witnessed_at", "log_cosignature witnessed_at", kTimeRefs,
                                       ErrorKind::InvalidWitnessCosignature));
  ZELQ_TRY(check_cosignature_key_id(c));
  return std::move(*read);
}

ZResult<void> check_cosignature_key_id(const LogCosignature& c) {
  if (did::is_key_id_under_did(c.signature.key_id, c.witness_id)) return {};
  return fail(cosignature_error("log_cosignature signature.key_id '" + c.signature.key_id +
                                "' is not a DID URL under witness_id '" + c.witness_id +
                                "' (RFC-ZELQ-0015 \xc2\xa7" "8 step 3)"));
}

ZResult<void> verify_cosignature_signature(const LogCosignature& c, std::string_view digest,
                                           const crypto::PublicKey& key) {
  return verify_artefact_signature(c.signature, digest, key, "log_cosignature", ErrorKind::InvalidWitnessCosignature);
}

ZResult<void> check_witnessed_at_fresh(const LogCosignature& c, const ConsumerClock& clock) {
  ZELQ_TRY(check_millisecond_truncated(c.witnessed_at, "log_cosignature witnessed_at",
                                       ErrorKind::InvalidWitnessCosignature));
  if (!beyond_skew(c.witnessed_at, clock)) return {};
  return fail(cosignature_error("log_cosignature witnessed_at '" + format_rfc3339_millis(c.witnessed_at) +
                                "' is in the future beyond the " + std::to_string(clock.skew_secs) +
                                "s clock-skew allowance (consumer clock '" + format_rfc3339_millis(clock.now) +
                                "') \xe2\x80\x94 forged observation-time claim (RFC-ZELQ-0015 \xc2\xa7" "8 step 5)"));
}

ZResult<LogCosignature> verify_cosignature_with_read_doc(const Value& cosig, const json::PResult<did::DidDocument>& doc,
                                                         const LogCheckpoint& e, const ConsumerClock& clock) {
  auto parsed = parse_log_cosignature(cosig);
  if (!parsed) return parsed;
  const LogCosignature& c = *parsed;
  const WitnessedCheckpoint& w = c.witnessed_checkpoint;
  if (w.log_id != e.log_id) {
    return fail(cosignature_error("log_cosignature witnessed_checkpoint.log_id '" + w.log_id +
                                  "' \xe2\x89\xa0 evaluated checkpoint log_id '" + e.log_id +
                                  "' (RFC-ZELQ-0015 \xc2\xa7" "8 step 4)"));
  }
  if (w.tree_size != e.tree_size) {
    return fail(cosignature_error("log_cosignature witnessed_checkpoint.tree_size " + std::to_string(w.tree_size) +
                                  " \xe2\x89\xa0 evaluated checkpoint tree_size " + std::to_string(e.tree_size) +
                                  " (RFC-ZELQ-0015 \xc2\xa7" "8 step 4)"));
  }
  if (w.root_hash != e.root_hash) {
    return fail(cosignature_error("log_cosignature witnessed_checkpoint.root_hash '" + w.root_hash +
                                  "' \xe2\x89\xa0 evaluated checkpoint root_hash '" + e.root_hash +
                                  "' (RFC-ZELQ-0015 \xc2\xa7" "8 step 4)"));
  }
  if (!doc) return fail(cosignature_error("witness DID document does not parse: " + doc.error().message));
  if (doc->id != c.witness_id) {
    return fail(cosignature_error("witness DID document id '" + doc->id + "' \xe2\x89\xa0 cosignature witness_id '" +
                                  c.witness_id + "' (RFC-ZELQ-0015 \xc2\xa7" "8 step 3)"));
  }
  // The key id was checked to be under witness_id, so it has a fragment.
  const std::string_view fragment = did::url_fragment(c.signature.key_id).value_or("");
  const did::VerificationMethod* method = did::find_method_by_fragment(*doc, fragment);
  if (!method) {
    return fail(cosignature_error("witness DID document has no verification method '#" + std::string(fragment) +
                                  "' \xe2\x80\x94 witness keys (including retired ones) must remain in "
                                  "verificationMethod (RFC-ZELQ-0015 \xc2\xa7" "9)"));
  }
  auto digest = cosignature_signing_digest(cosig);
  if (!digest) return fail(std::move(digest).error());
  // The declared algorithm decides which key the method must hold.
  const auto algorithm = crypto::algorithm_from_name(c.signature.algorithm);
  if (!algorithm) {
    return fail(cosignature_error("witness cosignature signature algorithm '" + c.signature.algorithm +
                                  "' is not supported"));
  }
  auto key = did::method_public_key(*method, *algorithm);
  if (!key) return fail(wrap_key_extraction(key.error()));
  ZELQ_TRY(verify_cosignature_signature(c, *digest, *key));
  ZELQ_TRY(check_witnessed_at_fresh(c, clock));
  return parsed;
}

ZResult<LogCosignature> verify_cosignature_with_doc(const Value& cosig, const Value& witness_doc,
                                                    const LogCheckpoint& checkpoint, const ConsumerClock& clock) {
  return verify_cosignature_with_read_doc(cosig, did::did_document_from_value(witness_doc), checkpoint, clock);
}

std::string verify_witness_cosignature(const Value& cosig, const Value& witness_doc,
                                       const Value& expected_checkpoint, const ConsumerClock& clock) {
  auto checkpoint = parse_log_checkpoint(expected_checkpoint);
  if (!checkpoint) return witness_failure_verdict_json(checkpoint.error());
  auto c = verify_cosignature_with_doc(cosig, witness_doc, *checkpoint, clock);
  if (!c) return witness_failure_verdict_json(c.error());
  const std::int64_t age = whole_seconds_between(clock.now, c->witnessed_at);
  json::Object out;
  out.insert("valid", Value(true));
  out.insert("witness_id", Value(std::move(c->witness_id)));
  out.insert("age_secs", Value::from_i64(age));
  out.insert("stale", Value(age > kStaleAfterSecs));
  return json::to_string(Value(std::move(out)));
}

}  // namespace zelq::registry
