"""build_publish_request and build_supersede_request of both producer classes:
requests checked against an independent hash and signature oracle, argument
parsing, override rules and the order in which failures are reported."""
import base64
import datetime
import hashlib
import json
import sys

import pytest
from hypothesis import example, given, strategies as st

import zelq
from artefacts import canonical_json
from test_producer import SEED, verify

Ed, P = zelq.ZelqProducer, zelq.ZelqP256Producer
V = zelq.ZelqVerifier
CTX = "zelq://registry.example/{}"
UUID = "0b7b5f3e-8d2a-4c1e-9f00-1234567890ab"
LINEAGE = "lin:sha256:" + "ab" * 32
REQUEST_ORDER = ["version", "supersedes", "agent_id", "contributors", "title", "type", "data_refs",
                 "derived_from", "visibility", "content_hash", "signature", "audience", "zelq_version",
                 "description", "summary", "lineage_id", "tags", "domain", "expires_at", "data_period",
                 "metadata", "schema_uri", "anchors"]
ANCHOR = {"scheme": "org.example.chain", "content_hash": "sha256:" + "cd" * 32, "uri": "https://a.example/x",
          "note": "kept"}
DATA_REF = {"type": "raw_data", "description": "d", "size_bytes": 3, "format": "text/csv",
            "location": "https://a.example/data.csv", "x-extra": [1, {"b": None}]}
FULL = dict(
    visibility="restricted", description="a description", summary="a summary", tags=("t1", "t2"),
    domain="markets", metadata='{"k": [1, 2.5, "\\u00e9"], "n": null}', derived_from=[CTX.format(UUID)],
    audience=["did:web:reader.example"], schema_uri="https://schemas.example/v1",
    contributors=["did:web:helper.example"], data_refs=json.dumps([DATA_REF]), anchors=json.dumps([ANCHOR]),
    expires_at="2027-01-02T03:04:05.123456789+02:00",
    data_period='{"start": "2026-01-01T00:00:00.000999Z", "end": "2026-02-01T00:00:00Z"}', zelq_version="0.4.1")


@pytest.fixture(params=[Ed, P], ids=["ed25519", "p256"])
def producer(request):
    return request.param.from_seed_did_key(SEED)


def check_request(p, text, version):
    """Member order, hash over the request less content_hash, signature and
    lineage_id (by canonical JSON written in the tests) and the signature by `cryptography`."""
    req = json.loads(text)
    assert list(req) == [m for m in REQUEST_ORDER if m in req]
    assert text == json.dumps(req, separators=(",", ":"), ensure_ascii=False)
    assert req["version"] == version and req["agent_id"] == p.agent_did
    body = {k: v for k, v in req.items() if k not in ("content_hash", "signature", "lineage_id")}
    assert req["content_hash"] == "sha256:" + hashlib.sha256(canonical_json(body)).hexdigest()
    sig = req["signature"]
    assert sig["key_id"] == p.key_id and sig["algorithm"] == ("ed25519" if isinstance(p, Ed) else "ecdsa-p256")
    verify(p, sig["value"], req["content_hash"])
    if p.agent_did.startswith("did:key:"):
        assert V.verify_publish_request_offline(text) is True
    return req


def as_body(req, n):
    """The request completed with the members a registry assigns."""
    body = dict(req, ctx_id=CTX.format(UUID[:-2] + "%02d" % n), origin_registry="registry.example",
                created_at="2026-03-01T00:00:00.000Z")
    body.setdefault("lineage_id", LINEAGE)
    return json.dumps(body)


