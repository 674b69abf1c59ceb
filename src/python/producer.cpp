// The producer classes. An instance owns its identity and a 32-byte secret
// (Ed25519 seed or P-256 scalar) that is wiped before its memory is freed.
#include <string>

#include "core/secret.hpp"
#include "python/binding.hpp"

namespace zelq::py {

namespace {

struct ProducerPayload {
  std::string agent_did;
  std::string key_id;
  Secret32 secret;  // wipes itself
};

PyMethodDef g_ed25519_methods[] = {kMethodsEnd};
PyMethodDef g_p256_methods[] = {kMethodsEnd};

}  // namespace

PyType_Spec* producer_spec() {
  static ClassSpec c{
      "builtins.ZelqProducer",
      "A ZELQ producer: an Ed25519 signing key and its DID identity (`did:web`, or\n"
      "`did:key` through the `*_did_key` constructors).\n\n"
      "All methods return wire-ready JSON strings that the caller sends through its\n"
      "own HTTP client; no HTTP calls are made inside this class.",
      g_ed25519_methods, nullptr, sizeof(Instance<ProducerPayload>), dealloc_instance<ProducerPayload>};
  return &c.spec;
}

PyType_Spec* p256_producer_spec() {
  static ClassSpec c{
      "builtins.ZelqP256Producer",
      "Mirrors `ZelqProducer` exactly (same JSON-in/JSON-out surface) but signs with\n"
      "ECDSA-P256: it emits `signature.algorithm = \"ecdsa-p256\"` and the IEEE 1363 r\xe2\x80\x96s\n"
      "signature form. The producer's DID verification method must declare the P-256\n"
      "algorithm (RFC-ZELQ-0008 \xc2\xa7" "3.9), which `did_verification_method` mints.",
      g_p256_methods, nullptr, sizeof(Instance<ProducerPayload>), dealloc_instance<ProducerPayload>};
  return &c.spec;
}

}  // namespace zelq::py
