"""ZelqDidDocument: parsing and pinning a DID document, and resolving the one
key that may verify a signature. Keys come from `cryptography`, and their JWK
and multibase forms are built here, so the expected bytes do not come from the
code under test."""
import base64
import json

import pytest
from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import ec, ed25519

import zelq
from artefacts import b58, b64, b64url

Doc = zelq.ZelqDidDocument
DID = "did:web:registry.example"

class Ed:
    def __init__(self):
        self.raw = ed25519.Ed25519PrivateKey.generate().public_key().public_bytes(
            serialization.Encoding.Raw, serialization.PublicFormat.Raw)
        self.multibase = "z" + b58(b"\xed\x01" + self.raw)
        self.jwk = {"kty": "OKP", "crv": "Ed25519", "x": b64url(self.raw)}


class P256:
    def __init__(self):
        pub = ec.generate_private_key(ec.SECP256R1()).public_key()
        self.raw = pub.public_bytes(serialization.Encoding.X962, serialization.PublicFormat.UncompressedPoint)
        self.compressed = pub.public_bytes(serialization.Encoding.X962, serialization.PublicFormat.CompressedPoint)
        self.multibase = "z" + b58(b"\x80\x24" + self.compressed)
        self.jwk = {"kty": "EC", "crv": "P-256", "x": b64url(self.raw[1:33]), "y": b64url(self.raw[33:])}


ED, P = Ed(), P256()


def vm(frag, type_, did=DID, **key):
    return {"id": f"{did}#{frag}", "type": type_, "controller": did, **key}


def document(methods, assertion, did=DID, **extra):
    return json.dumps({"@context": ["https://www.w3.org/ns/did/v1"], "id": did,
                       "verificationMethod": methods, "assertionMethod": assertion, **extra})


def reason_of(call):
    with pytest.raises(zelq.DidResolutionError) as info:
        call()
    return info.value.reason, str(info.value)


# A registry document as a did:web host publishes it: an Ed25519 key as
# multibase and a P-256 key as a JWK, one referenced from assertionMethod by
# absolute id, one embedded there, and a retired key left in
# verificationMethod only.
RETIRED = Ed()
REGISTRY = document(
    [vm("ed-1", "Ed25519VerificationKey2020", publicKeyMultibase=ED.multibase),
     vm("p256-1", "JsonWebKey2020", publicKeyJwk=P.jwk),
     vm("ed-0", "Ed25519VerificationKey2020", publicKeyMultibase=RETIRED.multibase)],
    [f"{DID}#ed-1", vm("p256-1", "JsonWebKey2020", publicKeyJwk=P.jwk)],
    authentication=[f"{DID}#ed-1"],
    service=[{"id": "#log", "type": "ZelqLog", "serviceEndpoint": "https://registry.example/log"}])


@pytest.fixture(scope="module")
def registry():
    return Doc.parse(REGISTRY, DID)


# ---- parse -------------------------------------------------------------------

def test_parse_pins_the_document_and_exposes_its_id(registry):
    assert registry.id == DID
    assert isinstance(registry, Doc)


@pytest.mark.parametrize("text, expected_did, reason, message", [
    ('{"id":"did:web:a",}', "did:web:a", "parse_failed", "DID document parse: trailing comma at line 1 column 19"),
    ('{"ID":"did:web:a"}', "did:web:a", "parse_failed", "DID document parse: missing field `id` at line 1 column 18"),
    ('{"id":"did:web:a","assertionMethod":[null]}', "did:web:a", "parse_failed",
     "DID document parse: data did not match any variant of untagged enum AssertionMethodRef at line 1 column 42"),
    # A JWK is read as any JSON value is, whatever of it is kept.
    ('{"id":"did:web:a","verificationMethod":[{"id":"k","type":"t","controller":"c","publicKeyJwk":{"x":"a",}}]}',
     "did:web:a", "parse_failed", "DID document parse: trailing comma at line 1 column 103"),
    ('{"id":"did:web:a","verificationMethod":[{"id":"k","type":"t","controller":"c","publicKeyJwk":{"n":[1e400]}}]}',
     "did:web:a", "parse_failed", "DID document parse: number out of range at line 1 column 104"),
    ('{"id":"did:web:a","verificationMethod":[{"id":"k","type":"t","controller":"c","publicKeyJwk":{"n":'
     + "[" * 126 + "]" * 126 + "}}]}", "did:web:a", "parse_failed",
     "DID document parse: recursion limit exceeded at line 1 column 222"),
    ('{"id":""}', "", "parse_failed", "DID document missing required `id`"),
    ('{"id":""}', "did:web:a", "parse_failed", "DID document missing required `id`"),
    ('{"id":"did:web:A"}', "did:web:a", "id_mismatch",
     "DID document id 'did:web:A' does not match requested DID 'did:web:a'"),
])
def test_parse_refusals(text, expected_did, reason, message):
    assert reason_of(lambda: Doc.parse(text, expected_did)) == (reason, message)


