// The did:key rules of the producer-DID and key-id validators. Decoding
// belongs to the DID code; until that decoder is linked in here, both rules
// refuse, so that no did:key identity is ever accepted unchecked.
#include "wire/validators.hpp"

namespace zelq::wire {

ZResult<void> did_key_identifier_decodes(std::string_view) {
  return fail(ZelqError::text(ErrorKind::KeyResolution, "did:key decoding is not available"));
}

ZResult<void> did_key_url_resolves(std::string_view) {
  return fail(ZelqError::text(ErrorKind::KeyResolution, "did:key decoding is not available"));
}

}  // namespace zelq::wire
