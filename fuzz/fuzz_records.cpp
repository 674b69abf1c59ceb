// Any text through the body and request readers and the offline checks: no
// crash, and whatever reads writes back to a text that reads to the same
// record (the body as its hashed value, the request as its wire text). The
// roads that never build a value agree with those that do: hashes and wire
// text written from the records, and free-form objects judged as texts.
//
// Besides the input as a whole document, the input's tail is spliced into a
// well-formed body and request as the value of one member (chosen by the first
// byte, sometimes wrapped as a data reference or anchor), so that mutation
// reaches the member readers and field rules without a seed corpus.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/content_hash.hpp"
#include "core/json/reader.hpp"
#include "core/json/writer.hpp"
#include "wire/body.hpp"
#include "wire/field_rules.hpp"
#include "wire/offline.hpp"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

#define ZELQ_FUZZ_ID "z6MkvDqGT54cXesYGvABpF1UapVNwjCqRcafi4Px6Thv5T3Z"
#define ZELQ_FUZZ_DID "did:key:" ZELQ_FUZZ_ID

using Member = std::pair<const char*, const char*>;

// Members of a well-formed body; the request takes those from "version" on.
constexpr std::array<Member, 25> kMembers = {{
    {"ctx_id", "\"zelq://a/00000000-0000-4000-8000-000000000000\""},
    {"lineage_id", "\"lin:sha256:0000000000000000000000000000000000000000000000000000000000000000\""},
    {"origin_registry", "\"registry.example\""},
    {"created_at", "\"2030-01-01T00:00:00Z\""},
    {"version", "1"},
    {"supersedes", "null"},
    {"agent_id", "\"" ZELQ_FUZZ_DID "\""},
    {"contributors", "[]"},
    {"title", "\"t\""},
    {"type", "\"alert\""},
    {"data_refs", "[{\"type\":\"raw_data\",\"location\":\"a:b\"}]"},
    {"derived_from", "[]"},
    {"visibility", "\"public\""},
    {"content_hash", "\"sha256:0000000000000000000000000000000000000000000000000000000000000000\""},
    {"signature", "{\"algorithm\":\"ed25519\",\"key_id\":\"" ZELQ_FUZZ_DID "#" ZELQ_FUZZ_ID
                  "\",\"value\":\"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA==\"}"},
    {"audience", nullptr},
    {"tags", nullptr},
    {"expires_at", nullptr},
    {"data_period", nullptr},
    {"metadata", nullptr},
    {"anchors", nullptr},
    {"zelq_version", nullptr},
    {"description", nullptr},
    {"x", nullptr},
    {"schema_uri", nullptr},
}};
constexpr std::size_t kFirstRequestMember = 4;

// The object with member `pick` given `value` (added when it has no default).
std::string splice(std::size_t first, std::size_t pick, std::string_view value) {
  std::string out = "{";
  for (std::size_t i = first; i < kMembers.size(); ++i) {
    if (i != pick && !kMembers[i].second) continue;
    if (out.size() > 1) out += ',';
    out += '"';
    out += kMembers[i].first;
    out += "\":";
    if (i == pick) out += value;
    else out += kMembers[i].second;
  }
  return out + "}";
}

bool same_failure(const zelq::ZResult<void>& a, const std::optional<zelq::ZelqError>& b) {
  return a.ok() ? !b : b && a.error().display() == b->display();
}

// A list of texts as read, against the same array read as a value: the
// count of all its entries, and each entry within the bound kept as it is.
void check_kept(const zelq::json::Value* array, std::size_t count, const zelq::json::StringList& kept,
                std::size_t bound) {
  check(array && array->is_array() && array->as_array().size() == count && kept.size() == std::min(count, bound));
  for (std::size_t i = 0; i < kept.size(); ++i) check(array->as_array()[i].as_string() == kept[i]);
}

template <std::size_t Bound>
void check_kept(const zelq::json::Value* array, const zelq::wire::BoundedList<Bound>& list) {
  check_kept(array, list.size(), list.entries(), Bound);
}

template <std::size_t Bound>
void check_kept(const zelq::json::Value* array, const std::optional<zelq::wire::BoundedList<Bound>>& list) {
  if (!list) return check(!array || array->is_null());
  check_kept(array, *list);
}

