// Any bytes as a did:web DID: no crash; a DID that maps to a URL maps to an
// https URL ending in did.json, and fragment stripping is idempotent.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "did/did_web.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelq::did;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string prefixed = "did:web:" + std::string(text);
  for (std::string_view did : {text, std::string_view(prefixed)}) {
    if (auto url = web_to_url(did)) {
      if (!url->starts_with("https://") || !url->ends_with("did.json")) std::abort();
    }
    const std::string_view bare = strip_fragment(did);
    if (strip_fragment(bare) != bare || !did.starts_with(bare)) std::abort();
  }
  (void)did_web_from_authority(text);
  return 0;
}
