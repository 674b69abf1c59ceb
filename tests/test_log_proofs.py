"""ZelqVerifier.build_log_leaf, verify_log_inclusion and verify_log_consistency
against proofs made by an independent RFC 9162 tree (log_oracle), and the
road receipt -> leaf -> leaf hash -> inclusion proof."""
import json

import pytest
import rfc8785

import zelq
from log_oracle import LOG_ID, RegistryKey, checkpoint, leaf, leaves, mth, path, sha, signing_digest, subproof, wire

V = zelq.ZelqVerifier
P = "invalid transparency-log proof: "
ED = RegistryKey()
H = wire(sha(b"h"))
RECEIPT = {"registry_did": "did:web:registry.example", "ctx_id": "zelq://registry.example/x",
           "lineage_id": "lin:sha256:" + "a" * 64, "origin_registry": "registry.example",
           "created_at": "2025-06-01T11:59:00.123Z", "content_hash": H, "key_fingerprint": H,
           "signature": {"algorithm": "ed25519", "key_id": "did:web:registry.example#r", "value": "AA=="}}


def log_leaf(i):
    return {"leaf_version": "zelq-log-leaf/1", "ctx_id": f"zelq://registry.example/{i}", "lineage_id": "lin:x",
            "origin_registry": "registry.example", "created_at": "2025-06-01T11:59:00.123Z",
            "content_hash": H, "key_fingerprint": H, "receipt_hash": H}


def leaf_digest(obj):
    return leaf(rfc8785.dumps(obj))


LEAVES = [log_leaf(i) for i in range(11)]
DIGESTS = [leaf_digest(x) for x in LEAVES]
CP = checkpoint(ED, tree_size=11, root=wire(mth(DIGESTS)))


def inclusion(i, n=11, **change):
    if "inclusion_path" not in change:
        change["inclusion_path"] = [wire(x) for x in path(i, DIGESTS[:n])]
    return dict({"log_id": LOG_ID, "leaf_index": i, "tree_size": n}, **change)


def check_inclusion(proof, cp=CP, leaf_obj=LEAVES[3]):
    texts = [x if isinstance(x, str) else json.dumps(x) for x in (proof, cp, leaf_obj)]
    return json.loads(V.verify_log_inclusion(*texts))


def failure(message):
    return {"valid": False, "code": "invalid_log_proof", "error": P + message}


def test_receipt_to_leaf_to_inclusion_road():
    receipt_leaves = [json.loads(V.build_log_leaf(json.dumps(dict(RECEIPT, ctx_id=f"zelq://r.example/{i}"))))
                      for i in range(5)]
    digests = [leaf_digest(x) for x in receipt_leaves]
    cp = checkpoint(ED, tree_size=5, root=wire(mth(digests)))
    for i, lf in enumerate(receipt_leaves):
        assert zelq.ZelqMerkle.leaf_hash(json.dumps(lf)) == wire(digests[i])
        proof = {"log_id": LOG_ID, "leaf_index": i, "tree_size": 5, "inclusion_path": [wire(x) for x in path(i, digests)]}
        assert check_inclusion(proof, cp, lf) == {"valid": True, "leaf_hash": wire(digests[i])}


def test_build_log_leaf_copies_the_receipt_and_hashes_it_raw():
    built = V.build_log_leaf(receipt_json=json.dumps(RECEIPT))
    assert json.loads(built) == {"leaf_version": "zelq-log-leaf/1", **{k: RECEIPT[k] for k in (
        "ctx_id", "lineage_id", "origin_registry", "created_at", "content_hash", "key_fingerprint")},
        "receipt_hash": signing_digest(RECEIPT)}
    assert list(json.loads(built)) == ["leaf_version", "ctx_id", "lineage_id", "origin_registry", "created_at",
                                       "content_hash", "key_fingerprint", "receipt_hash"]
    resigned = dict(RECEIPT, signature=dict(RECEIPT["signature"], value="BB=="))
    assert V.build_log_leaf(json.dumps(dict(reversed(resigned.items())), indent=2)) == built


RX = "invalid registry receipt: "


