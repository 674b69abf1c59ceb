#include "registry/log_proof.hpp"

#include <span>

#include "core/json/reader.hpp"
#include "core/json/writer.hpp"
#include "core/json/record.hpp"
#include "registry/merkle.hpp"

namespace zelq::registry {

namespace {

ZelqError proof_error(std::string text) { return ZelqError::text(ErrorKind::InvalidLogProof, std::move(text)); }

// ---- member readers shared by both proof records ----------------------------------
template <class T, HashList T::*M>
json::PResult<void> text_path(json::Reader& r, T& t) {
  auto list = read_wire_hashes(r);
  if (!list) return fail(std::move(list).error());
  t.*M = std::move(*list);
  return {};
}

template <class T, HashList T::*M>
json::PResult<void> value_path(const json::Value& v, T& t) {
  if (!v.is_array()) return fail(json::invalid_type(v, "a sequence"));
  HashList list;
  auto read = json::for_each_element(v.as_array(), json::scalar_prune(), [&](const json::Value& e) -> json::PResult<bool> {
    auto s = json::string_of(e);
    if (!s) return fail(std::move(s).error());
    list.add(*s);
    return true;
  });
  if (!read) return fail(std::move(read).error());
  t.*M = std::move(list);
  return {};
}

template <class T, HashList T::*M>
constexpr json::Field<T> path_field(const char* name) {
  return json::Field<T>{name, json::Presence::Required, &text_path<T, M>, &value_path<T, M>, nullptr, nullptr,
                        &json::string_list_prune};
}

template <class T>
constexpr json::Field<T> checkpoint_field() {
  return json::nested_field<T, LogCheckpoint, &T::log_checkpoint, kLogCheckpointRecord>("log_checkpoint");
}

constexpr json::Field<LogInclusion> kInclusionFields[] = {
    json::string_field<LogInclusion, &LogInclusion::log_id>("log_id"),
    json::u64_field<LogInclusion, &LogInclusion::leaf_index>("leaf_index"),
    json::u64_field<LogInclusion, &LogInclusion::tree_size>("tree_size"),
    path_field<LogInclusion, &LogInclusion::inclusion_path>("inclusion_path"),
    checkpoint_field<LogInclusion>(),
    json::opt_nested_field<LogInclusion, LogLeaf, &LogInclusion::leaf, kLogLeafRecord>("leaf"),
};
const json::Record<LogInclusion> kInclusionRecord{"LogInclusion", kInclusionFields, json::Unknown::Deny, true};

constexpr json::Field<LogConsistencyProof> kConsistencyFields[] = {
    json::string_field<LogConsistencyProof, &LogConsistencyProof::log_id>("log_id"),
    json::u64_field<LogConsistencyProof, &LogConsistencyProof::first_tree_size>("first_tree_size"),
    json::u64_field<LogConsistencyProof, &LogConsistencyProof::second_tree_size>("second_tree_size"),
    path_field<LogConsistencyProof, &LogConsistencyProof::consistency_path>("consistency_path"),
    checkpoint_field<LogConsistencyProof>(),
};
const json::Record<LogConsistencyProof> kConsistencyRecord{"LogConsistencyProof", kConsistencyFields,
                                                           json::Unknown::Deny, true};

// The embedded checkpoint, and the embedded leaf where there is one, must
// pass their own full checks; their results are not kept.
ZResult<void> check_embedded_members(const json::Value& merged, bool with_leaf) {
  if (const json::Value* cp = merged.get("log_checkpoint")) {
    if (auto r = parse_log_checkpoint(*cp); !r) return fail(std::move(r).error());
  }
  if (const json::Value* leaf = merged.get("leaf"); with_leaf && leaf) {
    if (auto r = parse_log_leaf(*leaf); !r) return fail(std::move(r).error());
  }
  return {};
}

}  // namespace

ZResult<json::Value> check_embedded_checkpoint(json::Value proof, json::Value checkpoint, std::string_view label) {
  if (!proof.is_object()) return fail(proof_error(std::string(label) + " must be a JSON object"));
  const json::Value* embedded = proof.get("log_checkpoint");
  if (!embedded) {
    proof.as_object().insert("log_checkpoint", std::move(checkpoint));
    return proof;
  }
  if (!json::same_value(*embedded, checkpoint)) {
    return fail(proof_error(std::string(label) +
                            " embeds a log_checkpoint that differs from the supplied (verified) checkpoint "
                            "(RFC-ZELQ-0012 \u00a7" "9.1 step 3)"));
  }
  return proof;
}

// ---- inclusion ------------------------------------------------------------------------

ZResult<LogInclusion> parse_log_inclusion(const json::Value& merged) {
  auto p = json::read_record(merged, kInclusionRecord);
  if (!p) return fail(proof_error("log_inclusion does not parse: " + p.error().display()));
  if (p->tree_size == 0) {
    return fail(proof_error("log_inclusion tree_size must be >= 1 (an empty tree has no members)"));
  }
  ZELQ_TRY(check_embedded_members(merged, true));
  return std::move(*p);
}

namespace {

// The proof's sizes and log against the checkpoint's, before any hash.
ZResult<void> check_inclusion_bindings(const std::string& log_id, std::uint64_t leaf_index, std::uint64_t tree_size,
                                       const LogCheckpoint& cp) {
  if (tree_size != cp.tree_size) {
    return fail(proof_error("log_inclusion tree_size " + std::to_string(tree_size) +
                            " \u2260 log_checkpoint.tree_size " + std::to_string(cp.tree_size) +
                            " (RFC-ZELQ-0012 \u00a7" "9.1 step 4)"));
  }
  if (log_id != cp.log_id) {
    return fail(proof_error("log_inclusion log_id '" + log_id + "' \u2260 log_checkpoint.log_id '" + cp.log_id +
                            "' (RFC-ZELQ-0012 \u00a7" "9.1 step 4)"));
  }
  if (leaf_index >= tree_size) {
    return fail(proof_error("log_inclusion leaf_index " + std::to_string(leaf_index) + " is not < tree_size " +
                            std::to_string(tree_size) + " (RFC-ZELQ-0012 \u00a7" "9.1 step 4)"));
  }
  return {};
}

// The decoded path folds the leaf up to the checkpoint's root.
ZResult<void> check_inclusion_fold(std::uint64_t leaf_index, std::uint64_t tree_size, std::span<const Digest32> path,
                                   const Digest32& leaf_digest, const LogCheckpoint& cp) {
  auto root = parse_sha256_hash(cp.root_hash);
  if (!root) return fail(std::move(root).error());
  if (!verify_inclusion_path(leaf_index, tree_size, leaf_digest, path, *root)) {
    return fail(proof_error("inclusion_path for leaf_index " + std::to_string(leaf_index) +
                            " does not fold to the checkpoint root_hash '" + cp.root_hash + "' at tree_size " +
                            std::to_string(tree_size) + " (RFC-ZELQ-0012 \u00a7" "9.1 step 6)"));
  }
  return {};
}

ZResult<void> verify_inclusion_digest(const LogInclusion& proof, const Digest32& leaf_digest) {
  ZELQ_TRY(check_inclusion_bindings(proof.log_id, proof.leaf_index, proof.tree_size, proof.log_checkpoint));
  // Every entry is decoded before the fold, also those it would not reach.
  auto path = proof.inclusion_path.decoded();
  if (!path) return fail(std::move(path).error());
  return check_inclusion_fold(proof.leaf_index, proof.tree_size, *path, leaf_digest, proof.log_checkpoint);
}

}  // namespace

ZResult<std::string> verify_log_inclusion(json::Value proof, json::Value checkpoint,
                                          const json::Value& reconstructed_leaf) {
  auto merged = check_embedded_checkpoint(std::move(proof), std::move(checkpoint), "log_inclusion");
  if (!merged) return fail(std::move(merged).error());
  auto p = parse_log_inclusion(*merged);
  if (!p) return fail(std::move(p).error());
  auto leaf = parse_log_leaf(reconstructed_leaf);
  if (!leaf) return fail(std::move(leaf).error());
  // The leaf is hashed once: the hash the proof is checked with is the one
  // the host is told.
  const Digest32 digest = log_leaf_digest(*leaf);
  ZELQ_TRY(verify_inclusion_digest(*p, digest));
  return format_sha256_hash(digest);
}

std::string inclusion_success_json(std::string_view leaf_hash) {
  // A wire hash holds nothing that JSON escapes.
  std::string out = "{\"valid\":true,\"leaf_hash\":\"";
  out.append(leaf_hash).append("\"}");
  return out;
}

// ---- consistency ------------------------------------------------------------------------

ZResult<LogConsistencyProof> parse_log_consistency_proof(const json::Value& merged) {
  auto p = json::read_record(merged, kConsistencyRecord);
  if (!p) return fail(proof_error("consistency proof does not parse: " + p.error().display()));
  ZELQ_TRY(check_embedded_members(merged, false));
  return std::move(*p);
}

namespace {

ZResult<void> check_consistency_bindings(const std::string& log_id, std::uint64_t second_tree_size,
                                         const LogCheckpoint& cp) {
  if (log_id != cp.log_id) {
    return fail(proof_error("consistency proof log_id '" + log_id + "' \u2260 log_checkpoint.log_id '" + cp.log_id +
                            "' (consistency proofs exist only within one log_id, RFC-ZELQ-0012 \u00a7" "7.4)"));
  }
  if (second_tree_size != cp.tree_size) {
    return fail(proof_error("consistency proof second_tree_size " + std::to_string(second_tree_size) +
                            " \u2260 log_checkpoint.tree_size " + std::to_string(cp.tree_size) +
                            " (RFC-ZELQ-0012 \u00a7" "8.2)"));
  }
  return {};
}

}  // namespace

ZResult<void> check_consistency(const LogConsistencyProof& proof, std::string_view first_root_hash) {
  const LogCheckpoint& cp = proof.log_checkpoint;
  ZELQ_TRY(check_consistency_bindings(proof.log_id, proof.second_tree_size, cp));
  auto first_root = parse_sha256_hash(first_root_hash);
  if (!first_root) return fail(std::move(first_root).error());
  auto second_root = parse_sha256_hash(cp.root_hash);
  if (!second_root) return fail(std::move(second_root).error());
  auto path = proof.consistency_path.decoded();
  if (!path) return fail(std::move(path).error());
  if (!verify_consistency_proof(proof.first_tree_size, proof.second_tree_size, *path, *first_root, *second_root)) {
    return fail(proof_error("consistency_path does not prove the tree at size " +
                            std::to_string(proof.first_tree_size) + " is a prefix of the tree at size " +
                            std::to_string(proof.second_tree_size) +
                            " \u2014 evidence of a logged-history rewrite; retain both checkpoints and this path "
                            "(RFC-ZELQ-0012 \u00a7" "9.2)"));
  }
  return {};
}

ZResult<void> verify_log_consistency(json::Value proof, json::Value checkpoint, std::string_view first_root_hash) {
  auto merged = check_embedded_checkpoint(std::move(proof), std::move(checkpoint), "consistency proof");
  if (!merged) return fail(std::move(merged).error());
  auto p = parse_log_consistency_proof(*merged);
  if (!p) return fail(std::move(p).error());
  return check_consistency(*p, first_root_hash);
}

// ---- the text road ------------------------------------------------------------------
//
// A proof as a registry usually sends it, without the checkpoint the
// consumer holds, is read straight from its text with its path decoded on
// the way: no value tree, no path of strings. The road only ever answers
// "valid"; at the first thing out of the ordinary (any failure, a proof that
// embeds its checkpoint, a repeated member, a path entry written with an
// escape) it gives up, and the value road reads the arguments again and
// words the verdict. Whatever it accepts, the
// value road accepts with the same result: the same readers and the same
// checks, run on the same members.

namespace {

// A path whose every entry is a wire hash; any other is a failure that is
// never shown, since the value road then words the verdict.
template <class T, std::vector<Digest32> T::*M>
json::PResult<void> text_digests(json::Reader& r, T& t) {
  auto list = read_well_formed_wire_hashes(r);
  if (!list) return fail(std::move(list).error());
  t.*M = std::move(*list);
  return {};
}

template <class T, std::vector<Digest32> T::*M>
constexpr json::Field<T> digests_field(const char* name) {
  return json::Field<T>{name, json::Presence::Required, &text_digests<T, M>, nullptr};
}

struct SentInclusion {
  std::string log_id;
  std::uint64_t leaf_index = 0;
  std::uint64_t tree_size = 0;
  std::vector<Digest32> inclusion_path;
  std::optional<json::Value> leaf;  // the member as given, null included
};

json::PResult<void> text_sent_leaf(json::Reader& r, SentInclusion& t) {
  auto v = r.parse_value(log_leaf_prune());
  if (!v) return fail(std::move(v).error());
  t.leaf = std::move(*v);
  return {};
}

// The sizes read as numbers in place, not as values first: what they accept
// is the same, only their failures (never shown) are worded otherwise.
constexpr json::Field<SentInclusion> kSentInclusionFields[] = {
    json::string_field<SentInclusion, &SentInclusion::log_id>("log_id"),
    json::member<&SentInclusion::leaf_index, json::read_u64, json::unsigned_value>("leaf_index"),
    json::member<&SentInclusion::tree_size, json::read_u64, json::unsigned_value>("tree_size"),
    digests_field<SentInclusion, &SentInclusion::inclusion_path>("inclusion_path"),
    {"leaf", json::Presence::Optional, &text_sent_leaf, nullptr},
};
// Objects only: the value road refuses a proof of any other shape.
const json::Record<SentInclusion> kSentInclusionRecord{"LogInclusion", kSentInclusionFields, json::Unknown::Deny,
                                                       false};

struct SentConsistency {
  std::string log_id;
  std::uint64_t first_tree_size = 0;
  std::uint64_t second_tree_size = 0;
  std::vector<Digest32> consistency_path;
};

constexpr json::Field<SentConsistency> kSentConsistencyFields[] = {
    json::string_field<SentConsistency, &SentConsistency::log_id>("log_id"),
    json::u64_field<SentConsistency, &SentConsistency::first_tree_size>("first_tree_size"),
    json::u64_field<SentConsistency, &SentConsistency::second_tree_size>("second_tree_size"),
    digests_field<SentConsistency, &SentConsistency::consistency_path>("consistency_path"),
};
const json::Record<SentConsistency> kSentConsistencyRecord{"LogConsistencyProof", kSentConsistencyFields,
                                                           json::Unknown::Deny, false};

// A checkpoint or leaf text through its record and the checks that follow
// the record, as its parser runs them on a value; nothing when anything
// fails. The raw time member the checks judge is kept by the record's own
// reading.
template <class T>
std::optional<T> checked_on_text(std::string_view text, const json::Record<json::WithRawTime<T>>& rec,
                                 ZResult<void> (*check)(const T&, const std::string*)) {
  auto read = json::parse_record(text, rec);
  if (!read || !check(read->record, &read->raw_time)) return std::nullopt;
  return std::move(read->record);
}

std::optional<LogCheckpoint> checked_checkpoint(std::string_view text) {
  return checked_on_text(text, kLogCheckpointTextRecord, &check_log_checkpoint);
}

// The leaf hash of a valid inclusion proof, or nothing.
std::optional<std::string> inclusion_on_text(std::string_view proof_text, std::string_view checkpoint_text,
                                             std::string_view leaf_text) {
  auto proof = json::parse_record(proof_text, kSentInclusionRecord);
  if (!proof || proof->tree_size == 0) return std::nullopt;
  auto cp = checked_checkpoint(checkpoint_text);
  if (!cp) return std::nullopt;
  if (proof->leaf && !parse_log_leaf(*proof->leaf)) return std::nullopt;
  auto leaf = checked_on_text(leaf_text, kLogLeafTextRecord, &check_log_leaf);
  if (!leaf) return std::nullopt;
  const Digest32 digest = log_leaf_digest(*leaf);
  if (!check_inclusion_bindings(proof->log_id, proof->leaf_index, proof->tree_size, *cp) ||
      !check_inclusion_fold(proof->leaf_index, proof->tree_size, proof->inclusion_path, digest, *cp))
    return std::nullopt;
  return format_sha256_hash(digest);
}

// Whether a consistency proof holds, read from the texts; false also when
// the road gave up.
bool consistency_on_text(std::string_view proof_text, std::string_view checkpoint_text,
                         std::string_view first_root_hash) {
  auto proof = json::parse_record(proof_text, kSentConsistencyRecord);
  if (!proof) return false;
  auto cp = checked_checkpoint(checkpoint_text);
  if (!cp || !check_consistency_bindings(proof->log_id, proof->second_tree_size, *cp)) return false;
  auto first_root = parse_sha256_hash(first_root_hash);
  auto second_root = parse_sha256_hash(cp->root_hash);
  return first_root && second_root &&
         verify_consistency_proof(proof->first_tree_size, proof->second_tree_size, proof->consistency_path,
                                  *first_root, *second_root);
}

}  // namespace

Result<ZResult<std::string>, ArgumentError> verify_log_inclusion_arguments(std::string_view proof,
                                                                           std::string_view checkpoint,
                                                                           std::string_view reconstructed_leaf) {
  if (auto hash = inclusion_on_text(proof, checkpoint, reconstructed_leaf)) return ZResult<std::string>(std::move(*hash));
  auto p = json::parse_argument(proof, "inclusion", json::prune_of<LogInclusion, kInclusionRecord>());
  if (!p) return fail(std::move(p).error());
  auto cp = json::parse_argument(checkpoint, "checkpoint", log_checkpoint_prune());
  if (!cp) return fail(std::move(cp).error());
  auto leaf = json::parse_argument(reconstructed_leaf, "leaf", log_leaf_prune());
  if (!leaf) return fail(std::move(leaf).error());
  return verify_log_inclusion(std::move(*p), std::move(*cp), *leaf);
}

Result<ZResult<void>, ArgumentError> verify_log_consistency_arguments(std::string_view proof,
                                                                      std::string_view checkpoint,
                                                                      std::string_view first_root_hash) {
  if (consistency_on_text(proof, checkpoint, first_root_hash)) return ZResult<void>();
  auto p = json::parse_argument(proof, "consistency proof", json::prune_of<LogConsistencyProof, kConsistencyRecord>());
  if (!p) return fail(std::move(p).error());
  auto cp = json::parse_argument(checkpoint, "checkpoint", log_checkpoint_prune());
  if (!cp) return fail(std::move(cp).error());
  return verify_log_consistency(std::move(*p), std::move(*cp), first_root_hash);
}

}  // namespace zelq::registry
