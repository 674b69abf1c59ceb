// One-pass canonicalization of JSON text. Values are written in canonical
// form as they are read; an object's members are written in arrival order
// and, when that order is not already the canonical one, rearranged in
// place when the object closes.
#include <algorithm>
#include <cstring>

#include "core/json/canonical.hpp"
#include "core/timestamp.hpp"

namespace zelq {

namespace {

class CanonicalWriter {
 public:
  std::string out;
  bool truncate_ms = false;
  // The top-level object's members as they stand in `out` once it closed.
  std::vector<CanonicalMembers::Span> top_members;

  void null() {
    separate();
    out.append("null");
  }
  void boolean(bool b) {
    separate();
    out.append(b ? "true" : "false");
  }
  void number(const json::Value& v, std::string_view text) {
    separate();
    if (v.type() == json::Type::Float) {
      if (v.as_double() == 0) out.push_back('0');
      else write_canonical_float(v.as_double(), out);
    } else {
      out.append(text);  // an integer's text is already its exact decimal form
    }
  }
  void string(std::string_view s, bool escaped) {
    separate();
    if (truncate_ms) {
      if (auto ms = truncated_timestamp(s)) {
        format_rfc3339_millis(*ms, out);
        return;
      }
    }
    write_string(s, escaped);
  }
  void begin_array() {
    separate();
    frames_.push_back(Frame{false, true, 0, 0});
    out.push_back('[');
  }
  void end_array() {
    frames_.pop_back();
    out.push_back(']');
  }
  void begin_object() {
    separate();
    frames_.push_back(Frame{true, true, entries_.size(), arena_.size()});
    out.push_back('{');
  }
  void key(std::string_view k, bool escaped) {
    Frame& f = frames_.back();
    if (!f.first) {
      entries_.back().end = out.size();
      out.push_back(',');
    }
    f.first = false;
    Entry e{out.size(), 0, k.size(), escaped, 0};
    if (escaped) {
      e.key = arena_.size();
      arena_.append(k);
    } else {
      e.key = out.size() + 1;  // the key's bytes as written, after the quote
    }
    entries_.push_back(e);
    write_string(k, escaped);
    out.push_back(':');
  }
  void end_object() {
    Frame f = frames_.back();
    frames_.pop_back();
    const std::size_t n = entries_.size() - f.entries;
    if (n > 0) {
      entries_.back().end = out.size();
      reorder(f.entries, frames_.empty() ? &top_members : nullptr);
    }
    entries_.resize(f.entries);
    arena_.resize(f.arena);
    out.push_back('}');
  }

 private:
  struct Frame {
    bool object;
    bool first;
    std::size_t entries;  // first member entry of this object
    std::size_t arena;
  };
  struct Entry {
    std::size_t start;  // member text (key, colon, value) is out[start, end)
    std::size_t key;    // decoded key bytes: in out, or in the arena when escaped
    std::size_t key_len;
    bool in_arena;
    std::size_t end;
  };

  std::string_view key_of(const Entry& e) const {
    const std::string& base = e.in_arena ? arena_ : out;
    return std::string_view(base.data() + e.key, e.key_len);
  }

  void separate() {
    if (frames_.empty()) return;
    Frame& f = frames_.back();
    if (f.object) return;  // the member's key already wrote its separator
    if (!f.first) out.push_back(',');
    f.first = false;
  }

  void write_string(std::string_view s, bool escaped) {
    if (escaped) {
      write_canonical_string(s, out);
      return;
    }
    // Without escapes the text holds nothing that canonical form escapes.
    out.push_back('"');
    out.append(s);
    out.push_back('"');
  }

  // Sorts the members of the object whose first entry is `base`; with
  // `spans`, reports where each member ends up.
  void reorder(std::size_t base, std::vector<CanonicalMembers::Span>* spans) {
    const std::size_t n = entries_.size() - base;
    bool sorted = true;
    for (std::size_t i = base + 1; i < entries_.size() && sorted; ++i)
      sorted = key_of(entries_[i - 1]) < key_of(entries_[i]);
    if (sorted) {
      if (spans)
        for (std::size_t i = base; i < entries_.size(); ++i) spans->push_back({entries_[i].start, entries_[i].end});
      return;
    }
    std::vector<std::size_t> order(n);
    for (std::size_t i = 0; i < n; ++i) order[i] = base + i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return key_of(entries_[a]) < key_of(entries_[b]); });
    // A repeated key keeps its last value: skip all but the last of a run.
    std::vector<bool> keep(n, true);
    for (std::size_t i = 0; i + 1 < n; ++i)
      keep[i] = key_of(entries_[order[i]]) != key_of(entries_[order[i + 1]]);
    const std::size_t region = entries_[base].start;
    std::string moved(out, region);
    out.resize(region);
    bool first = true;
    for (std::size_t i = 0; i < n; ++i) {
      if (!keep[i]) continue;
      const Entry& e = entries_[order[i]];
      if (!first) out.push_back(',');
      first = false;
      const std::size_t at = out.size();
      out.append(moved, e.start - region, e.end - e.start);
      if (spans) spans->push_back({at, out.size()});
    }
  }

  std::vector<Frame> frames_;
  std::vector<Entry> entries_;
  std::string arena_;
};

}  // namespace

json::PResult<std::string> canonicalize_text(std::string_view text) {
  std::string fast;
  if (canonicalize_fast(text, fast)) return fast;
  json::Reader r(text);
  CanonicalWriter w;
  w.out.reserve(text.size());
  ZELQ_TRY(r.parse_events(w));
  ZELQ_TRY(r.end());
  return std::move(w.out);
}

json::PResult<CanonicalMembers> canonicalize_members(std::string_view text, bool truncate_ms) {
  json::Reader r(text);
  CanonicalWriter w;
  w.truncate_ms = truncate_ms;
  w.out.reserve(text.size());
  ZELQ_TRY(r.parse_events(w));
  ZELQ_TRY(r.end());
  CanonicalMembers m;
  m.object = !w.out.empty() && w.out.front() == '{';
  m.members = std::move(w.top_members);
  m.text = std::move(w.out);
  return m;
}

Result<std::string, ArgumentError> canonicalize_argument(std::string_view text) {
  auto bytes = canonicalize_text(text);
  if (!bytes) return fail(ArgumentError{"invalid JSON: " + bytes.error().display()});
  return std::move(*bytes);
}

}  // namespace zelq
