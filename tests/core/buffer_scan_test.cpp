#include "core/buffer_scan.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace bezo {
namespace {

// A piece of a longer buffer is searched as if it ended where it ends:
// bytes past its end, read along with it, are never found; the answer is
// the same however far the readable buffer goes on.
TEST(BufferScan, FindsOnlyWithinThePiece) {
    struct Case {
        std::string_view buffer;
        std::size_t start;
        std::size_t size;
        std::size_t from;
        std::size_t expected;  // within the piece
    };
    const Case cases[] = {
        {"ab=cd\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0, 5, 0, 2},
        {"abcde=xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0, 5, 0, 5},    // "=" just past the end
        {"abc\nx\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0, 3, 0, 3},   // and further on
        {"a=b=c\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0, 5, 2, 3},   // from after the first
        {"a=bcd\nxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 0, 5, 5, 5},   // from the end
        {"0123456789abcdefghij=xxxxxxxxxxxxxxxxx", 0, 21, 0, 20},  // past the first sixteen
        {"0123456789abcdefghij=xxxxxxxxxxxxxxxxx", 0, 20, 0, 20},
        {"xx\"0123456789abcdef=", 3, 16, 0, 16},  // a piece ending at the buffer's end
        {"xx\"0123456789abcdef=", 3, 17, 0, 16},
        {"xx\"0123456789abcdef=", 2, 1, 0, 0},
        {"=", 0, 0, 0, 0},  // an empty piece
    };
    for (const auto& c : cases) {
        const std::string buffer(c.buffer);
        const std::string_view piece(buffer.data() + c.start, c.size);
        for (std::size_t readable = c.start + c.size; readable <= buffer.size(); ++readable) {
            EXPECT_EQ((find_first_of_bytes_before<'=', '"'>(piece, c.from, buffer.data() + readable)), c.expected)
                << c.buffer << " from " << c.start << " size " << c.size << " readable " << readable;
        }
    }
}

// Rare bytes are sought in blocks: each is found wherever it stands in
// the text or its last, shorter block, and from wherever the search starts.
TEST(BufferScan, FindsRareBytesAtEveryPosition) {
    for (const std::size_t size : {0u, 1u, 63u, 64u, 65u, 130u, 200u}) {
        for (std::size_t at = 0; at < size; ++at) {
            for (const char byte : {'\0', '\r'}) {
                std::string text(size, 'a');
                text[at] = byte;
                for (const std::size_t from : {std::size_t{0}, at / 2, at, at + 1}) {
                    const std::size_t expected = from <= at ? at : size;
                    EXPECT_EQ((find_rare_bytes<'\0', '\r'>(text, from)), expected)
                        << "size " << size << " at " << at << " from " << from;
                }
            }
        }
        EXPECT_EQ((find_rare_bytes<'\0', '\r'>(std::string(size, '\n'))), size);
    }
}

}  // namespace
}  // namespace bezo