# ---- resolving keys --------------------------------------------------------------

@pytest.mark.parametrize("key_id, alg, raw", [
    (f"{DID}#ed-1", "ed25519", ED.raw),
    ("#ed-1", "ed25519", ED.raw),
    (f"{DID}#p256-1", "ecdsa-p256", P.raw),
    ("#p256-1", "ecdsa-p256", P.raw),
])
def test_key_for_algorithm_returns_the_raw_key(registry, key_id, alg, raw):
    got = registry.key_for_algorithm(key_id, alg)
    assert got == {"key_id": f"{DID}#{key_id.split('#')[1]}", "algorithm": alg, "public_key_b64": b64(raw)}
    assert len(got["public_key_b64"]) == (44 if alg == "ed25519" else 88)


def test_receipt_key_reports_a_retired_key_as_historical(registry):
    assert registry.receipt_key_for_algorithm("#ed-0", "ed25519") == {
        "key_id": f"{DID}#ed-0", "algorithm": "ed25519", "public_key_b64": b64(RETIRED.raw), "historical": "true"}
    assert registry.receipt_key_for_algorithm("#ed-1", "ed25519")["historical"] == "false"
    # Authorized through an embedded entry.
    assert registry.receipt_key_for_algorithm(f"{DID}#p256-1", "ecdsa-p256")["historical"] == "false"
    assert reason_of(lambda: registry.key_for_algorithm("#ed-0", "ed25519")) == (
        "key_not_authorized", "verificationMethod '#ed-0' is not in assertionMethod (cannot sign challenges)")


@pytest.mark.parametrize("method", ["key_for_algorithm", "receipt_key_for_algorithm"])
@pytest.mark.parametrize("key_id, alg, reason, message", [
    # The algorithm name is checked first, exactly.
    ("#nowhere", "Ed25519", "unsupported_algorithm", "unsupported algorithm: Ed25519"),
    ("#ed-1", "ECDSA-P256", "unsupported_algorithm", "unsupported algorithm: ECDSA-P256"),
    ("#nowhere", "ed25519", "key_not_found", "no verificationMethod with id '#nowhere'"),
    ("ed-1", "ed25519", "key_not_found", "no verificationMethod with id 'ed-1'"),
    # A downgrade: the key says Ed25519, the signature claims P-256, and back.
    ("#ed-1", "ecdsa-p256", "alg_mismatch",
     f"requested ecdsa-p256 but verificationMethod '{DID}#ed-1' is Ed25519VerificationKey2020 (ed25519)"),
    ("#p256-1", "ed25519", "alg_mismatch",
     f"requested ed25519 but verificationMethod '{DID}#p256-1' is JsonWebKey2020 (ecdsa-p256)"),
])
def test_selection_refusals_in_order(registry, method, key_id, alg, reason, message):
    assert reason_of(lambda: getattr(registry, method)(key_id, alg)) == (reason, message)


def one_method_doc(method, assertion=("#k",)):
    return Doc.parse(document([dict(method, id=f"{DID}#k", controller=DID)], list(assertion)), DID)


