"""libyaml's own loader, yaml.CSafeLoader, with the resolvers the YAML tests
compare against: PyYAML's YAML 1.1 resolver as it is, and the YAML 1.2 core
schema, under which mapping keys become texts as import_from("yaml") makes
them and the core schema's refusals are refusals."""
import math
import re

import yaml

CORE_TAG = "tag:yaml.org,2002:"
CORE_PATTERNS = {
    "null": r"~|null|Null|NULL|",
    "bool": r"true|True|TRUE|false|False|FALSE",
    "int": r"[-+]?[0-9]+|0o[0-7]+|0x[0-9a-fA-F]+",
    "float": r"[-+]?(\.[0-9]+|[0-9]+(\.[0-9]*)?)([eE][-+]?[0-9]+)?|[-+]?\.(inf|Inf|INF)|\.nan|\.NaN|\.NAN",
}
CORE_FIRST_CHARACTERS = {"null": list("~nN") + [""], "bool": list("tTfF"), "int": list("-+0123456789"),
                         "float": list("-+0123456789.")}
DECIMAL_INTEGER = re.compile(r"[-+]?[0-9]+")


def refuse(node, problem):
    raise yaml.constructor.ConstructorError(None, None, problem, node.start_mark)


def core_text(loader, node, kind):
    """A scalar's text, refused unless the core schema's form of its kind."""
    text = loader.construct_scalar(node)
    if not re.fullmatch(CORE_PATTERNS[kind], text):
        refuse(node, f"{text!r} is no {kind}")
    return text


def construct_core_int(loader, node):
    text = core_text(loader, node, "int")
    if text.startswith(("0o", "0x")):
        value = int(text[2:], 8 if text[1] == "o" else 16)
        if value >= 2**63:  # import_from refuses these (the README says so)
            refuse(node, "based integer beyond 64 bits")
        return value
    return int(text, 10)


def construct_core_float(loader, node):
    text = core_text(loader, node, "float")
    if text.lstrip("+-").lower() == ".inf":
        return -math.inf if text.startswith("-") else math.inf
    if text.lower() == ".nan":
        return math.nan
    return float(text)


def construct_core_bool(loader, node):
    return core_text(loader, node, "bool").lower() == "true"


def construct_core_null(loader, node):
    core_text(loader, node, "null")


def float_key_text(node, key):
    """A float key's text: as written, but under !!float an integer spelling
    is the float's shortest spelling ("3.0", "1e20")."""
    if not DECIMAL_INTEGER.fullmatch(node.value):
        return node.value
    if math.isinf(key):
        digits = node.value.lstrip("+")
        sign = "-" if digits.startswith("-") else ""
        return sign + (digits.lstrip("-").lstrip("0") or "0") + ".0"
    if abs(key) >= 1e16:
        mantissa, exponent = repr(key).split("e")
        return f"{mantissa.removesuffix('.0')}e{int(exponent)}"
    return f"{'-' if math.copysign(1, key) < 0 else ''}{abs(int(key))}.0"


def key_identity(key):
    """Two keys are one when their kinds and values are."""
    if isinstance(key, float):
        return "float", "nan" if math.isnan(key) else key + 0.0
    return type(key).__name__, key


class CoreSchemaLoader(yaml.CSafeLoader):
    """libyaml's loader with the YAML 1.2 core schema; mapping keys are
    turned into texts as the import turns them, and a key written twice in
    one mapping (merged members aside) is refused."""

    def key_text(self, node):
        if not isinstance(node, yaml.ScalarNode):
            refuse(node, "collection key")
        key = self.construct_object(node)
        if isinstance(key, bool):
            text = "true" if key else "false"
        elif isinstance(key, float):
            text = float_key_text(node, key)
        elif key is None:
            text = "null"
        else:
            text = str(key)
        if text == "" or any(c in text for c in "\0\n\r"):
            refuse(node, "key authored text cannot hold")
        return text

    def construct_mapping(self, node, deep=False):
        if not isinstance(node, yaml.MappingNode):
            refuse(node, "no mapping")
        seen = set()
        for key_node, _ in node.value:
            if key_node.tag == CORE_TAG + "merge":
                continue
            texts = self.key_text(key_node), key_identity(self.construct_object(key_node))
            if texts[1] in seen:
                refuse(key_node, "repeated key")
            seen.add(texts[1])
        self.flatten_mapping(node)
        return {self.key_text(key): self.construct_object(value, deep=deep) for key, value in node.value}


CoreSchemaLoader.yaml_implicit_resolvers = {}
for kind, pattern in CORE_PATTERNS.items():
    CoreSchemaLoader.add_implicit_resolver(CORE_TAG + kind, re.compile(f"^(?:{pattern})$"),
                                           CORE_FIRST_CHARACTERS[kind])
CoreSchemaLoader.add_implicit_resolver(CORE_TAG + "merge", re.compile(r"^(?:<<)$"), ["<"])
for kind, construct in [("int", construct_core_int), ("float", construct_core_float), ("bool", construct_core_bool),
                        ("null", construct_core_null)]:
    CoreSchemaLoader.add_constructor(CORE_TAG + kind, construct)


def load_yaml_1_1(text):
    return yaml.load(text, Loader=yaml.CSafeLoader)


def load_yaml_1_2(text):
    return yaml.load(text, Loader=CoreSchemaLoader)
