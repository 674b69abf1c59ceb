"""A walk through zelq, from the producer who publishes to the consumer who checks.

A producer signs a quarterly report and publishes it, then a revised version.
A registry stores both, signs a receipt and enters it in its transparency log,
which three witnesses cosign. A consumer fetches all of that with its own HTTP
client and verifies every piece offline. Last, the producer's key is stolen, and
a revocation decides which of its signatures still count.

Results are shown the same way throughout: texts as they are, every other value
(True, verdicts, records) as JSON; a refusal as the exception it raised.
"""
import base64
import hashlib
import json

from cryptography.hazmat.primitives.asymmetric import ed25519

import zelq
from zelq import ZelqCanonicalizer, ZelqDid, ZelqDidDocument, ZelqMerkle, ZelqProducer, ZelqSsrfPolicy, ZelqVerifier


def section(number: int, title: str) -> None:
    heading = f"{number}. {title}"
    print(f"\n{heading}\n{'=' * len(heading)}")


def show(label: str, result: object) -> None:
    text = result if isinstance(result, str) else json.dumps(result, indent=2, ensure_ascii=False)
    print(f"  {label}: " + text.replace("\n", "\n  "))


def refusal(error: Exception) -> dict[str, object]:
    shown: dict[str, object] = {"raised": type(error).__name__}
    if isinstance(error, (zelq.SsrfRejected, zelq.DidResolutionError)):
        shown["reason"] = error.reason
    lines = str(error).splitlines()
    shown["message"] = lines[0] if len(lines) == 1 else lines
    return shown


def b64(raw: bytes) -> str:
    return base64.b64encode(raw).decode()


def b64url(raw: bytes) -> str:
    return base64.urlsafe_b64encode(raw).rstrip(b"=").decode()


# One timeline for the whole walk.
V1_CREATED = "2026-03-02T09:00:00.000Z"
V2_CREATED = "2026-03-09T09:00:00.000Z"
EARLIER_CHECKPOINT = "2026-03-09T09:30:00.000Z"
CHECKPOINT = "2026-03-09T10:00:00.000Z"
NOW = "2026-03-09T10:00:30Z"  # the consumer's clock while it checks
COMPROMISED_SINCE = "2026-04-01T00:00:00.000Z"
REVOCATION_CREATED = "2026-04-02T08:00:00.000Z"

section(1, "Canonical JSON and the content hash")
# Every hash of the protocol is taken over the canonical (RFC 8785) form:
# members sorted, no white space, numbers in one spelling.
document = '{"title": "Quarterly report", "tags": ["finance", "q1"], "version": 1.0, "a": -0}'
show("input", document)
show("canonical form", ZelqCanonicalizer.canonicalize(document))
show("content hash", ZelqCanonicalizer.content_hash(document))

section(2, "The producer's identity")
# A did:key producer: the DID is the public key itself, so consumers need no
# DID document. The 32-byte seed would come from a key vault (seed_bytes()).
producer = ZelqProducer.from_seed_did_key(bytes(range(1, 33)))
producer_fingerprint = ZelqVerifier.fingerprint_ed25519_b64(producer.public_key_b64)
show("agent DID", producer.agent_did)
show("signing key", producer.key_id)
show("key fingerprint", producer_fingerprint)

section(3, "Publishing a report")
# The producer builds and signs the request; the consumer can check it offline.
request = producer.build_publish_request(
    "Quarterly report", "analysis", tags=["finance", "q1"], metadata=json.dumps({"quarter": "2026-Q1"}),
    data_refs=json.dumps([{"type": "primary_result", "location": "https://data.example.com/2026-q1.csv"}]))
fields = json.loads(request)
show("request", {k: fields[k] for k in ("agent_id", "title", "type", "version", "content_hash", "signature")})
show("request verified offline", ZelqVerifier.verify_publish_request_offline(request))

section(4, "The registry stores the body")
# The registry adds its own members, which lie outside the content hash and the
# signature; the consumer checks the body as served, and that it is the context
# it asked for.
REGISTRY_DID = "did:web:registry.example.com"
LINEAGE = "lin:sha256:" + hashlib.sha256(b"registry.example.com lineage 1").hexdigest()
CTX_V1 = "zelq://registry.example.com/8a0c5c02-3b59-4c53-9d3c-6d4f2a1b0e01"
CTX_V2 = "zelq://registry.example.com/8a0c5c02-3b59-4c53-9d3c-6d4f2a1b0e02"


def stored(request_json: str, ctx_id: str, created_at: str, lineage_id: str = LINEAGE) -> str:
    body = json.loads(request_json)
    body.update(ctx_id=ctx_id, lineage_id=lineage_id, origin_registry="registry.example.com", created_at=created_at)
    return json.dumps(body)


body_v1 = stored(request, CTX_V1, V1_CREATED)
show("body verified offline", ZelqVerifier.verify_body_offline(body_v1))
show("served as requested", ZelqVerifier.verify_ctx_id_binding(body_v1, CTX_V1))
edited = json.loads(body_v1)
edited["title"] = "Quarterly report (edited)"
try:
    ZelqVerifier.verify_body_offline(json.dumps(edited))
