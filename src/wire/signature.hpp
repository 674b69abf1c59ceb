// The detached signature object of publish requests, bodies and registry
// artefacts: which key signed, with which algorithm, and the signature text.
#pragma once

#include <string>
#include <string_view>

#include "core/json/value.hpp"
#include "core/json/record.hpp"

namespace zelq::wire {

struct Signature {
  std::string algorithm;  // "ed25519" or "ecdsa-p256" for the signatures this system makes
  std::string key_id;     // DID URL of the signing key
  std::string value;      // standard base64 of the signature bytes

  friend bool operator==(const Signature&, const Signature&) = default;
};

// A closed record: exactly the three text members, in any order, or a
// three-element array in member order. Contents are not judged here.
extern const json::Record<Signature> kSignatureRecord;

// At the reader's cursor (the value of an enclosing record's member).
json::PResult<Signature> read_signature(json::Reader& r);
// From an already parsed value; errors carry no position.
json::PResult<Signature> signature_from_value(const json::Value& v);

// Appends the member "signature" with the object {"algorithm","key_id","value"}
// to a compact JSON object being written, preceded by a comma unless it is
// the object's first member.
void write_signature_member(std::string& out, const Signature& sig, bool first_member);

}  // namespace zelq::wire
