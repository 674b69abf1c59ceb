"""ZelqVerifier.verify_log_checkpoint against checkpoints signed here with the
`cryptography` package: every verdict, the clock-skew bound, and the refusal
of allowances that leave the representable time range."""
import json
from datetime import datetime, timedelta, timezone

import pytest

import zelq
from log_oracle import KEY_ID, LOG_ID, NOW, REGISTRY, RegistryKey, checkpoint, sha, wire

V = zelq.ZelqVerifier
P = "invalid transparency-log proof: "
ED = RegistryKey()
DOC = ED.did_doc()
NOT_CANONICAL = ("log_checkpoint timestamp '{}' is not canonical millisecond-precision RFC 3339 UTC "
                 "(`YYYY-MM-DDTHH:MM:SS.mmmZ`, RFC-ZELQ-0012 §9.3 step 4)")


def verify(cp, doc=DOC, **kw):
    text = cp if isinstance(cp, str) else json.dumps(cp)
    return json.loads(V.verify_log_checkpoint(text, doc, **dict({"now_rfc3339": NOW}, **kw)))


def failure(code, message):
    prefix = {"invalid_log_proof": P, "key_resolution": "key resolution failed: ",
              "unsupported_algorithm": "unsupported algorithm: "}[code]
    return {"valid": False, "code": code, "error": prefix + message}


@pytest.mark.parametrize("key, asserted", [(ED, True), (ED, False), (RegistryKey("ecdsa-p256"), True)])
def test_signed_checkpoint_verifies(key, asserted):
    cp = checkpoint(key, tree_size=0)
    reordered = json.dumps(dict(reversed(cp.items())), indent=1)
    for text in (json.dumps(cp), reordered):
        assert V.verify_log_checkpoint(text, key.did_doc(asserted=asserted), LOG_ID, NOW) == json.dumps(
            {"valid": True, "log_id": LOG_ID, "tree_size": 0, "root_hash": cp["root_hash"], "age_secs": 0,
             "historical": not asserted}, separators=(",", ":"))


LID = "log_id '{}' "


@pytest.mark.parametrize("change, message", [
    ({"extra": 1}, "log_checkpoint does not parse: unknown field `extra`, expected one of `checkpoint_version`, "
     "`log_id`, `tree_size`, `root_hash`, `timestamp`, `signature`"),
    ({"tree_size": 7.0}, "log_checkpoint does not parse: invalid type: floating point `7.0`, expected u64"),
    ({"tree_size": -1}, "log_checkpoint does not parse: invalid value: integer `-1`, expected u64"),
    ({"tree_size": 2**64}, "log_checkpoint does not parse: invalid type: floating point "
     "`1.8446744073709552e19`, expected u64"),
    ({"timestamp": 5}, "log_checkpoint does not parse: invalid type: integer `5`, expected an RFC 3339 formatted "
     "date and time string"),
    ({"signature": {"algorithm": "ed25519", "key_id": KEY_ID}}, "log_checkpoint does not parse: missing field `value`"),
    # Rows with two faults report the earlier check.
    ({"checkpoint_version": "zelq-log/2", "log_id": "x"},
     "log_checkpoint checkpoint_version 'zelq-log/2' ≠ 'zelq-log/1' (RFC-ZELQ-0012 §9.3 step 1)"),
    ({"log_id": "did:web:r.example/logs/x", "root_hash": "x"},
     LID.format("did:web:r.example/logs/x") + "is not '<registry_did>/log/<instance>' (RFC-ZELQ-0012 §6)"),
    ({"log_id": "did:key:z6Mk/log/x"}, LID.format("did:key:z6Mk/log/x") + "registry DID must be did:web (RFC-ZELQ-0012 §6)"),
    ({"log_id": "did:web:/log/x"}, LID.format("did:web:/log/x") + "has a malformed did:web method-specific identifier"),
    ({"log_id": "did:web:a_b/log/x"}, LID.format("did:web:a_b/log/x") + "has a malformed did:web method-specific identifier"),
    ({"log_id": "did:web:r/log/" + "a" * 33},
     LID.format("did:web:r/log/" + "a" * 33) + "instance component must match [a-z0-9-]{1,32} (RFC-ZELQ-0012 §6)"),
    ({"log_id": "did:web:r/log/a/log/b"},
     LID.format("did:web:r/log/a/log/b") + "instance component must match [a-z0-9-]{1,32} (RFC-ZELQ-0012 §6)"),
    ({"log_id": "did:web:r/log/"}, LID.format("did:web:r/log/") + "instance component must match [a-z0-9-]{1,32} (RFC-ZELQ-0012 §6)"),
    ({"root_hash": "sha256:" + "A" * 64, "timestamp": "2025-06-01T12:00:00Z"},
     "hash 'sha256:" + "A" * 64 + "' is not 'sha256:' + 64 lowercase hex digits (RFC-ZELQ-0012 §2)"),
    ({"timestamp": "2025-06-01T12:00:00Z", "signature": {"algorithm": "ed25519", "key_id": "did:web:x#k", "value": ""}},
     NOT_CANONICAL.format("2025-06-01T12:00:00Z")),
    ({"timestamp": "2025-06-01T12:00:00.000000Z"}, NOT_CANONICAL.format("2025-06-01T12:00:00.000000Z")),
    ({"timestamp": "2025-06-01T12:00:00.000+00:00"}, NOT_CANONICAL.format("2025-06-01T12:00:00.000+00:00")),
])
def test_form_faults_are_invalid_log_proof_verdicts(change, message):
    assert verify(dict(checkpoint(ED), **change)) == failure("invalid_log_proof", message)


