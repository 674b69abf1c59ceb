"""ZelqVerifier.parse_key_revocation and classify_under_revocation."""
import json

import pytest

import zelq
from artefacts import EdKey, P256Key

V = zelq.ZelqVerifier
OLD, SIGNER = EdKey(), EdKey()
FP = OLD.fingerprint
WEB = "did:web:producer.example"
T = "2026-03-01T12:00:00.000Z"


def body(metadata=..., key_id=WEB + "#k1", **over):
    b = {"ctx_id": "zelq://reg.example/0b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f", "lineage_id": "lin:sha256:" + "ab" * 32,
         "origin_registry": "reg.example", "created_at": T, "content_hash": "sha256:" + "cd" * 32,
         "signature": {"algorithm": "ed25519", "key_id": key_id, "value": "x"}, "version": 1, "agent_id": WEB,
         "contributors": [], "title": "key compromised", "type": "key-revocation", "data_refs": [],
         "derived_from": [], "visibility": "public",
         "metadata": meta() if metadata is ... else metadata}
    b.update(over)
    return json.dumps(b)


def meta(**over):
    m = {"revoked_key_fingerprint": FP, "compromised_since": T}
    m.update(over)
    return {k: v for k, v in m.items() if v is not ...}


def parse(*args, **kw):
    return json.loads(V.parse_key_revocation(*args, **kw))


def test_a_revocation_reads_and_is_written_in_member_order():
    out = V.parse_key_revocation(body(meta(reason="lost laptop", revoked_key_id=WEB + "#k0")))
    assert out == ('{"revoked_key_fingerprint":"%s","compromised_since":"%s","reason":"lost laptop",'
                   '"revoked_key_id":"%s#k0","revoked_key_controller":"%s","publisher":"%s",'
                   '"trust_class":"producer_signed"}' % (FP, T, WEB, WEB, WEB))
    assert list(parse(body())) == ["revoked_key_fingerprint", "compromised_since", "revoked_key_controller",
                                   "publisher", "trust_class"]
    assert parse(body(type="zelq:key-revocation"))["trust_class"] == "producer_signed"


@pytest.mark.parametrize("controller, trust", [(WEB, "producer_signed"), ("did:web:reg.example", "registry_attested")])
def test_trust_class_follows_the_controller(controller, trust):
    r = parse(body(meta(revoked_key_controller=controller)))
    assert (r["revoked_key_controller"], r["publisher"], r["trust_class"]) == (controller, WEB, trust)


E405 = "schema violation: "


# Rows that also break the next rule: the earlier rule reports.
@pytest.mark.parametrize("text, message", [
    (body(type="alert", visibility="restricted"), "not a key-revocation context: type is 'alert' (RFC-ZELQ-0014 \u00a74 requires "
     "'key-revocation', or 'zelq:key-revocation' in the pre-0.3.0 interim form)"),
    (body(type="acme:key-revocation"), "not a key-revocation context: type is 'acme:key-revocation'"),
    (body([], visibility="restricted"), "a key-revocation context MUST be visibility 'public' \u2014 it is a safety "
     "broadcast; an audience-restricted revocation protects nobody outside the audience (RFC-ZELQ-0014 \u00a74)"),
    *[(body(m), "key-revocation body has no metadata object; metadata.revoked_key_fingerprint and "
       "metadata.compromised_since are REQUIRED (RFC-ZELQ-0014 \u00a74)") for m in ([], "x")],
    (body(None), "key-revocation body has no metadata object"),
    (body(meta(revoked_key_fingerprint=...)), "key-revocation metadata.revoked_key_fingerprint is REQUIRED and must be "
     "a string (RFC-ZELQ-0014 \u00a74)"),
    *[(body(meta(revoked_key_fingerprint=f, compromised_since=...)), "metadata.revoked_key_fingerprint '%s' is not in the RFC-ZELQ-0010 \u00a76 "
       "form 'sha256:' + 64 lowercase hex (RFC-ZELQ-0014 \u00a74)" % f)
      for f in (FP.upper(), FP[:-1], FP + "0", FP + " ", "sha256:" + "\u00e9" * 32)],
    (body(meta(compromised_since=5)), "key-revocation metadata.compromised_since is REQUIRED and must be a string"),
    *[(body(meta(compromised_since=t, reason=None)), "metadata.compromised_since '%s' is not canonical millisecond-precision RFC 3339"
       " UTC (RFC-ZELQ-0001 \u00a75.3, RFC-ZELQ-0014 \u00a74)" % t)
      for t in ("2026-03-01T12:00:00Z", "2026-03-01T12:00:00.000+00:00", "2026-03-01T12:00:00.0000Z")],
    (body(meta(reason=None)), "key-revocation metadata.reason must be a string when present (RFC-ZELQ-0014 \u00a74)"),
    (body(meta(reason="\u00e9" * 1025, revoked_key_id=1)), "metadata.reason exceeds 1024 characters (RFC-ZELQ-0014 \u00a74)"),
    (body(meta(revoked_key_id=1, revoked_key_controller=None)), "key-revocation metadata.revoked_key_id must be a string when present"),
    (body(meta(revoked_key_controller=None)), "key-revocation metadata.revoked_key_controller must be a string"),
    # Metadata past the limits of other bodies keeps its looked-up members for their kind.
    (body(dict({f"x{i}": i for i in range(150)}, **meta(reason=[1, {"a": 2}]))),
     "key-revocation metadata.reason must be a string when present"),
    (body(meta(revoked_key_controller="web:x.example"), key_id=OLD.did_key + "#" + OLD.did_key[8:]), "DID missing 'did:' prefix: web:x.example"),
])
def test_shape_violations(text, message):
    with pytest.raises(ValueError) as e:
        V.parse_key_revocation(text)
    assert str(e.value).startswith(E405 + message)