@pytest.mark.parametrize("receipt, message", [
    ([1], "receipt created_at missing or not a string"),
    (dict(RECEIPT, created_at="2025-06-01T11:59:00Z"), "receipt created_at '2025-06-01T11:59:00Z' is not canonical "
     "millisecond-precision RFC 3339 UTC (`YYYY-MM-DDTHH:MM:SS.mmmZ`, RFC-ZELQ-0010 §8 step 6)"),
    (dict(RECEIPT, extra=1), "registry_receipt does not parse: unknown field `extra`, expected one of `registry_did`, "
     "`ctx_id`, `lineage_id`, `origin_registry`, `created_at`, `content_hash`, `key_fingerprint`, `signature`"),
    ({k: v for k, v in RECEIPT.items() if k != "signature"}, "registry_receipt does not parse: missing field `signature`"),
])
def test_build_log_leaf_refuses_malformed_receipts(receipt, message):
    with pytest.raises(RuntimeError) as e:
        V.build_log_leaf(json.dumps(receipt))
    assert str(e.value) == RX + message


def test_inclusion_holds_for_every_index_and_size_to_11():
    for n in range(1, 12):
        d = DIGESTS[:n]
        cp = checkpoint(ED, tree_size=n, root=wire(mth(d)))
        for i in range(n):
            assert check_inclusion(inclusion(i, n), cp, LEAVES[i]) == {"valid": True, "leaf_hash": wire(d[i])}


BAD_CP = dict(CP, checkpoint_version="x")
BAD_CP_MESSAGE = "log_checkpoint checkpoint_version 'x' ≠ 'zelq-log/1' (RFC-ZELQ-0012 §9.3 step 1)"
BAD_LEAF = dict(LEAVES[3], leaf_version="x")
BAD_LEAF_MESSAGE = "log leaf leaf_version 'x' ≠ 'zelq-log-leaf/1' (RFC-ZELQ-0012 §4)"
FOLD = "inclusion_path for leaf_index {} does not fold to the checkpoint root_hash '%s' at tree_size {} " \
       "(RFC-ZELQ-0012 §9.1 step 6)" % CP["root_hash"]


