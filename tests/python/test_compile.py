"""bezo.compile: authored documents to relational text, end to end."""
import pytest

import bezo


def lines(*content):
    """The expected relational text: the declaration, then the given lines."""
    return "".join(line + "\n" for line in (".!lezo",) + content)


COMPILED = [
    # declarations and header lines
    ("empty text", "", lines()),
    ("blank and comment lines", "\n# note\n// doc\n\n", lines()),
    ("root field without annotation", "x=1\n", lines("!str'::x=1")),
    ("own declaration dropped", ".!bezo 1.0\nx=1\n", lines("!str'::x=1")),
    ("types line not written", ".!types std/time\n", lines()),
    ("empty types line imports nothing", ".!types\n", lines()),
    ("empty units line written", ".!units\n", lines(".!units")),
    ("registry without pair written", ".!registry ab\n", lines(".!registry ab")),
    ("verbatim before content", ".!verbatim\nv=$.x $y\n", lines(".!verbatim", "!str'::v=$.x $y")),
    ("directive among content stays in place", "x=1\n.!fk a\n.?free text\ny=2\n",
     lines("!str'::x=1", ".!fk a", ".?free text", "!str'::y=2")),
    ("CR LF input", ".!schema:s\r\nx=1\r\n", lines(".!schema:s", "!str'::x=1")),
    # a «path::key» line naming the path of the line before, in the same or another block
    ("shared path", "a/b::x=1\na/b::y=2\n", lines("!str'/a/b::x=1", "!str'/a/b::y=2")),
    ("shared path in another block", "(/p)\na::x=1\n()\na::y=2\n(/q)\na::z=3\n()\n",
     lines("!str'/p/a::x=1", "!str'/a::y=2", "!str'/q/a::z=3")),
    ("shared path in the next section", "[@r]\na::x=1\n[@r]\na::x=2\n", lines("!str'/@r/0/a::x=1", "!str'/@r/1/a::x=2")),
    # the key after the path of the line before holds a separator, a quote or nothing; or the path is quoted
    ("key with a separator after a shared path", "a/b::x=1\na/b::x::y=2\n", lines("!str'/a/b::x=1", "!str'/a/b::x::y=2")),
    ("quoted key after a shared path", 'a/b::x=1\na/b::"k"=2\n', lines("!str'/a/b::x=1", "!str'/a/b::k=2")),
    ("quoted path holding a separator", '"p::q"::x=1\n"p::q"::y=2\n', lines("!str'/\"p::q\"::x=1", "!str'/\"p::q\"::y=2")),
    ("path that extends the path before", "a::x=1\nab::y=2\na::z=3\n", lines("!str'/a::x=1", "!str'/ab::y=2", "!str'/a::z=3")),
    ("empty path twice", "::x=1\n::y=2\n", lines("!str'::x=1", "!str'::y=2")),
    ("shared path under annotation and provenance", "a::x=1\n!int\na::y=2\n?src\na::z=3\n",
     lines("!str'/a::x=1", "!int'/a::y=2", "!str?src'/a::z=3")),
    ("shared path under a union", "a::x=1\n!int|text\na::y=b\n", lines("!str'/a::x=1", "!text'/a::y=b")),
    # the signature of a line under an annotation seen on a recent line, a pending provenance line or none
    ("recent annotation under a provenance line", "!int\nx=1\n?src\n!int\ny=2\n",
     lines("!int'::x=1", "!int?src'::y=2")),
    ("recent annotation after one with provenance", "!int\nx=1\n!int?p\ny=2\n!int\nz=3\n",
     lines("!int'::x=1", "!int?p'::y=2", "!int'::z=3")),
    ("provenance line without annotation, then none", "?src\nx=1\ny=2\n", lines("!str?src'::x=1", "!str'::y=2")),
    ("recent union", "!int|text\nx=1\n!int|text\ny=a\n", lines("!int'::x=1", "!text'::y=a")),
    ("recent map annotation", "!map<int>\nm=a:1;b:2\n!map<int>\nn=c:3\n",
     lines("!int'/m::a=1", "!int'/m::b=2", "!int'/n::c=3")),
    # a path named again after another one, in the same block or not
    ("path of the line before last", "a::x=1\nb::y=2\na::z=3\n", lines("!str'/a::x=1", "!str'/b::y=2", "!str'/a::z=3")),
    ("paths of the lines before last in another block", "(/p)\na::x=1\nb::y=2\n()\na::z=3\nb::w=4\n",
     lines("!str'/p/a::x=1", "!str'/p/b::y=2", "!str'/a::z=3", "!str'/b::w=4")),
    ("path of three lines before", "a::x=1\nb::y=2\nc::z=3\na::w=4\n",
     lines("!str'/a::x=1", "!str'/b::y=2", "!str'/c::z=3", "!str'/a::w=4")),
    ("quoted and plain spelling of one path", '"q"::x=1\nq::y=2\n"q"::z=3\n',
     lines("!str'/q::x=1", "!str'/q::y=2", "!str'/q::z=3")),
    ("path of the line before last in the next section", "[@r]\na::x=1\nb::y=2\n[@r]\na::z=3\n",
     lines("!str'/@r/0/a::x=1", "!str'/@r/0/b::y=2", "!str'/@r/1/a::z=3")),
    ("shared path after a map entry", "a::x=1\n!map\nm=/k:1\na::y=2\n",
     lines("!str'/a::x=1", "!str'/m::\"/k\"=1", "!str'/a::y=2")),
    # signatures
    ("unit shorthand", "!:m\nx=1\n", lines("!:m'::x=1")),
    ("plain type", "!int\nx=1\n", lines("!int'::x=1")),
    ("constraints sorted by kind", "!int(..num)[0,5]/^[0-9]+$/\nx=1\n", lines("!int/^[0-9]+$/[0,5]..num'::x=1")),
    ("kinds keep authored order", "!str{b}[1,2]{a}#[,3]/x/[0,]\nx=1\n", lines("!str/x/[1,2][0,]{b}{a}#[,3]'::x=1")),
    ("unit canonical", "!float:s*m/s/s\nx=1\n", lines("!float:m/s'::x=1")),
    ("data-rate alias unit", "!int:kbps\nx=1\n", lines("!int:kb/s'::x=1")),
    ("annotation provenance", "!int?src@20240131T235959Z#rev\nx=1\n",
     lines("!int?src@2024-01-31T23:59:59Z#rev'::x=1")),
    ("empty annotation provenance", "!int?\nx=1\n", lines("!int?'::x=1")),
    ("provenance line", "?src@20240131T235959Z#rev\nx=1\n", lines("!str?src@2024-01-31T23:59:59Z#rev'::x=1")),
    ("provenance items", "?a,b@2024-01-31T23:59:59Z,c#t-1\nx=1\n", lines("!str?a,b@2024-01-31T23:59:59Z,c#t-1'::x=1")),
    ("provenance line over annotation", "?q\n!int\nx=1\n", lines("!int?q'::x=1")),
    # an annotation seen on a recent line is taken again, with what the new line adds
    ("annotations repeated line after line",
     "!int\na=1\n!float\nb=2\n!int\nc=3\n!bool\nd=true\n!str\ne=x\n!text\nf=y\n!int\ng=4\n!float\nh=5\n",
     lines("!int'::a=1", "!float'::b=2", "!int'::c=3", "!bool'::d=true", "!str'::e=x", "!text'::f=y", "!int'::g=4",
           "!float'::h=5")),
    ("repeated annotation under a provenance line", "!int\nx=1\n?p\n!int\ny=2\n!int\nz=3\n",
     lines("!int'::x=1", "!int?p'::y=2", "!int'::z=3")),
    ("repeated annotation with provenance", "!int?a\nx=1\n!int?a\ny=2\n", lines("!int?a'::x=1", "!int?a'::y=2")),
    ("repeated annotation with a unit", "!float:s*m/s/s\nx=1\n!float:s*m/s/s\ny=2\n",
     lines("!float:m/s'::x=1", "!float:m/s'::y=2")),
    ("repeated union annotation", "!int|text\nx=5\n!int|text\ny=a\n", lines("!int'::x=5", "!text'::y=a")),
    ("repeated annotation over a reference", "!int\nx=1\n!int\ny=$x\n?p\n!int\nz=$x\n",
     lines("!int'::x=1", "!int'::y=$x", "!int?p'::z=$x")),
    ("named type between repeated annotations", "!int\nx=1\n&int [0,9]\ny=2\n!int\nz=3\n",
     lines("!int'::x=1", "!int[0,9]'::y=2", "!int'::z=3")),
    ("named type from an import", ".!types std/time\n&date\nd=2024-01-01\n", lines("!std/time/date'::d=2024-01-01")),
    ("named type with constraints", "&int /a b/ [0,1] #{2}\nx=1\n", lines("!int/a b/[0,1]#{2}'::x=1")),
    ("pending annotation crosses heads", "!int\n[@a]\nx=1\n", lines("!int'/@a/0::x=1")),
    ("variable definition drops the annotation", "!int\n.v=1\nx=$.v\n", lines("!str'::x=1")),
    ("annotation shared by a list", "!int\n@n;=1;2\n", lines("!int'/@n::0=1", "!int'/@n::1=2")),
    # keys and paths
    ("key path", "a/b::c=1\n/a/\"b\"::\"k\"=2\n\"a b\"=3\n", lines("!str'/a/b::c=1", "!str'/a/b::k=2", "!str'::\"a b\"=3")),
    ("apostrophe inside a quoted key", "\"a'b\"=1\n", lines("!str'::\"a'b\"=1")),
    # operators and arrays
    ("scalar list then append", "@tags;=a;b;c\n@tags+=d\n",
     lines("!str'/@tags::0=a", "!str'/@tags::1=b", "!str'/@tags::2=c", "!str'/@tags::3=d")),
    ("sections open new entries", "[@row]\nx=1\n[@row]\nx=1\n", lines("!str'/@row/0::x=1", "!str'/@row/1::x=1")),
    ("third section head", "[@items]\n[@items]\n[@items]\nx=1\n@t+=a\n", lines("!str'/@items/2::x=1", "!str'/@items/2/@t::0=a")),
    ("section closes section", "[@a]\n[@b]\nx=1\n", lines("!str'/@b/0::x=1")),
    ("section close under namespace is ignored", "(/n)\n[]\nx=1\n", lines("!str'/n::x=1")),
    ("namespace close under section is ignored", "[@s]\n()\nx=1\n", lines("!str'/@s/0::x=1")),
    ("section inside namespace", "(/n)\n[@s]\nx=1\n[]\ny=2\n()\nz=3\n",
     lines("!str'/n/@s/0::x=1", "!str'/n::y=2", "!str'::z=3")),
    ("nested and reopened namespaces", "(/a)\n(/b)\nx=1\n()\ny=2\n()\n(/a)\nz=3\n",
     lines("!str'/a/b::x=1", "!str'/a::y=2", "!str'/a::z=3")),
    ("namespace inside section entry", "[@s]\n(/n)\nx=1\n", lines("!str'/@s/0/n::x=1")),
    ("closes restore the enclosing paths", "[@a]\n(/n)\n[@b]\nx=1\n[]\ny=2\n()\nz=3\n[@a]\nw=4\n",
     lines("!str'/@a/0/n/@b/0::x=1", "!str'/@a/0/n::y=2", "!str'/@a/0::z=3", "!str'/@a/1::w=4")),
    ("record entries and scalar entries share indices", "/@a+:=k=v\n/@a+:=k=w\n@a+=z\n[@a]\nx=1\n",
     lines("!str'/@a/0::k=v", "!str'/@a/1::k=w", "!str'/@a::2=z", "!str'/@a/3::x=1")),
    ("list entries from a text variable", ".v=a\n@t;=$.v;b\n@t+=$.v\n",
     lines("!str'/@t::0=a", "!str'/@t::1=b", "!str'/@t::2=a")),
    ("list entry with a reference", "[@r]\n@t+=$x\n", lines("!str'/@r/0/@t::0=$@r/0::x")),
    ("splat assignment", "/p:=a=1|b c=2|\"q\"=3|\"a\"\"b\"=4|x\"y=5\n",
     lines("!str'/p::a=1", "!str'/p::\"b c\"=2", "!str'/p::q=3", "!str'/p::\"a\"\"b\"=4", "!str'/p::\"x\"\"y\"=5")),
    ("splat list keys", "/p:=@tags+=v|@l;=a;b\n/p:=@tags+=w\n",
     lines("!str'/p/@tags::0=v", "!str'/p/@l::0=a", "!str'/p/@l::1=b", "!str'/p/@tags::1=w")),
    # variables
    ("text variables and dollars", ".v=x$$y\n.w=<$.v>\na=$.v\nb=a$$b\nc=$.w!\n",
     lines("!str'::a=x$$y", "!str'::b=a$$b", "!str'::c=<x$$y>!")),
    ("text variable redefined", ".v=1\n.v=2\nx=$.v\n", lines("!str'::x=2")),
    ("record variable", "@.r+=a\n@.r;=b;c\n@t+=$@.r\n@u;=$@.r;d\n",
     lines("!str'/@t::0=a", "!str'/@t::1=b", "!str'/@t::2=c",
           "!str'/@u::0=a", "!str'/@u::1=b", "!str'/@u::2=c", "!str'/@u::3=d")),
    ("splat variable expanded when defined", ".v=early\n/.s:=a=1|b=$.v\n.v=late\n[@r]\n$/.s\n/@q+:=$/.s\n",
     lines("!str'/@r/0::a=1", "!str'/@r/0::b=early", "!str'/@r/0/@q/0::a=1", "!str'/@r/0/@q/0::b=early")),
    ("splat line takes the annotation", "/.s:=a=1|b=2\n[@r]\n!int\n$/.s\nc=3\n",
     lines("!int'/@r/0::a=1", "!int'/@r/0::b=2", "!str'/@r/0::c=3")),
    ("references at the root stay", "x=$a/b::c and $/x::y\n", lines("!str'::x=$a/b::c and $/x::y")),
    ("references in a block become absolute", "[@s]\nx=$a/b::c $k $/q::r.\n(/n)\ny=$z:\n",
     lines("!str'/@s/0::x=$@s/0/a/b::c $@s/0::k $@s/0/q::r.", "!str'/@s/0/n::y=$@s/0/n::z:")),
    # maps
    ("map annotation", "!map<int>\nscores=alice:3;bob:5\n", lines("!int'/scores::alice=3", "!int'/scores::bob=5")),
    ("empty map", "!map<int>\nscores={}\n", lines()),
    ("map without entry type", "!map\ns=a b:1;c:x:y\n", lines("!str'/s::\"a b\"=1", "!str'/s::c=x:y")),
    ("map provenance unchanged", "?p@20240131T235959Z\n!map<int>\ns=a:1\n", lines("!int?p@20240131T235959Z'/s::a=1")),
    ("map in a namespace with variables", ".v=7\n(/n)\n!map<int>\ns=a:$.v\n", lines("!int'/n/s::a=7")),
    # unions
    ("union takes the second member", "!int|text\nx=abc\n", lines("!text'::x=abc")),
    ("union takes the first member", "!int|text\nx=5\n", lines("!int'::x=5")),
    ("union member range after span", "!int[0,5]|text\nx=7\n!int[0,5]|text\ny=3\n", lines("!text'::x=7", "!int[0,5]'::y=3")),
    ("union member with unit", "!float:km|int\nx=2.5\n", lines("!float:km'::x=2.5")),
    ("union member with unit refuses a word", "!float:km|text\nx=far\n", lines("!text'::x=far")),
    ("union of library types", ".!types std/time\n!std/time/date|std/time/time\nx=10:00:00\n", lines("!std/time/time'::x=10:00:00")),
    ("union per list entry", "!int|text\n@v;=1;a\n", lines("!int'/@v::0=1", "!text'/@v::1=a")),
    ("union provenance kept", "!int|text?p\nx=a\n", lines("!text?p'::x=a")),
    # delegations
    ("delegation line", "(/cfg schema:app)\nx=1\n", lines(".!schema:/cfg app", "!str'/cfg::x=1")),
    ("delegation after leading header block", ".!units\n(/billing schema:invoice)\nx=1\n.!fk z\n",
     lines(".!units", ".!schema:/billing invoice", "!str'/billing::x=1", ".!fk z")),
    ("delegations deduplicated in order", "(/a schema:s)\n()\n(/b schema:t)\n()\n(/a schema:s)\n()\n(/a schema:u)\n",
     lines(".!schema:/a s", ".!schema:/b t", ".!schema:/a u")),
    ("nested delegation path", "[@r]\n(/n schema:s)\n", lines(".!schema:/@r/0/n s")),
]


