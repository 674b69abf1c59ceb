"""ZelqVerifier.verify_receipt: registry receipts signed here with `cryptography`,
checked against the served body, the consumer's request and the registry key."""
import json

import pytest

import zelq
from artefacts import EdKey, P256Key, signed

V = zelq.ZelqVerifier
CTX = "zelq://reg.example/0b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f"
LIN = "lin:sha256:" + "ab" * 32
HASH = "sha256:" + "cd" * 32
REG, PRODUCER = EdKey(), EdKey()
AT = "2026-03-01T12:00:00.123Z"
BODY = {"ctx_id": CTX, "lineage_id": LIN, "origin_registry": "reg.example", "created_at": AT,
        "content_hash": HASH, "signature": {"algorithm": "ed25519", "key_id": PRODUCER.did_key + "#x", "value": "x"},
        "version": 1, "agent_id": PRODUCER.did_key, "contributors": [], "title": "t", "type": "analysis",
        "data_refs": [], "derived_from": [], "visibility": "public"}
PREFIX = "invalid registry receipt: "


def receipt(key=REG, **over):
    r = {"registry_did": "did:web:reg.example", "ctx_id": CTX, "lineage_id": LIN, "origin_registry": "reg.example",
         "created_at": AT, "content_hash": HASH, "key_fingerprint": PRODUCER.fingerprint}
    r.update(over)
    return signed(r, key, "did:web:reg.example#receipt-1")


def verify(rcpt, body=None, key=REG.b64, ctx=CTX, hash_=HASH, fp=PRODUCER.fingerprint):
    text = rcpt if isinstance(rcpt, str) else json.dumps(rcpt)
    return V.verify_receipt(text, json.dumps(body or BODY), key, ctx, hash_, fp)


def fails(message, *args, exc=RuntimeError, **kw):
    with pytest.raises(exc) as e:
        verify(*args, **kw)
    assert str(e.value).startswith(message) and type(e.value) is exc


def test_a_signed_receipt_verifies_as_received():
    r = receipt()
    assert verify(r) is True
    assert verify(json.dumps(dict(reversed(list(r.items()))), indent=1)) is True
    assert V.verify_receipt(receipt_json=json.dumps(r), body_json=json.dumps(BODY), registry_public_key_b64=REG.b64,
                            expected_ctx_id=CTX, recomputed_body_hash=HASH,
                            producer_key_fingerprint=PRODUCER.fingerprint) is True
    # Every member but the signature is signed.
    fails(PREFIX + "receipt signature: invalid signature: signature verification failed",
          {**r, "key_fingerprint": "x"}, fp="x")


def test_producer_key_fingerprint_none_matches_nothing():
    fails(PREFIX + "receipt key_fingerprint '%s' \u2260 resolved producer key 'None'" % PRODUCER.fingerprint,
          receipt(), fp=None)
    with pytest.raises(TypeError):
        V.verify_receipt(json.dumps(receipt()), json.dumps(BODY), REG.b64, CTX, HASH)


# Cross-checks against the request, in their order; then against the body.
@pytest.mark.parametrize("over, body, kw, message", [
    ({"ctx_id": CTX[:-1] + "0"}, {}, {}, "receipt ctx_id '%s' \u2260 requested '%s'" % (CTX[:-1] + "0", CTX)),
    ({"content_hash": "sha256:" + "ee" * 32, "ctx_id": "x"}, {}, {}, "receipt ctx_id 'x' \u2260 requested '%s'" % CTX),
    ({"content_hash": "sha256:" + "ee" * 32}, {}, {}, "receipt content_hash 'sha256:%s' \u2260 recomputed body hash "
     "'%s'" % ("ee" * 32, HASH)),
    ({"content_hash": "sha256:" + "ee" * 32}, {}, {"fp": "x"}, "receipt content_hash 'sha256:%s' \u2260 "
     "recomputed body hash '%s'" % ("ee" * 32, HASH)),
    ({"registry_did": "did:web:other.example"}, {}, {"fp": "x"}, "receipt key_fingerprint '%s' \u2260 resolved "
     "producer key 'x'" % PRODUCER.fingerprint),
    ({"registry_did": "did:web:other.example", "lineage_id": "x"}, {}, {}, "receipt registry_did "
     "'did:web:other.example' \u2260 did:web form of origin_registry ('did:web:reg.example')"),
    ({"lineage_id": "x"}, {"origin_registry": "mirror.example"}, {}, "receipt lineage_id 'x' \u2260 body lineage_id"),
    ({}, {"origin_registry": "mirror.example", "created_at": "2026-03-01T12:00:00Z"}, {},
     "receipt origin_registry 'reg.example' \u2260 body origin_registry 'mirror.example'"),
    ({}, {"created_at": "2026-03-01T12:00:00Z"}, {"key": PRODUCER.b64}, "body created_at '2026-03-01 12:00:00 UTC'"),
    ({}, {}, {"fp": PRODUCER.fingerprint.upper()}, "receipt key_fingerprint '%s' \u2260 resolved producer key '%s'"
     % (PRODUCER.fingerprint, PRODUCER.fingerprint.upper())),
    ({"registry_did": "did:web:other.example"}, {}, {}, "receipt registry_did 'did:web:other.example' \u2260 did:web "
     "form of origin_registry ('did:web:reg.example')"),
    ({"origin_registry": "reg.example:8443"}, {"origin_registry": "reg.example:8443"}, {},
     "receipt registry_did 'did:web:reg.example' \u2260 did:web form of origin_registry ('did:web:reg.example%3A8443')"),
    ({"lineage_id": "lin:sha256:" + "00" * 32}, {}, {}, "receipt lineage_id 'lin:sha256:%s' \u2260 body lineage_id "
     "'%s'" % ("00" * 32, LIN)),
    ({}, {"origin_registry": "mirror.example"}, {}, "receipt origin_registry 'reg.example' \u2260 body origin_registry "
     "'mirror.example'"),
    ({}, {"created_at": "2026-03-01T12:00:00.123456Z"}, {}, "receipt created_at '2026-03-01 12:00:00.123 UTC' \u2260 "
     "body created_at '2026-03-01 12:00:00.123456 UTC'"),
    ({}, {"created_at": "2026-03-01T14:00:00.123000001+02:00"}, {}, "receipt created_at '2026-03-01 12:00:00.123 UTC' "
     "\u2260 body created_at '2026-03-01 12:00:00.123000001 UTC'"),
    ({}, {"created_at": "2026-03-01T12:00:00Z"}, {}, "body created_at '2026-03-01 12:00:00 UTC'"),
])
def test_cross_checks(over, body, kw, message):
    with pytest.raises(RuntimeError) as e:
        verify(receipt(**over), body={**BODY, **body}, **kw)
    assert message in str(e.value) and str(e.value).startswith(PREFIX)


