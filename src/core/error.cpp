#include "core/error.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include <unicode/uchar.h>

#include "core/json/value.hpp"
#include "core/json/writer.hpp"

namespace zelq {

namespace {

struct KindInfo {
  std::string_view name;
  std::string_view display;  // "{}" marks the one text payload
  std::string_view verdict;
  std::string_view witness_verdict;
};

constexpr std::string_view kZ = "zelq_error";

constexpr std::array<KindInfo, kErrorKindCount> kKinds = {{
    {"Canonicalization", "JCS canonicalization failed: {}", kZ, kZ},
    {"HashMismatch", "", kZ, kZ},
    {"ContextIdMismatch", "", kZ, kZ},
    {"IncompleteLineage", "", kZ, kZ},
    {"SearchTruncated", "search truncated: {}", kZ, kZ},
    {"RevocationDiscoveryBudgetExceeded", "revocation discovery budget exceeded: {}", kZ, kZ},
    {"RevocationDiscoveryFailed", "", kZ, kZ},
    {"RemoteHashMismatch", "registry rejected hash_mismatch: {}", kZ, kZ},
    {"DataRefHashMismatch", "data_ref hash mismatch: {}", kZ, kZ},
    {"InvalidSignature", "invalid signature: {}", "invalid_signature", "invalid_signature"},
    {"KeyResolution", "key resolution failed: {}", "key_resolution", "key_resolution"},
    {"KeyResolutionUnreachable", "key resolution unreachable (transient): {}", kZ, kZ},
    {"KeyNotAuthorized", "key not authorized: {}", "key_not_authorized", "key_not_authorized"},
    {"InvalidBody", "invalid body: {}", kZ, kZ},
    {"MissingField", "missing required field: {}", kZ, kZ},
    {"SchemaViolation", "schema violation: {}", "schema_violation", "schema_violation"},
    {"PayloadTooLarge", "payload too large: {}", kZ, kZ},
    {"EmbeddedTooLarge", "embedded data reference too large: {}", kZ, kZ},
    {"UnsupportedAlgorithm", "unsupported algorithm: {}", "unsupported_algorithm", "unsupported_algorithm"},
    {"UnsupportedMediaType", "unsupported media type: {}", kZ, kZ},
    {"NotImplemented", "not implemented: {}", kZ, kZ},
    {"NotFound", "not found: {}", kZ, kZ},
    {"NotAuthorized", "not authorized: {}", kZ, kZ},
    {"RateLimited", "rate limited: {}", kZ, kZ},
    {"CursorExpired", "search cursor expired", kZ, kZ},
    {"InvalidCursor", "invalid cursor: {}", kZ, kZ},
    {"SupersededTarget", "", kZ, kZ},
    {"DuplicatePublish", "duplicate publish: {}", kZ, kZ},
    {"CrossRegistryResolutionFailed", "cross-registry resolution failed: {}", kZ, kZ},
    {"InvalidReceipt", "invalid registry receipt: {}", "invalid_receipt", "invalid_receipt"},
    {"InvalidLogProof", "invalid transparency-log proof: {}", "invalid_log_proof", "invalid_log_proof"},
    {"InvalidWitnessCosignature", "invalid witness cosignature: {}", kZ, "invalid_witness_cosignature"},
    {"ImmutableField", "immutable field: {}", "immutable_field", kZ},
    {"InvalidLifecycleTransition", "invalid lifecycle transition: {}", "invalid_lifecycle_transition", kZ},
    {"RegistryInternal", "registry internal error: {}", kZ, kZ},
    {"Registry", "", kZ, kZ},
    {"Serialization", "serialization failed: {}", kZ, kZ},
    {"Http", "HTTP error: {}", kZ, kZ},
}};

const KindInfo& info(ErrorKind k) { return kKinds[static_cast<std::size_t>(k)]; }

std::string fill(std::string_view tmpl, std::string_view text) {
  std::string out;
  auto at = tmpl.find("{}");
  if (at == std::string_view::npos) return std::string(tmpl);
  out.reserve(tmpl.size() + text.size());
  out.append(tmpl.substr(0, at)).append(text).append(tmpl.substr(at + 2));
  return out;
}

std::string debug_opt(const std::optional<std::string>& s) {
  return s ? "Some(" + debug_quote(*s) + ")" : "None";
}

std::string wire_debug(const WireErrorBody& w) {
  std::string details = "None";
  if (w.details) details = "Some(" + json::debug_string(*w.details) + ")";
  return "WireError { error: WireErrorBody { code: " + debug_quote(w.code) +
         ", message: " + debug_quote(w.message) + ", details: " + details + " } }";
}

}  // namespace

std::string_view supersede_failure_name(SupersedeFailure f) {
  static constexpr std::array<std::string_view, 8> names = {
      "NotFound",          "LineageMismatch",   "VersionMismatch",        "AlreadySuperseded",
      "CrossRegistrySupersessionUnsupported", "LineageWalkFailed", "RevocationTypeMismatch", "Other"};
  return names[static_cast<std::size_t>(f)];
}

std::string_view error_kind_name(ErrorKind k) { return info(k).name; }
std::string_view verdict_code(ErrorKind k) { return info(k).verdict; }
std::string_view witness_verdict_code(ErrorKind k) { return info(k).witness_verdict; }

namespace {

// Characters a reader cannot see, and those that merge into the character
// before them, are shown by their code point.
bool shown_by_code_point(UChar32 c) {
  if (u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND)) return true;
  switch (u_charType(c)) {
    case U_CONTROL_CHAR:
    case U_FORMAT_CHAR:
    case U_SURROGATE:
    case U_PRIVATE_USE_CHAR:
    case U_UNASSIGNED:
    case U_LINE_SEPARATOR:
    case U_PARAGRAPH_SEPARATOR:
      return true;
    case U_SPACE_SEPARATOR:
      return c != ' ';
    default:
      return false;
  }
}

// The code point that starts `s` and its byte length; -1 (length 1) when the
// bytes there are not UTF-8.
UChar32 next_code_point(std::string_view s, std::size_t& len) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  len = b0 >= 0xf0 ? 4 : b0 >= 0xe0 ? 3 : b0 >= 0xc0 ? 2 : 1;
  if (len == 1 || b0 > 0xf4 || s.size() < len) {
    len = 1;
    return b0 < 0x80 ? b0 : -1;
  }
  UChar32 cp = b0 & (0x7f >> len);
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[k]);
    if ((b & 0xc0) != 0x80) {
      len = 1;
      return -1;
    }
    cp = (cp << 6) | (b & 0x3f);
  }
  return cp;
}

}  // namespace

