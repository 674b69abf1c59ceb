"""Merkle work of the transparency log: zelq against the same computation
in pure Python with hashlib, and against the floor, the time of the SHA-256
compressions the computation needs (measured here on a long input).

- root_hash over 2^16 leaf hashes (JSON text in, wire-form root out);
- verify_log_inclusion and verify_log_consistency on a 2^20-leaf tree.

Prints times and ratios; nothing is asserted.
"""
import hashlib
import json
import re
import sys
import timeit
from datetime import datetime
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
from log_oracle import LOG_ID, RegistryKey, checkpoint, node, sha, wire  # noqa: E402

from _common import RATIOS  # noqa: E402

import zelq  # noqa: E402

HASH = re.compile(r"sha256:[0-9a-f]{64}\Z")


def best(fn, seconds=0.5, rounds=5):
    """Seconds per call, the best of a few rounds."""
    n, elapsed = 1, 0.0
    while elapsed < 0.05:
        n *= 2
        elapsed = timeit.timeit(fn, number=n)
    reps = max(1, int(n * seconds / elapsed / rounds))
    return min(timeit.repeat(fn, number=reps, repeat=rounds)) / reps


def compression_seconds():
    """One SHA-256 compression (64-byte block), from a 64 MiB input."""
    data = bytes(64 << 20)
    return best(lambda: hashlib.sha256(data).digest(), seconds=1.0) / (len(data) // 64)


# ---- pure Python ---------------------------------------------------------------------
def decode(text):
    if not HASH.match(text):
        raise ValueError(text)
    return bytes.fromhex(text[7:])


def py_mth(d, lo, hi):
    n = hi - lo
    if n == 0:
        return sha(b"")
    if n == 1:
        return d[lo]
    k = 1 << ((n - 1).bit_length() - 1)
    return node(py_mth(d, lo, lo + k), py_mth(d, lo + k, hi))


def _py_root(text):
    d = [decode(x) for x in json.loads(text)]
    return wire(py_mth(d, 0, len(d)))


def py_fold(index, size, leaf, path, root):
    fn, sn, r = index, size - 1, leaf
    for p in path:
        if sn == 0:
            return False
        if fn & 1 or fn == sn:
            r = node(p, r)
            while not fn & 1 and fn:
                fn >>= 1
                sn >>= 1
        else:
            r = node(r, p)
        fn >>= 1
        sn >>= 1
    return sn == 0 and r == root


def py_consistency(m, n, path, first, second):
    if m == n:
        return not path and first == second
    if m == 0 or m > n or not path:
        return False
    if m & (m - 1) == 0:
        path = [first] + path
    fn, sn = m - 1, n - 1
    while fn & 1:
        fn >>= 1
        sn >>= 1
    fr = sr = path[0]
    for c in path[1:]:
        if sn == 0:
            return False
        if fn & 1 or fn == sn:
            fr, sr = node(c, fr), node(c, sr)
            while not fn & 1 and fn:
                fn >>= 1
                sn >>= 1
        else:
            sr = node(sr, c)
        fn >>= 1
        sn >>= 1
    return fr == first and sr == second and sn == 0


CP_KEYS = ["checkpoint_version", "log_id", "tree_size", "root_hash", "timestamp", "signature"]
LEAF_KEYS = ["leaf_version", "ctx_id", "lineage_id", "origin_registry", "created_at", "content_hash",
             "key_fingerprint", "receipt_hash"]


def py_checkpoint(cp):
    """The checkpoint form checks that the proof methods run on the embedded checkpoint."""
    assert isinstance(cp, dict) and sorted(cp) == sorted(CP_KEYS) and cp["checkpoint_version"] == "zelq-log/1"
    did, _, inst = cp["log_id"].partition("/log/")
    assert did.startswith("did:web:") and re.fullmatch(r"[a-z0-9-]{1,32}", inst)
    decode(cp["root_hash"])
    ts = cp["timestamp"]
    assert len(ts) == 24 and ts[10] == "T" and ts[19] == "." and ts[23] == "Z"
    datetime.fromisoformat(ts[:23] + "+00:00")
    assert cp["signature"]["key_id"].startswith(did + "#")
    return cp


def py_leaf(leaf):
    assert isinstance(leaf, dict) and sorted(leaf) == sorted(LEAF_KEYS) and leaf["leaf_version"] == "zelq-log-leaf/1"
    assert all(isinstance(leaf[k], str) for k in LEAF_KEYS)
    datetime.fromisoformat(leaf["created_at"][:23] + "+00:00")
    return leaf


def py_inclusion(proof_text, cp_text, leaf_text):
    proof, cp, leaf = json.loads(proof_text), json.loads(cp_text), json.loads(leaf_text)
    proof.setdefault("log_checkpoint", cp)
    assert proof["log_checkpoint"] == cp
    py_checkpoint(cp)
    py_leaf(leaf)
    canonical = json.dumps(leaf, sort_keys=True, separators=(",", ":"), ensure_ascii=False).encode()
    digest = sha(b"\x00" + canonical)
    assert proof["tree_size"] == cp["tree_size"] and proof["log_id"] == cp["log_id"]
    assert proof["leaf_index"] < proof["tree_size"]
    path = [decode(x) for x in proof["inclusion_path"]]
    assert py_fold(proof["leaf_index"], proof["tree_size"], digest, path, decode(cp["root_hash"]))
    return json.dumps({"valid": True, "leaf_hash": wire(digest)}, separators=(",", ":"))


def py_consistency_check(proof_text, cp_text, first_root):
    proof, cp = json.loads(proof_text), json.loads(cp_text)
    proof.setdefault("log_checkpoint", cp)
    assert proof["log_checkpoint"] == cp
    py_checkpoint(cp)
    assert proof["log_id"] == cp["log_id"] and proof["second_tree_size"] == cp["tree_size"]
    path = [decode(x) for x in proof["consistency_path"]]
    assert py_consistency(proof["first_tree_size"], proof["second_tree_size"], path, decode(first_root),
                          decode(cp["root_hash"]))
    return '{"valid":true}'


# ---- a 2^20-leaf tree, kept as its levels -------------------------------------------------
def levels_of(leaves):
    levels = [leaves]
    while len(levels[-1]) > 1:
        lv = levels[-1]
        levels.append([node(lv[i], lv[i + 1]) if i + 1 < len(lv) else lv[i] for i in range(0, len(lv), 2)])
    return levels


def subtree(levels, lo, hi):
    """MTH of leaves[lo:hi] for a complete, aligned subtree."""
    n = hi - lo
    return levels[n.bit_length() - 1][lo // n]


def mth_range(levels, lo, hi):
    n = hi - lo
    if n & (n - 1) == 0 and lo % n == 0:
        return subtree(levels, lo, hi)
    k = 1 << ((n - 1).bit_length() - 1)
    return node(mth_range(levels, lo, lo + k), mth_range(levels, lo + k, hi))


def audit_path(levels, m, lo, hi):
    if hi - lo <= 1:
        return []
    k = 1 << ((hi - lo - 1).bit_length() - 1)
    if m < lo + k:
        return audit_path(levels, m, lo, lo + k) + [mth_range(levels, lo + k, hi)]
    return audit_path(levels, m, lo + k, hi) + [mth_range(levels, lo, lo + k)]


def consistency_path(levels, m, lo, hi, whole=True):
    if m == hi - lo:
        return [] if whole else [mth_range(levels, lo, hi)]
    k = 1 << ((hi - lo - 1).bit_length() - 1)
    if m <= k:
        return consistency_path(levels, m, lo, lo + k, whole) + [mth_range(levels, lo + k, hi)]
    return consistency_path(levels, m - k, lo + k, hi, False) + [mth_range(levels, lo, lo + k)]


def main():
    c = compression_seconds()
    print(f"SHA-256 compression on this machine: {c * 1e9:.1f} ns")
    rows = []

    leaves16 = [wire(sha(b"leaf %d" % i)) for i in range(1 << 16)]
    text16 = json.dumps(leaves16)
    assert zelq.ZelqMerkle.root_hash(text16) == _py_root(text16)
    rows.append(("root_hash, 2^16 leaves", best(lambda: zelq.ZelqMerkle.root_hash(text16)),
                 best(lambda: _py_root(text16), rounds=3), ((1 << 16) - 1) * 2 * c))

    n = 1 << 20
    leaf_obj = {"leaf_version": "zelq-log-leaf/1", "ctx_id": "zelq://registry.example/0", "lineage_id": "lin:x",
                "origin_registry": "registry.example", "created_at": "2025-06-01T11:59:00.123Z",
                "content_hash": wire(sha(b"c")), "key_fingerprint": wire(sha(b"k")), "receipt_hash": wire(sha(b"r"))}
    leaf_text = json.dumps(leaf_obj)
    index = 654321
    digests = [sha(b"leaf %d" % i) for i in range(n)]
    digests[index] = bytes.fromhex(zelq.ZelqMerkle.leaf_hash(leaf_text)[7:])
    levels = levels_of(digests)
    root = levels[-1][0]
    key = RegistryKey()
    cp_text = json.dumps(checkpoint(key, tree_size=n, root=wire(root)))
    path = audit_path(levels, index, 0, n)
    proof = json.dumps({"log_id": LOG_ID, "leaf_index": index, "tree_size": n,
                        "inclusion_path": [wire(x) for x in path]})
    assert json.loads(zelq.ZelqVerifier.verify_log_inclusion(proof, cp_text, leaf_text))["valid"]
    assert py_inclusion(proof, cp_text, leaf_text)
    rows.append((f"verify_log_inclusion, 2^20 ({len(path)} hashes)",
                 best(lambda: zelq.ZelqVerifier.verify_log_inclusion(proof, cp_text, leaf_text)),
                 best(lambda: py_inclusion(proof, cp_text, leaf_text)), (len(path) * 2 + 2) * c))

    m = 333333
    cpath = consistency_path(levels, m, 0, n)
    first = wire(mth_range(levels, 0, m))
    cproof = json.dumps({"log_id": LOG_ID, "first_tree_size": m, "second_tree_size": n,
                         "consistency_path": [wire(x) for x in cpath]})
    assert zelq.ZelqVerifier.verify_log_consistency(cproof, cp_text, first) == '{"valid":true}'
    assert py_consistency_check(cproof, cp_text, first)
    rows.append((f"verify_log_consistency, 2^20 ({len(cpath)} hashes)",
                 best(lambda: zelq.ZelqVerifier.verify_log_consistency(cproof, cp_text, first)),
                 best(lambda: py_consistency_check(cproof, cp_text, first)), len(cpath) * 2 * 2 * c))

    print(RATIOS)
    print(f"{'computation':<44} {'zelq':>10} {'Python':>10} {'floor':>10} {'vs Python':>10} {'vs floor':>9}")
    for name, ours, py, floor in rows:
        print(f"{name:<44} {ours * 1e6:>8.1f}us {py * 1e6:>8.1f}us {floor * 1e6:>8.1f}us "
              f"{py / ours:>9.1f}x {floor / ours:>8.2f}x")


if __name__ == "__main__":
    main()
