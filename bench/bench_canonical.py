"""Canonical JSON and content hash against rfc8785 and an orjson round trip.

Two document sets: number-heavy documents of nested objects, and
string-heavy, publish-body-like documents with non-ASCII text. Prints calls
per second, throughput and ratios (each peer's time over zelq's). Then the call on
the empty object, telemetry documents whose floats carry 15 to 17
significant digits, and arrays of floats of 17 digits in exponent form (large
and small exponents), each against orjson.dumps(orjson.loads(s),
option=OPT_SORT_KEYS). Nothing is asserted.
"""
import hashlib
import json
import random
import timeit

import orjson
import rfc8785

import zelq
from _common import RATIOS, usable_cores


def document(target_bytes, seed=7):
    rng = random.Random(seed)
    words = ["alpha", "beta", "gamma", "delta", "\u00e9t\u00e9", "zelq", "r\u00e9sum\u00e9", "\u6f22\u5b57"]

    def leaf():
        r = rng.random()
        if r < 0.3:
            return " ".join(rng.choice(words) for _ in range(rng.randint(1, 6)))
        if r < 0.5:
            return rng.randint(-10**12, 10**12)
        if r < 0.7:
            return rng.uniform(-1e6, 1e6)
        if r < 0.85:
            return rng.choice([True, False, None])
        return [rng.randint(0, 100) for _ in range(rng.randint(0, 5))]

    def obj(depth):
        return {f"{rng.choice(words)}_{i}": (obj(depth - 1) if depth and rng.random() < 0.2 else leaf())
                for i in range(rng.randint(3, 10))}

    doc = {"title": "bench", "items": []}
    while True:
        candidate = json.dumps(doc, ensure_ascii=False)
        if len(candidate) >= target_bytes * 0.9:
            return candidate
        item = obj(3) if target_bytes > 2000 else {f"k{len(doc['items'])}": leaf()}
        doc["items"].append(item)


def publish_body(target_bytes, seed=11):
    """A publish body whose content grows by sections of multilingual prose."""
    rng = random.Random(seed)
    words = ("donn\u00e9es mesure qualit\u00e9 r\u00e9seau \u00e9t\u00e9 capteur relev\u00e9 stra\u00dfe gr\u00f6\u00dfe "
             "\u03bc\u03ad\u03c4\u03c1\u03b7\u03c3\u03b7 \u03b4\u03b5\u03b4\u03bf\u03bc\u03ad\u03bd\u03b1 "
             "\u0434\u0430\u043d\u043d\u044b\u0435 \u0438\u0437\u043c\u0435\u0440\u0435\u043d\u0438\u0435 "
             "\u89b3\u6e2c \u30c7\u30fc\u30bf \u6c34\u8cea \u6e29\u5ea6 sensor reading river station "
             "upstream flow level daily report").split()

    def sentence(n):
        return " ".join(rng.choice(words) for _ in range(n)).capitalize() + "."

    def paragraph():
        return "\n".join(sentence(rng.randint(6, 14)) for _ in range(rng.randint(2, 5)))

    def digest():
        return "sha256:" + "".join(rng.choice("0123456789abcdef") for _ in range(64))

    body = {
        "zelq_version": "0.2",
        "type": "observation",
        "visibility": "public",
        "agent_id": "did:key:z6MkhaXgBZDvotDkL5257faiztiGiC2QtKLGpbnnEGta2doK",
        "metadata": {"title": sentence(8), "summary": paragraph(), "language": "fr",
                     "tags": [rng.choice(words) for _ in range(5)], "license": "CC-BY-4.0"},
        "content": {"sections": []},
        "data_ref": {"uri": "https://data.example.org/river/2026-12-07.csv", "content_hash": digest(),
                     "media_type": "text/csv", "size": 48213},
        "anchors": [{"scheme": "zelq-log", "content_hash": digest(), "uri": "https://log.example.org/e/1"}],
        "signature": {"algorithm": "ed25519", "key_id": "did:key:z6MkhaXgBZDvotDkL5257faiztiGiC2QtKLGpbnnEGta2doK#0",
                      "value": "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef0123456789+/") for _ in range(86))
                      + "=="},
    }
    sections = body["content"]["sections"]
    while True:
        text = json.dumps(body, ensure_ascii=False)
        if len(text.encode()) >= target_bytes * 0.95:
            return text
        sections.append({"heading": sentence(5), "text": paragraph(), "station": rng.choice(words)})


