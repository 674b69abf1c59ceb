"""ZelqVerifier.verify_lineage_head_receipt: receipts signed here with
`cryptography`, checked against the consumer's expectations."""
import json

import pytest

import zelq
from artefacts import EdKey, P256Key, did_document, signed

V = zelq.ZelqVerifier
REG = "did:web:reg.example"
LIN = "lin:sha256:" + "ab" * 32
HEAD = "zelq://reg.example/0b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f"
OTHER = "zelq://reg.example/1b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f"
NOW = "2026-03-01T12:00:00.000Z"
ED, P = EdKey(), P256Key()
DOC = did_document(REG, {"k1": ED, "p1": P, "old": EdKey(b"\x05" * 32)}, asserted=["k1", "p1"])
PREFIX = "invalid registry receipt: lineage_head_receipt "


def receipt(key=ED, frag="k1", **over):
    r = {"receipt_version": "zelq-lhr/1", "registry_did": REG, "lineage_id": LIN, "head_ctx_id": HEAD,
         "head_version": 2, "head_status": "active", "as_of": "2026-03-01T11:59:00.000Z"}
    r.update(over)
    return signed(r, key, f"{REG}#{frag}")


def expected(**over):
    e = {"authority": "reg.example", "lineage_id": LIN, "head_ctx_id": HEAD, "head_version": 2,
         "head_status": "active"}
    e.update(over)
    return json.dumps({k: v for k, v in e.items() if v is not None})


def verify(rcpt, exp=None, doc=DOC, now=NOW, **kw):
    text = rcpt if isinstance(rcpt, str) else json.dumps(rcpt)
    return json.loads(V.verify_lineage_head_receipt(text, exp or expected(), doc, now, **kw))


def failed(verdict, code="invalid_receipt"):
    assert verdict["valid"] is False and verdict["code"] == code, verdict
    return verdict["error"]


def test_signed_receipts_verify_and_report_age():
    assert verify(receipt()) == {"valid": True, "stale": False, "age_secs": 60, "historical": False}
    assert verify(receipt(P, "p1"))["valid"] is True
    assert verify(receipt(EdKey(b"\x05" * 32), "old"))["historical"] is True
    # Member order and whitespace are not signed; values are.
    r = receipt()
    assert verify(json.dumps(dict(reversed(list(r.items()))), indent=3))["valid"] is True
    assert "signature verification failed" in failed(verify({**r, "head_version": 3}, expected(head_version=3)))


@pytest.mark.parametrize("as_of, now, kw, outcome", [
    ("2026-03-01T12:02:00.000Z", NOW, {}, {"age_secs": -120, "stale": False}),   # exactly now + 120 s
    ("2026-03-01T12:02:00.001Z", NOW, {"doc": "not json"}, "is in the future beyond the 120s"),  # before the key
    ("2026-03-01T12:00:00.001Z", NOW, {"max_skew_secs": 0}, "beyond the 0s clock-skew allowance"),
    ("2026-03-01T11:59:59.000Z", NOW, {"max_skew_secs": -1}, {"age_secs": 1}),
    ("2026-03-01T11:59:59.001Z", NOW, {"max_skew_secs": -1}, "beyond the -1s clock-skew allowance (consumer clock "
                                                              "'2026-03-01T12:00:00.000Z')"),
    ("2026-03-01T11:55:00.000Z", NOW, {}, {"age_secs": 300, "stale": False}),
    ("2026-03-01T11:54:59.999Z", NOW, {}, {"age_secs": 300, "stale": False}),
    ("2026-03-01T11:54:59.000Z", NOW, {}, {"age_secs": 301, "stale": True}),
    ("2026-03-01T12:00:00.000Z", "2026-03-01T12:00:59.999999Z", {"max_age_secs": 0}, {"age_secs": 59, "stale": True}),
    ("2026-03-01T12:00:00.000Z", "2026-03-01T12:00:00.999Z", {"max_age_secs": 0}, {"age_secs": 0, "stale": False}),
    ("2026-03-01T12:00:00.500Z", NOW, {"max_age_secs": -1}, {"age_secs": 0, "stale": True}),
    ("2026-03-01T12:00:00.000Z", "2026-03-01T14:00:00+02:00", {}, {"age_secs": 0}),
])
def test_clock_skew_and_staleness(as_of, now, kw, outcome):
    v = verify(receipt(as_of=as_of), now=now, **kw)
    if isinstance(outcome, str):
        assert outcome in failed(v)
    else:
        assert v["valid"] is True and outcome.items() <= v.items()


