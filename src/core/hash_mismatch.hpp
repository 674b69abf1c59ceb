// Diagnosis of a content_hash that another implementation computes
// differently: the body is rewritten along the known canonicalisation
// mistakes, and the first rewrite that reproduces the other side's hash is
// named. The result is a report for a person, never a verdict.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/content_hash.hpp"
#include "core/json/value.hpp"

namespace zelq {

inline constexpr std::string_view kHashMatchesReport = "content_hash matches the canonical preimage; no divergence";

// `body` is the canonical form of `text` (canonical_body_argument). Fails
// only when the body is not an object (InvalidBody). The body is never built
// as a value: each rewrite is a selection of member texts, so memory stays a
// small multiple of the text.
ZResult<std::string> explain_hash_mismatch(std::string_view text, const CanonicalMembers& body,
                                          const ContentHash& expected_hash);

}  // namespace zelq
