"""Argument matching and conversion, shown on ZelqCanonicalizer.canonicalize."""
import inspect
import sys

import pytest

import zelq
from test_leaks import CASES

canonicalize = zelq.ZelqCanonicalizer.canonicalize
NAME = "ZelqCanonicalizer.canonicalize()"


@pytest.mark.parametrize("call, message", [
    (lambda: canonicalize(), f"{NAME} missing 1 required positional argument: 'json_str'"),
    (lambda: canonicalize("1", "2"), f"{NAME} takes 1 positional arguments but 2 were given"),
    (lambda: canonicalize("1", json_str="1"), f"{NAME} got multiple values for argument 'json_str'"),
    (lambda: canonicalize(text="1"), f"{NAME} got an unexpected keyword argument 'text'"),
    (lambda: canonicalize("1", text="1"), f"{NAME} got an unexpected keyword argument 'text'"),
])
def test_argument_matching_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("given, missing", [
    ((), "3 required positional arguments: 'pub_key_b64', 'sig_b64', and 'content_hash'"),
    (("k",), "2 required positional arguments: 'sig_b64' and 'content_hash'"),
])
def test_missing_several_arguments_are_all_named(given, missing):
    with pytest.raises(TypeError) as info:
        zelq.ZelqVerifier.verify_signature(*given)
    assert str(info.value) == "ZelqVerifier.verify_signature() missing " + missing


def test_keyword_call_equals_positional_call():
    assert canonicalize(json_str='{"b":1,"a":2}') == canonicalize('{"b":1,"a":2}') == '{"a":2,"b":1}'


@pytest.mark.parametrize("value, message", [
    (5, "'int' object is not an instance of 'str'"),
    (b"{}", "'bytes' object is not an instance of 'str'"),
    (None, "'None' is not an instance of 'str'"),
])
def test_conversion_errors_carry_the_parameter_note(value, message):
    with pytest.raises(TypeError) as info:
        canonicalize(value)
    assert str(info.value) == message
    # 3.10 exceptions have no notes: there the conversion error passes unchanged.
    notes = ["while processing 'json_str'"] if sys.version_info >= (3, 11) else None
    assert getattr(info.value, "__notes__", None) == notes


def test_str_subclass_is_accepted():
    class S(str):
        pass
    assert canonicalize(S("[1]")) == "[1]"


def test_lone_surrogate_raises_the_hosts_encoding_error():
    with pytest.raises(UnicodeEncodeError):
        canonicalize('"\ud800"')


def test_text_signature_and_doc():
    assert canonicalize.__text_signature__ == "(json_str)"
    assert "RFC 8785" in canonicalize.__doc__
    assert zelq.ZelqCanonicalizer.content_hash.__text_signature__ == "(json_str)"


class OddName(str):
    def __eq__(self, other):
        raise AssertionError("the binding compares names itself")

    __hash__ = str.__hash__


WITH_PARAMETERS = [(label, m) for label, m in CASES if inspect.signature(m).parameters]


@pytest.mark.parametrize("name", ["\ud800", "a\x00", OddName("no_such"), "json_str\x00"])
@pytest.mark.parametrize("label, method", WITH_PARAMETERS, ids=[c[0] for c in WITH_PARAMETERS])
def test_unknown_keyword_names_are_shown_as_given(label, method, name):
    with pytest.raises(TypeError) as info:
        method(**{name: 1})
    assert str(info.value) == f"{label}() got an unexpected keyword argument '{name}'"
