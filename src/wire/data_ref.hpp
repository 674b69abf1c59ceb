// The records nested in publish bodies and requests: data references with
// their location or embedded content, the data period, and anchor entries.
// Reading fixes shape and value types only; the field rules judge contents.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/boxed.hpp"
#include "core/chunked_list.hpp"
#include "core/json/value.hpp"
#include "core/json/writer.hpp"
#include "core/json/record.hpp"
#include "core/timestamp.hpp"
#include "wire/enums.hpp"

namespace zelq::wire {

// A URI (JSON string) or a structured locator (JSON object).
struct Location {
  std::variant<std::string, json::Object> v;
  bool is_uri() const { return v.index() == 0; }
  const std::string& uri() const { return std::get<0>(v); }
  const json::Object& structured() const { return std::get<1>(v); }
};

// Closed: encoding and content required, content_hash optional; also read
// from [encoding, content] or [encoding, content, content_hash].
struct EmbeddedContent {
  EmbeddedEncoding encoding = EmbeddedEncoding::Json;
  json::Value content;  // any value, null included
  std::optional<std::string> content_hash;
};

// Open: every member beyond the eight named ones is kept in `extensions`.
// A body may hold data references by the hundred thousand, many of them
// small: every text or nested member is boxed, a pointer while absent, so
// that a reference costs about what it holds.
struct DataRef {
  DataRefRole type = DataRefRole::PrimaryResult;
  Boxed<std::string> description;
  std::optional<std::uint64_t> size_bytes;
  Boxed<std::string> format;
  Boxed<std::string> schema_version;
  Boxed<std::string> content_hash;
  Boxed<Location> location;
  Boxed<EmbeddedContent> embedded;  // the rarer of the two ways to the data
  json::Object extensions;
};

using DataRefs = ChunkedList<DataRef>;

// Closed: start and end, or [start, end].
struct DataPeriod {
  UtcTime start;
  UtcTime end;
};

// Open: scheme and content_hash required, uri optional (null is absent).
struct AnchorEntry {
  std::string scheme;
  std::string content_hash;
  std::optional<std::string> uri;
  json::Object extensions;
};

// Equal scheme, content_hash and uri bytes, and the same extension members
// with equal values in any order.
bool operator==(const AnchorEntry& a, const AnchorEntry& b);

extern const json::Record<DataRef> kDataRefRecord;
extern const json::Record<EmbeddedContent> kEmbeddedContentRecord;
extern const json::Record<DataPeriod> kDataPeriodRecord;
extern const json::Record<AnchorEntry> kAnchorEntryRecord;

// Readers at the cursor (the value of an enclosing member).
json::PResult<UtcTime> read_date_time(json::Reader& r);
json::PResult<DataPeriod> read_data_period(json::Reader& r);
json::PResult<DataRefs> read_data_refs(json::Reader& r);
json::PResult<std::vector<AnchorEntry>> read_anchors(json::Reader& r);

// Writers: the members in declaration order, then the extensions.
json::Value date_time_value(const UtcTime& t);
json::Value data_period_value(const DataPeriod& p);
json::Value data_ref_value(const DataRef& ref);
json::Value anchor_value(const AnchorEntry& anchor);

// Diagnostic form: AnchorEntry { scheme: "s", content_hash: ContentHash("h"), uri: None, extensions: {} }
std::string anchor_debug(const AnchorEntry& a);

}  // namespace zelq::wire
