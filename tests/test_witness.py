"""Witness cosignatures: minting (build_witness_cosignature), verification
(verify_witness_cosignature) and quorum counting (evaluate_witness_quorum).
Signatures and digests are checked against `cryptography`, `rfc8785` and hashlib."""
import base64
import copy
import hashlib
import json

import pytest
import rfc8785
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat

import zelq

V = zelq.ZelqVerifier
REG = "did:web:registry.example"
CHECKPOINT = {"log_id": REG + "/log/main", "tree_size": 5, "root_hash": "sha256:" + "ab" * 32,
              "timestamp": "2026-01-01T00:00:00.000Z"}
EXPECTED = dict(CHECKPOINT, checkpoint_version="zelq-log/1",
                signature={"algorithm": "ed25519", "key_id": REG + "#k1", "value": "A" * 86 + "=="})
AT = "2026-01-01T00:00:10.000Z"
NOW = "2026-01-01T00:01:00.000Z"
EARLIEST, LATEST = "0000-01-01T00:00:00.000Z", "9999-12-31T23:59:59.999Z"
INVALID = "invalid witness cosignature: "
b64url = lambda b: base64.urlsafe_b64encode(b).rstrip(b"=").decode()


def digest_of(cosig: dict) -> str:
    body = {k: v for k, v in cosig.items() if k != "signature"}
    return "sha256:" + hashlib.sha256(rfc8785.dumps(body)).hexdigest()


class Ed:
    def __init__(self, did, seed):
        self.did, self.seed = did, seed
        self.key = ed25519.Ed25519PrivateKey.from_private_bytes(bytes.fromhex(seed))
        jwk = {"kty": "OKP", "crv": "Ed25519", "x": b64url(self.key.public_key().public_bytes_raw())}
        self.doc = {"id": did, "verificationMethod": [
            {"id": did + "#witness-key-1", "type": "JsonWebKey2020", "controller": did, "publicKeyJwk": jwk}]}

    def mint(self, at=AT, checkpoint=CHECKPOINT):
        return json.loads(V.build_witness_cosignature(json.dumps(checkpoint), self.did, self.seed, at))


class P256:
    def __init__(self, did):
        self.did = did
        self.key = ec.derive_private_key(0xC9AFA9D845BA75166B5C215767B1D6934E50C3DB36E89B127B8A622B120F6721,
                                         ec.SECP256R1())
        point = self.key.public_key().public_bytes(Encoding.X962, PublicFormat.UncompressedPoint)
        jwk = {"kty": "EC", "crv": "P-256", "x": b64url(point[1:33]), "y": b64url(point[33:])}
        self.doc = {"id": did, "verificationMethod": [
            {"id": did + "#p", "type": "JsonWebKey2020", "controller": did, "publicKeyJwk": jwk}]}

    def mint(self, at=AT, checkpoint=CHECKPOINT):
        cosig = {"cosignature_version": "zelq-cosig/1", "witness_id": self.did,
                 "witnessed_checkpoint": checkpoint, "witnessed_at": at}
        r, s = decode_dss_signature(self.key.sign(digest_of(cosig).encode(), ec.ECDSA(hashes.SHA256())))
        value = base64.b64encode(r.to_bytes(32, "big") + s.to_bytes(32, "big")).decode()
        return dict(cosig, signature={"algorithm": "ecdsa-p256", "key_id": self.did + "#p", "value": value})


A = Ed("did:web:a.example", "11" * 32)
B = Ed("did:web:b.example", "22" * 32)
K = Ed("did:key:z6MkWitness", "33" * 32)
P = P256("did:web:p.example")


def verify(cosig, doc, expected=EXPECTED, now=NOW, **kw):
    return json.loads(V.verify_witness_cosignature(json.dumps(cosig), json.dumps(doc), json.dumps(expected),
                                                   now_rfc3339=now, **kw))


# ---- minting ------------------------------------------------------------------

