#include "ssrf/idna.hpp"

#include <unicode/uchar.h>
#include <unicode/uidna.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "core/ascii.hpp"

namespace zelq::ssrf {

namespace {

// ---- ICU's UTS #46 ------------------------------------------------------------

struct UidnaCloser {
  void operator()(UIDNA* p) const { uidna_close(p); }
};

// UseSTD3ASCIIRules is off (the URL parser checks the forbidden code points
// afterwards). ICU has no switch for CheckHyphens or VerifyDnsLength, so
// their error bits are ignored below.
const UIDNA* uts46() {
  static const std::unique_ptr<UIDNA, UidnaCloser> idna = [] {
    UErrorCode err = U_ZERO_ERROR;
    UIDNA* p = uidna_openUTS46(
        UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ | UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_NONTRANSITIONAL_TO_UNICODE,
        &err);
    if (U_FAILURE(err)) p = nullptr;
    return std::unique_ptr<UIDNA, UidnaCloser>(p);
  }();
  return idna.get();
}

// The UTS #46 mapping with NFC, the first step of the processing; the same
// data ICU's UTS #46 maps with. Owned by ICU.
const UNormalizer2* uts46_mapping() {
  static const UNormalizer2* norm = [] {
    UErrorCode err = U_ZERO_ERROR;
    const UNormalizer2* n = unorm2_getInstance(nullptr, "uts46", UNORM2_COMPOSE, &err);
    return U_SUCCESS(err) ? n : nullptr;
  }();
  return norm;
}

constexpr std::uint32_t kIgnoredIdnaErrors = UIDNA_ERROR_EMPTY_LABEL | UIDNA_ERROR_LABEL_TOO_LONG |
                                             UIDNA_ERROR_DOMAIN_NAME_TOO_LONG | UIDNA_ERROR_LEADING_HYPHEN |
                                             UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4;

// An ICU call that fills a UTF-16 buffer, retried once with the size it
// asks for.
template <class Call>
bool fill_utf16(std::u16string& out, Call call) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t len = call(out.data(), static_cast<int32_t>(out.size()), &err);
    if (err == U_BUFFER_OVERFLOW_ERROR && attempt == 0 && len > 0) {
      out.assign(static_cast<std::size_t>(len), u'\0');
      continue;
    }
    if (U_FAILURE(err) || len < 0) return false;
    out.resize(static_cast<std::size_t>(len));
    return true;
  }
  return false;
}

// ICU validates a whole name in one call, but keeps the name in one buffer
// and rewrites labels in place (each one it turns into Punycode, each
// Punycode label it decodes), shifting the rest of the name each time: a
// call can cost the labels times the name's length. Labels are therefore
// validated in groups of about this many UTF-16 units, which bounds that
// cost per unit.
constexpr std::size_t kGroupUnits = 256;

// A label of right-to-left direction that passes the Bidi rule on its own.
// Set after a group, it makes ICU apply the Bidi rule to every label of the
// group, whatever the group's own labels are.
constexpr std::u16string_view kRtlProbe = u".\u05D0";

void append_code_point(std::u16string& out, UChar32 c) {
  if (U_IS_BMP(c)) {
    out += static_cast<char16_t>(c);
  } else {
    out += U16_LEAD(c);
    out += U16_TRAIL(c);
  }
}

bool has_rtl(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    UChar32 c;
    U16_NEXT(s.data(), i, s.size(), c);
    auto dir = u_charDirection(c);
    if (dir == U_RIGHT_TO_LEFT || dir == U_RIGHT_TO_LEFT_ARABIC || dir == U_ARABIC_NUMBER) return true;
  }
  return false;
}

// The Bidi rule binds every label of a name once any label holds a
// right-to-left character (R, AL or AN), so validation yields two facts per
// group besides its other faults: whether a label breaks the rule, and
// whether one is right-to-left.
class Validator {
 public:
  explicit Validator(const UIDNA* idna) : idna_(idna) {}

