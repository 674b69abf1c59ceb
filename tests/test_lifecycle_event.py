"""ZelqVerifier.verify_lifecycle_event: events signed here with `cryptography`
by did:key and did:web actors."""
import json

import pytest

import zelq
from artefacts import EdKey, P256Key, did_document, signed

V = zelq.ZelqVerifier
CTX = "zelq://reg.example/0b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f"
WEB = "did:web:producer.example"
ED, P = EdKey(), P256Key()
WEB_DOC = did_document(WEB, {"k1": ED, "p1": P, "retired": EdKey(b"\x03" * 32)}, asserted=["k1", "p1"])


def event(key=ED, actor=None, key_id=None, **over):
    actor = actor or key.did_key
    e = {"event_id": "5f0c2a9e-0b1d-7c3e-8f4a-6b5c4d3e2f1a", "ctx_id": CTX, "event_type": "retracted",
         "occurred_at": "2026-03-01T12:00:00.000Z", "actor": actor, "reason": "superseded by a fix"}
    e.update(over)
    e = {k: v for k, v in e.items() if v is not None}
    return signed(e, key, key_id or (actor + "#" + actor[len("did:key:"):] if actor.startswith("did:key:")
                                     else actor + "#k1"))


def verify(ev, doc=None, ctx=CTX):
    return json.loads(V.verify_lifecycle_event(ev if isinstance(ev, str) else json.dumps(ev), doc, ctx))


def failed(verdict, code):
    assert verdict["valid"] is False and verdict["code"] == code, verdict
    return verdict["error"]


@pytest.mark.parametrize("key", [ED, P], ids=["ed25519", "p256"])
def test_did_key_actors_verify_without_a_document(key):
    ev = event(key, event_type="republished")
    want = {"valid": True, "event_id": ev["event_id"], "event_type": "republished", "actor": key.did_key}
    assert verify(ev) == want
    assert verify(ev, doc="not even JSON") == want   # a did:key actor's document is never read
    assert verify(json.dumps(dict(reversed(list(ev.items()))), indent=2)) == want
    assert failed(verify({**ev, "reason": "edited"}), "invalid_signature").endswith("signature verification failed")


def test_did_web_actors_verify_with_their_document():
    assert verify(event(ED, WEB, event_type="frozen_2"), WEB_DOC)["event_type"] == "frozen_2"
    assert verify(event(P, WEB, WEB + "#p1"), WEB_DOC)["valid"] is True


def test_a_repeated_member_counts_with_its_last_value():
    ev = event()
    text = json.dumps(ev)[:-1] + ', "reason": "other"}'
    assert failed(verify(text), "invalid_signature").endswith("signature verification failed")
    text = json.dumps({**ev, "reason": "other"})[:-1] + ', "reason": "superseded by a fix"}'
    assert verify(text)["valid"] is True


# Every verdict code of the failure table, from did:key and did:web actors.
@pytest.mark.parametrize("ev, doc, code, message", [
    (event(ED, WEB), None, "key_resolution", "key resolution failed: actor 'did:web:producer.example' is not did:key "
     "\u2014 supply the actor's resolved DID document (actor_did_doc_json); DID resolution stays in the host language"),
    (event(ED, WEB), "{", "key_resolution", "key resolution failed: DID document parse: "),
    (event(ED, WEB, WEB + "#gone"), WEB_DOC, "key_resolution", "DID document has no verificationMethod '#gone'"),
    (event(ED, "did:key:z6MkInvalid", "did:key:z6MkInvalid#z6MkInvalid"), None, "key_resolution", ""),
    (event(EdKey(b"\x03" * 32), WEB, WEB + "#retired"), WEB_DOC, "key_not_authorized",
     "key not authorized: verificationMethod 'did:web:producer.example#retired' is not referenced by assertionMethod"),
    (event(ED, WEB, WEB + "#p1"), WEB_DOC, "unsupported_algorithm",
     "unsupported algorithm: signature declares 'ed25519' but verificationMethod"),
    (event(EdKey(), WEB), WEB_DOC, "invalid_signature", "invalid signature: signature verification failed"),
    (event(ED, WEB, "did:web:other.example#k1"), WEB_DOC, "invalid_signature",
     "invalid signature: lifecycle event signature.key_id 'did:web:other.example#k1' is not a DID URL under actor "
     "'did:web:producer.example' (RFC-ZELQ-0013 \u00a75 actor binding)"),
    (event(ED, WEB, WEB + "#"), WEB_DOC, "invalid_signature", "is not a DID URL under actor"),
    (event(ED, WEB, WEB), WEB_DOC, "invalid_signature", "is not a DID URL under actor"),
    (event(ED, key_id=P.did_key + "#" + P.did_key[8:], actor=P.did_key), None, "invalid_signature", ""),
    (event(event_type="Retracted"), None, "schema_violation", "schema violation: lifecycle event does not parse: "
     "schema violation: event_type 'Retracted' does not match the open-vocabulary pattern ^[a-z][a-z0-9_]*$ "
     "(length 1..=64, RFC-ZELQ-0013 \u00a74)"),
])
def test_failure_verdicts(ev, doc, code, message):
    assert message in failed(verify(ev, doc), code)


def with_signature(**over):
    return {**event(), **over}


