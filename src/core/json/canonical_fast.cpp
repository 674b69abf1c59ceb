// The common case of canonicalize_text in one tight pass over the text. It
// accepts a subset of what the reader accepts and, where it accepts, writes
// the same bytes as the reader's path; every malformed text, and a few rare
// well-formed ones (a string with a lone surrogate escape, a number beyond
// the double range), it hands back, so the reader stays the one source of
// error messages and positions.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ascii.hpp"
#include "core/json/canonical.hpp"
#include "core/json/string_bytes.hpp"
#include "core/json/writer.hpp"

namespace zelq {

namespace {

using ascii::is_digit;

// Containers the reader accepts nested.
constexpr int kMaxDepth = json::kRecursionLimit - 1;

// GCC and Clang have 128-bit integers on every 64-bit target.
__extension__ typedef unsigned __int128 U128;

// 10^j as a 128-bit binary fraction: 10^j lies in [p, p + 1) x 2^shift,
// with p's top bit set (hi holds p's upper 64 bits). For every decimal
// exponent a number of 16 or 17 significant digits can have in the range
// the scanner reads itself.
struct Pow10 {
  std::uint64_t hi;
  std::uint64_t lo;
  int shift;
};
constexpr int kMinPow10 = -317;
constexpr int kMaxPow10 = 284;

constexpr auto kPow10 = [] {
  // Big integers of 17 limbs, least significant first: 5^j for j >= 0, and
  // floor(2^1080 / 5^j), which dividing by 5 repeatedly keeps exact, for
  // j < 0. Their first 128 bits, truncated, are p; the twos of 10^j go to
  // the shift.
  constexpr int kLimbs = 17;
  constexpr int kWide = 1080;
  using Big = std::array<std::uint64_t, kLimbs>;
  std::array<Pow10, kMaxPow10 - kMinPow10 + 1> table{};
  const auto first_bits = [](const Big& x, int j, int scale) {
    int top = kLimbs - 1;
    while (x[static_cast<std::size_t>(top)] == 0) --top;
    const auto limb = [&](int i) { return i >= 0 ? x[static_cast<std::size_t>(i)] : std::uint64_t{0}; };
    const int lead = std::countl_zero(limb(top));
    const auto shifted = [&](int i) { return lead == 0 ? limb(i) : (limb(i) << lead) | (limb(i - 1) >> (64 - lead)); };
    return Pow10{shifted(top), shifted(top - 1), top * 64 + 63 - lead - 127 + j - scale};
  };
  Big x{};
  x[0] = 1;
  for (int j = 0; j <= kMaxPow10; ++j) {
    table[static_cast<std::size_t>(j - kMinPow10)] = first_bits(x, j, 0);
    U128 carry = 0;
    for (auto& limb : x) {
      const U128 v = static_cast<U128>(limb) * 5 + carry;
      limb = static_cast<std::uint64_t>(v);
      carry = v >> 64;
    }
  }
  x = Big{};
  x[kWide / 64] = std::uint64_t{1} << (kWide % 64);
  for (int j = -1; j >= kMinPow10; --j) {
    U128 rest = 0;
    for (std::size_t l = kLimbs; l-- > 0;) {
      const U128 v = (rest << 64) | x[l];
      x[l] = static_cast<std::uint64_t>(v / 5);
      rest = v % 5;
    }
    table[static_cast<std::size_t>(j - kMinPow10)] = first_bits(x, j, kWide);
  }
  return table;
}();

// v / 10 by a multiplication with its reciprocal, which the compiler would
// not always choose in a function as large as the canonicalizer's.
inline std::uint64_t tenth(std::uint64_t v) {
  return static_cast<std::uint64_t>((static_cast<U128>(v) * 0xCCCCCCCCCCCCCCCD) >> 67);
}

// Drops the trailing zeros of v (1 <= v < 10^18) and counts them.
int strip_zeros(std::uint64_t& v) {
  int zeros = 0;
  const auto drop = [&](std::uint64_t power, int n) {
    if (v % power == 0) {
      v /= power;
      zeros += n;
    }
  };
  drop(100000000, 8);
  drop(100000000, 8);
  drop(10000, 4);
  drop(100, 2);
  drop(10, 1);
  return zeros;
}

// Eight ASCII digits of n (below 10^8), leading zeros included, as they
// lie in memory: the halves, then pairs, then single digits, split in
// parallel lanes by multiplying with reciprocals (exact in these ranges).
std::uint64_t eight_digit_text(std::uint32_t n) {
  const std::uint64_t halves = n / 10000 | (static_cast<std::uint64_t>(n % 10000) << 32);
  const std::uint64_t hundreds = ((halves * 5243) >> 19) & 0x0000007F0000007F;
  const std::uint64_t pairs = hundreds | ((halves - hundreds * 100) << 16);
  const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000F;
  std::uint64_t text = (tens | ((pairs - tens * 10) << 8)) + 0x3030303030303030;
  if constexpr (std::endian::native == std::endian::big) text = __builtin_bswap64(text);
  return text;
}

// The decimal digits of v (1 <= v < 10^17) at out, which has room for 17;
// returns their count. Out of line, where the compiler keeps its divisions
// by constants cheap.
[[gnu::noinline]] int seventeen_digits(std::uint64_t v, char* out) {
  char text[34] = {};  // 17 bytes copied from any start: one fixed-size copy
  text[0] = static_cast<char>('0' + v / 10000000000000000);
  const std::uint64_t middle = eight_digit_text(static_cast<std::uint32_t>(v / 100000000 % 100000000));
  const std::uint64_t low = eight_digit_text(static_cast<std::uint32_t>(v % 100000000));
  std::memcpy(text + 1, &middle, 8);
  std::memcpy(text + 9, &low, 8);
  // The zeros that lead the text, eight at a time.
  int lead = 0;
  if (text[0] == '0') {
    std::uint64_t word = middle;
    lead = 1;
    if (word == 0x3030303030303030) {
      word = low;
      lead = 9;
    }
    word ^= 0x3030303030303030;  // a byte of 0 where a '0' is
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    lead += std::countr_zero(word) / 8;
  }
  const int k = 17 - lead;
  std::memcpy(out, text + lead, 17);
  return k;
}

// A decimal digits x 10^exponent, the shortest digits of a double, which
// lies `steps` steps of the decimal that was read from it (digits and zeros
// together).
struct Decimal {
  std::uint64_t digits;
  int exponent;
  std::int64_t steps;
};

// The integer at or below v (|v| well inside the 64-bit range), without a
// library call.
std::int64_t floor_of(double v) {
  const auto i = static_cast<std::int64_t>(v);
  return i - (v < static_cast<double>(i) ? 1 : 0);
}

// The shortest round-trip digits of the double that s x 10^q reads as, s
// of 16 or 17 digits (at least 2^52, below 10^17, the last digit not 0):
// the decimal of fewest digits that reads as that double, the closest to it
// of those; most often s itself. Nothing for a double outside the normal
// range, and where the bits kept cannot tell, which an exact conversion
// then settles.
//
// The 192-bit product of s (shifted to a top bit at 63) and p holds s x
// 10^q to within two units of its 129th bit: the 53 bits at its top are
// the double's, rounded by the bits below, which also tell where the
// decimal lies in the double's gap. 10^q, the step between decimals of s's
// length, comes in the same units from p. Kept to units of 2^30 of the
// product, all of it fits 64 bits with an error of a unit or so per step.
// The decimals that read as the double lie within half a gap of it, and a
// gap spans at most 22 steps, so they are a short run of steps around s.
// Every comparison has to clear a margin well above the errors; ties and
// the narrower gap below a power of two never do.
class ShortestReading {
 public:
  static std::optional<Decimal> of(std::uint64_t s, int q) {
    if (q < kMinPow10 || q > kMaxPow10) return std::nullopt;
    const Pow10& p = kPow10[static_cast<std::size_t>(q - kMinPow10)];
    const int z = std::countl_zero(s);
    const std::uint64_t w = s << z;
    const U128 product = static_cast<U128>(w) * p.hi + ((static_cast<U128>(w) * p.lo) >> 64);
    // Which way the double rounds is as good as random: no branch on it.
    const int below = 74 + static_cast<int>(product >> 127);  // bits under the 53 of the double
    const std::int64_t gap = std::int64_t{1} << (below - 30);
    const std::int64_t half = gap / 2;
    const auto rest = static_cast<std::int64_t>((product & ((static_cast<U128>(1) << below) - 1)) >> 30);
    if (rest > half - 4 && rest < half + 4) return std::nullopt;  // too near the midpoint to round
    const bool up = rest > half;
    const auto m = static_cast<std::uint64_t>(product >> below) + (up ? 1 : 0);
    if (m == std::uint64_t{1} << 52 || m == std::uint64_t{1} << 53) return std::nullopt;
    const int exponent = below + 64 + p.shift - z;  // the double is m x 2^exponent
    if (exponent < -1074 || exponent > 971) return std::nullopt;
    const ShortestReading r(s, q, static_cast<std::int64_t>(p.hi >> (30 - z)), rest - (up ? gap : 0), half);
    // Most often neither multiple of ten steps around s reads as the
    // double (a shorter decimal that did would make one of them read as it
    // too), and s is the closest decimal of its length, or else the one
    // next to it towards the double is. Else often one of them reads, the
    // closest multiple of ten, and neither multiple of 100 around it does.
    const auto last = static_cast<std::int64_t>(s - tenth(s) * 10);
    const bool below_reads = r.may_read(-last);
    if (!below_reads && !r.may_read(10 - last)) {
      if (r.closest_of_its_grid(0, 1)) return Decimal{s, q, 0};
      const std::int64_t t = r.offset_ > 0 ? -1 : 1;
      if (last + t > 0 && last + t < 10 && r.reads(t) && r.closest_of_its_grid(t, 1))
        return Decimal{s + static_cast<std::uint64_t>(t), q, t};
    } else {
      const std::int64_t t = below_reads ? -last : 10 - last;
      const std::uint64_t tens = tenth(s + static_cast<std::uint64_t>(t));
      const auto digit = static_cast<std::int64_t>(tens - tenth(tens) * 10);  // its last but one
      if (digit != 0 && r.reads(t) && r.closest_of_its_grid(t, 10) && !r.may_read(t - 10 * digit) &&
          !r.may_read(t + 10 * (10 - digit)))
        return Decimal{tens, q + 1, t};
    }
    return r.search();
  }

