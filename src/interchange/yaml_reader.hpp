// Reads a YAML 1.2 text into the nodes of its one document, built from the
// event stream of the YAML library (libyaml, a YAML 1.1 reader). Plain
// scalars without a tag resolve by the YAML 1.2 core schema; the tags
// !!str, !!int, !!float, !!bool and !!null force their kind (!!float makes
// an integer spelling a float), and a scalar that does not fit the forced
// kind is refused, as is !!map or !!seq on another kind of node. The
// non-specific tag "!" makes a scalar a string; other tags are ignored.
// NEL, LS and PS are content, never line breaks; a double-quoted surrogate
// pair's escapes ("\uD83D\uDE00") are the one character they encode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/json_reader.hpp"
#include "interchange/value.hpp"

namespace bezo {

enum class YamlKind : std::uint8_t { Null, Boolean, Integer, Real, String, Array, Hash, Alias, BadValue };

// One node. Integer, Real and String nodes carry a text: an integer's plain
// decimal digits (never rounded, however long), a float as written, a
// string's characters. An Alias node is an alias that names no anchor, or
// the anchor of a collection around it, and carries the anchor's name.
// Array and Hash nodes carry children; a Hash lists its key and value nodes
// in turn, in document order. Only the plain, untagged scalar "<<" is a
// merge key; quoted or tagged, it is an ordinary string.
struct YamlNode {
    YamlKind kind = YamlKind::Null;
    bool truth = false;      // of a Boolean
    bool merge_key = false;  // the plain, untagged "<<"
    std::size_t first = 0;   // where the text or the children start
    std::size_t count = 0;   // bytes of text, or number of children
};

// A collection may stand inside at most this many collections less one:
// the 513th nested level is refused.
inline constexpr unsigned kMaxYamlDepth = 512;

// The nodes of one document. An alias of a defined anchor refers to the
// anchored node itself, so one node may be reached along several paths.
class YamlDocument {
public:
    const YamlNode& node(std::size_t index) const { return nodes_[index]; }
    std::string_view text(const YamlNode& node) const {
        return std::string_view(texts_).substr(node.first, node.count);
    }
    std::span<const std::size_t> children(const YamlNode& node) const {
        return std::span(children_).subspan(node.first, node.count);
    }
    std::size_t root() const { return root_; }

    // The number of nodes and aliases written in the document.
    std::size_t written() const { return written_; }

private:
    friend class YamlNodeBuilder;
    std::vector<YamlNode> nodes_;
    std::vector<std::size_t> children_;
    std::string texts_;
    std::size_t root_ = 0;
    std::size_t written_ = 0;
};

// Reads the text, which must hold exactly one document. Fails with
// "invalid YAML: {problem} at line L, column C" (1-based, the column in
// characters) on a syntax error, a character YAML does not allow anywhere
// in the text or a surrogate escape without its pair, "YAML nesting too
// deep" at the 513th nested collection, "empty YAML input" without a
// document, "expected one YAML document, found {}" with more than one, and
// "YAML library gave text that is not UTF-8 at line L, column C" should the
// library hand over such a text. A text without those faults fails, at the
// first such node, on a tag its node does not fit ("YAML scalar "x" does
// not match its tag !!int at line L, column C"), a scalar key no authored
// text holds (empty, or with a line feed, carriage return or NUL) and a key
// written twice in one mapping ("repeated YAML mapping key K at line L,
// column C"; keys are the same when their kinds and values are).
Result<YamlDocument> read_yaml_document(std::string_view text);

// Reads the text straight into the JsonTree of its one document, when that
// needs no more than the events in order and JSON's kinds of value: a
// document with an alias, a merge key, a bad value, a non-finite float or a
// mapping key that is no scalar gives none, and
// read_yaml_document then reads it. Until the reading gives up it meets the
// same events as read_yaml_document, so it fails where and as that fails.
Result<std::optional<JsonTree>> read_simple_yaml_tree(std::string_view text);

// The std/num marker of a non-finite float: "inf", "-inf" or "nan".
Value yaml_float_value(std::string_view text);

// The value of a scalar of one of the kinds Null, Boolean, Integer, Real and
// String, from its truth or its text (an integer's plain decimal text): a
// float is a non-finite marker, the text itself when it is a JSON number,
// the float's own spelling when it reads as a finite binary64, or else the
// text as a string. None for any other kind. The JsonTree read straight
// from the events spells its scalars alike, and gives up at a non-finite
// float.
std::optional<Value> yaml_scalar_value(YamlKind kind, bool truth, std::string_view text);

// The key a scalar names in a mapping: a string's, a float's or an
// integer's text, "true" or "false", or "null"; none for any other kind.
std::optional<std::string> yaml_scalar_key(YamlKind kind, bool truth, std::string_view text);

}  // namespace bezo