  // False once the name is known to be refused.
  bool check(std::u16string_view group) {
    input_.assign(group);
    input_.append(kRtlProbe);
    output_.assign(input_.size() * 2 + 16, u'\0');
    UIDNAInfo info = UIDNA_INFO_INITIALIZER;
    bool ok = fill_utf16(output_, [&](UChar* dest, int32_t cap, UErrorCode* err) {
      return uidna_nameToUnicode(idna_, input_.data(), static_cast<int32_t>(input_.size()), dest, cap, &info, err);
    });
    if (!ok || (info.errors & ~(kIgnoredIdnaErrors | UIDNA_ERROR_BIDI)) != 0) return false;
    breaks_bidi_ |= (info.errors & UIDNA_ERROR_BIDI) != 0;
    // The labels as ICU read them, "xn--" ones decoded; the probe is last.
    if (!rtl_ && output_.size() >= kRtlProbe.size()) {
      rtl_ = has_rtl(std::u16string_view(output_).substr(0, output_.size() - kRtlProbe.size()));
    }
    return bidi_ok();
  }

  bool bidi_ok() const { return !(breaks_bidi_ && rtl_); }

 private:
  const UIDNA* idna_;
  std::u16string input_, output_;
  bool breaks_bidi_ = false;
  bool rtl_ = false;
};

// Canonical order sorts each run of combining marks by class. ICU's
// normalizer inserts the marks of a run one at a time, quadratic in a long
// run whose classes alternate (a second for 128 KB of them). So the mapping
// is applied here code point by code point, and each run is sorted, before
// ICU composes: then ICU only ever appends.
//
// A run longer than one code point's own mapping needs code points whose
// mapping starts with a combining mark, and those have no normalization
// boundary before them; text without any is left as it is.
bool map_in_canonical_order(const UNormalizer2* mapping, std::u16string_view in, std::u16string& out) {
  bool runs_possible = false;
  for (std::size_t i = 0; i < in.size() && !runs_possible;) {
    UChar32 c;
    U16_NEXT(in.data(), i, in.size(), c);
    runs_possible = c >= 0x80 && !unorm2_hasBoundaryBefore(mapping, c);
  }
  if (!runs_possible) {
    out.assign(in);
    return true;
  }
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    UChar32 c;
    U16_NEXT(in.data(), i, in.size(), c);
    UChar mapped[64];
    UErrorCode err = U_ZERO_ERROR;
    int32_t len = c < 0x80 ? -1 : unorm2_getDecomposition(mapping, c, mapped, 64, &err);
    if (U_FAILURE(err)) return false;
    if (len >= 0) {
      out.append(mapped, static_cast<std::size_t>(len));
    } else {
      append_code_point(out, c);
    }
  }
  std::vector<std::pair<std::uint8_t, UChar32>> run;  // (class, code point)
  auto sort_run = [&](std::size_t at) {
    if (run.size() < 2) return;
    std::stable_sort(run.begin(), run.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [cc, c] : run) U16_APPEND_UNSAFE(out.data(), at, c);
  };
  std::size_t run_start = 0;
  for (std::size_t i = 0; i < out.size();) {
    const std::size_t at = i;
    UChar32 c;
    U16_NEXT(out.data(), i, out.size(), c);
    std::uint8_t cc = unorm2_getCombiningClass(mapping, c);
    if (cc == 0) {
      sort_run(run_start);
      run.clear();
    } else {
      if (run.empty()) run_start = at;
      run.emplace_back(cc, c);
    }
  }
  sort_run(run_start);
  return true;
}

// ---- Punycode (RFC 3492) ------------------------------------------------------

constexpr std::uint32_t kBase = 36, kTmin = 1, kTmax = 26, kSkew = 38, kDamp = 700;
constexpr std::uint32_t kInitialBias = 72;
constexpr char32_t kInitialN = 0x80;
// Deltas are 31-bit, as in the common decoders: an encoder that wrote larger
// ones would name hosts that no one else can read.
constexpr std::uint64_t kMaxDelta = 0x7FFFFFFF;

