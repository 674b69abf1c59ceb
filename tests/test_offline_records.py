"""Offline verification of did:key bodies and publish requests, context
binding, and through them the publish-record readers and field rules."""
import copy
import json

import pytest

import zelq
from publish_fixtures import CTX, ED, HASH, OTHER_CTX, P256, DidKey, as_request, base_body, signed

V = zelq.ZelqVerifier


def outcome(fn, *args):
    try:
        return fn(*args)
    except (ValueError, RuntimeError) as e:
        return type(e).__name__, str(e)


def body_outcome(body):
    return outcome(V.verify_body_offline, json.dumps(body))


def with_changes(body, **changes):
    body = copy.deepcopy(body)
    for k, v in changes.items():
        if v is DROP:
            del body[k]
        else:
            body[k] = v
    return body


DROP = object()
GOLDEN = signed(base_body())


# ---- golden publications --------------------------------------------------------

@pytest.mark.parametrize("key", [ED, P256], ids=["ed25519", "p256"])
def test_golden_body_and_request_verify(key):
    body = signed(base_body(key), key)
    assert V.verify_body_offline(json.dumps(body)) is True
    assert V.verify_publish_request_offline(json.dumps(as_request(body))) is True
    assert V.verify_ctx_id_binding(json.dumps(body), CTX) is True


@pytest.mark.parametrize("change", [
    {"title": "Regional rainfall, 2030"}, {"version": 2}, {"tags": ["rain"]}, {"metadata": {"station_count": 41}},
    {"supersedes": OTHER_CTX}, {"expires_at": "2031-01-01T00:00:01Z"}, {"description": DROP},
    {"data_period": {"start": "2029-01-01T00:00:00Z", "end": "2029-12-31T23:59:58Z"}},
    {"x_extra": None}, {"audience": []}, {"visibility": "private"}, {"type": "analysis"},
])
def test_a_changed_signed_member_fails_with_the_hash_message(change):
    kind, text = body_outcome(with_changes(GOLDEN, **change))
    assert kind == "RuntimeError" and text.startswith(f"content_hash mismatch\n  stored:     {GOLDEN['content_hash']}\n")
    if "x_extra" in change:
        return  # a request has no extension members
    kind, text = outcome(V.verify_publish_request_offline, json.dumps(with_changes(as_request(GOLDEN), **change)))
    assert (kind, text.split("\n")[0]) == ("RuntimeError", "content_hash mismatch: content_hash mismatch")


@pytest.mark.parametrize("change", [
    {"ctx_id": OTHER_CTX}, {"origin_registry": "other.example"}, {"lineage_id": "lin:sha256:" + "0" * 64},
    {"created_at": "2030-01-01T09:00:00+09:00"}, {"supersedes": DROP},
    # Written back in UTC with the fewest fraction digits, as signed.
    {"expires_at": "2031-01-01T01:00:00.000+01:00"}, {"data_period": ["2029-01-01 00:00:00z", "2029-12-31T23:59:59Z"]},
])
def test_members_outside_the_hash_and_other_spellings_still_verify(change):
    assert V.verify_body_offline(json.dumps(with_changes(GOLDEN, **change))) is True


def test_a_body_hashed_over_zero_milliseconds_fails():
    # The producer hashed "…00.000Z"; the body is hashed with the instant written afresh.
    body = signed(with_changes(base_body(), expires_at="2031-01-01T00:00:00.000Z"))
    assert body_outcome(body)[1].startswith("content_hash mismatch")


# ---- offline body verification: the rows in their order --------------------------

ED2 = DidKey("ed25519", seed=9)
SCHEMA = "schema violation: "


def dataref(**fields):
    return [{"type": "raw_data", **fields}]


SIG_87 = {"algorithm": "ed25519", "key_id": ED.key_id, "value": "A" * 87}
NOT_ITS_KEY = {"algorithm": "ed25519", "key_id": ED2.key_id, "value": "A" * 88}
EXTENSIONS_101 = {f"e{i}": i for i in range(101)}