@pytest.mark.parametrize("kwargs", [{}, FULL], ids=["minimal", "every-argument"])
def test_publish_then_supersede_chain(producer, kwargs):
    text = producer.build_publish_request("A title", "acme:report", **kwargs)
    req = check_request(producer, text, 1)
    assert req["supersedes"] is None and "lineage_id" not in req
    assert text == type(producer).from_seed_did_key(SEED).build_publish_request("A title", "acme:report", **kwargs)
    if kwargs:
        # Every argument lands in its own member (distinct values pin the binding).
        assert {k: req[k] for k in FULL} == dict(
            FULL, tags=list(FULL["tags"]), metadata=json.loads(FULL["metadata"]), data_refs=[DATA_REF],
            anchors=[ANCHOR], expires_at="2027-01-02T01:04:05.123Z",
            data_period={"start": "2026-01-01T00:00:00Z", "end": "2026-02-01T00:00:00Z"})
    else:
        assert set(req) == set(REQUEST_ORDER[:11]) | {"zelq_version"} and req["zelq_version"] == "0.4.0"
    # Two supersessions: the first keeps every field, the second overrides some.
    assert V.verify_body_offline(as_body(req, 1)) is True
    prev = req
    for n, overrides in enumerate([{}, dict(title="New", tags=[], clear_anchors=True, summary="s2",
                                            description="d2", domain="dom2", zelq_version="0.5.0")], start=1):
        text = producer.build_supersede_request(as_body(prev, n), **overrides)
        nxt = check_request(producer, text, n + 1)
        assert {k: nxt[k] for k in overrides if k != "clear_anchors"} == {
            k: v for k, v in overrides.items() if k != "clear_anchors"}
        assert nxt["supersedes"] == json.loads(as_body(prev, n))["ctx_id"] and nxt["lineage_id"] == LINEAGE
        assert V.verify_body_offline(as_body(nxt, n + 1)) is True
        kept = {k: v for k, v in prev.items() if k not in
                ("version", "supersedes", "content_hash", "signature", "lineage_id", "anchors", *overrides)}
        assert {k: nxt[k] for k in kept} == kept
        prev = nxt
    assert prev["title"] == "New" and prev["tags"] == [] and "anchors" not in prev


@pytest.mark.parametrize("kwargs, present", [
    ({}, "0.4.0"), ({"zelq_version": "1.2.3"}, "1.2.3"), ({"omit_zelq_version": False}, "0.4.0"),
    ({"omit_zelq_version": True}, None), ({"zelq_version": "1.2.3", "omit_zelq_version": True}, None),
])
def test_zelq_version_rule(producer, kwargs, present):
    req = json.loads(producer.build_publish_request("T", "analysis", **kwargs))
    assert req.get("zelq_version") == present
    # A lineage keeps the form it started with unless told otherwise.
    nxt = json.loads(producer.build_supersede_request(as_body(req, 1)))
    assert nxt.get("zelq_version") == present
    nxt = json.loads(producer.build_supersede_request(as_body(req, 1), zelq_version="9.9.9"))
    assert nxt["zelq_version"] == "9.9.9"


def test_supersede_overrides(producer):
    body = as_body(json.loads(producer.build_publish_request("T", "alert", anchors=json.dumps([ANCHOR]))), 1)
    req = json.loads(producer.build_supersede_request(
        body, expected_lineage_id="lin:sha256:" + "01" * 32, anchors="[]", clear_anchors=True,
        metadata='{"m": 1}', data_refs="[]", expires_at="2027-01-01T00:00:00.999999Z"))
    assert req["lineage_id"] == "lin:sha256:" + "01" * 32 and "anchors" not in req
    assert req["metadata"] == {"m": 1} and req["expires_at"] == "2027-01-01T00:00:00.999Z"
    # A body at the largest version wraps to 0, and one at 0 derives 1: the build refuses both.
    for previous, derived in ((4294967295, 0), (0, 1)):
        with pytest.raises(RuntimeError, match=f"^schema violation: supersession publish requires version >= 2, "
                           f"got {derived}$"):
            producer.build_supersede_request(json.dumps(dict(json.loads(body), version=previous)))
    # The previous body is read before any argument, and metadata before data_refs.
    with pytest.raises(ValueError, match=r"^invalid body JSON: .* at line 1 column \d+$"):
        producer.build_supersede_request("{not json", metadata="{")
    with pytest.raises(ValueError, match="^invalid metadata JSON: "):
        producer.build_supersede_request(body, metadata="{", data_refs="x")
    # Metadata past its limits is carried forward as refused, unless replaced.
    wide = json.loads(body)
    wide["metadata"] = json.loads(WIDE)
    with pytest.raises(RuntimeError, match=r"^schema violation: metadata has 101 top-level properties"):
        producer.build_supersede_request(json.dumps(wide))
    assert json.loads(producer.build_supersede_request(json.dumps(wide), metadata="{}"))["metadata"] == {}


