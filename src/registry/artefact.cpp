#include "registry/artefact.hpp"

#include "core/content_hash.hpp"

namespace zelq::registry {

json::PResult<UtcTime> time_of(const json::Value& v, std::string_view expected) {
  if (!v.is_string()) return fail(json::invalid_type(v, expected));
  auto t = parse_rfc3339(v.as_string());
  if (!t) return fail(json::ParseError{std::string(time_parse_message(t.error()))});
  return *t;
}

json::PResult<UtcTime> read_time(json::Reader& r, std::string_view expected) {
  int c = r.peek_ws();
  if (c < 0) return fail(r.peek_error("EOF while parsing a value"));
  if (c != '"') return fail(json::peek_invalid_type(r, expected));
  auto s = json::read_string(r);
  if (!s) return fail(std::move(s).error());
  auto t = parse_rfc3339(*s);
  if (!t) return fail(r.fix(json::ParseError{std::string(time_parse_message(t.error()))}));
  return *t;
}

const std::string* raw_string_member(const json::Value& v, std::string_view name) {
  const json::Value* m = v.get(name);
  return m && m->is_string() ? &m->as_string() : nullptr;
}

ZResult<std::string> artefact_signing_digest(const json::Value& raw, std::string_view label, ErrorKind kind) {
  if (!raw.is_object()) return fail(ZelqError::text(kind, std::string(label) + " must be a JSON object"));
  return signing_digest(raw.as_object());
}

ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const crypto::Ed25519PublicKey* ed25519,
                                        const crypto::P256Uncompressed* p256, std::string_view label,
                                        ErrorKind kind) {
  const std::string l(label);
  ZResult<void> verdict;
  if (sig.algorithm == crypto::kAlgEd25519) {
    if (!ed25519) return fail(ZelqError::text(kind, l + " declares ed25519 but no ed25519 registry key was resolved"));
    verdict = crypto::verify_ed25519(*ed25519, sig.value, digest);
  } else if (sig.algorithm == crypto::kAlgP256) {
    if (!p256) return fail(ZelqError::text(kind, l + " declares ecdsa-p256 but no p256 registry key was resolved"));
    verdict = crypto::verify_p256(*p256, sig.value, digest);
  } else {
    return fail(ZelqError::text(kind, l + " signature algorithm '" + sig.algorithm + "' is not supported"));
  }
  if (!verdict) return fail(ZelqError::text(kind, l + " signature: " + verdict.error().display()));
  return {};
}

ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const did::ResolvedSigningKey& key, std::string_view label, ErrorKind kind) {
  const auto* ed = std::get_if<crypto::Ed25519PublicKey>(&key.key);
  const auto* p256 = std::get_if<crypto::P256Uncompressed>(&key.key);
  return verify_artefact_signature(sig, digest, ed, p256, label, kind);
}

std::optional<ClockWindow> clock_window(const UtcTime& now, std::int64_t skew_secs) {
  // A leap second's extra second is carried into the next whole second, so
  // the limit keeps a fraction below one second.
  std::int64_t base = now.unix_seconds();
  std::uint32_t nanos = now.nanos();
  if (now.is_leap_second()) {
    base += 1;
    nanos -= 1'000'000'000u;
  }
  std::int64_t secs = 0;
  if (__builtin_add_overflow(base, skew_secs, &secs)) return std::nullopt;
  auto limit = UtcTime::from_unix(secs, nanos);
  if (!limit) return std::nullopt;
  return ClockWindow{now, skew_secs, *limit};
}

std::int64_t age_secs(const UtcTime& now, const UtcTime& t) {
  // Seconds and nanoseconds apart (a leap second's fraction reaches 2e9),
  // then both brought to one sign, so that the whole seconds are the value
  // truncated toward zero.
  constexpr std::int64_t kNs = 1'000'000'000;
  std::int64_t s = now.unix_seconds() - t.unix_seconds();
  std::int64_t n = std::int64_t{now.nanos()} - std::int64_t{t.nanos()};
  s += n / kNs;
  n %= kNs;
  if (s > 0 && n < 0) {
    s -= 1;
  } else if (s < 0 && n > 0) {
    s += 1;
  }
  return s;
}

}  // namespace zelq::registry
