"""ZelqDid: did:web document URLs and fragment stripping."""
import ada_url
import pytest
from hypothesis import given, strategies as st

import zelq

web_to_url = zelq.ZelqDid.web_to_url
strip_fragment = zelq.ZelqDid.strip_fragment


def refusal(did):
    with pytest.raises(zelq.DidResolutionError) as info:
        web_to_url(did)
    assert info.value.reason == "not_did_web"
    return str(info.value)


@pytest.mark.parametrize("did, url", [
    # The did:web method's own examples.
    ("did:web:w3c-ccg.github.io", "https://w3c-ccg.github.io/.well-known/did.json"),
    ("did:web:w3c-ccg.github.io:user:alice", "https://w3c-ccg.github.io/user/alice/did.json"),
    ("did:web:example.com%3A3000", "https://example.com:3000/.well-known/did.json"),
    # Percent-decoding of the authority: only "%" with two hex digits.
    ("did:web:ex%61mple.com", "https://example.com/.well-known/did.json"),
    ("did:web:a%4", "https://a%4/.well-known/did.json"),
    ("did:web:a%zz", "https://a%zz/.well-known/did.json"),
    ("did:web:%C3%A9.example", "https://\u00e9.example/.well-known/did.json"),
    # Nothing else is normalised; path segments are copied as written.
    ("did:web:Example.COM:User", "https://Example.COM/User/did.json"),
    ("did:web:example.com:a%3Ab:c%2Fd", "https://example.com/a%3Ab/c%2Fd/did.json"),
    ("did:web:example.com:a::b", "https://example.com/a//b/did.json"),
    # A fragment after a path segment stays in the URL; callers strip it first.
    ("did:web:example.com:u#key-1", "https://example.com/u#key-1/did.json"),
])
def test_web_to_url_maps_did_to_document_url(did, url):
    assert web_to_url(did) == url


@pytest.mark.parametrize("did", [
    "", "did:web", "did:wex:a", "DID:WEB:example.com", "did:Web:example.com",
    "did:key:z6MkhaXgBZDvotDkL5257faiztiGiC2QtKLGpbnnEGta2doK", " did:web:example.com",
])
def test_web_to_url_refuses_other_texts(did):
    assert refusal(did) == f"key resolution failed: not a did:web DID: {did}"


@pytest.mark.parametrize("did", [
    # Host smuggling: user info, path, query, fragment or a backslash in the
    # authority, written plainly or percent-encoded.
    "did:web:trusted.example%40evil.example",
    "did:web:trusted.example@evil.example",
    "did:web:evil.example%2F.trusted.example",
    "did:web:evil.example%3F.trusted.example",
    "did:web:evil.example%23.trusted.example",
    "did:web:evil.example%5C.trusted.example",
    "did:web:example.com#key-1",
    "did:web:example.com/x",
    # Control characters, decoded or raw.
    "did:web:example.com%00", "did:web:example.com%0A", "did:web:example.com%1F", "did:web:example.com%7F",
    "did:web:exa\tmple.com", "did:web:example.com\x7f",
    # An empty authority names no host at all.
    "did:web:", "did:web::user:alice", "did:web::",
])
def test_web_to_url_refuses_authorities_that_move_the_host(did):
    assert refusal(did) == f"key resolution failed: not a did:web DID: {did}"


@pytest.mark.parametrize("did, fault", [
    ("did:web:%ff", "invalid utf-8 sequence of 1 bytes from index 0"),
    ("did:web:ab%C3%28", "invalid utf-8 sequence of 1 bytes from index 2"),
    ("did:web:%E2%82", "incomplete utf-8 byte sequence from index 0"),
    ("did:web:%E2%82%28", "invalid utf-8 sequence of 2 bytes from index 0"),
    ("did:web:%F0%9F%98%28", "invalid utf-8 sequence of 3 bytes from index 0"),
    ("did:web:%ED%A0%80", "invalid utf-8 sequence of 1 bytes from index 0"),  # a surrogate
])
def test_web_to_url_refuses_authorities_that_are_not_utf8(did, fault):
    assert refusal(did) == f"key resolution failed: authority decode: {fault}"


AUTHORITY_PARTS = st.sampled_from([
    "a", "b.example", "-", ".", "%", "%3A", "%3a", "%40", "%2F", "%3F", "%23", "%5C", "%00", "%7F",
    "%41", "%2540", "@", "/", "?", "#", "\\", "\t", "[", "]", "1", "8443", "\u00e9", "%C3%A9",
])


@given(parts=st.lists(AUTHORITY_PARTS, max_size=8), path=st.lists(st.sampled_from(["u", "alice", "x%3Ay"]), max_size=3))
def test_an_accepted_did_never_leaves_the_document_path(parts, path):
    """Whatever the authority, the URL a WHATWG parser sees either fails to
    parse or fetches exactly the document path, with no user info, query or
    fragment."""
    did = "did:web:" + "".join(parts) + "".join(":" + p for p in path)
    try:
        url = web_to_url(did)
    except zelq.DidResolutionError as e:
        assert e.reason == "not_did_web"
        return
    try:
        parsed = ada_url.parse_url(url)
    except ValueError:
        return
    expected_path = "/" + "/".join(path) + "/did.json" if path else "/.well-known/did.json"
    assert parsed["pathname"] == expected_path
    assert (parsed["username"], parsed["password"], parsed["search"], parsed["hash"]) == ("", "", "", "")


@pytest.mark.parametrize("did_url, stripped", [
    ("did:web:example.com#key-1", "did:web:example.com"),
    ("did:web:example.com", "did:web:example.com"),
    ("#key-1", ""),
    ("a#b#c", "a"),
    ("not a DID#x", "not a DID"),
])
def test_strip_fragment(did_url, stripped):
    assert strip_fragment(did_url) == stripped


def test_stripped_did_url_maps_to_its_document():
    assert web_to_url(strip_fragment("did:web:example.com%3A8443#key-1")) == \
        "https://example.com:8443/.well-known/did.json"