TITLE_ERR = "schema violation: title length {} not in 1..=500"
WIDE = json.dumps({f"k{i}": i for i in range(101)})


@pytest.mark.parametrize("args, kwargs, exc, text", [
    # Argument parsers, each naming its argument.
    (("T", "Acme:x"), {}, ValueError, "invalid context_type 'Acme:x': context_type 'Acme:x' is not a known ZELQ "
     "type and does not match the namespaced custom pattern ^[a-z][a-z0-9_]*:[a-z][a-z0-9_-]*$"),
    (("T", ""), {}, ValueError, "invalid context_type '': context_type '' is not a known ZELQ type and does not "
     "match the namespaced custom pattern ^[a-z][a-z0-9_]*:[a-z][a-z0-9_-]*$"),
    (("T", "alert"), {"visibility": " public"}, ValueError,
     "invalid visibility ' public'; expected public | restricted | private"),
    (("T", "alert"), {"data_refs": "[] x"}, ValueError, "invalid data_refs JSON: trailing characters at line 1 column 4"),
    (("T", "alert"), {"data_period": '{"start": "2026-01-01T00:00:00Z"}'}, ValueError,
     "invalid data_period JSON: missing field `end` at line 1 column 33"),
    (("T", "alert"), {"expires_at": "2026-01-01"}, ValueError,
     "invalid RFC 3339 timestamp '2026-01-01': premature end of input"),
    (("T", "alert"), {"expected_lineage_id": "sha256:" + "ab" * 32}, ValueError,
     "invalid lineage_id: schema violation: lineage_id must start with 'lin:sha256:', got: sha256:" + "ab" * 32),
    (("T", "alert"), {"expected_lineage_id": "lin:sha256:" + "AB" * 32}, ValueError,
     "invalid lineage_id: schema violation: lineage_id digest must be 64 lowercase hex chars, got: " + "AB" * 32),
    (("T", "alert"), {"metadata": "{"}, ValueError, "invalid metadata JSON: EOF while parsing an object at line 1 column 1"),
    (("T", "alert"), {"metadata": "[" * 10000 + "]" * 10000}, ValueError,
     "invalid metadata JSON: recursion limit exceeded at line 1 column 128"),
    (("T", "alert"), {"derived_from": [CTX.format(UUID), "bad"]}, ValueError,
     "schema violation: ctx_id must start with 'zelq://', got: bad"),
    # Build rules, raised as RuntimeError whatever their variant.
    (("", "alert"), {}, RuntimeError, TITLE_ERR.format(0)),
    (("\u20ac" * 501, "alert"), {}, RuntimeError, TITLE_ERR.format(501)),
    (("x" * 10_000_000, "alert"), {}, RuntimeError, TITLE_ERR.format(10_000_000)),
    (("T", "alert"), {"expected_lineage_id": LINEAGE}, RuntimeError,
     "schema violation: lineage_id MUST NOT be set on v1 publish requests"),
    (("T", "alert"), {"visibility": "restricted", "audience": []}, RuntimeError,
     "schema violation: visibility:restricted requires a non-empty audience"),
    (("T", "alert"), {"tags": ["t%d" % i for i in range(100_000)]}, RuntimeError,
     "schema violation: tags has 100000 entries, exceeds 200"),
    (("T", "alert"), {"metadata": "[1]"}, RuntimeError, "schema violation: metadata must be a JSON object"),
    # A metadata argument is judged as it is read: the reader first, the rules
    # before its own next, and a key that comes again counts once.
    (("T", "alert"), {"metadata": WIDE[:-1] + ',"x":}'}, ValueError, "invalid metadata JSON: expected value at line "
     "1 column %d" % len(WIDE[:-1] + ',"x":}')),
    (("", "alert"), {"metadata": WIDE}, RuntimeError, TITLE_ERR.format(0)),
    (("T", "alert"), {"metadata": WIDE}, RuntimeError, "schema violation: metadata has 101 top-level properties, "
     "exceeds 100 limit"),
    (("T", "alert"), {"metadata": '{"a":{"b":1},"a":' + "[" * 8 + "]" * 8 + "}"}, RuntimeError,
     "schema violation: metadata nesting depth 9 exceeds 8"),
    (("T", "alert"), {"metadata": json.dumps({"a": "x" * 70000, "b": 1})}, RuntimeError,
     "schema violation: metadata JCS-canonical size 70014 bytes exceeds 65536"),
    (("T", "alert"), {"zelq_version": "v1"}, RuntimeError, None),
    # Conversion, with the note naming the parameter.
    (("T", "alert"), {"tags": "t"}, TypeError, "Can't extract `str` to `Vec`"),
    (("T", "alert"), {"omit_zelq_version": 1}, TypeError, "'int' object is not an instance of 'bool'"),
    (("T", "alert"), {"audience": ["a", b"b"]}, TypeError, "'bytes' object is not an instance of 'str'"),
])
def test_publish_failures(producer, args, kwargs, exc, text):
    with pytest.raises(exc) as e:
        producer.build_publish_request(*args, **kwargs)
    if text is not None:
        assert str(e.value) == text
    if exc is TypeError:  # 3.10 exceptions have no notes and pass unchanged
        notes = ["while processing '%s'" % next(iter(kwargs))] if sys.version_info >= (3, 11) else None
        assert getattr(e.value, "__notes__", None) == notes