// The free-form members of a body, judged as it was read, against the same
// members read as a value and judged then; its lists of texts likewise.
void check_judged_members(const zelq::wire::Body& body, std::string_view text) {
  using namespace zelq;
  auto whole = json::parse(text);
  check(whole.ok() && whole->is_object());
  check_kept(whole->get("contributors"), body.contributors.size(), body.contributors, SIZE_MAX);
  check_kept(whole->get("derived_from"), body.derived_from);
  check_kept(whole->get("audience"), body.audience);
  check_kept(whole->get("tags"), body.tags);
  json::Object extra;
  for (const json::Member& m : whole->as_object()) {
    bool named = false;
    for (const auto& f : wire::kBodyRecord.fields) named = named || m.key == f.name;
    if (!named) extra.insert(m.key, m.value);
  }
  if (extra.empty()) {
    check(!body.extensions_refusal && body.extensions.empty());
  } else {
    check(same_failure(wire::check_json_object_limits(json::Value(extra), "extensions"), body.extensions_refusal));
    if (!body.extensions_refusal) check(body.extensions == extra);
  }
  const json::Value* metadata = whole->get("metadata");
  if (!metadata || metadata->is_null()) return check(!body.metadata && !body.metadata_refusal);
  check(same_failure(wire::check_json_object_limits(*metadata, "metadata"), body.metadata_refusal));
  if (!body.metadata_refusal) return check(body.metadata && *body.metadata == *metadata);
  if (!metadata->is_object()) return check(!body.metadata);
  json::Object kept;
  for (const json::Member& m : metadata->as_object())
    for (std::string_view name : wire::kMetadataLookups)
      if (m.key == name) kept.insert(m.key, m.value);
  check(body.metadata && *body.metadata == json::Value(std::move(kept)));
}

void read_body(std::string_view text) {
  using namespace zelq;
  auto body = wire::parse_body(text);
  if (!body) return;
  check_judged_members(*body, text);
  (void)wire::verify_body(*body);
  (void)wire::verify_ctx_id_binding(*body, "zelq://a/00000000-0000-4000-8000-000000000000");
  const json::Value value = wire::body_to_value(*body);
  auto streamed = record_content_hash(*body, wire::kBodyRecord);
  auto built = body_content_hash(value);
  check(streamed.ok() == built.ok() && (!streamed || *streamed == built->hash));
  auto again = wire::parse_body(json::to_string(value));
  check(again.ok() && wire::body_to_value(*again) == value);
}

// A free-form object judged as it is read, against the same text read as a
// value and judged then.
void read_metadata(std::string_view text) {
  using namespace zelq;
  auto judged = wire::read_judged_object(text, "metadata");
  auto value = json::parse(text);
  check(judged.ok() == value.ok());
  if (!value) return check(judged.error().display() == value.error().display());
  check(same_failure(wire::check_json_object_limits(*value, "metadata"), judged->refusal));
  check(judged->value.has_value() == !judged->refusal);
  if (judged->value) check(*judged->value == *value);
}

void read_request(std::string_view text) {
  using namespace zelq;
  auto request = wire::parse_publish_request(text);
  // The offline check's reading, which drops metadata, fails where the full
  // one fails, with the same message.
  auto checked = wire::parse_publish_request_unkept_metadata(text);
  check(checked.ok() == request.ok() && (checked || checked.error().display() == request.error().display()));
  if (!request) return;
  if (auto members = canonicalize_members(text, false)) (void)wire::verify_request(*request, *members);
  const std::string wire_text = wire::write_publish_request(*request);
  check(wire_text == json::to_string(json::record_value(*request, wire::kPublishRequestRecord)));
  auto streamed = record_content_hash(*request, wire::kPublishRequestRecord);
  auto built = body_content_hash(json::record_value(*request, wire::kPublishRequestRecord));
  check(streamed.ok() == built.ok() && (!streamed || *streamed == built->hash));
  auto again = wire::parse_publish_request(wire_text);
  check(again.ok() && wire::write_publish_request(*again) == wire_text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  read_body(text);
  read_request(text);
  read_metadata(text);
  if (size == 0) return 0;

  const std::size_t pick = data[0] % kMembers.size();
  std::string value(text.substr(1));
  switch (data[0] / kMembers.size() % 4) {
    case 1: value = "[{\"type\":\"raw_data\"," + value + "}]"; break;                   // inside a data reference
    case 2: value = "[{\"type\":\"raw_data\",\"embedded\":" + value + "}]"; break;      // embedded content
    case 3: value = "[{\"scheme\":\"a.b\",\"content_hash\":\"h\"," + value + "}]"; break;  // an anchor
    default: break;
  }
  read_body(splice(0, pick, value));
  if (pick >= kFirstRequestMember && std::string_view(kMembers[pick].first) != "x")
    read_request(splice(kFirstRequestMember, pick, value));
  return 0;
}