SPAN = "is outside the representable time span of \u00b19223372036854775 seconds"
EARLIEST, LATEST = "0000-01-01T00:00:00.000Z", "9999-12-31T23:59:59.999Z"


@pytest.mark.parametrize("now, skew, message", [
    *[(NOW, skew, SPAN) for skew in (2**63 - 1, -(2**63), 9223372036854776, -9223372036854776)],
    # An allowance that carries the limit off the calendar is refused, not judged.
    (NOW, 9223372036854775, None), (NOW, -9223372036854775, None),
    (EARLIEST, -9223372036854775, None), (EARLIEST, 9223372036854775, None),
    (LATEST, 10**15, None), (LATEST, -9223372036854775, None),
])
def test_skew_out_of_range_is_refused(now, skew, message):
    message = message or f"puts the clock-skew limit outside the representable time range (consumer clock '{now}')"
    with pytest.raises(ValueError) as e:
        verify(receipt(), now=now, max_skew_secs=skew)
    assert str(e.value) == f"max_skew_secs {skew} {message}"


def test_large_allowances_on_the_calendar_are_exact():
    assert verify(receipt(), max_skew_secs=10**12, max_age_secs=2**63 - 1)["valid"] is True
    assert "beyond the -1000000000000s" in failed(verify(receipt(), max_skew_secs=-10**12))
    assert verify(receipt(as_of=LATEST), now=EARLIEST, max_skew_secs=10**12)["age_secs"] < 0


# Step 5 (GET /current) and step 5b (full retrieval): (receipt, served, current?, outcome)
@pytest.mark.parametrize("rc, served, current, outcome", [
    ({}, {}, True, None),
    ({"head_ctx_id": OTHER}, {}, True, "head_ctx_id '%s' \u2260 served ctx_id '%s'" % (OTHER, HEAD)),
    ({"head_version": 3}, {}, True, "head_version 3 \u2260 served body.version 2 (RFC-ZELQ-0011 \u00a77 step 5)"),
    ({"head_ctx_id": OTHER, "head_version": 3}, {}, True, "head_ctx_id '%s' \u2260 served ctx_id" % OTHER),
    ({"head_version": 3, "head_status": "expired"}, {}, True, "head_version 3 \u2260 served body.version 2"),
    ({"head_status": "expired"}, {}, True, "head_status 'expired' \u2260 served registry_state.status 'active'"),
    ({"head_status": "frozen_2"}, {"head_status": "frozen_2"}, True, None),
    ({}, {}, "false", None),  # only a JSON boolean switches to step 5b
    ({"head_ctx_id": OTHER}, {}, "false", "\u2260 served ctx_id"),
    ({"head_version": 3}, {}, False, "head_version 3 \u2260 served body.version 2"),
    ({"head_ctx_id": OTHER, "head_version": 3}, {"head_status": "superseded"}, False, None),
    ({"head_ctx_id": OTHER, "head_version": 3}, {"head_status": "retracted"}, False, None),
    ({"head_ctx_id": OTHER, "head_version": 3}, {"head_status": "active"}, False,
     "names a different head '%s' but the served context's status is 'active', not 'superseded'" % OTHER),
    ({"head_ctx_id": OTHER, "head_version": 2}, {"head_status": "superseded"}, False,
     "head_version 2 is not greater than the served body.version 2 (RFC-ZELQ-0011 \u00a77 step 5b)"),
    ({"head_ctx_id": OTHER, "head_version": 2}, {"head_status": "active"}, False, "is not greater than the served"),
])
def test_head_against_served(rc, served, current, outcome):
    v = verify(receipt(**rc), expected(on_current_endpoint=current, **served))
    if outcome is None:
        assert v["valid"] is True, v
    else:
        assert outcome in failed(v)