@pytest.mark.parametrize("change, message", [
    # Two faults of neighbouring checks: the earlier check reports.
    ({"title": "", "description": "d" * 5001}, SCHEMA + "title length 0 not in 1..=500"),
    ({"description": "d" * 5001, "summary": "s" * 1001}, SCHEMA + "description length 5001 exceeds 5000"),
    ({"summary": "s" * 1001, "domain": "d" * 201}, SCHEMA + "summary length 1001 exceeds 1000"),
    ({"domain": "d" * 201, "agent_id": "did:example:abc"}, SCHEMA + "domain length 201 exceeds 200"),
    ({"agent_id": "did:example:abc", "contributors": ["nodid"]},
     SCHEMA + "v0.1.0 producers MUST use did:web; got: did:example:abc"),
    ({"contributors": ["nodid", "nodid"]}, SCHEMA + "DID length 5 not in 7..=2048"),
    ({"contributors": ["did:web:a", "did:web:a"], "derived_from": ["x", "x"]},
     SCHEMA + 'contributors contains duplicate entry: AgentDid("did:web:a")'),
    ({"derived_from": ["x", "x"], "tags": ["_x"]}, SCHEMA + 'derived_from contains duplicate entry: CtxId("x")'),
    ({"tags": ["_x"], "audience": ["did:web:x", "did:web:x"], "visibility": "restricted"},
     SCHEMA + "tag '_x' first char must be alphanumeric"),
    ({"audience": ["bad", "bad"], "visibility": "restricted"}, SCHEMA + 'audience contains duplicate entry: AgentDid("bad")'),
    ({"audience": ["bad"]}, SCHEMA + "DID length 3 not in 7..=2048"),
    ({"audience": ["did:web:x"], "data_period": {"start": "2029-01-02T00:00:00Z", "end": "2029-01-01T00:00:00Z"}},
     SCHEMA + "visibility:public MUST NOT include audience"),
    ({"metadata": [], **EXTENSIONS_101}, SCHEMA + "metadata must be a JSON object"),
    ({**EXTENSIONS_101, "data_refs": dataref()}, SCHEMA + "extensions has 101 top-level properties, exceeds 100 limit"),
    ({"data_refs": dataref(), "anchors": []},
     SCHEMA + "DataRef requires exactly one of 'location' or 'embedded' (got neither)"),
    ({"anchors": [], "signature": SIG_87}, SCHEMA + "anchors MUST be omitted entirely (never sent as an empty array) "
     "when there is nothing to anchor \u2014 the absent-when-empty convention (RFC-ZELQ-0016 \u00a74)"),
    ({"signature": dict(SIG_87, key_id=ED.did + "#x")},
     "invalid signature: signature.value for 'ed25519' must be 88 base64 chars, got 87"),
    ({"signature": {"algorithm": "ed25519", "key_id": ED.did + "#x", "value": "A" * 88}, "ctx_id": "x"},
     f"key resolution failed: did:key fragment '#x' must equal the method-specific identifier "
     f"'{ED.did[8:]}' (the did:key document's only verification method is the key itself)"),
    ({"lineage_id": "lin:sha256:0", "content_hash": "sha256:" + "A" * 64},
     SCHEMA + "lineage_id digest must be 64 lowercase hex chars, got: 0"),
    ({"content_hash": "sha256:" + "A" * 64, "supersedes": "zelq://host"},
     SCHEMA + "content_hash digest must be 64 lowercase hex chars, got: " + "A" * 64),
    ({"supersedes": "zelq://host", "derived_from": ["zelq://A/x"]}, SCHEMA + "ctx_id missing '/<uuid>': zelq://host"),
    ({"derived_from": ["zelq://A/x"], "zelq_version": "1.2"}, SCHEMA + "ctx_id authority 'A' is not a lowercase DNS hostname"),
    ({"zelq_version": "1.2", "origin_registry": "did:web:x"},
     SCHEMA + "zelq_version '1.2' must match the semver pattern ^\\d+\\.\\d+\\.\\d+$"),
    ({"origin_registry": "did:web:x", "agent_id": "did:web:lab.example"}, SCHEMA + "origin_registry must be a DNS "
     "hostname, not a DID URI (got 'did:web:x'); use the bare authority \u2014 capabilities.registry_did carries the "
     "did:web form"),
    ({"agent_id": "did:web:lab.example", "content_hash": HASH}, "key resolution failed: verify_body_offline supports "
     "did:key producers only; 'did:web:lab.example' requires the resolver-backed Verifier (client feature)"),
    ({"content_hash": HASH, "signature": NOT_ITS_KEY},
     f"content_hash mismatch\n  stored:     {HASH}\n  recomputed: {GOLDEN['content_hash']}"),
    # One fault each.
    ({"agent_id": "did:example:abc"}, SCHEMA + "v0.1.0 producers MUST use did:web; got: did:example:abc"),
    ({"agent_id": "did:key:abc"},
     "key resolution failed: did:key requires the 'z' (base58btc) multibase prefix, got 'abc'"),
    ({"contributors": ["nodid"]}, SCHEMA + "DID length 5 not in 7..=2048"),
    ({"contributors": ["did:web:a", "did:web:b", "did:web:a"]},
     SCHEMA + 'contributors contains duplicate entry: AgentDid("did:web:a")'),
    ({"derived_from": ["x", "y", "x"]}, SCHEMA + 'derived_from contains duplicate entry: CtxId("x")'),
    # Invisible and combining characters are shown by code point.
    ({"derived_from": ["x\u0301\u00a0\u200b\x7f\u00e9", "x\u0301\u00a0\u200b\x7f\u00e9"]},
     SCHEMA + 'derived_from contains duplicate entry: CtxId("x\\u{301}\\u{a0}\\u{200b}\\u{7f}\u00e9")'),
    ({"tags": ["_x"]}, SCHEMA + "tag '_x' first char must be alphanumeric"),
    ({"tags": ["a", ""]}, SCHEMA + "tag '' length not in 1..=100"),
    ({"tags": ["a b"]}, SCHEMA + "tag 'a b' must match [A-Za-z0-9][A-Za-z0-9_.-]*"),
    ({"tags": ["a", "A", "a", "b!"]}, SCHEMA + "tag 'b!' must match [A-Za-z0-9][A-Za-z0-9_.-]*"),
    ({"tags": ["a", "A", "a"]}, SCHEMA + "tags contains duplicate entry: a"),
    ({"audience": ["did:web:x", "did:web:x"], "visibility": "restricted"},
     SCHEMA + 'audience contains duplicate entry: AgentDid("did:web:x")'),
    ({"audience": ["bad"], "visibility": "restricted"}, SCHEMA + "DID length 3 not in 7..=2048"),
    ({"audience": ["did:web:x"]}, SCHEMA + "visibility:public MUST NOT include audience"),
    ({"audience": None, "visibility": "restricted"}, SCHEMA + "visibility:restricted requires a non-empty audience"),
    ({"data_period": {"start": "2029-01-02T00:00:00Z", "end": "2029-01-01T00:00:00Z"}, "metadata": []},
     SCHEMA + "data_period.start must not be after data_period.end"),
    ({"metadata": []}, SCHEMA + "metadata must be a JSON object"),
    ({"data_refs": dataref()}, SCHEMA + "DataRef requires exactly one of 'location' or 'embedded' (got neither)"),
    ({"data_refs": dataref(location="a:b", embedded=["utf8", "x"], description="d" * 2000)},
     SCHEMA + "DataRef requires exactly one of 'location' or 'embedded' (got both)"),
    ({"data_refs": dataref(location="a:b", content_hash="sha256:" + "A" * 64)},
     SCHEMA + "content_hash digest must be 64 lowercase hex chars, got: " + "A" * 64),
    ({"data_refs": dataref(location="1x:y")}, SCHEMA + "URI scheme '1x' invalid; must match [a-z][a-z0-9+.-]*"),
    ({"data_refs": dataref(location="urn")}, SCHEMA + "URI missing scheme: urn"),
    ({"data_refs": dataref(location="https://u@h/p")},
     SCHEMA + "URI MUST NOT contain credentials in userinfo: https://u@h/p"),
    ({"data_refs": dataref(location={"scheme": 1})}, SCHEMA + "structured locator missing required 'scheme'"),
    ({"data_refs": dataref(location={"scheme": "ipfs"})},
     SCHEMA + "structured locator scheme 'ipfs' must match ^[a-z][a-z0-9-]*(\\.[a-z][a-z0-9-]*)+$"),
    ({"data_refs": dataref(embedded={"encoding": "utf8", "content": {}})},
     SCHEMA + "embedded Utf8 content MUST be a JSON string"),
    ({"data_refs": dataref(embedded={"encoding": "base64", "content": "YQ"})},
     SCHEMA + "base64 decode failed: Invalid padding"),
    ({"data_refs": dataref(embedded={"encoding": "utf8", "content": "a", "content_hash": HASH})},
     "data_ref hash mismatch: embedded.content_hash mismatch: declared " + HASH + ", computed "
     "sha256:ca978112ca1bbdcafac231b39a23dc4da786eff8147c4e72b9807785afee48bb"),
    ({"anchors": []}, SCHEMA + "anchors MUST be omitted entirely (never sent as an empty array) when there is "
     "nothing to anchor \u2014 the absent-when-empty convention (RFC-ZELQ-0016 \u00a74)"),
    ({"anchors": [{"scheme": "btc", "content_hash": HASH}]},
     SCHEMA + "anchor scheme 'btc' must match ^[a-z][a-z0-9-]*(\\.[a-z][a-z0-9-]*)+$ (RFC-ZELQ-0016 \u00a74)"),
    ({"anchors": [{"scheme": "s", "content_hash": "h", "a": 1, "b": [{"x": 1, "y": 2}]},
                  {"b": [{"y": 2, "x": 1}], "a": 1, "content_hash": "h", "scheme": "s", "uri": None}]},
     SCHEMA + 'anchors contains duplicate entry: AnchorEntry { scheme: "s", content_hash: ContentHash("h"), '
     'uri: None, extensions: {"a": Number(1), "b": Array [Object {"x": Number(1), "y": Number(2)}]} }'),
    ({"signature": {"algorithm": "ed25519", "key_id": ED.key_id, "value": "A" * 87}},
     "invalid signature: signature.value for 'ed25519' must be 88 base64 chars, got 87"),
    ({"signature": {"algorithm": "ecdsa-p256", "key_id": ED.key_id, "value": "A" * 89}},
     "invalid signature: signature.value for 'ecdsa-p256' must be 88 base64 chars, got 89"),
    ({"signature": {"algorithm": "ED25519", "key_id": ED.key_id, "value": "A"}},
     "invalid signature: signature.algorithm 'ED25519' does not match the did:key multicodec (key implies "
     "'ed25519')"),
    ({"signature": {"algorithm": "ed25519", "key_id": ED.did + "#x", "value": "A" * 88}},
     f"key resolution failed: did:key fragment '#x' must equal the method-specific identifier "
     f"'{ED.did[8:]}' (the did:key document's only verification method is the key itself)"),
    ({"ctx_id": "x", "lineage_id": "y", "derived_from": ["z"]}, SCHEMA + "ctx_id must start with 'zelq://', got: x"),
    ({"lineage_id": "lin:sha256:0"}, SCHEMA + "lineage_id digest must be 64 lowercase hex chars, got: 0"),
    ({"content_hash": GOLDEN["content_hash"].upper()},
     SCHEMA + "content_hash must start with 'sha256:', got: " + GOLDEN["content_hash"].upper()),
    ({"supersedes": "zelq://host", "zelq_version": "1.2"}, SCHEMA + "ctx_id missing '/<uuid>': zelq://host"),
    ({"derived_from": [OTHER_CTX, "zelq://A/x"]}, SCHEMA + "ctx_id authority 'A' is not a lowercase DNS hostname"),
    ({"zelq_version": "1.2"}, SCHEMA + "zelq_version '1.2' must match the semver pattern ^\\d+\\.\\d+\\.\\d+$"),
    ({"origin_registry": "did:web:x"}, SCHEMA + "origin_registry must be a DNS hostname, not a DID URI (got "
     "'did:web:x'); use the bare authority \u2014 capabilities.registry_did carries the did:web form"),
    ({"agent_id": "did:web:lab.example"}, "key resolution failed: verify_body_offline supports did:key producers "
     "only; 'did:web:lab.example' requires the resolver-backed Verifier (client feature)"),
    ({"signature": NOT_ITS_KEY}, f"key not authorized: key_id DID '{ED2.did}' \u2260 agent_id '{ED.did}'"),
    ({"signature": {"algorithm": "ecdsa-p256", "key_id": ED.key_id, "value": "A" * 88}},
     "invalid signature: signature.algorithm 'ecdsa-p256' does not match the did:key multicodec (key implies "
     "'ed25519')"),
    ({"signature": {"algorithm": "ed25519", "key_id": ED.key_id, "value": "A" * 86 + "=="}},
     "invalid signature: signature verification failed"),
])
def test_body_failure_rows(change, message):
    # Re-signed where the hash is not what the row is about.
    body = with_changes(GOLDEN, **change)
    if not {"signature", "content_hash"} & change.keys():
        body = signed(body)
    assert body_outcome(body) == ("RuntimeError", message)


