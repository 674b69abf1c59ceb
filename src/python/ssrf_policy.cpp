// ZelqSsrfPolicy: the SSRF policy's verdicts. An instance holds the three
// flags of one of the two presets; the checks only read them.
#include <memory>
#include <variant>

#include "python/binding.hpp"
#include "ssrf/policy.hpp"

namespace zelq::py {

namespace {

using ssrf::SsrfPolicy;

PyObject* new_policy(SsrfPolicy p) {
  return make_instance<SsrfPolicy>(Cls::ZelqSsrfPolicy, std::make_unique<SsrfPolicy>(p));
}

PyObject* raise_rejection(const ssrf::SsrfRejection& r) { return raise_ssrf(r.message, ssrf::reason_code(r.reason)); }

PyObject* verdict(const ssrf::SsrfVerdict& v) {
  if (!v) return raise_rejection(v.error());
  return none();
}

PyObject* production(PyObject*) { return new_policy(SsrfPolicy::production()); }

PyObject* allow_test_loopback(PyObject*) { return new_policy(SsrfPolicy::allow_test_loopback()); }

PyObject* check_url(PyObject* self, const Args& a) { return verdict(payload_of<SsrfPolicy>(self).check_url(a.str(0))); }

PyObject* check_ip(PyObject* self, const Args& a) {
  auto r = payload_of<SsrfPolicy>(self).check_ip(a.str(0));
  if (r) return none();
  if (const auto* bad = std::get_if<ssrf::InvalidAddress>(&r.error())) return a.fail(ArgumentError{bad->message});
  return raise_rejection(std::get<ssrf::SsrfRejection>(r.error()));
}

PyObject* check_redirect_authority(PyObject*, const Args& a) {
  return verdict(ssrf::check_redirect_authority(a.str(0), a.str(1)));
}

constexpr Param kUrl[] = {{"url", PType::Str}};
constexpr Param kIp[] = {{"ip", PType::Str}};
constexpr Param kRedirect[] = {{"from_url", PType::Str}, {"to_url", PType::Str}};

constexpr MethodSpec kProduction{
    "ZelqSsrfPolicy", "production", Kind::StaticNoArgs, {}, nullptr,
    "production()\n--\n\n"
    "The production policy: HTTPS-only, IP literals rejected, and every private,\n"
    "loopback, link-local, IMDS, multicast and reserved range forbidden.",
    production};

constexpr MethodSpec kAllowTestLoopback{
    "ZelqSsrfPolicy", "allow_test_loopback", Kind::StaticNoArgs, {}, nullptr,
    "allow_test_loopback()\n--\n\n"
    "A test-only policy: the production policy that additionally permits loopback\n"
    "(127.0.0.0/8 and ::1) so that a test harness can target a local listener.\n"
    "Never use it in production.",
    allow_test_loopback};

constexpr MethodSpec kCheckUrl{
    "ZelqSsrfPolicy", "check_url", Kind::Instance, kUrl, check_url,
    "check_url($self, url)\n--\n\n"
    "Check a URL before fetching it: it must parse (WHATWG), use https, and name\n"
    "its host by a name of valid length, not by an IP literal. Host names are not\n"
    "resolved: check every address they resolve to with `check_ip`.\n\n"
    "Returns None; raises `SsrfRejected` with a `.reason` code otherwise."};

constexpr MethodSpec kCheckIp{
    "ZelqSsrfPolicy", "check_ip", Kind::Instance, kIp, check_ip,
    "check_ip($self, ip)\n--\n\n"
    "Check one address that the host's own DNS resolution returned, before\n"
    "connecting to it. Reject the whole answer set when any address fails.\n\n"
    "Returns None; raises `SsrfRejected` for a forbidden range and `ValueError`\n"
    "for text that is not an IPv4 or IPv6 address."};

constexpr MethodSpec kCheckRedirectAuthority{
    "ZelqSsrfPolicy", "check_redirect_authority", Kind::Instance, kRedirect, check_redirect_authority,
    "check_redirect_authority($self, from_url, to_url)\n--\n\n"
    "Check that a redirect keeps the scheme, host and effective port of the URL\n"
    "it came from. Resolve a relative Location against `from_url` first.\n\n"
    "Returns None; raises `SsrfRejected` otherwise."};

PyMethodDef g_methods[] = {method_def<kProduction>(),      method_def<kAllowTestLoopback>(),
                           method_def<kCheckUrl>(),        method_def<kCheckIp>(),
                           method_def<kCheckRedirectAuthority>(), kMethodsEnd};

}  // namespace

PyType_Spec* ssrf_policy_spec() {
  static ClassSpec c{"builtins.ZelqSsrfPolicy",
                     "The synchronous classification half of `SsrfPolicy`, exposed verdict-only:\n"
                     "no DNS, no sockets. Obtain one with `production()` or `allow_test_loopback()`.",
                     g_methods, nullptr, sizeof(Instance<SsrfPolicy>), dealloc_instance<SsrfPolicy>};
  return &c.spec;
}

}  // namespace zelq::py
