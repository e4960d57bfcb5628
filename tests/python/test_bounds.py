"""Resource bounds of the shared paths: small inputs that ask for huge output,
memory or time are refused, or cost no more than their answer needs.

The memory checks run the call in a child process under an address-space
limit; without its bound the call would pass it. They are skipped under
AddressSanitizer, which reserves more address space than any such limit. A
call that would run for minutes without its bound runs in a child under a
deadline that only guards against that hang (deadlines.py).
"""
import json
import os
import re
import resource
import subprocess
import sys
import textwrap

import pytest

import bezo
from deadlines import hang_guard

UNDER_ASAN = "asan" in os.environ.get("LD_PRELOAD", "")


def run_child(code, address_space=None, deadline=hang_guard(120)):
    """Runs `code` in a fresh interpreter; returns what it printed."""
    def limit():
        if address_space:
            resource.setrlimit(resource.RLIMIT_AS, (address_space, address_space))
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                            preexec_fn=limit, timeout=deadline, env=dict(os.environ))
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def refusal(call, *args):
    with pytest.raises(bezo.BezoError) as caught:
        call(*args)
    return str(caught.value)


@pytest.mark.parametrize("road, text", [
    # Each line repeats its whole path: a long namespace over a long list
    # would write 2 GB.
    (bezo.compile, "(/" + "n" * 200_000 + ")\n@e;=" + ";".join(["1"] * 10_000) + "\n"),
    (lambda text: bezo.import_from("json", text), json.dumps({"n" * 200_000: {"e": [1] * 10_000}})),
], ids=["compile", "import"])
def test_output_that_grows_with_the_square_of_the_input_is_refused(road, text):
    assert refusal(road, text) == "output too large: more than 1073741824 bytes"


def test_what_compile_writes_at_the_depth_limit_exports():
    compiled = bezo.compile("(/n)\n" * 511 + "x=1\n")
    exported = bezo.export_to("json", ".!nezo\n" + compiled.splitlines()[1] + "\n")
    depth = exported.count("{")
    assert depth == 512 and exported.endswith('"x":"1"' + "}" * 512 + "\n")


@pytest.mark.skipif(UNDER_ASAN, reason="address-space limit")
def test_compiled_patterns_are_held_within_a_bound():
    # Each pattern compiles to about 199,000 instructions; all 100 at once
    # would need more than 600 MB.
    assert run_child("""
        import bezo
        doc = "".join(f"!str/(a{{1000}}){{199}}{i}/|text\\nv{i}=x\\n" for i in range(100))
        print(bezo.compile(doc).count("!text'"))
    """, address_space=400 << 20) == "100"


@pytest.mark.skipif(UNDER_ASAN, reason="address-space limit")
@pytest.mark.parametrize("depth, uses, address_space", [
    # Doubling definitions up to 512 MiB; the next one passes the 1 GiB
    # budget and is refused before it is built.
    (24, 0, 1200 << 20),
    # Definitions up to 256 MiB, then fields that use the largest: each use
    # is written once, into the output.
    (18, 3, 1600 << 20),
])
def test_variable_expansion_builds_each_text_once(depth, uses, address_space):
    assert run_child(f"""
        import bezo
        doc = ".a0=" + "x" * 1024 + "\\n" + "".join(f".a{{i + 1}}=$.a{{i}}$.a{{i}}\\n" for i in range({depth}))
        doc += "v=$.a{depth}\\n" * {uses}
        try:
            bezo.compile(doc)
        except bezo.BezoError as error:
            print(error)
    """, address_space=address_space) == "variable expansion too large: more than 1 GiB of substituted text"


def test_a_repeated_types_import_is_made_once():
    # Every "&name" looks through the imports: 40,000 of them for each of
    # 20,000 fields would take minutes.
    assert run_child("""
        import bezo
        doc = ".!types std/time\\n" * 40_000 + "&date\\nd=2024-01-02\\n" * 20_000
        print(bezo.compile(doc).count("!std/time/date'"))
    """, deadline=hang_guard(20)) == "20000"


