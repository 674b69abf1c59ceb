"""A short tour of zelq from the producer's and the consumer's side."""
import base64
import hashlib
import json

from cryptography.hazmat.primitives.asymmetric import ed25519

import zelq

# 1. Canonical JSON and the content hash of a document.
document = '{"title": "Quarterly report", "tags": ["finance", "q3"], "version": 1.0, "a": -0}'
print("canonical form:", zelq.ZelqCanonicalizer.canonicalize(document))
content_hash = zelq.ZelqCanonicalizer.content_hash(document)
print("content_hash:  ", content_hash)

# 2. A producer signs the content_hash text; the consumer verifies it.
key = ed25519.Ed25519PrivateKey.from_private_bytes(bytes(range(32)))
public_b64 = base64.b64encode(key.public_key().public_bytes_raw()).decode()
signature_b64 = base64.b64encode(key.sign(content_hash.encode())).decode()
print("signature ok:  ", zelq.ZelqVerifier.verify_signature(public_b64, signature_b64, content_hash))
print("key fingerprint:", zelq.ZelqVerifier.fingerprint_ed25519_b64(public_b64))

# 3. Where a did:web identity keeps its DID document.
print("DID document:  ", zelq.ZelqDid.web_to_url("did:web:example.com%3A3000:user:alice"))

# 4. Vetting URLs and resolved addresses before fetching them.
policy = zelq.ZelqSsrfPolicy.production()
policy.check_url("https://registry.example.com/v1/contexts")
for address in ("93.184.216.34", "169.254.169.254", "::ffff:127.0.0.1"):
    try:
        policy.check_ip(address)
        print(f"fetch {address}: allowed")
    except zelq.SsrfRejected as rejected:
        print(f"fetch {address}: refused ({rejected.reason}): {rejected}")

# 5. A did:key producer's stored body, verified offline: field rules, the
#    content_hash over the body, the key binding and the signature.
B58 = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"
raw = key.public_key().public_bytes_raw()
n = int.from_bytes(b"\xed\x01" + raw, "big")
ident = ""
while n:
    n, r = divmod(n, 58)
    ident = B58[r] + ident
did = "did:key:z" + ident
body = {
    "version": 1, "supersedes": None, "agent_id": did, "contributors": [],
    "title": "Quarterly report", "type": "analysis", "derived_from": [], "visibility": "public",
    "data_refs": [{"type": "primary_result", "location": "https://data.example.com/q3.csv"}],
    "tags": ["finance", "q3"],
}
body["content_hash"] = zelq.ZelqCanonicalizer.content_hash(json.dumps(body))
body["signature"] = {"algorithm": "ed25519", "key_id": f"{did}#z{ident}",
                     "value": base64.b64encode(key.sign(body["content_hash"].encode())).decode()}
# What the registry adds when it stores the body lies outside the hash.
body.update(ctx_id="zelq://registry.example.com/6f1c2a4e-5b7d-4c3e-9a1f-2b3c4d5e6f70",
            lineage_id="lin:sha256:" + "0" * 64, origin_registry="registry.example.com",
            created_at="2030-01-01T00:00:00.000Z")
print("body verified offline:", zelq.ZelqVerifier.verify_body_offline(json.dumps(body)))
print("served as requested:  ", zelq.ZelqVerifier.verify_ctx_id_binding(json.dumps(body), body["ctx_id"]))
body["title"] = "Quarterly report (edited)"
try:
    zelq.ZelqVerifier.verify_body_offline(json.dumps(body))
except RuntimeError as failure:
    print("edited body refused:  ", str(failure).splitlines()[0])

# 6. A did:key producer publishes a context, then supersedes it; the consumer
#    verifies both requests, and the stored bodies, offline.
producer = zelq.ZelqProducer.from_seed_did_key(bytes(range(1, 33)))
print("producer:      ", producer.agent_did)
first = producer.build_publish_request(
    "Quarterly report", "analysis", tags=["finance", "q3"], metadata='{"quarter": "2026-Q3"}')
print("publish ok:    ", zelq.ZelqVerifier.verify_publish_request_offline(first))


def stored(request_json, ctx_id, lineage_id):
    """The body a registry would serve: the request plus the members it assigns."""
    body = json.loads(request_json)
    body.update(ctx_id=ctx_id, lineage_id=body.get("lineage_id", lineage_id),
                origin_registry="registry.example", created_at="2026-10-01T12:00:00.000Z")
    return json.dumps(body)


