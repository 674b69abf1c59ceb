"""ZelqSsrfPolicy: presets, the verdicts of check_url, check_ip and
check_redirect_authority, their reason codes and message texts."""
import time

import ada_url
import pytest

import zelq

P = zelq.ZelqSsrfPolicy
PROD = P.production()
TEST = P.allow_test_loopback()

FORBIDDEN = "SSRF policy: IP address '{}' is in a forbidden range"


def verdict(call, *args):
    """None when the check passes, else (reason, message)."""
    try:
        assert call(*args) is None
    except zelq.SsrfRejected as e:
        assert isinstance(e.reason, str) and e.args == (str(e),)
        return e.reason, str(e)
    return None


def reason(call, *args):
    v = verdict(call, *args)
    return v and v[0]


# ---- the object -------------------------------------------------------------

def test_presets_are_fresh_immutable_policies():
    a, b = P.production(), P.production()
    assert type(a) is P and a is not b
    with pytest.raises(AttributeError):
        a.allow_loopback = True
    assert not hasattr(a, "__dict__")


@pytest.mark.parametrize("name, line", [
    ("production", "production()"),
    ("allow_test_loopback", "allow_test_loopback()"),
    ("check_url", "check_url($self, url)"),
    ("check_ip", "check_ip($self, ip)"),
    ("check_redirect_authority", "check_redirect_authority($self, from_url, to_url)"),
])
def test_doc_signature_lines(name, line):
    assert getattr(P, name).__text_signature__ == line[line.index("("):]


def test_arguments_by_keyword_and_type_errors():
    assert PROD.check_url(url="https://example.com/") is None
    assert PROD.check_ip(ip="8.8.8.8") is None
    assert PROD.check_redirect_authority(from_url="https://a/", to_url="https://a/b") is None
    for call in (lambda: PROD.check_url(), lambda: PROD.check_ip(b"8.8.8.8"),
                 lambda: PROD.check_redirect_authority("https://a/"), lambda: PROD.check_url("https://a/", "x")):
        with pytest.raises(TypeError):
            call()


# ---- check_url ----------------------------------------------------------------

LONG_HOST = "a" * 250 + ".com"  # 254 bytes

URL_CASES = [
    ("http://example.com/", "non_https", "SSRF policy: scheme 'http' not permitted; only https"),
    ("http://127.0.0.1/", "non_https", None),  # the scheme is judged before the host
    ("ftp://example.com/", "non_https", "SSRF policy: scheme 'ftp' not permitted; only https"),
    ("HTTPS://Example.COM/", None, None),
    ("https://localhost/", None, None),
    ("https://user:pw@example.com:8443/p?q#f", None, None),
    ("https://" + "a" * 249 + ".com/", None, None),
    ("https://" + LONG_HOST + "/", "invalid_url", "SSRF policy: invalid hostname length: " + LONG_HOST),
    ("https://2130706433/", "ip_literal", "SSRF policy: IPv4 literal '127.0.0.1' not permitted; use a hostname"),
    ("https://0x7f.0x0.0x0.0x1/", "ip_literal", "SSRF policy: IPv4 literal '127.0.0.1' not permitted; use a hostname"),
    ("https://0xa9.254.43518/", "ip_literal",
     "SSRF policy: IPv4 literal '169.254.169.254' not permitted; use a hostname"),
    ("https://8.8.8.8/", "ip_literal", "SSRF policy: IPv4 literal '8.8.8.8' not permitted; use a hostname"),
    ("https://[0:0:0:0:0:FFFF:7F00:1]/", "ip_literal",
     "SSRF policy: IPv6 literal '::ffff:127.0.0.1' not permitted; use a hostname"),
    ("https://[2001:DB8:0:0:1::1]/", "ip_literal",
     "SSRF policy: IPv6 literal '2001:db8::1:0:0:1' not permitted; use a hostname"),
    ("https://", "invalid_url", "invalid URL: empty host"),
    ("example.com/path", "invalid_url", "invalid URL: relative URL without a base"),
    ("https://example.com:65536/", "invalid_url", "invalid URL: invalid port number"),
    ("https://10.0.0.256/", "invalid_url", "invalid URL: invalid IPv4 address"),
    ("https://[::1::]/", "invalid_url", "invalid URL: invalid IPv6 address"),
    ("https://exa<mple.com/", "invalid_url", "invalid URL: invalid domain character"),
    ("https://\u0627b/", "invalid_url", "invalid URL: invalid international domain name"),
]


