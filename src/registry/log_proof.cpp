#include "registry/log_proof.hpp"

#include "core/json/writer.hpp"
#include "core/json/record.hpp"
#include "registry/merkle.hpp"

namespace zelq::registry {

namespace {

ZelqError proof_error(std::string text) { return ZelqError::text(ErrorKind::InvalidLogProof, std::move(text)); }

// ---- member readers shared by both proof records ----------------------------------
template <class T, std::vector<std::string> T::*M>
json::PResult<void> text_path(json::Reader& r, T& t) {
  auto list = json::read_seq<std::string>(r, json::read_string);
  if (!list) return fail(std::move(list).error());
  t.*M = std::move(*list);
  return {};
}

template <class T, std::vector<std::string> T::*M>
json::PResult<void> value_path(const json::Value& v, T& t) {
  auto list = json::seq_of<std::string>(v, json::string_of);
  if (!list) return fail(std::move(list).error());
  t.*M = std::move(*list);
  return {};
}

template <class T, std::vector<std::string> T::*M>
constexpr json::Field<T> path_field(const char* name) {
  return json::Field<T>{name, json::Presence::Required, &text_path<T, M>, &value_path<T, M>};
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

bool json_equal(const json::Value& a, const json::Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case json::Type::Array: {
      const json::Array& x = a.as_array();
      const json::Array& y = b.as_array();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i)
        if (!json_equal(x[i], y[i])) return false;
      return true;
    }
    case json::Type::Object: {
      const json::Object& x = a.as_object();
      const json::Object& y = b.as_object();
      if (x.size() != y.size()) return false;
      for (const json::Member& m : x) {
        const json::Value* other = y.find(m.key);
        if (!other || !json_equal(m.value, *other)) return false;
      }
      return true;
    }
    default:
      return a == b;  // scalars of one kind compare by value
  }
}

ZResult<json::Value> check_embedded_checkpoint(json::Value proof, json::Value checkpoint, std::string_view label) {
  if (!proof.is_object()) return fail(proof_error(std::string(label) + " must be a JSON object"));
  const json::Value* embedded = proof.get("log_checkpoint");
  if (!embedded) {
    proof.as_object().insert("log_checkpoint", std::move(checkpoint));
    return proof;
  }
  if (!json_equal(*embedded, checkpoint)) {
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

ZResult<void> verify_inclusion_digest(const LogInclusion& proof, const Digest32& leaf_digest) {
  const LogCheckpoint& cp = proof.log_checkpoint;
  if (proof.tree_size != cp.tree_size) {
    return fail(proof_error("log_inclusion tree_size " + std::to_string(proof.tree_size) +
                            " \u2260 log_checkpoint.tree_size " + std::to_string(cp.tree_size) +
                            " (RFC-ZELQ-0012 \u00a7" "9.1 step 4)"));
  }
  if (proof.log_id != cp.log_id) {
    return fail(proof_error("log_inclusion log_id '" + proof.log_id + "' \u2260 log_checkpoint.log_id '" +
                            cp.log_id + "' (RFC-ZELQ-0012 \u00a7" "9.1 step 4)"));
  }
  if (proof.leaf_index >= proof.tree_size) {
    return fail(proof_error("log_inclusion leaf_index " + std::to_string(proof.leaf_index) + " is not < tree_size " +
                            std::to_string(proof.tree_size) + " (RFC-ZELQ-0012 \u00a7" "9.1 step 4)"));
  }
  auto path = parse_hash_path(proof.inclusion_path);
  if (!path) return fail(std::move(path).error());
  auto root = parse_sha256_hash(cp.root_hash);
  if (!root) return fail(std::move(root).error());
  if (!verify_inclusion_path(proof.leaf_index, proof.tree_size, leaf_digest, *path, *root)) {
    return fail(proof_error("inclusion_path for leaf_index " + std::to_string(proof.leaf_index) +
                            " does not fold to the checkpoint root_hash '" + cp.root_hash + "' at tree_size " +
                            std::to_string(proof.tree_size) + " (RFC-ZELQ-0012 \u00a7" "9.1 step 6)"));
  }
  return {};
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
  json::Object o;
  o.insert("valid", json::Value(true));
  o.insert("leaf_hash", json::Value(std::string(leaf_hash)));
  return json::to_string(json::Value(std::move(o)));
}

// ---- consistency ------------------------------------------------------------------------

ZResult<LogConsistencyProof> parse_log_consistency_proof(const json::Value& merged) {
  auto p = json::read_record(merged, kConsistencyRecord);
  if (!p) return fail(proof_error("consistency proof does not parse: " + p.error().display()));
  ZELQ_TRY(check_embedded_members(merged, false));
  return std::move(*p);
}

ZResult<void> check_consistency(const LogConsistencyProof& proof, std::string_view first_root_hash) {
  const LogCheckpoint& cp = proof.log_checkpoint;
  if (proof.log_id != cp.log_id) {
    return fail(proof_error("consistency proof log_id '" + proof.log_id + "' \u2260 log_checkpoint.log_id '" +
                            cp.log_id +
                            "' (consistency proofs exist only within one log_id, RFC-ZELQ-0012 \u00a7" "7.4)"));
  }
  if (proof.second_tree_size != cp.tree_size) {
    return fail(proof_error("consistency proof second_tree_size " + std::to_string(proof.second_tree_size) +
                            " \u2260 log_checkpoint.tree_size " + std::to_string(cp.tree_size) +
                            " (RFC-ZELQ-0012 \u00a7" "8.2)"));
  }
  auto first_root = parse_sha256_hash(first_root_hash);
  if (!first_root) return fail(std::move(first_root).error());
  auto second_root = parse_sha256_hash(cp.root_hash);
  if (!second_root) return fail(std::move(second_root).error());
  auto path = parse_hash_path(proof.consistency_path);
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

}  // namespace zelq::registry
