"""Peak memory of one call, in a fresh process, against the size of its input.

For each body shape and size, each method runs in its own interpreter: the
body text is built first, the kernel's peak-RSS mark is reset, the method
runs once, and the peak above the resident size before the call is the
call's extra memory. Printed as MB and as a ratio to the body's size.

A second table does the same for publish records of a plausible shape (a
body with many data references, and the refusals of oversized free-form
objects): the signed input is made here, written to a file, and read by the
child before the mark is reset. Each row checks that the call ended as
expected, so that a shape that stops early cannot pass for a cheap one.

    python bench/bench_memory.py [sizes in MB ...]   (default: 1 10 50)
"""
import base64
import io
import json
import os
import subprocess
import sys
import tempfile

SHAPES = {
    # Small objects with an empty array: many values per input byte.
    "objects": 'def body(n):\n    unit = \'{"b":1,"a":[]},\'\n    k = n // len(unit)\n'
               '    return \'{"x":[\' + unit * (k - 1) + unit[:-1] + "]}"\n',
    # Arrays nested 120 deep: many containers per input byte.
    "nested": 'def body(n):\n    unit = "[" * 120 + "]" * 120 + ","\n    k = n // len(unit)\n'
              '    return \'{"a":[\' + unit * (k - 1) + unit[:-1] + "]}"\n',
}

METHODS = {
    "canonicalize": "zelq.ZelqCanonicalizer.canonicalize(text)",
    "canonical_preimage": "zelq.ZelqVerifier.canonical_preimage(text)",
    "verify_content_hash": "zelq.ZelqVerifier.verify_content_hash(text, HASH)",
    "explain_hash_mismatch": "zelq.ZelqVerifier.explain_hash_mismatch(text, WRONG)",
    # The body as the public key of a DID document: read for its form, only the
    # key members kept.
    "ZelqDidDocument.parse": "zelq.ZelqDidDocument.parse(DOC, DID)",
    # The same key in a method embedded in assertionMethod.
    "DidDocument.parse, embedded": "zelq.ZelqDidDocument.parse(EMBEDDED, DID)",
}

CHILD = r"""
import gc, sys, zelq
{shape}
text = body({size})
WRONG = "sha256:" + "0" * 64
HASH = "{hash}"
DID = "did:web:example.com"
DOC = ('{{"id":"' + DID + '","verificationMethod":[{{"id":"' + DID + '#k","type":"JsonWebKey2020",'
       '"controller":"' + DID + '","publicKeyJwk":' + text + '}}],"assertionMethod":[]}}') if {wrap} else ""
EMBEDDED = ('{{"id":"' + DID + '","assertionMethod":[{{"id":"' + DID + '#k","type":"JsonWebKey2020",'
            '"controller":"' + DID + '","publicKeyJwk":' + text + '}}]}}') if {wrap} else ""
{mark}
try:
    {call}
except (RuntimeError, ValueError):
    pass
print(len(text.encode()), status("VmHWM:") - before)
"""

# The child's last step before the call: the peak-RSS mark reset to the
# resident size, which is kept as `before`.
MARK = r"""
gc.collect()

def status(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) * 1024

with open("/proc/self/clear_refs", "w") as f:
    f.write("5")  # resets the peak-RSS mark to the current RSS
before = status("VmRSS:")
"""


def body_hash(shape, size):
    """The body's content hash, taken here so that no earlier call warms the child's heap."""
    import zelq
    scope = {}
    exec(SHAPES[shape], scope)
    return zelq.ZelqCanonicalizer.content_hash(scope["body"](size))


def measure(shape, size, method, hash_):
    code = CHILD.format(shape=SHAPES[shape], size=size, call=METHODS[method], hash=hash_,
                        wrap="DidDocument.parse" in method, mark=MARK)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    n, extra = map(int, out.split())
    return n, extra


# ---- publish records ------------------------------------------------------

SEED = bytes(range(32))
CTX = "zelq://registry.example/6f1c2a4e-5b7d-4c3e-9a1f-2b3c4d5e6f70"
FP = "sha256:" + "ab" * 32


# Inputs are written as text, piece by piece: a list of dicts of the same
# size would take the parent several times the memory of the child it
# measures.

def data_refs(n):
    """The text of an array of about n bytes of data references, each of about 130 bytes."""
    out, i = io.StringIO(), 0
    out.write("[")
    while out.tell() < n:
        if i:
            out.write(",")
        out.write(f'{{"type":"raw_data","size_bytes":{1000 + i},"location":"https://data.example/sets/{i:07}.csv",'
                  f'"content_hash":"sha256:{i:064x}"}}')
        i += 1
    out.write("]")
    return out.getvalue()