ED_TYPE = "Ed25519VerificationKey2020"
P_TYPE = "EcdsaSecp256r1VerificationKey2019"
PREFIX = "key resolution failed: "


@pytest.mark.parametrize("method, alg, message", [
    # Ed25519: a JWK decides alone, even beside a good multibase key.
    ({"type": ED_TYPE, "publicKeyMultibase": ED.multibase, "publicKeyJwk": P.jwk}, "ed25519",
     "expected OKP/Ed25519 JWK, got kty=EC crv=P-256"),
    ({"type": ED_TYPE, "publicKeyJwk": "text"}, "ed25519", "expected OKP/Ed25519 JWK, got kty= crv="),
    ({"type": ED_TYPE, "publicKeyJwk": {"kty": "OKP", "crv": "Ed25519"}}, "ed25519", "JWK missing 'x' parameter"),
    ({"type": ED_TYPE, "publicKeyJwk": dict(ED.jwk, x=ED.jwk["x"] + "=")}, "ed25519",
     "JWK 'x' base64url decode: Invalid padding"),
    ({"type": ED_TYPE, "publicKeyJwk": dict(ED.jwk, x="+" + ED.jwk["x"][1:])}, "ed25519",
     "JWK 'x' base64url decode: Invalid symbol 43, offset 0."),
    ({"type": ED_TYPE, "publicKeyJwk": dict(ED.jwk, x=b64url(ED.raw[:31]))}, "ed25519",
     "JWK 'x' is not 32 bytes (not Ed25519)"),
    ({"type": ED_TYPE, "publicKeyMultibase": "u" + b64url(b"\xed\x01" + ED.raw)}, "ed25519",
     "only 'z' (base58btc) multibase prefix is supported"),
    ({"type": ED_TYPE, "publicKeyMultibase": "z0abc"}, "ed25519",
     "base58 decode: provided string contained invalid character '0' at byte 0"),
    ({"type": ED_TYPE, "publicKeyMultibase": P.multibase}, "ed25519",
     "multibase key does not have Ed25519 multicodec prefix (0xed 0x01)"),
    ({"type": ED_TYPE, "publicKeyMultibase": "z" + b58(b"\xed\x01" + ED.raw[:31])}, "ed25519",
     "Ed25519 key must be 32 bytes after multicodec prefix"),
    ({"type": ED_TYPE}, "ed25519", "verification method has neither publicKeyJwk nor publicKeyMultibase"),
    # P-256 is read from a JWK only.
    ({"type": "Multikey", "publicKeyMultibase": P.multibase}, "ecdsa-p256",
     "ecdsa-p256 verification method requires publicKeyJwk (publicKeyMultibase not yet supported for P-256)"),
    ({"type": "JsonWebKey2020", "publicKeyJwk": dict(P.jwk, crv="secp256k1")}, "ecdsa-p256",
     "expected EC/P-256 JWK, got kty=EC crv=secp256k1"),
    ({"type": P_TYPE, "publicKeyJwk": {"kty": "EC", "crv": "P-256", "y": "!"}}, "ecdsa-p256", "JWK missing 'x'"),
    ({"type": P_TYPE, "publicKeyJwk": {"kty": "EC", "crv": "P-256", "x": "!"}}, "ecdsa-p256", "JWK missing 'y'"),
    ({"type": P_TYPE, "publicKeyJwk": dict(P.jwk, x="+" + P.jwk["x"][1:], y="+")}, "ecdsa-p256",
     "JWK 'x' base64url: Invalid symbol 43, offset 0."),
    ({"type": P_TYPE, "publicKeyJwk": dict(P.jwk, y=P.jwk["y"] + "=")}, "ecdsa-p256",
     "JWK 'y' base64url: Invalid padding"),
    ({"type": P_TYPE, "publicKeyJwk": dict(P.jwk, x=b64url(P.raw[1:32]))}, "ecdsa-p256",
     "P-256 JWK x/y must be 32 bytes each, got x=31 y=32"),
])
def test_malformed_keys(method, alg, message):
    doc = one_method_doc(method)
    for call in (doc.key_for_algorithm, doc.receipt_key_for_algorithm):
        assert reason_of(lambda: call("#k", alg)) == ("malformed_key", PREFIX + message)


