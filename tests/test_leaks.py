"""No method leaves references or memory behind, on success or on failure.

Every method of every class is called many times with arguments that fail
(each parameter given the text "x", then no arguments at all), and the
methods below also with arguments that succeed. Growth is read from the
interpreter's total reference count where it has one (debug builds) and
from its count of allocated memory blocks otherwise."""
import base64
import gc
import inspect
import json
import sys

import pytest
from cryptography.hazmat.primitives.asymmetric import ed25519

import zelq

ROUNDS = 1000
BODY = json.dumps({"zelq_version": "0.2.0", "title": "t", "n": [1, 2.5, None]})
HASH = zelq.ZelqCanonicalizer.content_hash(BODY)
KEY = ed25519.Ed25519PrivateKey.from_private_bytes(bytes(range(32)))
PUB = base64.b64encode(KEY.public_key().public_bytes_raw()).decode()
SIG = base64.b64encode(KEY.sign(HASH.encode())).decode()
DOC_DID = "did:web:registry.example"


def instances():
    producer = zelq.ZelqProducer.generate_did_key()
    p256 = zelq.ZelqP256Producer.generate_did_key()
    doc = zelq.ZelqDidDocument.parse(json.dumps({
        "id": DOC_DID,
        "verificationMethod": [{"id": DOC_DID + "#k", "type": "JsonWebKey2020", "controller": DOC_DID,
                                "publicKeyJwk": json.loads(p256.public_key_jwk)}],
        "assertionMethod": ["#k"]}), DOC_DID)
    return {zelq.ZelqProducer: producer, zelq.ZelqP256Producer: p256,
            zelq.ZelqSsrfPolicy: zelq.ZelqSsrfPolicy.production(), zelq.ZelqDidDocument: doc}


INSTANCES = instances()

VALID = {
    "ZelqCanonicalizer.canonicalize": (BODY,),
    "ZelqCanonicalizer.content_hash": (BODY,),
    "ZelqVerifier.verify_content_hash": (BODY, HASH),
    "ZelqVerifier.canonical_preimage": (BODY,),
    "ZelqVerifier.explain_hash_mismatch": (BODY, "sha256:" + "0" * 64),
    "ZelqVerifier.verify_signature": (PUB, SIG, HASH),
    "ZelqVerifier.fingerprint_ed25519_b64": (PUB,),
    "ZelqSsrfPolicy.check_url": ("https://example.com/",),
    "ZelqSsrfPolicy.check_redirect_authority": ("https://a.example/", "https://a.example/x"),
    "ZelqDid.web_to_url": ("did:web:example.com",),
    "ZelqDid.strip_fragment": ("did:web:example.com#k",),
    "ZelqDidDocument.key_for_algorithm": (DOC_DID + "#k", "ecdsa-p256"),
}


def methods():
    for name in zelq.__all__:
        cls = getattr(zelq, name)
        if not isinstance(cls, type) or issubclass(cls, BaseException):
            continue
        for attr, raw in cls.__dict__.items():
            if attr.startswith("_") or not callable(getattr(cls, attr)) or isinstance(raw, property):
                continue
            if type(raw).__name__ == "getset_descriptor":
                continue
            owner = INSTANCES.get(cls) if type(raw).__name__ == "method_descriptor" else cls
            if owner is not None:
                yield f"{name}.{attr}", getattr(owner, attr)


def failing_args(method):
    try:
        return tuple("x" for _ in inspect.signature(method).parameters)
    except (ValueError, TypeError):
        return ("x",)


def growth(call):
    """Reference-count (or memory-block) growth over ROUNDS calls after a warm-up."""
    measure = getattr(sys, "gettotalrefcount", sys.getallocatedblocks)
    for _ in range(50):
        call()
    gc.collect()
    before = measure()
    for _ in range(ROUNDS):
        call()
    gc.collect()
    return measure() - before


def quietly(method, args):
    def call():
        try:
            method(*args)
        except Exception:  # noqa: BLE001 - failures are what is looped here
            pass
    return call


CASES = [(label, m) for label, m in methods()]


@pytest.mark.parametrize("label, method", CASES, ids=[c[0] for c in CASES])
def test_method_leaks_nothing(label, method):
    calls = [quietly(method, failing_args(method)), quietly(method, ())]
    if label in VALID:
        method(*VALID[label])  # the valid arguments do succeed
        calls.append(quietly(method, VALID[label]))
    for call in calls:
        # A leak of one object per call would show as ROUNDS.
        assert growth(call) < ROUNDS // 10, label


def test_valid_table_names_existing_methods():
    assert set(VALID) <= {label for label, _ in CASES}
