#include "core/hash_mismatch.hpp"

#include <optional>
#include <vector>

#include "core/content_hash.hpp"
#include "core/timestamp.hpp"
#include "core/utf8.hpp"

namespace zelq {

namespace {

#define ZELQ_EM_DASH "\xE2\x80\x94"

constexpr std::string_view kWithoutVersion =
    "the expected hash was computed WITHOUT zelq_version " ZELQ_EM_DASH
    " the counterparty omits the field while this body emits it";
constexpr std::string_view kWithV010 =
    "the expected hash was computed WITH zelq_version \"0.1.0\" " ZELQ_EM_DASH
    " the counterparty emits a different zelq_version form than this body";
constexpr std::string_view kWithV020 =
    "the expected hash was computed WITH zelq_version \"0.2.0\" " ZELQ_EM_DASH
    " the counterparty emits a different zelq_version form than this body";
constexpr std::string_view kNullsOmitted =
    "the expected hash was computed with null-valued optional fields OMITTED " ZELQ_EM_DASH
    " this body serializes null instead of omitting (RFC-ZELQ-0005 \xC2\xA7" "2.2.1)";
constexpr std::string_view kMsTruncated =
    "the expected hash was computed over millisecond-truncated timestamps " ZELQ_EM_DASH
    " this body carries sub-ms precision (RFC-ZELQ-0001 \xC2\xA7" "5.3: truncate BEFORE signing)";
constexpr std::string_view kCombined =
    "multiple divergence patterns combined (null-stripping + ms truncation; zelq_version form unchanged)";
constexpr std::string_view kCombinedOmitted =
    "multiple divergence patterns combined (null-stripping + ms truncation + zelq_version omitted)";
constexpr std::string_view kCombinedForm =
    "multiple divergence patterns combined (null-stripping + ms truncation + zelq_version form change)";

#undef ZELQ_EM_DASH

json::Value without_version(const json::Value& body) {
  json::Value out = body;
  out.as_object().remove("zelq_version");
  return out;
}

// Replaces the value in place, or appends the member.
json::Value with_version(const json::Value& body, const char* version) {
  json::Value out = body;
  out.as_object().insert("zelq_version", json::Value(version));
  return out;
}

bool version_is(const json::Object& o, std::string_view v) {
  const json::Value* zv = o.find("zelq_version");
  return zv && zv->is_string() && zv->as_string() == v;
}

// Top-level null members dropped, except "supersedes", whose null is meaningful.
json::Value strip_top_level_nulls(const json::Value& body, bool& removed_any) {
  json::Object out;
  out.reserve(body.as_object().size());
  removed_any = false;
  for (const auto& m : body.as_object()) {
    if (m.value.is_null() && m.key != "supersedes") {
      removed_any = true;
    } else {
      out.insert(m.key, m.value);
    }
  }
  return json::Value(std::move(out));
}

struct Pattern {
  std::string_view label;
  json::Value body;
};

// The divergence patterns that apply to this body, in the order they are tried.
std::vector<Pattern> patterns_for(const json::Value& body) {
  const json::Object& obj = body.as_object();
  std::vector<Pattern> out;
  out.reserve(9);
  if (get_zelq_version(obj)) out.push_back({kWithoutVersion, without_version(body)});
  if (!version_is(obj, "0.1.0")) out.push_back({kWithV010, with_version(body, "0.1.0")});
  if (!version_is(obj, "0.2.0")) out.push_back({kWithV020, with_version(body, "0.2.0")});
  bool removed = false;
  json::Value stripped = strip_top_level_nulls(body, removed);
  if (removed) out.push_back({kNullsOmitted, stripped});
  json::Value truncated = truncate_timestamps_ms(body);
  if (!(truncated == body)) out.push_back({kMsTruncated, std::move(truncated)});
  json::Value combined = truncate_timestamps_ms(stripped);
  if (!(combined == body)) out.push_back({kCombined, combined});
  out.push_back({kCombinedOmitted, without_version(combined)});
  out.push_back({kCombinedForm, with_version(combined, "0.1.0")});
  out.push_back({kCombinedForm, with_version(combined, "0.2.0")});
  return out;
}

}  // namespace

ZResult<std::string> explain_hash_mismatch(const json::Value& body, const ContentHash& expected_hash) {
  auto recomputed = body_content_hash(body);
  if (!recomputed) return fail(std::move(recomputed).error());
  if (recomputed->hash == expected_hash) return std::string(kHashMatchesReport);

  std::string report = "content_hash mismatch:\n  expected:   ";
  report.append(expected_hash.text()).append("\n  recomputed: ").append(recomputed->hash.text()).append("\n");

  for (const auto& p : patterns_for(body)) {
    auto h = body_content_hash(p.body);
    if (!h) return fail(std::move(h).error());
    if (h->hash == expected_hash) {
      report.append("  likely cause: ").append(p.label).append("\n");
      return report;
    }
  }
  report.append("  no known divergence pattern reproduces the expected hash.\n  canonical preimage (")
      .append(std::to_string(recomputed->canonical.size()))
      .append(" bytes) \xE2\x80\x94 diff this against the counterparty's canonical_preimage() output:\n  ")
      .append(utf8_lossy(recomputed->canonical))
      .append("\n");
  return report;
}

}  // namespace zelq
