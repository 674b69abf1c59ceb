// Any text through the body and request readers and the offline checks: no
// crash, and whatever reads writes back to a text that reads to the same
// record (the body as its hashed value, the request as its wire text).
//
// Besides the input as a whole document, the input's tail is spliced into a
// well-formed body and request as the value of one member (chosen by the first
// byte, sometimes wrapped as a data reference or anchor), so that mutation
// reaches the member readers and field rules without a seed corpus.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "core/json/reader.hpp"
#include "wire/body.hpp"
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

void read_body(std::string_view text) {
  using namespace zelq;
  auto body = wire::parse_body(text);
  if (!body) return;
  (void)wire::verify_body(*body);
  (void)wire::verify_ctx_id_binding(*body, "zelq://a/00000000-0000-4000-8000-000000000000");
  const json::Value value = wire::body_to_value(*body);
  auto again = wire::parse_body(json::to_string(value));
  check(again.ok() && wire::body_to_value(*again) == value);
}

void read_request(std::string_view text) {
  using namespace zelq;
  auto request = wire::parse_publish_request(text);
  if (!request) return;
  if (auto value = json::parse(text)) (void)wire::verify_request(*request, *value);
  const std::string wire_text = wire::write_publish_request(*request);
  auto again = wire::parse_publish_request(wire_text);
  check(again.ok() && wire::write_publish_request(*again) == wire_text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  read_body(text);
  read_request(text);
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
