// What every signed registry artefact shares: its raw string members, the
// digest its signature covers, and the check of that signature against
// resolved keys. Checkpoints, cosignatures, lineage heads and lifecycle events
// can all read through these; their time members read through
// artefact_time.hpp, which comes with this header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "crypto/algorithm.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "crypto/verify.hpp"
#include "did/key_select.hpp"
#include "registry/artefact_time.hpp"
#include "wire/signature.hpp"

namespace zelq::registry {

// ---- raw members ---------------------------------------------------------------
// The member's text when `v` is an object holding it as a JSON string.
const std::string* raw_string_member(const json::Value& v, std::string_view name);

// ---- signing digest and signature ---------------------------------------------------
// The digest an artefact's signature covers: the raw object as received,
// without its "signature", in canonical form. A non-object fails with
// "{label} must be a JSON object" as `kind`.
ZResult<std::string> artefact_signing_digest(const json::Value& raw, std::string_view label, ErrorKind kind);

// Verifies `sig` over the ASCII bytes of `digest` with `key`, which must be
// of the declared algorithm; every failure is `kind`, labelled:
// "{label} declares ed25519 but no ed25519 registry key was resolved",
// "{label} declares ecdsa-p256 but no p256 registry key was resolved",
// "{label} signature algorithm '{alg}' is not supported",
// "{label} signature: {verifier's display text}".
ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const crypto::PublicKey& key, std::string_view label, ErrorKind kind);

// The same with the one key that resolve_signature_key found.
ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const did::ResolvedSigningKey& key, std::string_view label, ErrorKind kind);

}  // namespace zelq::registry
