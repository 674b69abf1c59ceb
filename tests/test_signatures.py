"""ZelqVerifier.verify_signature, verify_signature_p256 and fingerprint_ed25519_b64,
checked against signatures made by the `cryptography` package."""
import base64
import hashlib

import pytest
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature
from cryptography.hazmat.primitives.serialization import Encoding, PublicFormat
from hypothesis import given, strategies as st

import zelq

V = zelq.ZelqVerifier
N = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551
L = 2**252 + 27742317777372353535851937790883648493
HASH = "sha256:" + hashlib.sha256(b"a body").hexdigest()
b64 = lambda b: base64.b64encode(b).decode()
INVALID = "signature invalid: invalid signature: "


def ed_key(seed=b"\x07" * 32):
    k = ed25519.Ed25519PrivateKey.from_private_bytes(seed)
    return k, k.public_key().public_bytes_raw()


def p256_key(d=0xC9AFA9D845BA75166B5C215767B1D6934E50C3DB36E89B127B8A622B120F6721):
    k = ec.derive_private_key(d, ec.SECP256R1())
    pub = k.public_key()
    return k, pub.public_bytes(Encoding.X962, PublicFormat.UncompressedPoint), \
        pub.public_bytes(Encoding.X962, PublicFormat.CompressedPoint)


def p256_sign(k, message):
    r, s = decode_dss_signature(k.sign(message.encode(), ec.ECDSA(hashes.SHA256())))
    return r, s


def rs(r, s):
    return b64(r.to_bytes(32, "big") + s.to_bytes(32, "big"))


# RFC 8032 section 7.1, TEST 1 and TEST 2: their messages ("" and "r") are text.
@pytest.mark.parametrize("pub, message, sig", [
    ("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
     "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"),
    ("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "r",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
     "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"),
])
def test_rfc8032_vectors(pub, message, sig):
    assert V.verify_signature(b64(bytes.fromhex(pub)), b64(bytes.fromhex(sig)), message) is True
    with pytest.raises(RuntimeError, match="signature verification failed"):
        V.verify_signature(b64(bytes.fromhex(pub)), b64(bytes.fromhex(sig)), message + "x")


@given(st.binary(min_size=32, max_size=32), st.text())
def test_ed25519_signatures_of_cryptography_verify(seed, text):
    k, pub = ed_key(seed)
    message = HASH + text
    sig = k.sign(message.encode())
    assert V.verify_signature(pub_key_b64=b64(pub), sig_b64=b64(sig), content_hash=message) is True
    flipped = bytes([sig[0] ^ 1]) + sig[1:]
    with pytest.raises(RuntimeError):
        V.verify_signature(b64(pub), b64(flipped), message)


@given(st.integers(min_value=1, max_value=N - 1), st.text())
def test_p256_signatures_of_cryptography_verify_in_both_key_forms(d, text):
    k, long_key, short_key = p256_key(d)
    message = HASH + text
    r, s = p256_sign(k, message)
    for key in (long_key, short_key):
        assert V.verify_signature_p256(b64(key), rs(r, s), message) is True
        # No low-S rule: the twin (r, n - s) holds as well.
        assert V.verify_signature_p256(b64(key), rs(r, N - s), message) is True
    with pytest.raises(RuntimeError, match="ecdsa-p256 signature verification failed"):
        V.verify_signature_p256(b64(long_key), rs(r, s), message + " ")


def test_signature_over_the_raw_digest_is_not_one_over_the_text():
    k, pub = ed_key()
    sig = k.sign(hashlib.sha256(b"a body").digest())
    with pytest.raises(RuntimeError, match="signature verification failed"):
        V.verify_signature(b64(pub), b64(sig), HASH)


def test_any_content_hash_text_is_a_message():
    k, pub = ed_key()
    assert V.verify_signature(b64(pub), b64(k.sign("not a hash é".encode())), "not a hash é")


ED_K, ED_PUB = ed_key()
ED_SIG = ED_K.sign(HASH.encode())
P_K, P_LONG, P_SHORT = p256_key()
P_R, P_S = p256_sign(P_K, HASH)
P_DER = P_K.sign(HASH.encode(), ec.ECDSA(hashes.SHA256()))
NOT_A_POINT = b"\x02" + b"\x00" * 31
S_PLUS_L = ED_SIG[:32] + (int.from_bytes(ED_SIG[32:], "little") + L).to_bytes(32, "little")


