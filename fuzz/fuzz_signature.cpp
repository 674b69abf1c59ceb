// Signature texts against keys: any bytes split into a key, a signature text
// and a message, for Ed25519, P-256 and did:key key ids, and as a signature
// record. No crash; a verdict never changes between two calls.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "core/json/reader.hpp"
#include "crypto/ed25519.hpp"
#include "crypto/p256.hpp"
#include "wire/did_key_verify.hpp"
#include "wire/signature.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zelq;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // [key length byte][key][signature text up to the first newline][message]
  const std::size_t key_len = size ? std::min<std::size_t>(data[0], size - 1) : 0;
  const std::span<const std::uint8_t> key(data + (size ? 1 : 0), key_len);
  std::string_view rest = text.substr(size ? 1 + key_len : 0);
  const std::size_t nl = rest.find('\n');
  const std::string_view sig = rest.substr(0, nl);
  const std::string_view message = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);

  std::array<std::uint8_t, 32> ed{};
  std::copy_n(key.begin(), std::min<std::size_t>(key.size(), 32), ed.begin());
  const bool first = crypto::verify_ed25519(ed, sig, message).ok();
  if (crypto::verify_ed25519(ed, sig, message).ok() != first) std::abort();
  (void)crypto::ed25519_key_is_point(ed);
  (void)crypto::verify_p256(key, sig, message);

  // The signature text taken as a key id, the message as the value.
  wire::Signature s{"ed25519", std::string(sig), std::string(message)};
  (void)wire::verify_signature_by_did_key(s, message);
  s.algorithm = "ecdsa-p256";
  (void)wire::verify_signature_by_did_key(s, message);

  if (auto v = json::parse(text)) (void)wire::signature_from_value(*v);
  json::Reader r(text);
  (void)wire::read_signature(r);
  return 0;
}