def test_mint_signs_the_digest_of_its_own_output():
    text = V.build_witness_cosignature(json.dumps(CHECKPOINT), A.did, A.seed, AT)
    cosig = json.loads(text)
    assert list(cosig) == ["cosignature_version", "witness_id", "witnessed_checkpoint", "witnessed_at", "signature"]
    assert cosig["signature"]["key_id"] == A.did + "#witness-key-1"
    A.key.public_key().verify(base64.b64decode(cosig["signature"]["value"]), digest_of(cosig).encode())
    assert V.build_witness_cosignature(json.dumps(CHECKPOINT), A.did, A.seed.upper(), AT) == text
    other = json.loads(V.build_witness_cosignature(json.dumps(CHECKPOINT), A.did, B.seed, AT))
    assert other["signature"]["value"] != cosig["signature"]["value"]
    assert dict(other, signature=None) == dict(cosig, signature=None)


@pytest.mark.parametrize("witness", [A, K, P], ids=["ed25519-web", "ed25519-key", "p256"])
def test_minted_cosignatures_verify(witness):
    assert verify(witness.mint(), witness.doc) == {"valid": True, "witness_id": witness.did, "age_secs": 50,
                                                   "stale": False}


def test_mint_writes_times_in_utc_cut_to_milliseconds():
    cp = dict(CHECKPOINT, timestamp="2026-01-01T01:00:00.999999+01:00", tree_size=0, log_id="anything")
    cosig = A.mint(at="2026-01-01T00:00:10.123999-00:30", checkpoint=cp)
    assert cosig["witnessed_at"] == "2026-01-01T00:30:10.123Z"
    assert cosig["witnessed_checkpoint"] == dict(cp, timestamp="2026-01-01T00:00:00.999Z")
    as_array = A.mint(checkpoint=[CHECKPOINT[k] for k in CHECKPOINT])
    assert as_array == A.mint()


SV = "schema violation: invalid witnessed_checkpoint (expected {log_id, tree_size, root_hash, timestamp}): "


@pytest.mark.parametrize("checkpoint, did, seed, at, message", [
    ("{", A.did, A.seed, AT, "invalid witnessed_checkpoint JSON: EOF while parsing an object at line 1 column 1"),
    (CHECKPOINT, A.did, "1" * 63, AT, "invalid witness_seed_hex: Odd number of digits"),
    (CHECKPOINT, A.did, "1" * 62 + "zz", AT, "invalid witness_seed_hex: Invalid character 'z' at position 62"),
    (CHECKPOINT, A.did, "1" * 62, AT, "witness_seed_hex must decode to 32 bytes"),
    (CHECKPOINT, A.did, "", AT, "witness_seed_hex must decode to 32 bytes"),
    (CHECKPOINT, A.did, A.seed, "2026-01-01", "invalid witnessed_at_rfc3339 '2026-01-01': premature end of input"),
    (dict(CHECKPOINT, note=1), A.did, A.seed, AT,
     SV + "unknown field `note`, expected one of `log_id`, `tree_size`, `root_hash`, `timestamp`"),
    (dict(CHECKPOINT, tree_size=-1), A.did, A.seed, AT, SV + "invalid value: integer `-1`, expected u64"),
    (dict(CHECKPOINT, tree_size=5.0), A.did, A.seed, AT, SV + "invalid type: floating point `5.0`, expected u64"),
    (dict(CHECKPOINT, tree_size="5"), A.did, A.seed, AT, SV + 'invalid type: string "5", expected u64'),
    ({k: v for k, v in CHECKPOINT.items() if k != "root_hash"}, A.did, A.seed, AT, SV + "missing field `root_hash`"),
    (CHECKPOINT, "did:key:z", A.seed, AT,
     "schema violation: witness signer witness_id must be did:web or did:key, got 'did:key:z'"),
    (CHECKPOINT, "did:key:abc", A.seed, AT,
     "schema violation: witness signer witness_id must be did:web or did:key, got 'did:key:abc'"),
    (CHECKPOINT, "did:web:a#b", A.seed, AT,
     "schema violation: witness signer key_id 'did:web:a#b#witness-key-1' must be '<witness_id>#<fragment>'"),
])
def test_mint_refusals(checkpoint, did, seed, at, message):
    text = checkpoint if isinstance(checkpoint, str) else json.dumps(checkpoint)
    with pytest.raises(ValueError) as e:
        V.build_witness_cosignature(text, did, seed, at)
    assert str(e.value) == message


