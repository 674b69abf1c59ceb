// Lineage-head receipts: a registry's signed statement that at `as_of` the
// head of a lineage is a given ctx_id, version and status, checked against
// the consumer's own request and what it was served, then verified with a
// registry key taken from the registry's DID document.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/result.hpp"
#include "core/timestamp.hpp"
#include "registry/artefact.hpp"
#include "wire/signature.hpp"
#include "wire/validators.hpp"

namespace zelq::registry {

inline constexpr std::string_view kLineageHeadReceiptVersion = "zelq-lhr/1";
inline constexpr std::int64_t kDefaultHeadMaxAgeSecs = 300;

struct LineageHeadReceipt {
  std::string receipt_version;
  std::string registry_did;
  std::string lineage_id;
  std::string head_ctx_id;
  std::uint32_t head_version = 0;
  std::string head_status;
  UtcTime as_of;
  wire::Signature signature;
};

struct LineageHeadExpectation {
  std::string authority;
  std::string registry_did;
  std::string lineage_id;
  std::string head_ctx_id;
  std::uint32_t head_version = 0;
  wire::ContextStatus head_status;
  bool on_current_endpoint = true;
  bool operator==(const LineageHeadExpectation&) const = default;
};

// The consumer's expectations, a malformed one being an argument error.
Result<LineageHeadExpectation, ArgumentError> parse_lineage_head_expectation(const json::Value& expected);

// Closed read, then the receipt's own rules; the as_of form check last.
ZResult<LineageHeadReceipt> parse_lineage_head_receipt(const json::Value& raw);

// The numbered consumer checks, in the order they run.
ZResult<void> check_head_registry(const LineageHeadReceipt& r, std::string_view authority,
                                  std::string_view registry_did);
ZResult<void> check_head_lineage(const LineageHeadReceipt& r, std::string_view lineage_id);
ZResult<void> check_head_against_served(const LineageHeadReceipt& r, std::string_view served_ctx_id,
                                        std::uint32_t served_version, const wire::ContextStatus& served_status,
                                        bool on_current_endpoint);
ZResult<void> check_as_of_fresh(const LineageHeadReceipt& r, const ConsumerClock& clock);

// The whole check after the arguments have been read: the verdict text,
// {"valid":true,"stale":..,"age_secs":..,"historical":..} or a FailureVerdict.
std::string verify_lineage_head_receipt(const json::Value& raw, const LineageHeadExpectation& expected,
                                        std::string_view registry_did_doc_json, const ConsumerClock& clock,
                                        std::int64_t max_age_secs);

// What reading a lineage-head receipt, and the expectations, builds of them.
const json::Prune* lineage_head_receipt_prune();
const json::Prune* lineage_head_expectation_prune();

}  // namespace zelq::registry
