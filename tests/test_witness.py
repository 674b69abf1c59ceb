"""Witness cosignatures: minting (build_witness_cosignature), verification
(verify_witness_cosignature) and quorum counting (evaluate_witness_quorum).
Signatures and digests are checked against `cryptography`, `rfc8785` and hashlib."""
import base64
import copy
import hashlib
import json

import pytest
import rfc8785
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat

import zelq

V = zelq.ZelqVerifier
REG = "did:web:registry.example"
CHECKPOINT = {"log_id": REG + "/log/main", "tree_size": 5, "root_hash": "sha256:" + "ab" * 32,
              "timestamp": "2026-01-01T00:00:00.000Z"}
EXPECTED = dict(CHECKPOINT, checkpoint_version="zelq-log/1",
                signature={"algorithm": "ed25519", "key_id": REG + "#k1", "value": "A" * 86 + "=="})
AT = "2026-01-01T00:00:10.000Z"
NOW = "2026-01-01T00:01:00.000Z"
INVALID = "invalid witness cosignature: "
b64url = lambda b: base64.urlsafe_b64encode(b).rstrip(b"=").decode()


def digest_of(cosig: dict) -> str:
    body = {k: v for k, v in cosig.items() if k != "signature"}
    return "sha256:" + hashlib.sha256(rfc8785.dumps(body)).hexdigest()


class Ed:
    def __init__(self, did, seed):
        self.did, self.seed = did, seed
        self.key = ed25519.Ed25519PrivateKey.from_private_bytes(bytes.fromhex(seed))
        jwk = {"kty": "OKP", "crv": "Ed25519", "x": b64url(self.key.public_key().public_bytes_raw())}
        self.doc = {"id": did, "verificationMethod": [
            {"id": did + "#witness-key-1", "type": "JsonWebKey2020", "controller": did, "publicKeyJwk": jwk}]}

    def mint(self, at=AT, checkpoint=CHECKPOINT):
        return json.loads(V.build_witness_cosignature(json.dumps(checkpoint), self.did, self.seed, at))


class P256:
    def __init__(self, did):
        self.did = did
        self.key = ec.derive_private_key(0xC9AFA9D845BA75166B5C215767B1D6934E50C3DB36E89B127B8A622B120F6721,
                                         ec.SECP256R1())
        point = self.key.public_key().public_bytes(Encoding.X962, PublicFormat.UncompressedPoint)
        jwk = {"kty": "EC", "crv": "P-256", "x": b64url(point[1:33]), "y": b64url(point[33:])}
        self.doc = {"id": did, "verificationMethod": [
            {"id": did + "#p", "type": "JsonWebKey2020", "controller": did, "publicKeyJwk": jwk}]}

    def mint(self, at=AT, checkpoint=CHECKPOINT):
        cosig = {"cosignature_version": "zelq-cosig/1", "witness_id": self.did,
                 "witnessed_checkpoint": checkpoint, "witnessed_at": at}
        r, s = decode_dss_signature(self.key.sign(digest_of(cosig).encode(), ec.ECDSA(hashes.SHA256())))
        value = base64.b64encode(r.to_bytes(32, "big") + s.to_bytes(32, "big")).decode()
        return dict(cosig, signature={"algorithm": "ecdsa-p256", "key_id": self.did + "#p", "value": value})


A = Ed("did:web:a.example", "11" * 32)
B = Ed("did:web:b.example", "22" * 32)
K = Ed("did:key:z6MkWitness", "33" * 32)
P = P256("did:web:p.example")


def verify(cosig, doc, expected=EXPECTED, now=NOW, **kw):
    return json.loads(V.verify_witness_cosignature(json.dumps(cosig), json.dumps(doc), json.dumps(expected),
                                                   now_rfc3339=now, **kw))


# ---- minting ------------------------------------------------------------------

