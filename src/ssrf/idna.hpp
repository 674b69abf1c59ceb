// Domain to ASCII for the URL host parser: UTS #46 ToASCII, non-transitional,
// with CheckBidi and CheckJoiners on and UseSTD3ASCIIRules, CheckHyphens and
// VerifyDnsLength off. No label or name has a length limit.
//
// The host names we judge are hostile, so the work is linear in the input
// (n log n for Punycode) however many labels the name has and however long
// each one is.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelq::ssrf {

// `domain` is UTF-8 and holds a byte above 0x7F (an ASCII domain is only
// lowercased by the host parser and never comes here). Empty when the name
// is refused or maps to nothing.
std::optional<std::string> domain_to_ascii(std::string_view domain);

}  // namespace zelq::ssrf
