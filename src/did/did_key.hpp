// did:key identifiers: "did:key:z" + base58btc(multicodec prefix || key).
// Ed25519 keys carry the prefix 0xed 0x01 and 32 bytes; P-256 keys 0x80 0x24
// and a 33-byte SEC1-compressed point.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "crypto/p256.hpp"

namespace zelq::did {

// The multicodec prefixes of the two public-key kinds.
inline constexpr std::array<std::uint8_t, 2> kEd25519Multicodec = {0xed, 0x01};
inline constexpr std::array<std::uint8_t, 2> kP256Multicodec = {0x80, 0x24};

// Whether `bytes` begins with `codec`.
constexpr bool has_multicodec(std::span<const std::uint8_t> bytes, const std::array<std::uint8_t, 2>& codec) {
  return bytes.size() >= 2 && bytes[0] == codec[0] && bytes[1] == codec[1];
}

// A public key taken out of a did:key identifier. A P-256 key is checked for
// its length and leading byte only; whether it is a curve point is settled
// where it is used.
class DidKeyPublicKey {
 public:
  using Kind = crypto::KeyAlgorithm;

  static DidKeyPublicKey ed25519(std::span<const std::uint8_t, 32> key);
  // The first byte must be 0x02 or 0x03 (the decoder checks it).
  static DidKeyPublicKey p256(std::span<const std::uint8_t, 33> key);

  Kind kind() const { return kind_; }
  // 32 bytes for Ed25519, 33 for P-256.
  std::span<const std::uint8_t> bytes() const { return {bytes_.data(), kind_ == Kind::Ed25519 ? 32u : 33u}; }
  std::span<const std::uint8_t, 32> ed25519_bytes() const { return std::span<const std::uint8_t, 32>(bytes_.data(), 32); }
  // "ed25519" or "ecdsa-p256".
  std::string_view algorithm() const;

  friend bool operator==(const DidKeyPublicKey&, const DidKeyPublicKey&) = default;

 private:
  DidKeyPublicKey(Kind k, std::span<const std::uint8_t> b);
  Kind kind_;
  std::array<std::uint8_t, 33> bytes_{};
};

// The method-specific identifier (without "did:key:") to its key.
ZResult<DidKeyPublicKey> decode_did_key(std::string_view method_specific_id);

// A did:key DID URL whose fragment repeats the identifier, to its key.
ZResult<DidKeyPublicKey> resolve_did_key_url(std::string_view key_id);

std::string did_key_from_ed25519(std::span<const std::uint8_t, 32> key);

// Any SEC1 form of a valid point; equal points give equal DIDs.
ZResult<std::string> did_key_from_p256(std::span<const std::uint8_t> sec1);

// The key id of a did:key identity: the DID, "#", and the DID's own
// method-specific identifier (the text after "did:key:").
std::string did_key_self_key_id(std::string_view did);

// A P-256 producer's signing identity.
struct P256DidKeyIdentity {
  crypto::P256SigningKey key;
  std::string agent_did;
  std::string key_id;  // the DID, "#", the method-specific identifier
};

// Takes the key over; on failure it is destroyed, which wipes its scalar.
ZResult<P256DidKeyIdentity> p256_did_key_and_key_id(crypto::P256SigningKey key);

// "did:web:" + at least one byte, or "did:key:z" + at least one byte.
bool is_web_or_key_did(std::string_view did);

}  // namespace zelq::did
