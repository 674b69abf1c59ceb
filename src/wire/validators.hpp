// Syntax rules of the protocol's identifiers and short coded fields. Pure
// functions over text: a validator hands back success (and, for the
// identifier forms, an owned copy of the text) or a SchemaViolation whose
// message quotes the offending text unchanged; a predicate answers yes or no.
// Every length and position is counted in bytes, every character class is
// ASCII, and no input of any length or content makes them fail otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/error.hpp"

namespace zelq::wire {

// ---- predicates ------------------------------------------------------------

// 1..253 bytes of "."-separated labels, each 1..63 bytes of [a-z0-9-] that
// begins and ends with [a-z0-9]. A single label is a host name.
bool is_lowercase_dns_hostname(std::string_view s);
// 36 bytes, "-" at 8, 13, 18, 23, [0-9a-f] elsewhere: any version.
bool is_lowercase_uuid(std::string_view s);
// The same with "4" at 14 and [89ab] at 19.
bool is_lowercase_uuid_v4(std::string_view s);
// Exactly 64 bytes of [0-9a-f].
bool is_lowercase_hex64(std::string_view s);
// namespace ":" name, namespace [a-z][a-z0-9_]*, name [a-z][a-z0-9_-]*.
bool is_custom_context_type(std::string_view s);
// 1..64 bytes of [a-z][a-z0-9_]*: the open vocabularies of statuses and
// lifecycle event types.
bool is_open_vocabulary_word(std::string_view s);
// True at the first byte outside [a-z0-9_-].
bool has_non_name_char(std::string_view s);
// ^[a-z][a-z0-9-]*(\.[a-z][a-z0-9-]*)+$
bool is_dotted_scheme(std::string_view s);

// The authority of a context identifier: the text after "zelq://" up to the
// first "/" (or the end); empty when the prefix is missing. No other check.
std::string_view split_ctx_id(std::string_view s);

// ---- checked identifiers -----------------------------------------------------

// "zelq://" lowercase-host "/" lowercase-uuid-v4. Only parse() makes one, so
// a CtxId that exists has that form.
class CtxId {
 public:
  // SchemaViolation quoting the text otherwise.
  static ZResult<CtxId> parse(std::string_view text);
  static ZResult<CtxId> parse(std::string&& text);

  const std::string& text() const { return text_; }
  operator std::string_view() const { return text_; }
  // The host between "zelq://" and the "/".
  std::string_view authority() const;

  friend bool operator==(const CtxId&, const CtxId&) = default;

 private:
  explicit CtxId(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

// ---- validators ------------------------------------------------------------

// "zelq://" lowercase-host "/" lowercase-uuid-v4.
ZResult<std::string> validate_ctx_id(std::string_view s);
// Same rule; takes the text over and hands it back on success.
ZResult<std::string> validate_ctx_id(std::string&& s);
// "sha256:" and 64 lowercase hex digits.
ZResult<std::string> validate_content_hash(std::string_view s);
// "lin:sha256:" and 64 lowercase hex digits.
ZResult<std::string> validate_lineage_id(std::string_view s);
// DID syntax, 7..2048 bytes: "did:" method ":" method-specific-id.
ZResult<std::string> validate_did(std::string_view s);
// A producer's own DID: a did:key whose key decodes, or a did:web.
ZResult<void> validate_producer_did(std::string_view s);
// A signature's key id: a did:key DID URL must resolve to its key; any other
// key id passes here.
ZResult<void> validate_key_id(std::string_view s);
// Three non-empty runs of ASCII digits separated by "." (zelq_version).
ZResult<void> validate_semver(std::string_view s);
// A bare lowercase DNS host name, with pointed messages for the usual slips.
ZResult<void> validate_origin_registry(std::string_view s);
// context_type: namespace ":" name.
ZResult<void> validate_context_type(std::string_view s);

// The open vocabulary of a context's status.
struct ContextStatus {
  enum class Kind : std::uint8_t { Active, Superseded, Expired, Retracted, Other };
  Kind kind = Kind::Active;
  std::string other;  // the word itself, for Other only

  std::string_view word() const;
  friend bool operator==(const ContextStatus&, const ContextStatus&) = default;
};

ZResult<ContextStatus> validate_status(std::string_view s);

// ---- did:key rules -----------------------------------------------------------
// The two rules above that need a did:key decoded; each returns the decoder's
// KeyResolution error unchanged. Kept apart so the syntax rules do not pull in
// the key code.

// The method-specific identifier (text after "did:key:") decodes to a key.
ZResult<void> did_key_identifier_decodes(std::string_view method_specific_id);
// A did:key DID URL resolves to its key (fragment equal to the identifier).
ZResult<void> did_key_url_resolves(std::string_view key_id);

}  // namespace zelq::wire