@pytest.mark.parametrize("proof, message", [
    ([], "log_inclusion must be a JSON object"),
    (inclusion(3, log_checkpoint=dict(CP, tree_size=7.0 + 4)), "log_inclusion embeds a log_checkpoint that differs "
     "from the supplied (verified) checkpoint (RFC-ZELQ-0012 §9.1 step 3)"),
    (inclusion(3, log_checkpoint=None), "log_inclusion embeds a log_checkpoint that differs from the supplied "
     "(verified) checkpoint (RFC-ZELQ-0012 §9.1 step 3)"),
    (inclusion(3, tree_size=0), "log_inclusion tree_size must be >= 1 (an empty tree has no members)"),
    # (proof, checkpoint, reconstructed leaf) with faults in two neighbouring checks: the earlier reports.
    ((inclusion(3, tree_size=0), BAD_CP), "log_inclusion tree_size must be >= 1 (an empty tree has no members)"),
    ((inclusion(3, leaf=None), BAD_CP), BAD_CP_MESSAGE),
    ((inclusion(3, leaf=None), CP, BAD_LEAF), "log leaf does not parse: invalid type: null, expected struct LogLeaf"),
    ((inclusion(3, tree_size=12), CP, BAD_LEAF), BAD_LEAF_MESSAGE),
    # Time members are judged by their raw text: the last of a repeated one, none in the positional form.
    ((inclusion(3), list(CP.values())), "log_checkpoint timestamp missing or not a string"),
    ((inclusion(3), CP, list(LEAVES[3].values())), "log leaf created_at missing or not a string"),
    ((inclusion(3), CP, json.dumps(LEAVES[3])[:-1] + ', "created_at": "2025-06-01T11:59:00Z"}'),
     "log leaf created_at '2025-06-01T11:59:00Z' is not canonical millisecond-precision RFC 3339 UTC "
     "(`YYYY-MM-DDTHH:MM:SS.mmmZ`, RFC-ZELQ-0012 §4)"),
    (inclusion(3, tree_size=12, log_id=LOG_ID + "2"),
     "log_inclusion tree_size 12 ≠ log_checkpoint.tree_size 11 (RFC-ZELQ-0012 §9.1 step 4)"),
    (inclusion(11, log_id=LOG_ID + "2"), f"log_inclusion log_id '{LOG_ID}2' ≠ log_checkpoint.log_id '{LOG_ID}' "
     "(RFC-ZELQ-0012 §9.1 step 4)"),
    # Members the checkpoint refuses still compare by value, written however.
    ((inclusion(3, log_checkpoint=dict(CP, zz=[1, {"a": 1, "b": 2}], yy=0)), dict(CP, zz=[1, {"b": 2, "a": 1}], yy=0)),
     "log_inclusion does not parse: unknown field `zz`, expected one of `checkpoint_version`, `log_id`, `tree_size`, "
     "`root_hash`, `timestamp`, `signature`"),
    ((inclusion(3, log_checkpoint=dict(CP, zz=[1], yy=0)), dict(CP, zz=[1.0], yy=0)), "log_inclusion embeds a "
     "log_checkpoint that differs from the supplied (verified) checkpoint (RFC-ZELQ-0012 §9.1 step 3)"),
    ((inclusion(3, log_checkpoint=dict(CP, zz={"a": 1})), dict(CP, zz={"a": 2})), "log_inclusion embeds a "
     "log_checkpoint that differs from the supplied (verified) checkpoint (RFC-ZELQ-0012 §9.1 step 3)"),
    ((inclusion(3, log_checkpoint=dict(CP, zz=0, yy={"a": 1})), dict(CP, zz=0, yy={"a": 2})), "log_inclusion embeds "
     "a log_checkpoint that differs from the supplied (verified) checkpoint (RFC-ZELQ-0012 §9.1 step 3)"),
    ((inclusion(3, log_checkpoint=list(CP.values()) + [1, 2]), list(CP.values()) + [1, 2.0]), "log_inclusion embeds "
     "a log_checkpoint that differs from the supplied (verified) checkpoint (RFC-ZELQ-0012 §9.1 step 3)"),
    ((inclusion(3, log_checkpoint=list(CP.values()) + [1, 2]), list(CP.values()) + [1, 2]),
     "log_inclusion does not parse: invalid length 8, expected fewer elements in array"),
    (inclusion(3, leaf_index=1.0), "log_inclusion does not parse: invalid type: floating point `1.0`, expected u64"),
    (inclusion(3, tree_size=-1), "log_inclusion does not parse: invalid value: integer `-1`, expected u64"),
    (inclusion(3, leaf=None), "log leaf does not parse: invalid type: null, expected struct LogLeaf"),
    (inclusion(3, tree_size=12), "log_inclusion tree_size 12 ≠ log_checkpoint.tree_size 11 (RFC-ZELQ-0012 §9.1 step 4)"),
    (inclusion(3, log_id=LOG_ID + "2"), f"log_inclusion log_id '{LOG_ID}2' ≠ log_checkpoint.log_id '{LOG_ID}' "
     "(RFC-ZELQ-0012 §9.1 step 4)"),
    # A binding alone fails on a proof whose path folds.
    ((inclusion(3), dict(CP, tree_size=12)),
     "log_inclusion tree_size 11 ≠ log_checkpoint.tree_size 12 (RFC-ZELQ-0012 §9.1 step 4)"),
    ((inclusion(3), dict(CP, log_id=LOG_ID + "2")), f"log_inclusion log_id '{LOG_ID}' ≠ log_checkpoint.log_id "
     f"'{LOG_ID}2' (RFC-ZELQ-0012 §9.1 step 4)"),
    (inclusion(11, inclusion_path=["bad"]), "log_inclusion leaf_index 11 is not < tree_size 11 (RFC-ZELQ-0012 §9.1 step 4)"),
    (inclusion(3, inclusion_path=inclusion(4)["inclusion_path"] + ["bad"]),
     "hash 'bad' is not of the form 'sha256:<hex>' (RFC-ZELQ-0012 §2)"),
    (inclusion(3, inclusion_path=inclusion(4)["inclusion_path"]), FOLD.format(3, 11)),
    (inclusion(3, inclusion_path=inclusion(3)["inclusion_path"][:-1]), FOLD.format(3, 11)),
    (inclusion(3, inclusion_path=inclusion(3)["inclusion_path"] + [H]), FOLD.format(3, 11)),
    (inclusion(3, inclusion_path=[H] * 10_000), FOLD.format(3, 11)),
    # A path is read whole for its form; the first malformed entry reports.
    (inclusion(3, inclusion_path=[H, "bad1", "bad2"]), "hash 'bad1' is not of the form 'sha256:<hex>' (RFC-ZELQ-0012 §2)"),
    (inclusion(3, inclusion_path=[H, "bad", 5]),
     "log_inclusion does not parse: invalid type: integer `5`, expected a string"),
])
def test_inclusion_verdicts(proof, message):
    assert check_inclusion(*(proof if isinstance(proof, tuple) else (proof,))) == failure(message)


