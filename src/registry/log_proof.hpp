// Inclusion and consistency proofs of the transparency log: their closed
// records, the binding of a proof to the checkpoint the consumer verified,
// and the proof checks themselves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "registry/checkpoint.hpp"
#include "registry/log_leaf.hpp"
#include "registry/merkle.hpp"

namespace zelq::registry {

struct LogInclusion {
  std::string log_id;
  std::uint64_t leaf_index = 0;
  std::uint64_t tree_size = 0;
  HashList inclusion_path;  // the leaf's sibling first
  LogCheckpoint log_checkpoint;
  std::optional<LogLeaf> leaf;  // validated, never hashed
};

struct LogConsistencyProof {
  std::string log_id;
  std::uint64_t first_tree_size = 0;
  std::uint64_t second_tree_size = 0;
  HashList consistency_path;
  LogCheckpoint log_checkpoint;
};

// The proof with the supplied checkpoint inserted when it has none; a proof
// that embeds a different one fails. Both values are taken over.
ZResult<json::Value> check_embedded_checkpoint(json::Value proof, json::Value checkpoint, std::string_view label);

ZResult<LogInclusion> parse_log_inclusion(const json::Value& merged);
// The whole check of a proof against the supplied checkpoint and the leaf the
// consumer rebuilt; the leaf's wire hash on success.
ZResult<std::string> verify_log_inclusion(json::Value proof, json::Value checkpoint,
                                          const json::Value& reconstructed_leaf);
// The same from the three argument texts: "invalid {inclusion|checkpoint|leaf}
// JSON: {reader message}" for the first that is not JSON text; else the
// leaf's wire hash or the verdict's error.
Result<ZResult<std::string>, ArgumentError> verify_log_inclusion_arguments(std::string_view proof,
                                                                           std::string_view checkpoint,
                                                                           std::string_view reconstructed_leaf);
// {"valid":true,"leaf_hash":..}
std::string inclusion_success_json(std::string_view leaf_hash);

ZResult<LogConsistencyProof> parse_log_consistency_proof(const json::Value& merged);
ZResult<void> check_consistency(const LogConsistencyProof& proof, std::string_view first_root_hash);
ZResult<void> verify_log_consistency(json::Value proof, json::Value checkpoint, std::string_view first_root_hash);
// The same from the argument texts ("consistency proof", then "checkpoint").
Result<ZResult<void>, ArgumentError> verify_log_consistency_arguments(std::string_view proof,
                                                                      std::string_view checkpoint,
                                                                      std::string_view first_root_hash);

}  // namespace zelq::registry