@pytest.mark.parametrize("source, expected", [case[1:] for case in COMPILED], ids=[case[0] for case in COMPILED])
def test_compile(source, expected):
    assert bezo.compile(source) == expected


ERRORS = [
    # declarations
    ("foreign kind", "x=1\n.!hezo\n", "FORMAT_KIND_ERROR (line 2)"),
    ("foreign kind with version", ".!lezo 1\n", "FORMAT_KIND_ERROR (line 1)"),
    ("verbatim after content", "x=1\n.!verbatim\n", "VerbatimContextError"),
    ("verbatim after annotation", "!int\n.!verbatim\n", "VerbatimContextError"),
    ("verbatim with argument", ".!verbatim x\n", "VerbatimContextError"),
    ("verbatim twice", ".!verbatim\n.!verbatim\n", "VerbatimContextError"),
    ("text variable in verbatim", ".!verbatim\n.v=1\n", "VerbatimContextError"),
    ("record variable in verbatim", ".!verbatim\n@.r+=1\n", "VerbatimContextError"),
    ("splat variable in verbatim", ".!verbatim\n/.s:=a=1\n", "VerbatimContextError"),
    ("splat value in verbatim", ".!verbatim\n/p:=$/.s\n", "VerbatimContextError"),
    ("record value in verbatim", ".!verbatim\n@t+=$@.r\n", "VerbatimContextError"),
    ("splat line in verbatim", ".!verbatim\n[@r]\n$/.s\n", "VerbatimContextError"),
    # pending metadata
    ("annotation at the end", "!int\n", "MetadataWithoutTargetError"),
    ("provenance at the end", "?src\n", "MetadataWithoutTargetError"),
    ("annotation before blank", "!int\n\nx=1\n", "MetadataWithoutTargetError"),
    ("annotation before comment", "!int\n# c\nx=1\n", "MetadataWithoutTargetError"),
    ("annotation before doc", "?p\n// d\nx=1\n", "MetadataWithoutTargetError"),
    ("two annotations", "!int\n!int\nx=1\n", "MetadataWithoutTargetError"),
    ("annotation then named type", "!int\n&int\nx=1\n", "MetadataWithoutTargetError"),
    ("two provenance lines", "?a\n?b\nx=1\n", "MetadataWithoutTargetError"),
    ("provenance line after annotation provenance", "!int?p\n?q\nx=1\n", "MetadataWithoutTargetError"),
    ("annotation provenance after provenance line", "?q\n!int?p\nx=1\n", "MetadataWithoutTargetError"),
    ("repeated annotation provenance after provenance line", "!int?p\nx=1\n?q\n!int?p\ny=2\n",
     "MetadataWithoutTargetError"),
    ("repeated annotation after annotation", "!int\nx=1\n!int\n!int\ny=2\n", "MetadataWithoutTargetError"),
    # annotation texts
    ("span after named type", "&int ..num\nx=1\n", "span constraints are not valid in a data annotation: &int ..num"),
    ("annotation after named type", "&int !int\nx=1\n", "only constraint items may follow &int: &int !int"),
    ("reference after named type", "&int &x\nx=1\n", "only constraint items may follow &int: &int &x"),
    ("unresolved named type", "&date\nx=1\n", "SchemaResolutionError"),
    ("empty provenance line", "?\nx=1\n", "invalid provenance annotation: ?"),
    ("provenance with blank", "?a b\nx=1\n", "invalid provenance annotation: ?a b"),
    ("provenance short timestamp", "?a@2024\nx=1\n", "invalid provenance annotation: ?a@2024"),
    ("provenance empty item", "?a,,b\nx=1\n", "invalid provenance annotation: ?a,,b"),
    ("provenance empty tag", "?a#\nx=1\n", "invalid provenance annotation: ?a#"),
    ("unknown unit", "!float:parsec\nx=1\n", "unknown unit 'parsec' (not built-in, not defined by any .!units import)"),
    ("unknown alternative unit", "!int|float:furlong\nx=1\n",
     "unknown unit 'furlong' (not built-in, not defined by any .!units import)"),
    # variables and references
    ("undefined text variable", "x=$.nope\n", "UndefinedReferenceError"),
    ("empty text variable name", "x=$.\n", "UndefinedReferenceError"),
    ("undefined variable in definition", ".v=$.w\n", "UndefinedReferenceError"),
    ("undefined record variable", "@t+=$@.nope\n", "UndefinedReferenceError"),
    ("undefined splat variable", "/p:=$/.nope\n", "UndefinedReferenceError"),
    ("undefined splat line", "[@r]\n$/.nope\n", "UndefinedReferenceError"),
    ("empty reference", "x=a $ b\n", "UndefinedReferenceError"),
    ("final dollar", "x=$\n", "UndefinedReferenceError"),
    ("reference of separators only", "x=$/::\n", "UndefinedReferenceError"),
    ("splat line outside a block", "/.s:=a=1\n$/.s\n", "VariableContextError"),
    ("splat variable inside a value", "x=a$/.b\n", "VariableContextError"),
    ("record variable inside a value", "x=a$@.b\n", "VariableContextError"),
    ("reference in a definition", ".v=$x\n", "field references are not allowed in a variable definition: $x"),
    ("final dollar in a definition", ".v=a$\n", "field references are not allowed in a variable definition: a$"),
    ("splat piece without equals", "/x:=a=1|b\n", "DelimiterCollisionError"),
    ("empty splat", "/x:=\n", "DelimiterCollisionError"),
    # keys, paths, maps, unions, delegations
    ("apostrophe in key", "!int'x=1\n", "INVALID_KEY_ERROR (line 1)"),
    ("path with separator", "x::@a+=1\n", "'::' is not allowed in a path (namespace/array/map-assign) position"),
    ("map entry without colon", "!map<int>\ns=a:1;b\n", "DelimiterCollisionError"),
    ("map entry with empty key", "x=1\n!map<int>\ns=:1\n", "INVALID_KEY_ERROR (line 3)"),
    ("map with constraints", "!map<int>[0,1]\ns=a:1\n", "a map annotation admits neither a unit nor inline constraints"),
    ("map with alternatives", "!map<int>|str\ns=a:1\n", "a map annotation admits neither a unit nor inline constraints"),
    ("union without a member", "!int[0,5]|float\nx=abc\n", "TypeMismatchError"),
    ("delegation without name", "(/cfg schema:)\n", "SchemaDelegationError"),
    ("delegation with alternatives", "(/cfg schema:a|b)\n", "SchemaDelegationError"),
    ("delegation with two schemas", "(/cfg schema:a schema:b)\n", "SchemaDelegationError"),
    # the lexer's refusals pass through
    ("missing final line feed", "x=1", "MISSING_FINAL_EOL_ERROR"),
    ("missing operator", "x=1\nword\n", "MISSING_OPERATOR_ERROR (line 2)"),
    ("refused annotation after accepted ones", "!int\nx=1\n!int\ny=2\n!int[\nz=3\n", "INVALID_CONSTRAINT_ERROR (line 5)"),
    # variables that double at every line are stopped before memory runs out
    ("doubling text variables",
     ".v0=ab\n" + "".join(f".v{i + 1}=$.v{i}$.v{i}\n" for i in range(40)) + "x=$.v40\n",
     "variable expansion too large: more than 1 GiB of substituted text"),
    ("doubling record variable", "@.r+=a\n" + "@.r+=$@.r\n" * 40 + "x=1\n",
     "variable expansion too large: more than 1 GiB of substituted text"),
    ("a lexer failure wins over an earlier compile failure", "x=$.u\n=1\n", "EMPTY_KEY_ERROR (line 2)"),
    ("empty key after a shared path", "a::x=1\na::=2\n", "INVALID_KEY_ERROR (line 2)"),
    ("colon run after a shared path", "a::x=1\na:::y=2\n", "INVALID_KEY_ERROR (line 2)"),
    ("map under a shared path", "a::x=1\n!map<int>\na::m=k:1;j:2\n",
     "'::' is not allowed in a path (namespace/array/map-assign) position"),
]


