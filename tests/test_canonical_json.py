import hashlib
import json
import math

import pytest
import rfc8785
from hypothesis import given, strategies as st

import zelq

canonicalize = zelq.ZelqCanonicalizer.canonicalize
content_hash = zelq.ZelqCanonicalizer.content_hash


# 2^k and the doubles next to it, in 17 and 16 digits: below a power of two
# the gap between doubles is half the gap above.
POWERS_OF_TWO = ["%.16e" % x for k in (-960, -64, 1, 64, 960, 1023)
                 for x in (math.nextafter(2.0**k, 0), 2.0**k, math.nextafter(2.0**k, math.inf))]
POWERS_OF_TWO += ["%.15e" % float(t) for t in POWERS_OF_TWO]


@pytest.mark.parametrize("text, expected", [
    ('{"b": 1, "a": [true, null]}', '{"a":[true,null],"b":1}'),
    ('{"b":[1, 2], "a":null}', '{"a":null,"b":[1,2]}'),
    ('{"b":0,"a":0,"aa":0,"B":0}', '{"B":0,"a":0,"aa":0,"b":0}'),
    # UTF-8 byte order: U+FB01 before U+1F600 (UTF-16 order would swap them).
    ('{"\U0001F600":1,"\uFB01":2}', '{"\uFB01":2,"\U0001F600":1}'),
    ("9007199254740993", "9007199254740993"),
    ("9007199254740993.0", "9007199254740992"),
    ("18446744073709551615", "18446744073709551615"),
    ("-9223372036854775808", "-9223372036854775808"),
    ("18446744073709551616", "18446744073709552000"),
    ("-0", "0"), ("-0.0", "0"), ("1.0", "1"), ("123.0", "123"),
    ("1e20", "100000000000000000000"), ("1e21", "1e+21"),
    ("1e-6", "0.000001"), ("1e-7", "1e-7"), ("1.5e-7", "1.5e-7"),
    # The same edges written out in full: a plain decimal below 1e-6, or an
    # integer of 22 digits, changes form; one just inside keeps it.
    ("0.0000001", "1e-7"), ("0.00000012", "1.2e-7"), ("-0.0000009", "-9e-7"),
    ("0.000001", "0.000001"), ("0.0000010", "0.000001"),
    ("1000000000000000000000", "1e+21"), ("-1000000000000000000000", "-1e+21"),
    ("999999999999999900000", "999999999999999900000"), ("-999999999999999900000", "-999999999999999900000"),
    ("100000000000000000000", "100000000000000000000"),
    ("0.1", "0.1"), ("5e-324", "5e-324"), ("1e-400", "0"),
    ("0.0e99999999999", "0"), ("-1e-99999999999", "0"),
    ("1.7976931348623157e308", "1.7976931348623157e+308"),
    ("-1.5", "-1.5"), ("123456789012345680000", "123456789012345680000"),
    # 16 and 17 digits that are not the shortest of their double: a new last
    # digit, cut short, rounded up, or written anew.
    ("1.8446744073709552e19", "18446744073709552000"),
    *[(t, rfc8785.dumps(float(t)).decode()) for t in POWERS_OF_TWO],
    ("55201470259013472e-304", "5.5201470259013475e-288"),
    ("78486620042131791e167", "7.848662004213179e+183"), ("78486620042131789e167", "7.848662004213179e+183"),
    ("27387828800000001e-9", "27387828.8"), ("27387828799999999e-9", "27387828.8"),
    ("96024057754654532e9", "9.602405775465452e+25"), ("91426862154905213e-29", "9.14268621549052e-13"),
    # A decimal midway between two doubles reads as the even one.
    ("4503599627370497.5", "4503599627370498"),
    # The ends of the power-of-ten table: 16 digits up to e299, 17 down to e-301.
    ("8.599999999999999e299", "8.6e+299"), ("2.6999999999999998e-301", "2.7e-301"),
    ('"\\u0008\\u000c\\u001f"', '"\\u0008\\u000c\\u001f"'),
    ('"\\b\\f\\n\\r\\t\\"\\\\"', '"\\u0008\\u000c\\n\\r\\t\\"\\\\"'),
    ('"\\u007f/\\u2028\\/"', '"\x7f/\u2028/"'),
    ('"\\ud83d\\ude00"', '"\U0001F600"'),
    ('"plain"', '"plain"'), ("7", "7"), ("  true ", "true"),
    ('{"a":1,"a":2,"b":3}', '{"a":2,"b":3}'),
])
def test_canonical_forms(text, expected):
    assert canonicalize(text) == expected


def test_content_hash_of_known_documents():
    expected = "sha256:51705a2c9eb3e7e410a58f696a770c3ac3885a0cf43eb7fc88f5e47c11d4d30d"
    assert content_hash('{"b": 1, "a": [true, null]}') == expected
    assert content_hash('{\n  "a" : [ true , null ] , "b" : 1 }') == expected
    assert content_hash("{}") == "sha256:44136fa355b3678a1146ad16f7e8649e94fb4fc21fe77e8310c060f61caaff8a"


def test_content_hash_keeps_every_member():
    body = '{"title":"t","content_hash":"sha256:00","signature":{"value":"x"}}'
    assert content_hash(body) == "sha256:" + hashlib.sha256(canonicalize(body).encode()).hexdigest()
    assert content_hash(body) != content_hash('{"title":"t"}')