@pytest.mark.parametrize("ev, message", [
    (with_signature(event_type=""), "event_type '' does not match"),
    (with_signature(event_type="9lives"), "event_type '9lives' does not match"),
    (with_signature(event_type="a" * 65), "does not match"),
    (with_signature(event_type=5), "does not parse: invalid type: integer `5`, expected a string"),
    (with_signature(occurred_at="2026-03-01T12:00:00Z"), "occurred_at '2026-03-01T12:00:00Z' is not canonical "
     "millisecond-precision RFC 3339 UTC (`YYYY-MM-DDTHH:MM:SS.mmmZ`, RFC-ZELQ-0001 \u00a75.3 / RFC-ZELQ-0013 \u00a74)"),
    (with_signature(occurred_at="2026-03-01T12:00:00.000+00:00"), "is not canonical"),
    (with_signature(occurred_at="2026-02-30T12:00:00.000Z"), "occurred_at '2026-02-30T12:00:00.000Z' is not canonical"),
    (with_signature(reason=None), "does not parse: invalid type: null, expected a string"),
    (with_signature(signature=None), "does not parse: invalid type: null, expected struct Signature"),
    (with_signature(extra=1), "unknown field `extra`, expected one of `event_id`, `ctx_id`, `event_type`, "
                              "`occurred_at`, `actor`, `reason`, `signature`"),
    ({k: v for k, v in event().items() if k != "actor"}, "does not parse: missing field `actor`"),
    ([], "does not parse: invalid length 0, expected struct LifecycleEvent with 7 elements"),
    ('"x"', 'does not parse: invalid type: string "x", expected struct LifecycleEvent'),
    (with_signature(event_id="5F0C2A9E-0B1D-7C3E-8F4A-6B5C4D3E2F1A"), "lifecycle event_id "
     "'5F0C2A9E-0B1D-7C3E-8F4A-6B5C4D3E2F1A' is not a canonical lowercase RFC 9562 UUID (RFC-ZELQ-0013 \u00a74)"),
    (with_signature(event_id="5f0c2a9e0b1d7c3e8f4a6b5c4d3e2f1a"), "is not a canonical lowercase RFC 9562 UUID"),
    (with_signature(ctx_id="zelq://reg.example/0b7c1f6e-2d4a-7c6b-9f7e-1a2b3c4d5e6f"), "ctx_id uuid "
     "'0b7c1f6e-2d4a-7c6b-9f7e-1a2b3c4d5e6f' is not a lowercase v4 UUID"),
    (with_signature(actor="did:Web:x"), "DID method 'Web' must match [a-z0-9]+"),
    (with_signature(reason="\u00e9" * 1025), "lifecycle event reason exceeds 1024 characters (RFC-ZELQ-0013 \u00a74)"),
    (with_signature(ctx_id=CTX.upper().replace("ZELQ://REG.EXAMPLE", "zelq://reg.example")), "ctx_id uuid"),
    ({k: v for k, v in event().items() if k != "signature"}, "lifecycle event has no signature (producer-initiated "
     "events MUST be signed, RFC-ZELQ-0013 \u00a75)"),
    # The earliest step decides.
    ({**{k: v for k, v in event().items() if k != "signature"}, "ctx_id": CTX[:-1] + "0"}, "lifecycle event ctx_id "
     "'%s' \u2260 expected ctx_id '%s' (RFC-ZELQ-0013 \u00a74: a signed event binds to exactly one context and cannot"
     " be replayed against another)" % (CTX[:-1] + "0", CTX)),
    (with_signature(event_id="x", ctx_id="bad"), "lifecycle event_id 'x'"),
    (with_signature(ctx_id="bad", actor="did:Web:x"), "ctx_id must start with 'zelq://', got: bad"),
    (with_signature(actor="did:Web:x", reason="r" * 1025), "DID method 'Web' must match [a-z0-9]+"),
    (with_signature(reason="r" * 1025, ctx_id=CTX[:-1] + "0"), "lifecycle event reason exceeds 1024 characters"),
    ([event()[k] for k in ("event_id", "ctx_id", "event_type", "occurred_at", "actor", "reason")],
     "lifecycle event has no signature"),
])
def test_schema_violations(ev, message):
    assert message in failed(verify(ev), "schema_violation")


def test_reason_length_counts_characters_and_the_event_binds_its_context():
    assert verify(event(reason="\u00e9" * 1024))["valid"] is True
    assert verify(event(reason="\U0001f600" * 1024))["valid"] is True
    assert "\u2260 expected ctx_id" in failed(verify(event(), ctx=CTX.upper()), "schema_violation")
    assert verify(event(event_id="00000000-0000-0000-0000-000000000000"))["valid"] is True


def test_an_array_event_is_read_but_cannot_be_digested():
    ev = event()
    arr = [ev[k] for k in ("event_id", "ctx_id", "event_type", "occurred_at", "actor", "reason", "signature")]
    assert failed(verify(arr), "schema_violation") == "schema violation: lifecycle event must be a JSON object"


def test_argument_errors_raise():
    with pytest.raises(ValueError, match="^invalid event JSON: EOF while parsing"):
        V.verify_lifecycle_event("{", None, CTX)
    with pytest.raises(TypeError):
        V.verify_lifecycle_event("{}", CTX)   # the document must be passed, None included