def test_accepted_forms(producer):
    ok = [dict(visibility=None), dict(tags=("a", "b")), dict(data_refs="[]\n"), dict(title="\u20ac" * 500),
          dict(visibility="private", audience=["did:web:x.example"]), dict(visibility="public", audience=[]),
          dict(expires_at="2026-01-01 00:00:00+00:00"), dict(description=""),
          # 100 keys, the first one twice: its last value counts, in its first place.
          dict(metadata='{"k0":' + "[" * 8 + "]" * 8 + "," + json.dumps({f"k{i}": i for i in range(100)})[1:])]
    for kwargs in ok:
        kwargs.setdefault("title", "T")
        req = json.loads(producer.build_publish_request(context_type="data_snapshot", **kwargs))
        assert req["visibility"] == (kwargs.get("visibility") or "public")


BAD_IDENTITY = ("did:key identity mismatch: this seed derives '{}', not the stored agent_did '{}' \u2014 the seed "
                "does not correspond to the stored did:key (use from_seed_did_key, or pass the seed that owns this DID)")


@pytest.mark.parametrize("kwargs, exc, starts", [
    # Conversion first, then the identity, then context type, visibility, the
    # other arguments in their order, and the build last.
    ({"tags": "t", "context_type": "Bad"}, TypeError, "Can't extract"),
    ({"context_type": "Bad", "metadata": "{"}, ValueError, "did:key identity mismatch"),
])
def test_identity_precedence(kwargs, exc, starts):
    own = Ed.from_seed_did_key(SEED)
    wrong = Ed.from_seed(bytes(32), own.agent_did, own.key_id)
    kwargs = dict({"title": "", "context_type": "alert"}, **kwargs)
    with pytest.raises(exc) as e:
        wrong.build_publish_request(**kwargs)
    assert str(e.value).startswith(starts)
    if exc is ValueError:
        assert str(e.value) == BAD_IDENTITY.format(Ed.from_seed_did_key(bytes(32)).agent_did, own.agent_did)
        with pytest.raises(ValueError, match="did:key identity mismatch"):
            wrong.build_supersede_request("not json")


