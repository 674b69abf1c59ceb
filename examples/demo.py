"""A short tour of zelq from the consumer's side."""
import base64
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
