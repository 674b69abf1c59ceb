import hashlib
import json

import pytest
from hypothesis import given, strategies as st

import zelq
from artefacts import canonical_json

V = zelq.ZelqVerifier
EXCLUDED = ("content_hash", "signature", "ctx_id", "lineage_id", "origin_registry", "created_at")
HEX = "0123456789abcdef" * 4
EMPTY_HASH = "sha256:" + hashlib.sha256(b"{}").hexdigest()


def oracle_preimage(body):
    return canonical_json({k: v for k, v in body.items() if k not in EXCLUDED})


def oracle_hash(body):
    return "sha256:" + hashlib.sha256(oracle_preimage(body)).hexdigest()


BODY = {
    "zelq_version": "0.4.0",
    "title": "Grid load",
    "type": "data_snapshot",
    "version": 1,
    "tags": ["energy", "\u00e9t\u00e9"],
    "metadata": {"signature": "nested stays", "created_at": "2024-05-01T12:00:00.123456Z", "n": None},
    "data_refs": [{"type": "raw_data", "content_hash": "sha256:" + HEX}],
    "ctx_id": "zelq://reg.example/123e4567-e89b-42d3-a456-426614174000",
    "lineage_id": "lin:sha256:" + HEX,
    "origin_registry": "reg.example",
    "created_at": "2024-05-01T12:00:00.123Z",
    "content_hash": "sha256:" + HEX,
    "signature": {"algorithm": "ed25519", "key_id": "did:web:x#k1", "value": "AAAA"},
}


def test_preimage_drops_the_six_members_and_keeps_nested_ones():
    pre = V.canonical_preimage(json.dumps(BODY))
    assert pre.encode() == oracle_preimage(BODY)
    parsed = json.loads(pre)
    assert not set(EXCLUDED) & parsed.keys()
    assert parsed["metadata"]["signature"] == "nested stays"
    assert parsed["metadata"]["created_at"] == "2024-05-01T12:00:00.123456Z"
    assert V.verify_content_hash(json.dumps(BODY), oracle_hash(BODY)) is True


def test_preimage_is_the_canonical_form_of_the_remaining_members():
    rest = {k: v for k, v in reversed(list(BODY.items())) if k not in EXCLUDED}
    assert V.canonical_preimage(json.dumps(BODY)) == zelq.ZelqCanonicalizer.canonicalize(json.dumps(rest))


def test_only_excluded_members_hash_as_the_empty_object():
    body = {name: None for name in EXCLUDED}
    assert V.canonical_preimage(json.dumps(body)) == "{}"
    assert V.verify_content_hash(json.dumps(body), "sha256:" + hashlib.sha256(b"{}").hexdigest()) is True


@pytest.mark.parametrize("name", EXCLUDED)
@pytest.mark.parametrize("change", ["drop", "replace", "null"])
def test_excluded_members_never_change_the_hash(name, change):
    body = dict(BODY)
    if change == "drop":
        del body[name]
    else:
        body[name] = None if change == "null" else {"anything": [1, 2]}
    assert V.verify_content_hash(json.dumps(body), oracle_hash(BODY)) is True


def test_mismatch_message_has_both_hashes():
    wrong = "sha256:" + "0" * 64
    with pytest.raises(RuntimeError) as e:
        V.verify_content_hash(json.dumps(BODY), wrong)
    assert str(e.value) == (
        "content_hash mismatch: content_hash mismatch\n"
        f"  stored:     {wrong}\n"
        f"  recomputed: {oracle_hash(BODY)}")


@pytest.mark.parametrize("expected, message", [
    ("sha256:" + HEX.upper(), "content_hash digest must be 64 lowercase hex chars, got: " + HEX.upper()),
    ("sha256:" + HEX[:-1] + "A", "content_hash digest must be 64 lowercase hex chars, got: " + HEX[:-1] + "A"),
    ("sha256:" + HEX[1:], "content_hash digest must be 64 lowercase hex chars, got: " + HEX[1:]),
    ("SHA256:" + HEX, "content_hash must start with 'sha256:', got: SHA256:" + HEX),
    ("", "content_hash must start with 'sha256:', got: "),
    (" sha256:" + HEX, "content_hash must start with 'sha256:', got:  sha256:" + HEX),
])
@pytest.mark.parametrize("method", [V.verify_content_hash, V.explain_hash_mismatch])
def test_malformed_expected_hash_is_a_value_error(method, expected, message):
    with pytest.raises(ValueError) as e:
        method(json.dumps(BODY), expected)
    assert str(e.value) == "invalid content_hash: schema violation: " + message


@pytest.mark.parametrize("method", [V.verify_content_hash, V.explain_hash_mismatch])
def test_body_is_read_before_the_hash_is_checked(method):
    with pytest.raises(ValueError, match=r"^invalid body JSON: trailing characters at line 1 column 4$"):
        method("{} x", "SHA256:nope")
    # A well-formed non-object body still gets its hash checked first.
    with pytest.raises(ValueError, match="^invalid content_hash: "):
        method("[]", "sha256:" + HEX.upper())


def test_non_object_bodies():
    for text in ("[]", '"text"', "1", "null"):
        with pytest.raises(RuntimeError) as e:
            V.verify_content_hash(text, "sha256:" + HEX)
        assert str(e.value) == "content_hash mismatch: invalid body: expected a JSON object"
        with pytest.raises(RuntimeError) as e:
            V.canonical_preimage(text)
        assert str(e.value) == "invalid body: expected a JSON object"
        with pytest.raises(RuntimeError) as e:
            V.explain_hash_mismatch(text, "sha256:" + HEX)
        assert str(e.value) == "invalid body: expected a JSON object"


def test_preimage_json_errors():
    with pytest.raises(ValueError, match=r"^invalid body JSON: EOF while parsing an object at line 1 column 1$"):
        V.canonical_preimage("{")


# Backspace and form feed are left out: this system writes them as \u0008 and
# \u000c where the oracle writes \b and \f.
texts = st.text(st.characters(blacklist_characters="\b\f", blacklist_categories=("Cs",)), max_size=8)
json_leaves = st.none() | st.booleans() | st.integers(-(2**53) + 1, 2**53 - 1) | texts
json_values = st.recursive(json_leaves, lambda inner: st.lists(inner, max_size=4)
                           | st.dictionaries(texts, inner, max_size=4), max_leaves=20)
bodies = st.dictionaries(st.sampled_from(EXCLUDED) | texts, json_values, max_size=8)


@given(bodies)
def test_hash_and_preimage_agree_with_an_independent_canonicaliser(body):
    text = json.dumps(body)
    assert V.canonical_preimage(text).encode() == oracle_preimage(body)
    assert V.verify_content_hash(text, oracle_hash(body)) is True
    assert V.explain_hash_mismatch(text, oracle_hash(body)) == \
        "content_hash matches the canonical preimage; no divergence"


@pytest.mark.parametrize("method, signature", [
    (V.verify_content_hash, "(body_json, expected_hash)"),
    (V.explain_hash_mismatch, "(body_json, expected_hash)"),
    (V.canonical_preimage, "(body_json)"),
])
def test_method_rows(method, signature):
    assert method.__text_signature__ == signature
    kwargs = {"expected_hash": EMPTY_HASH} if "expected_hash" in signature else {}
    with pytest.raises(TypeError, match=rf"^ZelqVerifier\.{method.__name__}\(\) missing 1 required positional "
                                        r"argument: 'body_json'$"):
        method(**kwargs)
    assert method(body_json="{}", **kwargs)
