"""import_schema("graphql"): GraphQL SDL in, authored schemas out."""
import pytest

import bezo

INT = "int[-2147483648,2147483647]"

WORKED_EXAMPLE = '''
type Query {
  "The id"
  id: ID!
  price: Float
  tags: [String!]
  address: Address!
  items: [Item!]
  owner: User
}
type Address { street: String! }
type Item { name: String! qty: Int }
union User = Address | Item
'''

# Types the field cases below refer to.
SUPPORT = '''
enum E { A B } enum Empty {} scalar Date union U = A | B
type A { x: Int! } type B { o: A! l: [Int] u: U n: Int re: ID }
'''


def imported(sdl, message=None, name=""):
    return bezo.import_schema("graphql", sdl, name, message=message)


def body(sdl, message=None):
    _, _, rest = imported(sdl, message).partition("\n\n")
    return rest.splitlines()


def chain(length, fields_per_type=1, name="n", last="leaf: Int!"):
    """T0 .. T{length-1}, each holding non-null fields of the next."""
    types = [f"type T{i} {{ " + " ".join(f"{name}{k}: T{i + 1}!" for k in range(fields_per_type)) + " }"
             for i in range(length - 1)]
    return "\n".join(types) + f"\ntype T{length - 1} {{ {last} }}"


ROOT_CASES = [
    ("input In { a: Int! }", None, ".!hezo \n\n!" + INT + "\na=\n"),
    ("interface I { a: ID! } enum E { A } scalar S", None, ".!hezo \n\na=\n"),
    ("type A", None, ".!hezo \n\n"),
    ("type A {}", "A", ".!hezo \n\n"),
    ("type A { a: ID! } type A { b: ID! }", "A", ".!hezo \n\na=\n"),
    ("type Q { x: T! } enum T { V } type T { y: ID! }", "Q", ".!hezo \n\n!str{V}\nx=\n"),
    ("type Q { x: Int! } type Int { y: ID! }", "Q", ".!hezo \n\n!" + INT + "\nx=\n"),
]

ROOT_ERRORS = [
    ("", None, "the document defines no object types"),
    ("# only\nschema { query: Q } directive @d on FIELD enum E { A } scalar S", None,
     "the document defines no object types"),
    ("type Query { a: ID } interface Node { id: ID! }", None,
     "the document has several object types (Query, Node); pass --message"),
    ("type A { a: ID! } type A { b: ID! }", None, "the document has several object types (A, A); pass --message"),
    ("type A", "", "no type named  in the document"),
    ("type A", "X", "no type named X in the document"),
    ("enum E { A } type T", "E", "E is not an object type"),
    ("enum A { X } type A { b: ID! }", "A", "A is not an object type"),
    ("type A { x: Int } query", None, "unexpected `query` in SDL"),
    (chain(33), "T0", "type nesting too deep"),
    (chain(33, last=""), "T0", "type nesting too deep"),
]

NULLABLE_LIST = " (bezo cannot express a collection that may be null)"

FIELD_CASES = [
    ("f: Float!", ["!float", "f="]),
    ("f: Float", ["!null|float", "f?="]),
    ("f: Int!", ["!" + INT, "f="]),
    ("f: Int", ["!null|" + INT, "f?="]),
    ("f: Boolean", ["!null|bool", "f?="]),
    ("f: String!", ["f="]),
    ("f: ID", ["!null|str", "f?="]),
    ("f: E!", ["!str{A,B}", "f="]),
    ("f: E", ["!null|str{A,B}", "f?="]),
    ("f: Empty!", ["f="]),
    ("f: Empty", ["!null|str", "f?="]),
    ("f: [Int!]!", ["!" + INT, "/@f;="]),
    ("f: [Int!]", ["// dropped: nullable list root/f" + NULLABLE_LIST]),
    ("f: [Int]!", ["!null|" + INT, "/@f;="]),
    ("f: A!", ["!" + INT, "/f::x="]),
    ("f: B!", ["!" + INT, "/f/o::x=", "// dropped: nullable list /f/l" + NULLABLE_LIST, "// dropped: union type U at /f/u",
               "!null|" + INT, "/f::n?=", "!null|str", '/f::"re"?=']),
    ("re: Int!", ["!" + INT, '"re"=']),
    ("re: U", ["// dropped: union type U at root/re"]),
    ("f: Date", ["// dropped: custom scalar Date at root/f"]),
    ("f: U!", ["// dropped: union type U at root/f"]),
    ("f: Nope", ["// dropped: undefined type Nope at root/f"]),
    ("f: [Nope!]!", ["// dropped: undefined type Nope at root/f"]),
    ("f: Q!", ["// dropped: recursive type at root/f"]),
    ("f: [Q!]!", ["// dropped: recursive type at root/f"]),
    ("f: A", ["// dropped: nullable object field root/f (bezo cannot express conditional namespace presence)"]),
    ("f: [[Int!]!]!", ["// dropped: nested list at root/f"]),
    ("f: [A]!", ["// dropped: nullable list element root/f (bezo arrays cannot hold null elements)"]),
    ("f: [B!]!", ["[/@f]", "// dropped: non-scalar element field o at root/f",
                  "// dropped: non-scalar element field l at root/f", "// dropped: non-scalar element field u at root/f",
                  "!null|" + INT, "n?=", "!null|str", '"re"?=', "[]"]),
    ('"one line" f: ID!', ["// one line", "f="]),
    ('"""two\nlines""" f: ID!', ["f="]),
    ('"" f: ID!', ["f="]),
    ('"a\x00b" f: ID!', ["f="]),
    ('"kept" f: U', ["// kept", "// dropped: union type U at root/f"]),
]

