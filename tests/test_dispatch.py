"""Argument matching and conversion, shown on ZelqCanonicalizer.canonicalize."""
import ctypes
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
    # A parameter that must be given, though it may be None, counts as required.
    (lambda: zelq.ZelqVerifier.verify_receipt(*"1234567"),
     "ZelqVerifier.verify_receipt() takes 6 positional arguments but 7 were given"),
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


# The vector call, which hands keyword names over as they are: a `**` call
# would refuse a name that is no str before the method saw it.
VECTORCALL_FUNC = ctypes.PYFUNCTYPE(ctypes.py_object, ctypes.py_object, ctypes.POINTER(ctypes.py_object),
                                    ctypes.c_size_t, ctypes.py_object)
if hasattr(ctypes.pythonapi, "PyObject_Vectorcall"):
    VECTORCALL = VECTORCALL_FUNC(("PyObject_Vectorcall", ctypes.pythonapi))
else:  # Python 3.10 exports it not: the method's own vector call, found as it finds it
    def VECTORCALL(method, args, nargs, kwnames):
        type_slot = id(type(method)) + 7 * ctypes.sizeof(ctypes.c_void_p)  # tp_vectorcall_offset
        offset = ctypes.c_ssize_t.from_address(type_slot).value
        call = VECTORCALL_FUNC(ctypes.c_void_p.from_address(id(method) + offset).value)
        return call(method, args, nargs, kwnames)


@pytest.mark.parametrize("name", ["\ud800", "a\x00", OddName("no_such"), "json_str\x00",
                                  b"x", 3.5, 1, None, object()])
@pytest.mark.parametrize("label, method", WITH_PARAMETERS, ids=[c[0] for c in WITH_PARAMETERS])
def test_unknown_keyword_names_are_refused(label, method, name):
    with pytest.raises(TypeError) as info:
        VECTORCALL(method, (ctypes.py_object * 1)(1), 0, (name,))
    assert str(info.value) == (f"{label}() got an unexpected keyword argument '{name}'" if isinstance(name, str)
                               else "keywords must be strings")
