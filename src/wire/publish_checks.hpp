// The field rules that a stored body and a publish request share, in the
// order both apply them. Written once over the member names the two records
// have in common; each record adds its own identifier rules around them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "wire/field_rules.hpp"
#include "wire/validators.hpp"

namespace zelq::wire {

// "{name} length {n} exceeds {limit}", counted in characters; absent passes.
ZResult<void> check_text_length(std::string_view name, const std::optional<std::string>& text, std::size_t limit);
// 1..=500 characters.
ZResult<void> check_title(std::string_view title);

// Title and text lengths, the producer DID, contributors, derived_from,
// tags, audience, visibility and data_period.
template <class R>
ZResult<void> check_publish_fields(const R& r) {
  ZELQ_TRY(check_title(r.title));
  ZELQ_TRY(check_text_length("description", r.description, 5000));
  ZELQ_TRY(check_text_length("summary", r.summary, 1000));
  ZELQ_TRY(check_text_length("domain", r.domain, 200));
  ZELQ_TRY(validate_producer_did(r.agent_id));
  for (std::string_view c : r.contributors) ZELQ_TRY(validate_did(c));
  ZELQ_TRY(check_list_limit_unique("contributors", r.contributors, kMaxContributors));
  ZELQ_TRY(check_derived_from_list(r.derived_from));
  if (r.tags) ZELQ_TRY(validate_tags(*r.tags));
  if (r.audience) {
    ZELQ_TRY(check_list_limit_unique("audience", *r.audience, kMaxAudience));
    for (std::string_view a : r.audience->entries()) ZELQ_TRY(validate_did_field(a));
  }
  ZELQ_TRY(check_visibility_audience(r.visibility, r.audience));
  if (r.data_period && r.data_period->start > r.data_period->end)
    return fail(ZelqError::schema("data_period.start must not be after data_period.end"));
  return {};
}

// Data references, anchors, the signature value's length and its key id.
template <class R>
ZResult<void> check_publish_payload(const R& r) {
  for (const auto& d : r.data_refs) ZELQ_TRY(validate_data_ref(d));
  if (r.anchors) ZELQ_TRY(validate_anchors(*r.anchors));
  ZELQ_TRY(check_signature_value_length(r.signature.algorithm, r.signature.value.size()));
  return validate_key_id(r.signature.key_id);
}

}  // namespace zelq::wire
