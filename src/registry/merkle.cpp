#include "registry/merkle.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <optional>

#include "core/ascii.hpp"
#include "core/codec.hpp"
#include "core/json/record.hpp"

namespace zelq::registry {

namespace {

constexpr std::string_view kHashPrefix = "sha256:";
constexpr std::size_t kHashTextSize = 71;

ZelqError log_proof(std::string text) { return ZelqError::text(ErrorKind::InvalidLogProof, std::move(text)); }

// The 64 lowercase hex digits at p as 32 bytes; false when one is not such a
// digit. Without a table or a branch per digit, so the loops vectorize.
bool decode_lower_hex(const unsigned char* p, Digest32& d) {
  std::uint8_t nibbles[64];
  std::uint8_t bad = 0;
  for (std::size_t i = 0; i < 64; ++i) {
    const auto digit = static_cast<std::uint8_t>(p[i] - '0');
    const auto letter = static_cast<std::uint8_t>(p[i] - 'a');
    const bool is_digit = digit < 10;
    bad |= static_cast<std::uint8_t>(!is_digit && letter >= 6);
    nibbles[i] = is_digit ? digit : static_cast<std::uint8_t>(letter + 10);
  }
  for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(nibbles[2 * i] << 4 | nibbles[2 * i + 1]);
  return bad == 0;
}

// The digest of a well-formed wire hash; false, and no word why, for any
// other text. Readers that only look for well-formed hashes ask this first.
bool decode_wire_hash(std::string_view text, Digest32& d) {
  return text.size() == kHashTextSize && text.starts_with(kHashPrefix) &&
         decode_lower_hex(reinterpret_cast<const unsigned char*>(text.data()) + kHashPrefix.size(), d);
}

}  // namespace

ZResult<Digest32> parse_sha256_hash(std::string_view text) {
  Digest32 d{};
  if (decode_wire_hash(text, d)) return d;
  if (!text.starts_with(kHashPrefix)) {
    return fail(log_proof("hash '" + std::string(text) +
                          "' is not of the form 'sha256:<hex>' (RFC-ZELQ-0012 \u00a7" "2)"));
  }
  return fail(log_proof("hash '" + std::string(text) +
                        "' is not 'sha256:' + 64 lowercase hex digits (RFC-ZELQ-0012 \u00a7" "2)"));
}

std::string format_sha256_hash(const Digest32& d) {
  // Written in place: one string of its final size, no parts joined.
  std::string out(kHashTextSize, '\0');
  kHashPrefix.copy(out.data(), kHashPrefix.size());
  char* p = out.data() + kHashPrefix.size();
  for (const std::uint8_t b : d) {
    *p++ = ascii::kLowerHexDigits[b >> 4];
    *p++ = ascii::kLowerHexDigits[b & 0x0f];
  }
  return out;
}

void HashList::add(std::string_view text) {
  if (first_bad_) return;
  Digest32 d{};
  if (decode_wire_hash(text, d)) digests_.push_back(d);
  else first_bad_.emplace(text);
}

ZResult<std::vector<Digest32>> HashList::decoded() const {
  if (first_bad_) return fail(parse_sha256_hash(*first_bad_).error());
  return digests_;
}

Digest32 merkle_leaf_hash(std::string_view bytes) {
  Sha256 h;
  const std::uint8_t prefix = 0x00;
  h.update(std::span(&prefix, 1));
  h.update(bytes);
  return h.finish();
}

Digest32 merkle_node_hash(const Digest32& left, const Digest32& right) {
  // 0x01 || left || right is 65 bytes, 520 bits; padded, two blocks.
  std::array<std::uint8_t, 128> m{};
  m[0] = 0x01;
  std::copy(left.begin(), left.end(), m.begin() + 1);
  std::copy(right.begin(), right.end(), m.begin() + 33);
  m[65] = 0x80;
  m[126] = 520 >> 8;
  m[127] = 520 & 0xff;
  return sha256_padded(m);
}

Digest32 merkle_tree_hash(std::span<const Digest32> leaves) {
  const std::size_t n = leaves.size();
  if (n == 0) return sha256(std::string_view{});
  if (n == 1) return leaves[0];
  // k: the largest power of two strictly below n. The recursion depth is the
  // bit length of n, and each level holds two digests.
  const std::size_t k = std::bit_floor(n - 1);
  return merkle_node_hash(merkle_tree_hash(leaves.first(k)), merkle_tree_hash(leaves.subspan(k)));
}

namespace {

// The walk both proof checks share: each path entry is a sibling on the left
// (`left`) or on the right (`right`) of the running node, decided by the
// node's index `fn` and the last index `sn` of its level. True when the path
// climbs exactly to the root (never longer, never shorter).
template <class Left, class Right>
bool walk_path(std::uint64_t fn, std::uint64_t sn, std::span<const Digest32> path, Left left, Right right) {
  for (const Digest32& c : path) {
    if (sn == 0) return false;
    if ((fn & 1) != 0 || fn == sn) {
      left(c);
      while ((fn & 1) == 0 && fn != 0) {
        fn >>= 1;
        sn >>= 1;
      }
    } else {
      right(c);
    }
    fn >>= 1;
    sn >>= 1;
  }
  return sn == 0;
}

}  // namespace

bool verify_inclusion_path(std::uint64_t index, std::uint64_t size, const Digest32& leaf,
                           std::span<const Digest32> path, const Digest32& root) {
  if (size == 0 || index >= size) return false;
  Digest32 r = leaf;
  const bool climbs = walk_path(
      index, size - 1, path, [&](const Digest32& p) { r = merkle_node_hash(p, r); },
      [&](const Digest32& p) { r = merkle_node_hash(r, p); });
  return climbs && r == root;
}

bool verify_consistency_proof(std::uint64_t first_size, std::uint64_t second_size, std::span<const Digest32> path,
                              const Digest32& first_root, const Digest32& second_root) {
  if (first_size == second_size) return path.empty() && first_root == second_root;
  // Unsigned wrap-around folds "first size is 0" into "first above second".
  if (first_size - 1 >= second_size) return false;
  if (path.empty()) return false;
  // For a first tree that is a complete subtree, its root is the proof's
  // implicit first node.
  const bool complete = (first_size & (first_size - 1)) == 0;
  std::uint64_t fn = first_size - 1;
  std::uint64_t sn = second_size - 1;
  while ((fn & 1) != 0) {
    fn >>= 1;
    sn >>= 1;
  }
  Digest32 fr = complete ? first_root : path[0];
  Digest32 sr = fr;
  const bool climbs = walk_path(
      fn, sn, path.subspan(complete ? 0 : 1),
      [&](const Digest32& c) {
        fr = merkle_node_hash(c, fr);
        sr = merkle_node_hash(c, sr);
      },
      [&](const Digest32& c) { sr = merkle_node_hash(sr, c); });
  return climbs && fr == first_root && sr == second_root;
}

namespace {

// A wire hash written without escapes, its opening quote at the cursor:
// decoded in place and stepped over with its closing quote. False, with the
// cursor left where it was, for anything else.
bool read_plain_wire_hash(json::Reader& r, Digest32& d) {
  const std::string_view rest = r.text().substr(r.index());
  if (rest.size() <= kHashTextSize + 1 || rest[0] != '"' || rest[kHashTextSize + 1] != '"' ||
      !decode_wire_hash(rest.substr(1, kHashTextSize), d))
    return false;
  for (std::size_t i = 0; i < kHashTextSize + 2; ++i) r.eat();
  return true;
}

// One array element into the list.
json::PResult<void> read_hash_entry(json::Reader& r, HashList& list) {
  // Fast path: a well-formed hash and its closing quote hold no escape.
  if (Digest32 d; list.all_decoded() && r.peek_ws() == '"' && read_plain_wire_hash(r, d)) {
    list.add(d);
    return {};
  }
  bool escaped = false;
  auto text = json::read_string_view(r, escaped);
  if (!text) return fail(std::move(text).error());
  list.add(*text);
  return {};
}

// Only the fast path: a reader that gives up on anything else, an escaped
// spelling of a hash included, has another road that reads it.
json::PResult<Digest32> read_well_formed_entry(json::Reader& r) {
  Digest32 d;
  r.peek_ws();
  if (!read_plain_wire_hash(r, d)) return fail(json::ParseError{"not a plainly written wire hash"});
  return d;
}

// Room made up front for the entries the rest of the text can hold (each
// takes at least its text, two quotes and a comma), but for no more than
// 65536 of them: a longer list grows as it is read, and a large text of
// white space or other members reserves no more than that.
std::size_t most_entries(const json::Reader& r) {
  return std::min<std::size_t>((r.text().size() - r.index()) / (kHashTextSize + 3), std::size_t{1} << 16);
}

}  // namespace

json::PResult<HashList> read_wire_hashes(json::Reader& r) {
  HashList list;
  list.reserve(most_entries(r));
  auto read = json::for_each_in_seq(r, [&](json::Reader& at) { return read_hash_entry(at, list); });
  if (!read) return fail(std::move(read).error());
  return list;
}

json::PResult<std::vector<Digest32>> read_well_formed_wire_hashes(json::Reader& r) {
  return json::read_seq<Digest32>(r, read_well_formed_entry, most_entries(r));
}

Result<ZResult<std::vector<Digest32>>, ArgumentError> read_leaf_hashes_argument(std::string_view text) {
  json::Reader r(text);
  auto entries = read_wire_hashes(r);
  auto ended = entries ? r.end() : json::PResult<void>{};
  if (!entries || !ended) {
    const json::ParseError& e = entries ? ended.error() : entries.error();
    return fail(ArgumentError{"invalid leaf_hashes JSON (array of strings): " + e.display()});
  }
  return entries->decoded();
}

}  // namespace zelq::registry