@pytest.mark.parametrize("jwk, outcome", [
    # A name given twice counts by its last value; other members are not read.
    ('{"kty":"OKP","crv":"Ed25519","x":1,"x":"%s","kid":{"x":[]}}' % ED.jwk["x"], b64(ED.raw)),
    ('{"kty":"OKP","crv":"Ed25519","x":"%s","x":null}' % ED.jwk["x"], PREFIX + "JWK missing 'x' parameter"),
    ('{"kty":"EC","kty":"OKP","crv":"Ed25519","x":"%s"}' % ED.jwk["x"], b64(ED.raw)),
])
def test_jwk_members_repeated_in_the_text(jwk, outcome):
    text = document([vm("k", "JsonWebKey2020", publicKeyJwk="JWK")], ["#k"]).replace('"JWK"', jwk)
    doc = Doc.parse(text, DID)
    try:
        got = doc.key_for_algorithm("#k", "ed25519")["public_key_b64"]
    except zelq.DidResolutionError as e:
        got = str(e)
    assert got == outcome


def test_a_malformed_unauthorized_key_reports_malformed_key():
    doc = one_method_doc({"type": ED_TYPE}, assertion=())
    assert reason_of(lambda: doc.key_for_algorithm("#k", "ed25519"))[0] == "malformed_key"


@pytest.mark.parametrize("method, alg, raw", [
    # The type, the JWK or the multicodec prefix names the algorithm.
    ({"type": "JsonWebKey2020", "publicKeyJwk": ED.jwk}, "ed25519", ED.raw),
    ({"type": "Ed25519VerificationKey2018", "publicKeyMultibase": ED.multibase}, "ed25519", ED.raw),
    ({"type": "Multikey", "publicKeyMultibase": ED.multibase}, "ed25519", ED.raw),
    ({"type": P_TYPE, "publicKeyJwk": P.jwk}, "ecdsa-p256", P.raw),
    # A method that does not say is decoded by the requested algorithm.
    ({"type": "SomeFutureKey", "publicKeyJwk": P.jwk}, "ecdsa-p256", P.raw),
    ({"type": "SomeFutureKey", "publicKeyJwk": ED.jwk}, "ed25519", ED.raw),
])
def test_key_forms_of_both_algorithms_resolve(method, alg, raw):
    assert one_method_doc(method).key_for_algorithm("#k", alg)["public_key_b64"] == b64(raw)


@pytest.mark.parametrize("method, alg", [
    ({"type": "Multikey", "publicKeyMultibase": P.multibase}, "ed25519"),
    ({"type": "JsonWebKey2020", "publicKeyJwk": ED.jwk}, "ecdsa-p256"),
])
def test_a_key_that_names_its_algorithm_refuses_the_other(method, alg):
    assert reason_of(lambda: one_method_doc(method).key_for_algorithm("#k", alg))[0] == "alg_mismatch"


# ---- lookup and the assertionMethod gate -----------------------------------------

def test_lookup_by_fragment_takes_the_first_match_in_document_order():
    other = "did:web:other.example"
    doc = Doc.parse(document(
        [vm("k", ED_TYPE, publicKeyMultibase=ED.multibase),
         vm("k", ED_TYPE, did=other, publicKeyMultibase=RETIRED.multibase)], ["#k"]), DID)
    for key_id in ("#k", f"{DID}#k", f"{other}#k", "anything#k"):
        assert doc.receipt_key_for_algorithm(key_id, "ed25519")["public_key_b64"] == b64(ED.raw)
    # The gate looks at the key id as passed: another DID's id is not asserted.
    assert doc.receipt_key_for_algorithm(f"{other}#k", "ed25519")["historical"] == "true"
    assert reason_of(lambda: doc.key_for_algorithm(f"{other}#k", "ed25519"))[0] == "key_not_authorized"
    assert doc.key_for_algorithm(f"{DID}#k", "ed25519")["key_id"] == f"{DID}#k"