def test_embedded_checkpoint_and_leaf_rules():
    spelled = json.dumps(dict(reversed(CP.items()))).replace('"log_id"', '"log\\u005fid"')
    with_cp = json.dumps(inclusion(3))[:-1] + ', "log_checkpoint": ' + spelled + "}"
    assert check_inclusion(with_cp)["valid"] is True
    assert check_inclusion(inclusion(3, leaf=LEAVES[5]))["valid"] is True
    assert check_inclusion(inclusion(3, leaf=dict(LEAVES[5], leaf_version="x")))["error"].startswith(
        P + "log leaf leaf_version 'x'")
    escaped_time = json.dumps(LEAVES[3]).replace('123Z"', '123\\u005a"')
    assert check_inclusion(inclusion(3), CP, escaped_time) == check_inclusion(inclusion(3))
    escaped_path = json.dumps(inclusion(3)).replace('"sha256:', '"sha256\\u003a', 1)
    assert check_inclusion(escaped_path) == check_inclusion(inclusion(3))
    not_a_checkpoint = check_inclusion(inclusion(3), cp=[1])
    assert not_a_checkpoint["error"].startswith(P + "log_inclusion does not parse: ")
    # A repeated member keeps its last value, in the proof and in the checkpoint alike.
    assert check_inclusion('{"tree_size": 99, ' + json.dumps(inclusion(3))[1:])["valid"] is True
    assert check_inclusion(json.dumps(inclusion(3))[:-1] + ', "tree_size": 99}') == failure(
        "log_inclusion tree_size 99 ≠ log_checkpoint.tree_size 11 (RFC-ZELQ-0012 §9.1 step 4)")
    stamped = json.dumps(CP)[:-1] + ', "timestamp": "2025-06-01T12:00:00Z"}'
    assert check_inclusion(inclusion(3), stamped)["error"] == P + (
        "log_checkpoint timestamp '2025-06-01T12:00:00Z' is not canonical millisecond-precision RFC 3339 UTC "
        "(`YYYY-MM-DDTHH:MM:SS.mmmZ`, RFC-ZELQ-0012 §9.3 step 4)")
    one = checkpoint(ED, tree_size=1, root=wire(DIGESTS[0]))
    assert check_inclusion(inclusion(0, 1), one, LEAVES[0])["valid"] is True
    assert check_inclusion(inclusion(0, 1, inclusion_path=[H]), one, LEAVES[0])["valid"] is False


@pytest.mark.parametrize("args, message", [
    (("{", "{", "{}"), "invalid inclusion JSON: "), (("{}", "{", "{"), "invalid checkpoint JSON: "),
    (("{}", "{}", "{"), "invalid leaf JSON: "),
])
def test_inclusion_arguments_must_be_json(args, message):
    with pytest.raises(ValueError, match="^" + message):
        V.verify_log_inclusion(*args)


# ---- consistency ----------------------------------------------------------------------------
def consistency(m, n=11, **change):
    if "consistency_path" not in change:
        change["consistency_path"] = [wire(x) for x in subproof(m, DIGESTS[:n])]
    return dict({"log_id": LOG_ID, "first_tree_size": m, "second_tree_size": n}, **change)


def check_consistency(proof, first_root, cp=CP):
    proof = proof if isinstance(proof, str) else json.dumps(proof)
    return json.loads(V.verify_log_consistency(proof, json.dumps(cp), first_root))


def test_consistency_holds_for_every_size_pair_to_11():
    for n in range(1, 12):
        cp = checkpoint(ED, tree_size=n, root=wire(mth(DIGESTS[:n])))
        for m in range(1, n + 1):
            assert check_consistency(consistency(m, n), wire(mth(DIGESTS[:m])), cp) == {"valid": True}


NOT_PREFIX = ("consistency_path does not prove the tree at size {} is a prefix of the tree at size {} — evidence of a "
              "logged-history rewrite; retain both checkpoints and this path (RFC-ZELQ-0012 §9.2)")