def test_title_is_checked_first_and_the_body_text_first_of_all():
    assert body_outcome(with_changes(GOLDEN, title="", agent_id="x"))[1] == SCHEMA + "title length 0 not in 1..=500"
    assert outcome(V.verify_body_offline, "{}") == (
        "ValueError", "invalid body JSON: missing field `ctx_id` at line 1 column 2")


# ---- limits at their boundaries -------------------------------------------------

def dids(n):
    return [f"did:web:c{i}.example" for i in range(n)]


def ctx_ids(n):
    return [f"zelq://r.example/00000000-0000-4000-8000-{i:012x}" for i in range(n)]


def nested(depth):
    v = {}
    for _ in range(depth - 1):
        v = {"a": v}
    return v


def limit_cases():
    ok_uri = "a:" + "b" * 4094
    return [
        ({"title": "\u00e9" * 500}, {"title": "\u00e9" * 501}, "title length 501 not in 1..=500"),
        ({"description": "d" * 5000}, {"description": "d" * 5001}, "description length 5001 exceeds 5000"),
        ({"summary": "s" * 1000}, {"summary": "s" * 1001}, "summary length 1001 exceeds 1000"),
        ({"domain": "d" * 200}, {"domain": "d" * 201}, "domain length 201 exceeds 200"),
        ({"contributors": dids(100)}, {"contributors": dids(101)}, "contributors has 101 items, exceeds 100"),
        ({"audience": dids(1000), "visibility": "restricted"}, {"audience": dids(1001), "visibility": "restricted"},
         "audience has 1001 items, exceeds 1000"),
        ({"derived_from": ctx_ids(1000)}, {"derived_from": ctx_ids(1001)}, "derived_from has 1001 items, exceeds 1000"),
        ({"tags": [f"t{i}" for i in range(200)]}, {"tags": [f"t{i}" for i in range(201)]},
         "tags has 201 entries, exceeds 200"),
        ({"tags": ["t" * 100]}, {"tags": ["t" * 101]}, f"tag '{'t' * 101}' length not in 1..=100"),
        ({"metadata": {f"k{i}": i for i in range(100)}}, {"metadata": {f"k{i}": i for i in range(101)}},
         "metadata has 101 top-level properties, exceeds 100 limit"),
        ({"metadata": nested(8)}, {"metadata": nested(9)}, "metadata nesting depth 9 exceeds 8"),
        ({"metadata": {"k": "x" * 65528}}, {"metadata": {"k": "x" * 65529}},
         "metadata JCS-canonical size 65537 bytes exceeds 65536"),
        ({f"e{i}": i for i in range(100)}, {f"e{i}": i for i in range(101)},
         "extensions has 101 top-level properties, exceeds 100 limit"),
        ({"x": nested(7)}, {"x": nested(8)}, "extensions nesting depth 9 exceeds 8"),
        ({"x": "x" * 65528}, {"x": "x" * 65529}, "extensions JCS-canonical size 65537 bytes exceeds 65536"),
        ({"data_refs": dataref(location="a:b", description="\u00e9" * 1000)},
         {"data_refs": dataref(location="a:b", description="\u00e9" * 1001)},
         "DataRef.description 1001 chars exceeds 1000 limit"),
        ({"data_refs": dataref(location=ok_uri)}, {"data_refs": dataref(location=ok_uri + "b")},
         "DataRef.location URI length 4097 not in 3..=4096"),
        ({"data_refs": dataref(location="a:b")}, {"data_refs": dataref(location="ab")},
         "DataRef.location URI length 2 not in 3..=4096"),
        ({"anchors": [{"scheme": "a.b", "content_hash": HASH, "n": i} for i in range(100)]},
         {"anchors": [{"scheme": "a.b", "content_hash": HASH, "n": i} for i in range(101)]},
         "anchors has 101 items, exceeds 100"),
    ]


