"""The SSRF policy on hostile host names: MB/s of check_url and
check_redirect_authority for the shapes that cost most, and how the time
grows when the host doubles (linear work gives about 2). Times are CPU
time, the best of five: the checks hold the interpreter lock throughout.

Prints figures; nothing is asserted. No peer is timed: ada-url refuses
international hosts over 16 KB.
"""
import time

import zelq

POLICY = zelq.ZelqSsrfPolicy.production()
SIZE = 1 << 20  # bytes of UTF-8 host per URL


def repeat(unit, size, head="", tail=""):
    body = unit * max(1, (size - len((head + tail).encode())) // len(unit.encode()))
    return head + body + tail


def distinct_letters(count):
    return "".join(chr(0x4E00 + (i * 7919) % 20000) for i in range(count))


def punycode_of(label):
    """The label's ASCII form, as the policy's length refusal shows it."""
    try:
        POLICY.check_url("https://" + label + "/")
    except zelq.SsrfRejected as e:
        return str(e).rpartition(": ")[2]
    raise AssertionError("a long label passed")


# name -> host of about `size` bytes
SHAPES = {
    "ASCII labels (no IDNA, for comparison)": lambda n: repeat("a.", n, tail="com"),
    "many non-ASCII labels": lambda n: repeat("\u00e4.", n),
    "many right-to-left labels": lambda n: repeat("\u05d0.", n),
    "many empty labels": lambda n: repeat(".", n, head="\u00e4"),
    "labels split by ideographic full stops": lambda n: repeat("\u00e4\u3002", n),
    "run that maps to nothing (soft hyphens)": lambda n: repeat("\u00ad", n, head="\u00e4", tail=".com"),
    "run that maps to nothing (variation selectors)": lambda n: repeat("\ufe0f", n, head="\u00e4"),
    "characters that map to long strings (U+FDFA)": lambda n: repeat("\ufdfa", n),
    "combining marks of alternating classes": lambda n: repeat("\u0301\u0316", n, head="a"),
    "many Punycode labels in an international name": lambda n: repeat("xn--4ca.", n, head="\u00e4."),
    "one label of one letter": lambda n: repeat("\u00e4", n),
    "one label of distinct letters": lambda n: distinct_letters(n // 3),
    "one long Punycode label": lambda n: "\u00e4." + punycode_of(distinct_letters(n // 4)),
    "percent-encoded non-ASCII labels": lambda n: repeat("%C3%A4.", n),
    "percent-encoded soft hyphens": lambda n: repeat("%C2%AD", n, head="%C3%A4"),
}


def best_time(fn, arg, runs=5):
    best = float("inf")
    for _ in range(runs):
        start = time.process_time()
        try:
            fn(arg)
        except zelq.SsrfRejected:
            pass
        best = min(best, time.process_time() - start)
    return best


def check_url(host):
    POLICY.check_url("https://" + host + "/")


def check_redirect(host):
    POLICY.check_redirect_authority("https://example.com/", "https://" + host + "/")


def main():
    print("x2 time = check_url's time on the host / its time on a host half as long")
    print(f"{'shape':48} {'check_url':>11} {'redirect':>11} {'x2 time':>8}")
    for name, make in SHAPES.items():
        host = make(SIZE)
        mb = len(host.encode()) / 1e6
        url_time = best_time(check_url, host)
        redirect_rate = mb / best_time(check_redirect, host)
        growth = url_time / best_time(check_url, make(SIZE // 2))
        print(f"{name:48} {mb / url_time:7.1f} MB/s {redirect_rate:7.1f} MB/s {growth:8.2f}")


if __name__ == "__main__":
    main()
