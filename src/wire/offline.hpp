// Offline verification of did:key publications: a stored body (every field
// rule, the content hash over the body as written back, the key binding and
// the signature), a publish request as sent (hash over the text as read, key
// binding, signature), and the binding of a served body to the context
// identifier that was asked for.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/canonical.hpp"
#include "core/result.hpp"
#include "wire/body.hpp"
#include "wire/validators.hpp"

namespace zelq::wire {

// The checks of a parsed body, in their fixed order; the first failure.
ZResult<void> verify_body(const Body& body);

// The body and request arguments of the verifiers: "invalid body JSON: ..."
// and "invalid request JSON: ..." around the reader's message.
Result<Body, ArgumentError> body_argument(std::string_view text);
Result<PublishRequest, ArgumentError> request_argument(std::string_view text);
// A method's ctx_id argument `role`: "invalid {role}: {schema violation}".
Result<CtxId, ArgumentError> ctx_id_argument(std::string_view text, std::string_view role);

// The checks of a parsed request against the canonical form of the same
// text (no value of it is built); the hash is taken over that form and
// compared with the text as sent. Messages are complete: the hash step's
// reads "content_hash mismatch: ...".
Result<void, CheckFailure> verify_request(const PublishRequest& request, const CanonicalMembers& request_text);

// Both identifiers well formed (the served one first), then equal.
ZResult<void> verify_ctx_id_binding(const Body& body, std::string_view expected_ctx_id);

}  // namespace zelq::wire
