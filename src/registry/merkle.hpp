// Merkle trees of the transparency log: the one text form of every log hash,
// the domain-separated leaf and node hashes, the tree hash over a list of
// leaf hashes, and the verification of inclusion and consistency paths.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/reader.hpp"
#include "core/sha256.hpp"

namespace zelq::registry {

// "sha256:" + 64 lowercase hex digits, taken exactly as given (no trimming,
// no case folding); InvalidLogProof otherwise.
ZResult<Digest32> parse_sha256_hash(std::string_view text);
std::string format_sha256_hash(const Digest32& d);

// A list of wire hashes as read: the digests of its entries up to the first
// that is no wire hash, and that entry's text. Entries after it are read for
// their form only, so a long list of anything but hashes costs nothing kept.
class HashList {
 public:
  void add(std::string_view text);
  void add(const Digest32& d) {
    if (!first_bad_) digests_.push_back(d);
  }
  bool all_decoded() const { return !first_bad_; }
  void reserve(std::size_t n) { digests_.reserve(n); }
  // Every entry decoded, or the first malformed entry's error.
  ZResult<std::vector<Digest32>> decoded() const;

 private:
  std::vector<Digest32> digests_;
  std::optional<std::string> first_bad_;
};

// SHA-256(0x00 || bytes): a leaf can never collide with an interior node.
Digest32 merkle_leaf_hash(std::string_view bytes);
// SHA-256(0x01 || left || right).
Digest32 merkle_node_hash(const Digest32& left, const Digest32& right);
// The tree hash of already hashed leaves; the empty list gives SHA-256("").
Digest32 merkle_tree_hash(std::span<const Digest32> leaves);

// Whether `path` (sibling first) folds `leaf` at `index` up to `root` of a
// tree of `size` leaves. A path of the wrong length, an index outside the
// tree and an empty tree all give false.
bool verify_inclusion_path(std::uint64_t index, std::uint64_t size, const Digest32& leaf,
                           std::span<const Digest32> path, const Digest32& root);

// Whether `path` proves that the tree of `first_size` leaves with root
// `first_root` is a prefix of the tree of `second_size` leaves with root
// `second_root`. Never anything but true or false.
bool verify_consistency_proof(std::uint64_t first_size, std::uint64_t second_size, std::span<const Digest32> path,
                              const Digest32& first_root, const Digest32& second_root);

// A JSON array of strings at the cursor, each decoded as a wire hash on the
// way.
json::PResult<HashList> read_wire_hashes(json::Reader& r);
// The same for a reader that gives up at the first entry that is no wire
// hash written without escapes (its error says no more than that).
json::PResult<std::vector<Digest32>> read_well_formed_wire_hashes(json::Reader& r);

// root_hash's argument: a whole text that is one JSON array of strings, each
// decoded as a wire hash on the way. "invalid leaf_hashes JSON (array of
// strings): {reader message}" when the text is not such an array; else the
// decoded hashes or the first malformed entry's error.
Result<ZResult<std::vector<Digest32>>, ArgumentError> read_leaf_hashes_argument(std::string_view text);

}  // namespace zelq::registry