@pytest.mark.parametrize("at_limit, over, message", limit_cases(), ids=lambda v: str(v)[:30])
def test_limits_hold_at_the_boundary_and_fail_past_it(at_limit, over, message):
    assert V.verify_body_offline(json.dumps(signed(with_changes(GOLDEN, **at_limit)))) is True
    assert body_outcome(signed(with_changes(GOLDEN, **over))) == ("RuntimeError", SCHEMA + message)


@pytest.mark.parametrize("earlier", ['"x":' + "[" * 8 + "]" * 8, '"x":"' + "x" * 70000 + '"', '"e0":0'],
                         ids=["deep", "large", "one-more-name"])
def test_an_extra_member_that_comes_again_counts_once_with_its_last_value(earlier):
    text = json.dumps(signed(with_changes(GOLDEN, x=1, **{f"e{i}": i for i in range(99)})))
    assert V.verify_body_offline("{" + earlier + "," + text[1:]) is True


def test_embedded_size_limit():
    body = with_changes(GOLDEN, data_refs=dataref(embedded={"encoding": "utf8", "content": "x" * 65536}))
    assert V.verify_body_offline(json.dumps(signed(body))) is True
    body["data_refs"][0]["embedded"]["content"] += "x"
    assert body_outcome(signed(body)) == (
        "RuntimeError", "embedded data reference too large: embedded decoded size 65537 bytes exceeds 65536 limit")


