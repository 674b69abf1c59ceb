"""Signature verification over a content_hash text: zelq against the
`cryptography` package doing the same work from the same base64 inputs
(decode key and signature, load the key, verify).

Prints verifications per second and ratios; nothing is asserted.
"""
import base64
import hashlib
import timeit

from cryptography.exceptions import InvalidSignature
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature, encode_dss_signature
from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat

import zelq
from _common import RATIOS

HASH = "sha256:" + hashlib.sha256(b"a body").hexdigest()
b64 = lambda b: base64.b64encode(b).decode()


def ed25519_inputs():
    k = ed25519.Ed25519PrivateKey.from_private_bytes(bytes(range(32)))
    return b64(k.public_key().public_bytes_raw()), b64(k.sign(HASH.encode())), HASH


def p256_inputs():
    k = ec.derive_private_key(0xC9AFA9D845BA75166B5C215767B1D6934E50C3DB36E89B127B8A622B120F6721, ec.SECP256R1())
    r, s = decode_dss_signature(k.sign(HASH.encode(), ec.ECDSA(hashes.SHA256())))
    key = k.public_key().public_bytes(Encoding.X962, PublicFormat.UncompressedPoint)
    return b64(key), b64(r.to_bytes(32, "big") + s.to_bytes(32, "big")), HASH


def cryptography_ed25519(key_b64, sig_b64, content_hash):
    key = ed25519.Ed25519PublicKey.from_public_bytes(base64.b64decode(key_b64, validate=True))
    try:
        key.verify(base64.b64decode(sig_b64, validate=True), content_hash.encode())
    except InvalidSignature:
        raise RuntimeError("signature invalid")
    return True


def cryptography_p256(key_b64, sig_b64, content_hash):
    key = ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), base64.b64decode(key_b64, validate=True))
    raw = base64.b64decode(sig_b64, validate=True)
    der = encode_dss_signature(int.from_bytes(raw[:32], "big"), int.from_bytes(raw[32:], "big"))
    try:
        key.verify(der, content_hash.encode(), ec.ECDSA(hashes.SHA256()))
    except InvalidSignature:
        raise RuntimeError("signature invalid")
    return True


def rate(fn, args, seconds=1.0):
    calls, elapsed, reps = 0, 0.0, 16
    while elapsed < seconds:
        elapsed += timeit.timeit(lambda: fn(*args), number=reps)
        calls += reps
        reps *= 2
    return calls / elapsed


def best_rate(fn, args, rounds=3):
    return max(rate(fn, args) for _ in range(rounds))


def main():
    cases = [
        ("ed25519", ed25519_inputs(), zelq.ZelqVerifier.verify_signature, cryptography_ed25519),
        ("ecdsa-p256", p256_inputs(), zelq.ZelqVerifier.verify_signature_p256, cryptography_p256),
    ]
    print(RATIOS)
    print(f"{'algorithm':<12} {'zelq/s':>10} {'cryptography/s':>15} {'ratio':>7}")
    for name, args, ours, theirs in cases:
        assert ours(*args) is True and theirs(*args) is True
        a, b = best_rate(ours, args), best_rate(theirs, args)
        print(f"{name:<12} {a:>10.0f} {b:>15.0f} {a / b:>6.2f}x")


if __name__ == "__main__":
    main()
