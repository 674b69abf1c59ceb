"""Signing registry artefacts in the tests: keys from `cryptography`, the
signing digest from canonical JSON written here, DID documents built here,
so that nothing expected comes from the code under test."""
import base64
import hashlib
import json

import rfc8785
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature

B58 = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"


def b64(data: bytes) -> str:
    return base64.b64encode(data).decode()


def b64url(data: bytes) -> str:
    return base64.urlsafe_b64encode(data).rstrip(b"=").decode()


def b58(data: bytes) -> str:
    n = int.from_bytes(data, "big")
    out = ""
    while n:
        n, r = divmod(n, 58)
        out = B58[r] + out
    return "1" * (len(data) - len(data.lstrip(b"\0"))) + out


def fingerprint(raw: bytes) -> str:
    return "sha256:" + hashlib.sha256(raw).hexdigest()


def canonical_json(value) -> bytes:
    """Canonical JSON with members in the order of their names' UTF-8 bytes.
    `rfc8785` writes the scalars but sorts by UTF-16 code units, which puts a
    name beyond U+FFFF before one in U+E000..U+FFFF."""
    if isinstance(value, dict):
        members = sorted(value.items(), key=lambda m: m[0].encode("utf-8"))
        return b"{" + b",".join(rfc8785.dumps(k) + b":" + canonical_json(v) for k, v in members) + b"}"
    if isinstance(value, (list, tuple)):
        return b"[" + b",".join(canonical_json(v) for v in value) + b"]"
    return rfc8785.dumps(value)


def signing_digest(obj: dict) -> str:
    rest = {k: v for k, v in obj.items() if k != "signature"}
    return "sha256:" + hashlib.sha256(canonical_json(rest)).hexdigest()


class EdKey:
    algorithm = "ed25519"

    def __init__(self, seed: bytes = None):
        self.sk = (ed25519.Ed25519PrivateKey.from_private_bytes(seed) if seed
                   else ed25519.Ed25519PrivateKey.generate())
        self.raw = self.sk.public_key().public_bytes(serialization.Encoding.Raw, serialization.PublicFormat.Raw)
        self.b64 = b64(self.raw)
        self.jwk = {"kty": "OKP", "crv": "Ed25519", "x": b64url(self.raw)}
        self.did_key = "did:key:z" + b58(b"\xed\x01" + self.raw)
        self.fingerprint = fingerprint(self.raw)

    def sign(self, message: str) -> str:
        return b64(self.sk.sign(message.encode()))


class P256Key:
    algorithm = "ecdsa-p256"

    def __init__(self):
        self.sk = ec.generate_private_key(ec.SECP256R1())
        pub = self.sk.public_key()
        raw = pub.public_bytes(serialization.Encoding.X962, serialization.PublicFormat.UncompressedPoint)
        compressed = pub.public_bytes(serialization.Encoding.X962, serialization.PublicFormat.CompressedPoint)
        self.jwk = {"kty": "EC", "crv": "P-256", "x": b64url(raw[1:33]), "y": b64url(raw[33:])}
        self.did_key = "did:key:z" + b58(b"\x80\x24" + compressed)
        self.fingerprint = fingerprint(compressed)

    def sign(self, message: str) -> str:
        r, s = decode_dss_signature(self.sk.sign(message.encode(), ec.ECDSA(hashes.SHA256())))
        return b64(r.to_bytes(32, "big") + s.to_bytes(32, "big"))


def signed(obj: dict, key, key_id: str) -> dict:
    """`obj` with a "signature" over its signing digest, as the signer sends it."""
    sig = {"algorithm": key.algorithm, "key_id": key_id, "value": key.sign(signing_digest(obj))}
    return {**{k: v for k, v in obj.items() if k != "signature"}, "signature": sig}


def did_document(did: str, keys: dict, asserted=None) -> str:
    """A DID document with one JWK verification method per fragment of `keys`;
    `asserted` lists the fragments that assertionMethod references (all by default)."""
    asserted = list(keys) if asserted is None else asserted
    return json.dumps({
        "id": did,
        "verificationMethod": [{"id": f"{did}#{frag}", "type": "JsonWebKey2020", "controller": did,
                                "publicKeyJwk": key.jwk} for frag, key in keys.items()],
        "assertionMethod": [f"{did}#{frag}" for frag in asserted],
    })