@pytest.mark.parametrize("key, sig, exc, message", [
    # the key is decoded first
    ("not base64", "not base64", ValueError, "invalid pub_key_b64: Invalid symbol 32, offset 3."),
    (b64(ED_PUB)[:-1], b64(ED_SIG), ValueError, "invalid pub_key_b64: Invalid padding"),
    (b64(ED_PUB + b"\x00"), b64(ED_SIG), ValueError, "public key must decode to 32 bytes"),
    ("", b64(ED_SIG), ValueError, "public key must decode to 32 bytes"),
    # a 32-byte key that is no point is refused before the signature is looked at
    (b64(NOT_A_POINT), "not base64", RuntimeError, INVALID + "signature error"),
    (b64(NOT_A_POINT), b64(ED_SIG), RuntimeError, INVALID + "signature error"),
    (b64(ED_PUB), b64(ED_SIG)[:-2], RuntimeError, INVALID + "base64: Invalid padding"),
    (b64(ED_PUB), b64(ED_SIG)[:-3] + "B==", RuntimeError, INVALID + "base64: Invalid last symbol 66, offset 85."),
    (b64(ED_PUB), "", RuntimeError, INVALID + "sig parse: signature error"),
    (b64(ED_PUB), b64(ED_SIG[:63]), RuntimeError, INVALID + "sig parse: signature error"),
    (b64(ED_PUB), b64(ED_SIG + b"\x00"), RuntimeError, INVALID + "sig parse: signature error"),
    (b64(ED_PUB), b64(S_PLUS_L), RuntimeError, INVALID + "signature verification failed"),
])
def test_verify_signature_failures(key, sig, exc, message):
    with pytest.raises(exc) as info:
        V.verify_signature(key, sig, HASH)
    assert type(info.value) is exc and str(info.value) == message


SIZE = "ecdsa-p256 signature MUST be 64 bytes (IEEE 1363 r\u2016s), got "


@pytest.mark.parametrize("key, sig, exc, message", [
    ("AB==", rs(P_R, P_S), ValueError, "invalid pub_key_sec1_b64: Invalid last symbol 66, offset 1."),
    # after the base64 step every key fault is the verifier's
    (b64(P_LONG[1:]), rs(P_R, P_S), RuntimeError, INVALID + "ecdsa-p256 key parse: signature error"),
    (b64(P_LONG[:-1] + bytes([P_LONG[-1] ^ 1])), "not base64", RuntimeError,
     INVALID + "ecdsa-p256 key parse: signature error"),
    (b64(b"\x05" + P_SHORT[1:]), rs(P_R, P_S), RuntimeError, INVALID + "ecdsa-p256 key parse: signature error"),
    ("", rs(P_R, P_S), RuntimeError, INVALID + "ecdsa-p256 key parse: signature error"),
    (b64(P_LONG), "AAA", RuntimeError, INVALID + "base64: Invalid padding"),
    (b64(P_LONG), "", RuntimeError, INVALID + SIZE + "0"),
    (b64(P_LONG), b64(P_DER), RuntimeError, INVALID + SIZE + str(len(P_DER))),
    (b64(P_SHORT), b64(bytes(63)), RuntimeError, INVALID + SIZE + "63"),
    (b64(P_LONG), rs(0, P_S), RuntimeError, INVALID + "ecdsa-p256 sig parse: signature error"),
    (b64(P_LONG), rs(P_R, N), RuntimeError, INVALID + "ecdsa-p256 sig parse: signature error"),
    (b64(P_LONG), rs(2**256 - 1, P_S), RuntimeError, INVALID + "ecdsa-p256 sig parse: signature error"),
    (b64(P_LONG), rs(P_R, N - 1), RuntimeError, INVALID + "ecdsa-p256 signature verification failed"),
])
def test_verify_signature_p256_failures(key, sig, exc, message):
    with pytest.raises(exc) as info:
        V.verify_signature_p256(key, sig, HASH)
    assert type(info.value) is exc and str(info.value) == message