std::uint32_t adapt(std::uint64_t delta, std::uint64_t points, bool first) {
  delta = first ? delta / kDamp : delta / 2;
  delta += delta / points;
  std::uint32_t k = 0;
  while (delta > ((kBase - kTmin) * kTmax) / 2) {
    delta /= kBase - kTmin;
    k += kBase;
  }
  return static_cast<std::uint32_t>(k + (kBase - kTmin + 1) * delta / (delta + kSkew));
}

char punycode_digit(std::uint64_t d) { return static_cast<char>(d < 26 ? 'a' + d : '0' + (d - 26)); }

void append_delta(std::string& out, std::uint64_t q, std::uint32_t bias) {
  for (std::uint32_t k = kBase;; k += kBase) {
    std::uint32_t t = k <= bias ? kTmin : k >= bias + kTmax ? kTmax : k - bias;
    if (q < t) break;
    out += punycode_digit(t + (q - t) % (kBase - t));
    q = (q - t) / (kBase - t);
  }
  out += punycode_digit(q);
}

// Counts over positions 0..n-1 that answer "how many before p" and "where
// is the k-th" in log n.
class PositionCounts {
 public:
  explicit PositionCounts(std::size_t n, bool all_set = false) : tree_(n + 1, 0) {
    if (!all_set) return;
    for (std::size_t i = 1; i < tree_.size(); ++i) tree_[i] = static_cast<std::uint32_t>(i & (~i + 1));
  }
  void add(std::size_t pos, int delta) {
    for (std::size_t i = pos + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] += static_cast<std::uint32_t>(delta);
  }
  std::uint64_t before(std::size_t pos) const {
    std::uint64_t sum = 0;
    for (std::size_t i = pos; i > 0; i -= i & (~i + 1)) sum += tree_[i];
    return sum;
  }
  // The position of the (k+1)-th counted one; k is less than the total.
  std::size_t find(std::uint64_t k) const {
    std::size_t pos = 0;
    std::size_t step = 1;
    while (step * 2 < tree_.size()) step *= 2;
    for (; step > 0; step /= 2) {
      if (pos + step < tree_.size() && tree_[pos + step] <= k) {
        pos += step;
        k -= tree_[pos];
      }
    }
    return pos;
  }

 private:
  std::vector<std::uint32_t> tree_;
};

// The encoder as RFC 3492 gives it rescans the label once per distinct code
// point, quadratic for a long label of many distinct ones. Here the code
// points are visited in (value, position) order and the rescans' counts of
// already-encoded code points before a position are prefix counts: the same
// output in n log n.
std::optional<std::string> punycode_encode(const std::vector<char32_t>& label) {
  std::string out;
  std::vector<std::pair<char32_t, std::uint32_t>> rest;
  PositionCounts done(label.size());
  for (std::size_t i = 0; i < label.size(); ++i) {
    if (label[i] < kInitialN) {
      out += static_cast<char>(label[i]);
      done.add(i, 1);
    } else {
      rest.emplace_back(label[i], static_cast<std::uint32_t>(i));
    }
  }
  const std::uint64_t basic = out.size();
  if (basic > 0) out += '-';
  if (rest.empty()) return out;
  // The first delta alone often overflows (many ASCII characters before a
  // high code point); that needs no sorting to see.
  auto lowest = std::min_element(rest.begin(), rest.end())->first;
  if (std::uint64_t{lowest - kInitialN} * (basic + 1) > kMaxDelta) return std::nullopt;
  std::sort(rest.begin(), rest.end());

  char32_t n = kInitialN;
  std::uint64_t delta = 0, handled = basic;
  std::uint32_t bias = kInitialBias;
  for (std::size_t i = 0; i < rest.size();) {
    const char32_t m = rest[i].first;
    delta += std::uint64_t{m - n} * (handled + 1);
    n = m;
    const std::uint64_t handled_before_round = handled;
    std::uint64_t counted = 0;  // encoded code points before the previous occurrence of m
    std::size_t end = i;
    for (; end < rest.size() && rest[end].first == m; ++end) {
      std::uint64_t before = done.before(rest[end].second);
      delta += before - counted;
      counted = before;
      if (delta > kMaxDelta) return std::nullopt;
      append_delta(out, delta, bias);
      bias = adapt(delta, handled + 1, handled == basic);
      delta = 0;
      ++handled;
    }
    delta += handled_before_round - counted;
    for (; i < end; ++i) done.add(rest[i].second, 1);
    ++delta;
    ++n;
  }
  return out;
}