def test_a_key_id_with_a_second_hash_never_matches():
    doc = Doc.parse(document([{"id": "a#b#c", "type": ED_TYPE, "controller": DID,
                               "publicKeyMultibase": ED.multibase}], ["a#b#c"]), DID)
    assert reason_of(lambda: doc.key_for_algorithm("a#b#c", "ed25519")) == (
        "key_not_found", "no verificationMethod with id 'a#b#c'")
    assert doc.receipt_key_for_algorithm("#c", "ed25519")["key_id"] == "a#b#c"


def test_a_method_id_without_hash_is_found_only_by_its_exact_id():
    doc = Doc.parse(document([{"id": "key-1", "type": ED_TYPE, "controller": DID,
                               "publicKeyMultibase": ED.multibase}], ["key-1"]), DID)
    assert doc.key_for_algorithm("key-1", "ed25519")["key_id"] == "key-1"
    for key_id in ("#key-1", f"{DID}#key-1", "key-1 "):
        assert reason_of(lambda: doc.key_for_algorithm(key_id, "ed25519"))[0] == "key_not_found"


@pytest.mark.parametrize("assertion, key_id, asserted", [
    (["#k"], f"{DID}#k", True),
    ([f"{DID}#k"], "#k", True),
    (["#k"], "#k", True),
    ([vm("k", ED_TYPE, publicKeyMultibase=ED.multibase)], "#k", True),
    ([{"id": "#k", "type": "t", "controller": "c"}], f"{DID}#k", True),
    # Every entry counts, in whatever mix of the two forms.
    (["#a", "#k"], "#k", True),
    ([{"id": "#a", "type": "t", "controller": "c"}, "#k"], "#k", True),
    (["#a", {"id": "#k", "type": "t", "controller": "c"}], "#k", True),
    ([f"{DID}#K"], "#k", False),
    (["did:web:other.example#k"], "#k", False),
    ([], "#k", False),
])
def test_assertion_gate_expands_relative_ids(assertion, key_id, asserted):
    doc = Doc.parse(document([vm("k", ED_TYPE, publicKeyMultibase=ED.multibase)], assertion), DID)
    assert doc.receipt_key_for_algorithm(key_id, "ed25519")["historical"] == ("false" if asserted else "true")
    if asserted:
        assert doc.key_for_algorithm(key_id, "ed25519")["key_id"] == f"{DID}#k"
    else:
        assert reason_of(lambda: doc.key_for_algorithm(key_id, "ed25519")) == (
            "key_not_authorized", f"verificationMethod '{key_id}' is not in assertionMethod (cannot sign challenges)")


# ---- documents as DID methods publish them -----------------------------------

def did_key_document(key, type_, **material):
    """A did:key document: its one method's id repeats the identifier, which is
    the key's multibase form."""
    did = "did:key:" + key.multibase
    kid = f"{did}#{key.multibase}"
    return did, kid, json.dumps({
        "@context": ["https://www.w3.org/ns/did/v1", "https://w3id.org/security/suites/ed25519-2020/v1"],
        "id": did,
        "verificationMethod": [{"id": kid, "type": type_, "controller": did, **material}],
        "authentication": [kid], "assertionMethod": [kid], "capabilityInvocation": [kid],
        "capabilityDelegation": [kid]})


@pytest.mark.parametrize("key, type_, material, alg", [
    (ED, "Ed25519VerificationKey2020", {"publicKeyMultibase": ED.multibase}, "ed25519"),
    (ED, "Multikey", {"publicKeyMultibase": ED.multibase}, "ed25519"),
    (P, "JsonWebKey2020", {"publicKeyJwk": P.jwk}, "ecdsa-p256"),
])
def test_did_key_documents_yield_the_identifier_key(key, type_, material, alg):
    did, kid, text = did_key_document(key, type_, **material)
    got = Doc.parse(text, did).key_for_algorithm(kid, alg)
    assert got["key_id"] == kid
    assert base64.b64decode(got["public_key_b64"]) == key.raw