def telemetry(target_bytes, seed):
    """Samples as telemetry writes them: nested records with their keys in
    arrival order, floats as json.dumps writes them (15 to 17 significant
    digits, some with tiny or huge exponents), -0.0 and integers up to 2^53."""
    rng = random.Random(seed)

    def number():
        r = rng.random()
        if r < 0.62:
            return rng.uniform(-1e3, 1e3) * 10 ** rng.randint(-3, 3)
        if r < 0.67:
            return rng.random() * 10 ** rng.randint(-300, -7)
        if r < 0.70:
            return rng.random() * 10 ** rng.randint(21, 300)
        if r < 0.72:
            return -0.0
        return rng.randint(-(1 << 53), 1 << 53)

    def sample(i):
        return {"t": 1_700_000_000_000 + i * 250, "value": number(), "quality": number(),
                "sensor": {"temp_c": number(), "rh": number(), "pos": [number(), number(), number()]},
                "bias": number(), "id": rng.randint(0, 1 << 53), "err": number()}

    doc = {"station": f"mx-{seed}", "samples": []}
    while len(json.dumps(doc)) < target_bytes * 0.9:
        doc["samples"].append(sample(len(doc["samples"])))
    return json.dumps(doc)


def exponent_floats(count, exponents, seed):
    """A JSON array of `count` floats that take 17 significant digits and an
    exponent, as repr writes them: 10^e for e drawn from `exponents`."""
    rng = random.Random(seed)
    numbers = []
    while len(numbers) < count:
        text = repr(rng.uniform(1, 10) * 10.0 ** rng.choice(exponents))
        if "e" in text and len(text.split("e")[0].replace(".", "").lstrip("-")) == 17:
            numbers.append(text)
    return "[" + ",".join(numbers) + "]"