@pytest.mark.parametrize("source, message", [case[1:] for case in ERRORS], ids=[case[0] for case in ERRORS])
def test_compile_error(source, message):
    with pytest.raises(bezo.BezoError) as raised:
        bezo.compile(source)
    assert str(raised.value) == message
    assert type(raised.value) is bezo.BezoError


UNITS_MODULE = """.!gezo acme/len
m 0.3048
&foot=
&ft=foot
&fut=ft
"""


@pytest.fixture
def registry(tmp_path):
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "len.gezo").write_text(UNITS_MODULE)
    return f".!registry acme={tmp_path}\n.!units acme/len\n"


@pytest.mark.parametrize("body, expected", [
    ("!float:foot\nx=1\n", "!float:foot'::x=1"),
    ("!float:ft/s\nx=1\n", "!float:foot/s'::x=1"),
    ("!:fut*m\nx=1\n", "!:foot*m'::x=1"),
    ("!int|float:ft\nx=1.5\n", "!float:foot'::x=1.5"),
    ("!float:km\nx=1\n", "!float:km'::x=1"),
    ("!float:ft/s\nx=1\n!float:ft/s\ny=2\n", "!float:foot/s'::x=1\n!float:foot/s'::y=2"),
])
def test_units_from_a_module(registry, body, expected):
    header = registry.splitlines()
    assert bezo.compile(registry + body) == lines(*header, expected)


