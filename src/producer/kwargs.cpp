#include "producer/kwargs.hpp"

#include "core/json/reader.hpp"
#include "wire/enums.hpp"
#include "wire/validators.hpp"

namespace zelq::producer {

namespace {

// The whole text through one reader: nothing but white space may follow.
template <class T>
PResult<T> parse_whole(std::string_view text, json::PResult<T> (*read)(json::Reader&), std::string_view role) {
  json::Reader r(text);
  auto v = read(r);
  if (v) {
    auto end = r.end();
    if (end) return std::move(*v);
    v = fail(std::move(end).error());
  }
  return fail(ArgumentError{"invalid " + std::string(role) + " JSON: " + v.error().display()});
}

// A failed argument parse keeps its message and becomes the call's failure.
template <class T>
PResult<T> as_producer(Result<T, ArgumentError> r) {
  if (!r) return fail(std::move(r).error());
  return std::move(*r);
}

}  // namespace

PResult<wire::ContextType> parse_context_type_arg(std::string_view text) {
  if (auto t = wire::context_type_from(text)) return std::move(*t);
  return fail(ArgumentError{"invalid context_type '" + std::string(text) +
                            "': " + wire::unknown_context_type_message(text)});
}

PResult<wire::Visibility> parse_visibility_arg(std::string_view text) {
  const auto& names = wire::EnumNames<wire::Visibility>::wire;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (text == names[i]) return static_cast<wire::Visibility>(i);
  return fail(ArgumentError{"invalid visibility '" + std::string(text) + "'; expected public | restricted | private"});
}

PResult<wire::DataRefs> parse_data_refs_arg(std::string_view text) {
  return parse_whole(text, wire::read_data_refs, "data_refs");
}

PResult<std::vector<wire::AnchorEntry>> parse_anchors_arg(std::string_view text) {
  return parse_whole(text, wire::read_anchors, "anchors");
}

PResult<wire::DataPeriod> parse_data_period_arg(std::string_view text) {
  return parse_whole(text, wire::read_data_period, "data_period");
}

PResult<UtcTime> parse_rfc3339_arg(std::string_view text) {
  return as_producer(rfc3339_argument(text, "RFC 3339 timestamp"));
}

PResult<std::string> parse_lineage_id_arg(std::string_view text) {
  auto id = wire::validate_lineage_id(text);
  if (!id) return fail(ArgumentError{"invalid lineage_id: " + id.error().display()});
  return std::move(*id);
}

PResult<wire::JudgedObject> parse_metadata_arg(std::string_view text) {
  auto judged = wire::read_judged_object(text, "metadata");
  if (!judged) return fail(ArgumentError{"invalid metadata JSON: " + judged.error().display()});
  return std::move(*judged);
}

PResult<wire::DerivedFrom> parse_derived_from_arg(std::span<const std::string_view> entries) {
  wire::DerivedFrom out;
  for (std::string_view e : entries) {
    auto id = wire::validate_ctx_id(e);
    if (!id) return fail(ArgumentError{id.error().display()});
    out.push_back(*id);
  }
  return out;
}

}  // namespace zelq::producer
