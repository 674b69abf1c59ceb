"""Peak memory of one call, in a fresh process, against the size of its input.

For each body shape and size, each method runs in its own interpreter: the
body text is built first, the kernel's peak-RSS mark is reset, the method
runs once, and the peak above the resident size before the call is the
call's extra memory. Printed as MB and as a ratio to the body's size.

A second table does the same for publish records of a plausible shape (a
body with many data references, and the refusals of oversized free-form
objects): the signed input is made here, written to a file, and read by the
child before the mark is reset. Each row checks that the call ended as
expected, so that a shape that stops early cannot pass for a cheap one.

A third table gives each JSON argument of the registry methods one dense
member that its record refuses or never reads. A fourth puts the dense part
inside a member that a record does read: a list of its shortest entries, or
an array where a scalar or a short member belongs.

    python bench/bench_memory.py [sizes in MB ...]   (default: 1 10 50)
    python bench/bench_memory.py --table shapes [--rows TEXT] 1 10
"""
import argparse
import base64
import copy
import functools
import io
import json
import os
import subprocess
import sys
import tempfile

SHAPES = {
    # Small objects with an empty array: many values per input byte.
    "objects": 'def body(n):\n    unit = \'{"b":1,"a":[]},\'\n    k = n // len(unit)\n'
               '    return \'{"x":[\' + unit * (k - 1) + unit[:-1] + "]}"\n',
    # Arrays nested 120 deep: many containers per input byte.
    "nested": 'def body(n):\n    unit = "[" * 120 + "]" * 120 + ","\n    k = n // len(unit)\n'
              '    return \'{"a":[\' + unit * (k - 1) + unit[:-1] + "]}"\n',
}

METHODS = {
    "canonicalize": "zelq.ZelqCanonicalizer.canonicalize(text)",
    "canonical_preimage": "zelq.ZelqVerifier.canonical_preimage(text)",
    "verify_content_hash": "zelq.ZelqVerifier.verify_content_hash(text, HASH)",
    "explain_hash_mismatch": "zelq.ZelqVerifier.explain_hash_mismatch(text, WRONG)",
    # The body as the public key of a DID document: read for its form, only the
    # key members kept.
    "ZelqDidDocument.parse": "zelq.ZelqDidDocument.parse(DOC, DID)",
    # The same key in a method embedded in assertionMethod.
    "DidDocument.parse, embedded": "zelq.ZelqDidDocument.parse(EMBEDDED, DID)",
}

CHILD = r"""
import gc, sys, zelq
{shape}
text = body({size})
WRONG = "sha256:" + "0" * 64
HASH = "{hash}"
DID = "did:web:example.com"
DOC = ('{{"id":"' + DID + '","verificationMethod":[{{"id":"' + DID + '#k","type":"JsonWebKey2020",'
       '"controller":"' + DID + '","publicKeyJwk":' + text + '}}],"assertionMethod":[]}}') if {wrap} else ""
EMBEDDED = ('{{"id":"' + DID + '","assertionMethod":[{{"id":"' + DID + '#k","type":"JsonWebKey2020",'
            '"controller":"' + DID + '","publicKeyJwk":' + text + '}}]}}') if {wrap} else ""
{mark}
try:
    {call}
except (RuntimeError, ValueError):
    pass
print(len(text.encode()), status("VmHWM:") - before)
"""

# The child's last step before the call: the peak-RSS mark reset to the
# resident size, which is kept as `before`.
MARK = r"""
gc.collect()

def status(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field):
                return int(line.split()[1]) * 1024

with open("/proc/self/clear_refs", "w") as f:
    f.write("5")  # resets the peak-RSS mark to the current RSS
before = status("VmRSS:")
"""


def body_hash(shape, size):
    """The body's content hash, taken here so that no earlier call warms the child's heap."""
    import zelq
    scope = {}
    exec(SHAPES[shape], scope)
    return zelq.ZelqCanonicalizer.content_hash(scope["body"](size))


def measure(shape, size, method, hash_):
    code = CHILD.format(shape=SHAPES[shape], size=size, call=METHODS[method], hash=hash_,
                        wrap="DidDocument.parse" in method, mark=MARK)
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    n, extra = map(int, out.split())
    return n, extra


# ---- publish records ------------------------------------------------------

SEED = bytes(range(32))
CTX = "zelq://registry.example/6f1c2a4e-5b7d-4c3e-9a1f-2b3c4d5e6f70"
FP = "sha256:" + "ab" * 32


# Inputs are written as text, piece by piece: a list of dicts of the same
# size would take the parent several times the memory of the child it
# measures.

def data_refs(n):
    """The text of an array of about n bytes of data references, each of about 130 bytes."""
    out, i = io.StringIO(), 0
    out.write("[")
    while out.tell() < n:
        if i:
            out.write(",")
        out.write(f'{{"type":"raw_data","size_bytes":{1000 + i},"location":"https://data.example/sets/{i:07}.csv",'
                  f'"content_hash":"sha256:{i:064x}"}}')
        i += 1
    out.write("]")
    return out.getvalue()


