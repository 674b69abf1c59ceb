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

constexpr double kPowers10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// GCC and Clang have 128-bit integers on every 64-bit target.
__extension__ typedef unsigned __int128 U128;

constexpr auto kPowers10Exact = [] {
  std::array<U128, 22> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}();

// A positive double d = m x 2^e beside the decimals x x 10^q, all scaled by
// 2 x 10^-q x 2^-e so that all are integers: a decimal x x 10^q becomes
// x x 2^(1-e), d becomes 2 m 10^-q, the gap between neighbouring doubles
// 2 x 10^-q, and the step between decimals of one length 2 x 2^-e. Exact in
// 128-bit integers for doubles between 2^-69 and 2^53 that are no power of
// two, q >= -21 and x below 2^57: every product stays below 2^127.
class ExactScale {
 public:
  static std::optional<ExactScale> of(double d, int q) {
    const auto bits = std::bit_cast<std::uint64_t>(d);
    const int biased = static_cast<int>(bits >> 52) & 0x7FF;
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const int e = biased - 1075;
    if (biased == 0 || fraction == 0 || e > 0 || e < -69 || q > 0 || q < -21) return std::nullopt;
    return ExactScale(d, fraction | (std::uint64_t{1} << 52), e, q);
  }

  // The double that s x 10^q reads as (s below 2^57, -21 <= q <= 0), from
  // s and 10^-q as doubles: their quotient is that double when s is below
  // 2^53 (one rounding of exact operands), else within a gap of it, and the
  // exact test decides between it and the neighbour towards the decimal.
  // Nothing where the test cannot decide.
  static std::optional<ExactScale> reading(std::uint64_t s, int q) {
    const double approx = static_cast<double>(s) / kPowers10[-q];
    auto x = of(approx, q);
    if (!x || s <= (std::uint64_t{1} << 53) || x->reads_as_d(s)) return x;
    const bool up = (static_cast<U128>(s) << (1 - x->e_)) > x->twice_d_;
    const auto bits = std::bit_cast<std::uint64_t>(approx);
    x = of(std::bit_cast<double>(up ? bits + 1 : bits - 1), q);
    if (!x || !x->reads_as_d(s)) return std::nullopt;
    return x;
  }

  double value() const { return d_; }

  // Whether s of k digits (the last not zero), which reads as d, holds the
  // digits the shortest round-trip conversion gives for d: no shorter
  // decimal reads as d, and none of its length is as close.
  bool shortest(std::uint64_t s, int k) const {
    if (distance(s) >= (static_cast<U128>(1) << -e_)) return false;
    if (k == 1) return true;
    // A shorter text that reads as d would make one of the two (k-1)-digit
    // decimals around s read as d too.
    const std::uint64_t below = s / 10 * 10;
    return !reads_as_d(below) && !reads_as_d(below + 10);
  }

 private:
  ExactScale(double d, std::uint64_t m, int e, int q)
      : d_(d), m_(m), e_(e), ten_q_(kPowers10Exact[static_cast<std::size_t>(-q)]),
        twice_d_(static_cast<U128>(m) * ten_q_ * 2) {}

  U128 distance(std::uint64_t x) const {
    const U128 scaled = static_cast<U128>(x) << (1 - e_);
    return scaled > twice_d_ ? scaled - twice_d_ : twice_d_ - scaled;
  }
  // Within half a gap either way, the ends included when m is even: the
  // decimals that read as d.
  bool reads_as_d(std::uint64_t x) const {
    const U128 dist = distance(x);
    return dist < ten_q_ || (dist == ten_q_ && (m_ & 1) == 0);
  }

  double d_;
  std::uint64_t m_;
  int e_;
  U128 ten_q_;
  U128 twice_d_;
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
  // they are; other ones of 16 or 17 digits are tested for being the
  // shortest; the rest goes through the double.
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
      // Outside the exact test's reach, the reader's conversion and the
      // shortest digits of its double.
      const int q = static_cast<int>(n - k);
      const auto x = q <= 0 && q >= -21 ? ExactScale::reading(s, q) : std::nullopt;
      if (!x) return through_double(start, negative);
      if (!x->shortest(s, static_cast<int>(k))) {
        write_double(negative ? -x->value() : x->value());
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
    std::memcpy(digits, int_begin, static_cast<std::size_t>(int_digits));
    std::memcpy(digits + int_digits, frac_begin, static_cast<std::size_t>(frac_end - frac_begin));
    char* const o = out_.room(kCanonicalNumberMax + 1);
    char* w = o;
    if (negative) *w++ = '-';
    out_.commit_to(write_ecmascript_decimal(digits, static_cast<int>(k), static_cast<int>(n), w));
    return true;
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