# ---- verification ---------------------------------------------------------------

def with_(cosig, path, value, *more):
    """`cosig` with the member at `path` set to `value` (None removes it), and so on for `more`."""
    out = copy.deepcopy(cosig)
    *head, last = path
    holder = out
    for k in head:
        holder = holder[k]
    if value is None:
        del holder[last]
    else:
        holder[last] = value
    return with_(out, *more) if more else out


GOOD = A.mint()
NOT_CANONICAL = "is not canonical millisecond-precision RFC 3339 UTC (`YYYY-MM-DDTHH:MM:SS.mmmZ`, RFC-ZELQ-0015 §4)"


# Most rows also break the check that comes next, which must not be the one reported.
@pytest.mark.parametrize("cosig, doc, message", [
    (with_(GOOD, ["note"], 1), A.doc, "log_cosignature does not parse: unknown field `note`, expected one of "
     "`cosignature_version`, `witness_id`, `witnessed_checkpoint`, `witnessed_at`, `signature`"),
    (with_(GOOD, ["witnessed_checkpoint", "tree_size"], -1), A.doc,
     "log_cosignature does not parse: invalid value: integer `-1`, expected u64"),
    (with_(GOOD, ["witnessed_at"], "yesterday"), A.doc,
     "log_cosignature does not parse: input contains invalid characters"),
    (with_(GOOD, ["cosignature_version"], "zelq-cosig/2", ["witness_id"], "did:web:"), A.doc,
     "log_cosignature cosignature_version 'zelq-cosig/2' ≠ 'zelq-cosig/1' (RFC-ZELQ-0015 §4)"),
    (with_(GOOD, ["witness_id"], "did:web:", ["witnessed_checkpoint", "log_id"], "did:key:zX/log/main"), A.doc,
     "log_cosignature witness_id 'did:web:' is not a did:web or did:key DID (RFC-ZELQ-0015 §4)"),
    (with_(GOOD, ["witnessed_checkpoint", "log_id"], "did:key:zX/log/main",
           ["witnessed_checkpoint", "root_hash"], "sha256:" + "AB" * 32), A.doc,
     "witnessed_checkpoint: invalid transparency-log proof: log_id 'did:key:zX/log/main' registry DID must be "
     "did:web (RFC-ZELQ-0012 §6)"),
    (with_(GOOD, ["witnessed_checkpoint", "root_hash"], "sha256:" + "AB" * 32,
           ["witnessed_checkpoint", "timestamp"], "2026-01-01T00:00:00Z"), A.doc,
     "witnessed_checkpoint: invalid transparency-log proof: "),
    ([GOOD[k] for k in GOOD], A.doc, "log_cosignature witnessed_checkpoint.timestamp missing or not a string"),
    (with_(GOOD, ["witnessed_checkpoint", "timestamp"], "2026-01-01T00:00:00Z",
           ["witnessed_at"], "2026-01-01T00:00:10.000+00:00"), A.doc,
     "log_cosignature witnessed_checkpoint.timestamp '2026-01-01T00:00:00Z' " + NOT_CANONICAL),
    (with_(GOOD, ["witnessed_at"], "2026-01-01T00:00:10.000+00:00", ["signature", "key_id"], A.did + "#"), A.doc,
     "log_cosignature witnessed_at '2026-01-01T00:00:10.000+00:00' " + NOT_CANONICAL),
    (with_(GOOD, ["signature", "key_id"], A.did + "#", ["witnessed_checkpoint", "log_id"], REG + "/log/x"), A.doc,
     f"log_cosignature signature.key_id '{A.did}#' is not a DID URL under witness_id '{A.did}' "
     "(RFC-ZELQ-0015 §8 step 3)"),
    (with_(GOOD, ["witnessed_checkpoint", "log_id"], REG + "/log/x", ["witnessed_checkpoint", "tree_size"], 6), A.doc,
     f"log_cosignature witnessed_checkpoint.log_id '{REG}/log/x' ≠ evaluated checkpoint log_id '{REG}/log/main' "
     "(RFC-ZELQ-0015 §8 step 4)"),
    (with_(GOOD, ["witnessed_checkpoint", "tree_size"], 6, ["witnessed_checkpoint", "root_hash"], "sha256:" + "cd" * 32),
     A.doc,
     "log_cosignature witnessed_checkpoint.tree_size 6 ≠ evaluated checkpoint tree_size 5 (RFC-ZELQ-0015 §8 step 4)"),
    (with_(GOOD, ["witnessed_checkpoint", "root_hash"], "sha256:" + "cd" * 32), {"id": 1},
     f"log_cosignature witnessed_checkpoint.root_hash 'sha256:{'cd' * 32}' ≠ evaluated checkpoint root_hash "
     f"'sha256:{'ab' * 32}' (RFC-ZELQ-0015 §8 step 4)"),
    (GOOD, {"id": 1}, "witness DID document does not parse: invalid type: integer `1`, expected a string"),
    (with_(GOOD, ["signature", "key_id"], A.did + "#a#b"), B.doc, f"witness DID document id '{B.did}' ≠ cosignature witness_id '{A.did}' (RFC-ZELQ-0015 §8 step 3)"),
    (with_(GOOD, ["signature", "key_id"], A.did + "#a#b", ["signature", "algorithm"], "Ed25519"), A.doc,
     "witness DID document has no verification method '#a#b' — witness keys (including retired ones) must remain "
     "in verificationMethod (RFC-ZELQ-0015 §9)"),
    (GOOD, with_(A.doc, ["verificationMethod", 0, "publicKeyJwk", "x"], None),
     "witness key extraction: key resolution failed: JWK missing 'x' parameter"),
    (GOOD, dict(A.doc, assertionMethod=[A.did + "#witness-key-1", 5]),
     "witness DID document does not parse: data did not match any variant of untagged enum AssertionMethodRef"),
    (GOOD, [A.did, A.doc["verificationMethod"], [], 1],
     "witness DID document does not parse: invalid length 4, expected fewer elements in array"),
    (with_(GOOD, ["signature", "algorithm"], "Ed25519"), A.doc,
     "witness cosignature signature algorithm 'Ed25519' is not supported"),
    (with_(GOOD, ["signature", "algorithm"], "ecdsa-p256"), A.doc, "witness key extraction: key resolution failed: "),
    (A.mint(at="2026-01-01T00:09:00.000Z") | {"witnessed_at": "2026-01-01T00:09:01.000Z"}, A.doc,
     "log_cosignature signature: invalid signature: signature verification failed"),
])
def test_verification_failures(cosig, doc, message):
    verdict = verify(cosig, doc)
    assert verdict["valid"] is False and verdict["code"] == "invalid_witness_cosignature"
    assert verdict["error"].startswith(INVALID + message)


