// The shapes that a compiled schema declares for imported data where import
// could not know them. Build against a schema lifts a content line that no
// field matches into the shape the schema declares at its place:
//
//   - an empty object ("!std/enc/json" "{}") at a record with a plain field
//     at or below it is dropped: the record is empty, and its fields are
//     then added with their defaults or found missing;
//   - an empty object as an item "T::i" of a table with element fields
//     becomes entry i with every element field at its default (a required
//     one is missing: RequiredFieldSchema);
//   - a plain value at a simple-content record (one with a "#text" field)
//     becomes that field; as an item of a table with a "#text" column, the
//     entry's "#text".
//
// and, in a text marked as read from XML (core/xml_mark.hpp) only:
//
//   - an empty element (a null) counts as an empty object above, and where
//     the schema declares a map it becomes the empty map ("{}");
//   - a lone record or scalar at a path where the schema declares a table
//     becomes its entry 0, a lone scalar or null where it declares a
//     vector its member 0, unless the text already holds lines of that
//     table or vector (XML import never writes both; a hand-written text
//     would lose the lifted line or the entry it meets).
//
// Nothing else is lifted: an empty array stays where it is (an empty table
// or vector, whose minimum is still checked), and so does an empty object
// at a map or at a record whose fields are all collections.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/error.hpp"
#include "core/hash.hpp"
#include "schema/check.hpp"
#include "schema/compiled.hpp"
#include "schema/schema_paths.hpp"

namespace bezo {

// Whether the header lines of the canonical text (those before its first
// content line) hold the XML import's mark.
bool has_xml_mark(std::string_view canonical);

class DeclaredShapes {
public:
    // Borrows the fields, the index and the canonical text, which must
    // outlive it; the text's header tells whether it was read from XML.
    DeclaredShapes(std::span<const SchemaField> fields, const SchemaFieldIndex& index, std::string_view text);

    // Whether the content line at the name path, which no field matches, is
    // lifted (or fails to be: an empty entry missing a required field).
    bool lifts(std::string_view line, std::string_view path);

    // The text with every line lifted, or none when no line is; the text
    // grows by at most `added_limit` bytes.
    Result<std::optional<std::string>> lift(std::size_t added_limit);

private:
    struct Table {
        std::size_t first_field;  // of its run of element fields
        bool text_column = false;
    };
    // What the schema declares at a record path "P/k", which a line "P::k"
    // names.
    struct RecordShape {
        bool fills = false;           // a plain field lies at or below it
        bool simple_content = false;  // it has a "#text" field
        std::string_view table;       // the table "P/@k", when declared
        std::string_view vector;      // the vector "P/@k", when declared
        bool map = false;             // the map "P/k::" is declared
    };

    void index_fields();
    RecordShape& record_shape(std::string_view record);
    // A cheap test that leaves out most lines that are not lifted.
    bool may_lift(std::string_view path);
    void add_record_and_ancestors(std::string_view record);
    void add_list(std::string_view list);
    // Whether a lone record or value may become entry 0 of the declared
    // table or vector: in a text read from XML that holds no line of it.
    bool lifts_lone_into(std::string_view list);
    // The declared tables and vectors that the text holds lines of.
    TextSet lists_held() const;
    // The lone record of a table that the path lies in: its path length and
    // the table's path.
    std::optional<std::pair<std::size_t, std::string_view>> lone_record_above(std::string_view path) const;
    // Appends the lifted form of the line; false, appending nothing, when
    // the line is not lifted.
    Result<bool> write_lifted(std::string_view line, std::string_view path, std::string& out);
    Result<void> write_empty_entry(const Table& table, std::string_view table_path, std::string_view index,
                                   std::string& out);

    std::span<const SchemaField> fields_;
    const SchemaFieldIndex& index_;
    std::string_view text_;
    bool from_xml_;
    bool indexed_ = false;
    TextMap<RecordShape> records_;            // by record path
    TextMap<std::string_view> lone_records_;  // "P/k" -> the table "P/@k", for the paths below it
    std::vector<bool> lone_lengths_;          // the lengths of the paths in lone_records_
    TextMap<Table> tables_;                   // by table path
    TextSet lists_;                           // the tables and vectors a lone record may be lifted into
    std::vector<std::size_t> list_lengths_;   // the distinct lengths of their paths
    std::optional<TextSet> held_lists_;       // found at the first lone lift
    std::vector<bool> record_lengths_;        // the lengths of the paths in records_
    std::string record_;                      // reused buffers
    std::string scratch_;
    std::string_view ending_ = "\n";  // of added lines
    PatternCache patterns_;
};

}  // namespace bezo
