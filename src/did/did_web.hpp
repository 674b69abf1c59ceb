// did:web identifiers: the HTTPS location of a did:web DID's document, and
// the DID of a web authority with its way back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "did/did_error.hpp"
#include "did/did_url.hpp"

namespace zelq::did {

// "did:web:host%3A8443:a:b" -> "https://host:8443/a/b/did.json"; without
// path segments "https://{authority}/.well-known/did.json". The authority is
// percent-decoded; one that could move the URL's host (empty, or holding
// "/", "?", "#", "@", "\" or a control character once decoded) is refused
// with not_did_web. Path segments are copied as written.
DidResult<std::string> web_to_url(std::string_view did);

// "host:port" -> "did:web:host%3Aport". Nothing else is encoded.
std::string did_web_from_authority(std::string_view authority);

// The way back for a registry's DID: the text after "did:web:" up to the
// first ":" (path segments dropped), with each "%3A" (upper case only, as
// did_web_from_authority writes it) read as ":". Nothing without the prefix.
std::optional<std::string> derive_authority_from_registry_did(std::string_view registry_did);

}  // namespace zelq::did