int punycode_digit_value(char16_t c) {
  if (ascii::is_lower(c)) return c - 'a';
  if (ascii::is_upper(c)) return c - 'A';
  if (ascii::is_digit(c)) return c - '0' + 26;
  return -1;
}

// Each decoding step inserts a code point at an index of the text decoded
// so far, which done in place is quadratic in a long label. The steps are
// recorded instead and replayed backwards: the last one inserted owns the
// free slot its index names, and so on back to the first.
std::optional<std::u32string> punycode_decode(std::u16string_view in) {
  struct Insert {
    std::uint64_t index;
    char32_t cp;
  };
  std::vector<Insert> steps;
  std::size_t pos = 0;
  auto delimiter = in.rfind(u'-');
  if (delimiter != std::u16string_view::npos) {
    for (std::size_t j = 0; j < delimiter; ++j) {
      if (in[j] >= kInitialN) return std::nullopt;
      steps.push_back({j, in[j]});
    }
    if (delimiter > 0) pos = delimiter + 1;
  }
  std::uint64_t n = kInitialN, i = 0;
  std::uint32_t bias = kInitialBias;
  while (pos < in.size()) {
    const std::uint64_t old_i = i;
    std::uint64_t w = 1;
    for (std::uint32_t k = kBase;; k += kBase) {
      if (pos == in.size()) return std::nullopt;
      int d = punycode_digit_value(in[pos++]);
      if (d < 0) return std::nullopt;
      i += static_cast<std::uint64_t>(d) * w;
      if (i > kMaxDelta) return std::nullopt;
      std::uint32_t t = k <= bias ? kTmin : k >= bias + kTmax ? kTmax : k - bias;
      if (static_cast<std::uint32_t>(d) < t) break;
      w *= kBase - t;
      if (w > kMaxDelta) return std::nullopt;
    }
    const std::uint64_t length = steps.size() + 1;
    bias = adapt(i - old_i, length, old_i == 0);
    n += i / length;
    i %= length;
    if (n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF)) return std::nullopt;
    steps.push_back({i, static_cast<char32_t>(n)});
    ++i;
  }
  std::u32string out(steps.size(), U'\0');
  PositionCounts free_slots(steps.size(), true);
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    std::size_t slot = free_slots.find(step->index);
    out[slot] = step->cp;
    free_slots.add(slot, -1);
  }
  return out;
}

// ---- labels ---------------------------------------------------------------------

bool is_punycode_label(std::u16string_view label) { return label.substr(0, 4) == u"xn--"; }

// The label as ICU is to validate it, after the rules that only a Punycode
// label has. ICU would decode such a label itself, but refuses long ones.
bool append_for_validation(std::u16string& group, std::u16string_view label) {
  if (!is_punycode_label(label)) {
    group.append(label);
    return true;
  }
  // "xn--" and "xn--<letters>-" are other spellings of ASCII labels.
  if (label.size() == 4 || (label.size() > 5 && label.back() == u'-')) return false;
  auto decoded = punycode_decode(label.substr(4));
  if (!decoded) return false;
  if (decoded->substr(0, 4) == U"xn--") {
    // ICU reads the decoded label as Punycode once more; it accepts some
    // such labels, short ones, and so do we.
    group.append(label);
    return true;
  }
  const std::size_t start = group.size();
  for (char32_t c : *decoded) {
    if (c == U'.') return false;  // it would read as two labels
    append_code_point(group, static_cast<UChar32>(c));
  }
  // Only what mapping leaves unchanged may be spelled in Punycode.
  UErrorCode err = U_ZERO_ERROR;
  UBool normalized = unorm2_isNormalized(uts46_mapping(), group.data() + start,
                                         static_cast<int32_t>(group.size() - start), &err);
  return U_SUCCESS(err) && normalized;
}