@pytest.mark.parametrize("policy", [PROD, TEST], ids=["production", "test_loopback"])
@pytest.mark.parametrize("url, code, message", URL_CASES)
def test_check_url(policy, url, code, message):
    v = verdict(policy.check_url, url)
    assert (v and v[0]) == code
    if message:
        assert v[1] == message


def test_check_url_agrees_with_what_is_fetched():
    # The host a WHATWG client connects to is the one judged: "\\" is a path
    # separator, the last "@" ends the user information, tabs vanish.
    assert verdict(PROD.check_url, "https://example.com\\@127.0.0.1/") is None
    assert reason(PROD.check_url, "https://example.com@127.0.0.1/") == "ip_literal"
    assert reason(PROD.check_url, "https://a@b@0x7f000001/") == "ip_literal"
    assert reason(PROD.check_url, " https://12\t7.0.0.1 ") == "ip_literal"
    assert reason(PROD.check_url, "https://\uff11\uff12\uff17.0.0.1/") == "ip_literal"  # fullwidth digits


# ---- check_ip -------------------------------------------------------------------

# Each IPv4 range with the addresses just inside and just outside it.
IPV4_RANGES = [
    ("0.0.0.0", "multicast_or_reserved"), ("0.255.255.255", "multicast_or_reserved"), ("1.0.0.0", None),
    ("9.255.255.255", None), ("10.0.0.0", "private"), ("10.255.255.255", "private"), ("11.0.0.0", None),
    ("100.63.255.255", None), ("100.64.0.0", "private"), ("100.127.255.255", "private"), ("100.128.0.0", None),
    ("126.255.255.255", None), ("127.0.0.0", "loopback"), ("127.255.255.255", "loopback"), ("128.0.0.0", None),
    ("169.253.255.255", None), ("169.254.0.0", "imds"), ("169.254.255.255", "imds"), ("169.255.0.0", None),
    ("172.15.255.255", None), ("172.16.0.0", "private"), ("172.31.255.255", "private"), ("172.32.0.0", None),
    ("191.255.255.255", None), ("192.0.0.0", "multicast_or_reserved"), ("192.0.0.255", "multicast_or_reserved"),
    ("192.0.1.0", None), ("192.0.2.1", None), ("192.167.255.255", None), ("192.168.0.0", "private"),
    ("192.168.255.255", "private"), ("192.169.0.0", None), ("198.17.255.255", None),
    ("198.18.0.0", "multicast_or_reserved"), ("198.19.255.255", "multicast_or_reserved"), ("198.20.0.0", None),
    ("198.51.100.1", None), ("203.0.113.1", None), ("223.255.255.255", None),
    ("224.0.0.0", "multicast_or_reserved"), ("240.0.0.1", "multicast_or_reserved"),
    ("255.255.255.255", "multicast_or_reserved"), ("8.8.8.8", None),
]


@pytest.mark.parametrize("ip, code", IPV4_RANGES)
def test_ipv4_ranges_on_both_sides(ip, code):
    assert verdict(PROD.check_ip, ip) == (code and (code, FORBIDDEN.format(ip)))
    # The same verdict reaches through the IPv4-mapped form, loopback included.
    mapped = "::ffff:" + ip
    assert verdict(TEST.check_ip, mapped) == (code and (code, FORBIDDEN.format(mapped)))


@pytest.mark.parametrize("ip, code", [
    ("127.0.0.1", None), ("127.255.255.255", None), ("::1", None), ("0:0:0:0:0:0:0:1", None),
    ("::ffff:127.0.0.1", "loopback"), ("::127.0.0.1", "loopback"), ("::ffff:10.1.2.3", "private"),
    ("10.0.0.1", "private"), ("0.0.0.0", "multicast_or_reserved"),
])
def test_test_loopback_preset(ip, code):
    assert reason(TEST.check_ip, ip) == code


