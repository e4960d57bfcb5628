"""import_schema("proto") against protobuf's own JSON parser: the spellings of numbers, quoted numbers and enum
numbers in singular, repeated, map-value and oneof fields of every scalar type."""
import random
import re

import pytest
from google.protobuf import descriptor_pb2, descriptor_pool, json_format, message_factory

import bezo

Field = descriptor_pb2.FieldDescriptorProto
INTEGRAL = ["int32", "int64", "uint32", "uint64", "sint32", "sint64", "fixed32", "fixed64", "sfixed32", "sfixed64"]
TYPES = INTEGRAL + ["double", "float", "bool", "enum"]
BOUNDS = {"int32": (-2**31, 2**31 - 1), "int64": (-2**63, 2**63 - 1), "uint32": (0, 2**32 - 1), "uint64": (0, 2**64 - 1)}
for kind in INTEGRAL:
    BOUNDS.setdefault(kind, BOUNDS[kind.replace("sfixed", "int").replace("fixed", "uint").replace("sint", "int")])
BOUNDS["enum"] = BOUNDS["int32"]

# Each type's message: a singular field s, a repeated field r, a map m of string keys and a oneof member o.
PROTO = 'syntax = "proto3"; package d; enum E { A = 0; B = 1; }\n' + "\n".join(
    f"message M{t} {{ {'E' if t == 'enum' else t} s = 1; repeated {'E' if t == 'enum' else t} r = 2; "
    f"map<string, {'E' if t == 'enum' else t}> m = 3; oneof c {{ {'E' if t == 'enum' else t} o = 4; }} }}"
    for t in TYPES)


def peer_classes():
    """PROTO, built by hand as protoc would describe it."""
    file = descriptor_pb2.FileDescriptorProto(name="d.proto", package="d", syntax="proto3")
    enum = file.enum_type.add(name="E")
    enum.value.add(name="A", number=0)
    enum.value.add(name="B", number=1)
    for t in TYPES:
        message = file.message_type.add(name="M" + t)

        def typed(field):
            if t == "enum":
                field.type, field.type_name = Field.TYPE_ENUM, ".d.E"
            else:
                field.type = getattr(Field, "TYPE_" + t.upper())
            return field

        typed(message.field.add(name="s", number=1, label=Field.LABEL_OPTIONAL, json_name="s"))
        typed(message.field.add(name="r", number=2, label=Field.LABEL_REPEATED, json_name="r"))
        entry = message.nested_type.add(name="MEntry")
        entry.options.map_entry = True
        entry.field.add(name="key", number=1, label=Field.LABEL_OPTIONAL, type=Field.TYPE_STRING, json_name="key")
        typed(entry.field.add(name="value", number=2, label=Field.LABEL_OPTIONAL, json_name="value"))
        message.field.add(name="m", number=3, label=Field.LABEL_REPEATED, type=Field.TYPE_MESSAGE,
                          type_name=f".d.M{t}.MEntry", json_name="m")
        message.oneof_decl.add(name="c")
        typed(message.field.add(name="o", number=4, label=Field.LABEL_OPTIONAL, json_name="o", oneof_index=0))
    pool = descriptor_pool.DescriptorPool()
    pool.Add(file)
    factory = message_factory.MessageFactory(pool)
    return {t: factory.GetPrototype(pool.FindMessageTypeByName("d.M" + t)) for t in TYPES}


PEER = peer_classes()
SCHEMAS = {t: bezo.import_schema("proto", PROTO, "d", "M" + t) for t in TYPES}


def wrap(kind, spelling):
    """A JSON document giving the raw spelling to one field of the kind."""
    return {"s": '{"s":%s}', "r": '{"r":[1,%s]}', "m": '{"m":{"k":%s}}', "o": '{"o":%s}'}[kind] % spelling


def peer_accepts(t, document):
    try:
        json_format.Parse(document, PEER[t]())
    except Exception:  # a ParseError, or an error the parser lets through (int() of an infinite double)
        return False
    return True


def bezo_accepts(t, document):
    try:
        bezo.validate(bezo.build(bezo.import_from("json", document), SCHEMAS[t]), SCHEMAS[t])
    except bezo.BezoError:
        return False
    return True


def integer_spellings(value, rng):
    """Spellings of a whole number: plain, with a zero fraction, with an exponent, quoted (with a sign or leading
    zeros)."""
    digits = str(abs(value))
    sign = "-" if value < 0 else ""
    spellings = [str(value), f"{value}.0", f"{value}.000", f'"{value}"', f'"{sign}00{digits}"']
    if value >= 0:
        spellings.append(f'"+{value}"')
    if len(digits) > 1 and len(digits) <= 16:
        shift = rng.randint(1, len(digits) - 1)
        spellings.append(f"{sign}{digits[:-shift]}.{digits[-shift:]}e{shift}")
        spellings.append(f"{sign}{digits[:-shift]}.{digits[-shift:]}E+{shift}")
    spellings.append(f"{sign}{digits}00e-2")
    return spellings


def fractional_spellings(rng):
    """Numbers that are not whole, plain, with an exponent and quoted."""
    whole = rng.randint(-10**6, 10**6)
    fraction = rng.randint(1, 999)
    text = f"{whole}.{fraction:03d}".rstrip("0")
    return [text, f"{text}e1" if fraction % 100 else f"{text}5e1", f'"{text}"', f'"{text}e2"', f'"{whole}.5"', "5e-1",
            f'".{fraction}"', f'"{whole}."', f'"+{abs(whole)}.25"']