 private:
  // Above the error of a unit or so per step, for decimals up to a few
  // hundred steps from s; far below half a gap (2^43 and more).
  static constexpr std::int64_t kMargin = 1024;

  ShortestReading(std::uint64_t s, int q, std::int64_t step, std::int64_t offset, std::int64_t half)
      : s_(s), q_(q), step_(step), offset_(offset), half_(half) {}

  // Of the decimal t steps from s, to the double.
  std::int64_t distance(std::int64_t t) const {
    const std::int64_t position = t * step_ + offset_;
    return position < 0 ? -position : position;
  }
  bool reads(std::int64_t t) const { return distance(t) + kMargin < half_; }
  bool may_read(std::int64_t t) const { return distance(t) <= half_ + kMargin; }
  // Whether the decimal t steps from s is closer to the double than every
  // other multiple of `unit` steps.
  bool closest_of_its_grid(std::int64_t t, std::int64_t unit) const {
    return 2 * distance(t) + kMargin < unit * step_;
  }

  // The rest: the run [low, high] of steps from s that read as the double,
  // from an estimate checked at both ends, and its shortest decimal. Out of
  // line, where the compiler keeps its divisions by constants cheap.
  [[gnu::noinline]] std::optional<Decimal> search() const {
    const double per_step = 1.0 / static_cast<double>(step_);
    const double from_s = -static_cast<double>(offset_) * per_step;  // the double
    const double half_steps = static_cast<double>(half_) * per_step;
    const std::int64_t low = -floor_of(half_steps - from_s);
    const std::int64_t high = floor_of(from_s + half_steps);
    if (low > high || !reads(low) || !reads(high) || may_read(low - 1) || may_read(high + 1)) return std::nullopt;
    // The shortest decimals in the run are the multiples of the largest
    // power of ten that has one there. The run spans fewer than 100 steps,
    // so past 10 that is the run's only multiple of 100.
    const std::uint64_t x = s_ + static_cast<std::uint64_t>(low) - 1;  // just below the run
    const std::uint64_t y = s_ + static_cast<std::uint64_t>(high);
    std::uint64_t best = y / 100 * 100;
    if (best > x) {
      const std::int64_t from_s_steps = steps(best);
      const int zeros = strip_zeros(best);
      return Decimal{best, q_ + zeros, from_s_steps};
    }
    // Of the multiples of 10, or else of all, the closest to the double.
    const bool tens = y / 10 * 10 > x;
    const std::uint64_t unit = tens ? 10 : 1;
    const std::uint64_t first = tens ? (x / 10 + 1) * 10 : x + 1;
    const std::uint64_t last = tens ? y / 10 * 10 : y;
    const double from_first = (from_s - static_cast<double>(steps(first))) * (tens ? 0.1 : 1.0);
    best = std::clamp<std::uint64_t>(first + static_cast<std::uint64_t>(floor_of(from_first + 0.5)) * unit, first, last);
    if (!closest_of_its_grid(steps(best), static_cast<std::int64_t>(unit))) return std::nullopt;
    return tens ? Decimal{best / 10, q_ + 1, steps(best)} : Decimal{best, q_, steps(best)};
  }