OLD_KEY = dict(B.doc["verificationMethod"][0], id=A.did + "#old")


@pytest.mark.parametrize("doc", [
    dict(A.doc, assertionMethod=[B.did + "#other"], extra=True),  # a retired key outside assertionMethod
    dict(A.doc, verificationMethod=[OLD_KEY] + A.doc["verificationMethod"]),  # the key in either of two methods
    dict(A.doc, verificationMethod=A.doc["verificationMethod"] + [OLD_KEY]),
    [A.did, A.doc["verificationMethod"], []],
])
def test_witness_documents_that_verify(doc):
    assert verify(GOOD, doc)["valid"] is True


@pytest.mark.parametrize("at, skew, expected", [
    ("2026-01-01T00:03:00.000Z", None, {"age_secs": -119, "stale": False}),
    ("2026-01-01T00:03:00.001Z", None, None),
    ("2026-01-01T00:01:00.000Z", 0, {"age_secs": 0, "stale": False}),
    ("2026-01-01T00:01:00.001Z", 0, None),
    ("2026-01-01T00:00:59.000Z", -1, {"age_secs": 1, "stale": False}),
    ("2026-01-01T00:01:00.000Z", -1, None),
    ("2025-12-31T23:55:59.001Z", None, {"age_secs": 300, "stale": False}),
    ("2025-12-31T23:55:59.000Z", None, {"age_secs": 301, "stale": True}),
    ("2026-01-01T00:02:29.500Z", None, {"age_secs": -89, "stale": False}),
])
def test_clock_skew_and_age_bounds(at, skew, expected):
    verdict = verify(A.mint(at=at), A.doc, now="2026-01-01T00:01:00.000999Z", max_clock_skew_secs=skew)
    if expected is None:
        s = 120 if skew is None else skew
        assert verdict["error"] == INVALID + (
            f"log_cosignature witnessed_at '{at}' is in the future beyond the {s}s clock-skew allowance (consumer "
            "clock '2026-01-01T00:01:00.000Z') — forged observation-time claim (RFC-ZELQ-0015 §8 step 5)")
    else:
        assert verdict == dict(expected, valid=True, witness_id=A.did)