# An annotation repeated after a ".!units" line is checked against the new
# module: here one that makes a built-in unit an alias.
def test_a_units_line_applies_to_repeated_annotations_after_it(tmp_path):
    (tmp_path / "acme").mkdir()
    (tmp_path / "acme" / "len.gezo").write_text(UNITS_MODULE + "&km=foot\n")
    head = f".!registry acme={tmp_path}"
    document = head + "\n!float:km\nx=1\n.!units acme/len\n!float:km\ny=2\n!float:km\nz=3\n"
    assert bezo.compile(document) == lines(head, "!float:km'::x=1", ".!units acme/len", "!float:foot'::y=2",
                                           "!float:foot'::z=3")


def test_unknown_unit_with_a_module(registry):
    with pytest.raises(bezo.BezoError, match=r"^unknown unit 'yard' \(not built-in"):
        bezo.compile(registry + "!float:yard\nx=1\n")


def test_missing_units_module_fails_at_the_first_unit():
    document = ".!units acme/none\nx=1\n"
    assert bezo.compile(document) == lines(".!units acme/none", "!str'::x=1")
    with pytest.raises(bezo.BezoError, match="^SchemaResolutionError$"):
        bezo.compile(document + "!float:m\ny=2\n")


def test_web_registry_is_refused():
    with pytest.raises(bezo.BezoError, match="^SchemaResolutionError$"):
        bezo.compile(".!registry acme=https://example.invalid\n.!units acme/len\n!float:m\nx=1\n")