# Rows of two faults report the earlier check.
@pytest.mark.parametrize("rc, exp, message", [
    ({"receipt_version": "zelq-lhr/2", "head_version": 0}, {}, "receipt_version 'zelq-lhr/2' \u2260 'zelq-lhr/1' (RFC-ZELQ-0011 \u00a74)"),
    ({"head_version": 0, "head_status": "Active"}, {}, "head_version must be >= 1"),
    ({"head_version": -1}, {}, "does not parse: invalid value: integer `-1`, expected u32"),
    ({"head_version": 2**32}, {}, "does not parse: invalid value: integer `4294967296`, expected u32"),
    ({"head_version": 2.0}, {}, "does not parse: invalid type: floating point `2.0`, expected u32"),
    ({"head_status": "Active"}, {}, "head_status: schema violation: status 'Active' does not match"),
    ({"head_status": "superseded", "registry_did": "did:key:z6Mk"}, {}, "head_status must never be 'superseded' (RFC-ZELQ-0011 \u00a74: a superseded"),
    ({"head_status": "retracted"}, {}, "head_status must never be 'retracted'"),
    ({"registry_did": "did:key:z6Mk", "as_of": "2026-03-01T11:59:00Z"}, {}, "registry_did 'did:key:z6Mk' must be did:web"),
    ({"as_of": "2026-03-01T11:59:00Z", "registry_did": "did:web:evil.example"}, {}, "as_of '2026-03-01T11:59:00Z' is not canonical millisecond-precision"),
    ({"as_of": "2026-03-01T11:59:00.000+00:00"}, {}, "as_of '2026-03-01T11:59:00.000+00:00' is not canonical"),
    ({"as_of": "2026-02-30T11:59:00.000Z"}, {}, "does not parse: input is out of range"),
    ({"extra": 1}, {}, "does not parse: unknown field `extra`, expected one of `receipt_version`, `registry_did`, "
                       "`lineage_id`, `head_ctx_id`, `head_version`, `head_status`, `as_of`, `signature`"),
    ({"lineage_id": 5}, {}, "does not parse: invalid type: integer `5`, expected a string"),
    # step 3, in its order
    ({"registry_did": "did:web:evil.example"}, {"registry_did": "did:web:other.example"},
     "registry_did 'did:web:evil.example' \u2260 serving authority's DID 'did:web:reg.example'"),
    ({"frag": ""}, {"registry_did": "did:web:other.example"},
     "registry_did 'did:web:reg.example' \u2260 capabilities.registry_did 'did:web:other.example'"),
    ({"frag": "", "head_ctx_id": "zelq://mirror.example/0b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f"}, {},
     "signature.key_id 'did:web:reg.example#' is not a DID URL under registry_did 'did:web:reg.example'"),
    ({"head_ctx_id": "zelq://mirror.example/0b7c1f6e-2d4a-4c6b-9f7e-1a2b3c4d5e6f", "lineage_id": "x"}, {},
     "head_ctx_id authority 'mirror.example' \u2260 registry_did 'did:web:reg.example' (RFC-ZELQ-0011 \u00a77 step 3: "
     "lineages are single-registry)"),
    ({"head_ctx_id": "urn:x"}, {}, "head_ctx_id authority '' \u2260 registry_did"),
    ({"lineage_id": "lin:sha256:" + "cd" * 32, "head_version": 3}, {}, "lineage_id 'lin:sha256:%s' \u2260 requested lineage '%s'"
                                                   % ("cd" * 32, LIN)),
    ({"head_version": 3, "as_of": "2026-03-01T12:09:00.000Z"}, {}, "head_version 3 \u2260 served body.version 2"),
])
def test_receipt_checks(rc, exp, message):
    r = receipt(**rc)
    assert PREFIX + message in failed(verify(r, expected(**exp)))


@pytest.mark.parametrize("key_id", [REG + "#", REG + "x#k1", "did:web:other#k1", "k1", REG])
def test_key_id_must_be_under_the_registry_did(key_id):
    r = receipt()
    r["signature"]["key_id"] = key_id
    assert "is not a DID URL under registry_did 'did:web:reg.example'" in failed(verify(r))


@pytest.mark.parametrize("text, message", [
    ('["zelq-lhr/1", "%s", "%s", "%s", 2, "active", "2026-03-01T11:59:00.000Z", ["ed25519", "%s#k1", "x"]]'
     % (REG, LIN, HEAD, REG), PREFIX + "as_of missing or not a string"),
    ('"receipt"', PREFIX + 'does not parse: invalid type: string "receipt", expected struct LineageHeadReceipt'),
    ('[1]', PREFIX + "does not parse: invalid type: integer `1`, expected a string"),
    ('["zelq-lhr/1"]', PREFIX + "does not parse: invalid length 1, expected struct LineageHeadReceipt with 8 elements"),
])
def test_receipt_shapes(text, message):
    assert failed(verify(text)) == message


