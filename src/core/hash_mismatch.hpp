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

// Fails only when
// the body (or a rewrite of it) cannot be hashed, with that error.
ZResult<std::string> explain_hash_mismatch(const json::Value& body, const ContentHash& expected_hash);

}  // namespace zelq
