// ZelqMerkle: transparency-log Merkle helpers.
#include "core/json/reader.hpp"
#include "python/binding.hpp"
#include "registry/log_leaf.hpp"
#include "registry/merkle.hpp"

namespace zelq::py {

namespace {

PyObject* leaf_hash(PyObject*, const Args& a) {
  auto v = json::parse_argument(a.str(0), "leaf", registry::log_leaf_prune());
  if (!v) return a.fail(v.error());
  auto leaf = registry::parse_log_leaf(*v);
  if (!leaf) return a.fail(leaf.error());
  return to_str(registry::log_leaf_hash(*leaf));
}

PyObject* node_hash(PyObject*, const Args& a) {
  auto left = registry::parse_sha256_hash(a.str(0));
  if (!left) return a.fail(left.error());
  auto right = registry::parse_sha256_hash(a.str(1));
  if (!right) return a.fail(right.error());
  return to_str(registry::format_sha256_hash(registry::merkle_node_hash(*left, *right)));
}

PyObject* root_hash(PyObject*, const Args& a) {
  auto leaves = registry::read_leaf_hashes_argument(a.str(0));
  if (!leaves) return a.fail(leaves.error());
  if (!*leaves) return a.fail(leaves->error());
  return to_str(registry::format_sha256_hash(registry::merkle_tree_hash(**leaves)));
}

constexpr Param kLeafParams[] = {{"leaf_json", PType::Str}};
constexpr Param kNodeParams[] = {{"left_hash", PType::Str}, {"right_hash", PType::Str}};
constexpr Param kRootParams[] = {{"leaf_hashes_json", PType::Str}};

constexpr MethodSpec kLeafHash{
    "ZelqMerkle", "leaf_hash", Kind::Static, kLeafParams, leaf_hash,
    "leaf_hash(leaf_json)\n--\n\n"
    "RFC-ZELQ-0012 \xc2\xa7" "5.1 leaf hash of a transparency-log leaf:\n"
    "SHA-256(0x00 \xe2\x80\x96 JCS(leaf)), returned as \"sha256:<64-lowercase-hex>\".\n\n"
    "`leaf_json` is the closed leaf object (for example the output of\n"
    "`ZelqVerifier.build_log_leaf`). It is shape-validated first: a malformed leaf\n"
    "raises `InvalidLogProof` rather than hashing bytes that no conformant log ever\n"
    "committed."};

constexpr MethodSpec kNodeHash{
    "ZelqMerkle", "node_hash", Kind::Static, kNodeParams, node_hash,
    "node_hash(left_hash, right_hash)\n--\n\n"
    "RFC-ZELQ-0012 \xc2\xa7" "5.1 interior-node hash SHA-256(0x01 \xe2\x80\x96 left \xe2\x80\x96 right) over the raw\n"
    "digests that the two \"sha256:<hex>\" arguments encode, returned in the same\n"
    "form.\n\n"
    "The 0x00 (leaf) / 0x01 (node) domain-separation prefixes are what stop\n"
    "leaf/node second-preimage forgeries: nothing may be hashed without them."};

constexpr MethodSpec kRootHash{
    "ZelqMerkle", "root_hash", Kind::Static, kRootParams, root_hash,
    "root_hash(leaf_hashes_json)\n--\n\n"
    "RFC-ZELQ-0012 \xc2\xa7" "5.2 RFC 6962 Merkle tree hash MTH(D[n]) over an ordered JSON\n"
    "array of \"sha256:<hex>\" leaf hashes (text such as '[\"sha256:...\", ...]'),\n"
    "returned as \"sha256:<hex>\".\n\n"
    "An empty array yields the empty-tree root, SHA-256 of the empty input."};

PyMethodDef g_methods[] = {method_def<kLeafHash>(), method_def<kNodeHash>(), method_def<kRootHash>(), kMethodsEnd};

}  // namespace

PyType_Spec* merkle_spec() {
  static ClassSpec c{"builtins.ZelqMerkle", "RFC-ZELQ-0012 \xc2\xa7" "5 Merkle helpers. All methods are static.",
                     g_methods};
  return &c.spec;
}

}  // namespace zelq::py
