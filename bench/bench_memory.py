"""Peak memory of one call, in a fresh process, against the size of its input.

For each body shape and size, each method runs in its own interpreter: the
body text is built first, the kernel's peak-RSS mark is reset, the method
runs once, and the peak above the resident size before the call is the
call's extra memory. Printed as MB and as a ratio to the body's size.

    python bench/bench_memory.py [sizes in MB ...]   (default: 1 10 100)
"""
import json
import subprocess
import sys

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
    # The body as the public key of a DID document: kept whole as a value.
    "ZelqDidDocument.parse": "zelq.ZelqDidDocument.parse(DOC, DID)",
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
gc.collect()

def status(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) * 1024

with open("/proc/self/clear_refs", "w") as f:
    f.write("5")  # resets the peak-RSS mark to the current RSS
before = status("VmRSS:")
try:
    {call}
except (RuntimeError, ValueError):
    pass
print(len(text.encode()), status("VmHWM:") - before)
"""


def body_hash(shape, size):
    """The body's content hash, taken here so that no earlier call warms the child's heap."""
    import zelq
    scope = {}
    exec(SHAPES[shape], scope)
    return zelq.ZelqCanonicalizer.content_hash(scope["body"](size))


def measure(shape, size, method, hash_):
    code = CHILD.format(shape=SHAPES[shape], size=size, call=METHODS[method], hash=hash_,
                        wrap=method == "ZelqDidDocument.parse")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    n, extra = map(int, out.split())
    return n, extra


def main():
    sizes = [int(a) for a in sys.argv[1:]] or [1, 10, 100]
    print(f"{'shape':8} {'MB':>4} " + " ".join(f"{m:>28}" for m in METHODS))
    for shape in SHAPES:
        for mb in sizes:
            cells = []
            hash_ = body_hash(shape, mb << 20)
            for method in METHODS:
                n, extra = measure(shape, mb << 20, method, hash_)
                cells.append(f"{extra / 2**20:9.1f} MB {extra / n:6.1f}x")
            print(f"{shape:8} {mb:>4} " + " ".join(f"{c:>28}" for c in cells), flush=True)


if __name__ == "__main__":
    main()
