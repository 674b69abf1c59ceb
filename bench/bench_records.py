"""Offline verification of a typical did:key body (2-5 KB): zelq against the
same checks written in plain Python, timed in the same run: `json` to read,
a few field rules, `rfc8785` for the canonical form, `hashlib` for the hash,
and `cryptography` for the signature (key decoded from the did:key).

Prints verifications per second and ratios; nothing is asserted.
"""
import base64
import copy
import hashlib
import json
import re
import sys
from pathlib import Path

import rfc8785
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519

import zelq
from _common import RATIOS
from bench_canonical import rate

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))
from artefacts import B58  # noqa: E402
from publish_fixtures import ED, EXCLUDED, HASH, P256, base_body, signed  # noqa: E402

CTX_ID = re.compile(r"^zelq://[a-z0-9.-]{1,253}/[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
HEX_HASH = re.compile(r"^sha256:[0-9a-f]{64}$")
TAG = re.compile(r"^[A-Za-z0-9][A-Za-z0-9_.-]{0,99}$")


def typical_body(key):
    body = base_body(key)
    body["description"] = "Monthly rainfall totals for the region, gauge-corrected. " * 12
    body["contributors"] = [f"did:web:lab{i}.example" for i in range(4)]
    body["derived_from"] = [f"zelq://registry.example/00000000-0000-4000-8000-{i:012x}" for i in range(6)]
    body["tags"] = ["rain", "climate", "2029", "monthly", "gauges"]
    body["data_refs"] += [
        {"type": "raw_data", "description": f"station {i} readings", "size_bytes": 48213 + i,
         "format": "text/csv", "content_hash": HASH, "location": f"https://data.example/stations/{i}.csv"}
        for i in range(8)]
    body["metadata"] = {"station_count": 42, "units": "mm", "method": {"name": "gauge", "version": "2.1"},
                        "quality": [0.98, 0.97, 0.99]}
    return json.dumps(signed(body, key))


def b58decode(text):
    n = 0
    for c in text:
        n = n * 58 + B58.index(c)
    return n.to_bytes((n.bit_length() + 7) // 8, "big")


def python_verify(text):
    body = json.loads(text)
    if not 1 <= len(body["title"]) <= 500 or not CTX_ID.match(body["ctx_id"]):
        raise ValueError("schema")
    if not HEX_HASH.match(body["content_hash"]) or not all(TAG.match(t) for t in body.get("tags", [])):
        raise ValueError("schema")
    if len(set(body["contributors"])) != len(body["contributors"]) or not all(
            CTX_ID.match(d) for d in body["derived_from"]):
        raise ValueError("schema")
    covered = {k: v for k, v in body.items() if k not in EXCLUDED}
    if "sha256:" + hashlib.sha256(rfc8785.dumps(covered)).hexdigest() != body["content_hash"]:
        raise RuntimeError("content_hash mismatch")
    sig = body["signature"]
    did, _, fragment = sig["key_id"].partition("#")
    if did != body["agent_id"] or fragment != did[8:]:
        raise RuntimeError("key not authorized")
    raw = b58decode(did[9:])
    value = base64.b64decode(sig["value"], validate=True)
    message = body["content_hash"].encode()
    if raw[:2] == b"\xed\x01":
        ed25519.Ed25519PublicKey.from_public_bytes(raw[2:]).verify(value, message)
    else:
        r, s = int.from_bytes(value[:32], "big"), int.from_bytes(value[32:], "big")
        from cryptography.hazmat.primitives.asymmetric.utils import encode_dss_signature
        key = ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), raw[2:])
        key.verify(encode_dss_signature(r, s), message, ec.ECDSA(hashes.SHA256()))
    return True


def main():
    print(RATIOS)
    print(f"{'key':<10}{'bytes':>7}{'zelq/s':>10}{'python/s':>10}{'ratio':>8}   (hash only: zelq/s python/s ratio)")
    for name, key in (("ed25519", ED), ("p256", P256)):
        text = typical_body(key)
        assert zelq.ZelqVerifier.verify_body_offline(text) and python_verify(text)
        z = rate(zelq.ZelqVerifier.verify_body_offline, text)
        p = rate(python_verify, text)
        body = json.loads(text)
        covered = json.dumps({k: v for k, v in body.items() if k not in EXCLUDED})
        zh = rate(zelq.ZelqCanonicalizer.content_hash, covered)
        ph = rate(lambda t: hashlib.sha256(rfc8785.dumps(json.loads(t))).hexdigest(), covered)
        print(f"{name:<10}{len(text):>7}{z:>10.0f}{p:>10.0f}{z / p:>8.1f}   ({zh:.0f} {ph:.0f} {zh / ph:.1f})")


if __name__ == "__main__":
    main()
