// The field rules of publish bodies and requests beyond identifier syntax:
// list limits and duplicates, tags, visibility and audience, the limits of
// free-form JSON objects, the rules of one data reference (with the decoding,
// size and hash of embedded content), anchors and the signature value length.
// Each rule tests in a fixed order and returns the first failure; messages
// quote the offending text unchanged.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/record.hpp"
#include "core/json/string_list.hpp"
#include "core/json/value.hpp"
#include "wire/data_ref.hpp"
#include "wire/enums.hpp"

namespace zelq::wire {

inline constexpr std::size_t kMaxContributors = 100;
inline constexpr std::size_t kMaxAudience = 1000;
inline constexpr std::size_t kMaxDerivedFrom = 1000;
inline constexpr std::size_t kMaxTags = 200;
inline constexpr std::size_t kMaxTagBytes = 100;
inline constexpr std::size_t kMaxObjectMembers = 100;
inline constexpr std::size_t kMaxObjectDepth = 8;
inline constexpr std::size_t kMaxObjectCanonicalBytes = 65536;
inline constexpr std::size_t kMaxDataRefDescriptionChars = 1000;
inline constexpr std::size_t kMinLocationUriBytes = 3;
inline constexpr std::size_t kMaxLocationUriBytes = 4096;
inline constexpr std::size_t kMaxEmbeddedBytes = 65536;
inline constexpr std::size_t kMaxAnchors = 100;
inline constexpr std::size_t kSignatureValueChars = 88;

// A list of texts whose count a field rule bounds: the entries within the
// bound, and the count of all the entries it was given. The rule refuses a
// list past its bound for that count before it looks at any entry, and
// before any check of its record that reads the entries, so the entries
// past the bound are counted and dropped. What such a record writes or
// hashes never leaves it: the producer's build hashes the entries kept, and
// then refuses the request for the count.
template <std::size_t Bound>
class BoundedList {
 public:
  BoundedList() = default;
  BoundedList(std::initializer_list<std::string_view> entries) {
    for (std::string_view e : entries) push_back(e);
  }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // The entries within the bound: all of them unless size() exceeds it.
  const json::StringList& entries() const { return kept_; }
  void push_back(std::string_view s) {
    if (count_++ < Bound) kept_.push_back(s);
  }

 private:
  json::StringList kept_;
  std::size_t count_ = 0;
};

using Tags = BoundedList<kMaxTags>;
using DerivedFrom = BoundedList<kMaxDerivedFrom>;
using Audience = BoundedList<kMaxAudience>;

// Diagnostic forms inside messages: AgentDid("..."), CtxId("...").
std::string agent_did_debug(std::string_view s);
std::string ctx_id_debug(std::string_view s);

// Count first, then the first entry that comes again later (byte equality).
ZResult<void> check_list_limit_unique(std::string_view name, const json::StringList& entries, std::size_t limit);
ZResult<void> check_list_limit_unique(std::string_view name, const Audience& entries, std::size_t limit);
ZResult<void> check_derived_from_list(const DerivedFrom& entries);
ZResult<void> validate_tags(const Tags& tags);
ZResult<void> check_visibility_audience(Visibility v, const std::optional<Audience>& audience);
ZResult<void> validate_did_field(std::string_view did);

// Depth of a value: scalars 0, an empty container 1, else 1 + the deepest
// element; a value met with the budget spent counts 1.
std::size_t json_nesting_depth(const json::Value& v, std::size_t budget);
ZResult<void> check_json_object_limits(const json::Value& v, std::string_view name);
// The same limits, with the same messages, for the object that members read
// as texts make, judged without building it (each value is canonicalized on
// its own, once the member count has passed).
ZResult<void> check_object_text_limits(const json::MemberTexts& members, std::string_view name);
ZResult<void> validate_extensions(const json::Object& extensions);

// A free-form object judged under those limits as it is read: its value
// when it keeps them; otherwise their refusal, with no value built but, for
// an object, one of just the members named in `keep` when there are any. A
// text that does not read fails with the reader's error first.
struct JudgedObject {
  std::optional<json::Value> value;
  std::optional<ZelqError> refusal;
};
json::PResult<JudgedObject> read_judged_object(json::Reader& r, std::string_view name,
                                               std::span<const std::string_view> keep);
// The whole text as one such object.
json::PResult<JudgedObject> read_judged_object(std::string_view text, std::string_view name);

ZResult<void> validate_data_ref(const DataRef& ref);
// json: the canonical form; utf8: the text's bytes; base64: the decoded bytes.
ZResult<std::string> decode_embedded_content(const EmbeddedContent& e);
ZResult<void> validate_anchors(const std::vector<AnchorEntry>& anchors);
// InvalidSignature when a known algorithm's value is not 88 characters.
ZResult<void> check_signature_value_length(std::string_view algorithm, std::size_t value_len);
ZResult<void> validate_identifiers(std::string_view ctx_id, std::string_view lineage_id,
                                   std::string_view content_hash);

}  // namespace zelq::wire
