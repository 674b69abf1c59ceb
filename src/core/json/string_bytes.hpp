// Byte-level pieces of JSON string text shared by the reader, the writers
// and canonical JSON. A string's plain runs end at '"', '\\' and the
// controls below 0x20: the reader stops there, and the writers escape
// exactly those bytes. Runs are scanned 16 bytes at a time where SSE2 is
// there (every x86-64), a byte at a time elsewhere.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zelq::json {

inline bool ends_plain_run(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

#if defined(__SSE2__)
// Bit i set when byte i of the 16 at p ends a plain run.
inline unsigned plain_run_stops(const char* p) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i stops = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'))),
      _mm_cmpeq_epi8(_mm_min_epu8(x, _mm_set1_epi8(0x1F)), x));
  return static_cast<unsigned>(_mm_movemask_epi8(stops));
}
#endif

// The first byte in [p, end) that ends a plain run, or end.
inline const char* find_plain_end(const char* p, const char* end) {
#if defined(__SSE2__)
  const char* const begin = p;
  for (; end - p >= 16; p += 16) {
    if (const unsigned stops = plain_run_stops(p)) return p + __builtin_ctz(stops);
  }
  if (p < end && end - begin >= 16) {
    // The last few bytes as the top of the 16 that end at end, whose first
    // ones were judged already.
    const unsigned stops = plain_run_stops(end - 16) >> (16 - (end - p));
    return stops ? p + __builtin_ctz(stops) : end;
  }
#endif
  while (p < end && !ends_plain_run(static_cast<unsigned char>(*p))) ++p;
  return p;
}

// Copies the plain run that starts at p to out and returns where it ends.
// out has room for end - p + 16 bytes: bytes past the run may be written.
inline const char* copy_plain_run(const char* p, const char* end, char* out) {
  const char* const begin = p;
#if defined(__SSE2__)
  for (; end - p >= 16; p += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (p - begin)),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    if (const unsigned stops = plain_run_stops(p)) return p + __builtin_ctz(stops);
  }
#endif
  for (; p < end && !ends_plain_run(static_cast<unsigned char>(*p)); ++p) out[p - begin] = *p;
  return p;
}

// UTF-8 of a code point below 0x110000 that is no surrogate: 1 to 4 bytes
// at out; returns their end.
inline char* encode_utf8(unsigned cp, char* out) {
  if (cp < 0x80) {
    *out++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out++ = static_cast<char>(0xC0 | (cp >> 6));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (cp >> 12));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (cp >> 18));
    *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

}  // namespace zelq::json
