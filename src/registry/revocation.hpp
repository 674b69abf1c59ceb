// Key revocations: a published context of type key-revocation announcing that
// one key, named by its fingerprint, is compromised since an instant T. Read
// and checked from the body, its trust class derived from who published it,
// and applied to one signature: a signature whose registry-attested publish
// time lies before the earliest boundary of its key stays attributable.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/reader.hpp"
#include "core/timestamp.hpp"
#include "wire/body.hpp"
#include "wire/enums.hpp"

namespace zelq::registry {

inline constexpr std::size_t kRevocationReasonMaxChars = 1024;

struct KeyRevocation {
  std::string revoked_key_fingerprint;
  UtcTime compromised_since;
  std::optional<std::string> reason;
  std::optional<std::string> revoked_key_id;
  std::string revoked_key_controller;
  std::string publisher;
  wire::TrustClass trust_class = wire::TrustClass::ProducerSigned;
};

// The checks of a revocation body in order; `signer_fingerprint` is the
// fingerprint of the key that signed the body, when the host resolved it.
ZResult<KeyRevocation> parse_key_revocation(const wire::Body& body, std::optional<std::string_view> signer_fingerprint);

// Compact JSON, members in declaration order, absent options left out.
std::string key_revocation_json(const KeyRevocation& revocation);

// A JSON array of revocation records as parse_key_revocation writes them
// (or seven-element arrays); unknown members are skipped.
json::PResult<std::vector<KeyRevocation>> read_revocation_list(std::string_view text);

// The revocation classification of one signature, as JSON text; unreadable
// arguments are argument errors. A signer fingerprint that is not of the
// ContentHash form is refused rather than matching nothing.
Result<std::string, ArgumentError> classify_under_revocation(std::string_view revocations_json,
                                                             std::string_view signer_fingerprint,
                                                             std::optional<std::string_view> receipt_created_at);

}  // namespace zelq::registry
