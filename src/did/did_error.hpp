// Failures of the DID operations: a message for the host and a stable reason
// code that callers can branch on without parsing the message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace zelq::did {

enum class DidReason : std::uint8_t {
  NotDidWeb,
  ParseFailed,
  IdMismatch,
  UnsupportedAlgorithm,
  KeyNotFound,
  AlgMismatch,
  MalformedKey,
  KeyNotAuthorized,
};

// The snake_case code, e.g. "key_not_found".
std::string_view reason_code(DidReason r);

struct DidError {
  std::string message;
  DidReason reason;
  std::string_view code() const { return reason_code(reason); }
};

template <class T>
using DidResult = Result<T, DidError>;

inline Unexpected<DidError> did_fail(DidReason reason, std::string message) {
  return fail(DidError{std::move(message), reason});
}

}  // namespace zelq::did