@pytest.mark.parametrize("log_id", ["did:web:Reg.Example%3A8443:a:b/log/x-1", "did:web:r/log/" + "a" * 32])
def test_log_id_forms_accepted(log_id):
    key_id = log_id.split("/log/")[0] + "#k"
    cp = checkpoint(ED, log_id=log_id, key_id=key_id)
    assert verify(cp, doc=ED.did_doc(key_id=key_id, did=log_id.split("/log/")[0]))["valid"] is True


@pytest.mark.parametrize("key_id, accepted", [
    (REGISTRY + "#", False), ("did:web:other.example#log-key-1", False), (REGISTRY, False),
    (REGISTRY + "#a#b", True),
])
def test_signature_key_id_must_be_under_the_registry_did(key_id, accepted):
    # A rejected key id is reported before a pin that does not match.
    result = verify(checkpoint(ED, key_id=key_id), doc=ED.did_doc(key_id=key_id), expected_log_id=None if accepted else "")
    if accepted:  # a second '#' passes the binding; the document lookup (by the last fragment) decides
        assert result["code"] == "key_resolution"
    else:
        assert result == failure("invalid_log_proof", f"log_checkpoint signature.key_id '{key_id}' is not a DID URL "
                                 f"under the log_id's registry DID '{REGISTRY}' (RFC-ZELQ-0012 §6)")


def test_positional_checkpoint_reads_but_has_no_timestamp_member():
    cp = checkpoint(ED)
    assert verify(list(cp.values())) == failure("invalid_log_proof", "log_checkpoint timestamp missing or not a string")


@pytest.mark.parametrize("pin", ["", LOG_ID + "x"])
def test_pinned_log_id_must_match(pin):
    # Before the clock: this checkpoint is from the future too.
    assert verify(checkpoint(ED, timestamp="2999-01-01T00:00:00.000Z"), expected_log_id=pin) == failure(
        "invalid_log_proof", f"log_checkpoint log_id '{LOG_ID}' ≠ expected '{pin}' — a new log_id is an explicit, "
        "detectable history reset (RFC-ZELQ-0012 §7.4)")


def test_key_resolution_and_signature_verdicts():
    cp = checkpoint(ED)
    assert verify(cp, doc="not json")["code"] == "key_resolution"
    downgrade = verify(cp, doc=RegistryKey("ecdsa-p256").did_doc())
    assert downgrade["code"] == "unsupported_algorithm" and "algorithm-downgrade defense" in downgrade["error"]
    assert verify(dict(cp, tree_size=8)) == failure(
        "invalid_log_proof", "log_checkpoint signature: invalid signature: signature verification failed")


