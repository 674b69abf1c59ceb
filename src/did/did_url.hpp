// The text rules of DIDs and DID URLs that every layer above reads by: the
// prefixes of the two methods we resolve, and how a key id (a DID URL) names
// its DID and its fragment. Byte comparisons, case-sensitive, no other check.
#pragma once

#include <optional>
#include <string_view>

namespace zelq::did {

inline constexpr std::string_view kDidKeyPrefix = "did:key:";
inline constexpr std::string_view kDidWebPrefix = "did:web:";

constexpr bool is_did_key(std::string_view did) { return did.starts_with(kDidKeyPrefix); }
constexpr bool is_did_web(std::string_view did) { return did.starts_with(kDidWebPrefix); }

// The text before the first "#", or the whole text: the DID a key id names.
constexpr std::string_view strip_fragment(std::string_view did_url) { return did_url.substr(0, did_url.find('#')); }

// Everything after the first "#" (further "#" included, possibly empty), or
// nothing when the text has no "#".
constexpr std::optional<std::string_view> url_fragment(std::string_view did_url) {
  const std::size_t hash = did_url.find('#');
  if (hash == std::string_view::npos) return std::nullopt;
  return did_url.substr(hash + 1);
}

// Whether `key_id` is one of `did`'s own keys: `did`, "#", and a non-empty
// fragment.
constexpr bool is_key_id_under_did(std::string_view key_id, std::string_view did) {
  const auto fragment = url_fragment(key_id);
  return fragment && !fragment->empty() && strip_fragment(key_id) == did;
}

}  // namespace zelq::did