def wide(n, head=""):
    """The text of an object of about n bytes, one small member per 12 bytes, after `head`."""
    out = io.StringIO()
    out.write("{" + head)
    for i in range(n // 12):
        out.write(f'{"," if i or head else ""}"k{i:06}":{i % 10}')
    out.write("}")
    return out.getvalue()


def signed_body(**members):
    """A did:key body, hashed and signed as a producer does; `members` are
    given as JSON text and override the defaults."""
    from cryptography.hazmat.primitives.asymmetric import ed25519
    import zelq
    p = zelq.ZelqProducer.from_seed_did_key(SEED)
    body = {"version": "1", "supersedes": "null", "agent_id": compact(p.agent_did), "contributors": "[]",
            "title": '"bulk"', "type": '"data_snapshot"', "data_refs": "[]", "derived_from": "[]",
            "visibility": '"public"', "zelq_version": '"0.4.0"'}
    body.update(members)
    text = "{" + ",".join(f'"{k}":{v}' for k, v in body.items()) + "}"
    content_hash = zelq.ZelqCanonicalizer.content_hash(text)
    sig = ed25519.Ed25519PrivateKey.from_private_bytes(SEED).sign(content_hash.encode())
    signature = {"algorithm": "ed25519", "key_id": p.key_id, "value": base64.b64encode(sig).decode()}
    registry = {"content_hash": content_hash, "signature": signature, "ctx_id": CTX,
                "lineage_id": "lin:sha256:" + "cd" * 32, "origin_registry": "registry.example",
                "created_at": "2030-01-01T00:00:00.000Z"}
    return text[:-1] + "," + compact(registry)[1:]


def compact(v):
    return json.dumps(v, separators=(",", ":"))


def revocation(n):
    head = f'"revoked_key_fingerprint":"{FP}","compromised_since":"2030-01-01T00:00:00.000Z"'
    return signed_body(type='"key-revocation"', metadata=wide(n, head))


# name: (the input text for a size, the call, how it must end)
RECORDS = {
    "verify_body_offline, data_refs": (lambda n: signed_body(data_refs=data_refs(n)),
                                       "zelq.ZelqVerifier.verify_body_offline(text)", "True"),
    "verify_publish_request_offline, data_refs": (
        lambda n: signed_body(data_refs=data_refs(n)).split(',"ctx_id"')[0] + "}",
        "zelq.ZelqVerifier.verify_publish_request_offline(text)", "True"),
    "ZelqProducer.build_publish_request, data_refs": (
        data_refs, "ED.build_publish_request('t', 'data_snapshot', data_refs=text)", "str"),
    "ZelqP256Producer.build_publish_request, data_refs": (
        data_refs, "P256.build_publish_request('t', 'data_snapshot', data_refs=text)", "str"),
    "ZelqProducer.build_supersede_request, data_refs": (
        lambda n: signed_body(data_refs=data_refs(n)), "ED.build_supersede_request(text)", "str"),
    "verify_body_offline, extensions > 64 KB": (
        lambda n: signed_body(archive=data_refs(n)), "zelq.ZelqVerifier.verify_body_offline(text)",
        "schema violation: extensions JCS-canonical size"),
    "verify_body_offline, metadata > 100 members": (
        lambda n: signed_body(metadata=wide(n)), "zelq.ZelqVerifier.verify_body_offline(text)",
        "schema violation: metadata has"),
    # The request check applies no field rules, so the wide metadata verifies.
    "verify_publish_request_offline, wide metadata": (
        lambda n: signed_body(metadata=wide(n)).split(',"ctx_id"')[0] + "}",
        "zelq.ZelqVerifier.verify_publish_request_offline(text)", "True"),
    "build_publish_request, metadata > 100 members": (
        wide, "ED.build_publish_request('t', 'data_snapshot', metadata=text)", "schema violation: metadata has"),
    "parse_key_revocation, wide metadata": (revocation, "zelq.ZelqVerifier.parse_key_revocation(text)", "str"),
}



def empties(n):
    """A list of about n bytes of empty strings: a list entry per three bytes."""
    return "[" + ",".join(['""'] * (n // 3)) + "]"


def minimal_refs(n):
    """A list of about n bytes of the smallest data references."""
    unit = '{"type":"raw_data"}'
    return "[" + ",".join([unit] * (n // (len(unit) + 1))) + "]"


# The lists of a body or request filled with their shortest entries, through
# every method that reads one: the verifiers end at the first rule the list
# breaks (the request check applies none), the producers at the same rule.
LIST_SHAPES = {"tags": (empties, "tags has"), "contributors": (empties, "DID length 0"),
               "derived_from": (empties, "derived_from has"),
               "data_refs": (minimal_refs, "DataRef requires exactly one")}
for _member, (_make, _refusal) in LIST_SHAPES.items():
    def _body(n, member=_member, make=_make):
        return signed_body(**{member: make(n)})

    RECORDS[f"verify_body_offline, {_member} of shortest entries"] = (
        _body, "zelq.ZelqVerifier.verify_body_offline(text)", _refusal)
    RECORDS[f"verify_publish_request_offline, {_member} of shortest"] = (
        lambda n, body=_body: body(n).split(',"ctx_id"')[0] + "}",
        "zelq.ZelqVerifier.verify_publish_request_offline(text)", "True")
    RECORDS[f"build_supersede_request, {_member} of shortest entries"] = (
        _body, "ED.build_supersede_request(text)", _refusal)
RECORDS["build_publish_request, data_refs of shortest entries"] = (
    minimal_refs, "ED.build_publish_request('t', 'data_snapshot', data_refs=text)", "DataRef requires exactly one")

# ---- registry artefacts -----------------------------------------------------
# Each JSON parameter of the registry methods: a valid argument with one
# member more, "zz", holding a dense array of n bytes. A closed record
# refuses the member by its name; the free-form arguments (the expectations,
# the policy, the map of witness documents) never read it.

H = "sha256:" + "ab" * 32
REG = "did:web:registry.example"
LOG_ID = REG + "/log/main"
WITNESS = "did:web:w.example"
NOW = "2026-01-01T00:01:00.000Z"
CHECKPOINT = {"checkpoint_version": "zelq-log/1", "log_id": LOG_ID, "tree_size": 1, "root_hash": H,
              "timestamp": "2026-01-01T00:00:00.000Z",
              "signature": {"algorithm": "ed25519", "key_id": REG + "#log-key-1", "value": "AA=="}}
WITNESSED = {k: CHECKPOINT[k] for k in ("log_id", "tree_size", "root_hash", "timestamp")}
LEAF = {"leaf_version": "zelq-log-leaf/1", "ctx_id": "zelq://registry.example/1", "lineage_id": "lin:x",
        "origin_registry": "registry.example", "created_at": "2025-06-01T11:59:00.123Z", "content_hash": H,
        "key_fingerprint": H, "receipt_hash": H}
RECEIPT = {"registry_did": REG, "ctx_id": CTX, "lineage_id": "lin:sha256:" + "cd" * 32,
           "origin_registry": "registry.example", "created_at": "2030-01-01T00:00:00.000Z", "content_hash": H,
           "key_fingerprint": H, "signature": {"algorithm": "ed25519", "key_id": REG + "#r", "value": "AA=="}}
HEAD = {"receipt_version": "zelq-lhr/1", "registry_did": REG, "lineage_id": "lin:sha256:" + "cd" * 32,
        "head_ctx_id": CTX, "head_version": 2, "head_status": "active", "as_of": "2026-01-01T00:00:00.000Z",
        "signature": {"algorithm": "ed25519", "key_id": REG + "#k", "value": "AA=="}}
EXPECTED = {"authority": "registry.example", "lineage_id": HEAD["lineage_id"], "head_ctx_id": CTX,
            "head_version": 2, "head_status": "active"}
EVENT = {"event_id": "5f0c2a9e-0b1d-7c3e-8f4a-6b5c4d3e2f1a", "ctx_id": CTX, "event_type": "retracted",
         "occurred_at": "2026-01-01T00:00:00.000Z", "actor": REG,
         "signature": {"algorithm": "ed25519", "key_id": REG + "#k", "value": "AA=="}}
INCLUSION = {"log_id": LOG_ID, "leaf_index": 0, "tree_size": 1, "inclusion_path": []}
CONSISTENCY = {"log_id": LOG_ID, "first_tree_size": 1, "second_tree_size": 1, "consistency_path": []}
POLICY = {"min_witnesses": 1}


def with_zz(obj, n):
    """The object's compact text with one member more, "zz", an array of about n bytes of zeros."""
    return compact(obj)[:-1] + ',"zz":[' + "0," * (n // 2) + "0]}"


@functools.lru_cache(maxsize=None)
def witness():
    """A witness's DID document and a cosignature it minted over WITNESSED."""
    import zelq
    from cryptography.hazmat.primitives.asymmetric import ed25519
    from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat
    seed = bytes([7]) * 32
    raw = ed25519.Ed25519PrivateKey.from_private_bytes(seed).public_key().public_bytes(Encoding.Raw,
                                                                                       PublicFormat.Raw)
    jwk = {"kty": "OKP", "crv": "Ed25519", "x": base64.urlsafe_b64encode(raw).rstrip(b"=").decode()}
    doc = {"id": WITNESS, "verificationMethod": [{"id": WITNESS + "#witness-key-1", "type": "JsonWebKey2020",
                                                   "controller": WITNESS, "publicKeyJwk": jwk}],
           "assertionMethod": [WITNESS + "#witness-key-1"]}
    cosig = zelq.ZelqVerifier.build_witness_cosignature(compact(WITNESSED), WITNESS, seed.hex(),
                                                         "2026-01-01T00:00:10.000Z")
    return doc, json.loads(cosig)


def fat_jwk_doc(n):
    """The witness's document, its JWK carrying about n bytes of members that nothing reads."""
    doc, _ = witness()
    text = compact(doc)
    jwk = compact(doc["verificationMethod"][0]["publicKeyJwk"])
    return text.replace(jwk, wide(n, jwk[1:-1]))


def quorum_call(i):
    """A call of evaluate_witness_quorum on valid arguments, its i-th argument `text`."""
    doc, cosig = witness()
    args = [compact([cosig]), compact(CHECKPOINT), compact([WITNESS]), compact({WITNESS: doc}), compact(POLICY)]
    return ("zelq.ZelqVerifier.evaluate_witness_quorum(" +
            ", ".join("text" if j == i else repr(a) for j, a in enumerate(args)) + ", NOW)")


def registry_rows():
    doc, cosig = witness()
    Z = "unknown field `zz`"
    c, d = compact, compact(doc)
    v = "zelq.ZelqVerifier."
    q = quorum_call

    return {
        "ZelqMerkle.leaf_hash: leaf": (lambda n: with_zz(LEAF, n), "zelq.ZelqMerkle.leaf_hash(text)", Z),
        "build_log_leaf: receipt": (lambda n: with_zz(RECEIPT, n), v + "build_log_leaf(text)", Z),
        "verify_receipt: receipt": (lambda n: with_zz(RECEIPT, n),
                                    v + f"verify_receipt(text, BODY, 'A' * 43 + '=', {CTX!r}, {H!r}, {H!r})", Z),
        "verify_lineage_head_receipt: receipt": (
            lambda n: with_zz(HEAD, n), v + f"verify_lineage_head_receipt(text, {c(EXPECTED)!r}, '{{}}', NOW)", Z),
        "verify_lineage_head_receipt: expected": (
            lambda n: with_zz(EXPECTED, n), v + f"verify_lineage_head_receipt({c(HEAD)!r}, text, '{{}}', NOW)",
            "valid"),
        "verify_log_checkpoint: checkpoint": (lambda n: with_zz(CHECKPOINT, n),
                                              v + "verify_log_checkpoint(text, '{}', None, NOW)", Z),
        "verify_log_inclusion: inclusion": (
            lambda n: with_zz(INCLUSION, n), v + f"verify_log_inclusion(text, {c(CHECKPOINT)!r}, {c(LEAF)!r})", Z),
        "verify_log_inclusion: checkpoint": (
            lambda n: with_zz(CHECKPOINT, n), v + f"verify_log_inclusion({c(INCLUSION)!r}, text, {c(LEAF)!r})", Z),
        "verify_log_inclusion: leaf": (
            lambda n: with_zz(LEAF, n), v + f"verify_log_inclusion({c(INCLUSION)!r}, {c(CHECKPOINT)!r}, text)", Z),
        "verify_log_consistency: consistency proof": (
            lambda n: with_zz(CONSISTENCY, n), v + f"verify_log_consistency(text, {c(CHECKPOINT)!r}, {H!r})", Z),
        "verify_log_consistency: checkpoint": (
            lambda n: with_zz(CHECKPOINT, n), v + f"verify_log_consistency({c(CONSISTENCY)!r}, text, {H!r})", Z),
        "verify_lifecycle_event: event": (lambda n: with_zz(EVENT, n),
                                          v + f"verify_lifecycle_event(text, '{{}}', {CTX!r})", Z),
        "build_witness_cosignature: witnessed checkpoint": (
            lambda n: with_zz(WITNESSED, n),
            v + f"build_witness_cosignature(text, {WITNESS!r}, '07' * 32, '2026-01-01T00:00:10.000Z')", Z),
        "verify_witness_cosignature: cosignature": (
            lambda n: with_zz(cosig, n), v + f"verify_witness_cosignature(text, {d!r}, {c(CHECKPOINT)!r}, NOW)", Z),
        "verify_witness_cosignature: witness DID document": (
            lambda n: with_zz(doc, n), v + f"verify_witness_cosignature({c(cosig)!r}, text, {c(CHECKPOINT)!r}, NOW)",
            "valid"),
        "verify_witness_cosignature: document, fat JWK": (
            fat_jwk_doc, v + f"verify_witness_cosignature({c(cosig)!r}, text, {c(CHECKPOINT)!r}, NOW)", "valid"),
        "verify_witness_cosignature: checkpoint": (
            lambda n: with_zz(CHECKPOINT, n), v + f"verify_witness_cosignature({c(cosig)!r}, {d!r}, text, NOW)",
            "log_checkpoint does not parse: " + Z),
        "evaluate_witness_quorum: cosignatures": (lambda n: "[" + with_zz(cosig, n) + "]", q(0), "witnessed_count"),
        "evaluate_witness_quorum: checkpoint": (lambda n: with_zz(CHECKPOINT, n), q(1), Z),
        "evaluate_witness_quorum: witness DID docs": (lambda n: with_zz({WITNESS: doc}, n), q(3),
                                                      "witnessed_count"),
        "evaluate_witness_quorum: document, fat JWK": (
            lambda n: '{"' + WITNESS + '":' + fat_jwk_doc(n) + "}", q(3), "witnessed_count"),
        "evaluate_witness_quorum: policy": (lambda n: with_zz(POLICY, n), q(4), "witnessed_count"),
    }


# ---- dense parts inside the members a record reads ----------------------------
# Each row puts an array of about n bytes where a record reads a member: a
# list of its shortest entries, or `[0,0,…]` where a scalar or a short list
# belongs. The rest of the argument is valid, so the call reads on to that
# member's own check. Rows are named "method: argument, member = shape".

FILL = "\0fill"  # stands in an object for the dense part until its text is written


def dense(unit, n):
    """The text of an array of about n bytes, each of its entries `unit`."""
    k = max(1, n // (len(unit) + 1))
    return "[" + (unit + ",") * (k - 1) + unit + "]"


def put(base, path, unit, n):
    """The compact text of `base` with the member at `path` an array of about n bytes of `unit`."""
    obj = copy.deepcopy(base)
    at = obj
    for key in path[:-1]:
        at = at[key]
    at[path[-1]] = FILL
    return compact(obj).replace(compact(FILL), dense(unit, n))


ZEROS, EMPTIES, RAW_DATA = "0", '""', '{"type":"raw_data"}'
REVOKED = {"revoked_key_fingerprint": FP, "compromised_since": "2030-01-01T00:00:00.000Z"}


def did_doc(did):
    """A valid DID document of `did`, its one key `did#k`; the witness's own for the witness."""
    doc, _ = witness()
    if did == WITNESS:
        return doc
    return json.loads(compact(doc).replace(WITNESS + "#witness-key-1", did + "#k").replace(WITNESS, did))


def shape_rows():
    doc, cosig = witness()
    c, v = compact, "zelq.ZelqVerifier."
    rows = {}

    def add(name, make, call, expected):
        rows[name] = (make, call, expected)

    # Where a DID document is read: (row name, whose, path to it in the
    # argument, call, the outcome when assertionMethod names no key, the
    # outcome when verificationMethod holds no key).
    no_key = "no verificationMethod '#k'"
    no_witness_key = "has no verification method '#witness-key-1'"
    documents = [
        ("ZelqDidDocument.parse", REG, (), f"zelq.ZelqDidDocument.parse(text, {REG!r})",
         "ZelqDidDocument", "ZelqDidDocument"),
        ("verify_log_checkpoint: registry document", REG, (),
         v + f"verify_log_checkpoint({c(CHECKPOINT)!r}, text, None, NOW)",
         "no verificationMethod '#log-key-1'", "no verificationMethod '#log-key-1'"),
        ("verify_lineage_head_receipt: registry document", REG, (),
         v + f"verify_lineage_head_receipt({c(HEAD)!r}, {c(EXPECTED)!r}, text, NOW)", "sig parse", no_key),
        ("verify_lifecycle_event: actor document", REG, (), v + f"verify_lifecycle_event({c(EVENT)!r}, text, {CTX!r})",
         "is not referenced by assertionMethod", no_key),
        ("verify_witness_cosignature: witness document", WITNESS, (),
         v + f"verify_witness_cosignature({c(cosig)!r}, text, {c(CHECKPOINT)!r}, NOW)", '"valid":true', no_witness_key),
        ("evaluate_witness_quorum: witness documents", WITNESS, (WITNESS,), quorum_call(3),
         '"witnessed_count":1', no_witness_key),
    ]
    # (shape, path in the document, unit, outcome: which of the two above, or its own)
    method = ("verificationMethod", 0)
    document_shapes = [
        ('assertionMethod = ["",…]', ("assertionMethod",), EMPTIES, 0),
        ('verificationMethod = [["","","",null,null],…]', ("verificationMethod",), '["","","",null,null]', 1),
        ('verificationMethod = [{"id":"","type":"","controller":""},…]', ("verificationMethod",),
         '{"id":"","type":"","controller":""}', 1),
    ]
    witness_shapes = [
        ("verificationMethod = [[],…]", ("verificationMethod",), "[]",
         "invalid length 0, expected struct VerificationMethod with 5 elements"),
        ("publicKeyJwk.kty = [0,…]", method + ("publicKeyJwk", "kty"), ZEROS, "got kty= crv=Ed25519"),
        ("publicKeyJwk.crv = [0,…]", method + ("publicKeyJwk", "crv"), ZEROS, 'got kty=OKP crv="'),
        ("publicKeyJwk.x = [0,…]", method + ("publicKeyJwk", "x"), ZEROS, "JWK missing 'x' parameter"),
    ]
    for site, did, prefix, call, *outcomes in documents:
        base = did_doc(did)
        for key in prefix[::-1]:
            base = {key: base}
        for shape, path, unit, outcome in document_shapes + (witness_shapes if did == WITNESS else []):
            add(f"{site}, {shape}", functools.partial(put, base, prefix + path, unit), call,
                outcomes[outcome] if isinstance(outcome, int) else outcome)

    # Where a checkpoint is read: (row name, the argument, path to the checkpoint in it, call).
    leaf, inclusion, consistency = c(LEAF), c(INCLUSION), c(CONSISTENCY)
    checkpoint_in = {
        "verify_log_inclusion": v + f"verify_log_inclusion({inclusion!r}, text, {leaf!r})",
        "verify_log_consistency": v + f"verify_log_consistency({consistency!r}, text, {H!r})",
    }
    checkpoints = [
        ("verify_log_checkpoint: checkpoint", CHECKPOINT, (), v + "verify_log_checkpoint(text, '{}', None, NOW)"),
        ("verify_log_inclusion: checkpoint", CHECKPOINT, (), checkpoint_in["verify_log_inclusion"]),
        ("verify_log_consistency: checkpoint", CHECKPOINT, (), checkpoint_in["verify_log_consistency"]),
        ("verify_witness_cosignature: checkpoint", CHECKPOINT, (),
         v + f"verify_witness_cosignature({c(cosig)!r}, {c(doc)!r}, text, NOW)"),
        ("evaluate_witness_quorum: checkpoint", CHECKPOINT, (), quorum_call(1)),
        ("build_witness_cosignature: witnessed checkpoint", WITNESSED, (),
         v + f"build_witness_cosignature(text, {WITNESS!r}, '07' * 32, '2026-01-01T00:00:10.000Z')"),
        ("verify_witness_cosignature: cosignature", cosig, ("witnessed_checkpoint",),
         v + f"verify_witness_cosignature(text, {c(doc)!r}, {c(CHECKPOINT)!r}, NOW)"),
        ("evaluate_witness_quorum: cosignatures", [cosig], (0, "witnessed_checkpoint"), quorum_call(0)),
    ]
    for site, base, prefix, call in checkpoints:
        # a cosignature the quorum cannot read is not counted, and not reported
        expected = '"witnessed_count":0' if prefix[:1] == (0,) else "invalid type: sequence, expected a string"
        add(f'{site}, root_hash = ["",…]', functools.partial(put, base, prefix + ("root_hash",), EMPTIES), call,
            expected)

    # The one-pass proof road: proofs that embed no checkpoint, the supplied
    # checkpoint and leaf, and the leaf an inclusion proof may carry.
    inclusion_call = v + f"verify_log_inclusion(text, {c(CHECKPOINT)!r}, {leaf!r})"
    consistency_call = v + f"verify_log_consistency(text, {c(CHECKPOINT)!r}, {H!r})"
    u64, as_time = "sequence, expected u64", "sequence, expected an RFC 3339 formatted date and time string"
    # (row name, the argument, path to the record in it, {member: outcome}, call)
    proof_road = [
        ("verify_log_inclusion: inclusion", INCLUSION, (), {"leaf_index": u64, "tree_size": u64}, inclusion_call),
        ("verify_log_consistency: consistency proof", CONSISTENCY, (),
         {"first_tree_size": u64, "second_tree_size": u64}, consistency_call),
        *[(f"{m}: checkpoint", CHECKPOINT, (), {"tree_size": u64, "timestamp": as_time}, call)
          for m, call in checkpoint_in.items()],
        ("verify_log_inclusion: leaf", LEAF, (),
         {"created_at": "log leaf does not parse: invalid type: sequence, expected a string"},
         v + f"verify_log_inclusion({inclusion!r}, {c(CHECKPOINT)!r}, text)"),
        # an array where the leaf belongs is read as a positional leaf
        ("verify_log_inclusion: inclusion", INCLUSION, (), {"leaf": "invalid type: integer `0`, expected a string"},
         inclusion_call),
        ("verify_log_inclusion: inclusion", dict(INCLUSION, leaf=LEAF), ("leaf",),
         {"created_at": "log_inclusion does not parse: invalid type: sequence, expected a string",
          "zz": "unknown field `zz`, expected one of `leaf_version`"}, inclusion_call),
    ]
    for site, base, prefix, members, call in proof_road:
        for member, expected in members.items():
            add(f"{site}, {'.'.join(prefix + (member,))} = [0,…]",
                functools.partial(put, base, prefix + (member,), ZEROS), call, expected)
    not_a_hash = "hash '' is not of the form"
    add('verify_log_inclusion: inclusion, inclusion_path = ["",…]',
        functools.partial(put, INCLUSION, ("inclusion_path",), EMPTIES), inclusion_call, not_a_hash)
    add('verify_log_consistency: consistency proof, consistency_path = ["",…]',
        functools.partial(put, CONSISTENCY, ("consistency_path",), EMPTIES), consistency_call, not_a_hash)
    add('ZelqMerkle.root_hash: leaf hashes = ["",…]', functools.partial(dense, EMPTIES),
        "zelq.ZelqMerkle.root_hash(text)", not_a_hash)
    add('evaluate_witness_quorum: trusted_witness_dids = ["",…]', functools.partial(dense, EMPTIES),
        quorum_call(2), '"witnessed_count":0')

    # An embedded checkpoint with a member its record refuses, and the
    # supplied checkpoint with the same member: two arguments, each of about
    # n / 2 bytes, and the ratio is over both. An extra element does the same
    # in a positional checkpoint.
    def embedded(proof, positional_proof, positional_checkpoint, n):
        if positional_checkpoint:
            checkpoint = c(list(CHECKPOINT.values()) + [FILL]).replace(c(FILL), dense(ZEROS, n // 2))
        else:
            checkpoint = put(CHECKPOINT, ("zz",), ZEROS, n // 2)
        p = dict(proof, log_checkpoint=FILL)
        return c(list(p.values()) if positional_proof else p).replace(c(FILL), checkpoint) + "\0" + checkpoint

    for site, proof, label, last in [("verify_log_inclusion", INCLUSION, "log_inclusion", leaf),
                                     ("verify_log_consistency", CONSISTENCY, "consistency proof", H)]:
        call = v + f"{site}(text, args[1], {last!r})"
        for form, positional_proof, positional_checkpoint, expected in [
                ("{…, log_checkpoint: {…, zz}}", False, False, "unknown field `zz`, expected one of `checkpoint_"),
                ("{…, log_checkpoint: […, [0,…]]}", False, True, "invalid length 7, expected fewer elements"),
                ("[…, {…, zz}]", True, False, label + " must be a JSON object")]:
            add(f"{site}: proof {form}, the same checkpoint supplied", functools.partial(
                embedded, proof, positional_proof, positional_checkpoint), call, expected)
    add('verify_log_inclusion: proof {"log_checkpoint":{"zz":[0,…]}} against {}',
        lambda n: '{"log_checkpoint":' + put({}, ("zz",), ZEROS, n) + "}",
        v + "verify_log_inclusion(text, '{}', '{}')", "embeds a log_checkpoint that differs")

    # Bodies and requests: lists of their shortest entries.
    def body(members, n, request=False):
        text = signed_body(**{k: dense(unit, n) for k, unit in members.items()})
        return text.split(',"ctx_id"')[0] + "}" if request else text

    def revocation_body(members, n):
        return signed_body(type='"key-revocation"', metadata=compact(REVOKED),
                           **{k: dense(unit, n) for k, unit in members.items()})

    # the refusals of the field rules, where a method applies them
    rules = {"tags": "schema violation: tags has", "contributors": "schema violation: DID length 0",
             "derived_from": "schema violation: derived_from has",
             "data_refs": "schema violation: DataRef requires exactly one of"}
    bodies = [
        ("verify_body_offline", body, v + "verify_body_offline(text)", rules),
        ("verify_publish_request_offline", functools.partial(body, request=True),
         v + "verify_publish_request_offline(text)", "True"),
        ("ZelqProducer.build_supersede_request", body, "ED.build_supersede_request(text)", rules),
        ("verify_receipt: body", body,
         v + f"verify_receipt({c(RECEIPT)!r}, text, 'A' * 43 + '=', {CTX!r}, {H!r}, {H!r})", "sig parse"),
        ("parse_key_revocation", revocation_body, v + "parse_key_revocation(text)", 'str: {"revoked_key_fingerprint"'),
    ]
    for site, make, call, outcome in bodies:
        for m, unit in [("tags", EMPTIES), ("contributors", EMPTIES), ("derived_from", EMPTIES),
                        ("data_refs", RAW_DATA)]:
            add(f"{site}, {m} = [{unit},…]", functools.partial(make, {m: unit}), call,
                outcome[m] if isinstance(outcome, dict) else outcome)
    add(f"ZelqProducer.build_publish_request, data_refs = [{RAW_DATA},…]", functools.partial(dense, RAW_DATA),
        "ED.build_publish_request('t', 'data_snapshot', data_refs=text)", rules["data_refs"])

    # Members read as numbers or short texts, holding arrays.
    for m in ["revoked_key_fingerprint", "compromised_since", "reason", "revoked_key_id", "revoked_key_controller"]:
        add(f"parse_key_revocation: metadata.{m} = [0,…]",
            lambda n, m=m: signed_body(type='"key-revocation"', metadata=put(REVOKED, (m,), ZEROS, n)),
            v + "parse_key_revocation(text)", f"key-revocation metadata.{m} ")
    for m in ("min_witnesses", "max_age_secs", "max_clock_skew_secs"):
        add(f"evaluate_witness_quorum: policy, {m} = [0,…]", functools.partial(put, POLICY, (m,), ZEROS),
            quorum_call(4), f"policy.{m} must be")
    for m in EXPECTED:
        add(f"verify_lineage_head_receipt: expected, {m} = [0,…]", functools.partial(put, EXPECTED, (m,), ZEROS),
            v + f"verify_lineage_head_receipt({c(HEAD)!r}, text, '{{}}', NOW)",
            "expected must carry 'authority'" if m == "authority" else f"expected.{m} is required")
    return rows


RECORD_CHILD = r"""
import gc, sys, zelq
with open({path!r}, encoding="utf-8") as f:
    args = f.read().split("\0")  # the arguments a row passes, the first as `text`
text = args[0]
ED = zelq.ZelqProducer.from_seed_did_key(bytes([1]) * 32)
NOW = {now!r}
BODY = {body!r}
P256 = zelq.ZelqP256Producer.from_seed_did_key(bytes([1]) * 32)
{mark}
try:
    out = {call}
    outcome = "True" if out is True else type(out).__name__ + (": " + out if isinstance(out, str) else "")
except Exception as e:
    outcome = str(e)
peak = status("VmHWM:") - before
print(sum(len(a.encode()) for a in args), peak)
print(outcome[:400])
"""


def measure_record(name, size, rows=None):
    make, call, expected = (rows or RECORDS)[name]
    text = make(size)
    with tempfile.NamedTemporaryFile("w", suffix=".json", encoding="utf-8", delete=False) as f:
        f.write(text)
    del text
    try:
        code = RECORD_CHILD.format(path=f.name, call=call, mark=MARK, now=NOW, body=receipt_body())
        out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    finally:
        os.unlink(f.name)
    first, outcome = out.split("\n", 1)
    if expected not in outcome:
        raise SystemExit(f"{name} at {size >> 20} MB ended with {outcome.strip()!r}, not {expected!r}")
    n, extra = map(int, first.split())
    return n, extra


def receipt_body():
    """A body that RECEIPT's bindings hold for."""
    return signed_body()


def records_table(sizes, rows=None, title="publish records: peak / input"):
    rows = rows or RECORDS
    width = max(52, max(map(len, rows)))
    print()
    print(f"{title:{width}} " + " ".join(f"{str(mb) + ' MB':>20}" for mb in sizes))
    for name in rows:
        cells = []
        for mb in sizes:
            n, extra = measure_record(name, mb << 20, rows)
            cells.append(f"{extra / 2**20:7.1f} MB {extra / n:6.1f}x")
        print(f"{name:{width}} " + " ".join(f"{c:>20}" for c in cells), flush=True)


def bodies_table(sizes):
    print("extra memory of one call: MB, and x = that / the input's size")
    print(f"{'shape':8} {'MB':>4} " + " ".join(f"{m:>28}" for m in METHODS))
    for shape in SHAPES:
        for mb in sizes:
            cells = []
            hash_ = body_hash(shape, mb << 20)
            for method in METHODS:
                n, extra = measure(shape, mb << 20, method, hash_)
                cells.append(f"{extra / 2**20:9.1f} MB {extra / n:6.1f}x")
            print(f"{shape:8} {mb:>4} " + " ".join(f"{c:>28}" for c in cells), flush=True)


# name: (title, its rows)
TABLES = {
    "records": ("publish records: peak / input", lambda: RECORDS),
    "registry": ("registry artefacts, one dense member: peak / input", registry_rows),
    "shapes": ("dense parts in members the records read: peak / input", shape_rows),
}


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("sizes", nargs="*", type=int, default=[1, 10, 50], help="input sizes in MB")
    ap.add_argument("--table", choices=["bodies", *TABLES], action="append",
                    help="only this table (may be given again)")
    ap.add_argument("--rows", metavar="TEXT", help="only the rows whose name holds TEXT (leaves out the bodies)")
    a = ap.parse_args()
    for name in a.table or ["bodies", *TABLES]:
        if name == "bodies":
            if not a.rows:
                bodies_table(a.sizes)
            continue
        title, rows = TABLES[name]
        picked = {k: row for k, row in rows().items() if not a.rows or a.rows in k}
        if picked:
            records_table(a.sizes, picked, title)

if __name__ == "__main__":
    main()