def test_a_malformed_evaluated_checkpoint_is_a_log_proof_verdict():
    # Before the cosignature is read, even one that does not read.
    verdict = verify(with_(GOOD, ["note"], 1), A.doc, expected=dict(EXPECTED, checkpoint_version="zelq-log/2"))
    assert verdict["code"] == "invalid_log_proof"
    assert verdict["error"].startswith("invalid transparency-log proof: log_checkpoint checkpoint_version")


@pytest.mark.parametrize("args, kw, message", [
    (["[", "[", "{}"], {}, "invalid cosignature JSON: "),
    (["{}", "[", "nope"], {}, "invalid witness DID document JSON: "),
    (["{}", "{}", "nope"], {"now_rfc3339": "now"}, "invalid checkpoint JSON: "),
    (["{}", "{}", "{}"], {"now_rfc3339": "now"}, "invalid now_rfc3339 'now': "),
    (["{}", "{}", "{}"], {"max_clock_skew_secs": 9223372036854776}, "max_clock_skew_secs 9223372036854776 is outside"),
    (["{}", "{}", "{}"], {"max_clock_skew_secs": -9223372036854776}, "max_clock_skew_secs -9223372036854776 is outside"),
    *[(["{}", "{}", "{}"], {"now_rfc3339": now, "max_clock_skew_secs": skew},
       f"max_clock_skew_secs {skew} puts the clock-skew limit outside the representable time range "
       f"\\(consumer clock '{now}'\\)$")
      for now in (EARLIEST, LATEST) for skew in (-9223372036854775, 9223372036854775)],
])
def test_verification_argument_errors_raise(args, kw, message):
    with pytest.raises(ValueError, match="^" + message):
        V.verify_witness_cosignature(*args, **kw)


def test_a_large_allowance_is_applied_exactly_and_one_off_the_calendar_is_refused():
    far = A.mint(at="9999-12-31T23:59:59.999Z")
    assert verify(far, A.doc, max_clock_skew_secs=10**12)["valid"] is True
    assert verify(GOOD, A.doc, max_clock_skew_secs=-10**12)["valid"] is False
    for skew in (9223372036854775, -9223372036854775):
        with pytest.raises(ValueError, match=f"^max_clock_skew_secs {skew} puts the clock-skew limit outside "
                                             "the representable time range"):
            verify(GOOD, A.doc, max_clock_skew_secs=skew)


# ---- quorum -------------------------------------------------------------------

DOCS = {w.did: w.doc for w in (A, B, K, P)}
TRUSTED = [A.did, B.did, K.did, P.did]


