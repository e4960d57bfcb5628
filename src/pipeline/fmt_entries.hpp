// Array entries as the compiler numbers them, for the formatter. Entry
// indices are counted per array path over the whole document, whichever
// kind of line creates them; the formatter restructures some of those lines
// and keeps others as written, so it counts the entries of both here, in
// document order, to give modelled records the index the compiler gives
// them and to tell the renderer how many entries each kept line creates.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/hash.hpp"
#include "pipeline/path_table.hpp"

namespace bezo {

// Entries that a line adds to one array when it is compiled.
struct EntryCount {
    PathId array = kRootPath;
    std::uint64_t count = 0;
};

class EntryCounter {
public:
    explicit EntryCounter(PathTable& paths) : paths_(paths) {}

    // The next index of the array (0 the first time); the count goes up by one.
    std::uint64_t next_index(PathId array);

    // Counts the entries that a content line (left part and value) creates
    // inside the block at `block`, and the variables it defines; appends one
    // record per array it adds to.
    void count_content_line(PathId block, std::string_view left, std::string_view value,
                            std::vector<EntryCount>& created);

    // The same for a splat line "$/." + `name` inside the block at `block`.
    void count_splat_line(PathId block, std::string_view name, std::vector<EntryCount>& created);

    // The entries counted per array path.
    std::vector<std::uint64_t> counts() && { return std::move(counts_); }

    // Whether counting has stopped: a splat variable adds an array for each
    // of its list keys wherever it is used, so a few lines can ask for the
    // square of their size in entries. Past a budget of list keys handled
    // nothing more is counted, and the counts so far stay exact.
    bool exhausted() const { return list_keys_left_ == 0; }

private:
    // One list key of a splat ("@name+" or "@name;"): the array segment and
    // the number of entries it adds.
    struct ListKey {
        std::string segment;
        std::uint64_t count = 0;
    };
    using ListKeys = std::vector<ListKey>;

    void add(PathId array, std::uint64_t count, std::vector<EntryCount>& created);
    std::uint64_t record_items(std::string_view value) const;
    std::uint64_t record_list_items(std::string_view value) const;
    std::uint64_t expanded_semicolons(std::string_view value) const;
    ListKeys splat_list_keys(std::string_view value);
    const ListKeys& splat_variable(std::string_view name) const;
    bool charge_list_keys(std::size_t count);
    void add_list_keys(PathId target, const ListKeys& keys, std::vector<EntryCount>& created);

    PathTable& paths_;
    std::vector<std::uint64_t> counts_;  // by array path id
    // What the compiler's variables hold, as far as entries go: the items
    // of each record variable, the ";" of each text variable's text, the
    // list keys of each splat variable.
    TextMap<std::uint64_t> record_variables_;
    TextMap<std::uint64_t> text_semicolons_;
    TextMap<ListKeys> splat_variables_;
    std::uint64_t list_keys_left_ = std::uint64_t{1} << 22;
};

}  // namespace bezo