@pytest.mark.parametrize("change, message", [
    ({"description": "d" * 10_000_000}, SCHEMA + "description length 10000000 exceeds 5000"),
    ({"tags": ["t"] * 100_000}, SCHEMA + "tags has 100000 entries, exceeds 200"),
    ({"metadata": nested(120)}, SCHEMA + "metadata nesting depth 120 exceeds 8"),
    ({"metadata": {"a": "x" * 70000, "b": 1}}, SCHEMA + "metadata JCS-canonical size 70014 bytes exceeds 65536"),
    ({"a": "x" * 70000, "b": 1}, SCHEMA + "extensions JCS-canonical size 70014 bytes exceeds 65536"),
    ({"data_refs": dataref(embedded={"encoding": "base64", "content": "not base64!"})},
     SCHEMA + "base64 decode failed: Invalid symbol 32, offset 3."),
])
def test_hostile_bodies_fail_cleanly(change, message):
    assert body_outcome(with_changes(GOLDEN, **change)) == ("RuntimeError", message)


# ---- the body reader, through the verifiers --------------------------------------

def golden_text(**replace):
    body = dict(GOLDEN)
    body.update(replace)
    return json.dumps(body, separators=(",", ":"))


@pytest.mark.parametrize("text, message", [
    ("[]", "invalid type: sequence, expected struct Body at line 1 column 0"),
    (" ", "EOF while parsing a value at line 1 column 1"),
    (golden_text() + " {}", "trailing characters"),
    (golden_text().replace('"title"', '"title":"x","title"', 1), "duplicate field `title`"),
    (golden_text(description=None), "invalid type: null, expected a string"),
    (golden_text(anchors=None), "invalid type: null, expected a sequence"),
    (golden_text(version=4294967296), "invalid value: integer `4294967296`, expected u32"),
    (golden_text(version=-1), "invalid value: integer `-1`, expected u32"),
    (golden_text(version=1.0), "invalid type: floating point `1.0`, expected u32"),
    (golden_text(visibility="Public"), "unknown variant `Public`, expected one of `public`, `restricted`, `private`"),
    (golden_text(visibility=None), "expected value"),
    (golden_text(type="key_revocation"), "context_type 'key_revocation' is not a known ZELQ type and does not match "
     "the namespaced custom pattern ^[a-z][a-z0-9_]*:[a-z][a-z0-9_-]*$"),
    (golden_text(signature=None), "invalid type: null, expected struct Signature"),
    (golden_text(created_at="99999-01-01T00:00:00Z"), "input contains invalid characters"),
    (golden_text(created_at="2030-01-01"), "premature end of input"),
    (golden_text(data_period={}), "missing field `start`"),
    (golden_text(data_refs=[{"type": "raw_data", "description": None}]), "invalid type: null, expected a string"),
    (golden_text(data_refs=[{"type": "raw_data", "size_bytes": 1.0}]),
     "invalid type: floating point `1.0`, expected u64"),
    (golden_text(data_refs=[{"type": "raw_data", "embedded": {"encoding": "json", "content": 1, "x": 1}}]),
     "unknown field `x`, expected one of `encoding`, `content`, `content_hash`"),
    ('{"a":' * 128 + "1" + "}" * 128, "recursion limit exceeded at line 1 column 636"),
    # Entries past a list's bound are read for their form all the same, and
    # its count is refused only once the whole body has read.
    ('{"tags":[' + '"t",' * 250 + "5]}", "invalid type: integer `5`, expected a string at line 1 column 1010"),
    ('{"tags":[' + '"t",' * 250 + '"t"],"version":-1}', "invalid value: integer `-1`, expected u32"),
])
def test_body_reader_faults(text, message):
    for call in (lambda: V.verify_body_offline(text), lambda: V.verify_ctx_id_binding(text, CTX)):
        with pytest.raises(ValueError) as info:
            call()
        assert str(info.value).startswith("invalid body JSON: " + message)
        assert " at line 1 column " in str(info.value)


