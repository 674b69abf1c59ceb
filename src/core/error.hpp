// ZelqError: the one error vocabulary of the protocol. The variant decides how
// a failure leaves the module; display() is the text the host sees.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/result.hpp"

namespace zelq {

namespace json {
class Value;
}

enum class ErrorKind : std::uint8_t {
  Canonicalization,
  HashMismatch,
  ContextIdMismatch,
  IncompleteLineage,
  SearchTruncated,
  RevocationDiscoveryBudgetExceeded,
  RevocationDiscoveryFailed,
  RemoteHashMismatch,
  DataRefHashMismatch,
  InvalidSignature,
  KeyResolution,
  KeyResolutionUnreachable,
  KeyNotAuthorized,
  InvalidBody,
  MissingField,
  SchemaViolation,
  PayloadTooLarge,
  EmbeddedTooLarge,
  UnsupportedAlgorithm,
  UnsupportedMediaType,
  NotImplemented,
  NotFound,
  NotAuthorized,
  RateLimited,
  CursorExpired,
  InvalidCursor,
  SupersededTarget,
  DuplicatePublish,
  CrossRegistryResolutionFailed,
  InvalidReceipt,
  InvalidLogProof,
  InvalidWitnessCosignature,
  ImmutableField,
  InvalidLifecycleTransition,
  RegistryInternal,
  Registry,
  Serialization,
  Http,
};

inline constexpr int kErrorKindCount = 38;

enum class SupersedeFailure : std::uint8_t {
  NotFound,
  LineageMismatch,
  VersionMismatch,
  AlreadySuperseded,
  CrossRegistrySupersessionUnsupported,
  LineageWalkFailed,
  RevocationTypeMismatch,
  Other,
};

std::string_view supersede_failure_name(SupersedeFailure f);

// A registry's error report as it arrives on the wire.
struct WireErrorBody {
  std::string code;
  std::string message;
  std::shared_ptr<const json::Value> details;  // absent when null
};

class ZelqError {
 public:
  // Variants whose payload is a single text (or a static field name).
  static ZelqError text(ErrorKind kind, std::string text);
  static ZelqError cursor_expired();
  static ZelqError hash_mismatch(std::string stored, std::string recomputed);
  static ZelqError context_id_mismatch(std::string requested, std::string served);
  static ZelqError incomplete_lineage(std::string lineage_id, std::optional<std::string> ctx_id);
  static ZelqError revocation_discovery_failed(ZelqError source);
  static ZelqError superseded_target(SupersedeFailure reason, std::string message);
  static ZelqError registry(WireErrorBody body);

  // Shorthands for the variants the core raises most.
  static ZelqError schema(std::string t) { return text(ErrorKind::SchemaViolation, std::move(t)); }
  static ZelqError canonicalization(std::string t) { return text(ErrorKind::Canonicalization, std::move(t)); }
  static ZelqError invalid_signature(std::string t) { return text(ErrorKind::InvalidSignature, std::move(t)); }

  ErrorKind kind() const { return kind_; }
  // The first text payload (the only one for text variants).
  const std::string& message() const { return a_; }

  std::string display() const;
  std::string debug(bool alternate = false) const;

 private:
  explicit ZelqError(ErrorKind k) : kind_(k) {}
  ErrorKind kind_;
  std::string a_, b_;
  std::optional<std::string> opt_;
  std::shared_ptr<const ZelqError> source_;
  SupersedeFailure reason_ = SupersedeFailure::Other;
  std::shared_ptr<const WireErrorBody> wire_;
};

template <class T>
using ZResult = Result<T, ZelqError>;

// A caller's argument that lacks its form, found before any protocol check
// runs. The message is complete and names the argument; the binding raises
// it as its method's row says (ValueError unless the row says otherwise).
struct ArgumentError {
  std::string message;
};

// A failed check whose message is complete as it stands (not a ZelqError
// display); raised as its method's row says for failed checks.
struct CheckFailure {
  std::string message;
};

// The variant name, as the debug form writes it.
std::string_view error_kind_name(ErrorKind k);

// Verdict codes of the two verdict tables.
std::string_view verdict_code(ErrorKind k);
std::string_view witness_verdict_code(ErrorKind k);

// Debug quoting of a text: double quotes, backslash escapes; invisible and
// combining characters as \u{hex}.
std::string debug_quote(std::string_view s);

// A value named inside a message, between single quotes and unaltered.
std::string quoted(std::string_view s);

}  // namespace zelq
