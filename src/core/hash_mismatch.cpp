#include "core/hash_mismatch.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "core/content_hash.hpp"
#include "core/json/reader.hpp"
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

// A rewritten body as a view: the canonical texts of the members it keeps,
// in canonical order, taken from the body's canonical text (or from that of
// its timestamp-truncated form), and at most one member text of its own.
using Members = std::vector<std::string_view>;

constexpr std::string_view kVersion = "zelq_version";
constexpr std::string_view kVersion010 = "\"zelq_version\":\"0.1.0\"";
constexpr std::string_view kVersion020 = "\"zelq_version\":\"0.2.0\"";

bool is_version(std::string_view m) { return member_has_key(m, kVersion); }

// The key of a canonical member text, decoded.
std::string member_key(std::string_view m) {
  json::Reader r(m);
  r.eat();
  auto k = r.parse_string_body();
  return k ? std::move(*k) : std::string();
}

Members without_version(Members ms) {
  std::erase_if(ms, is_version);
  return ms;
}

// The version member replaced, or added at its place in key order.
Members with_version(Members ms, std::string_view version_member) {
  std::erase_if(ms, is_version);
  auto at = std::find_if(ms.begin(), ms.end(), [](std::string_view m) { return member_key(m) > kVersion; });
  ms.insert(at, version_member);
  return ms;
}

bool has_member(const Members& ms, std::string_view member) {
  return std::find(ms.begin(), ms.end(), member) != ms.end();
}

// Top-level null members dropped, except "supersedes", whose null is
// meaningful. No other canonical value text ends in ":null".
Members without_nulls(Members ms) {
  std::erase_if(ms, [](std::string_view m) { return m.ends_with(":null") && !member_has_key(m, "supersedes"); });
  return ms;
}

// The divergence patterns that apply to this body, in the order they are
// tried, until `try_` reports a match (true) or a failure. The timestamp
// patterns read the text a second time, truncating as they go, and only
// when the patterns before them found nothing.
template <class Try>
ZResult<bool> for_each_pattern(std::string_view text, const CanonicalMembers& body, const Members& all, Try try_) {
  ZResult<bool> found = false;
  // Whether to go on: no failure and no match yet.
  auto more = [&] { return found.ok() && !*found; };
  auto attempt = [&](std::string_view label, const Members& ms) { found = try_(label, ms); };
  if (more() && std::any_of(all.begin(), all.end(), is_version)) attempt(kWithoutVersion, without_version(all));
  if (more() && !has_member(all, kVersion010)) attempt(kWithV010, with_version(all, kVersion010));
  if (more() && !has_member(all, kVersion020)) attempt(kWithV020, with_version(all, kVersion020));
  const Members stripped = without_nulls(all);
  const bool removed = stripped.size() != all.size();
  if (more() && removed) attempt(kNullsOmitted, stripped);
  if (!more()) return found;
  auto truncated = canonicalize_members(text, true);
  if (!truncated) return fail(ZelqError::canonicalization(truncated.error().display()));
  const bool changed = truncated->text != body.text;
  auto truncated_members = hashed_member_texts(*truncated);
  if (!truncated_members) return fail(std::move(truncated_members).error());
  if (changed) attempt(kMsTruncated, *truncated_members);
  // Null-stripping and truncation together; truncation leaves nulls alone.
  const Members combined = without_nulls(*truncated_members);
  if (more() && (removed || changed)) attempt(kCombined, combined);
  if (more()) attempt(kCombinedOmitted, without_version(combined));
  if (more()) attempt(kCombinedForm, with_version(combined, kVersion010));
  if (more()) attempt(kCombinedForm, with_version(combined, kVersion020));
  return found;
}

}  // namespace

ZResult<std::string> explain_hash_mismatch(std::string_view text, const CanonicalMembers& body,
                                          const ContentHash& expected_hash) {
  auto members = hashed_member_texts(body);
  if (!members) return fail(std::move(members).error());
  const BodyHash recomputed = hash_of_member_texts(*members);
  if (recomputed.hash == expected_hash) return std::string(kHashMatchesReport);

  std::string report = "content_hash mismatch:\n  expected:   ";
  report.append(expected_hash.text()).append("\n  recomputed: ").append(recomputed.hash.text()).append("\n");

  auto matched = for_each_pattern(text, body, *members, [&](std::string_view label, const Members& rewritten) {
    if (hash_of_member_texts(rewritten).hash != expected_hash) return false;
    report.append("  likely cause: ").append(label).append("\n");
    return true;
  });
  if (!matched) return fail(std::move(matched).error());
  if (*matched) return report;
  report.append("  no known divergence pattern reproduces the expected hash.\n  canonical preimage (")
      .append(std::to_string(recomputed.canonical.size()))
      .append(" bytes) \xE2\x80\x94 diff this against the counterparty's canonical_preimage() output:\n  ")
      .append(utf8_lossy(recomputed.canonical))
      .append("\n");
  return report;
}

}  // namespace zelq
