// The fields of one publish request while a producer call assembles it, and
// the build that turns them into a hashed, signed and validated request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/timestamp.hpp"
#include "crypto/producer_key.hpp"
#include "wire/body.hpp"

namespace zelq::producer {

// The protocol version a first version carries unless told otherwise.
inline constexpr std::string_view kZelqVersion = "0.4.0";

struct PublishRequestBuilder {
  explicit PublishRequestBuilder(const crypto::ProducerIdentity& id) : identity(&id) {}

  // Signs the request; the builder only refers to it and must not outlive it.
  const crypto::ProducerIdentity* identity;

  // The fields the build requires, absent until a caller sets them.
  std::optional<std::string> title;
  std::optional<wire::ContextType> context_type;
  // A metadata argument that its limits refused as it was read: held in
  // place of its value, which was never built.
  std::optional<ZelqError> metadata_refusal;
  std::optional<std::uint32_t> version;  // absent on a first version means 1
  // Every other field, held as the request carries it; its version, title,
  // type, agent_id, content_hash and signature are the build's to set.
  wire::PublishRequest request;

  // A first version: public, zelq_version "0.4.0", everything else empty.
  static PublishRequestBuilder first_version(const crypto::ProducerIdentity& identity);
  // The next version of a stored body: its version plus one (wrapping), its
  // ctx_id as supersedes, and every field of the body but the signer, the
  // registry-assigned members, the hash, the signature and the extensions.
  static PublishRequestBuilder new_version_from(wire::Body previous, const crypto::ProducerIdentity& identity);

  // Required fields, version and lineage rules and the audience of a
  // restricted context first; then the content hash over the request's own
  // members (less content_hash, signature and lineage_id), the signature over
  // the hash text, and every field rule on the finished request.
  ZResult<wire::PublishRequest> build() &&;
};

}  // namespace zelq::producer
