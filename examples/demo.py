"""A short tour of zelq from the consumer's side."""
import base64

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
