"""Allocation failure inside a method: the panic exception, which no
`except Exception` swallows, and the interpreter goes on."""
import os
import subprocess
import sys

import pytest

SCRIPT = r"""
import json, resource, zelq
body = json.dumps({"x": [{"b": 1, "a": []}] * 1000000})
with open("/proc/self/statm") as f:
    in_use = int(f.read().split()[0]) * resource.getpagesize()
limit = in_use + (4 << 20)
hard = resource.getrlimit(resource.RLIMIT_AS)[1]
resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
try:
    zelq.ZelqVerifier.canonical_preimage(body)
    print("no failure")
except Exception as e:
    print("caught as Exception:", type(e).__name__)
except BaseException as e:
    print(type(e).__module__ + "." + type(e).__name__, str(e))
resource.setrlimit(resource.RLIMIT_AS, (hard, hard))
print(zelq.ZelqCanonicalizer.canonicalize('{"b":1,"a":2}'))
"""


@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="an address-space limit cannot hold under AddressSanitizer's shadow memory")
def test_out_of_memory_raises_the_panic_exception_and_the_interpreter_goes_on():
    run = subprocess.run([sys.executable, "-c", SCRIPT], capture_output=True, text=True, timeout=120,
                         env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    assert run.returncode == 0, run.stderr
    assert run.stdout.splitlines() == ["zelq.PanicException std::bad_alloc", '{"a":2,"b":1}']
