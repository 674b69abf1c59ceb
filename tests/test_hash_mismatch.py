import hashlib
import json

import pytest
import rfc8785

import zelq

explain = zelq.ZelqVerifier.explain_hash_mismatch
EXCLUDED = ("content_hash", "signature", "ctx_id", "lineage_id", "origin_registry", "created_at")
MATCH = "content_hash matches the canonical preimage; no divergence"

LABELS = {
    1: "the expected hash was computed WITHOUT zelq_version \u2014 the counterparty omits the field while "
       "this body emits it",
    2: 'the expected hash was computed WITH zelq_version "0.1.0" \u2014 the counterparty emits a different '
       "zelq_version form than this body",
    3: 'the expected hash was computed WITH zelq_version "0.2.0" \u2014 the counterparty emits a different '
       "zelq_version form than this body",
    4: "the expected hash was computed with null-valued optional fields OMITTED \u2014 this body serializes "
       "null instead of omitting (RFC-ZELQ-0005 \u00a72.2.1)",
    5: "the expected hash was computed over millisecond-truncated timestamps \u2014 this body carries sub-ms "
       "precision (RFC-ZELQ-0001 \u00a75.3: truncate BEFORE signing)",
    6: "multiple divergence patterns combined (null-stripping + ms truncation; zelq_version form unchanged)",
    7: "multiple divergence patterns combined (null-stripping + ms truncation + zelq_version omitted)",
    8: "multiple divergence patterns combined (null-stripping + ms truncation + zelq_version form change)",
}
LABELS[9] = LABELS[8]
LABEL_BYTES = {1: 113, 2: 128, 3: 128, 4: 145, 5: 154, 6: 99, 7: 93, 8: 97, 9: 97}


def oracle_hash(body):
    kept = {k: v for k, v in body.items() if k not in EXCLUDED}
    return "sha256:" + hashlib.sha256(rfc8785.dumps(kept)).hexdigest()


def cause(report):
    lines = report.split("\n")
    assert lines[0] == "content_hash mismatch:"
    assert lines[1].startswith("  expected:   sha256:") and lines[2].startswith("  recomputed: sha256:")
    assert lines[3].startswith("  likely cause: ") and lines[4] == "" and len(lines) == 5, report
    return lines[3][len("  likely cause: "):]


SUB_MS = "2024-05-01T12:00:00.123456Z"
MS = "2024-05-01T12:00:00.123Z"


def rewrite(body, *, drop=(), nulls=False, trunc=False, **set_members):
    out = {k: v for k, v in body.items() if k not in drop and not (nulls and v is None and k != "supersedes")}
    if trunc:
        out = {k: (MS if v == SUB_MS else v) for k, v in out.items()}
    out.update(set_members)
    return out


V040 = {"title": "t", "zelq_version": "0.4.0"}
MESSY = {"title": "t", "zelq_version": "0.4.0", "description": None, "expires_at": SUB_MS}

# (pattern number, body, what the counterparty hashed)
CASES = [
    (1, V040, rewrite(V040, drop=["zelq_version"])),
    (2, {"title": "t"}, {"title": "t", "zelq_version": "0.1.0"}),
    (2, {"title": "t", "zelq_version": 4}, {"title": "t", "zelq_version": "0.1.0"}),
    (3, {"title": "t", "zelq_version": "0.1.0"}, {"title": "t", "zelq_version": "0.2.0"}),
    (3, {"title": "t", "zelq_version": 4}, {"title": "t", "zelq_version": "0.2.0"}),
    (3, {"title": "t"}, {"title": "t", "zelq_version": "0.2.0"}),
    (4, {"title": "t", "description": None}, {"title": "t"}),
    (5, {"title": "t", "expires_at": SUB_MS}, {"title": "t", "expires_at": MS}),
    (6, MESSY, rewrite(MESSY, nulls=True, trunc=True)),
    (7, MESSY, rewrite(MESSY, nulls=True, trunc=True, drop=["zelq_version"])),
    (8, MESSY, rewrite(MESSY, nulls=True, trunc=True, zelq_version="0.1.0")),
    (9, MESSY, rewrite(MESSY, nulls=True, trunc=True, zelq_version="0.2.0")),
]


@pytest.mark.parametrize("pattern, body, counterparty", CASES)
def test_each_pattern_is_found(pattern, body, counterparty):
    expected = oracle_hash(counterparty)
    report = explain(json.dumps(body), expected)
    assert report.startswith(f"content_hash mismatch:\n  expected:   {expected}\n  recomputed: {oracle_hash(body)}\n")
    label = cause(report)
    assert label == LABELS[pattern]
    assert len(label.encode()) == LABEL_BYTES[pattern]


