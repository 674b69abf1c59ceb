"""ZelqProducer and ZelqP256Producer: constructors, identities, public-key
forms and challenge signing, checked against RFC vectors and `cryptography`."""
import base64
import json

import pytest
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.hazmat.primitives.asymmetric.utils import encode_dss_signature

import zelq

Ed, P = zelq.ZelqProducer, zelq.ZelqP256Producer
N = 0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551
B58 = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"
SEED = bytes(range(1, 33))
SCALAR_TEXT = "schema violation: p256 key parse: signature error"


def b58decode(text):
    n = 0
    for ch in text:
        n = n * 58 + B58.index(ch)
    return n.to_bytes((n.bit_length() + 7) // 8, "big")


def verify(producer, signature_b64, message):
    """Verifies with `cryptography` against the producer's published key."""
    sig = base64.b64decode(signature_b64)
    if isinstance(producer, Ed):
        key = ed25519.Ed25519PublicKey.from_public_bytes(base64.b64decode(producer.public_key_b64))
        key.verify(sig, message.encode())
    else:
        key = ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), base64.b64decode(producer.public_key_sec1_b64))
        der = encode_dss_signature(int.from_bytes(sig[:32], "big"), int.from_bytes(sig[32:], "big"))
        key.verify(der, message.encode(), ec.ECDSA(hashes.SHA256()))


# RFC 8032 section 7.1, TEST 1 and TEST 2.
@pytest.mark.parametrize("seed, pub, message, sig", [
    ("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"),
    ("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "r",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"),
])
def test_rfc8032_vectors(seed, pub, message, sig):
    p = Ed.from_seed(bytes.fromhex(seed), "did:web:a", "did:web:a#key-1")
    assert base64.b64decode(p.public_key_b64) == bytes.fromhex(pub)
    assert base64.b64decode(p.sign_challenge(message)) == bytes.fromhex(sig)


# RFC 6979 appendix A.2.5, P-256 with SHA-256.
RFC6979_X = "c9afa9d845ba75166b5c215767b1d6934e50c3db36e89b127b8a622b120f6721"


@pytest.mark.parametrize("message, r, s", [
    ("sample", "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716",
     "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8"),
    ("test", "f1abb023518351cd71d881567b1ea663ed3efcf6c5132b354f28d3b0b7d38367",
     "019f4113742a2b14bd25926b49c649155f267e60d3814b4c0cc84250e46f0083"),
])
def test_rfc6979_vectors(message, r, s):
    p = P.from_seed(bytes.fromhex(RFC6979_X), "did:web:a", "did:web:a#key-1")
    point = base64.b64decode(p.public_key_sec1_b64)
    assert point.hex() == ("04" "60fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb6"
                           "7903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f5177a3c294d4462299")
    assert base64.b64decode(p.sign_challenge(message)).hex() == r + s


@pytest.fixture(params=[Ed, P], ids=["ed25519", "p256"])
def cls(request):
    return request.param


@pytest.mark.parametrize("args, exc, text", [
    ((b"\x01" * 31, "d", "k"), ValueError, "seed must be exactly 32 bytes"),
    ((b"\x01" * 33, "d", "k"), ValueError, "seed must be exactly 32 bytes"),
    ((bytearray(SEED), "d", "k"), TypeError, "'bytearray' object is not an instance of 'bytes'"),
    ((memoryview(SEED), "d", "k"), TypeError, "'memoryview' object is not an instance of 'bytes'"),
    ((SEED.hex(), "d", "k"), TypeError, "'str' object is not an instance of 'bytes'"),
    # Conversion of every argument comes before the length check.
    ((b"\x01", 5, "k"), TypeError, "'int' object is not an instance of 'str'"),
    ((b"\x01", "d", None), TypeError, "'None' is not an instance of 'str'"),
])
def test_from_seed_refusals(cls, args, exc, text):
    with pytest.raises(exc) as e:
        cls.from_seed(*args)
    assert str(e.value) == text
    if exc is ValueError:
        with pytest.raises(exc, match=text):
            cls.from_seed_did_key(args[0])


@pytest.mark.parametrize("d, ok", [(0, False), (1, True), (N - 1, True), (N, False), (2**256 - 1, False)])
def test_p256_scalar_range(d, ok):
    seed = d.to_bytes(32, "big")
    for make in (lambda: P.from_seed(seed, "d", "k"), lambda: P.from_seed_did_key(seed)):
        if ok:
            assert make().seed_bytes() == seed
        else:
            with pytest.raises(ValueError) as e:
                make()
            assert str(e.value) == SCALAR_TEXT
    # Any 32 bytes are an Ed25519 seed.
    assert Ed.from_seed(seed, "d", "k").seed_bytes() == seed


def test_stored_texts_are_unchecked_and_read_only(cls):
    p = cls.generate("not a did", "")
    assert (p.agent_did, p.key_id) == ("not a did", "")
    for attr in ("agent_did", "key_id"):
        with pytest.raises(AttributeError):
            setattr(p, attr, "x")
    with pytest.raises(TypeError):
        cls()


def test_generated_keys_are_fresh(cls):
    seeds = {cls.generate("d", "k").seed_bytes() for _ in range(4)} | \
            {cls.generate_did_key().seed_bytes() for _ in range(4)}
    assert len(seeds) == 8