@pytest.mark.parametrize("doc, code, message", [
    (did_document(REG, {"k2": ED}), "key_resolution", "DID document has no verificationMethod '#k1'"),
    ("not json", "key_resolution", "key resolution failed: DID document parse: "),
    (did_document("did:web:other.example", {"k1": ED}), "key_resolution", "\u2260 expected DID 'did:web:reg.example'"),
    (did_document(REG, {"k1": P}), "unsupported_algorithm", "signature declares 'ed25519' but verificationMethod"),
    (did_document(REG, {"k1": EdKey()}), "invalid_receipt",
     "receipt signature: invalid signature: signature verification failed"),
])
def test_registry_key_from_the_did_document(doc, code, message):
    assert message in failed(verify(receipt(), doc=doc), code)


@pytest.mark.parametrize("exp, message", [
    ("[]", "expected must be a JSON object"),
    (expected(authority=None), "expected must carry 'authority' (the serving authority the response was fetched from)"
                               " and/or 'registry_did' (capabilities.registry_did)"),
    (expected(authority=5, registry_did=7), "expected must carry 'authority'"),
    (expected(authority=None, registry_did="did:key:zab", lineage_id=None), "expected.registry_did 'did:key:zab' is not a did:web DID"),
    (expected(lineage_id=None), "expected.lineage_id is required"),
    (expected(lineage_id="lin:sha256:AB", head_ctx_id=None), "expected.lineage_id: schema violation: lineage_id digest must be 64"),
    (expected(head_ctx_id=None), "expected.head_ctx_id is required"),
    (expected(head_ctx_id="zelq://x/y", head_version=None), "expected.head_ctx_id: schema violation: ctx_id uuid 'y' is not"),
    *[(expected(head_version=v, head_status=None), "expected.head_version is required and must be an unsigned integer")
      for v in (None, -1, 2**32, 2.0, "2")],
    (expected(head_status=None), "expected.head_status is required"),
    (expected(head_status="Active"), "expected.head_status: schema violation: status 'Active' does not match"),
    ('{"a":', "invalid expected JSON: EOF while parsing a value at line 1 column 5"),
])
def test_malformed_expectations_raise(exp, message):
    # Raised before the receipt is looked at, even a receipt that is not valid, and before the clock is read.
    with pytest.raises(ValueError) as e:
        V.verify_lineage_head_receipt("[]", exp, DOC, "soon")
    assert str(e.value).startswith(message)


@pytest.mark.parametrize("exp", [{"authority": "reg.example:8443"},
                                 {"authority": None, "registry_did": "did:web:reg.example%3A8443"}])
def test_authority_and_registry_did_derive_each_other(exp):
    # A full retrieval of a superseded version, whose head lives at a registry with a port.
    did = "did:web:reg.example%3A8443"
    r = signed({**receipt(), "registry_did": did, "head_version": 3,
                "head_ctx_id": OTHER.replace("reg.example", "reg.example:8443")}, ED, did + "#k1")
    v = verify(r, expected(head_status="superseded", on_current_endpoint=False, **exp),
               doc=did_document(did, {"k1": ED}))
    assert v["valid"] is True, v


def test_registry_did_with_a_path_derives_the_host_alone():
    did = REG + ":tenants:a"
    r = signed({**receipt(), "registry_did": did}, ED, did + "#k1")
    assert "\u2260 serving authority's DID 'did:web:reg.example'" in failed(
        verify(r, expected(authority=None, registry_did=did), doc=did_document(did, {"k1": ED})))


def test_bad_input_raises_in_order():
    with pytest.raises(ValueError, match="^invalid receipt JSON: "):
        V.verify_lineage_head_receipt("{", "{", DOC)
    with pytest.raises(ValueError, match="^invalid now_rfc3339 'soon': input contains invalid characters"):
        V.verify_lineage_head_receipt("[]", expected(), DOC, "soon")
    with pytest.raises(TypeError):
        V.verify_lineage_head_receipt("{}", expected(), DOC, NOW, 1.5)
