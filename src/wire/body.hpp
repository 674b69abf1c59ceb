// The publish body as a registry stores and serves it, and the publish
// request a producer sends: one record table each, read from JSON text and
// written back member by member in declaration order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/json/record.hpp"
#include "core/timestamp.hpp"
#include "wire/data_ref.hpp"
#include "wire/enums.hpp"
#include "wire/field_rules.hpp"
#include "wire/signature.hpp"

namespace zelq::wire {

struct Body {
  std::string ctx_id;
  std::string lineage_id;
  std::string origin_registry;
  UtcTime created_at;
  std::string content_hash;
  Signature signature;
  std::uint32_t version = 0;
  std::optional<std::string> supersedes;
  std::string agent_id;
  json::StringList contributors;
  std::string title;
  ContextType type;
  DataRefs data_refs;
  DerivedFrom derived_from;
  Visibility visibility = Visibility::Public;
  std::optional<Audience> audience;
  std::optional<std::string> zelq_version;
  std::optional<std::string> description;
  std::optional<std::string> summary;
  std::optional<Tags> tags;
  std::optional<std::string> domain;
  std::optional<UtcTime> expires_at;
  std::optional<DataPeriod> data_period;
  std::optional<json::Value> metadata;
  std::optional<std::string> schema_uri;
  std::optional<std::vector<AnchorEntry>> anchors;
  json::Object extensions;  // every other member, in arrival order
  // When `metadata` breaks the limits of a body's metadata: the refusal
  // those limits give, found as it was read. No value of it is built then:
  // `metadata` holds, for an object, only its members in kMetadataLookups
  // (a container in the place of one kept empty: they are read for their
  // kind and a scalar's value), and nothing for any other value.
  std::optional<ZelqError> metadata_refusal;
  // When the other members break the limits of a body's extra members: the
  // refusal those limits give, found as they were read, with `extensions`
  // left empty. No value of them is built, since no check or hash of the
  // body goes past that refusal, and no other reader of bodies looks at them.
  std::optional<ZelqError> extensions_refusal;
};

// The members of a body's metadata that readers of bodies look up by name
// whatever its size: those of a key revocation.
inline constexpr std::string_view kMetadataLookups[] = {"revoked_key_fingerprint", "compromised_since", "reason",
                                                        "revoked_key_id", "revoked_key_controller"};

// Open record: unknown members are kept in `extensions`, or refused there;
// no array form.
extern const json::Record<Body> kBodyRecord;

// The whole text as one body; errors end in " at line {} column {}".
json::PResult<Body> parse_body(std::string_view text);

// The body as the JSON value its content hash is taken over: members in
// declaration order, absent optional members left out except `supersedes`
// (null), date-times in UTC with 0, 3, 6 or 9 fraction digits, extension
// members last.
json::Value body_to_value(const Body& body);

struct PublishRequest {
  std::uint32_t version = 0;
  std::optional<std::string> supersedes;
  std::string agent_id;
  json::StringList contributors;
  std::string title;
  ContextType type;
  DataRefs data_refs;
  DerivedFrom derived_from;
  Visibility visibility = Visibility::Public;
  std::string content_hash;
  Signature signature;
  std::optional<Audience> audience;
  std::optional<std::string> zelq_version;
  std::optional<std::string> description;
  std::optional<std::string> summary;
  std::optional<std::string> lineage_id;
  std::optional<Tags> tags;
  std::optional<std::string> domain;
  std::optional<UtcTime> expires_at;
  std::optional<DataPeriod> data_period;
  std::optional<json::Value> metadata;  // a present null stays a null
  std::optional<std::string> schema_uri;
  std::optional<std::vector<AnchorEntry>> anchors;
};

// Closed record with a positional (23-element) array form.
extern const json::Record<PublishRequest> kPublishRequestRecord;

json::PResult<PublishRequest> parse_publish_request(std::string_view text);
// The same reading, failures included, with `metadata` judged and dropped.
json::PResult<PublishRequest> parse_publish_request_unkept_metadata(std::string_view text);

// The wire text: compact JSON, members in declaration order, `supersedes`
// null when absent, other absent optional members left out.
std::string write_publish_request(const PublishRequest& request);

}  // namespace zelq::wire