FIXED = ["0", "-0", "-0.0", "0e5", "-0e-14", "0.0E+3", "1e2", "1E2", "1.5e1", "5.5", "1e400", "-1e400", "1e-2", "3.5e38", "1e39",
         '"1.5"', '"1e5"', '"-0.5"', '"5.0"', '"1e2"', '"NaN"', '"Infinity"', '"-Infinity"', '"nan"', '"abc"', '""',
         '"A"', '"B"', '"C"', "true", "false", '"true"', "null", "2147483647.5", "-2147483648.5"]


def cases(seed=41, count=400):
    rng = random.Random(seed)
    generated = []
    while len(generated) < count:
        t = rng.choice(TYPES)
        kind = rng.choice("srmo")
        low, high = BOUNDS.get(t, BOUNDS["int64"])
        roll = rng.random()
        if roll < 0.45:
            value = rng.choice([low, high, low - 1, high + 1, 0, 1, -1, rng.randint(low, high),
                                rng.randint(-1000, 1000)])
            spelling = rng.choice(integer_spellings(value, rng))
        elif roll < 0.7:
            spelling = rng.choice(fractional_spellings(rng))
        else:
            spelling = rng.choice(FIXED)
        if spelling == "null" and kind in "rm":
            continue
        generated.append((t, kind, spelling))
    return generated


# Known refusals: an integer or enum field given a number written with a fraction or an exponent ("5.0", "1e2",
# "100e-2", "-0.0"). protobuf's Python parser reads it as a double and takes it when the value is whole; the imported
# schema takes only integers there and refuses every such spelling, whole or not.
FRACTION_OR_EXPONENT = re.compile(r"-?[0-9]+(\.[0-9]+([eE][+-]?[0-9]+)?|[eE][+-]?[0-9]+)")


def integer_with_fraction_or_exponent(t, spelling):
    return (t in INTEGRAL or t == "enum") and FRACTION_OR_EXPONENT.fullmatch(spelling) is not None


# Where the Python parser takes what proto3 JSON does not: booleans for floating and enum fields, and enum numbers
# past int32 (its C++ layer wraps some of them round).
def python_only(t, spelling):
    if spelling in ("true", "false"):
        return t in ("double", "float", "enum")
    return t == "enum" and re.fullmatch(r"-?[0-9]+", spelling) is not None and not -2**31 <= int(spelling) < 2**31


@pytest.mark.parametrize("t, kind, spelling", cases())
def test_generated_spellings_agree_with_protobuf(t, kind, spelling):
    document = wrap(kind, spelling)
    if integer_with_fraction_or_exponent(t, spelling):
        assert not bezo_accepts(t, document), (t, kind, spelling)
        return
    peer = peer_accepts(t, document)
    if peer and python_only(t, spelling):
        return
    assert bezo_accepts(t, document) is peer, (t, kind, spelling, peer)


@pytest.mark.parametrize("t, spelling, valid", [
    # Numbers that are not whole, and quoted numbers with a fraction or an exponent, for every integral type.
    *[(t, s, False) for t in INTEGRAL for s in ["5.5", "1e-2", "15e-1", '"5.0"', '"1e2"']],
    # Quoted integers, with a sign and leading zeros; "+" within the 64-bit ranges.
    *[(t, s, True) for t in INTEGRAL for s in ['"5"', '"+5"', '"007"']],
    ("int64", '"+9223372036854775807"', True), ("int64", '"+9223372036854775808"', False),
    ("uint64", '"+18446744073709551615"', True), ("uint64", '"+18446744073709551616"', False),
    # Integers within and past the ranges, plain and quoted.
    ("int32", "2147483647", True), ("int32", "2147483648", False), ("int32", '"-2147483649"', False),
    ("uint32", "4294967295", True), ("uint32", "-1", False), ("uint32", '"-1"', False),
    ("uint64", "18446744073709551615", True), ("uint64", "18446744073709551616", False),
    ("int64", '"-9223372036854775808"', True), ("int64", '"-9223372036854775809"', False),
    # Quoted floating numbers; non-finite values only as JSON spells them; finite numbers within the type.
    *[(t, s, True) for t in ("double", "float") for s in ['"1.5"', '"1e5"', '"-0.5"', '".5"', '"5."', '"+1.5"']],
    ("double", "1e400", False), ("double", "1.7976931348623157e308", True), ("float", "3.5e38", False),
    ("float", "3.4e38", True), ("double", '"nan"', False), ("float", '"1.5x"', False),
    # Enum numbers: names, numbers of int32, quoted numbers.
    ("enum", '"B"', True), ("enum", '"1"', True), ("enum", '"+01"', True), ("enum", '"-7"', True),
    ("enum", "-2147483648", True), ("enum", '"2147483648"', False), ("enum", "2147483648", False),
    ("enum", '"1.0"', False), ("enum", '"C"', False),
])
@pytest.mark.parametrize("kind", ["s", "r", "m", "o"])
def test_spelling_classes(t, spelling, valid, kind):
    document = wrap(kind, spelling)
    assert peer_accepts(t, document) is valid
    assert bezo_accepts(t, document) is valid


@pytest.mark.parametrize("t, spelling", [
    *[(t, s) for t in INTEGRAL for s in ["5.0", "1e2", "1.5e1", "100e-2", "-0.0", "0e-7"]],
    ("int64", "9223372036854774784.0"), ("uint32", "4294967295.0"), ("int32", "-2147483648.0"),
    ("enum", "1.0"), ("enum", "1e0"),
])
@pytest.mark.parametrize("kind", ["s", "r", "m", "o"])
def test_integers_with_a_fraction_or_an_exponent_are_refused(t, spelling, kind):
    document = wrap(kind, spelling)
    assert integer_with_fraction_or_exponent(t, spelling)
    assert peer_accepts(t, document)
    assert not bezo_accepts(t, document)