@pytest.mark.parametrize("signed_as, stored_as", [
    ({"extensions": {"a": 1}}, None), ({"zelq:key-revocation": 1}, None),
    ({"type": "zelq:key-revocation"}, None), ({"type": "x9_:y-1"}, None),
    ({"visibility": "private"}, {"visibility": {"private": None}}),
    ({"type": "alert"}, {"type": "\\u0061lert"}),
    ({"expires_at": DROP, "data_period": DROP, "metadata": DROP},
     {"expires_at": None, "data_period": None, "metadata": None}),
])
def test_body_reader_accepts(signed_as, stored_as):
    body = signed(with_changes(GOLDEN, **signed_as))
    text = json.dumps(with_changes(body, **(stored_as or {})))
    assert V.verify_body_offline(text.replace("\\\\u", "\\u")) is True


# ---- publish requests ------------------------------------------------------------

REQUEST = as_request(GOLDEN)
FIELDS = ["version", "supersedes", "agent_id", "contributors", "title", "type", "data_refs", "derived_from",
          "visibility", "content_hash", "signature", "audience", "zelq_version", "description", "summary",
          "lineage_id", "tags", "domain", "expires_at", "data_period", "metadata", "schema_uri", "anchors"]


def request_outcome(request):
    text = request if isinstance(request, str) else json.dumps(request)
    return outcome(V.verify_publish_request_offline, text)


