// Lifecycle events: the signed retract / republish (or other) events in a
// context's registry state. An event binds to exactly one context, its key
// must lie under its actor's DID, and its signature covers the event exactly
// as received.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/json/value.hpp"
#include "core/timestamp.hpp"
#include "wire/signature.hpp"

namespace zelq::registry {

inline constexpr std::size_t kLifecycleReasonMaxChars = 1024;

struct LifecycleEvent {
  std::string event_id;
  std::string ctx_id;
  // "retracted", "republished" or another word of the open vocabulary, as sent.
  std::string event_type;
  UtcTime occurred_at;
  std::string actor;
  std::optional<std::string> reason;
  std::optional<wire::Signature> signature;
};

// Closed read of the raw value; event_type and occurred_at are judged while
// reading.
ZResult<LifecycleEvent> parse_lifecycle_event(const json::Value& raw);

// Every check in order; the verdict text, success or FailureVerdict.
// `actor_did_doc_json` is absent for a did:key actor (and ignored for one).
std::string verify_lifecycle_event(const json::Value& raw, std::optional<std::string_view> actor_did_doc_json,
                                   std::string_view expected_ctx_id);

// What reading an event argument builds of it.
const json::Prune* lifecycle_event_prune();

}  // namespace zelq::registry
