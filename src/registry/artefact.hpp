// What every signed registry artefact shares: its time members, its raw
// string members, the digest its signature covers, the check of that
// signature against resolved keys, and the consumer-clock window that its
// freshness is judged in. Receipts, checkpoints, cosignatures, lineage heads
// and lifecycle events all read through these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json.hpp"
#include "core/record.hpp"
#include "core/timestamp.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "did/key_select.hpp"
#include "wire/signature.hpp"

namespace zelq::registry {

// ---- time members -------------------------------------------------------------
// Two readings of a date-time member, differing only in what a non-string is
// reported as expecting: the millisecond members of leaves and receipts
// ("a string") and the plain date-time members ("an RFC 3339 formatted date
// and time string"). Any RFC 3339 text reads; canonical form is checked on
// the raw text afterwards.
inline constexpr char kExpectString[] = "a string";
inline constexpr char kExpectDateTime[] = "an RFC 3339 formatted date and time string";

// The placeholder an instant member holds before it is read.
inline const UtcTime kEpoch = *UtcTime::from_unix(0, 0);

json::PResult<UtcTime> time_of(const json::Value& v, std::string_view expected);
json::PResult<UtcTime> read_time(json::Reader& r, std::string_view expected);

template <class T, UtcTime T::*M, const char* E>
json::PResult<void> text_time(json::Reader& r, T& t) {
  auto u = read_time(r, E);
  if (!u) return fail(std::move(u).error());
  t.*M = *u;
  return {};
}

template <class T, UtcTime T::*M, const char* E>
json::PResult<void> value_time(const json::Value& v, T& t) {
  auto u = time_of(v, E);
  if (!u) return fail(std::move(u).error());
  t.*M = *u;
  return {};
}

template <class T, UtcTime T::*M, const char* E>
constexpr json::Field<T> time_field(const char* name) {
  return json::Field<T>{name, json::Presence::Required, &text_time<T, M, E>, &value_time<T, M, E>};
}

// The record's signature member, read by the closed Signature reader.
template <class T, wire::Signature T::*M>
json::PResult<void> text_signature(json::Reader& r, T& t) {
  auto s = wire::read_signature(r);
  if (!s) return fail(std::move(s).error());
  t.*M = std::move(*s);
  return {};
}

template <class T, wire::Signature T::*M>
json::PResult<void> value_signature(const json::Value& v, T& t) {
  auto s = wire::signature_from_value(v);
  if (!s) return fail(std::move(s).error());
  t.*M = std::move(*s);
  return {};
}

template <class T, wire::Signature T::*M>
constexpr json::Field<T> signature_field(const char* name) {
  return json::Field<T>{name, json::Presence::Required, &text_signature<T, M>, &value_signature<T, M>};
}

// ---- raw members ---------------------------------------------------------------
// The member's text when `v` is an object holding it as a JSON string.
const std::string* raw_string_member(const json::Value& v, std::string_view name);

// ---- signing digest and signature ---------------------------------------------------
// The digest an artefact's signature covers: the raw object as received,
// without its "signature", in canonical form. A non-object fails with
// "{label} must be a JSON object" as `kind`.
ZResult<std::string> artefact_signing_digest(const json::Value& raw, std::string_view label, ErrorKind kind);

// Verifies `sig` over the ASCII bytes of `digest` with the key of the
// declared algorithm; every failure is `kind`, labelled:
// "{label} declares ed25519 but no ed25519 registry key was resolved",
// "{label} declares ecdsa-p256 but no p256 registry key was resolved",
// "{label} signature algorithm '{alg}' is not supported",
// "{label} signature: {verifier's display text}".
ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const crypto::Ed25519PublicKey* ed25519,
                                        const crypto::P256Uncompressed* p256, std::string_view label,
                                        ErrorKind kind);

// The same with the one key that resolve_signature_key found.
ZResult<void> verify_artefact_signature(const wire::Signature& sig, std::string_view digest,
                                        const did::ResolvedSigningKey& key, std::string_view label, ErrorKind kind);

// ---- consumer clock -------------------------------------------------------------
// The consumer clock and its skew allowance, with the latest acceptable
// artefact time (now + skew) computed once and checked to be representable.
struct ClockWindow {
  UtcTime now;
  std::int64_t skew_secs;
  UtcTime limit;  // an artefact time exactly here still passes
};

// Nothing when now + skew leaves the representable time range; callers
// refuse such an allowance as a bad argument.
std::optional<ClockWindow> clock_window(const UtcTime& now, std::int64_t skew_secs);

// now - t in whole seconds, truncated toward zero (negative when t is ahead).
std::int64_t age_secs(const UtcTime& now, const UtcTime& t);

inline constexpr std::int64_t kDefaultSkewSecs = 120;

}  // namespace zelq::registry
