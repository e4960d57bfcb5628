// A store of texts that are built while a document is read and must outlive
// the step that built them: decoded strings, unquoted keys, decoded
// payloads. Texts are copied into large blocks, so that many small texts
// cost no allocation each, and the views handed out stay valid for the
// arena's lifetime, moves of the arena included (blocks never move).
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace bezo {

class TextArena {
public:
    // A copy of `text` that lives as long as the arena.
    std::string_view store(std::string_view text);

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
};

}  // namespace bezo
