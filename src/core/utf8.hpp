// UTF-8 well-formedness, for the few places where bytes that should be text
// are handed to the host.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelq {

// Length of the longest well-formed prefix (the whole size when valid).
std::size_t utf8_valid_up_to(std::string_view s);
// The first fault, worded as the standard validation error words it:
// "invalid utf-8 sequence of {n} bytes from index {i}", or "incomplete utf-8
// byte sequence from index {i}" when the text ends inside a sequence.
std::optional<std::string> utf8_fault(std::string_view s);
// The number of Unicode scalar values of well-formed UTF-8 text.
std::size_t utf8_char_count(std::string_view s);
// The text with each maximal ill-formed subsequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view s);

}  // namespace zelq