@pytest.mark.parametrize("cls, prefix, length", [(Ed, b"\xed\x01", 34), (P, b"\x80\x24", 35)])
def test_did_key_identity(cls, prefix, length):
    p = cls.from_seed_did_key(SEED)
    did = p.agent_did
    assert did.startswith("did:key:z") and p.key_id == did + "#" + did[8:]
    raw = b58decode(did[9:])
    assert len(raw) == length and raw.startswith(prefix)
    if cls is Ed:
        assert raw[2:] == base64.b64decode(p.public_key_b64)
    else:
        point = base64.b64decode(p.public_key_sec1_b64)
        assert raw[2] == 2 + (point[-1] & 1) and raw[3:] == point[1:33]
    again = cls.from_seed_did_key(SEED)
    assert (again.agent_did, again.key_id) == (did, p.key_id)
    loaded = cls.from_seed(SEED, did, p.key_id)
    assert (loaded.agent_did, loaded.key_id, loaded.seed_bytes()) == (did, p.key_id, SEED)
    a, b = p.seed_bytes(), p.seed_bytes()
    assert a == b == SEED and a is not b
    # The same 32 bytes make different identities under the two key kinds.
    other = (P if cls is Ed else Ed).from_seed_did_key(SEED)
    assert other.agent_did != did


CONTENT_HASH = "sha256:" + "0123456789abcdef" * 4


@pytest.mark.parametrize("text", [
    "", "zelq-registry-auth:v1:n:did:web:a:a.example:2026-01-01T00:00:00.000Z", "h\u00e9llo \u2603",
    # Near misses of the content-hash form are ordinary challenges.
    CONTENT_HASH.upper(), CONTENT_HASH[:-1], CONTENT_HASH + "\n", " " + CONTENT_HASH,
    "sha256:" + "0123456789ABCDEF" * 4, "lin:" + CONTENT_HASH,
])
def test_sign_challenge_signs_the_text(cls, text):
    p = cls.from_seed(SEED, "did:web:a", "did:web:a#key-1")
    sig = p.sign_challenge(text)
    assert len(sig) == 88 and sig.endswith("==")
    verify(p, sig, text)
    assert cls.from_seed(SEED, "x", "y").sign_challenge(signing_input=text) == sig


def test_sign_challenge_refuses_a_content_hash(cls):
    p = cls.from_seed_did_key(SEED)
    with pytest.raises(ValueError) as e:
        p.sign_challenge(CONTENT_HASH)
    assert str(e.value) == "signing_input must not be a content hash"
    with pytest.raises(TypeError):
        p.sign_challenge(b"x")


def test_p256_public_key_forms():
    p = P.from_seed(SEED, "did:web:a", "did:web:a#key-1")
    point = base64.b64decode(p.public_key_sec1_b64)
    assert len(point) == 65 and point[0] == 4
    jwk_text = p.public_key_jwk
    jwk = json.loads(jwk_text)
    assert list(jwk) == ["kty", "crv", "x", "y"] and jwk_text == json.dumps(jwk, separators=(",", ":"))
    assert (jwk["kty"], jwk["crv"]) == ("EC", "P-256")
    for name, part in (("x", point[1:33]), ("y", point[33:])):
        assert len(jwk[name]) == 43 and not set("=+/") & set(jwk[name])
        assert base64.urlsafe_b64decode(jwk[name] + "=") == part
    vm_text = p.did_verification_method('did:web:a#"k"', "did:web:other")
    vm = json.loads(vm_text)
    assert list(vm) == ["id", "type", "controller", "publicKeyJwk"]
    assert vm == {"id": 'did:web:a#"k"', "type": "JsonWebKey2020", "controller": "did:web:other",
                  "publicKeyJwk": jwk}
    assert ' ' not in vm_text
    assert json.loads(p.did_verification_method(method_id="", controller=""))["id"] == ""
    assert not hasattr(p, "public_key_b64") and not hasattr(Ed, "public_key_jwk")
    assert not hasattr(Ed, "did_verification_method")


def test_secret_stays_out_of_repr_and_errors(cls):
    p = cls.from_seed(SEED, "did:key:zWrong", "k")
    texts = [repr(p), str(p), repr(cls)]
    for call in (lambda: p.sign_challenge(CONTENT_HASH), lambda: p.sign_challenge(1),
                 lambda: cls.from_seed(SEED + b"\x00", "d", "k")):
        with pytest.raises(Exception) as e:
            call()
        texts += [str(e.value), repr(e.value)] + list(getattr(e.value, "__notes__", []))
    for t in texts:
        for form in (SEED.hex(), base64.b64encode(SEED).decode(), repr(SEED)):
            assert form not in t


@pytest.mark.parametrize("method, signature", [
    ("generate", "(agent_did, key_id)"), ("from_seed", "(seed, agent_did, key_id)"), ("generate_did_key", "()"),
    ("from_seed_did_key", "(seed)"), ("seed_bytes", "($self)"), ("sign_challenge", "($self, signing_input)"),
    ("build_publish_request", "($self, title, context_type, visibility=None, description=None, summary=None, "
     "tags=None, domain=None, metadata=None, derived_from=None, audience=None, schema_uri=None, contributors=None, "
     "data_refs=None, anchors=None, expires_at=None, data_period=None, expected_lineage_id=None, zelq_version=None, "
     "omit_zelq_version=None)"),
    ("build_supersede_request", "($self, previous_body_json, title=None, summary=None, description=None, tags=None, "
     "domain=None, metadata=None, data_refs=None, anchors=None, clear_anchors=None, expires_at=None, "
     "data_period=None, expected_lineage_id=None, zelq_version=None, omit_zelq_version=None)"),
])
def test_text_signatures(cls, method, signature):
    assert getattr(cls, method).__text_signature__ == signature
