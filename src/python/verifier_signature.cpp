// ZelqVerifier: signatures over a content_hash text, and key fingerprints.
#include <span>

#include "core/codec.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/fingerprint.hpp"
#include "crypto/p256.hpp"
#include "python/binding.hpp"
#include "python/verifier_methods.hpp"

namespace zelq::py {

namespace {

PyObject* verify_signature(PyObject*, const Args& a) {
  auto key = crypto::decode_public_key_b64(a.str(0), "pub_key_b64");
  if (!key) return a.fail(key.error());
  auto ok = crypto::verify_ed25519(*key, a.str(1), a.str(2));
  if (!ok) return a.fail(ok.error());
  return true_();
}

PyObject* verify_signature_p256(PyObject*, const Args& a) {
  auto key = base64_argument(a.str(0), "pub_key_sec1_b64");
  if (!key) return a.fail(key.error());
  auto ok = crypto::verify_p256(*key, a.str(1), a.str(2));
  if (!ok) return a.fail(ok.error());
  return true_();
}

PyObject* fingerprint_ed25519_b64(PyObject*, const Args& a) {
  auto key = crypto::decode_public_key_b64(a.str(0));
  if (!key) return a.fail(key.error());
  return to_str(crypto::fingerprint_ed25519(*key));
}

// A signature that does not verify is a RuntimeError, whatever its kind.
constexpr ErrorMap kSignatureFailure{Raise::ValueError, Raise::RuntimeError, "signature invalid: "};

constexpr Param kVerifyParams[] = {{"pub_key_b64", PType::Str}, {"sig_b64", PType::Str}, {"content_hash", PType::Str}};
constexpr Param kVerifyP256Params[] = {
    {"pub_key_sec1_b64", PType::Str}, {"sig_b64", PType::Str}, {"content_hash", PType::Str}};
constexpr Param kFingerprintParams[] = {{"public_key_b64", PType::Str}};

constexpr MethodSpec kVerifySignature{
    "ZelqVerifier", "verify_signature", Kind::Static, kVerifyParams, verify_signature,
    "verify_signature(pub_key_b64, sig_b64, content_hash)\n--\n\n"
    "Verify an Ed25519 signature over a `content_hash` string.\n\n"
    "The signing input per RFC-ZELQ-0001 \xc2\xa7" "5.8 is the ASCII bytes of the full\n"
    "\"sha256:<hex>\" string, NOT the raw 32-byte digest; this method forwards exactly\n"
    "the bytes that `zelq::crypto::verify_ed25519` expects.\n\n"
    "- `pub_key_b64`: standard base64 (padded) of the 32-byte raw Ed25519 public key,\n"
    "  the format of `ZelqProducer.public_key_b64`.\n"
    "- `sig_b64`: the `body.signature.value` field from the wire format (standard\n"
    "  base64 of the 64-byte signature).\n"
    "- `content_hash`: the `body.content_hash` string.\n\n"
    "Returns `True` on success. Raises `ValueError` on malformed base64 input and\n"
    "`RuntimeError` on a verification failure.",
    kSignatureFailure};

constexpr MethodSpec kVerifySignatureP256{
    "ZelqVerifier", "verify_signature_p256", Kind::Static, kVerifyP256Params, verify_signature_p256,
    "verify_signature_p256(pub_key_sec1_b64, sig_b64, content_hash)\n--\n\n"
    "Verify an ECDSA-P256 signature over a `content_hash` string: the counterpart to\n"
    "the signing of [`ZelqP256Producer`].\n\n"
    "The signing input per RFC-ZELQ-0001 \xc2\xa7" "5.8 is the ASCII bytes of the full\n"
    "\"sha256:<hex>\" string, NOT the raw 32-byte digest. The wire signature is\n"
    "IEEE 1363 r\xe2\x80\x96s (64 bytes, base64), NOT DER.\n\n"
    "- `pub_key_sec1_b64`: standard base64 of the 65-byte SEC1-uncompressed key\n"
    "  (0x04 || x || y).\n"
    "- `sig_b64`: the 88-character base64 of the 64-byte r\xe2\x80\x96s signature.\n"
    "- `content_hash`: the `body.content_hash` string.\n\n"
    "Returns `True` on success. Raises `ValueError` on malformed base64 input and\n"
    "`RuntimeError` on a verification failure.\n\n"
    "[`ZelqP256Producer`]: zelq.ZelqP256Producer",
    kSignatureFailure};

constexpr MethodSpec kFingerprintEd25519B64{
    "ZelqVerifier", "fingerprint_ed25519_b64", Kind::Static, kFingerprintParams, fingerprint_ed25519_b64,
    "fingerprint_ed25519_b64(public_key_b64)\n--\n\n"
    "Fingerprint a raw Ed25519 public key for receipt cross-checks (ZELQ 0.2,\n"
    "RFC-ZELQ-0010): \"sha256:\" + lowercase_hex(SHA-256(raw 32-byte key)).\n\n"
    "`public_key_b64` is standard base64 (padded) of the 32-byte raw key, the same\n"
    "format as `ZelqProducer.public_key_b64`."};

const PyMethodDef kMethods[] = {method_def<kVerifySignature>(), method_def<kVerifySignatureP256>(),
                                    method_def<kFingerprintEd25519B64>()};

}  // namespace

std::span<const PyMethodDef> verifier_signature_methods() { return kMethods; }

}  // namespace zelq::py