def test_large_document():
    count = 100_000
    body = "".join(f"[@row]\nid={i}\n!int\nn={i}\n" for i in range(count // 2))
    out = bezo.compile(body)
    assert out.count("\n") == count + 1
    assert out.endswith(f"!int'/@row/{count // 2 - 1}::n={count // 2 - 1}\n")


def test_deep_nesting():
    # Every line repeats its block's whole path: blocks nest at most 512 deep,
    # and a path holds at most 512 segments, its key included, as many as the
    # canonical reader reads.
    depth = 511
    out = bezo.compile("(/n)\n" * depth + "x=1\n" + "()\n" * depth + "y=2\n")
    assert out == lines("!str'" + "/n" * depth + "::x=1", "!str'::y=2")
    for text, message in [("(/n)\n" * 513, "blocks nest deeper than 512 levels"),
                          ("(/n)\n" * 512 + "x=1\n", "path and key nest deeper than 512 segments"),
                          ("(/a/b)\n" * 256 + "x=1\n", "path and key nest deeper than 512 segments"),
                          ("/n" * 512 + "::x=1\n", "path and key nest deeper than 512 segments")]:
        with pytest.raises(bezo.BezoError, match=message):
            bezo.compile(text)


def test_wrong_argument_type():
    with pytest.raises(TypeError):
        bezo.compile(b"x=1\n")
