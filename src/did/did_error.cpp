#include "did/did_error.hpp"

namespace zelq::did {

namespace {

constexpr std::string_view kCodes[] = {
    "not_did_web",   "parse_failed",  "id_mismatch",   "unsupported_algorithm",
    "key_not_found", "alg_mismatch",  "malformed_key", "key_not_authorized",
};

}  // namespace

std::string_view reason_code(DidReason r) { return kCodes[static_cast<std::size_t>(r)]; }

}  // namespace zelq::did