// One label of the mapped name in its ASCII form.
bool append_label(std::string& out, std::u16string_view label, std::vector<char32_t>& scratch) {
  if (std::all_of(label.begin(), label.end(), [](char16_t u) { return u < 0x80; })) {
    for (char16_t u : label) out += static_cast<char>(u);
    return true;
  }
  scratch.clear();
  for (std::size_t i = 0; i < label.size();) {
    UChar32 c;
    U16_NEXT(label.data(), i, label.size(), c);
    scratch.push_back(static_cast<char32_t>(c));
  }
  auto encoded = punycode_encode(scratch);
  if (!encoded) return false;
  out.append("xn--").append(*encoded);
  return true;
}

// Labels of the mapped name, with the dots between them, in ASCII form.
bool append_labels(std::string& out, std::u16string_view labels, std::vector<char32_t>& scratch) {
  for (std::size_t start = 0;;) {
    std::size_t dot = labels.find(u'.', start);
    if (!append_label(out, labels.substr(start, dot == std::u16string_view::npos ? dot : dot - start), scratch)) {
      return false;
    }
    if (dot == std::u16string_view::npos) return true;
    out += '.';
    start = dot + 1;
  }
}

}  // namespace

std::optional<std::string> domain_to_ascii(std::string_view domain) {
  const UIDNA* idna = uts46();
  const UNormalizer2* mapping = uts46_mapping();
  if (idna == nullptr || mapping == nullptr || domain.size() > INT32_MAX / 4) return std::nullopt;

  // UTF-8 to UTF-16, refusing ill-formed bytes (ICU would map them to
  // U+FFFD, which is disallowed).
  std::u16string utf16(domain.size(), u'\0');
  if (!fill_utf16(utf16, [&](UChar* dest, int32_t cap, UErrorCode* err) {
        int32_t len = 0;
        u_strFromUTF8(dest, cap, &len, domain.data(), static_cast<int32_t>(domain.size()), err);
        return len;
      })) {
    return std::nullopt;
  }
  // Unicode 15.1 changed the mapping of U+1E9E (capital sharp s) from "ss"
  // to U+00DF. Older ICU data still gives "ss", a different host from the
  // one a current client connects to, so the new mapping is applied first.
  // Every other change since then only turns ICU's rejections into
  // acceptances, which fails closed.
  std::replace(utf16.begin(), utf16.end(), u'\u1E9E', u'\u00DF');

  std::u16string ordered;
  if (!map_in_canonical_order(mapping, utf16, ordered)) return std::nullopt;
  utf16 = std::u16string();
  std::u16string mapped(ordered.size() + 16, u'\0');
  if (!fill_utf16(mapped, [&](UChar* dest, int32_t cap, UErrorCode* err) {
        return unorm2_normalize(mapping, ordered.data(), static_cast<int32_t>(ordered.size()), dest, cap, err);
      })) {
    return std::nullopt;
  }

  // Mapping turned every full stop into '.', so the labels are final here.
  const std::u16string_view name(mapped);
  Validator validator(idna);
  std::string out;
  out.reserve(name.size());
  std::u16string group;        // labels not yet validated
  std::size_t group_start = 0;  // where they begin in `name`
  std::vector<char32_t> scratch;
  for (std::size_t start = 0;;) {
    std::size_t dot = name.find(u'.', start);
    std::size_t end = dot == std::u16string_view::npos ? name.size() : dot;
    if (!append_for_validation(group, name.substr(start, end - start))) return std::nullopt;
    bool last = dot == std::u16string_view::npos;
    if (last || group.size() >= kGroupUnits) {
      // Encoding, the costlier step, waits until the labels are known good.
      if (!validator.check(group) || !append_labels(out, name.substr(group_start, end - group_start), scratch)) {
        return std::nullopt;
      }
      group.clear();
      group_start = end + 1;
      if (!last) out += '.';
    } else {
      group += u'.';
    }
    if (last) break;
    start = dot + 1;
  }
  if (!validator.bidi_ok() || out.empty()) return std::nullopt;
  return out;
}

}  // namespace zelq::ssrf