IPV6_RULES = [
    ("::", "multicast_or_reserved"),
    ("::1", "loopback"),
    ("::2", "multicast_or_reserved"),  # IPv4-compatible 0.0.0.2
    ("::8.8.8.8", None),
    ("::ffff:8.8.8.8", None),
    ("::fffe:7f00:1", None),  # neither mapped nor compatible
    ("::1:ffff:7f00:1", None),
    ("feff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", None), ("ff00::", "multicast_or_reserved"),
    ("ff02::1", "multicast_or_reserved"),
    ("64:ff9a:ffff:ffff:ffff:ffff:ffff:ffff", None), ("64:ff9b::", "imds"), ("64:ff9b::1:2", "imds"),
    ("64:ff9b:ffff:ffff:ffff:ffff:ffff:ffff", "imds"), ("64:ff9c::", None),
    ("fbff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", None), ("fc00::", "private"),
    ("fdff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "private"), ("fe00::", None),
    ("fe7f:ffff:ffff:ffff:ffff:ffff:ffff:ffff", None), ("fe80::", "imds"),
    ("febf:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "imds"), ("fec0::", None),
    ("2001:db8::1", None), ("2606:4700::1111", None),
]


@pytest.mark.parametrize("ip, code", IPV6_RULES)
def test_ipv6_rules(ip, code):
    assert reason(PROD.check_ip, ip) == code


@pytest.mark.parametrize("ip", ["::ffff:0.0.0.0", "::ffff:0:0", "0:0:0:0:0:ffff:0000:0000"])
def test_mapped_unspecified_address_is_reserved(ip):
    # A dual-stack socket connects ::ffff:0.0.0.0 to this host, as it does
    # 0.0.0.0: an AAAA record holding it must not pass.
    for policy in (PROD, TEST):
        assert verdict(policy.check_ip, ip) == ("multicast_or_reserved", FORBIDDEN.format("::ffff:0.0.0.0"))


@pytest.mark.parametrize("ip, text", [
    ("0:0:0:0:0:0:0:1", "::1"),
    ("FE80:0:0:0:0:0:0:1", "fe80::1"),
    ("::ffff:7f00:1", "::ffff:127.0.0.1"),
    ("::2", "::2"),                       # not "::0.0.0.2"
    ("::10.0.0.1", "::a00:1"),            # IPv4-compatible: plain hex
    ("fc00:0:0:1:0:0:0:1", "fc00:0:0:1::1"),
    ("fc00:0:0:2:0:0:3:4", "fc00::2:0:0:3:4"),  # the first of two equal runs
    ("fd00:0:2:3:4:5:6:7", "fd00:0:2:3:4:5:6:7"),  # a single zero group stays
])
def test_messages_use_rfc5952_text(ip, text):
    assert verdict(PROD.check_ip, ip)[1] == FORBIDDEN.format(text)


@pytest.mark.parametrize("ip", ["01.2.3.4", "1.2.3.04", "[::1]", "fe80::1%eth0", "fe80::1%25eth0", "1.2.3.4 ",
                                " ::1", "", "127.1", "2130706433", "0x7f.0.0.1", "1.2.3.4.5", "256.0.0.1", "1::2::3",
                                "1:2:3:4:5:6:7:8:9", "::1.2.3", "::ffff:01.2.3.4", "\uff11.2.3.4", "1.2.3.4\x00"])
def test_check_ip_rejects_non_addresses_with_value_error(ip):
    for policy in (PROD, TEST):
        with pytest.raises(ValueError) as info:
            policy.check_ip(ip)
        assert not isinstance(info.value, zelq.SsrfRejected)
        assert str(info.value) == f"invalid IP address '{ip}': invalid IP address syntax"


# ---- check_redirect_authority ------------------------------------------------------

@pytest.mark.parametrize("src, dst, code", [
    ("https://a.example:443/x", "https://a.example/y?q#f", None),
    ("https://u:p@a.example/", "https://other@a.example/", None),
    ("https://A.Example/", "https://a.example/", None),
    ("https://[::1]/", "https://[0:0::1]:443/", None),
    ("http://a.example:80/", "http://a.example/", None),
    ("https://a.example/", "http://a.example/", "cross_authority"),
    ("https://a.example/", "https://a.example:8443/", "cross_authority"),
    ("https://a.example/", "https://b.example/", "cross_authority"),
    ("https://a.example/", "https://a.example./", "cross_authority"),
    ("ws://a.example/", "http://a.example/", "cross_authority"),
    ("ftp://a.example:21/", "ftp://a.example/", None),
    ("foo://a/x", "foo://a/y", None),
    ("foo://a/", "foo://a:1/", "cross_authority"),  # no default port: absent is not 1
    ("foo:x", "foo:y", None),                       # neither has a host
    ("foo:x", "foo://a/", "cross_authority"),
    ("file:///a", "file://localhost/b", None),
    ("https://", "https://a/", "invalid_url"),
    ("https://a/", "/next", "invalid_url"),
])
def test_redirect_authority(src, dst, code):
    assert reason(PROD.check_redirect_authority, src, dst) == code


def test_redirect_messages():
    assert verdict(PROD.check_redirect_authority, "https://a.example", "HTTP://a.example:80") == (
        "cross_authority", "SSRF policy: cross-authority redirect rejected: https://a.example/ \u2192 http://a.example/")
    assert verdict(PROD.check_redirect_authority, "https://a:x/", "https://a/") == (
        "invalid_url", "invalid origin URL: invalid port number")
    assert verdict(PROD.check_redirect_authority, "https://a/", "/next") == (
        "invalid_url", "invalid redirect URL: relative URL without a base")


def test_every_reason_code_is_reachable():
    seen = {
        reason(PROD.check_url, "http://a/"), reason(PROD.check_url, "https://1.1.1.1/"),
        reason(PROD.check_url, "https://"), reason(PROD.check_ip, "127.0.0.1"), reason(PROD.check_ip, "10.0.0.1"),
        reason(PROD.check_ip, "169.254.169.254"), reason(PROD.check_ip, "224.0.0.1"),
        reason(PROD.check_redirect_authority, "https://a/", "https://b/"),
    }
    assert seen == {"non_https", "ip_literal", "invalid_url", "loopback", "private", "imds",
                    "multicast_or_reserved", "cross_authority"}


# ---- hostile host names ---------------------------------------------------------

def ace(label):
    """The ASCII form of one international label (Python's own Punycode)."""
    return "xn--" + label.encode("punycode").decode("ascii")


def ascii_of(host):
    return ".".join(label if label.isascii() else ace(label) for label in host.split("."))


CJK = "".join(chr(0x4E00 + (i * 7919) % 20000) for i in range(3000))  # distinct letters, in no order


# No label length limit, either way: a long label has its ASCII form, which
# is then too long a host name; two equal ones are one host.
@pytest.mark.parametrize("host", [
    "\u00e4" * 1000, "\u00e4" * 1001, "\u00e4" * 100_000,
    "ab-" + CJK + "\u00e4" * 50,
    "\u00e4." + ace(CJK),
], ids=["1000", "1001", "100000", "distinct", "long-punycode"])
def test_long_labels_have_their_ascii_form(host):
    url = "https://" + host + "/"
    assert verdict(PROD.check_url, url) == ("invalid_url", "SSRF policy: invalid hostname length: " + ascii_of(host))
    assert verdict(PROD.check_redirect_authority, url, url + "x") is None
    other = "https://b" + host + "/"
    assert verdict(PROD.check_redirect_authority, url, other) == (
        "cross_authority", f"SSRF policy: cross-authority redirect rejected: https://{ascii_of(host)}/ \u2192 "
                           f"https://{ascii_of('b' + host)}/")


# Punycode deltas stop at 2**31 - 1, where ada-url's do, in the first round
# of encoding and in a later one.
@pytest.mark.parametrize("host", [
    "a" * 10660 + "\U0003134a", "a" * 10661 + "\U0003134a",
    "a" * 10665 + "\u00e9\U0003134a", "a" * 10670 + "\u00e9\U0003134a",
])
def test_punycode_deltas_have_31_bits(host):
    url = "https://" + host + "/"
    try:
        want = ("invalid_url", "SSRF policy: invalid hostname length: " + ada_url.URL(url).hostname)
    except ValueError:
        want = ("invalid_url", "invalid URL: invalid international domain name")
    assert verdict(PROD.check_url, url) == want


# Each shape once cost time in proportion to the square of its length.
@pytest.mark.parametrize("check, unit", [
    ("url", "\u00e4."),
    ("url", "."),
    ("url", "xn--4ca."),
    ("url", "\u0301\u0316"),  # combining marks whose classes alternate
    ("redirect", "\u00e4."),
])
def test_time_grows_linearly_with_host_length(check, unit):
    def cpu_time(size):
        host = "\u00e4." + unit * (size // len(unit.encode()))
        url = "https://" + host + "/"
        call = (lambda: PROD.check_url(url)) if check == "url" else (
            lambda: PROD.check_redirect_authority(url, url + "x"))
        start = time.process_time()
        try:
            call()
        except zelq.SsrfRejected:
            pass
        return time.process_time() - start

    small = large = float("inf")
    for _ in range(5):
        small = min(small, cpu_time(256 * 1024))
        large = min(large, cpu_time(512 * 1024))
    assert large / small < 3
