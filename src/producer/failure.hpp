// How a producer call fails: an argument (or a stored identity) that lacks
// its form, with a complete message, or a failed step, a ZelqError. The
// producer methods raise the first as ValueError and the second as
// RuntimeError with its display text, whatever its kind.
#pragma once

#include <variant>

#include "core/error.hpp"
#include "core/result.hpp"

namespace zelq::producer {

using Failure = std::variant<ArgumentError, ZelqError>;

template <class T>
using PResult = Result<T, Failure>;

}  // namespace zelq::producer
