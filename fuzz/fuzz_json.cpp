// Any byte string through the JSON reader and canonical JSON: no crash, and
// the one-pass canonical form always equals the canonical form of the value.
// Read with a Prune of every kind, the same text fails alike, or gives a
// value equal to the whole value, its left-out parts compared as read, and
// written out as the whole value is.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/json/canonical.hpp"
#include "core/json/reader.hpp"
#include "core/json/record.hpp"
#include "core/json/writer.hpp"

namespace {

using zelq::json::Prune;
using zelq::json::Unnamed;

// Members "a" (itself pruned) and "b" (built whole), the first two elements
// of an array by place, the three ways of treating other members, and lists
// left unread.
const Prune kInner{{"k"}, {nullptr}, true, Unnamed::Refuse};
const Prune kRefuse{{"a", "b"}, {&kInner, nullptr}, true, Unnamed::Refuse};
const Prune kDrop{{"a", "b"}, {&kInner, nullptr}, false, Unnamed::Drop};
const Prune kBuild{{"a", "b"}, {&kRefuse, nullptr}, true, Unnamed::Build};
const Prune kEach{{}, {}, false, Unnamed::Refuse, &kRefuse};
const Prune kUnreadList{{}, {}, false, Unnamed::Refuse, &kInner, true};
const Prune kUnreadPositional{{"a"}, {&kUnreadList}, true, Unnamed::Refuse, nullptr, true};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  auto value = zelq::json::parse(text);
  for (const Prune* p : {&kRefuse, &kBuild, &kEach, &kUnreadList, &kUnreadPositional}) {
    auto pruned = zelq::json::parse(text, p);
    if (pruned.ok() != value.ok()) std::abort();
    if (!value.ok() && pruned.error().display() != value.error().display()) std::abort();
    if (value.ok() && !zelq::json::same_value(*pruned, *value)) std::abort();
    if (!value.ok()) continue;
    // Written out, the left-out parts stand where they were read.
    auto again = zelq::json::parse(zelq::json::to_string(*pruned));
    if (!again.ok() || !zelq::json::same_value(*again, *value)) std::abort();
    // Only a value with nothing left out has a canonical form.
    if (zelq::json::holds_unread(*pruned) && zelq::jcs_canonicalize(*pruned).ok()) std::abort();
  }
  if (auto dropped = zelq::json::parse(text, &kDrop); dropped.ok() != value.ok()) std::abort();
  auto once = zelq::canonicalize_text(text);
  if (value.ok() != once.ok()) std::abort();
  if (!value.ok()) {
    if (value.error().display() != once.error().display()) std::abort();
    return 0;
  }
  auto canonical = zelq::jcs_canonicalize(*value);
  if (!canonical.ok() || *canonical != *once) std::abort();
  // The canonical form reads back to itself.
  auto again = zelq::canonicalize_text(*once);
  if (!again.ok() || *again != *once) std::abort();
  return 0;
}