ROOT4 = wire(mth(DIGESTS[:4]))


@pytest.mark.parametrize("proof, first_root, message", [
    ([], ROOT4, "consistency proof must be a JSON object"),
    (consistency(4, first_tree_size="4", log_checkpoint=dict(CP, tree_size=12)), ROOT4, "consistency proof embeds a log_checkpoint that "
     "differs from the supplied (verified) checkpoint (RFC-ZELQ-0012 §9.1 step 3)"),
    ((consistency(4, first_tree_size="4"), BAD_CP), ROOT4,
     'consistency proof does not parse: invalid type: string "4", expected u64'),
    ((consistency(4, log_id="x"), BAD_CP), ROOT4, BAD_CP_MESSAGE),
    (consistency(4, log_id="x", second_tree_size=3), "bad", f"consistency proof log_id 'x' ≠ log_checkpoint.log_id "
     f"'{LOG_ID}' (consistency proofs exist only within one log_id, RFC-ZELQ-0012 §7.4)"),
    # A binding alone fails on a proof whose path holds.
    (consistency(4, log_id=LOG_ID + "2"), ROOT4, f"consistency proof log_id '{LOG_ID}2' ≠ log_checkpoint.log_id "
     f"'{LOG_ID}' (consistency proofs exist only within one log_id, RFC-ZELQ-0012 §7.4)"),
    ((consistency(4), dict(CP, tree_size=12)), ROOT4,
     "consistency proof second_tree_size 11 ≠ log_checkpoint.tree_size 12 (RFC-ZELQ-0012 §8.2)"),
    (consistency(4, second_tree_size=3), "bad",
     "consistency proof second_tree_size 3 ≠ log_checkpoint.tree_size 11 (RFC-ZELQ-0012 §8.2)"),
    (consistency(4, consistency_path=["x"]), "sha256:" + "A" * 64,
     "hash 'sha256:" + "A" * 64 + "' is not 'sha256:' + 64 lowercase hex digits (RFC-ZELQ-0012 §2)"),
    (consistency(5, consistency_path=consistency(4)["consistency_path"] + ["x"]), ROOT4,
     "hash 'x' is not of the form 'sha256:<hex>' (RFC-ZELQ-0012 §2)"),
    (consistency(4, consistency_path=[ROOT4] + consistency(4)["consistency_path"]), ROOT4, NOT_PREFIX.format(4, 11)),
    (consistency(4, consistency_path=consistency(4)["consistency_path"][:-1]), ROOT4, NOT_PREFIX.format(4, 11)),
    (consistency(0, consistency_path=[]), wire(sha(b"")), NOT_PREFIX.format(0, 11)),
    (consistency(12, consistency_path=[H]), ROOT4, NOT_PREFIX.format(12, 11)),
    (consistency(11, consistency_path=[H]), CP["root_hash"], NOT_PREFIX.format(11, 11)),
    (consistency(5), ROOT4, NOT_PREFIX.format(5, 11)),
])
def test_consistency_verdicts(proof, first_root, message):
    proof, cp = proof if isinstance(proof, tuple) else (proof, CP)
    assert check_consistency(proof, first_root, cp) == failure(message)


def test_consistency_ignores_the_checkpoint_signature_and_clock():
    stale = dict(CP, timestamp="2999-01-01T00:00:00.000Z")
    assert check_consistency(consistency(11, consistency_path=[]), CP["root_hash"], stale) == {"valid": True}
    with pytest.raises(ValueError, match="^invalid consistency proof JSON: "):
        V.verify_log_consistency("{", "{", H)


def test_sizes_near_two_to_the_64_fail_cleanly():
    top = 2**64 - 1
    cp = dict(CP, tree_size=top)  # signatures are not this method's business
    proof = inclusion(top - 1, top, inclusion_path=[H] * 64)
    assert check_inclusion(proof, cp)["error"] == P + (
        f"inclusion_path for leaf_index {top - 1} does not fold to the checkpoint root_hash '{cp['root_hash']}' "
        f"at tree_size {top} (RFC-ZELQ-0012 §9.1 step 6)")
    proof = consistency(2**63 + 1, top, consistency_path=[H] * 130)
    assert check_consistency(proof, H, cp) == failure(NOT_PREFIX.format(2**63 + 1, top))