except RuntimeError as error:
    show("edited body", refusal(error))

section(5, "A revised version")
# Superseding derives the next version from the stored body: same lineage,
# version plus one, and the previous context named.
revision = producer.build_supersede_request(body_v1, summary="Revised figures")
fields = json.loads(revision)
show("supersede request", {k: fields[k] for k in ("version", "supersedes", "lineage_id", "summary")})
show("request verified offline", ZelqVerifier.verify_publish_request_offline(revision))
body_v2 = stored(revision, CTX_V2, V2_CREATED)
show("body verified offline", ZelqVerifier.verify_body_offline(body_v2))

section(6, "Fetching the registry's DID document safely")
# The consumer looks up the registry's keys in its DID document. Before
# fetching, it vets the URL, every address its resolver returns and every
# redirect.
url = ZelqDid.web_to_url(REGISTRY_DID)
show("document URL", url)
policy = ZelqSsrfPolicy.production()
policy.check_url(url)
show("URL", "allowed")
for address in ("93.184.216.34", "169.254.169.254", "::ffff:127.0.0.1"):
    try:
        policy.check_ip(address)
        show(address, "allowed")
    except zelq.SsrfRejected as rejected:
        show(address, refusal(rejected))
try:
    policy.check_redirect_authority(url, "https://169.254.169.254/latest/meta-data/")
except zelq.SsrfRejected as rejected:
    show("redirect", refusal(rejected))

# What the registry serves there: one key for receipts, one for its log.
receipt_key = ed25519.Ed25519PrivateKey.from_private_bytes(bytes([5]) * 32)
log_key = ed25519.Ed25519PrivateKey.from_private_bytes(bytes([6]) * 32)


def verification_method(controller: str, fragment: str, key: ed25519.Ed25519PrivateKey) -> dict[str, object]:
    return {"id": f"{controller}#{fragment}", "type": "JsonWebKey2020", "controller": controller,
            "publicKeyJwk": {"kty": "OKP", "crv": "Ed25519", "x": b64url(key.public_key().public_bytes_raw())}}


registry_doc = json.dumps({
    "id": REGISTRY_DID,
    "verificationMethod": [verification_method(REGISTRY_DID, "receipt-key-1", receipt_key),
                           verification_method(REGISTRY_DID, "log-key-1", log_key)],
    "assertionMethod": [REGISTRY_DID + "#receipt-key-1", REGISTRY_DID + "#log-key-1"]})
resolved = ZelqDidDocument.parse(registry_doc, REGISTRY_DID).receipt_key_for_algorithm(
    REGISTRY_DID + "#receipt-key-1", "ed25519")
show("receipt key", dict(sorted(resolved.items())))

section(7, "The registry's receipt")
# The registry signs the canonical hash of what it accepted: the context, the
# lineage, the time, the body's content hash and the producer key's
# fingerprint. The consumer checks it against the body it was served, its own
# request, a body hash it recomputed itself and the registry's receipt key.


def registry_signed(document: dict[str, object], key: ed25519.Ed25519PrivateKey, key_id: str) -> str:
    digest = ZelqCanonicalizer.content_hash(json.dumps(document))  # the object has no signature yet
    return json.dumps({**document, "signature": {"algorithm": "ed25519", "key_id": key_id,
                                                  "value": b64(key.sign(digest.encode()))}})


served = json.loads(body_v2)
receipt = registry_signed({
    "registry_did": REGISTRY_DID, "ctx_id": CTX_V2, "lineage_id": LINEAGE, "origin_registry": "registry.example.com",
    "created_at": V2_CREATED, "content_hash": served["content_hash"], "key_fingerprint": producer_fingerprint,
}, receipt_key, REGISTRY_DID + "#receipt-key-1")
recomputed = served["content_hash"]
show("body hash recomputed", ZelqVerifier.verify_content_hash(body_v2, recomputed))
show("receipt verified", ZelqVerifier.verify_receipt(receipt, body_v2, resolved["public_key_b64"], CTX_V2,
                                                     recomputed, producer_fingerprint))

section(8, "The transparency log")
# The receipt becomes a leaf of the registry's log. The registry signs
# checkpoints of its tree with its log key; the consumer checks the latest
# checkpoint, that the leaf is in its tree, and that the tree extends the one
# it saw earlier.
LOG_ID = REGISTRY_DID + "/log/main"
leaf = ZelqVerifier.build_log_leaf(receipt)
show("log leaf", json.loads(leaf))
# Our leaf first, then four other entries of the log.
leaf_hashes = [ZelqMerkle.leaf_hash(leaf)] + [
    "sha256:" + hashlib.sha256(b"another entry %d" % i).hexdigest() for i in range(1, 5)]