@pytest.mark.parametrize("text, message", [
    ("", "EOF while parsing a value at line 1 column 0"),
    ("   ", "EOF while parsing a value at line 1 column 3"),
    ("{", "EOF while parsing an object at line 1 column 1"),
    ("[", "EOF while parsing a list at line 1 column 1"),
    ("[1,", "EOF while parsing a value at line 1 column 3"),
    ("1 2", "trailing characters at line 1 column 3"),
    ("{}x", "trailing characters at line 1 column 3"),
    ("[1,]", "trailing comma at line 1 column 4"),
    ('{"a":1,}', "trailing comma at line 1 column 8"),
    ("[1 2]", "expected `,` or `]` at line 1 column 4"),
    ('{"a":1 "b":2}', "expected `,` or `}` at line 1 column 8"),
    ('{"a" 1}', "expected `:` at line 1 column 6"),
    ("{1:2}", "key must be a string at line 1 column 2"),
    ("x", "expected value at line 1 column 1"),
    ("tru", "EOF while parsing a value at line 1 column 3"),
    ("nul1", "expected ident at line 1 column 4"),
    ("01", "invalid number at line 1 column 2"),
    ("-", "EOF while parsing a value at line 1 column 1"),
    ("-x", "invalid number at line 1 column 2"),
    ("1.", "EOF while parsing a value at line 1 column 2"),
    ("1.x", "invalid number at line 1 column 3"),
    ("1e", "EOF while parsing a value at line 1 column 2"),
    ("1e+x", "invalid number at line 1 column 4"),
    ("1e400", "number out of range at line 1 column 5"),
    # The exponent digit that leaves the 32-bit range ends the reading.
    ("1e99999999999", "number out of range at line 1 column 12"),
    ("0.5E+21474836470", "number out of range at line 1 column 16"),
    ('"abc', "EOF while parsing a string at line 1 column 4"),
    ('"a\x01"', "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"),
    ('"\\x"', "invalid escape at line 1 column 3"),
    ('"\\u12"', "EOF while parsing a string at line 1 column 6"),
    ('"\\u12zz"', "invalid escape at line 1 column 7"),
    ('"\\udc00"', "lone leading surrogate in hex escape at line 1 column 7"),
    ('"\\ud800x"', "unexpected end of hex escape at line 1 column 8"),
    ('"\\ud800\\u0041"', "lone leading surrogate in hex escape at line 1 column 13"),
    ('{\n  "a": [1,\n   x]}', "expected value at line 3 column 4"),
])
def test_reader_errors(text, message):
    with pytest.raises(ValueError) as info:
        canonicalize(text)
    assert str(info.value) == "invalid JSON: " + message
    with pytest.raises(ValueError) as info:
        content_hash(text)
    assert str(info.value) == "invalid JSON: " + message


@pytest.mark.parametrize("open_, close", [("[", "]"), ('{"a":', "}")])
def test_nesting_limit_of_the_reader(open_, close):
    assert canonicalize(open_ * 127 + "1" + close * 127)
    with pytest.raises(ValueError) as info:
        canonicalize(open_ * 128 + "1" + close * 128)
    column = 127 * len(open_) + 1
    assert str(info.value) == f"invalid JSON: recursion limit exceeded at line 1 column {column}"


def test_large_string_and_deep_input_do_not_crash():
    big = "x" * (10 * 1024 * 1024)
    assert canonicalize(json.dumps(big)) == json.dumps(big)
    with pytest.raises(ValueError):
        canonicalize("[" * 1_000_000)
    with pytest.raises(ValueError):
        canonicalize('{"a":' * 500_000)


# Keys in the Basic Multilingual Plane (where UTF-8 and UTF-16 order agree),
# numbers as floats: the oracle must agree byte for byte. U+0008 and U+000C
# are left out because we write them as \u0008 and \u000c, not \b and \f.
bmp_text = st.text(st.characters(max_codepoint=0xFFFF, blacklist_categories=("Cs",),
                                 blacklist_characters="\b\f"), max_size=12)
floats = st.floats(allow_nan=False, allow_infinity=False)
documents = st.recursive(
    st.none() | st.booleans() | floats | bmp_text,
    lambda children: st.lists(children, max_size=5) | st.dictionaries(bmp_text, children, max_size=5),
    max_leaves=30,
)


@given(documents)
def test_agrees_with_rfc8785(doc):
    text = json.dumps(doc)
    expected = rfc8785.dumps(doc).decode("utf-8")
    assert canonicalize(text) == expected
    assert content_hash(text) == "sha256:" + hashlib.sha256(expected.encode()).hexdigest()


# A float written with too many, too few or exactly the shortest digits, with
# or without an exponent: the canonical form is that of the double it reads
# as, whatever digits the text spent on it.
float_texts = st.one_of(
    st.builds(lambda x, form: form % x, st.floats(-1e307, 1e307), st.sampled_from(["%r", "%.17g", "%.16g", "%.15g", "%.17e", "%.16e",
                                                                 "%.20f", "%.3f"])),
    st.builds("{}.{}e{}".format, st.integers(0, 10**17), st.text("0123456789", min_size=1, max_size=20),
              st.integers(-340, 290)),
    # Digits around 2^52 and 2^53, where the gap between doubles meets the
    # step between decimals.
    st.builds("{}e{}".format, st.integers(2**52 - 9, 2**52 + 9) | st.integers(2**53 - 9, 2**53 + 9),
              st.integers(-40, 20)),
)


@given(float_texts)
def test_numbers_in_every_written_form(text):
    if not any(c in text for c in ".e"):
        text += "e0"  # a float, not an integer
    assert canonicalize(text) == rfc8785.dumps(float(text)).decode()


@given(documents)
def test_canonical_form_is_a_fixed_point(doc):
    once = canonicalize(json.dumps(doc, indent=1))
    assert canonicalize(once) == once