def quorum(cosigs, policy=None, trusted=TRUSTED, docs=DOCS, now=NOW, expected=EXPECTED):
    return json.loads(V.evaluate_witness_quorum(json.dumps(cosigs), json.dumps(expected), json.dumps(trusted),
                                                json.dumps(docs), json.dumps(policy or {}), now))


def test_two_of_three_witnesses_meet_the_quorum_once_each():
    report = quorum([A.mint(), B.mint(), A.mint(at="2026-01-01T00:00:20.000Z"), B.mint()], {"min_witnesses": 2})
    assert report == {"witnessed_count": 2, "witnesses": [A.did, B.did], "meets_quorum": True,
                      "fresh_witnessed_count": 2, "meets_fresh_quorum": True, "failures": []}


def test_witnesses_are_listed_in_byte_order():
    assert quorum([P.mint(), B.mint(), A.mint(), K.mint()])["witnesses"] == [K.did, A.did, B.did, P.did]


def test_ignored_elements_leave_no_trace():
    other_size = A.mint(checkpoint=dict(CHECKPOINT, tree_size=6))
    forged_untrusted = with_(Ed("did:web:x.example", "44" * 32).mint(), ["signature", "value"], "A" * 86 + "==")
    report = quorum([1, "x", None, [], {}, other_size, forged_untrusted, with_(GOOD, ["note"], 1)])
    assert report["witnessed_count"] == 0 and report["failures"] == []


@pytest.mark.parametrize("trusted", [
    json.dumps([P.did, A.did, "did:web:z.example", A.did]),  # unsorted, repeated
    '["' + A.did.replace(".", "\\u002e") + '", "did:web:q\\u002eexample"]',  # written with escapes
])
def test_trusted_witnesses_are_read_as_written(trusted):
    report = json.loads(V.evaluate_witness_quorum(json.dumps([GOOD]), json.dumps(EXPECTED), trusted,
                                                  json.dumps(DOCS), "{}", NOW))
    assert report["witnesses"] == [A.did]


def test_failing_cosignatures_of_trusted_witnesses_are_reported_each_time():
    bad = with_(B.mint(), ["witnessed_at"], "2026-01-01T00:00:11.000Z")
    report = quorum([GOOD, bad, bad, K.mint()], docs={A.did: A.doc, B.did: B.doc})
    assert report["witnesses"] == [A.did]
    assert [f["error"] for f in report["failures"]] == [
        INVALID + "log_cosignature signature: invalid signature: signature verification failed"] * 2 + [
        INVALID + f"no DID document supplied for trusted witness '{K.did}' — cannot verify its cosignature "
                  "(RFC-ZELQ-0015 §8 step 2)"]
    assert {f["code"] for f in report["failures"]} == {"invalid_witness_cosignature"}


@pytest.mark.parametrize("policy, at, fresh", [
    ({}, "2025-12-31T23:56:00.000Z", 1),
    ({}, "2025-12-31T23:55:59.999Z", 0),
    ({"max_age_secs": 0}, NOW, 1),
    ({"max_age_secs": 0}, "2026-01-01T00:00:59.999Z", 0),
    ({"max_age_secs": None}, "2000-01-01T00:00:00.000Z", 1),
    ({"max_age_secs": 9223372036854775}, "0001-01-01T00:00:00.000Z", 1),
])
def test_freshness_bounds(policy, at, fresh):
    report = quorum([A.mint(at=at)], policy)
    assert (report["witnessed_count"], report["fresh_witnessed_count"]) == (1, fresh)
    assert report["meets_fresh_quorum"] is bool(fresh)


def test_one_fresh_cosignature_makes_its_witness_fresh():
    report = quorum([A.mint(at="2025-01-01T00:00:00.000Z"), GOOD, A.mint(at="2025-01-01T00:00:00.000Z")])
    assert (report["witnessed_count"], report["fresh_witnessed_count"]) == (1, 1)


def test_the_policy_skew_bounds_witnessed_at():
    ahead = A.mint(at="2026-01-01T00:01:05.000Z")
    assert quorum([ahead], {"max_clock_skew_secs": 5})["witnessed_count"] == 1
    assert quorum([ahead], {"max_clock_skew_secs": 4})["failures"][0]["error"].endswith(
        "— forged observation-time claim (RFC-ZELQ-0015 §8 step 5)")