def test_request_hash_is_over_the_text_as_sent():
    # Member order and lineage_id do not count; spellings do.
    reordered = dict(reversed(list(with_changes(REQUEST, lineage_id=DROP).items())))
    assert request_outcome(reordered) is True
    assert request_outcome(with_changes(REQUEST, expires_at="2031-01-01T00:00:00.000Z"))[1].startswith(
        "content_hash mismatch: content_hash mismatch\n  stored:     ")
    # Field rules are not applied to a request.
    assert request_outcome(signed(with_changes(REQUEST, title="", tags=["_"]))) is True


def test_array_form_reads_like_the_object_but_is_not_an_object_to_hash():
    array = [REQUEST.get(f) for f in FIELDS[:21]]
    assert request_outcome(array) == ("RuntimeError", "content_hash mismatch: invalid body: expected a JSON object")
    for form in (array[:8] + ["Public"] + array[9:], with_changes(REQUEST, visibility="Public")):
        kind, text = request_outcome(form)
        assert kind == "ValueError" and text.startswith(
            "invalid request JSON: unknown variant `Public`, expected one of `public`, `restricted`, `private` at")


@pytest.mark.parametrize("change, message", [
    ({"ctx_id": CTX}, "invalid request JSON: unknown field `ctx_id`, expected one of " +
     ", ".join(f"`{f}`" for f in FIELDS) + " at line 1 column 9"),
    ({"summary": None}, "invalid request JSON: invalid type: null, expected a string at line 1 column"),
    # Metadata the check drops unbuilt is still read whole, limits included.
    ({"metadata": json.loads("[" * 130 + "]" * 130)}, "invalid request JSON: recursion limit exceeded at line 1 col"),
    # The hash first, then the key's owner, then the DID method, then the signature.
    ({"title": "changed", "signature": NOT_ITS_KEY}, "content_hash mismatch: content_hash mismatch\n"),
    ({"signature": NOT_ITS_KEY}, f"key not authorized: key_id DID '{ED2.did}' \u2260 agent_id '{ED.did}'"),
    ({"agent_id": "did:web:lab.example", "signature": NOT_ITS_KEY},
     f"key not authorized: key_id DID '{ED2.did}' \u2260 agent_id 'did:web:lab.example'"),
    ({"agent_id": "did:web:lab.example", "signature": {"algorithm": "ed25519", "key_id": "did:web:lab.example#k",
                                                       "value": "A"}},
     "key resolution failed: offline verification supports did:key only; got 'did:web:lab.example'"),
    ({"signature": {"algorithm": "ed25519", "key_id": ED.did, "value": "A"}},
     f"key resolution failed: key_id '{ED.did}' has no '#fragment'"),
    ({"signature": {"algorithm": "ed25519", "key_id": ED.key_id, "value": "A" * 86 + "=="}},
     "invalid signature: signature verification failed"),
])
def test_request_failure_rows(change, message):
    request = with_changes(REQUEST, **change)
    if "agent_id" in change:
        request = with_changes(signed(request), signature=change["signature"])
    text = json.dumps(request, separators=(",", ":")) if "ctx_id" not in change else \
        json.dumps({"ctx_id": CTX, **REQUEST}, separators=(",", ":"))
    kind, got = request_outcome(text)
    assert got.startswith(message)
    assert kind == ("ValueError" if message.startswith("invalid request JSON") else "RuntimeError")


