"""Signed publish bodies and requests made with keys of the `cryptography`
package and hashed with ZelqCanonicalizer, for the tests of every verifier
that reads them."""
import copy
import json

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat

import zelq
from artefacts import b58, b64

EXCLUDED = ("content_hash", "signature", "ctx_id", "lineage_id", "origin_registry", "created_at")


class DidKey:
    """A did:key producer: its DID, key id, algorithm name and signer."""

    def __init__(self, kind="ed25519", seed=7):
        self.algorithm = kind
        if kind == "ed25519":
            self.key = ed25519.Ed25519PrivateKey.from_private_bytes(bytes([seed]) * 32)
            raw = self.key.public_key().public_bytes(Encoding.Raw, PublicFormat.Raw)
            ident = "z" + b58(b"\xed\x01" + raw)
        else:
            self.key = ec.derive_private_key(0x1000 + seed, ec.SECP256R1())
            point = self.key.public_key().public_bytes(Encoding.X962, PublicFormat.CompressedPoint)
            ident = "z" + b58(b"\x80\x24" + point)
        self.did = "did:key:" + ident
        self.key_id = f"{self.did}#{ident}"

    def sign(self, text: str) -> str:
        if self.algorithm == "ed25519":
            sig = self.key.sign(text.encode())
        else:
            r, s = decode_dss_signature(self.key.sign(text.encode(), ec.ECDSA(hashes.SHA256())))
            sig = r.to_bytes(32, "big") + s.to_bytes(32, "big")
        return b64(sig)


ED = DidKey("ed25519")
P256 = DidKey("ecdsa-p256")
CTX = "zelq://registry.example/6f1c2a4e-5b7d-4c3e-9a1f-2b3c4d5e6f70"
OTHER_CTX = "zelq://registry.example/0a1b2c3d-4e5f-4a6b-8c7d-8e9f0a1b2c3d"
HASH = "sha256:" + "ab" * 32


def base_body(key=ED):
    """A typical body of the protocol: every member in the form the verifier
    writes back, so that its hash is the one a producer computes."""
    return {
        "ctx_id": CTX,
        "lineage_id": "lin:sha256:" + "cd" * 32,
        "origin_registry": "registry.example",
        "created_at": "2030-01-01T00:00:00.000Z",
        "version": 1,
        "supersedes": None,
        "agent_id": key.did,
        "contributors": ["did:web:lab.example"],
        "title": "Regional rainfall, 2029",
        "type": "data_snapshot",
        "data_refs": [
            {"type": "primary_result", "description": "monthly totals", "format": "text/csv",
             "content_hash": HASH, "location": "https://data.example/rain.csv"},
            {"type": "supporting_info", "embedded": {"encoding": "json", "content": {"unit": "mm"}}},
        ],
        "derived_from": [OTHER_CTX],
        "visibility": "public",
        "zelq_version": "0.4.0",
        "description": "Monthly rainfall totals for the region.",
        "summary": "Wetter than 2028.",
        "tags": ["rain", "2029"],
        "domain": "climate",
        "expires_at": "2031-01-01T00:00:00Z",
        "data_period": {"start": "2029-01-01T00:00:00Z", "end": "2029-12-31T23:59:59Z"},
        "metadata": {"station_count": 42},
    }


def signed(body, key=ED):
    """The body with its content_hash and signature made afresh."""
    body = copy.deepcopy(body)
    covered = {k: v for k, v in body.items() if k not in EXCLUDED}
    body["content_hash"] = zelq.ZelqCanonicalizer.content_hash(json.dumps(covered))
    body["signature"] = {"algorithm": key.algorithm, "key_id": key.key_id, "value": key.sign(body["content_hash"])}
    return body


def as_request(body):
    """The publish request a stored body came from: no registry members."""
    return {k: v for k, v in body.items() if k not in ("ctx_id", "origin_registry", "created_at")}