def wide(n, head=""):
    """The text of an object of about n bytes, one small member per 12 bytes, after `head`."""
    out = io.StringIO()
    out.write("{" + head)
    for i in range(n // 12):
        out.write(f'{"," if i or head else ""}"k{i:06}":{i % 10}')
    out.write("}")
    return out.getvalue()


def signed_body(**members):
    """A did:key body, hashed and signed as a producer does; `members` are
    given as JSON text and override the defaults."""
    from cryptography.hazmat.primitives.asymmetric import ed25519
    import zelq
    p = zelq.ZelqProducer.from_seed_did_key(SEED)
    body = {"version": "1", "supersedes": "null", "agent_id": compact(p.agent_did), "contributors": "[]",
            "title": '"bulk"', "type": '"data_snapshot"', "data_refs": "[]", "derived_from": "[]",
            "visibility": '"public"', "zelq_version": '"0.4.0"'}
    body.update(members)
    text = "{" + ",".join(f'"{k}":{v}' for k, v in body.items()) + "}"
    content_hash = zelq.ZelqCanonicalizer.content_hash(text)
    sig = ed25519.Ed25519PrivateKey.from_private_bytes(SEED).sign(content_hash.encode())
    signature = {"algorithm": "ed25519", "key_id": p.key_id, "value": base64.b64encode(sig).decode()}
    registry = {"content_hash": content_hash, "signature": signature, "ctx_id": CTX,
                "lineage_id": "lin:sha256:" + "cd" * 32, "origin_registry": "registry.example",
                "created_at": "2030-01-01T00:00:00.000Z"}
    return text[:-1] + "," + compact(registry)[1:]


def compact(v):
    return json.dumps(v, separators=(",", ":"))


def revocation(n):
    head = f'"revoked_key_fingerprint":"{FP}","compromised_since":"2030-01-01T00:00:00.000Z"'
    return signed_body(type='"key-revocation"', metadata=wide(n, head))


# name: (the input text for a size, the call, how it must end)
RECORDS = {
    "verify_body_offline, data_refs": (lambda n: signed_body(data_refs=data_refs(n)),
                                       "zelq.ZelqVerifier.verify_body_offline(text)", "True"),
    "verify_publish_request_offline, data_refs": (
        lambda n: signed_body(data_refs=data_refs(n)).split(',"ctx_id"')[0] + "}",
        "zelq.ZelqVerifier.verify_publish_request_offline(text)", "True"),
    "ZelqProducer.build_publish_request, data_refs": (
        data_refs, "ED.build_publish_request('t', 'data_snapshot', data_refs=text)", "str"),
    "ZelqP256Producer.build_publish_request, data_refs": (
        data_refs, "P256.build_publish_request('t', 'data_snapshot', data_refs=text)", "str"),
    "ZelqProducer.build_supersede_request, data_refs": (
        lambda n: signed_body(data_refs=data_refs(n)), "ED.build_supersede_request(text)", "str"),
    "verify_body_offline, extensions > 64 KB": (
        lambda n: signed_body(archive=data_refs(n)), "zelq.ZelqVerifier.verify_body_offline(text)",
        "schema violation: extensions JCS-canonical size"),
    "verify_body_offline, metadata > 100 members": (
        lambda n: signed_body(metadata=wide(n)), "zelq.ZelqVerifier.verify_body_offline(text)",
        "schema violation: metadata has"),
    # The request check applies no field rules, so the wide metadata verifies.
    "verify_publish_request_offline, wide metadata": (
        lambda n: signed_body(metadata=wide(n)).split(',"ctx_id"')[0] + "}",
        "zelq.ZelqVerifier.verify_publish_request_offline(text)", "True"),
    "build_publish_request, metadata > 100 members": (
        wide, "ED.build_publish_request('t', 'data_snapshot', metadata=text)", "schema violation: metadata has"),
    "parse_key_revocation, wide metadata": (revocation, "zelq.ZelqVerifier.parse_key_revocation(text)", "str"),
}

RECORD_CHILD = r"""
import gc, sys, zelq
with open({path!r}, encoding="utf-8") as f:
    text = f.read()
ED = zelq.ZelqProducer.from_seed_did_key(bytes([1]) * 32)
P256 = zelq.ZelqP256Producer.from_seed_did_key(bytes([1]) * 32)
{mark}
try:
    out = {call}
    outcome = "True" if out is True else type(out).__name__
except (RuntimeError, ValueError) as e:
    outcome = str(e)
peak = status("VmHWM:") - before
print(len(text.encode()), peak)
print(outcome[:200])
"""


def measure_record(name, size):
    make, call, expected = RECORDS[name]
    text = make(size)
    with tempfile.NamedTemporaryFile("w", suffix=".json", encoding="utf-8", delete=False) as f:
        f.write(text)
    del text
    try:
        code = RECORD_CHILD.format(path=f.name, call=call, mark=MARK)
        out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    finally:
        os.unlink(f.name)
    first, outcome = out.split("\n", 1)
    if not outcome.startswith(expected):
        raise SystemExit(f"{name} at {size >> 20} MB ended with {outcome.strip()!r}, not {expected!r}")
    n, extra = map(int, first.split())
    return n, extra


def records_table(sizes):
    print()
    print(f"{'publish records: peak / input':52} " + " ".join(f"{str(mb) + ' MB':>20}" for mb in sizes))
    for name in RECORDS:
        cells = []
        for mb in sizes:
            n, extra = measure_record(name, mb << 20)
            cells.append(f"{extra / 2**20:7.1f} MB {extra / n:6.1f}x")
        print(f"{name:52} " + " ".join(f"{c:>20}" for c in cells), flush=True)


def main():
    sizes = [int(a) for a in sys.argv[1:]] or [1, 10, 50]
    print("extra memory of one call: MB, and x = that / the input's size")
    print(f"{'shape':8} {'MB':>4} " + " ".join(f"{m:>28}" for m in METHODS))
    for shape in SHAPES:
        for mb in sizes:
            cells = []
            hash_ = body_hash(shape, mb << 20)
            for method in METHODS:
                n, extra = measure(shape, mb << 20, method, hash_)
                cells.append(f"{extra / 2**20:9.1f} MB {extra / n:6.1f}x")
            print(f"{shape:8} {mb:>4} " + " ".join(f"{c:>28}" for c in cells), flush=True)
    records_table(sizes)


if __name__ == "__main__":
    main()
