#include "did/did_key.hpp"

#include <algorithm>
#include <optional>

#include "core/codec.hpp"
#include "did/did_url.hpp"

namespace zelq::did {

namespace {

ZelqError key_resolution(std::string text) { return ZelqError::text(ErrorKind::KeyResolution, std::move(text)); }

std::string encode_did(std::span<const std::uint8_t, 2> codec, std::span<const std::uint8_t> key) {
  Bytes raw(codec.begin(), codec.end());
  raw.insert(raw.end(), key.begin(), key.end());
  return std::string(kDidKeyPrefix) + "z" + base58_encode(raw);
}

// (p - 1) / 2 of the P-256 field, big-endian.
constexpr std::array<std::uint8_t, 32> kHalfFieldPrime = {
    0x7f, 0xff, 0xff, 0xff, 0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x7f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

// The compressed form of a SEC1 point. Besides the standard forms this takes
// the compact form (0x05, then x), whose y is the smaller of y and p - y.
std::optional<crypto::P256Compressed> compressed_point(std::span<const std::uint8_t> sec1) {
  if (sec1.size() == 33 && sec1[0] == 0x05) {
    crypto::P256Compressed even{};
    std::copy(sec1.begin(), sec1.end(), even.begin());
    even[0] = 0x02;
    auto key = crypto::P256PublicKey::from_sec1(even);
    if (!key) return std::nullopt;
    const auto& u = key->uncompressed();
    // For the even root y: y < p / 2 means y is the smaller root.
    const bool even_is_smaller = std::lexicographical_compare(u.begin() + 33, u.end(), kHalfFieldPrime.begin(),
                                                              kHalfFieldPrime.end());
    even[0] = even_is_smaller ? 0x02 : 0x03;
    return even;
  }
  auto key = crypto::P256PublicKey::from_sec1(sec1);
  if (!key) return std::nullopt;
  return key->compressed();
}

}  // namespace

DidKeyPublicKey::DidKeyPublicKey(Kind k, std::span<const std::uint8_t> b) : kind_(k) {
  std::copy(b.begin(), b.end(), bytes_.begin());
}

DidKeyPublicKey DidKeyPublicKey::ed25519(std::span<const std::uint8_t, 32> key) { return {Kind::Ed25519, key}; }

DidKeyPublicKey DidKeyPublicKey::p256(std::span<const std::uint8_t, 33> key) { return {Kind::P256, key}; }

std::string_view DidKeyPublicKey::algorithm() const {
  return crypto::algorithm_name(kind_);
}

ZResult<DidKeyPublicKey> decode_did_key(std::string_view id) {
  if (id.empty() || id[0] != 'z') {
    return fail(key_resolution("did:key requires the 'z' (base58btc) multibase prefix, got '" + std::string(id) + "'"));
  }
  auto raw = base58_decode(id.substr(1));
  if (!raw) return fail(key_resolution("did:key base58 decode: " + raw.error()));
  const Bytes& b = *raw;
  if (has_multicodec(b, kP256Multicodec)) {
    if (b.size() != 35) {
      return fail(key_resolution(
          "did:key p256 key must be a 33-byte SEC1-compressed point after the multicodec prefix, got " +
          std::to_string(b.size() - 2)));
    }
    if (b[2] != 0x02 && b[2] != 0x03) {
      return fail(key_resolution("did:key p256 key must be SEC1-compressed (leading 0x02/0x03)"));
    }
    return DidKeyPublicKey::p256(std::span<const std::uint8_t, 33>(b.data() + 2, 33));
  }
  if (has_multicodec(b, kEd25519Multicodec)) {
    if (b.size() != 34) {
      return fail(key_resolution("did:key ed25519 key must be 32 bytes after the multicodec prefix, got " +
                                 std::to_string(b.size() - 2)));
    }
    return DidKeyPublicKey::ed25519(std::span<const std::uint8_t, 32>(b.data() + 2, 32));
  }
  return fail(key_resolution(
      "did:key multicodec prefix is neither ed25519-pub (0xed 0x01) nor p256-pub (0x80 0x24)"));
}

ZResult<DidKeyPublicKey> resolve_did_key_url(std::string_view key_id) {
  const auto fragment = url_fragment(key_id);
  if (!fragment) return fail(key_resolution("key_id '" + std::string(key_id) + "' has no '#fragment'"));
  const std::string_view did = strip_fragment(key_id);
  if (!is_did_key(did)) return fail(key_resolution("not a did:key DID URL: " + std::string(key_id)));
  const std::string_view id = did.substr(kDidKeyPrefix.size());
  if (*fragment != id) {
    return fail(key_resolution("did:key fragment '#" + std::string(*fragment) +
                               "' must equal the method-specific identifier '" + std::string(id) +
                               "' (the did:key document's only verification method is the key itself)"));
  }
  return decode_did_key(id);
}

std::string did_key_from_ed25519(std::span<const std::uint8_t, 32> key) { return encode_did(kEd25519Multicodec, key); }

ZResult<std::string> did_key_from_p256(std::span<const std::uint8_t> sec1) {
  auto point = compressed_point(sec1);
  if (!point) return fail(key_resolution("p256 SEC1 parse: signature error"));
  return encode_did(kP256Multicodec, *point);
}

std::string did_key_self_key_id(std::string_view did) {
  std::string key_id(did);
  key_id += '#';
  key_id += did.substr(std::min(did.size(), kDidKeyPrefix.size()));
  return key_id;
}

ZResult<P256DidKeyIdentity> p256_did_key_and_key_id(crypto::P256SigningKey key) {
  auto did = did_key_from_p256(key.public_uncompressed());
  if (!did) return fail(std::move(did).error());
  if (!is_did_key(*did)) return fail(key_resolution("not a did:key DID: " + *did));
  std::string key_id = did_key_self_key_id(*did);
  return P256DidKeyIdentity{std::move(key), std::move(*did), std::move(key_id)};
}

bool is_web_or_key_did(std::string_view did) {
  // A did:key identifier is base58btc, multibase "z".
  return (did.size() > kDidWebPrefix.size() && is_did_web(did)) ||
         (did.size() > kDidKeyPrefix.size() + 1 && is_did_key(did) && did[kDidKeyPrefix.size()] == 'z');
}

}  // namespace zelq::did
