// ZelqVerifier: witness cosignatures of log checkpoints — minting one as a
// witness, verifying one, and counting a quorum of trusted witnesses.
#include <string>

#include "core/json/reader.hpp"
#include "core/timestamp.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"
#include "registry/witness_mint.hpp"

namespace zelq::py {

namespace {

PyObject* build_witness_cosignature(PyObject*, const Args& a) {
  auto checkpoint = json::parse_argument(a.str(0), "witnessed_checkpoint");
  if (!checkpoint) return a.fail(checkpoint.error());
  auto seed = registry::witness_seed_argument(a.str(2));
  if (!seed) return a.fail(seed.error());
  auto at = rfc3339_argument(a.str(3), "witnessed_at_rfc3339");
  if (!at) return a.fail(at.error());
  auto cosig = registry::build_witness_cosignature(*checkpoint, a.str(1), std::move(*seed), *at);
  if (!cosig) return a.fail(cosig.error());
  return to_str(*cosig);
}

constexpr Param kBuildParams[] = {{"witnessed_checkpoint_json", PType::Str},
                                  {"witness_did", PType::Str},
                                  {"witness_seed_hex", PType::Str},
                                  {"witnessed_at_rfc3339", PType::Str}};
constexpr MethodSpec kBuildWitnessCosignature{
    "ZelqVerifier", "build_witness_cosignature", Kind::Static, kBuildParams, build_witness_cosignature,
    "build_witness_cosignature(witnessed_checkpoint_json, witness_did, witness_seed_hex, witnessed_at_rfc3339)\n"
    "--\n\n"
    "Mint a witness cosignature (RFC-ZELQ-0015 \xc2\xa7" "4, \xc2\xa7" "5) over a checkpoint the\n"
    "witness has observed and checked itself.\n\n"
    "- `witnessed_checkpoint_json`: `{\"log_id\", \"tree_size\", \"root_hash\", \"timestamp\"}`\n"
    "  copied from the verified checkpoint; no other member is allowed.\n"
    "- `witness_did`: the witness's `did:web` or `did:key` DID; the key id signed\n"
    "  under is `<witness_did>#witness-key-1`.\n"
    "- `witness_seed_hex`: the witness's Ed25519 seed, 64 hexadecimal digits. It is\n"
    "  used for this call only and wiped afterwards.\n"
    "- `witnessed_at_rfc3339`: the witness-clock observation time (any RFC 3339\n"
    "  offset; written in UTC, cut to whole milliseconds).\n\n"
    "The signature covers the ASCII text of the cosignature's signing digest\n"
    "(RFC-ZELQ-0010 \xc2\xa7" "5). Equal inputs give byte-identical output. Returns the\n"
    "`zelq-cosig/1` object as compact JSON. Raises `ValueError` on any bad input.\n\n"
    "This is the raw mint: checking the checkpoint's own signature and its\n"
    "consistency with the witness's retained head is the caller's duty\n"
    "(RFC-ZELQ-0015 \xc2\xa7" "7)."};

const PyMethodDef kMethods[] = {method_def<kBuildWitnessCosignature>()};

}  // namespace

std::span<const PyMethodDef> verifier_witness_methods() { return kMethods; }

}  // namespace zelq::py