lineage = "lin:sha256:" + "7e" * 32
body_v1 = stored(first, "zelq://registry.example/8a0c5c02-3b59-4c53-9d3c-6d4f2a1b0e01", lineage)
print("body v1 ok:    ", zelq.ZelqVerifier.verify_body_offline(body_v1))
second = producer.build_supersede_request(body_v1, summary="Revised figures")
print("supersede:     ", {k: json.loads(second)[k] for k in ("version", "supersedes", "lineage_id")})
print("supersede ok:  ", zelq.ZelqVerifier.verify_publish_request_offline(second))
body_v2 = stored(second, "zelq://registry.example/8a0c5c02-3b59-4c53-9d3c-6d4f2a1b0e02", lineage)
print("body v2 ok:    ", zelq.ZelqVerifier.verify_body_offline(body_v2))

# 7. Key revocation. The demo's producer key is declared compromised since
#    2030-03-01. A key cannot attest its own compromise, so the revocation is
#    published under a new key, naming the old key's controller.
V = zelq.ZelqVerifier
fingerprint = V.fingerprint_ed25519_b64(public_b64)
new_seed = bytes([9]) * 32
successor = zelq.ZelqProducer.from_seed_did_key(new_seed)


def revocation_body(signing_key, signer_did, signer_key_id):
    revocation = {
        "version": 1, "supersedes": None, "agent_id": signer_did, "contributors": [],
        "title": "Key compromise", "type": "key-revocation", "derived_from": [], "visibility": "public",
        "data_refs": [], "metadata": {"revoked_key_fingerprint": fingerprint, "revoked_key_controller": did,
                                      "compromised_since": "2030-03-01T00:00:00.000Z", "reason": "laptop stolen"},
    }
    revocation["content_hash"] = zelq.ZelqCanonicalizer.content_hash(json.dumps(revocation))
    revocation["signature"] = {"algorithm": "ed25519", "key_id": signer_key_id,
                               "value": base64.b64encode(signing_key.sign(revocation["content_hash"].encode())).decode()}
    revocation.update(ctx_id="zelq://registry.example.com/0d9e8f7a-6b5c-4d3e-8f1a-2b3c4d5e6f70",
                      lineage_id="lin:sha256:" + "1" * 64, origin_registry="registry.example.com",
                      created_at="2030-03-02T00:00:00.000Z")
    return json.dumps(revocation)


try:
    V.parse_key_revocation(revocation_body(key, did, f"{did}#z{ident}"))
except RuntimeError as refused:
    print("self-revocation:      ", str(refused)[:72] + "...")
published = revocation_body(ed25519.Ed25519PrivateKey.from_private_bytes(new_seed), successor.agent_did,
                            successor.key_id)
print("revocation verified:  ", V.verify_body_offline(published))
record = V.parse_key_revocation(published)
print("revocation record:    ", record)
for receipt_time in ("2030-01-01T00:00:00.000Z", "2030-03-05T00:00:00.000Z"):
    verdict = json.loads(V.classify_under_revocation(f"[{record}]", fingerprint, receipt_time))
    print(f"signed {receipt_time[:10]}:    ", verdict["authorization"], verdict.get("error", "")[:60])

# 8. The registry's signed receipt for the body of step 5: it names the body's
#    context, lineage, registry, time and content hash and the producer key's
#    fingerprint. The consumer checks it against the body as served, its own
#    request, a hash it recomputed itself, and the registry's receipt key.
body["title"] = "Quarterly report"  # the body as served, before the edit of step 5
served = json.dumps(body)
recomputed = body["content_hash"]
print("body hash recomputed: ", V.verify_content_hash(served, recomputed))
registry_key = ed25519.Ed25519PrivateKey.from_private_bytes(bytes([5]) * 32)
registry_key_b64 = base64.b64encode(registry_key.public_key().public_bytes_raw()).decode()
receipt = {"registry_did": "did:web:registry.example.com", "ctx_id": body["ctx_id"],
           "lineage_id": body["lineage_id"], "origin_registry": body["origin_registry"],
           "created_at": body["created_at"], "content_hash": recomputed, "key_fingerprint": fingerprint}
preimage_hash = zelq.ZelqCanonicalizer.content_hash(json.dumps(receipt))
receipt["signature"] = {"algorithm": "ed25519", "key_id": receipt["registry_did"] + "#receipt-key-1",
                        "value": base64.b64encode(registry_key.sign(preimage_hash.encode())).decode()}
print("receipt verified:     ", V.verify_receipt(json.dumps(receipt), served, registry_key_b64, body["ctx_id"],
                                                 recomputed, fingerprint))