def test_fingerprint_ed25519_b64():
    assert V.fingerprint_ed25519_b64(b64(bytes(32))) == "sha256:" + hashlib.sha256(bytes(32)).hexdigest()
    assert V.fingerprint_ed25519_b64(public_key_b64=b64(ED_PUB)) == "sha256:" + hashlib.sha256(ED_PUB).hexdigest()
    # not checked to be a point
    assert V.fingerprint_ed25519_b64(b64(NOT_A_POINT)) == "sha256:" + hashlib.sha256(NOT_A_POINT).hexdigest()


@pytest.mark.parametrize("key, message", [
    (b64(bytes(33)), "public key must decode to 32 bytes"),
    ("", "public key must decode to 32 bytes"),
    ("abc", "invalid public_key_b64: Invalid padding"),
    ("ab\u00e9=", "invalid public_key_b64: Invalid symbol 195, offset 2."),
])
def test_fingerprint_failures(key, message):
    with pytest.raises(ValueError) as info:
        V.fingerprint_ed25519_b64(key)
    assert str(info.value) == message


def test_arguments_are_required_strings():
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'content_hash'"):
        V.verify_signature(b64(ED_PUB), b64(ED_SIG))
    with pytest.raises(TypeError, match="'bytes' object is not an instance of 'str'"):
        V.verify_signature_p256(P_LONG, rs(P_R, P_S), HASH)
    with pytest.raises(TypeError, match="unexpected keyword argument 'pub_key_b64'"):
        V.fingerprint_ed25519_b64(pub_key_b64=b64(ED_PUB))


def test_text_signatures_and_docs():
    assert V.verify_signature.__text_signature__ == "(pub_key_b64, sig_b64, content_hash)"
    assert V.verify_signature_p256.__text_signature__ == "(pub_key_sec1_b64, sig_b64, content_hash)"
    assert V.fingerprint_ed25519_b64.__text_signature__ == "(public_key_b64)"
    assert "NOT the raw 32-byte digest" in V.verify_signature.__doc__
    assert "NOT DER" in V.verify_signature_p256.__doc__
    assert V.verify_signature_p256.__doc__.rstrip().splitlines()[-1].startswith("[`ZelqP256Producer`]: ")
    assert "RFC-ZELQ-0010" in V.fingerprint_ed25519_b64.__doc__


@pytest.mark.parametrize("sig, fault", [
    ("A" * 10_000_000, "sig parse: signature error"),
    ("=" * 10_000_000, "base64: Invalid symbol 61, offset 0."),
    ("\u00e9" * 1_000_000, "base64: Invalid symbol 195, offset 0."),
], ids=["valid_10MB", "padding_10MB", "non_ascii_2MB"])
def test_huge_signature_texts_fail_cleanly(sig, fault):
    with pytest.raises(RuntimeError) as info:
        V.verify_signature(b64(ED_PUB), sig, HASH)
    assert str(info.value) == INVALID + fault
    with pytest.raises(RuntimeError, match="^signature invalid: invalid signature: "):
        V.verify_signature_p256(b64(P_LONG), sig, HASH)


B64_ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=-_ \n\u00e9"


@given(st.text(alphabet=B64_ALPHABET, max_size=200) | st.builds(b64, st.binary(max_size=100)),
       st.text(alphabet=B64_ALPHABET, max_size=200) | st.builds(b64, st.binary(max_size=100)),
       st.text(max_size=80))
def test_arbitrary_inputs_only_raise_the_documented_exceptions(key, sig, content_hash):
    for method, key_errors in ((V.verify_signature, ("invalid pub_key_b64: ", "public key must decode")),
                               (V.verify_signature_p256, ("invalid pub_key_sec1_b64: ",))):
        try:
            method(key, sig, content_hash)
        except ValueError as e:
            assert str(e).startswith(key_errors)
        except RuntimeError as e:
            assert str(e).startswith(INVALID)
    try:
        assert len(V.fingerprint_ed25519_b64(key)) == 71
    except ValueError as e:
        assert str(e).startswith(("invalid public_key_b64: ", "public key must decode to 32 bytes"))