@pytest.mark.parametrize("kwargs, starts", [
    ({"context_type": "Bad", "visibility": "Bad"}, "invalid context_type"),
    ({"visibility": "Bad", "metadata": "{"}, "invalid visibility"),
    ({"metadata": "{", "derived_from": ["bad"], "expires_at": "x"}, "invalid metadata JSON"),
    ({"derived_from": ["bad"], "data_refs": "x"}, "schema violation: ctx_id"),
    ({"data_refs": "x", "anchors": "x"}, "invalid data_refs JSON"),
    ({"anchors": "x", "expires_at": "x"}, "invalid anchors JSON"),
    ({"expires_at": "x", "data_period": "x"}, "invalid RFC 3339 timestamp"),
    ({"data_period": "x", "expected_lineage_id": "x"}, "invalid data_period JSON"),
    ({"expected_lineage_id": "x", "title": ""}, "invalid lineage_id"),
])
def test_argument_precedence(producer, kwargs, starts):
    kwargs = dict({"title": "T", "context_type": "alert"}, **kwargs)
    with pytest.raises(ValueError) as e:
        producer.build_publish_request(**kwargs)
    assert str(e.value).startswith(starts)


def test_identity_of_a_build(producer):
    cls = type(producer)
    # A did:key is proven against the secret and its key id derived; a stored key id is not used.
    req = json.loads(cls.from_seed(SEED, producer.agent_did, "did:web:elsewhere#k").build_publish_request("T", "alert"))
    assert (req["agent_id"], req["signature"]["key_id"]) == (producer.agent_did, producer.key_id)
    p = cls.from_seed(SEED, "did:web:a.example", "did:web:a.example#key-1")
    req = json.loads(p.build_publish_request("T", "alert"))
    assert req["agent_id"] == "did:web:a.example" and req["signature"]["key_id"] == "did:web:a.example#key-1"
    verify(p, req["signature"]["value"], req["content_hash"])
    # Any other stored DID, "DID:KEY:" in capitals included, is judged by the build's own rules only.
    for did in ("not-a-did", "DID:KEY:" + producer.agent_did[8:]):
        with pytest.raises(RuntimeError, match="^schema violation: "):
            cls.from_seed(SEED, did, "k").build_publish_request("T", "alert")


def test_secret_stays_out_of_build_errors(producer):
    texts = []
    for call in (lambda: producer.build_publish_request("", "alert"),
                 lambda: producer.build_publish_request("T", "alert", metadata="{"),
                 lambda: producer.build_supersede_request("{not json")):
        with pytest.raises(Exception) as e:
            call()
        texts += [str(e.value), repr(e.value), repr(producer)]
    for form in (SEED.hex(), base64.b64encode(SEED).decode(), repr(SEED)):
        assert not any(form in t for t in texts)


# The oracle writes \b and \f in short form where the protocol spells them out,
# and refuses integers beyond 2**53: both stay out of the generated values.
TEXT = st.text(st.characters(blacklist_categories=("Cs",), blacklist_characters="\b\f"), min_size=1, max_size=40)


@given(title=TEXT, tags=st.lists(TEXT, max_size=5, unique=True), description=st.none() | TEXT,
       metadata=st.dictionaries(TEXT, st.none() | st.booleans() | st.integers(-2**53 + 1, 2**53 - 1) | TEXT, max_size=5),
       millis=st.integers(0, 10**13), kind=st.sampled_from([Ed, P]))
# Names ordered by their UTF-8 bytes, which UTF-16 code units would swap.
@example(title="T", tags=[], description=None, metadata={"\ue000": None, "\U00010000": None}, millis=0, kind=Ed)
def test_every_built_request_verifies_offline(title, tags, description, metadata, millis, kind):
    p = kind.from_seed_did_key(SEED)
    when = datetime.datetime.fromtimestamp(millis // 1000, datetime.timezone.utc).replace(tzinfo=None)
    expires = "%s.%09dZ" % (when.isoformat(), (millis % 1000) * 1_000_000 + 123)
    try:
        text = p.build_publish_request(title, "analysis", tags=tags, description=description,
                                       metadata=json.dumps(metadata), expires_at=expires)
    except RuntimeError as e:  # a field rule refused the arguments; nothing was returned
        assert str(e).startswith("schema violation: ")
        return
    req = check_request(p, text, 1)
    assert V.verify_body_offline(as_body(req, 1)) is True
    nxt = check_request(p, p.build_supersede_request(as_body(req, 1)), 2)
    assert V.verify_body_offline(as_body(nxt, 2)) is True
