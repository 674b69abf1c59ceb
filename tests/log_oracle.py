"""An RFC 6962 / RFC 9162 Merkle tree written from the recursive definitions
(MTH, PATH, SUBPROOF), independent of the module, and log-artefact builders
shared by the log tests."""
import hashlib


def sha(b):
    return hashlib.sha256(b).digest()


def wire(d):
    return "sha256:" + d.hex()


def leaf(data):
    return sha(b"\x00" + data)


def node(left, right):
    return sha(b"\x01" + left + right)


def _split(n):
    k = 1
    while k * 2 < n:
        k *= 2
    return k


def mth(d):
    if not d:
        return sha(b"")
    if len(d) == 1:
        return d[0]
    k = _split(len(d))
    return node(mth(d[:k]), mth(d[k:]))


def path(m, d):
    if len(d) <= 1:
        return []
    k = _split(len(d))
    if m < k:
        return path(m, d[:k]) + [mth(d[k:])]
    return path(m - k, d[k:]) + [mth(d[:k])]


def subproof(m, d, whole=True):
    n = len(d)
    if m == n:
        return [] if whole else [mth(d)]
    k = _split(n)
    if m <= k:
        return subproof(m, d[:k], whole) + [mth(d[k:])]
    return subproof(m - k, d[k:], False) + [mth(d[:k])]


def leaves(n):
    return [leaf(b"leaf %d" % i) for i in range(n)]
