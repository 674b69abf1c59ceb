// The producer classes: ZelqProducer (Ed25519) and ZelqP256Producer (P-256).
// Both carry one payload, the core's Producer, whose secret is wiped when the
// instance is freed; one row set, instantiated per key kind, serves both.
#include <array>
#include <memory>
#include <variant>

#include "core/codec.hpp"
#include "producer/producer.hpp"
#include "producer/request.hpp"
#include "python/binding.hpp"

namespace zelq::py {

namespace {

using producer::Failure;
using producer::KeyKind;
using producer::Producer;

// Every producer member: an argument that lacks its form is a ValueError, a
// failed step a RuntimeError with the error's display text, whatever its kind.
constexpr ErrorMap kProducerErrors{Raise::ValueError, Raise::RuntimeError};

// Raises through the method row's error map.
PyObject* fail(const Args& a, const Failure& f) {
  return std::visit([&](const auto& e) { return a.fail(e); }, f);
}

template <KeyKind K>
PyObject* wrap(Producer p) {
  return make_instance(K == KeyKind::Ed25519 ? Cls::ZelqProducer : Cls::ZelqP256Producer,
                       std::make_unique<Producer>(std::move(p)));
}

template <KeyKind K>
PyObject* wrap(const Args& a, producer::PResult<Producer> p) {
  if (!p) return fail(a, p.error());
  return wrap<K>(std::move(*p));
}

template <class R>
PyObject* text_or_raise(const Args& a, const R& r) {
  if (!r) return fail(a, r.error());
  return to_str(*r);
}

// The attributes have no row: they raise through the members' map.
PyObject* text_or_raise(const ZResult<std::string>& r) {
  if (!r) return raise_failure(kProducerErrors, r.error());
  return to_str(*r);
}

const Producer& self_of(PyObject* self) { return payload_of<Producer>(self); }

// ---- constructors ----------------------------------------------------------

template <KeyKind K>
PyObject* generate(PyObject*, const Args& a) {
  return wrap<K>(Producer::generate(K, std::string(a.str(0)), std::string(a.str(1))));
}

template <KeyKind K>
PyObject* from_seed(PyObject*, const Args& a) {
  return wrap<K>(a, Producer::from_seed(K, as_bytes(a.bytes(0)), std::string(a.str(1)), std::string(a.str(2))));
}

template <KeyKind K>
PyObject* generate_did_key(PyObject*) {
  return wrap<K>(Producer::generate_did_key(K));
}

template <KeyKind K>
PyObject* from_seed_did_key(PyObject*, const Args& a) {
  return wrap<K>(a, Producer::from_seed_did_key(K, as_bytes(a.bytes(0))));
}

// ---- members ---------------------------------------------------------------

PyObject* agent_did(PyObject* self) { return to_str(self_of(self).agent_did()); }
PyObject* key_id(PyObject* self) { return to_str(self_of(self).key_id()); }

PyObject* seed_bytes(PyObject* self) {
  const auto& s = self_of(self).secret();
  return to_bytes(std::string_view(reinterpret_cast<const char*>(s.data()), s.size()));
}

PyObject* sign_challenge(PyObject* self, const Args& a) {
  return text_or_raise(a, self_of(self).sign_challenge(a.str(0)));
}

PyObject* public_key_b64(PyObject* self) { return to_str(self_of(self).public_key_b64()); }
PyObject* public_key_sec1_b64(PyObject* self) { return text_or_raise(self_of(self).public_key_sec1_b64()); }
PyObject* public_key_jwk(PyObject* self) { return text_or_raise(self_of(self).public_key_jwk()); }

PyObject* did_verification_method(PyObject* self, const Args& a) {
  return text_or_raise(a, self_of(self).did_verification_method(a.str(0), a.str(1)));
}

// The build methods' parameters, in positional order, each bound to the
// member of the same name of the core's argument struct.
using producer::PublishArgs;
using producer::SupersedeArgs;
using PublishBinding = ArgStruct<
    ZELQ_ARG(PublishArgs, title), ZELQ_ARG(PublishArgs, context_type), ZELQ_ARG(PublishArgs, visibility),
    ZELQ_ARG(PublishArgs, description), ZELQ_ARG(PublishArgs, summary), ZELQ_ARG(PublishArgs, tags),
    ZELQ_ARG(PublishArgs, domain), ZELQ_ARG(PublishArgs, metadata), ZELQ_ARG(PublishArgs, derived_from),
    ZELQ_ARG(PublishArgs, audience), ZELQ_ARG(PublishArgs, schema_uri), ZELQ_ARG(PublishArgs, contributors),
    ZELQ_ARG(PublishArgs, data_refs), ZELQ_ARG(PublishArgs, anchors), ZELQ_ARG(PublishArgs, expires_at),
    ZELQ_ARG(PublishArgs, data_period), ZELQ_ARG(PublishArgs, expected_lineage_id),
    ZELQ_ARG(PublishArgs, zelq_version), ZELQ_ARG(PublishArgs, omit_zelq_version)>;
using SupersedeBinding = ArgStruct<
    ZELQ_ARG(SupersedeArgs, previous_body_json), ZELQ_ARG(SupersedeArgs, title), ZELQ_ARG(SupersedeArgs, summary),
    ZELQ_ARG(SupersedeArgs, description), ZELQ_ARG(SupersedeArgs, tags), ZELQ_ARG(SupersedeArgs, domain),
    ZELQ_ARG(SupersedeArgs, metadata), ZELQ_ARG(SupersedeArgs, data_refs), ZELQ_ARG(SupersedeArgs, anchors),
    ZELQ_ARG(SupersedeArgs, clear_anchors), ZELQ_ARG(SupersedeArgs, expires_at),
    ZELQ_ARG(SupersedeArgs, data_period), ZELQ_ARG(SupersedeArgs, expected_lineage_id),
    ZELQ_ARG(SupersedeArgs, zelq_version), ZELQ_ARG(SupersedeArgs, omit_zelq_version)>;

PyObject* build_publish_request(PyObject* self, const Args& a) {
  return text_or_raise(a, producer::build_publish_request(self_of(self), PublishBinding::from(a)));
}

PyObject* build_supersede_request(PyObject* self, const Args& a) {
  return text_or_raise(a, producer::build_supersede_request(self_of(self), SupersedeBinding::from(a)));
}

// ---- rows ------------------------------------------------------------------
// One row set serves both classes; a row's doc differs by key kind only
// where the key shows.

template <KeyKind K>
constexpr const char* kCls = K == KeyKind::Ed25519 ? "ZelqProducer" : "ZelqP256Producer";
template <KeyKind K>
constexpr bool kEd = K == KeyKind::Ed25519;

constexpr Param kGenerateParams[] = {{"agent_did", PType::Str}, {"key_id", PType::Str}};
constexpr Param kFromSeedParams[] = {{"seed", PType::Bytes}, {"agent_did", PType::Str}, {"key_id", PType::Str}};
constexpr Param kSeedParams[] = {{"seed", PType::Bytes}};
constexpr Param kChallengeParams[] = {{"signing_input", PType::Str}};
constexpr Param kVerificationMethodParams[] = {{"method_id", PType::Str}, {"controller", PType::Str}};

#define FROM_SEED_DOC_TAIL                                                               \
  "Deterministic, for tests and for loading key material from a secret store: the\n" \
  "seed is the private key."

#define CHALLENGE_DOC_TAIL                                                                 \
  "A `content_hash` text (\"sha256:\" and 64 lowercase hex digits) is refused with\n"   \
  "`ValueError`: publish signatures sign exactly such texts, so a challenge of that\n"  \
  "form would obtain a publish signature for content this producer never saw."

template <KeyKind K>
constexpr MethodSpec kGenerate{
    kCls<K>, "generate", Kind::Static, kGenerateParams, generate<K>,
    DocBody{"Generate a producer with a fresh random key from the operating system's random\n"
            "source.\n\n"
            "`agent_did` is the full `did:web` DID; `key_id` is the DID URL of the signing key\n"
            "(for example one ending in \"#key-1\")."},
    kProducerErrors};
template <KeyKind K>
constexpr MethodSpec kFromSeed{
    kCls<K>, "from_seed", Kind::Static, kFromSeedParams, from_seed<K>,
    DocBody{kEd<K> ? "Construct a producer from a 32-byte Ed25519 seed (RFC 8032 private key).\n\n" FROM_SEED_DOC_TAIL
                   : "Construct a producer from a 32-byte big-endian P-256 private scalar.\n\n" FROM_SEED_DOC_TAIL
                     "\n\nRaises `ValueError` if the bytes are not exactly 32 or are not a valid\n"
                     "scalar (zero, or not below the curve order)."},
    kProducerErrors};
template <KeyKind K>
constexpr MethodSpec kGenerateDidKey{
    kCls<K>, "generate_did_key", Kind::StaticNoArgs, generate_did_key<K>,
    DocBody{"Generate a producer whose identity is the key itself (`did:key`): `agent_did`\n"
            "and `key_id` are derived from the public key, with no domain and no DID-document\n"
            "hosting. Consumers verify such contexts fully offline.\n\n"
            "A `did:key` cannot rotate: a new key is a new identity, and `supersedes` requires\n"
            "the same `agent_id`, so lineage continuity ends with the key."},
    kProducerErrors};
template <KeyKind K>
constexpr MethodSpec kFromSeedDidKey{
    kCls<K>, "from_seed_did_key", Kind::Static, kSeedParams, from_seed_did_key<K>,
    DocBody{"Like `generate_did_key`, from the given 32 bytes. Deterministic: the same seed\n"
            "always derives the same `agent_did` and `key_id`."},
    kProducerErrors};
template <KeyKind K>
constexpr MethodSpec kSeedBytes{
    kCls<K>, "seed_bytes", Kind::InstanceNoArgs, seed_bytes,
    DocBody{"The raw 32-byte seed (for ZelqP256Producer: the private scalar), for storage in a\n"
            "key vault. Each call returns a fresh `bytes` copy, owned by the caller."},
    kProducerErrors};
template <KeyKind K>
constexpr MethodSpec kSignChallenge{
    kCls<K>, "sign_challenge", Kind::Instance, kChallengeParams, sign_challenge,
    DocBody{kEd<K> ? "Sign a registry auth-challenge `signing_input` string.\n\n"
                     "The registry's challenge response carries a `signing_input` field of the form\n"
                     "\"zelq-registry-auth:v1:{nonce}:{agent_id}:{authority}:{expires_at}\". Pass that\n"
                     "exact string and put the returned base64 signature into the body of the\n"
                     "`POST /auth/token` request as `signature`; the registry verifies it with Ed25519\n"
                     "against the public key at `key_id`.\n\n" CHALLENGE_DOC_TAIL
                   : "Sign a registry auth-challenge `signing_input` string with this producer's P-256\n"
                     "key: the same flow as `ZelqProducer.sign_challenge`, returning the base64 IEEE\n"
                     "1363 r\xe2\x80\x96s signature.\n\n" CHALLENGE_DOC_TAIL},
    kProducerErrors};
template <KeyKind K>
constexpr MethodSpec kBuildPublish{
    kCls<K>, "build_publish_request", Kind::Instance, PublishBinding::params, build_publish_request,
    DocBody{kEd<K> ? "Build and sign a first-version publish request; returns its wire JSON string.\n\n"
                     "Only `title` and `context_type` are required. `metadata` must be JSON text of an\n"
                     "object, `data_refs` JSON text of an array of data-reference objects, `data_period`\n"
                     "a JSON object with \"start\" and \"end\", `expires_at` an RFC 3339 timestamp.\n"
                     "`expected_lineage_id` is a lineage identifier, accepted for later versions only\n"
                     "and refused on a first version.\n\n"
                     "By default the request carries `zelq_version` explicitly, set to the current\n"
                     "protocol version \"0.4.0\". The explicit and the omitted form are different\n"
                     "canonical pre-images and so yield different content hashes: a lineage picks one\n"
                     "form and never switches. `zelq_version` overrides the string;\n"
                     "`omit_zelq_version=True` restores the omitted form and takes precedence."
                   : "The same surface and semantics as `ZelqProducer.build_publish_request`, the\n"
                     "`zelq_version` rule included; only the signature algorithm differs\n"
                     "(\"ecdsa-p256\")."},
    kProducerErrors};
template <KeyKind K>
constexpr MethodSpec kBuildSupersede{
    kCls<K>, "build_supersede_request", Kind::Instance, SupersedeBinding::params, build_supersede_request,
    DocBody{kEd<K> ? "Build and sign a supersession request from the previous version's body JSON (the\n"
                     "body of a retrieved context); returns its wire JSON string.\n\n"
                     "The version is the previous version plus one and the lineage identifier is\n"
                     "carried forward. Every given argument overrides the corresponding field of the\n"
                     "previous body; every omitted one is retained. `zelq_version` and\n"
                     "`omit_zelq_version` behave as in `build_publish_request`: a lineage stays on the\n"
                     "form it started with."
                   : "The same surface and semantics as `ZelqProducer.build_supersede_request`, the\n"
                     "`zelq_version` rule included."},
    kProducerErrors};
constexpr MethodSpec kDidVerificationMethod{
    kCls<KeyKind::P256>, "did_verification_method", Kind::Instance, kVerificationMethodParams,
    did_verification_method,
    DocBody{"A complete `verificationMethod` entry (JSON object string) of type\n"
            "`JsonWebKey2020` for a `did:web` DID document. `method_id` is the full DID URL of\n"
            "the key (ending in a fragment such as \"#key-1\"); `controller` is the bare DID\n"
            "that owns the key (no fragment).\n\n"
            "Consumers resolve the signature algorithm from this entry, so publishing it keeps\n"
            "a P-256 signature from being rejected on algorithm-downgrade grounds\n"
            "(RFC-ZELQ-0008 \xc2\xa7" "3.9)."},
    kProducerErrors};

// The class's method table; only the P-256 producer mints a verification
// method.
template <KeyKind K>
auto g_methods = [] {
  std::array<PyMethodDef, kEd<K> ? 9 : 10> t{};
  std::size_t i = 0;
  for (const PyMethodDef& d : {method_def<kGenerate<K>>(), method_def<kFromSeed<K>>(),
                               method_def<kGenerateDidKey<K>>(), method_def<kFromSeedDidKey<K>>(),
                               method_def<kSeedBytes<K>>(), method_def<kSignChallenge<K>>()})
    t[i++] = d;
  if constexpr (!kEd<K>) t[i++] = method_def<kDidVerificationMethod>();
  for (const PyMethodDef& d : {method_def<kBuildPublish<K>>(), method_def<kBuildSupersede<K>>(), kMethodsEnd})
    t[i++] = d;
  return t;
}();

constexpr GetterSpec kAgentDid{"agent_did", agent_did, "The producer's DID (`did:web:\xe2\x80\xa6` or `did:key:\xe2\x80\xa6`)."};
constexpr GetterSpec kKeyId{"key_id", key_id,
                            "The DID URL of the signing key: `did:web:\xe2\x80\xa6#key-1`, or the\n"
                            "`did:key:z\xe2\x80\xa6#z\xe2\x80\xa6` self-fragment form."};
constexpr GetterSpec kPublicKeyB64{
    "public_key_b64", public_key_b64,
    "The raw Ed25519 public key as standard base64 (44 characters with padding), for\n"
    "populating a `did:web` verification method of type `Ed25519VerificationKey2020`."};
constexpr GetterSpec kPublicKeySec1B64{
    "public_key_sec1_b64", public_key_sec1_b64,
    "The SEC1-uncompressed public key (`0x04 || x || y`, 65 bytes) as standard base64,\n"
    "for populating a `did:web` `JsonWebKey2020` verification method (or split into\n"
    "the JWK `x`/`y` halves)."};
constexpr GetterSpec kPublicKeyJwk{
    "public_key_jwk", public_key_jwk,
    "The public key as a JWK (`{\"kty\":\"EC\",\"crv\":\"P-256\",\"x\":\xe2\x80\xa6,\"y\":\xe2\x80\xa6}`), returned as a\n"
    "JSON object string to drop straight into a `JsonWebKey2020` verification\n"
    "method's `publicKeyJwk`."};

constexpr PyGetSetDef kGetSetEnd = {nullptr, nullptr, nullptr, nullptr, nullptr};

PyGetSetDef g_ed25519_getset[] = {getter_def<kAgentDid>(), getter_def<kKeyId>(), getter_def<kPublicKeyB64>(),
                                  kGetSetEnd};
PyGetSetDef g_p256_getset[] = {getter_def<kAgentDid>(), getter_def<kKeyId>(), getter_def<kPublicKeySec1B64>(),
                               getter_def<kPublicKeyJwk>(), kGetSetEnd};

}  // namespace

PyType_Spec* producer_spec() {
  static ClassSpec c{
      "builtins.ZelqProducer",
      "A ZELQ producer: an Ed25519 signing key and its DID identity (`did:web`, or\n"
      "`did:key` through the `*_did_key` constructors).\n\n"
      "All methods return wire-ready JSON strings that the caller sends through its\n"
      "own HTTP client; no HTTP calls are made inside this class.",
      g_methods<KeyKind::Ed25519>.data(), g_ed25519_getset, sizeof(Instance<Producer>), dealloc_instance<Producer>};
  return &c.spec;
}

PyType_Spec* p256_producer_spec() {
  static ClassSpec c{
      "builtins.ZelqP256Producer",
      "Mirrors `ZelqProducer` exactly (same JSON-in/JSON-out surface) but signs with\n"
      "ECDSA-P256: it emits `signature.algorithm = \"ecdsa-p256\"` and the IEEE 1363 r\xe2\x80\x96s\n"
      "signature form. The producer's DID verification method must declare the P-256\n"
      "algorithm (RFC-ZELQ-0008 \xc2\xa7" "3.9), which `did_verification_method` mints.",
      g_methods<KeyKind::P256>.data(), g_p256_getset, sizeof(Instance<Producer>), dealloc_instance<Producer>};
  return &c.spec;
}

}  // namespace zelq::py
