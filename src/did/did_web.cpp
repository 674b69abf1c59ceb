#include "did/did_web.hpp"

#include <cstdint>
#include <optional>

#include "core/codec.hpp"
#include "core/error.hpp"
#include "core/utf8.hpp"

namespace zelq::did {

namespace {

// How a did:web DID writes the ":" before an authority's port.
constexpr std::string_view kEncodedColon = "%3A";

DidError not_did_web(std::string message) {
  return DidError{ZelqError::text(ErrorKind::KeyResolution, std::move(message)).display(), DidReason::NotDidWeb};
}

// Bytes that, inside the authority of "https://{authority}/...", would end
// it early or change which host is contacted.
bool moves_host(std::string_view authority) {
  if (authority.empty()) return true;
  for (char ch : authority) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) return true;
    switch (c) {
      case '/': case '?': case '#': case '@': case '\\': return true;
      default: break;
    }
  }
  return false;
}

}  // namespace

DidResult<std::string> web_to_url(std::string_view did) {
  if (!is_did_web(did)) {
    return fail(not_did_web("not a did:web DID: " + std::string(did)));
  }
  const std::string_view rest = did.substr(kDidWebPrefix.size());
  const std::size_t colon = rest.find(':');
  const std::string authority = percent_decode(rest.substr(0, colon));
  if (auto fault = utf8_fault(authority)) return fail(not_did_web("authority decode: " + *fault));
  if (moves_host(authority)) return fail(not_did_web("not a did:web DID: " + std::string(did)));
  if (colon == std::string_view::npos) return "https://" + authority + "/.well-known/did.json";
  std::string path(rest.substr(colon + 1));
  for (char& c : path)
    if (c == ':') c = '/';
  return "https://" + authority + "/" + path + "/did.json";
}

std::string did_web_from_authority(std::string_view authority) {
  std::string out(kDidWebPrefix);
  for (char c : authority) {
    if (c == ':') out += kEncodedColon;
    else out += c;
  }
  return out;
}

std::optional<std::string> derive_authority_from_registry_did(std::string_view registry_did) {
  if (!is_did_web(registry_did)) return std::nullopt;
  std::string_view rest = registry_did.substr(kDidWebPrefix.size());
  rest = rest.substr(0, rest.find(':'));
  std::string authority;
  for (std::size_t i = 0; i < rest.size();) {
    if (rest.compare(i, kEncodedColon.size(), kEncodedColon) == 0) {
      authority += ':';
      i += kEncodedColon.size();
    } else {
      authority += rest[i++];
    }
  }
  return authority;
}

}  // namespace zelq::did