std::string quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '\'';
  out += s;
  out += '\'';
  return out;
}

std::string debug_quote(std::string_view s) {
  std::string out = "\"";
  out.reserve(s.size() + 2);
  std::size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '"': out += "\\\""; ++i; continue;
      case '\\': out += "\\\\"; ++i; continue;
      case '\t': out += "\\t"; ++i; continue;
      case '\r': out += "\\r"; ++i; continue;
      case '\n': out += "\\n"; ++i; continue;
      case '\0': out += "\\0"; ++i; continue;
      default: break;
    }
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t len = 1;
    UChar32 cp = next_code_point(s.substr(i), len);
    if (cp >= 0 && shown_by_code_point(cp)) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(cp));
      out += buf;
    } else {  // printable, or not UTF-8: the bytes as they stand
      out.append(s.data() + i, len);
    }
    i += len;
  }
  out += '"';
  return out;
}

ZelqError ZelqError::text(ErrorKind kind, std::string t) {
  ZelqError e(kind);
  e.a_ = std::move(t);
  return e;
}

ZelqError ZelqError::cursor_expired() { return ZelqError(ErrorKind::CursorExpired); }

ZelqError ZelqError::hash_mismatch(std::string stored, std::string recomputed) {
  ZelqError e(ErrorKind::HashMismatch);
  e.a_ = std::move(stored);
  e.b_ = std::move(recomputed);
  return e;
}

