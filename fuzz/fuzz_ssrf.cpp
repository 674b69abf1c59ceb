// Any bytes into the URL parser, the strict address reader and the policy:
// no crash, no undefined behaviour, and a parsed URL re-parses to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ssrf/policy.hpp"
#include "ssrf/url.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  using namespace zelq::ssrf;
  if (auto u = parse_url(in)) {
    auto again = parse_url(u->href);
    if (!again || again->href != u->href) std::abort();
  }
  (void)SsrfPolicy::production().check_url(in);
  (void)SsrfPolicy::allow_test_loopback().check_ip(in);
  (void)SsrfPolicy{false, true, true}.check_url(in);
  auto mid = in.size() / 2;
  (void)check_redirect_authority(in.substr(0, mid), in.substr(mid));
  return 0;
}
