// Owning holders for secret bytes (Ed25519 seeds, P-256 scalars, nonces).
// They wipe their memory with secure_wipe, which the optimiser cannot drop,
// when destroyed and when moved from; copying has to be asked for by
// name (clone), so a secret never multiplies by accident.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace zelq {

// Zeroes `n` bytes in a way no optimiser removes (OPENSSL_cleanse); kept out
// of line so that this header pulls in no OpenSSL header.
void secure_wipe(void* p, std::size_t n);

template <std::size_t N>
class SecretArray {
 public:
  SecretArray() { data_.fill(0); }
  explicit SecretArray(std::span<const std::uint8_t, N> bytes) {
    for (std::size_t i = 0; i < N; ++i) data_[i] = bytes[i];
  }
  ~SecretArray() { wipe(); }

  SecretArray(const SecretArray&) = delete;
  SecretArray& operator=(const SecretArray&) = delete;
  SecretArray(SecretArray&& o) noexcept : data_(o.data_) { o.wipe(); }
  SecretArray& operator=(SecretArray&& o) noexcept {
    if (this != &o) {
      data_ = o.data_;
      o.wipe();
    }
    return *this;
  }

  SecretArray clone() const { return SecretArray(span()); }

  std::uint8_t* data() { return data_.data(); }
  const std::uint8_t* data() const { return data_.data(); }
  static constexpr std::size_t size() { return N; }
  std::span<std::uint8_t, N> span() { return std::span<std::uint8_t, N>(data_); }
  std::span<const std::uint8_t, N> span() const { return std::span<const std::uint8_t, N>(data_); }

  void wipe() { secure_wipe(data_.data(), N); }

 private:
  std::array<std::uint8_t, N> data_;
};

using Secret32 = SecretArray<32>;

// A secret of a length known only at run time. The buffer never grows, so no
// stale copy is left behind by a reallocation.
class SecretBytes {
 public:
  SecretBytes() = default;
  explicit SecretBytes(std::size_t size) : p_(size ? std::make_unique<std::uint8_t[]>(size) : nullptr), n_(size) {}
  ~SecretBytes() { wipe(); }

  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  SecretBytes(SecretBytes&& o) noexcept : p_(std::move(o.p_)), n_(o.n_) { o.n_ = 0; }
  SecretBytes& operator=(SecretBytes&& o) noexcept {
    if (this != &o) {
      wipe();
      p_ = std::move(o.p_);
      n_ = o.n_;
      o.n_ = 0;
    }
    return *this;
  }

  std::uint8_t* data() { return p_.get(); }
  const std::uint8_t* data() const { return p_.get(); }
  std::size_t size() const { return n_; }

 private:
  void wipe() {
    if (p_) secure_wipe(p_.get(), n_);
  }
  std::unique_ptr<std::uint8_t[]> p_;
  std::size_t n_ = 0;
};

}  // namespace zelq