@pytest.mark.parametrize("extra", [{f"x{i}": i for i in range(150)}, {"x": "y" * 70000}, {"x": [[[[[[[[[]]]]]]]]]}],
                         ids=["wide", "large", "deep"])
def test_metadata_past_the_limits_of_other_bodies_still_reads(extra):
    m = meta(reason="r", revoked_key_id="k", revoked_key_controller=WEB)
    assert parse(body(dict(extra, **m))) == parse(body(m))


def test_reason_of_1024_multibyte_characters_passes():
    assert len(parse(body(meta(reason="\U0001f600" * 1024)))["reason"]) == 1024


SELF = ("key not authorized: revocation of key %s is signed by that same key \u2014 a key is not authorized to attest "
        "its own compromise; treat as unverified (RFC-ZELQ-0014 \u00a75 step 2)")


@pytest.mark.parametrize("key", [OLD, P256Key()], ids=["ed25519", "p256"])
def test_a_did_key_cannot_revoke_itself(key):
    did_url = key.did_key + "#" + key.did_key[8:]
    text = body(meta(revoked_key_fingerprint=key.fingerprint), key_id=did_url, agent_id=key.did_key)
    with pytest.raises(RuntimeError) as e:
        V.parse_key_revocation(text)
    assert str(e.value) == SELF % key.fingerprint
    # Another did:key may revoke it; a key id that does not resolve says nothing.
    assert parse(body(meta(revoked_key_fingerprint=key.fingerprint), key_id=SIGNER.did_key + "#" + SIGNER.did_key[8:]))
    assert parse(body(meta(revoked_key_fingerprint=key.fingerprint), key_id="did:key:zBad#zBad"))


def test_a_did_web_signer_is_checked_through_its_fingerprint():
    with pytest.raises(RuntimeError, match="^key not authorized: revocation of key"):
        V.parse_key_revocation(body(), FP)
    assert parse(body(), signer_fingerprint=SIGNER.fingerprint)
    assert parse(body(), FP.upper())  # compared as given, as the rule asks
    with pytest.raises(ValueError, match="^invalid body JSON: EOF while parsing a value at line 1 column 0"):
        V.parse_key_revocation("")


# ---- classification ---------------------------------------------------------------

def rev(fp=FP, since=T, trust="producer_signed", **extra):
    return {"revoked_key_fingerprint": fp, "compromised_since": since, "revoked_key_controller": WEB,
            "publisher": WEB, "trust_class": trust, **extra}


def classify(revs, fp=FP, at=None):
    text = revs if isinstance(revs, str) else json.dumps(revs)
    return json.loads(V.classify_under_revocation(text, fp, at))


HIST = "historically_authorized_pre_compromise"


@pytest.mark.parametrize("revs, at, out", [
    ([], T, {"authorization": "none"}),
    ([rev(SIGNER.fingerprint)], T, {"authorization": "none"}),
    ([rev()], "2026-03-01T11:59:59.999Z", {"authorization": HIST, "boundary": T}),
    ([rev()], "2026-03-01T13:59:59.999+02:00", {"authorization": HIST, "boundary": T}),
    ([rev(since="2026-03-01T12:00:00.000999Z")], "2026-03-01T12:00:00.000500Z", {"authorization": HIST, "boundary": T}),
    ([rev(since="2026-03-01T13:00:00Z"), rev(trust="registry_attested")], "2026-03-01T12:30:00Z",
     {"authorization": "none", "boundary": T}),
    ([rev(), rev(since="2026-03-01T11:00:00+00:00")], "2026-03-01T11:30:00Z", {"authorization": "none",
                                                                              "boundary": "2026-03-01T11:00:00.000Z"}),
])
def test_classification(revs, at, out):
    got = classify(revs, at=at)
    assert {k: v for k, v in got.items() if k != "error"} == out
    assert ("error" in got) == (out["authorization"] == "none" and "boundary" in out)