def test_request_trailing_text():
    text = json.dumps(REQUEST, separators=(",", ":"))
    assert request_outcome(text + " \n\t") is True
    assert request_outcome(text + "x") == (
        "ValueError", f"invalid request JSON: trailing characters at line 1 column {len(text) + 1}")


# ---- context binding -------------------------------------------------------------

@pytest.mark.parametrize("served, expected, result", [
    (CTX, CTX, True),
    (CTX, OTHER_CTX, ("RuntimeError", f"context substitution: requested {OTHER_CTX}, registry served {CTX}")),
    (CTX, CTX.replace("registry", "Registry"),
     ("ValueError", "schema violation: ctx_id authority 'Registry.example' is not a lowercase DNS hostname")),
    ("zelq://host", "bad", ("ValueError", "schema violation: ctx_id missing '/<uuid>': zelq://host")),
    (CTX, "bad", ("ValueError", "schema violation: ctx_id must start with 'zelq://', got: bad")),
])
def test_ctx_id_binding(served, expected, result):
    # Nothing else of the body is judged.
    body = with_changes(GOLDEN, ctx_id=served, title="", tags=["_"])
    assert outcome(V.verify_ctx_id_binding, json.dumps(body), expected) == result


def test_method_surface():
    assert V.verify_body_offline.__doc__.startswith("Fully verify a `did:key` body offline (ZELQ 0.2)")
    assert V.verify_publish_request_offline.__text_signature__ == "(request_json)"
    assert V.verify_ctx_id_binding(body_json=json.dumps(GOLDEN), expected_ctx_id=CTX) is True
    with pytest.raises(TypeError):
        V.verify_body_offline(None)
