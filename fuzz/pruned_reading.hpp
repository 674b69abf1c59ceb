// Holding the reading of an argument that builds only what its reader looks
// at to the whole reading: the same failure word for word, and the same
// verdict from what each reading yields.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/reader.hpp"

namespace zelq::fuzz {

inline void check(bool ok) {
  if (!ok) std::abort();
}

inline std::string said(const json::ParseError& e) { return e.display(); }
inline std::string said(const ZelqError& e) { return e.display(); }
inline std::string said(const ArgumentError& e) { return e.message; }

// Two outcomes of one reader: both fail alike, or both succeed with equal
// values.
template <class A, class B>
void same_outcome(const A& a, const B& b) {
  check(a.ok() == b.ok());
  if (a.ok()) {
    check(*a == *b);
  } else {
    check(said(a.error()) == said(b.error()));
  }
}

// Two outcomes whose values cannot be compared: both fail alike or both
// succeed.
template <class A, class B>
void same_failure(const A& a, const B& b) {
  check(a.ok() == b.ok());
  if (!a.ok()) check(said(a.error()) == said(b.error()));
}

// `text` read as the argument `role` with `prune` and whole: the same
// failure, or `tie(pruned, whole)` on the two values.
template <class Tie>
void tie_argument(std::string_view text, std::string_view role, const json::Prune* prune, Tie tie) {
  const auto pruned = json::parse_argument(text, role, prune);
  const auto whole = json::parse_argument(text, role);
  same_failure(pruned, whole);
  if (whole) tie(*pruned, *whole);
}

}  // namespace zelq::fuzz
