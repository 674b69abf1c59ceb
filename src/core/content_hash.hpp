// The two digests that bind JSON documents to their signatures, both SHA-256
// over the canonical JSON form and both written "sha256:" + 64 lowercase hex:
// the body content hash (producer-controlled members only) and the signing
// digest of a signed artefact (everything but its "signature").
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/canonical.hpp"
#include "core/json/record.hpp"
#include "core/json/value.hpp"
#include "core/sha256.hpp"

namespace zelq {

// Top-level body members that the registry assigns or that carry the hash and
// signature themselves; nested members of the same names stay.
inline constexpr std::array<std::string_view, 6> kContentHashExcluded = {
    "content_hash", "signature", "ctx_id", "lineage_id", "origin_registry", "created_at"};

// "sha256:" and 64 lowercase hex digits. Only parse() and the hashing
// functions make one, so a ContentHash that exists has that form.
class ContentHash {
 public:
  // SchemaViolation naming the field content_hash otherwise.
  static ZResult<ContentHash> parse(std::string_view text);
  // SHA-256 over `bytes`.
  static ContentHash of(std::string_view bytes);
  // A digest taken elsewhere.
  static ContentHash of_digest(const Digest32& digest);

  const std::string& text() const { return text_; }
  // Reads as its text wherever a text is expected.
  operator std::string_view() const { return text_; }

  friend bool operator==(const ContentHash&, const ContentHash&) = default;

 private:
  explicit ContentHash(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

// A method's expected-hash argument: "invalid content_hash: {schema
// violation}" when it lacks the form.
Result<ContentHash, ArgumentError> content_hash_argument(std::string_view text);

// The shape content_hash shares with other digests: `prefix`, then 64
// lowercase hex digits; the SchemaViolation names `field` and the prefix.
ZResult<void> check_prefixed_hex64(std::string_view s, std::string_view field, std::string_view prefix);

struct BodyHash {
  std::string canonical;  // the exact bytes that were hashed (the preimage)
  ContentHash hash;
};

// InvalidBody "expected a JSON object" for a non-object; the canonicaliser's
// error unchanged when it refuses the body.
ZResult<BodyHash> body_content_hash(const json::Value& body);

// The same for an object given as its top-level members (a view: nothing is
// copied). The excluded names are left out here; names must be distinct.
ZResult<BodyHash> members_content_hash(std::vector<const json::Member*> members);

// ---- on the text road: the same hashes without building a value ------------
// A body given as JSON text is canonicalized in one pass and its members are
// picked out of the canonical text, so that the memory a call needs stays a
// small multiple of the text, whatever its shape.

// A method's body argument: "invalid {role} JSON: {reader message}" when it
// does not read.
Result<CanonicalMembers, ArgumentError> canonical_body_argument(std::string_view text,
                                                               std::string_view role = "body");

// Whether a canonical member text `"key":value` has the key `name`, a name
// that canonical form writes without escapes.
bool member_has_key(std::string_view member, std::string_view name);

// The canonical object of the selected member texts (each `"key":value` in
// canonical form, in canonical order), and its hash.
BodyHash hash_of_member_texts(const std::vector<std::string_view>& members);

// The member texts of a canonical body that its content hash covers; empty
// with InvalidBody "expected a JSON object" for a non-object.
ZResult<std::vector<std::string_view>> hashed_member_texts(const CanonicalMembers& body);

ZResult<BodyHash> body_content_hash(const CanonicalMembers& body);
ZResult<void> verify_body_content_hash(const CanonicalMembers& body, const ContentHash& stored);

// Recomputes and compares byte for byte with `stored` (no case folding, no
// trimming); HashMismatch carries both texts.
ZResult<void> verify_body_content_hash(const json::Value& body, const ContentHash& stored);

// The content hash of a body held as a record: its canonical text is written
// from the record's rows into the hash a block at a time, so that neither a
// value of the body nor its whole canonical text is ever built.
template <class T>
ZResult<ContentHash> record_content_hash(const T& body, const json::Record<T>& rec) {
  Sha256 hash;
  json::TextSink out(&hash);
  ZELQ_TRY(json::write_record_text(body, rec, json::Form::Canonical, kContentHashExcluded, out));
  return ContentHash::of_digest(out.finish());
}

// Hash of a signed object's members without its top-level "signature".
ZResult<std::string> signing_digest(json::Object members);

// Position of the member named exactly "zelq_version", if any.
std::optional<std::size_t> get_zelq_version(const json::Object& members);

}  // namespace zelq