def test_fail_closed_messages():
    assert classify([rev()], at=T)["error"] == (
        "signing key %s is revoked with compromise boundary %s; the receipt-attested publish time %s is at/after the "
        "boundary, so the signature is not attributable to the producer \u2014 fail closed regardless of DID-document "
        "state or receipt validity (RFC-ZELQ-0014 \u00a77 step 3)" % (FP, T, T))
    assert "publish time 2026-03-01T10:00:00.000Z is at/after" in classify(
        [rev(since="2026-03-01T09:00:00Z")], at="2026-03-01T12:00:00.000+02:00")["error"]
    assert classify([rev()]) == {"authorization": "none", "boundary": T, "error": (
        "signing key %s is revoked (compromise boundary %s) and the context has no verified registry receipt, so its "
        "publish time cannot be placed relative to the boundary \u2014 fail closed (RFC-ZELQ-0014 \u00a77 step 4)"
        % (FP, T))}


def test_records_read_in_both_forms_and_skip_unknown_members():
    as_array = [FP, T, None, None, WEB, WEB, "registry_attested"]
    assert classify([as_array], at=T)["boundary"] == T
    assert classify([rev(extra={"x": [1]}, reason=None)], at=T)["boundary"] == T
    assert classify([json.loads(V.parse_key_revocation(body()))], at=T)["boundary"] == T
    many = [rev(EdKey(bytes([i % 256, i // 256]) + b"\0" * 30).fingerprint) for i in range(2000)] * 50
    assert classify(many + [rev(since="2020-01-01T00:00:00.000Z")], at=T)["boundary"] == "2020-01-01T00:00:00.000Z"


@pytest.mark.parametrize("text, message", [
    ("", "EOF while parsing a value at line 1 column 0"),
    ("{}", "invalid type: map, expected a sequence at line 1 column 0"),
    (json.dumps([{k: v for k, v in rev().items() if k != "publisher"}]), "missing field `publisher` at line 1 column"),
    ('[{"revoked_key_fingerprint": "a", "revoked_key_fingerprint": "b"}]', "duplicate field `revoked_key_fingerprint`"),
    (json.dumps([rev(trust="self")]), "unknown variant `self`, expected `producer_signed` or `registry_attested`"),
    (json.dumps([rev(since=5)]), "invalid type: integer `5`, expected an RFC 3339 formatted date and time string"),
    (json.dumps([rev(since="yesterday")]), "input contains invalid characters at line 1 column"),
    (json.dumps([[FP, T, None, None, WEB, WEB]]), "invalid length 6, expected struct KeyRevocation with 7 elements"),
    (json.dumps([[FP, T, None, None, WEB, WEB, "producer_signed", 8]]), "trailing characters at line 1 column"),
    (json.dumps([5]), "invalid type: integer `5`, expected struct KeyRevocation"),
    ("[] x", "trailing characters at line 1 column 4"),
])
def test_unreadable_revocations_raise(text, message):
    with pytest.raises(ValueError) as e:
        V.classify_under_revocation(text, FP, T)
    assert str(e.value).startswith("invalid revocations JSON (array): " + message)


@pytest.mark.parametrize("fp, message", [
    (FP.upper(), "content_hash must start with 'sha256:', got: " + FP.upper()),
    (FP[:-1] + "A", "content_hash digest must be 64 lowercase hex chars, got: " + FP[7:-1] + "A"),
    (FP + " ", "content_hash digest must be 64 lowercase hex chars, got: " + FP[7:] + " "),
    (" " + FP, "content_hash must start with 'sha256:', got:  " + FP),
    ("", "content_hash must start with 'sha256:', got: "),
])
def test_a_signer_fingerprint_in_another_spelling_is_refused(fp, message):
    # Such a fingerprint would match no revocation and report a revoked key as unrevoked.
    with pytest.raises(ValueError) as e:
        V.classify_under_revocation(json.dumps([rev()]), fp)
    assert str(e.value) == "invalid signer_fingerprint: schema violation: " + message


@pytest.mark.parametrize("at", ["", "2026-03-01", "2026-03-01T12:00:00", "2026-03-01T25:00:00Z"])
def test_an_unreadable_receipt_time_raises_even_without_a_match(at):
    with pytest.raises(ValueError, match="^invalid receipt_created_at_rfc3339 '%s': " % at):
        V.classify_under_revocation("[]", FP, at)
