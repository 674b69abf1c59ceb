// The two build operations of a producer: a first-version publish request,
// and the supersession of a stored body. Each makes the call's identity,
// parses its text arguments, fills a builder in a fixed order, builds, and
// writes the request as compact JSON text. The first failure ends the call;
// the identity's secret is wiped when the call ends, whatever the outcome.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "producer/builder.hpp"
#include "producer/failure.hpp"
#include "producer/producer.hpp"

namespace zelq::producer {

using OptText = std::optional<std::string_view>;
using OptList = std::optional<std::span<const std::string_view>>;

// The arguments of build_publish_request, in parameter order.
struct PublishArgs {
  std::string_view title;
  std::string_view context_type;
  OptText visibility;
  OptText description;
  OptText summary;
  OptList tags;
  OptText domain;
  OptText metadata;
  OptList derived_from;
  OptList audience;
  OptText schema_uri;
  OptList contributors;
  OptText data_refs;
  OptText anchors;
  OptText expires_at;
  OptText data_period;
  OptText expected_lineage_id;
  OptText zelq_version;
  std::optional<bool> omit_zelq_version;
};

// The arguments of build_supersede_request, in parameter order.
struct SupersedeArgs {
  std::string_view previous_body_json;
  OptText title;
  OptText summary;
  OptText description;
  OptList tags;
  OptText domain;
  OptText metadata;
  OptText data_refs;
  OptText anchors;
  std::optional<bool> clear_anchors;
  OptText expires_at;
  OptText data_period;
  OptText expected_lineage_id;
  OptText zelq_version;
  std::optional<bool> omit_zelq_version;
};

// The optional arguments written into a builder; a given one replaces the
// whole field, an absent one leaves it. ValueError from the first parser
// that fails.
PResult<void> apply_publish_kwargs(PublishRequestBuilder& b, const PublishArgs& a);
PResult<void> apply_supersede_kwargs(PublishRequestBuilder& b, const SupersedeArgs& a);

// The request's wire text. ValueError for the identity and the arguments,
// RuntimeError with the error's display text when the build refuses.
PResult<std::string> build_publish_request(const Producer& p, const PublishArgs& a);
PResult<std::string> build_supersede_request(const Producer& p, const SupersedeArgs& a);

}  // namespace zelq::producer
