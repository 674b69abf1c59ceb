"""ZelqMerkle: the hash wire form, node and tree hashes against an
independent RFC 6962 tree, and leaf hashing of closed log leaves."""
import json

import pytest
import rfc8785

import zelq
from log_oracle import leaves, mth, node, sha, wire

M = zelq.ZelqMerkle
H = wire(sha(b"x"))
FORM = "is not of the form 'sha256:<hex>' (RFC-ZELQ-0012 §2)"
DIGITS = "is not 'sha256:' + 64 lowercase hex digits (RFC-ZELQ-0012 §2)"
LEAF = {"leaf_version": "zelq-log-leaf/1", "ctx_id": "zelq://reg.example/x", "lineage_id": "lin:x",
        "origin_registry": "reg.example", "created_at": "2025-01-02T03:04:05.678Z",
        "content_hash": H, "key_fingerprint": H, "receipt_hash": H}


@pytest.mark.parametrize("text, rule", [
    ("", FORM), ("sha256", FORM), ("SHA256:" + "a" * 64, FORM), (" sha256:" + "a" * 64, FORM),
    ("sha256:" + "A" * 64, DIGITS), ("sha256:" + "a" * 63, DIGITS), ("sha256:" + "a" * 65, DIGITS),
    ("sha256:" + "a" * 64 + "\n", DIGITS), ("sha256:" + "g" + "a" * 63, DIGITS), ("sha256:", DIGITS),
    *[("sha256:" + "0" * 63 + c, DIGITS) for c in "/:`@G"], ("sha256:" + "\u00e9" + "a" * 62, DIGITS),
])
def test_hash_wire_form_is_refused_with_its_rule(text, rule):
    with pytest.raises(zelq.InvalidLogProof) as e:
        M.node_hash(text, H)
    assert str(e.value) == f"invalid transparency-log proof: hash '{text}' {rule}"


def test_node_hash_is_ordered_and_reports_the_left_argument_first():
    a, b = sha(b"a"), sha(b"b")
    assert M.node_hash(wire(a), wire(b)) == wire(node(a, b)) != M.node_hash(wire(b), wire(a))
    with pytest.raises(zelq.InvalidLogProof, match="hash 'left'"):
        M.node_hash("left", "right")


def test_root_hash_matches_an_independent_tree_for_every_size_to_64():
    d = leaves(64)
    for n in range(65):
        assert M.root_hash(json.dumps([wire(x) for x in d[:n]])) == wire(mth(d[:n])), n
    # Repeated leaves count as separate leaves.
    assert M.root_hash(json.dumps([H, H])) == M.node_hash(H, H)


@pytest.mark.parametrize("text, tail", [
    ("{}", "invalid type: map, expected a sequence at line 1 column 0"),
    ("[1]", "invalid type: integer `1`, expected a string at line 1 column 2"),
    ("[] x", "trailing characters at line 1 column 4"),
    ("[", "EOF while parsing a list at line 1 column 1"),
    ('["bad", 1]', "invalid type: integer `1`, expected a string at line 1 column 9"),
])
def test_root_hash_argument_must_be_a_json_array_of_strings(text, tail):
    with pytest.raises(ValueError) as e:
        M.root_hash(text)
    assert str(e.value) == "invalid leaf_hashes JSON (array of strings): " + tail


def test_root_hash_reads_escaped_texts_and_stops_at_the_first_malformed_one():
    assert M.root_hash('["\\u0073' + H[1:] + '"]') == H
    with pytest.raises(zelq.InvalidLogProof, match="hash 'bad1'"):
        M.root_hash(json.dumps([H, "bad1", "bad2"]))


@pytest.mark.parametrize("change", [{}, {"ctx_id": "not a ctx id \u00e9\u0001\u2028\"\\", "receipt_hash": "anything"}])
def test_leaf_hash_covers_the_canonical_leaf_whatever_its_text_form(change):
    leaf = dict(LEAF, **change)
    expected = wire(sha(b"\x00" + rfc8785.dumps(leaf)))
    assert M.leaf_hash(json.dumps(leaf)) == expected
    assert M.leaf_hash(leaf_json=json.dumps(dict(reversed(leaf.items())), indent=2, ensure_ascii=False)) == expected


P = "invalid transparency-log proof: "
NOT_CANONICAL = ("log leaf created_at '{}' is not canonical millisecond-precision RFC 3339 UTC "
                 "(`YYYY-MM-DDTHH:MM:SS.mmmZ`, RFC-ZELQ-0012 §4)")


@pytest.mark.parametrize("change, message", [
    ({"signature": "x"}, "log leaf does not parse: unknown field `signature`, expected one of `leaf_version`, "
     "`ctx_id`, `lineage_id`, `origin_registry`, `created_at`, `content_hash`, `key_fingerprint`, `receipt_hash`"),
    ({"receipt_hash": None}, "log leaf does not parse: invalid type: null, expected a string"),
    ({"created_at": 5}, "log leaf does not parse: invalid type: integer `5`, expected a string"),
    ({"created_at": "2025-02-30T00:00:00.000Z"},
     "log leaf does not parse: input is out of range"),
    ({"created_at": "2025-01-02T03:04:05Z"}, NOT_CANONICAL.format("2025-01-02T03:04:05Z")),
    ({"created_at": "2025-01-02T03:04:05.678+00:00"}, NOT_CANONICAL.format("2025-01-02T03:04:05.678+00:00")),
    ({"leaf_version": "zelq-log-leaf/2"},
     "log leaf leaf_version 'zelq-log-leaf/2' ≠ 'zelq-log-leaf/1' (RFC-ZELQ-0012 §4)"),
])
def test_malformed_leaf_raises_invalid_log_proof(change, message):
    with pytest.raises(zelq.InvalidLogProof) as e:
        M.leaf_hash(json.dumps(dict(LEAF, **change)))
    assert str(e.value) == P + message


@pytest.mark.parametrize("drop, name", [(["receipt_hash"], "receipt_hash"), (["receipt_hash", "ctx_id"], "ctx_id")])
def test_leaf_missing_members_name_the_first_in_declaration_order(drop, name):
    with pytest.raises(zelq.InvalidLogProof, match=f"missing field `{name}`"):
        M.leaf_hash(json.dumps({k: v for k, v in LEAF.items() if k not in drop}))


@pytest.mark.parametrize("text, exc, message", [
    ("[1]", zelq.InvalidLogProof, P + "log leaf does not parse: invalid type: integer `1`, expected a string"),
    (json.dumps(list(LEAF.values())), zelq.InvalidLogProof, P + "log leaf created_at missing or not a string"),
    ("{", ValueError, "invalid leaf JSON: EOF while parsing an object at line 1 column 1"),
])
def test_leaf_positional_and_non_json_forms(text, exc, message):
    with pytest.raises(exc) as e:
        M.leaf_hash(text)
    assert str(e.value) == message