NESTED_CASES = [
    ("type Q { a: A! } type A { owner: Q! n: Int! }", ["// dropped: recursive type at /a/owner", "!" + INT, "/a::n="]),
    ("type Q { a: [A!]! } type A { \"no\" n: ID! }", ["[/@a]", "n=", "[]"]),
    ("type Q { a: [A!] } type A { n: ID! }", ["// dropped: nullable list root/a" + NULLABLE_LIST]),
    # a non-null object of nullable members passes when absent
    ("type Q { a: A! } type A { n: ID }",
     ["!null|str", "/a::n?=", "// dropped: required record root/a has no required field (absent passes)"]),
    ("type Q { a: A! } type A { b: B! } type B { l: [Int!]! }",
     ["!" + INT, "/a/b/@l;=",
      "// dropped: record /a/b declares no plain field below it (a value, null or a list in its place passes)",
      "// dropped: required record /a/b has no required field (absent passes)",
      "// dropped: record root/a declares no plain field below it (a value, null or a list in its place passes)",
      "// dropped: required record root/a has no required field (absent passes)"]),
]


def test_worked_example():
    assert imported(WORKED_EXAMPLE, "Query", name="g") == (
        ".!hezo g\n\n// The id\nid=\n!null|float\nprice?=\n// dropped: nullable list root/tags" + NULLABLE_LIST +
        "\n/address::street=\n// dropped: nullable list root/items" + NULLABLE_LIST +
        "\n// dropped: union type User at root/owner\n")


@pytest.mark.parametrize("sdl, message, schema", ROOT_CASES)
def test_root_choice(sdl, message, schema):
    assert imported(sdl, message) == schema


@pytest.mark.parametrize("sdl, message, error", ROOT_ERRORS, ids=range(len(ROOT_ERRORS)))
def test_import_errors(sdl, message, error):
    with pytest.raises(bezo.BezoError) as raised:
        imported(sdl, message)
    assert str(raised.value) == error


@pytest.mark.parametrize("fields, lines", FIELD_CASES)
def test_field_conversion(fields, lines):
    assert body(f"type Q {{ {fields} }}" + SUPPORT, "Q") == lines


@pytest.mark.parametrize("sdl, lines", NESTED_CASES)
def test_nested_conversion(sdl, lines):
    assert body(sdl, "Q") == lines


def test_chain_of_32_types_imports():
    assert body(chain(32), "T0") == ["!" + INT, "/n0" * 31 + "::leaf="]


@pytest.mark.parametrize("sdl", [
    chain(32, fields_per_type=2, last=""),
    chain(20, fields_per_type=2, name="f" * 200),
], ids=["steps", "output"])
def test_expansion_is_bounded(sdl):
    with pytest.raises(bezo.BezoError, match="^schema too large to import$"):
        imported(sdl, "T0")


SUCCESSFUL_IMPORTS = ([(WORKED_EXAMPLE, "Query"), (chain(32), "T0")]
                      + [(sdl, message) for sdl, message, _ in ROOT_CASES]
                      + [(f"type Q {{ {fields} }}" + SUPPORT, "Q") for fields, _ in FIELD_CASES]
                      + [(sdl, "Q") for sdl, _ in NESTED_CASES])


@pytest.mark.parametrize("sdl, message", SUCCESSFUL_IMPORTS, ids=range(len(SUCCESSFUL_IMPORTS)))
def test_imports_compile(sdl, message):
    bezo.compile_schema(imported(sdl, message, name="g"))
