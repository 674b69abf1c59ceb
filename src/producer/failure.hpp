// A producer call's failure and the host exception class it leaves through.
// The producer methods raise ValueError and RuntimeError with texts that are
// not all ZelqError displays (seed length, identity mismatch, argument
// parsers), so the class travels with the text.
#pragma once

#include <cstdint>
#include <string>

#include "core/result.hpp"

namespace zelq::producer {

struct Failure {
  enum class Type : std::uint8_t { Value, Runtime };
  Type type;
  std::string message;

  static Failure value(std::string m) { return {Type::Value, std::move(m)}; }
  static Failure runtime(std::string m) { return {Type::Runtime, std::move(m)}; }
};

template <class T>
using PResult = Result<T, Failure>;

}  // namespace zelq::producer