def test_mint_signs_the_digest_of_its_own_output():
    text = V.build_witness_cosignature(json.dumps(CHECKPOINT), A.did, A.seed, AT)
    cosig = json.loads(text)
    assert list(cosig) == ["cosignature_version", "witness_id", "witnessed_checkpoint", "witnessed_at", "signature"]
    assert cosig["signature"]["key_id"] == A.did + "#witness-key-1"
    A.key.public_key().verify(base64.b64decode(cosig["signature"]["value"]), digest_of(cosig).encode())
    assert V.build_witness_cosignature(json.dumps(CHECKPOINT), A.did, A.seed.upper(), AT) == text
    other = json.loads(V.build_witness_cosignature(json.dumps(CHECKPOINT), A.did, B.seed, AT))
    assert other["signature"]["value"] != cosig["signature"]["value"]
    assert dict(other, signature=None) == dict(cosig, signature=None)


def test_mint_writes_times_in_utc_cut_to_milliseconds():
    cp = dict(CHECKPOINT, timestamp="2026-01-01T01:00:00.999999+01:00", tree_size=0, log_id="anything")
    cosig = A.mint(at="2026-01-01T00:00:10.123999-00:30", checkpoint=cp)
    assert cosig["witnessed_at"] == "2026-01-01T00:30:10.123Z"
    assert cosig["witnessed_checkpoint"] == dict(cp, timestamp="2026-01-01T00:00:00.999Z")
    as_array = A.mint(checkpoint=[CHECKPOINT[k] for k in CHECKPOINT])
    assert as_array == A.mint()


SV = "schema violation: invalid witnessed_checkpoint (expected {log_id, tree_size, root_hash, timestamp}): "


@pytest.mark.parametrize("checkpoint, did, seed, at, message", [
    ("{", A.did, A.seed, AT, "invalid witnessed_checkpoint JSON: EOF while parsing an object at line 1 column 1"),
    (CHECKPOINT, A.did, "1" * 63, AT, "invalid witness_seed_hex: Odd number of digits"),
    (CHECKPOINT, A.did, "1" * 62 + "zz", AT, "invalid witness_seed_hex: Invalid character 'z' at position 62"),
    (CHECKPOINT, A.did, "1" * 62, AT, "witness_seed_hex must decode to 32 bytes"),
    (CHECKPOINT, A.did, "", AT, "witness_seed_hex must decode to 32 bytes"),
    (CHECKPOINT, A.did, A.seed, "2026-01-01", "invalid witnessed_at_rfc3339 '2026-01-01': premature end of input"),
    (dict(CHECKPOINT, note=1), A.did, A.seed, AT,
     SV + "unknown field `note`, expected one of `log_id`, `tree_size`, `root_hash`, `timestamp`"),
    (dict(CHECKPOINT, tree_size=-1), A.did, A.seed, AT, SV + "invalid value: integer `-1`, expected u64"),
    (dict(CHECKPOINT, tree_size=5.0), A.did, A.seed, AT, SV + "invalid type: floating point `5.0`, expected u64"),
    (dict(CHECKPOINT, tree_size="5"), A.did, A.seed, AT, SV + 'invalid type: string "5", expected u64'),
    ({k: v for k, v in CHECKPOINT.items() if k != "root_hash"}, A.did, A.seed, AT, SV + "missing field `root_hash`"),
    (CHECKPOINT, "did:key:z", A.seed, AT,
     "schema violation: witness signer witness_id must be did:web or did:key, got 'did:key:z'"),
    (CHECKPOINT, "did:key:abc", A.seed, AT,
     "schema violation: witness signer witness_id must be did:web or did:key, got 'did:key:abc'"),
    (CHECKPOINT, "did:web:a#b", A.seed, AT,
     "schema violation: witness signer key_id 'did:web:a#b#witness-key-1' must be '<witness_id>#<fragment>'"),
])
def test_mint_refusals(checkpoint, did, seed, at, message):
    text = checkpoint if isinstance(checkpoint, str) else json.dumps(checkpoint)
    with pytest.raises(ValueError) as e:
        V.build_witness_cosignature(text, did, seed, at)
    assert str(e.value) == message