# 9. A transparency log: a registry's receipt becomes a leaf, the registry
#    signs a checkpoint of its tree, and the consumer checks the checkpoint,
#    the leaf's inclusion, and that a later tree extends an earlier one.
M, V = zelq.ZelqMerkle, zelq.ZelqVerifier
registry_did = receipt["registry_did"]
leaf = V.build_log_leaf(json.dumps(receipt))  # the receipt verified in step 8
leaf_hashes = [M.leaf_hash(leaf)] + ["sha256:" + hashlib.sha256(b"other %d" % i).hexdigest() for i in range(4)]
print("log leaf hash: ", leaf_hashes[0])


def signed_checkpoint(size):
    """What the registry publishes: its tree head, signed over its canonical form."""
    head = {"checkpoint_version": "zelq-log/1", "log_id": registry_did + "/log/main", "tree_size": size,
            "root_hash": M.root_hash(json.dumps(leaf_hashes[:size])), "timestamp": "2026-01-05T10:00:01.000Z"}
    digest = zelq.ZelqCanonicalizer.content_hash(json.dumps(head))
    head["signature"] = {"algorithm": "ed25519", "key_id": registry_did + "#log-key-1",
                         "value": base64.b64encode(key.sign(digest.encode())).decode()}
    return json.dumps(head)


jwk_x = base64.urlsafe_b64encode(base64.b64decode(public_b64)).rstrip(b"=").decode()
registry_doc = json.dumps({"id": registry_did, "assertionMethod": [registry_did + "#log-key-1"], "verificationMethod": [
    {"id": registry_did + "#log-key-1", "type": "JsonWebKey2020", "controller": registry_did,
     "publicKeyJwk": {"kty": "OKP", "crv": "Ed25519", "x": jwk_x}}]})
later, earlier = signed_checkpoint(5), signed_checkpoint(3)
print("checkpoint:    ", V.verify_log_checkpoint(later, registry_doc, now_rfc3339="2026-01-05T10:00:30Z"))

# The registry's audit path for leaf 0 of 5 and its proof that the 3-leaf tree is a prefix.
h = lambda i: leaf_hashes[i]
path = [h(1), M.node_hash(h(2), h(3)), h(4)]
inclusion = json.dumps({"log_id": registry_did + "/log/main", "leaf_index": 0, "tree_size": 5, "inclusion_path": path})
print("inclusion:     ", V.verify_log_inclusion(inclusion, later, leaf))
consistency = json.dumps({"log_id": registry_did + "/log/main", "first_tree_size": 3, "second_tree_size": 5,
                          "consistency_path": [h(2), h(3), M.node_hash(h(0), h(1)), h(4)]})
first_root = json.loads(earlier)["root_hash"]
print("consistency:   ", V.verify_log_consistency(consistency, later, first_root))
tampered = consistency.replace(h(4)[-4:], "0000")
print("tampered:      ", V.verify_log_consistency(tampered, later, first_root))

# 9. Witnesses: three independent witnesses observe that checkpoint and
#    cosign it; a consumer that trusts all three asks for two of them.
observed = json.dumps({m: json.loads(later)[m] for m in ("log_id", "tree_size", "root_hash", "timestamp")})
cosignatures, witness_docs = [], {}
for n in (1, 2, 3):
    witness_did, seed = f"did:web:witness{n}.example", bytes([n]) * 32
    witness_x = ed25519.Ed25519PrivateKey.from_private_bytes(seed).public_key().public_bytes_raw()
    witness_docs[witness_did] = {"id": witness_did, "verificationMethod": [
        {"id": witness_did + "#witness-key-1", "type": "JsonWebKey2020", "controller": witness_did,
         "publicKeyJwk": {"kty": "OKP", "crv": "Ed25519",
                          "x": base64.urlsafe_b64encode(witness_x).rstrip(b"=").decode()}}]}
    cosignatures.append(V.build_witness_cosignature(observed, witness_did, seed.hex(), f"2026-01-05T10:00:0{n}Z"))
print("cosignature:   ", V.verify_witness_cosignature(cosignatures[0], json.dumps(witness_docs["did:web:witness1.example"]),
                                                      later, now_rfc3339="2026-01-05T10:00:30Z"))
quorum = V.evaluate_witness_quorum("[" + ",".join(cosignatures) + "]", later, json.dumps(list(witness_docs)),
                                   json.dumps(witness_docs), json.dumps({"min_witnesses": 2}), "2026-01-05T10:00:30Z")
print("witness quorum:", quorum)
