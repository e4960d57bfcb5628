// Base64url (URL-safe alphabet, never padded): the spelling of every binary
// payload in the language.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bezo {

// Encodes bytes; the output is ceil(4n/3) characters and never holds "=".
std::string base64url_encode(std::string_view bytes);
void append_base64url(std::string_view bytes, std::string& out);

// Decodes a text, or gives none when it holds a byte outside the alphabet
// (padding and white space included) or its length leaves remainder 1 mod 4.
// Bits of the last character beyond the last whole byte are ignored.
std::optional<std::string> base64url_decode(std::string_view text);

// Whether base64url_decode accepts the text, without decoding it.
bool is_base64url(std::string_view text);

}  // namespace bezo