def ahead(ms):
    t = datetime(2025, 6, 1, 12, tzinfo=timezone.utc) + timedelta(milliseconds=ms)
    return t.isoformat(timespec="milliseconds").replace("+00:00", "Z")


@pytest.mark.parametrize("ms_ahead, skew, age", [
    (120_000, None, -120), (30_500, None, -30), (500, None, 0), (0, 0, 0), (-5_000, -5, 5), (-90_000, None, 90),
])
def test_timestamps_within_the_allowance_pass(ms_ahead, skew, age):
    assert verify(checkpoint(ED, timestamp=ahead(ms_ahead)), max_skew_secs=skew)["age_secs"] == age


@pytest.mark.parametrize("ms_ahead, skew", [(120_001, None), (1, 0), (0, -1), (1_001, 1)])
def test_timestamps_beyond_the_allowance_fail(ms_ahead, skew):
    ts = ahead(ms_ahead)
    shown = 120 if skew is None else skew
    # Before the key: the document does not even read.
    assert verify(checkpoint(ED, timestamp=ts), doc="not json", max_skew_secs=skew) == failure(
        "invalid_log_proof", f"log_checkpoint timestamp '{ts}' is in the future beyond the {shown}s clock-skew "
        f"allowance (consumer clock '{NOW}') (RFC-ZELQ-0012 §9.3 step 4)")


def unix_days(year):  # 1 January of `year`, via the 400-year cycle of 146,097 days
    cycles = (year - 1970) // 400
    return (datetime(year - 400 * cycles, 1, 1) - datetime(1970, 1, 1)).days + cycles * 146097


NOW_S = int(datetime(2025, 6, 1, 12, tzinfo=timezone.utc).timestamp())
LAST_S, FIRST_S = unix_days(262144) * 86400 - 1, unix_days(-262144) * 86400  # the kept calendar's ends


EARLIEST, LATEST = "0000-01-01T00:00:00.000Z", "9999-12-31T23:59:59.999Z"


@pytest.mark.parametrize("skew, valid, now", [
    (LAST_S - NOW_S, True, NOW), (FIRST_S - NOW_S, False, NOW),
    (LAST_S - NOW_S + 1, None, NOW), (FIRST_S - NOW_S - 1, None, NOW), (9223372036854775, None, NOW),
    (-9223372036854775, None, NOW),
    (0, True, LATEST), (9223372036854775, None, LATEST), (-9223372036854775, None, LATEST),
    (10**12, True, EARLIEST), (9223372036854775, None, EARLIEST), (-9223372036854775, None, EARLIEST),
])
def test_allowances_up_to_the_calendar_ends_are_judged_exactly(skew, valid, now):
    far = checkpoint(ED, timestamp=LATEST)
    if valid is None:
        with pytest.raises(ValueError, match=f"^max_skew_secs {skew} puts the clock-skew limit outside the "
                           f"representable time range \\(consumer clock '{now}'\\)$"):
            verify(far, max_skew_secs=skew, now_rfc3339=now)
    else:
        assert verify(far, max_skew_secs=skew, now_rfc3339=now)["valid"] is valid


@pytest.mark.parametrize("skew", [2**63 - 1, -2**63, 9223372036854776, -9223372036854776])
def test_allowance_beyond_the_representable_span_is_a_value_error(skew):
    with pytest.raises(ValueError, match=f"^max_skew_secs {skew} is outside the representable time span"):
        verify(checkpoint(ED), max_skew_secs=skew)


def test_argument_faults_raise():
    with pytest.raises(OverflowError):
        verify(checkpoint(ED), max_skew_secs=2**63)
    with pytest.raises(TypeError):
        verify(checkpoint(ED), max_skew_secs=1.0)
    with pytest.raises(ValueError, match="^invalid checkpoint JSON: "):
        verify("{")
    with pytest.raises(ValueError, match="^invalid now_rfc3339 'noon': "):
        verify(checkpoint(ED), now_rfc3339="noon")
