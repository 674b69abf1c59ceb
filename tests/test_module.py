import importlib
import subprocess
import sys

import pytest

import zelq

CLASSES = ["ZelqProducer", "ZelqP256Producer", "ZelqVerifier", "ZelqCanonicalizer",
           "ZelqMerkle", "ZelqSsrfPolicy", "ZelqDid", "ZelqDidDocument"]
EXCEPTIONS = ["SsrfRejected", "DidResolutionError", "InvalidLogProof", "ImmutableField",
              "InvalidLifecycleTransition", "InvalidWitnessCosignature"]


def test_all_lists_the_fourteen_names_in_order():
    assert zelq.__all__ == CLASSES + EXCEPTIONS


def test_module_has_no_other_public_attributes():
    public = {n for n in dir(zelq) if not n.startswith("_")}
    assert public == set(CLASSES + EXCEPTIONS)


def test_module_doc_names_classes_and_five_exceptions():
    doc = zelq.__doc__
    assert doc.startswith("The `zelq` Python module \u2014 exposes")
    assert len(doc.splitlines()) == 5
    for name in CLASSES + EXCEPTIONS[:5]:
        assert name in doc
    assert "InvalidWitnessCosignature" not in doc


@pytest.mark.parametrize("name", CLASSES)
def test_class_cannot_be_called(name):
    with pytest.raises(TypeError, match=rf"^cannot create 'builtins\.{name}' instances$"):
        getattr(zelq, name)()


@pytest.mark.parametrize("name", CLASSES)
def test_class_cannot_be_subclassed(name):
    with pytest.raises(TypeError):
        type("Sub", (getattr(zelq, name),), {})


@pytest.mark.parametrize("name", CLASSES)
def test_class_names(name):
    cls = getattr(zelq, name)
    assert cls.__module__ == "builtins"
    assert cls.__name__ == name and cls.__qualname__ == name


def test_static_class_docs():
    assert zelq.ZelqVerifier.__doc__ == "Consumer-side verification utilities. All methods are static."
    assert zelq.ZelqCanonicalizer.__doc__ == "RFC 8785 canonicalization utilities. All methods are static."
    assert zelq.ZelqMerkle.__doc__ == "RFC-ZELQ-0012 \u00a75 Merkle helpers. All methods are static."
    assert zelq.ZelqDid.__doc__ == "Stateless did:web string helpers. All methods are static."
    assert zelq.ZelqDidDocument.__doc__ == (
        "A parsed did:web DID document. Construct with `ZelqDidDocument.parse`,\n"
        "then resolve a signing key with `key_for_algorithm`.")


@pytest.mark.parametrize("name", EXCEPTIONS)
def test_exception_types(name):
    exc = getattr(zelq, name)
    assert exc.__module__ == "zelq"
    assert exc.__name__ == name
    assert exc.__mro__ == (exc, Exception, BaseException, object)
    err = exc("message")
    assert str(err) == "message" and err.args == ("message",)


def test_exception_docs():
    assert zelq.SsrfRejected.__doc__ == (
        "Raised when an SSRF check rejects a URL, IP, or redirect. "
        "The `.reason` attribute is a stable snake_case code.")
    assert zelq.DidResolutionError.__doc__ == (
        "Raised when a did:web helper rejects input. The `.reason` attribute is a stable snake_case code.")
    assert zelq.InvalidLogProof.__doc__.startswith("A transparency-log artifact failed verification")
    assert "DISTINCT from\nInvalidLogProof" not in zelq.InvalidWitnessCosignature.__doc__
    assert "Deliberately DISTINCT from InvalidLogProof" in zelq.InvalidWitnessCosignature.__doc__


def test_types_are_shared_across_module_objects():
    before_cls, before_exc = zelq.ZelqVerifier, zelq.InvalidLogProof
    saved = sys.modules.pop("zelq")
    try:
        fresh = importlib.import_module("zelq")
        assert fresh is not saved
        assert fresh.ZelqVerifier is before_cls
        assert fresh.InvalidLogProof is before_exc
        assert fresh.__all__ == CLASSES + EXCEPTIONS
    finally:
        sys.modules["zelq"] = saved


def test_classes_have_no_instance_dict_or_weakrefs():
    for name in CLASSES:
        cls = getattr(zelq, name)
        assert "__dict__" not in cls.__dict__
        assert "__weakref__" not in cls.__dict__


# The class's documented method order; methods not built yet are absent.
VERIFIER_ORDER = [
    "verify_content_hash", "verify_ctx_id_binding", "verify_signature", "verify_signature_p256",
    "verify_body_offline", "verify_publish_request_offline", "explain_hash_mismatch",
    "canonical_preimage", "fingerprint_ed25519_b64", "verify_receipt", "verify_lineage_head_receipt",
    "verify_log_checkpoint", "verify_log_inclusion", "verify_log_consistency", "build_log_leaf",
    "verify_lifecycle_event", "parse_key_revocation", "classify_under_revocation",
    "build_witness_cosignature", "verify_witness_cosignature", "evaluate_witness_quorum",
]


def test_verifier_methods_keep_the_documented_order():
    registered = [n for n in zelq.ZelqVerifier.__dict__ if not n.startswith("_")]
    assert registered == [n for n in VERIFIER_ORDER if n in registered]
    assert set(registered) <= set(VERIFIER_ORDER)


def test_module_exports_only_its_init_function():
    out = subprocess.run(["nm", "-D", "--defined-only", zelq.__file__], check=True, capture_output=True,
                         text=True).stdout
    assert [line.split()[-1] for line in out.splitlines()] == ["PyInit_zelq"]