def test_origin_registry_with_a_port_needs_the_encoded_did():
    r = receipt(origin_registry="reg.example:8443", registry_did="did:web:reg.example%3A8443")
    assert verify(r, body={**BODY, "origin_registry": "reg.example:8443"}) is True


@pytest.mark.parametrize("text, message", [
    ("[]", "receipt created_at missing or not a string"),
    ('"x"', "receipt created_at missing or not a string"),
    (json.dumps({**receipt(), "created_at": 5}), "receipt created_at missing or not a string"),
    (json.dumps(receipt(created_at="2026-03-01T12:00:00Z")), "receipt created_at '2026-03-01T12:00:00Z' is not canonical "
     "millisecond-precision RFC 3339 UTC (`YYYY-MM-DDTHH:MM:SS.mmmZ`, RFC-ZELQ-0010 \u00a78 step 6)"),
    (json.dumps(receipt(created_at="2026-03-01T12:00:00.1234Z")), "receipt created_at '2026-03-01T12:00:00.1234Z' is "
     "not canonical"),
    (json.dumps(receipt(created_at="2026-03-01T12:00:00.123+00:00")), "receipt created_at "
     "'2026-03-01T12:00:00.123+00:00' is not canonical"),
    (json.dumps({**receipt(), "served_by": "x"}), "registry_receipt does not parse: unknown field `served_by`, expected "
     "one of `registry_did`, `ctx_id`, `lineage_id`, `origin_registry`, `created_at`, `content_hash`, "
     "`key_fingerprint`, `signature`"),
    (json.dumps({k: v for k, v in receipt().items() if k != "ctx_id"}), "registry_receipt does not parse: missing field "
     "`ctx_id`"),
    (json.dumps({**receipt(), "ctx_id": None}), "registry_receipt does not parse: invalid type: null, expected a string"),
    (json.dumps({**receipt(), "signature": {"algorithm": "ed25519", "key_id": "k"}}), "registry_receipt does not parse: "
     "missing field `value`"),
])
def test_receipts_that_do_not_read(text, message):
    fails(PREFIX + message, text)


@pytest.mark.parametrize("sig, message", [
    ({"algorithm": "ecdsa-p256"}, "receipt declares ecdsa-p256 but no p256 registry key was resolved"),
    ({"algorithm": "Ed25519"}, "receipt signature algorithm 'Ed25519' is not supported"),
    ({"value": "AAAA"}, "receipt signature: invalid signature: sig parse: "),
    ({"value": "not base64!"}, "receipt signature: invalid signature: base64: "),
])
def test_signature_step(sig, message):
    r = receipt()
    r["signature"].update(sig)
    with pytest.raises(RuntimeError, match="^" + PREFIX + message):
        verify(r)


def test_ecdsa_receipts_fail_at_the_signature_step():
    with pytest.raises(RuntimeError, match="declares ecdsa-p256 but no p256 registry key was resolved"):
        verify(receipt(P256Key()))


# Malformed host input is a ValueError, raised in argument order around the
# receipt's own reading (which comes first).
@pytest.mark.parametrize("args, message", [
    (("{", {"x": 1}), "invalid receipt JSON: EOF while parsing an object at line 1 column 1"),
    (("[]", {"x": 1}), "invalid body JSON: missing field `ctx_id` at line 1 column 8"),
    ((receipt(), BODY, "AAAA", CTX, "sha256:AB"), "public key must decode to 32 bytes"),
    ((receipt(), BODY, "A"), "invalid public_key_b64: "),
    ((receipt(), BODY, REG.b64, "zelq://x/y", "sha256:AB"), "invalid content_hash: schema violation: content_hash "
     "digest must be 64 lowercase hex chars, got: AB"),
    ((receipt(), BODY, REG.b64, "zelq://x/y"), "invalid expected_ctx_id: schema violation: ctx_id uuid 'y' is not a "
     "lowercase v4 UUID"),
])
def test_malformed_input(args, message):
    rcpt, body, *rest = args
    with pytest.raises(ValueError) as e:
        verify(rcpt if isinstance(rcpt, (str, dict)) else rcpt, body=body, **dict(zip(["key", "ctx", "hash_"], rest)))
    assert str(e.value).startswith(message)


def test_a_receipt_that_does_not_read_is_reported_before_a_bad_key():
    for text, message in (("{}", "created_at missing"), (json.dumps({**receipt(), "x": 1}), "does not parse")):
        with pytest.raises(RuntimeError, match=message):
            verify(text, key="bad")
