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
}

CHILD = r"""
import gc, sys, zelq
{shape}
text = body({size})
WRONG = "sha256:" + "0" * 64
HASH = {hash_expr}
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
except RuntimeError:
    pass
print(len(text.encode()), status("VmHWM:") - before)
"""


def measure(shape, size, method):
    hash_expr = "WRONG" if method == "canonicalize" else "zelq.ZelqCanonicalizer.content_hash(text)"
    code = CHILD.format(shape=SHAPES[shape], size=size, call=METHODS[method], hash_expr=hash_expr)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    n, extra = map(int, out.split())
    return n, extra


def main():
    sizes = [int(a) for a in sys.argv[1:]] or [1, 10, 100]
    print(f"{'shape':8} {'MB':>4} " + " ".join(f"{m:>28}" for m in METHODS))
    for shape in SHAPES:
        for mb in sizes:
            cells = []
            for method in METHODS:
                n, extra = measure(shape, mb << 20, method)
                cells.append(f"{extra / 2**20:9.1f} MB {extra / n:6.1f}x")
            print(f"{shape:8} {mb:>4} " + " ".join(f"{c:>28}" for c in cells), flush=True)


if __name__ == "__main__":
    main()