ZelqError ZelqError::context_id_mismatch(std::string requested, std::string served) {
  ZelqError e(ErrorKind::ContextIdMismatch);
  e.a_ = std::move(requested);
  e.b_ = std::move(served);
  return e;
}

ZelqError ZelqError::incomplete_lineage(std::string lineage_id, std::optional<std::string> ctx_id) {
  ZelqError e(ErrorKind::IncompleteLineage);
  e.a_ = std::move(lineage_id);
  e.opt_ = std::move(ctx_id);
  return e;
}

ZelqError ZelqError::revocation_discovery_failed(ZelqError source) {
  ZelqError e(ErrorKind::RevocationDiscoveryFailed);
  e.source_ = std::make_shared<const ZelqError>(std::move(source));
  return e;
}

ZelqError ZelqError::superseded_target(SupersedeFailure reason, std::string message) {
  ZelqError e(ErrorKind::SupersededTarget);
  e.reason_ = reason;
  e.a_ = std::move(message);
  return e;
}

ZelqError ZelqError::registry(WireErrorBody body) {
  ZelqError e(ErrorKind::Registry);
  e.wire_ = std::make_shared<const WireErrorBody>(std::move(body));
  return e;
}

std::string ZelqError::display() const {
  switch (kind_) {
    case ErrorKind::HashMismatch:
      return "content_hash mismatch\n  stored:     " + a_ + "\n  recomputed: " + b_;
    case ErrorKind::ContextIdMismatch:
      return "context substitution: requested " + a_ + ", registry served " + b_;
    case ErrorKind::IncompleteLineage:
      return "incomplete lineage " + a_ +
             ": registry-served members did not satisfy the expected membership (expected ctx_id: " +
             debug_opt(opt_) + ")";
    case ErrorKind::RevocationDiscoveryFailed:
      return "revocation auto-discovery failed: " + source_->display();
    case ErrorKind::SupersededTarget:
      return "superseded target rejected (" + std::string(supersede_failure_name(reason_)) + "): " + a_;
    case ErrorKind::Registry:
      return "registry returned error: " + wire_debug(*wire_);
    default:
      return fill(info(kind_).display, a_);
  }
}

std::string ZelqError::debug(bool alternate) const {
  const std::string name(error_kind_name(kind_));
  // Field list of a struct variant, or the single tuple payload.
  std::vector<std::pair<std::string, std::string>> fields;
  std::string tuple;
  switch (kind_) {
    case ErrorKind::CursorExpired:
      return name;
    case ErrorKind::HashMismatch:
      fields = {{"stored", "ContentHash(" + debug_quote(a_) + ")"},
                {"recomputed", "ContentHash(" + debug_quote(b_) + ")"}};
      break;
    case ErrorKind::ContextIdMismatch:
      fields = {{"requested", debug_quote(a_)}, {"served", debug_quote(b_)}};
      break;
    case ErrorKind::IncompleteLineage:
      fields = {{"lineage_id", debug_quote(a_)}, {"ctx_id", debug_opt(opt_)}};
      break;
    case ErrorKind::RevocationDiscoveryFailed:
      fields = {{"source", source_->debug(false)}};
      break;
    case ErrorKind::SupersededTarget:
      fields = {{"reason", std::string(supersede_failure_name(reason_))}, {"message", debug_quote(a_)}};
      break;
    case ErrorKind::Registry:
      tuple = wire_debug(*wire_);
      break;
    default:
      tuple = debug_quote(a_);
  }
  if (fields.empty()) {
    if (alternate) return name + "(\n    " + tuple + ",\n)";
    return name + "(" + tuple + ")";
  }
  std::string out = name + " {";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (alternate) {
      out += "\n    " + fields[i].first + ": " + fields[i].second + ",";
    } else {
      out += (i ? ", " : " ") + fields[i].first + ": " + fields[i].second;
    }
  }
  out += alternate ? "\n}" : " }";
  return out;
}

}  // namespace zelq
