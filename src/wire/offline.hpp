// Offline verification of did:key publications: a stored body (every field
// rule, the content hash over the body as written back, the key binding and
// the signature), a publish request as sent (hash over the text as read, key
// binding, signature), and the binding of a served body to the context
// identifier that was asked for.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/result.hpp"
#include "wire/body.hpp"

namespace zelq::wire {

// The checks of a parsed body, in their fixed order; the first failure.
ZResult<void> verify_body(const Body& body);

// The checks of a parsed request against the JSON value of the same text.
// The hash step's failure comes back as its own kind so that the caller can
// word it ("content_hash mismatch: ...").
struct RequestFailure {
  bool at_hash;  // the recomputed hash did not match, or could not be taken
  ZelqError error;
};
Result<void, RequestFailure> verify_request(const PublishRequest& request, const json::Value& request_value);

// Both identifiers well formed (the served one first), then equal.
ZResult<void> verify_ctx_id_binding(const Body& body, std::string_view expected_ctx_id);

// The DID of a key id: the text before its first "#", or all of it.
std::string_view key_id_did(std::string_view key_id);

}  // namespace zelq::wire
