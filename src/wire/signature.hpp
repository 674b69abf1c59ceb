// The detached signature object of publish requests, bodies and registry
// artefacts: which key signed, with which algorithm, and the signature text.
#pragma once

#include <string>

#include "core/json.hpp"
#include "core/result.hpp"

namespace zelq::wire {

struct Signature {
  std::string algorithm;  // "ed25519" or "ecdsa-p256" for the signatures this system makes
  std::string key_id;     // DID URL of the signing key
  std::string value;      // standard base64 of the signature bytes

  friend bool operator==(const Signature&, const Signature&) = default;
};

// Reads a Signature from an already parsed JSON value: an object with exactly
// the three text members, or a three-element array in member order. The
// error is the JSON library's record message, without a position.
Result<Signature, std::string> signature_from_value(const json::Value& v);

// Appends the member "signature" with the object {"algorithm","key_id","value"}
// to a compact JSON object being written, preceded by a comma unless it is
// the object's first member.
void write_signature_member(std::string& out, const Signature& sig, bool first_member);

}  // namespace zelq::wire
