"""The cost of one call through the binding, on calls that do almost nothing.

Times a trivial method, canonicalize('{}') and a build_publish_request with
every keyword argument, in nanoseconds per call (best of several timeit
rounds), with the ratio of an orjson round trip that sorts keys to
canonicalize('{}'). Nothing is asserted.
"""
import json
import timeit

import orjson

import zelq


def ns_per_call(call, number=200_000, rounds=7):
    return min(timeit.repeat(call, number=number, repeat=rounds)) / number * 1e9


def main():
    p = zelq.ZelqProducer.from_seed_did_key(bytes(range(32)))
    publish_kwargs = dict(
        visibility="restricted", description="d", summary="s", tags=["t"], domain="x", metadata="{}",
        derived_from=[], audience=["did:web:r.example"], schema_uri="https://s.example", contributors=[],
        data_refs="[]", anchors=json.dumps([{"scheme": "org.example", "content_hash": "sha256:" + "0" * 64}]),
        expires_at="2030-01-01T00:00:00Z", data_period='{"start":"2026-01-01T00:00:00Z","end":"2026-01-02T00:00:00Z"}',
        zelq_version="0.4.0", omit_zelq_version=False)
    strip = zelq.ZelqDid.strip_fragment
    canon = zelq.ZelqCanonicalizer.canonicalize
    rows = [
        ("ZelqDid.strip_fragment('did:web:a.example#k')", lambda: strip("did:web:a.example#k"), 200_000),
        ("ZelqCanonicalizer.canonicalize('{}')", lambda: canon("{}"), 200_000),
        ("orjson.dumps(orjson.loads('{}'), OPT_SORT_KEYS)",
         lambda: orjson.dumps(orjson.loads("{}"), option=orjson.OPT_SORT_KEYS), 200_000),
        ("canonicalize(json_str='{}')", lambda: canon(json_str="{}"), 200_000),
        ("build_publish_request, 19 arguments", lambda: p.build_publish_request("T", "alert", **publish_kwargs),
         2_000),
    ]
    results = {}
    for label, call, number in rows:
        results[label] = ns_per_call(call, number)
        print(f"{label:<52}{results[label]:>10.0f} ns/call")
    ratio = results[rows[2][0]] / results[rows[1][0]]
    print(f"the orjson round trip's time / canonicalize('{{}}')'s: {ratio:.2f}x (above 1 means zelq is faster)")


if __name__ == "__main__":
    main()