  std::int64_t steps(std::uint64_t decimal) const { return static_cast<std::int64_t>(decimal - s_); }

  std::uint64_t s_;
  int q_;
  std::int64_t step_;    // 10^q
  std::int64_t offset_;  // s less the double
  std::int64_t half_;    // half the double's gap
};

// Digit runs of number text, eight bytes at a time where the text has them:
// the number of digits that open the eight bytes at p. Every byte that is no
// digit sets a bit in its own byte of the mask; the carry out of such a byte
// can only set bits in later ones, which it precedes.
unsigned leading_digits(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  const std::uint64_t mask = ((v & 0xF0F0F0F0F0F0F0F0) ^ 0x3030303030303030) |
                             (((v + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) ^ 0x3030303030303030);
  return mask == 0 ? 8u : static_cast<unsigned>(__builtin_ctzll(mask)) / 8;
}

const char* skip_digits(const char* p, const char* end) {
  if constexpr (std::endian::native == std::endian::little) {
    while (end - p >= 8) {
      const unsigned n = leading_digits(p);
      p += n;
      if (n < 8) return p;
    }
  }
  while (p < end && is_digit(*p)) ++p;
  return p;
}

// The value of eight ASCII digits, the first in the lowest byte.
std::uint64_t eight_digit_value(std::uint64_t v) {
  v -= 0x3030303030303030;
  v = (v * 10) + (v >> 8);
  return (((v & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
          (((v >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
         32;
}

std::uint64_t load_digits(const char* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

constexpr std::uint64_t kPowers10Small[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// s followed by the digits [p, end): eight at a time, and the last few as
// eight too, those before them in the text read as zeros.
[[gnu::always_inline]] inline std::uint64_t append_digits(std::uint64_t s, const char* p, const char* end,
                                                          const char* text_begin) {
  for (; end - p >= 8; p += 8) s = s * 100000000 + eight_digit_value(load_digits(p));
  const auto r = end - p;
  if (r == 0) return s;
  if (end - text_begin >= 8) {
    const std::uint64_t digits = ~std::uint64_t{0} << (8 * (8 - r));
    const std::uint64_t v = (load_digits(end - 8) & digits) | (0x3030303030303030 & ~digits);
    return s * kPowers10Small[r] + eight_digit_value(v);
  }
  for (; p < end; ++p) s = s * 10 + static_cast<std::uint64_t>(*p - '0');
  return s;
}

// A key's first 8 bytes as a big-endian number, zero-padded: keys whose
// prefixes differ compare as their prefixes do. `readable` bytes may be read
// from `key` on (at least len).
std::uint64_t key_prefix(const char* key, std::size_t len, std::size_t readable) {
  if (len == 0) return 0;
  std::uint64_t v = 0;
  if (readable >= 8) {
    std::memcpy(&v, key, 8);
    v = __builtin_bswap64(v);
    return len >= 8 ? v : v & ~(~std::uint64_t{0} >> (8 * len));
  }
  for (std::size_t i = 0; i < 8; ++i) v = (v << 8) | (i < len ? static_cast<unsigned char>(key[i]) : 0u);
  return v;
}

// Byte order, the order of canonical keys.
bool bytes_less(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
  }
  return a.size() < b.size();
}

// A member's (or a number's) bytes to a place that does not overlap them;
// most are short, and a library call would cost more than the copy.
inline void copy_member(char* to, const char* from, std::size_t n) {
  if (n >= 8 && n <= 16) {
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + n - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
  } else if (n > 16 && n <= 32) {
    char head[16], tail[16];
    std::memcpy(head, from, 16);
    std::memcpy(tail, from + n - 16, 16);
    std::memcpy(to, head, 16);
    std::memcpy(to + n - 16, tail, 16);
  } else {
    std::memcpy(to, from, n);
  }
}

// The output, with its length kept apart from the string's size so that
// writing a token is one bounds check and a copy. A short output is written
// on the stack and costs one allocation, that of the result, or none when
// the result fits in the string itself.
class Out {
 public:
  explicit Out(std::size_t hint) {
    if (hint + 64 > sizeof small_) {
      heap_.resize(hint + 64);
      data_ = heap_.data();
      capacity_ = heap_.size();
    }
  }
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;

  char* room(std::size_t n) {
    if (capacity_ - len_ < n) [[unlikely]]
      grow(n);
    return data_ + len_;
  }
  void commit(std::size_t n) { len_ += n; }
  void commit_to(const char* end) { len_ = static_cast<std::size_t>(end - data_); }
  void put(char c) {
    *room(1) = c;
    ++len_;
  }
  void append(const char* s, std::size_t n) {
    std::memcpy(room(n), s, n);
    len_ += n;
  }
  std::size_t size() const { return len_; }
  char* data() { return data_; }
  const char* data() const { return data_; }
  void truncate(std::size_t n) { len_ = n; }
  std::string take() {
    if (data_ == small_) return std::string(small_, len_);
    heap_.resize(len_);
    return std::move(heap_);
  }

 private:
  [[gnu::noinline]] void grow(std::size_t n) {
    const std::size_t capacity = std::max(capacity_ * 2, len_ + n);
    heap_.resize(capacity);
    if (data_ == small_) std::memcpy(heap_.data(), small_, len_);
    data_ = heap_.data();
    capacity_ = heap_.size();
  }

  char small_[512];
  char* data_ = small_;
  std::size_t capacity_ = sizeof small_;
  std::size_t len_ = 0;
  std::string heap_;
};

// A member of an object still open, as written to the output.
struct Entry {
  std::size_t start;  // the member's text (key, colon, value) is out[start, end)
  std::size_t end;
  std::size_t key;  // its decoded key: out[key, key + key_len), or the arena's when escaped
  std::size_t key_len;
  std::uint64_t prefix;
  bool in_arena;
};

// The member entries of the objects still open: the first few on the stack,
// so that a small document allocates nothing for them, the rest of a wide or
// deep one on the heap. Entries only ever leave from the end.
class Entries {
 public:
  Entries() = default;
  Entries(const Entries&) = delete;
  Entries& operator=(const Entries&) = delete;

  std::size_t size() const { return size_; }
  Entry& operator[](std::size_t i) { return data_[i]; }
  const Entry& operator[](std::size_t i) const { return data_[i]; }
  Entry& back() { return data_[size_ - 1]; }
  void push_back(const Entry& e) {
    if (size_ == capacity_) [[unlikely]]
      grow();
    data_[size_++] = e;
  }
  void truncate(std::size_t n) { size_ = n; }

 private:
  [[gnu::noinline]] void grow() {
    std::vector<Entry> bigger(capacity_ * 2);
    std::copy(data_, data_ + size_, bigger.begin());
    heap_ = std::move(bigger);
    data_ = heap_.data();
    capacity_ = heap_.size();
  }

  Entry small_[16];
  std::vector<Entry> heap_;
  Entry* data_ = small_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 16;
};

class FastCanonicalizer {
 public:
  explicit FastCanonicalizer(std::string_view text)
      : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()), out_(text.size()) {}

  bool run(std::string& result) {
    if (!document()) return false;
    result = out_.take();
    return true;
  }

 private:
  struct Frame {
    bool object;
    std::size_t entries;  // the object's first member entry
    std::size_t arena;
  };
  enum class Step { Done, Opened, Fail };

  static constexpr std::size_t kDropped = static_cast<std::size_t>(-1);

  static Step done_if(bool ok) { return ok ? Step::Done : Step::Fail; }

  void skip_ws() {
    if (p_ < end_ && static_cast<unsigned char>(*p_) <= ' ') {
      // Most often one space, as after ", " and ": ".
      if (*p_ == ' ' && end_ - p_ > 1 && static_cast<unsigned char>(p_[1]) > ' ') {
        ++p_;
        return;
      }
      while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\t' || *p_ == '\r')) ++p_;
    }
  }

  bool document() {
    skip_ws();
    for (;;) {
      const Step step = value();
      if (step == Step::Fail) return false;
      if (step == Step::Opened) continue;
      // Close what ends here; stop at a comma, before the next value.
      for (;;) {
        skip_ws();
        if (depth_ == 0) return p_ == end_;
        if (p_ == end_) return false;
        const Frame& f = frames_[depth_ - 1];
        if (*p_ == ',') {
          ++p_;
          skip_ws();
          if (f.object) {
            entries_.back().end = out_.size();
            out_.put(',');
            if (!member_key()) return false;
          } else {
            out_.put(',');
          }
          break;
        }
        if (*p_ != (f.object ? '}' : ']')) return false;
        ++p_;
        if (f.object) close_object();
        else out_.put(']');
        --depth_;
      }
    }
  }

  // One value at the cursor. A container that is not empty is only opened
  // here (with an object's first key): its members follow as values.
  Step value() {
    if (p_ == end_) return Step::Fail;
    switch (*p_) {
      case '"': return done_if(string_value());
      case '{':
      case '[': {
        if (depth_ == kMaxDepth) return Step::Fail;
        const bool object = *p_ == '{';
        ++p_;
        skip_ws();
        if (p_ < end_ && *p_ == (object ? '}' : ']')) {
          ++p_;
          out_.append(object ? "{}" : "[]", 2);
          return Step::Done;
        }
        frames_[depth_++] = Frame{object, entries_.size(), arena_.size()};
        out_.put(object ? '{' : '[');
        if (object && !member_key()) return Step::Fail;
        return Step::Opened;
      }
      case 't': return done_if(literal("true"));
      case 'f': return done_if(literal("false"));
      case 'n': return done_if(literal("null"));
      default: return done_if(number());
    }
  }

  bool literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0)
      return false;
    p_ += word.size();
    out_.append(word.data(), word.size());
    return true;
  }

  // A member's key and colon, the cursor at the key's quote; leaves the
  // cursor at the member's value.
  bool member_key() {
    if (p_ == end_ || *p_ != '"') return false;
    const std::size_t start = out_.size();
    const char* text = p_ + 1;
    std::size_t key = 0, len = 0;
    bool in_arena = false;
    if (!key_string(key, len, in_arena)) return false;
    // The prefix is read from the text (or the arena), not from output just
    // written, which would wait for the store.
    const std::uint64_t prefix = in_arena ? key_prefix(arena_.data() + key, len, len)
                                          : key_prefix(text, len, static_cast<std::size_t>(end_ - text));
    entries_.push_back(Entry{start, 0, key, len, prefix, in_arena});
    skip_ws();
    if (p_ == end_ || *p_ != ':') return false;
    ++p_;
    out_.put(':');
    skip_ws();
    return true;
  }

  // A member name at the cursor's quote, written in canonical form. Without
  // escapes its bytes are the key; with them, the key is decoded from the
  // canonical form into the arena.
  bool key_string(std::size_t& key, std::size_t& len, bool& in_arena) {
    const char* begin = p_ + 1;
    char* o = out_.room(static_cast<std::size_t>(end_ - begin) + 18);
    *o = '"';
    const char* stop = json::copy_plain_run(begin, end_, o + 1);
    if (stop < end_ && *stop == '"') {
      len = static_cast<std::size_t>(stop - begin);
      key = out_.size() + 1;
      in_arena = false;
      o[len + 1] = '"';
      out_.commit(len + 2);
      p_ = stop + 1;
      return true;
    }
    const std::size_t written = out_.size();
    if (!string_value()) return false;
    key = arena_.size();
    in_arena = true;
    decode_canonical(out_.data() + written + 1, out_.data() + out_.size() - 1);
    len = arena_.size() - key;
    return true;
  }

  // Appends to the arena the bytes of canonical string text (the escapes
  // \" \\ \n \r \t and \u00XX only).
  void decode_canonical(const char* p, const char* end) {
    while (p < end) {
      if (*p != '\\') {
        arena_.push_back(*p++);
        continue;
      }
      switch (p[1]) {
        case 'n': arena_.push_back('\n'); break;
        case 'r': arena_.push_back('\r'); break;
        case 't': arena_.push_back('\t'); break;
        case 'u':
          arena_.push_back(static_cast<char>(ascii::hex_value(p[4]) * 16 + ascii::hex_value(p[5])));
          p += 4;
          break;
        default: arena_.push_back(p[1]); break;  // '"' or '\\'
      }
      p += 2;
    }
  }

  // A string at the cursor's quote, written in canonical form: plain runs
  // are copied as they are, and so are the escapes canonical form writes
  // the same way.
  bool string_value() {
    ++p_;
    out_.put('"');
    for (;;) {
      char* o = out_.room(static_cast<std::size_t>(end_ - p_) + 24);
      const char* stop = json::copy_plain_run(p_, end_, o);
      out_.commit(static_cast<std::size_t>(stop - p_));
      p_ = stop;
      if (p_ == end_) return false;
      if (*p_ == '"') {
        ++p_;
        out_.put('"');
        return true;
      }
      if (*p_ != '\\' || end_ - p_ < 2) return false;  // a control character, or the end
      switch (p_[1]) {
        case '"':
        case '\\':
        case 'n':
        case 'r':
        case 't':
          out_.append(p_, 2);
          p_ += 2;
          break;
        case '/':
          out_.put('/');
          p_ += 2;
          break;
        case 'b':
        case 'f':
          out_.commit_to(json::write_escape(p_[1] == 'b' ? '\b' : '\f', out_.room(6), false));
          p_ += 2;
          break;
        case 'u':
          if (!unicode_escape()) return false;
          break;
        default:
          return false;
      }
    }
  }

  // \uXXXX at the cursor (with its trailing surrogate's escape when it
  // leads one), written as canonical form writes the character.
  bool unicode_escape() {
    unsigned cp = 0;
    if (!hex4(p_, cp)) return false;
    p_ += 6;
    if (cp >= 0xDC00 && cp <= 0xDFFF) return false;
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      unsigned low = 0;
      if (end_ - p_ < 6 || p_[0] != '\\' || p_[1] != 'u' || !hex4(p_, low) || low < 0xDC00 || low > 0xDFFF)
        return false;
      p_ += 6;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    char* o = out_.room(6);
    if (cp < 0x20 || cp == '"' || cp == '\\') out_.commit_to(json::write_escape(static_cast<unsigned char>(cp), o, false));
    else out_.commit_to(json::encode_utf8(cp, o));
    return true;
  }

  // The four hex digits of \uXXXX at p.
  bool hex4(const char* p, unsigned& cp) const {
    if (end_ - p < 6) return false;
    cp = 0;
    for (int i = 2; i < 6; ++i) {
      const int h = ascii::hex_value(static_cast<unsigned char>(p[i]));
      if (h < 0) return false;
      cp = (cp << 4) | static_cast<unsigned>(h);
    }
    return true;
  }

  // A number in the reader's grammar, written in canonical form. Integers
  // the reader keeps as 64-bit integers are their own canonical text. A
  // decimal s x 10^q inside the normal range whose digits s, as an integer,
  // lie below 2^52 (all of 15 digits or fewer) holds the digits of the double
  // d it reads as: d is at most s x 10^q x (1 + 2^-53), below 2^52 x 10^q,
  // so the gap between d and its neighbours is below 10^q. The decimal is
  // then within half a gap of d, closer than half a step to any other of its
  // length, and a shorter decimal (a multiple of 10 steps, at least one step
  // from s) would lie more than half a gap from d. Its digits are written as
  // they are; for other ones of 16 or 17 digits the shortest digits of the
  // double are found from the digits themselves; the rest, and what that
  // cannot settle, goes through the double.
  bool number() {
    const char* start = p_;
    const bool negative = *p_ == '-';
    if (negative) ++p_;
    if (p_ == end_ || !is_digit(*p_)) return false;
    const char* int_begin = p_;
    if (*p_ == '0') {
      ++p_;
      if (p_ < end_ && is_digit(*p_)) return false;
    } else {
      p_ = skip_digits(p_ + 1, end_);
    }
    const char* int_end = p_;
    const bool is_float = p_ < end_ && (*p_ == '.' || *p_ == 'e' || *p_ == 'E');
    if (!is_float) return integer(start, negative, int_begin, int_end);
    const char* frac_begin = p_;
    const char* frac_end = p_;
    if (*p_ == '.') {
      frac_begin = ++p_;
      p_ = skip_digits(p_, end_);
      if (p_ == frac_begin) return false;
      frac_end = p_;
    }
    // n keeps the decimal point: value = 0.d1d2...dk x 10^n.
    long n = 0;
    const bool exponent = p_ < end_ && (*p_ == 'e' || *p_ == 'E');
    if (exponent) {
      ++p_;
      bool exp_negative = false;
      if (p_ < end_ && (*p_ == '+' || *p_ == '-')) exp_negative = *p_++ == '-';
      const char* exp_begin = p_;
      while (p_ < end_ && is_digit(*p_)) ++p_;
      if (p_ == exp_begin || p_ - exp_begin > 6) return false;
      for (const char* q = exp_begin; q < p_; ++q) n = n * 10 + (*q - '0');
      if (exp_negative) n = -n;
    }
    // The significant digits: the integer part's (none for "0"), then the
    // fraction's, without the zeros before the first or after the last.
    if (*int_begin == '0') {
      int_begin = int_end;
      for (; frac_begin < frac_end && *frac_begin == '0'; ++frac_begin) --n;
    }
    n += int_end - int_begin;
    while (frac_end > frac_begin && frac_end[-1] == '0') --frac_end;
    const bool fraction = frac_end > frac_begin;
    if (!fraction) {
      while (int_end > int_begin && int_end[-1] == '0') --int_end;
    }
    const long int_digits = int_end - int_begin;
    const long k = int_digits + (frac_end - frac_begin);
    if (k == 0) {
      out_.put('0');  // zero, of either sign
      return true;
    }
    if (k > 17 || n < -300 || n > 300) return through_double(start, negative);
    const std::uint64_t s =
        k > 15 ? append_digits(append_digits(0, int_begin, int_end, begin_), frac_begin, frac_end, begin_) : 0;
    if (s >= std::uint64_t{1} << 52) {
      // Digits of 16 or 17: they may not be the shortest of the double
      // they read as.
      const int q = static_cast<int>(n - k);
      const auto shortest = ShortestReading::of(s, q);
      if (!shortest) return through_double(start, negative);
      if (shortest->digits != s) {
        char digits[24];
        copy_digits(digits, int_begin, int_end, frac_begin, frac_end);
        const int count = shortest_text(s, static_cast<int>(k), q, *shortest, digits);
        write_decimal(negative, digits, count, count + shortest->exponent);
        return true;
      }
    }
    // Without an exponent, a fraction written as d.ddd, or as 0.ddd with
    // fewer than six zeros after the point, is already laid out as canonical
    // form lays it out: the text up to its last significant digit.
    if (!exponent && fraction && (int_digits > 0 || n > -6)) {
      const auto size = static_cast<std::size_t>(frac_end - start);
      copy_member(out_.room(size), start, size);
      out_.commit(size);
      return true;
    }
    char digits[24];
    copy_digits(digits, int_begin, int_end, frac_begin, frac_end);
    write_decimal(negative, digits, static_cast<int>(k), static_cast<int>(n));
    return true;
  }

  static void copy_digits(char* digits, const char* int_begin, const char* int_end, const char* frac_begin,
                          const char* frac_end) {
    const auto int_digits = static_cast<std::size_t>(int_end - int_begin);
    std::memcpy(digits, int_begin, int_digits);
    std::memcpy(digits + int_digits, frac_begin, static_cast<std::size_t>(frac_end - frac_begin));
  }

  // The digits of `shortest` in place of s's k digits at `digits`; returns
  // their count. Most often they are s's with another last digit, or s's
  // cut short, rounded down or (without a carry) up, and are edited there.
  static int shortest_text(std::uint64_t s, int k, int q, Decimal shortest, char* digits) {
    const int dropped = shortest.exponent - q;
    const std::uint64_t tens = tenth(shortest.digits);
    if (dropped == 0 && tens == tenth(s)) {
      digits[k - 1] = static_cast<char>('0' + (shortest.digits - tens * 10));
      return k;
    }
    // A multiple of 10^dropped fewer than 10^dropped steps from s: s cut to
    // its first `kept` digits, or those plus one.
    const int kept = k - dropped;
    if (dropped > 0 && kept > 0 && (dropped > 1 || (shortest.steps > -10 && shortest.steps < 10))) {
      if (shortest.steps < 0) return kept;
      if (digits[kept - 1] != '9') {
        ++digits[kept - 1];
        return kept;
      }
    }
    return seventeen_digits(shortest.digits, digits);
  }

  // An integer without fraction or exponent, kept as the reader keeps it: a
  // 64-bit integer is its own canonical text; -0, a negative one below the
  // signed range and a positive one past 64 bits are floats.
  bool integer(const char* start, bool negative, const char* int_begin, const char* int_end) {
    const auto size = static_cast<std::size_t>(int_end - start);
    if (int_end - int_begin <= 18 && !(negative && *int_begin == '0')) {
      // Short: copied 16 bytes at a time where the text has them.
      char* o = out_.room(size + 16);
      if (end_ - start >= 16 && size <= 16) std::memcpy(o, start, 16);
      else std::memcpy(o, start, size);
      out_.commit(size);
      return true;
    }
    std::uint64_t magnitude = 0;
    for (const char* q = int_begin; q < int_end; ++q) {
      const auto d = static_cast<std::uint64_t>(*q - '0');
      if (magnitude > (UINT64_MAX - d) / 10) return through_double(start, negative);
      magnitude = magnitude * 10 + d;
    }
    if (!negative || (magnitude != 0 && magnitude <= (std::uint64_t{1} << 63))) {
      out_.append(start, size);
      return true;
    }
    write_double(-static_cast<double>(magnitude));
    return true;
  }

  // The double the text reads as, by the reader's conversion; a text the
  // conversion refuses or cannot hold is left to the reader.
  bool through_double(const char* start, bool negative) {
    double d = 0;
    const auto r = std::from_chars(start + (negative ? 1 : 0), p_, d, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != p_ || std::isinf(d)) return false;
    write_double(negative ? -d : d);
    return true;
  }

  // The decimal 0.digits x 10^n (k digits) in canonical form.
  void write_decimal(bool negative, const char* digits, int k, int n) {
    char* w = out_.room(kCanonicalNumberMax + 1);
    if (negative) *w++ = '-';
    out_.commit_to(write_ecmascript_decimal(digits, k, n, w));
  }

  void write_double(double d) {
    if (d == 0) {
      out_.put('0');
      return;
    }
    out_.commit_to(write_canonical_float(d, out_.room(kCanonicalNumberMax)));
  }

  std::string_view key_of(const Entry& e) const {
    const char* base = e.in_arena ? arena_.data() : out_.data();
    return std::string_view(base + e.key, e.key_len);
  }

  bool member_less(std::size_t a, std::size_t b) const {
    const Entry& x = entries_[a];
    const Entry& y = entries_[b];
    if (x.prefix != y.prefix) return x.prefix < y.prefix;
    return bytes_less(key_of(x), key_of(y));
  }

  void close_object() {
    const Frame& f = frames_[depth_ - 1];
    entries_.back().end = out_.size();
    reorder(f.entries);
    entries_.truncate(f.entries);
    arena_.resize(f.arena);
    out_.put('}');
  }

  // Members arrive in any order; when theirs is not already the canonical
  // one, they are sorted by key bytes, a repeated key keeping its last value.
  void reorder(std::size_t base) {
    const std::size_t n = entries_.size() - base;
    bool sorted = true;
    for (std::size_t i = base + 1; i < entries_.size() && sorted; ++i) sorted = member_less(i - 1, i);
    if (sorted) return;
    std::array<std::size_t, 32> small;  // most objects: no allocation for the order
    if (n > small.size()) large_order_.resize(n);
    std::size_t* const order = n > small.size() ? large_order_.data() : small.data();
    for (std::size_t i = 0; i < n; ++i) order[i] = base + i;
    const auto less = [this](std::size_t a, std::size_t b) { return member_less(a, b); };
    if (n <= small.size()) {
      // Insertion sort: stable, and without the buffer stable_sort takes.
      for (std::size_t i = 1; i < n; ++i) {
        const std::size_t x = order[i];
        std::size_t j = i;
        for (; j > 0 && less(x, order[j - 1]); --j) order[j] = order[j - 1];
        order[j] = x;
      }
    } else {
      std::stable_sort(order, order + n, less);
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
      if (!less(order[i], order[i + 1])) order[i] = kDropped;  // a repeated key: its last value stays
    }
    // The largest member moves inside the output while the others wait past
    // its end: a document's top-level object often holds one large member,
    // which is then not copied out and back.
    const std::size_t region = entries_[base].start;
    std::size_t largest = kDropped;
    std::size_t waiting = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t m = order[i];
      if (m == kDropped) continue;
      waiting += entries_[m].end - entries_[m].start;
      if (largest == kDropped || entries_[m].end - entries_[m].start > entries_[largest].end - entries_[largest].start)
        largest = m;
    }
    waiting -= entries_[largest].end - entries_[largest].start;
    out_.room(waiting);
    char* const o = out_.data();
    char* const spare = o + out_.size();
    std::size_t at = region;  // where the next member goes
    std::size_t largest_at = region;
    std::size_t parked = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (order[i] == kDropped) continue;
      const Entry& e = entries_[order[i]];
      if (at != region) ++at;  // its comma
      if (order[i] == largest) {
        largest_at = at;
      } else {
        copy_member(spare + parked, o + e.start, e.end - e.start);
        parked += e.end - e.start;
      }
      at += e.end - e.start;
    }
    std::memmove(o + largest_at, o + entries_[largest].start, entries_[largest].end - entries_[largest].start);
    const char* from = spare;
    at = region;
    for (std::size_t i = 0; i < n; ++i) {
      if (order[i] == kDropped) continue;
      const Entry& e = entries_[order[i]];
      if (at != region) o[at++] = ',';
      const std::size_t size = e.end - e.start;
      if (order[i] != largest) {
        copy_member(o + at, from, size);
        from += size;
      }
      at += size;
    }
    out_.truncate(at);
  }

  const char* begin_;
  const char* p_;
  const char* end_;
  Out out_;
  int depth_ = 0;
  Frame frames_[kMaxDepth];
  Entries entries_;
  std::vector<std::size_t> large_order_;  // the order of an object of more than 32 members
  std::string arena_;  // decoded keys that held escapes
};

}  // namespace

bool canonicalize_fast(std::string_view text, std::string& out) { return FastCanonicalizer(text).run(out); }

}  // namespace zelq