def seconds_per_document(stmt, texts, context, rounds=7):
    """Best of a few rounds over all `texts`, per document; `stmt` sees each as s."""
    env = dict(context, texts=texts, s=texts[0])
    loop = stmt if len(texts) == 1 else f"for s in texts: {stmt}"
    n = max(1, 400_000 // sum(len(t) + 50 for t in texts))
    return min(timeit.repeat(loop, globals=env, number=n, repeat=rounds)) / n / len(texts)


def against_orjson_round_trip():
    """canonicalize against orjson.dumps(orjson.loads(s), option=OPT_SORT_KEYS), no wrapper on either side."""
    context = {"canonicalize": zelq.ZelqCanonicalizer.canonicalize, "dumps": orjson.dumps, "loads": orjson.loads,
               "SORT": orjson.OPT_SORT_KEYS}
    ours, theirs = "canonicalize(s)", "dumps(loads(s), option=SORT)"
    z = seconds_per_document(ours, ["{}"], context)
    o = seconds_per_document(theirs, ["{}"], context)
    print(f"canonicalize('{{}}'): {z * 1e9:.0f} ns, the orjson round trip {o * 1e9:.0f} ns: {o / z:.2f}x")
    # Many small documents (one sample each, so one draw would decide the
    # mix), fewer medium ones, one large one.
    for name, size, count in (("300 B", 300, 32), ("6 KB", 6_000, 4), ("600 KB", 600_000, 1)):
        texts = [telemetry(size, seed) for seed in range(count)]
        assert all(zelq.ZelqCanonicalizer.canonicalize(t) == rfc8785.dumps(json.loads(t)).decode() for t in texts)
        z = seconds_per_document(ours, texts, context)
        o = seconds_per_document(theirs, texts, context)
        print(f"telemetry {name:>6} ({count} x {sum(map(len, texts)) // count} B): {z * 1e6:9.2f} us, the orjson"
              f" round trip {o * 1e6:9.2f} us: {o / z:.2f}x")
    for name, exponents in (("large", range(21, 300)), ("small", range(-300, -6))):
        text = exponent_floats(2_000, exponents, seed=3)
        assert zelq.ZelqCanonicalizer.canonicalize(text) == rfc8785.dumps(json.loads(text)).decode()
        z = seconds_per_document(ours, [text], context)
        o = seconds_per_document(theirs, [text], context)
        print(f"17-digit exponent form, {name:>5} (2000 in {len(text)} B): {z * 1e6:9.2f} us, the orjson"
              f" round trip {o * 1e6:9.2f} us: {o / z:.2f}x")


def rate(fn, text, seconds=1.0):
    n, total = 0, 0.0
    while total < 0.3:
        total += timeit.timeit(lambda: fn(text), number=max(1, n or 1))
        n = max(1, n * 2 or 1)
    calls = 0
    elapsed = 0.0
    reps = 1
    while elapsed < seconds:
        elapsed += timeit.timeit(lambda: fn(text), number=reps)
        calls += reps
        reps *= 2
    return calls / elapsed


def best_rate(fn, text, rounds=3):
    return max(rate(fn, text, 0.4) for _ in range(rounds))


def sha256_throughput(data, seconds=1.0):
    return rate(lambda b: hashlib.sha256(b).digest(), data, seconds) * len(data)


def main():
    sets = [("numbers", name, document(size)) for name, size in
            (("small", 300), ("medium", 5_000), ("large", 500_000))]
    sets += [("strings", name, publish_body(size)) for name, size in
             (("1 KB", 1_000), ("25 KB", 25_000), ("1 MB", 1_000_000))]
    contenders = {
        "rfc8785": lambda t: rfc8785.dumps(json.loads(t)).decode(),
        "orjson sort": lambda t: orjson.dumps(orjson.loads(t), option=orjson.OPT_SORT_KEYS).decode(),
    }
    hashers = {
        "rfc8785": lambda t: "sha256:" + hashlib.sha256(rfc8785.dumps(json.loads(t))).hexdigest(),
        "orjson sort": lambda t: "sha256:" + hashlib.sha256(
            orjson.dumps(orjson.loads(t), option=orjson.OPT_SORT_KEYS)).hexdigest(),
    }
    print(f"cores: {usable_cores()}")
    print(RATIOS)
    print(f"{'operation':<14}{'set':<9}{'size':<8}{'bytes':>9}{'zelq/s':>11}{'rfc8785/s':>11}{'orjson/s':>10}"
          f"{'zelq MB/s':>11}{'x rfc8785':>11}{'x orjson':>10}")
    rates = {}
    for op, ours, peers in (("canonicalize", zelq.ZelqCanonicalizer.canonicalize, contenders),
                            ("content_hash", zelq.ZelqCanonicalizer.content_hash, hashers)):
        for kind, name, text in sets:
            size = len(text.encode())
            z = best_rate(ours, text)
            r = rate(peers["rfc8785"], text, 0.5)
            o = best_rate(peers["orjson sort"], text)
            rates[op, name] = (z, o, size)
            print(f"{op:<14}{kind:<9}{name:<8}{size:>9}{z:>11.0f}{r:>11.0f}{o:>10.0f}"
                  f"{z * size / 1e6:>11.0f}{z / r:>11.1f}{z / o:>10.2f}")

    for op in ("canonicalize", "content_hash"):
        z, o, _ = rates[op, "small"]
        print(f"{op} per call on the small document: {1e9 / z:.0f} ns against the orjson round trip's"
              f" {1e9 / o:.0f} ns: {z / o:.2f}x")
    canonical = zelq.ZelqCanonicalizer.canonicalize(sets[-1][2]).encode()
    sha = sha256_throughput(canonical)
    for op in ("canonicalize", "content_hash"):
        z, _, size = rates[op, "1 MB"]
        print(f"{op} on the 1 MB string set: {z * size / 1e6:.0f} MB/s = {z * size / sha:.2f}"
              f" x SHA-256 over the same bytes ({sha / 1e6:.0f} MB/s)")
    against_orjson_round_trip()


if __name__ == "__main__":
    main()
