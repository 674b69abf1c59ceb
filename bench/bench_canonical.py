"""Canonical JSON and content hash against rfc8785 and an orjson round trip.

Prints calls per second and ratios; nothing is asserted.
"""
import hashlib
import json
import random
import timeit

import orjson
import rfc8785

import zelq


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


def rate(fn, text):
    n, total = 0, 0.0
    while total < 0.5:
        total += timeit.timeit(lambda: fn(text), number=max(1, n or 1))
        n = max(1, n * 2 or 1)
    calls = 0
    elapsed = 0.0
    reps = 1
    while elapsed < 1.0:
        elapsed += timeit.timeit(lambda: fn(text), number=reps)
        calls += reps
        reps *= 2
    return calls / elapsed


def main():
    sizes = {"small": 300, "medium": 5_000, "large": 500_000}
    contenders = {
        "rfc8785": lambda t: rfc8785.dumps(json.loads(t)).decode(),
        "orjson sort": lambda t: orjson.dumps(orjson.loads(t), option=orjson.OPT_SORT_KEYS).decode(),
    }
    hashers = {
        "rfc8785": lambda t: "sha256:" + hashlib.sha256(rfc8785.dumps(json.loads(t))).hexdigest(),
        "orjson sort": lambda t: "sha256:" + hashlib.sha256(
            orjson.dumps(orjson.loads(t), option=orjson.OPT_SORT_KEYS)).hexdigest(),
    }
    print(f"{'operation':<14}{'size':<8}{'bytes':>8}{'zelq/s':>12}{'rfc8785/s':>12}{'orjson/s':>12}"
          f"{'x rfc8785':>11}{'x orjson':>10}")
    for op, ours, peers in (("canonicalize", zelq.ZelqCanonicalizer.canonicalize, contenders),
                            ("content_hash", zelq.ZelqCanonicalizer.content_hash, hashers)):
        for name, size in sizes.items():
            text = document(size)
            z = rate(ours, text)
            r = rate(peers["rfc8785"], text)
            o = rate(peers["orjson sort"], text)
            print(f"{op:<14}{name:<8}{len(text):>8}{z:>12.0f}{r:>12.0f}{o:>12.0f}{z / r:>11.1f}{z / o:>10.2f}")


if __name__ == "__main__":
    main()