def checkpoint(size: int, timestamp: str) -> str:
    return registry_signed({"checkpoint_version": "zelq-log/1", "log_id": LOG_ID, "tree_size": size,
                            "root_hash": ZelqMerkle.root_hash(json.dumps(leaf_hashes[:size])),
                            "timestamp": timestamp}, log_key, REGISTRY_DID + "#log-key-1")


earlier, latest = checkpoint(3, EARLIER_CHECKPOINT), checkpoint(5, CHECKPOINT)
show("checkpoint", json.loads(ZelqVerifier.verify_log_checkpoint(latest, registry_doc, now_rfc3339=NOW)))
h = leaf_hashes
inclusion = json.dumps({"log_id": LOG_ID, "leaf_index": 0, "tree_size": 5,
                        "inclusion_path": [h[1], ZelqMerkle.node_hash(h[2], h[3]), h[4]]})
show("inclusion", json.loads(ZelqVerifier.verify_log_inclusion(inclusion, latest, leaf)))
consistency = {"log_id": LOG_ID, "first_tree_size": 3, "second_tree_size": 5,
               "consistency_path": [h[2], h[3], ZelqMerkle.node_hash(h[0], h[1]), h[4]]}
earlier_root = json.loads(earlier)["root_hash"]
show("consistency", json.loads(ZelqVerifier.verify_log_consistency(json.dumps(consistency), latest, earlier_root)))
# A log that rewrote the entry at index 2 cannot prove that it extends the earlier tree.
rewritten = dict(consistency, consistency_path=[h[4], h[3], ZelqMerkle.node_hash(h[0], h[1]), h[4]])
show("rewritten history",
     json.loads(ZelqVerifier.verify_log_consistency(json.dumps(rewritten), latest, earlier_root)))

section(9, "Witnesses")
# Three independent witnesses observe the checkpoint and cosign it. The
# consumer trusts all three and asks for two.
observed = json.dumps({m: json.loads(latest)[m] for m in ("log_id", "tree_size", "root_hash", "timestamp")})
cosignatures, witness_docs = [], {}
for n in (1, 2, 3):
    witness_did, seed = f"did:web:witness{n}.example", bytes([20 + n]) * 32
    witness_key = ed25519.Ed25519PrivateKey.from_private_bytes(seed)
    witness_docs[witness_did] = {"id": witness_did,
                                 "verificationMethod": [verification_method(witness_did, "witness-key-1", witness_key)]}
    cosignatures.append(ZelqVerifier.build_witness_cosignature(observed, witness_did, seed.hex(),
                                                               f"2026-03-09T10:00:0{n}Z"))
show("cosignature of witness 1", json.loads(ZelqVerifier.verify_witness_cosignature(
    cosignatures[0], json.dumps(witness_docs["did:web:witness1.example"]), latest, now_rfc3339=NOW)))
quorum = ZelqVerifier.evaluate_witness_quorum("[" + ",".join(cosignatures) + "]", latest,
                                              json.dumps(list(witness_docs)), json.dumps(witness_docs),
                                              json.dumps({"min_witnesses": 2}), NOW)
show("quorum", json.loads(quorum))

section(10, "A stolen key")
# The producer's key is known to be compromised since 1 April. A key cannot
# attest its own compromise, so the revocation is published under another key,
# naming the stolen key and its controller. Its publisher does not control the
# stolen key, so the record is classed registry_attested, not producer_signed.
REVOCATION_CTX = "zelq://registry.example.com/0d9e8f7a-6b5c-4d3e-8f1a-2b3c4d5e6f70"
REVOCATION_LINEAGE = "lin:sha256:" + hashlib.sha256(b"registry.example.com lineage 2").hexdigest()
revoked = {"revoked_key_fingerprint": producer_fingerprint, "revoked_key_controller": producer.agent_did,
           "compromised_since": COMPROMISED_SINCE, "reason": "laptop stolen"}
self_signed = producer.build_publish_request("Key compromise", "key-revocation", metadata=json.dumps(revoked))
try:
    ZelqVerifier.parse_key_revocation(stored(self_signed, REVOCATION_CTX, REVOCATION_CREATED, REVOCATION_LINEAGE))
except RuntimeError as error:
    show("revocation under the stolen key", refusal(error))
successor = ZelqProducer.from_seed_did_key(bytes([9]) * 32)
revocation = stored(successor.build_publish_request("Key compromise", "key-revocation", metadata=json.dumps(revoked)),
                    REVOCATION_CTX, REVOCATION_CREATED, REVOCATION_LINEAGE)
show("revocation verified offline", ZelqVerifier.verify_body_offline(revocation))
record = ZelqVerifier.parse_key_revocation(revocation)
show("revocation record", json.loads(record))
# A signature by the stolen key still counts only when a verified receipt
# dates it before the compromise: version 2's receipt does, a later one not.
for receipt_created_at in (V2_CREATED, "2026-04-05T12:00:00.000Z"):
    verdict = ZelqVerifier.classify_under_revocation(f"[{record}]", producer_fingerprint, receipt_created_at)
    show(f"receipt of {receipt_created_at}", json.loads(verdict))
