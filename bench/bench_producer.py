"""Producer signing: sign_challenge of zelq against the `cryptography`
package signing the same text with the same key, and build_publish_request
throughput on a typical request, for both key types.

For `cryptography` two figures are printed: signing with a key object loaded
once, and loading the key from its 32 secret bytes for every signature, which
is the work a zelq producer does on each call (it keeps only the secret and
derives the key anew). Nothing is asserted.
"""
import json
import timeit

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519

import zelq
from _common import RATIOS

SEED = bytes(range(1, 33))
CHALLENGE = ("zelq-registry-auth:v1:6f1c0b9e2d7a4c3b:did:web:producer.example:registry.example:"
             "2026-12-07T08:00:00.000Z")
ECDSA = ec.ECDSA(hashes.SHA256())
TYPICAL = dict(
    description="Daily closing prices of the index constituents.", summary="Closing prices, one day.",
    tags=["finance", "equities", "daily"], domain="markets", metadata=json.dumps({"source": "exchange", "rows": 503}),
    data_refs=json.dumps([{"type": "primary_result", "format": "text/csv", "size_bytes": 40210,
                           "content_hash": "sha256:" + "3f" * 32, "location": "https://data.example/close.csv"}]),
    expires_at="2027-01-01T00:00:00Z")


def rate(fn, seconds=1.0):
    calls, elapsed, reps = 0, 0.0, 16
    while elapsed < seconds:
        elapsed += timeit.timeit(fn, number=reps)
        calls += reps
        reps *= 2
    return calls / elapsed


def best_rate(fn, rounds=3):
    return max(rate(fn) for _ in range(rounds))


def main():
    message = CHALLENGE.encode()
    ed_key = ed25519.Ed25519PrivateKey.from_private_bytes(SEED)
    p_key = ec.derive_private_key(int.from_bytes(SEED, "big"), ec.SECP256R1())
    cases = [
        ("ed25519", zelq.ZelqProducer.from_seed_did_key(SEED), lambda: ed_key.sign(message),
         lambda: ed25519.Ed25519PrivateKey.from_private_bytes(SEED).sign(message)),
        ("ecdsa-p256", zelq.ZelqP256Producer.from_seed_did_key(SEED), lambda: p_key.sign(message, ECDSA),
         lambda: ec.derive_private_key(int.from_bytes(SEED, "big"), ec.SECP256R1()).sign(message, ECDSA)),
    ]
    print("sign_challenge (signatures per second)")
    print(RATIOS)
    print(f"{'algorithm':<12} {'zelq':>9} {'crypt.':>9} {'ratio':>6} {'crypt.+load':>12} {'ratio':>6}")
    for name, producer, loaded, reload in cases:
        ours = best_rate(lambda: producer.sign_challenge(CHALLENGE))
        a, b = best_rate(loaded), best_rate(reload)
        print(f"{name:<12} {ours:>9.0f} {a:>9.0f} {ours / a:>5.2f}x {b:>12.0f} {ours / b:>5.2f}x")
    print()
    print("build_publish_request, typical request (requests per second)")
    for name, producer, _, _ in cases:
        producer.build_publish_request("Index close", "data_snapshot", **TYPICAL)
        r = best_rate(lambda: producer.build_publish_request("Index close", "data_snapshot", **TYPICAL))
        print(f"{name:<12} {r:>9.0f}")


if __name__ == "__main__":
    main()