def test_a_union_member_is_lowered_once_per_call(tmp_path):
    # Each type refers to the next one twice: lowering t0 walks 2^16 paths,
    # which for each of 2,000 values would take minutes.
    (tmp_path / "acme").mkdir()
    library = [".!yezo acme/t"]
    for i in range(16):
        library += [f"&t{i + 1} &t{i + 1}", f"&t{i}="]
    library += ["/[a-z]+/", "&t16="]
    (tmp_path / "acme" / "t.yezo").write_text("\n".join(library) + "\n")
    assert run_child(f"""
        import bezo
        doc = ".!registry acme={tmp_path}\\n" + "!acme/t/t0|text\\nv=abc\\n" * 2000 + "!acme/t/t0|text\\nw=ABC\\n"
        out = bezo.compile(doc)
        print(out.count("!acme/t/t0'"), out.count("!text'"))
    """, deadline=hang_guard(20)) == "2000 1"


# The pattern work budget of a small call: its floor, which a build that only
# runs the tests divides to spend less time on reaching it.
PATTERN_WORK_FLOOR = (1 << 27) // int(os.environ.get("BEZO_TEST_PATTERN_WORK_DIVISOR") or 1)
HEAVY_PATTERN = "(a{1000}){199}b"


@pytest.mark.parametrize("call", [
    # One value of 30 KB against a pattern whose program holds 199,000
    # instructions: every position starts a thread that stays alive, so the
    # value asks for 450 million steps.
    """bezo.validate(".!nezo\\n!str'::v=" + "a" * 30_000 + "\\n", ".!hezo s\\n!str/" + P + "/\\nv=\\n")""",
    # 1,000 such patterns, compiled once each: 199 million instructions.
    """bezo.compile_schema(".!hezo s\\n" + "".join(f"!str/{P}{i}/\\nv{i}=\\n" for i in range(1000)))""",
    """bezo.import_schema("jsonschema", json.dumps({"type": "object", "properties": {
        f"p{i}": {"type": "string", "pattern": P + str(i)} for i in range(1000)}}), name="s")""",
], ids=["validate", "compile_schema", "import_schema"])
def test_the_pattern_work_of_a_call_is_bounded(call):
    # Each input is small enough that its budget is the floor.
    printed = run_child(f"""
        import json
        import bezo
        P = "{HEAVY_PATTERN}"
        try:
            {call}
        except bezo.BezoError as error:
            print(type(error).__name__, error)
    """)
    assert re.fullmatch(rf"BezoError pattern work too large: more than {PATTERN_WORK_FLOOR} steps, "
                        r"spent at the pattern /\(a\{1000\}\)\{199\}b\d*/", printed), printed


def test_real_patterns_over_a_large_document_stay_within_the_pattern_work_budget():
    schema = ".!hezo s\n[/people/@row]\n!str/^[a-z0-9._-]+@[a-z0-9-]+\\.[a-z]{2,}$/\nmail=\n!str/[A-Z][a-z]{1,63}/\nname=\n"
    # About 4.5 MB of rows, each value checked against its pattern: the
    # budget is the one allowed per byte, well above the floor.
    rows = "".join(f"!str'/people/@row/{i}::mail=user.{i}@example.org\n"
                   f"!str'/people/@row/{i}::name=x{'y' * 60}Zed\n" for i in range(50_000))
    assert bezo.validate(".!nezo\n" + rows, schema) is None
    # The rows are those the patterns check: a last row that breaks one is refused.
    with pytest.raises(bezo.ValidationError, match="ConstraintViolationError"):
        bezo.validate(".!nezo\n" + rows + "!str'/people/@row/50000::mail=NOT MAIL\n", schema)


@pytest.mark.skipif(UNDER_ASAN, reason="address-space limit")
def test_collation_tags_are_not_kept_without_bound():
    # Each call names a new 10 MB tag; kept for the life of the thread, the
    # tags would pass the limit.
    assert run_child("""
        import bezo
        refused = 0
        for i in range(20):
            tag = "de-" + "-".join(["abcdefgh"] * 1_100_000) + f"-x-{i}"
            schema = ".!whezo s\\n!str ..lex[" + tag + "] [a,b]'::v=\\n"
            try:
                bezo.validate(".!nezo\\n!str'::v=b\\n", schema)
            except bezo.ValidationError as error:
                refused += str(error).startswith("CollationUnsupportedError")
        print(refused)
    """, address_space=300 << 20) == "20"