def test_match_text_also_with_version_and_nulls():
    body = {"title": "t", "zelq_version": "0.4.0", "summary": None}
    assert explain(json.dumps(body), oracle_hash(body)) == MATCH
    assert len(MATCH.encode()) == 58


def test_first_matching_pattern_wins():
    # Patterns 2 and 8 both reproduce this hash; 2 comes first.
    assert cause(explain('{"title":"t"}', oracle_hash({"title": "t", "zelq_version": "0.1.0"}))) == LABELS[2]
    # Without nulls or timestamps, pattern 7 is the body without zelq_version: pattern 1 is named first.
    assert cause(explain(json.dumps(V040), oracle_hash({"title": "t"}))) == LABELS[1]


@pytest.mark.parametrize("body, counterparty", [
    ({"title": "t", "supersedes": None}, {"title": "t"}),           # top-level supersedes null is kept
    ({"title": "t", "m": {"a": None}}, {"title": "t", "m": {}}),     # nested nulls are kept
    ({"title": "t", "l": [None]}, {"title": "t", "l": []}),
])
def test_nulls_that_are_never_stripped(body, counterparty):
    assert "no known divergence pattern" in explain(json.dumps(body), oracle_hash(counterparty))


@pytest.mark.parametrize("stamp, truncated", [
    ("2024-05-01T12:00:00.123456Z", "2024-05-01T12:00:00.123Z"),
    ("2024-05-01T14:00:00.123456+02:00", "2024-05-01T12:00:00.123Z"),
    ("2024-05-01t12:00:00.0000001z", "2024-05-01T12:00:00.000Z"),
    ("2024-05-01 12:00:00.999999\u221201:00", "2024-05-01T13:00:00.999Z"),
    ("2016-12-31T23:59:60.5001Z", "2017-01-01T00:00:00.500Z"),
    ("2024-05-01T12:00:00.1234" + "9" * 5000 + "Z", "2024-05-01T12:00:00.123Z"),
])
def test_sub_millisecond_timestamps_anywhere(stamp, truncated):
    body = {"title": "t", "period": {"start": [stamp]}, stamp: "keys are never rewritten"}
    counterparty = {"title": "t", "period": {"start": [truncated]}, stamp: "keys are never rewritten"}
    assert cause(explain(json.dumps(body), oracle_hash(counterparty))) == LABELS[5]


@pytest.mark.parametrize("stamp", [
    "2024-05-01T14:00:00.123+02:00",         # whole milliseconds: kept as written
    "2024-05-01T12:00:00Z",
    "2024-05-01T12:00:00.1230000009Z",        # only nine digits count
    "2024-05-01", "word", "1714564800.123456",
    "2024-05-01T12:00:00.123456+24:00",      # not a date-time: offset out of range
    "2024-02-30T12:00:00.123456Z",
])
def test_strings_that_truncation_leaves_alone(stamp):
    # The counterparty truncated only the genuine sub-millisecond stamp in "y";
    # pattern 5 reproduces it only if "x" came through untouched.
    body = {"title": "t", "x": stamp, "y": SUB_MS}
    assert cause(explain(json.dumps(body), oracle_hash({"title": "t", "x": stamp, "y": MS}))) == LABELS[5]


def test_sub_ms_only_in_an_excluded_member_cannot_match():
    body = {"title": "t", "created_at": SUB_MS}
    assert "no known divergence pattern" in explain(json.dumps(body), oracle_hash({"title": "u"}))


def test_no_match_report_ends_with_the_preimage():
    body = {"zelq_version": "0.4.0", "title": "\u00e9t\u00e9", "signature": {"value": "x"}}
    expected = "sha256:" + "0" * 64
    preimage = zelq.ZelqVerifier.canonical_preimage(json.dumps(body))
    assert preimage == '{"title":"\u00e9t\u00e9","zelq_version":"0.4.0"}'
    assert explain(json.dumps(body), expected) == (
        "content_hash mismatch:\n"
        f"  expected:   {expected}\n"
        f"  recomputed: {oracle_hash(body)}\n"
        "  no known divergence pattern reproduces the expected hash.\n"
        f"  canonical preimage ({len(preimage.encode())} bytes) \u2014 diff this against the counterparty's "
        "canonical_preimage() output:\n"
        f"  {preimage}\n")
    assert len(preimage.encode()) == len(preimage) + 2
