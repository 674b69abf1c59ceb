// Any byte string through the text codecs and the did:key decoders: no crash,
// whatever a strict decoder accepts encodes back to exactly its input, and
// the byte string itself survives every encoder and its decoder.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <span>
#include <string_view>

#include "core/codec.hpp"
#include "did/did_key.hpp"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out)
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto b = zelq::base64_decode(text)) check(zelq::base64_encode(*b) == text);
  if (auto b = zelq::base64url_decode(text)) check(zelq::base64url_encode(*b) == text);
  if (auto b = zelq::base58_decode(text)) check(zelq::base58_encode(*b) == text);
  if (auto b = zelq::hex_decode(text)) check(zelq::hex_encode(*b) == lower(text));

  // The same bytes taken as data: every encoder's text decodes back to them.
  const std::span<const std::uint8_t> bytes(data, size);
  const zelq::Bytes raw(bytes.begin(), bytes.end());
  check(zelq::base64_decode(zelq::base64_encode(bytes)).value() == raw);
  check(zelq::base64url_decode(zelq::base64url_encode(bytes)).value() == raw);
  check(zelq::hex_decode(zelq::hex_encode(bytes)).value() == raw);
  if (size <= 1024) check(zelq::base58_decode(zelq::base58_encode(bytes)).value() == raw);
  std::array<std::uint8_t, 32> ed{};
  std::copy_n(data, std::min<std::size_t>(size, 32), ed.begin());
  const std::string did = zelq::did::did_key_from_ed25519(ed);
  const std::string id = did.substr(8);
  auto back = zelq::did::resolve_did_key_url(did + "#" + id);
  check(back.ok() && back->kind() == zelq::did::DidKeyPublicKey::Kind::Ed25519 &&
        std::equal(ed.begin(), ed.end(), back->bytes().begin()));

  auto key = zelq::did::decode_did_key(text);
  if (key && key->kind() == zelq::did::DidKeyPublicKey::Kind::Ed25519) {
    check(zelq::did::did_key_from_ed25519(key->ed25519_bytes()) == "did:key:" + std::string(text));
  }
  const std::string url = "did:key:" + std::string(text) + "#" + std::string(text);
  check(zelq::did::resolve_did_key_url(url).ok() == key.ok());
  return 0;
}
