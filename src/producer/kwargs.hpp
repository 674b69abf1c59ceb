// The keyword arguments of the build methods that arrive as text (JSON
// documents, RFC 3339 date-times, enum words, identifiers), each turned into
// the value the request builder holds, or a ValueError naming the argument.
// Pure functions of their input.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/json/value.hpp"
#include "core/timestamp.hpp"
#include "producer/failure.hpp"
#include "wire/data_ref.hpp"
#include "wire/enums.hpp"
#include "wire/field_rules.hpp"

namespace zelq::producer {

PResult<wire::ContextType> parse_context_type_arg(std::string_view text);
PResult<wire::Visibility> parse_visibility_arg(std::string_view text);
PResult<wire::DataRefs> parse_data_refs_arg(std::string_view text);
PResult<std::vector<wire::AnchorEntry>> parse_anchors_arg(std::string_view text);
PResult<wire::DataPeriod> parse_data_period_arg(std::string_view text);
// Strict RFC 3339 at any offset, kept as the UTC instant (expires_at).
PResult<UtcTime> parse_rfc3339_arg(std::string_view text);
// "lin:sha256:" and 64 lowercase hex digits (expected_lineage_id).
PResult<std::string> parse_lineage_id_arg(std::string_view text);
// Any JSON value; that it is an object within the limits of metadata is a
// rule of the build, judged here as the text is read, so that a refused
// value is never built.
PResult<wire::JudgedObject> parse_metadata_arg(std::string_view text);
// Every entry a context identifier, in order; the first bad one is reported.
PResult<wire::DerivedFrom> parse_derived_from_arg(std::span<const std::string_view> entries);

}  // namespace zelq::producer
