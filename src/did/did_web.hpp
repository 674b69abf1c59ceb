// did:web identifiers: the HTTPS location of a did:web DID's document, the
// DID of a web authority, and fragment stripping of DID URLs.
#pragma once

#include <string>
#include <string_view>

#include "did/did_error.hpp"

namespace zelq::did {

// "did:web:host%3A8443:a:b" -> "https://host:8443/a/b/did.json"; without
// path segments "https://{authority}/.well-known/did.json". The authority is
// percent-decoded; one that could move the URL's host (empty, or holding
// "/", "?", "#", "@", "\" or a control character once decoded) is refused
// with not_did_web. Path segments are copied as written.
DidResult<std::string> web_to_url(std::string_view did);

// The text before the first "#", or the whole text.
std::string_view strip_fragment(std::string_view did_url);

// "host:port" -> "did:web:host%3Aport". Nothing else is encoded.
std::string did_web_from_authority(std::string_view authority);

}  // namespace zelq::did
