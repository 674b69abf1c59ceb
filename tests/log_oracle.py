"""An RFC 6962 / RFC 9162 Merkle tree written from the recursive definitions
(MTH, PATH, SUBPROOF), independent of the module, and log-artefact builders
shared by the log tests."""
import base64
import hashlib
import json

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature

from artefacts import canonical_json


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


# ---- signed checkpoints -------------------------------------------------------------
REGISTRY = "did:web:registry.example"
LOG_ID = REGISTRY + "/log/main"
KEY_ID = REGISTRY + "#log-key-1"
NOW = "2025-06-01T12:00:00.000Z"


def b64(data):
    return base64.b64encode(data).decode()


def b64url(data):
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def signing_digest(obj):
    """The text a registry signs: SHA-256 over the canonical JSON of the
    object without its signature."""
    body = {k: v for k, v in obj.items() if k != "signature"}
    return "sha256:" + hashlib.sha256(canonical_json(body)).hexdigest()


class RegistryKey:
    """A registry signing key and the DID document that publishes it."""

    def __init__(self, alg="ed25519", seed=b"\x11" * 32):
        self.alg = alg
        if alg == "ed25519":
            self.key = ed25519.Ed25519PrivateKey.from_private_bytes(seed)
            raw = self.key.public_key().public_bytes_raw()
            jwk = {"kty": "OKP", "crv": "Ed25519", "x": b64url(raw)}
        else:
            self.key = ec.derive_private_key(int.from_bytes(seed, "big"), ec.SECP256R1())
            nums = self.key.public_key().public_numbers()
            jwk = {"kty": "EC", "crv": "P-256", "x": b64url(nums.x.to_bytes(32, "big")),
                   "y": b64url(nums.y.to_bytes(32, "big"))}
        self.jwk = jwk

    def sign(self, text):
        if self.alg == "ed25519":
            return b64(self.key.sign(text.encode()))
        r, s = decode_dss_signature(self.key.sign(text.encode(), ec.ECDSA(hashes.SHA256())))
        return b64(r.to_bytes(32, "big") + s.to_bytes(32, "big"))

    def did_doc(self, key_id=KEY_ID, asserted=True, did=REGISTRY):
        vm = {"id": key_id, "type": "JsonWebKey2020", "controller": did, "publicKeyJwk": self.jwk}
        return json.dumps({"id": did, "verificationMethod": [vm], "assertionMethod": [key_id] if asserted else []})


def checkpoint(key, tree_size=7, root=None, timestamp=NOW, log_id=LOG_ID, key_id=KEY_ID, alg=None, **extra):
    cp = {"checkpoint_version": "zelq-log/1", "log_id": log_id, "tree_size": tree_size,
          "root_hash": root or wire(sha(b"root")), "timestamp": timestamp, **extra}
    cp["signature"] = {"algorithm": alg or key.alg, "key_id": key_id, "value": key.sign(signing_digest(cp))}
    return cp