def test_an_empty_list_meets_nothing():
    assert quorum([]) == {"witnessed_count": 0, "witnesses": [], "meets_quorum": False,
                          "fresh_witnessed_count": 0, "meets_fresh_quorum": False, "failures": []}


MIN = "policy.min_witnesses must be an integer >= 1"
AGE = "policy.max_age_secs must be a non-negative integer or null"
SKEW = "policy.max_clock_skew_secs must be a non-negative integer"


@pytest.mark.parametrize("policy, message", [
    ("[", "invalid policy JSON: EOF while parsing a list at line 1 column 1"),
    ("[]", "policy must be a JSON object"),
    *[(json.dumps({"min_witnesses": v}), MIN) for v in (0, 4294967296, 2.0, None, "2", -1, True)],
    *[(json.dumps({"max_age_secs": v}), AGE) for v in (-1, 1.0, "1", 9223372036854775808)],
    *[(json.dumps({"max_clock_skew_secs": v}), SKEW) for v in (-1, None, 1.5, 9223372036854775808)],
    ('{"max_age_secs": 9223372036854776}', "policy.max_age_secs must be at most 9223372036854775 seconds"),
    ('{"max_clock_skew_secs": 9223372036854776}',
     "policy.max_clock_skew_secs must be at most 9223372036854775 seconds"),
    ('{"min_witnesses": 0, "max_age_secs": -1}', MIN),
])
def test_policy_errors(policy, message):
    with pytest.raises(ValueError) as e:
        V.evaluate_witness_quorum("[]", json.dumps(EXPECTED), "[]", "{}", policy)
    assert str(e.value) == message


@pytest.mark.parametrize("args, message", [
    (["{}", "{}", "[]", "{}", "{}"], "invalid cosignatures JSON (array): invalid type: map, expected a sequence at "
                                     "line 1 column 0"),
    (["[] x", "{}", "[]", "{}", "{}"], "invalid cosignatures JSON (array): trailing characters at line 1 column 4"),
    (["[]", "{", "[]", "{}", "{}"], "invalid checkpoint JSON: "),
    (["[]", "{}", '["a", 1]', "{}", "{}"], "invalid trusted_witness_dids JSON (array): invalid type: integer `1`, "
                                           "expected a string at line 1 column 7"),
    (["[]", "{}", "[]", "[", "{}"], "invalid witness DID docs JSON: "),
    (["[]", "{}", "[]", "[]", "{}"], "witness_did_docs_json must be a JSON object keyed by witness_id"),
    # The policy's allowance is bounded like every other one, before any cosignature is judged.
    *[(["[]", "{}", "[]", "{}", '{"max_clock_skew_secs": 9223372036854775}', now],
       f"policy.max_clock_skew_secs 9223372036854775 puts the clock-skew limit outside the representable time "
       f"range (consumer clock '{now}')") for now in (EARLIEST, NOW, LATEST)],
])
def test_quorum_argument_errors(args, message):
    with pytest.raises(ValueError, match="^" + message.replace("(", r"\(").replace(")", r"\)")):
        V.evaluate_witness_quorum(*args)


def test_a_malformed_expected_checkpoint_raises_even_without_cosignatures():
    with pytest.raises(zelq.InvalidLogProof, match="^invalid transparency-log proof: log_checkpoint"):
        quorum([], expected=dict(EXPECTED, checkpoint_version="x"))


def test_a_long_list_with_one_witness_many_times():
    bad = with_(GOOD, ["witnessed_at"], "2026-01-01T00:00:11.000Z")
    report = quorum([GOOD, bad] * 5_000 + [1, "x", with_(GOOD, ["witness_id"], "did:web:q")] * 30_000,
                    {"min_witnesses": 2})
    assert (report["witnessed_count"], report["meets_quorum"], len(report["failures"])) == (1, False, 5_000)
