#include "schema_import/proto_parser.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "core/text.hpp"
#include "schema_import/conventions.hpp"
#include "schema_import/proto_lexer.hpp"
#include "schema_import/proto_resolve.hpp"

namespace bezo {
namespace {

constexpr std::int64_t kMaxFieldNumber = 536870911;  // 2^29 - 1

Error failure(std::string message) { return Error::Other(std::move(message)); }

Error nesting_too_deep() { return failure("message nesting too deep in .proto"); }

Error token_failure(std::string message, const ProtoToken& token) {
    message += quoted_excerpt(proto_token_debug_form(token));
    return failure(std::move(message));
}

// Reads option tokens after an opening "[" up to its matching "]". The
// text of a `json_name = "..."` option among them, if any, goes to
// `json_name`; a custom option ending in ".json_name" is not it.
Result<void> skip_bracketed_options(ProtoLexer& lexer, std::string_view unterminated,
                                    std::optional<std::string_view>* json_name = nullptr) {
    // The last three tokens read at the outermost level, oldest first; the
    // "[" that opened the options begins an option like a ",".
    std::array<ProtoToken, 3> recent{ProtoToken{}, ProtoToken{}, ProtoToken::sym('[')};
    for (std::size_t depth = 1; depth > 0;) {
        auto token = next_proto_token(lexer);
        if (!token) return forward_error(token);
        if (token->kind == ProtoTokenKind::Eof) return std::unexpected(failure(std::string(unterminated)));
        if (token->is_symbol('[')) ++depth;
        if (token->is_symbol(']')) --depth;
        if (depth != 1) continue;
        const bool option_start = recent[0].is_symbol('[') || recent[0].is_symbol(',');
        if (json_name && option_start && recent[1].is_word("json_name") && recent[2].is_symbol('=') &&
            token->kind == ProtoTokenKind::Text) {
            *json_name = token->text;
        }
        recent = {recent[1], recent[2], *token};
    }
    return {};
}

class ProtoParser {
public:
    explicit ProtoParser(std::string_view text) : lexer_{text} {}

    Result<ProtoFile> parse_proto_file();

private:
    Result<void> parse_file_statement(const ProtoToken& token);
    Result<void> parse_proto_message_decl(std::string_view scope, bool top_level, std::size_t depth);
    Result<void> parse_proto_message(std::string_view full_name, std::size_t depth);
    Result<void> parse_message_statement(const ProtoToken& token, std::string_view full_name, std::size_t depth);
    Result<ProtoFieldDecl> parse_field_statement(const ProtoToken& token);
    Result<ProtoFieldDecl> parse_labelled_field(bool repeated);
    Result<ProtoFieldDecl> parse_map_field();
    Result<ProtoFieldDecl> parse_proto_field(std::string_view type_text, bool repeated,
                                             std::optional<ProtoMapTypeTexts> map_types);
    // Reads a dotted name (see read_proto_dotted_name) as a view that lives
    // as long as the parse.
    Result<std::string_view> read_kept_name();
    // `spelled`, just read, as such a view: the source itself when the name
    // stands there as read, else a kept copy.
    std::string_view keep_name(std::string spelled);
    Result<void> parse_proto_enum(std::string_view scope);
    Result<ProtoEnumValue> parse_enum_value(std::string_view name);
    // Reads a declaration's name and gives its full name under `scope`.
    Result<std::string> read_declared_name(std::string_view scope);

    ProtoLexer lexer_;
    std::string package_;
    std::size_t package_depth_ = 0;  // the package's components
    ProtoFile file_;
    std::vector<ProtoPendingFields> pending_;
    // The field declarations of every message being read, the innermost
    // message's last: a message takes its run when its body ends.
    std::vector<ProtoFieldDecl> open_fields_;
    std::deque<std::string> kept_names_;
    // Nested full names repeat their scope, so the names the model holds
    // can outgrow the text many times over: they count against the budget.
    ImportBudget budget_;
    std::size_t name_bytes_ = 0;
};

Result<ProtoFile> ProtoParser::parse_proto_file() {
    for (;;) {
        auto token = next_proto_token(lexer_);
        if (!token) return forward_error(token);
        if (token->kind == ProtoTokenKind::Eof) break;
        if (token->is_symbol(';')) continue;
        if (token->kind != ProtoTokenKind::Ident) {
            return std::unexpected(token_failure("unexpected token in .proto: ", *token));
        }
        if (auto parsed = parse_file_statement(*token); !parsed) return forward_error(parsed);
    }
    if (auto resolved = resolve_proto_fields(file_, pending_, package_); !resolved) return forward_error(resolved);
    return std::move(file_);
}

Result<void> ProtoParser::parse_file_statement(const ProtoToken& token) {
    const std::string_view word = token.text;
    if (word == "syntax" || word == "edition" || word == "option" || word == "service" || word == "extend") {
        return skip_proto_statement(lexer_);
    }
    if (word == "import") {
        return std::unexpected(failure("`import` is not supported: pass a self-contained .proto"));
    }
    if (word == "package") {
        auto package = read_proto_dotted_name(lexer_);
        if (!package) return forward_error(package);
        if (auto end = expect_proto_symbol(lexer_, ';'); !end) return forward_error(end);
        package_ = std::move(*package);
        package_depth_ = static_cast<std::size_t>(std::ranges::count(package_, '.')) + 1;
        return {};
    }
    if (word == "message") {
        if (package_depth_ > kMaxProtoNesting) return std::unexpected(nesting_too_deep());
        return parse_proto_message_decl(package_, true, 1);
    }
    if (word == "enum") return parse_proto_enum(package_);
    return std::unexpected(failure("unexpected `" + quoted_excerpt(word) + "` in .proto"));
}

Result<std::string> ProtoParser::read_declared_name(std::string_view scope) {
    auto name = expect_proto_name(lexer_);
    if (!name) return forward_error(name);
    std::string full_name = join_dotted_name(scope, *name);
    name_bytes_ += full_name.size();
    if (auto fits = budget_.charge_output(name_bytes_); !fits) return forward_error(fits);
    return full_name;
}

Result<void> ProtoParser::parse_proto_message_decl(std::string_view scope, bool top_level, std::size_t depth) {
    auto full_name = read_declared_name(scope);
    if (!full_name) return forward_error(full_name);
    if (auto open = expect_proto_symbol(lexer_, '{'); !open) return forward_error(open);
    const std::size_t index = file_.messages.size();
    file_.messages.push_back(ProtoMessage{*full_name, {}, top_level});
    const std::size_t first_field = open_fields_.size();
    if (auto body = parse_proto_message(*full_name, depth); !body) return forward_error(body);
    const auto fields = open_fields_.begin() + static_cast<std::ptrdiff_t>(first_field);
    pending_.push_back(ProtoPendingFields{index, std::vector(fields, open_fields_.end())});
    open_fields_.erase(fields, open_fields_.end());
    return {};
}

Result<void> ProtoParser::parse_proto_message(std::string_view full_name, std::size_t depth) {
    if (depth > kMaxProtoNesting) return std::unexpected(nesting_too_deep());
    for (;;) {
        auto token = next_proto_token(lexer_);
        if (!token) return forward_error(token);
        if (token->kind == ProtoTokenKind::Eof) {
            return std::unexpected(failure("unterminated message " + quoted_excerpt(full_name)));
        }
        if (token->is_symbol('}')) return {};
        if (token->is_symbol(';')) continue;
        if (auto parsed = parse_message_statement(*token, full_name, depth); !parsed) {
            return forward_error(parsed);
        }
    }
}

Result<void> ProtoParser::parse_message_statement(const ProtoToken& token, std::string_view full_name,
                                                  std::size_t depth) {
    if (token.is_word("enum")) return parse_proto_enum(full_name);
    if (token.is_word("message")) return parse_proto_message_decl(full_name, false, depth + 1);
    if (token.is_word("oneof")) {
        // The oneof's name is not kept; its fields join the message's.
        if (auto name = expect_proto_name(lexer_); !name) return forward_error(name);
        if (auto open = expect_proto_symbol(lexer_, '{'); !open) return forward_error(open);
        return parse_proto_message(full_name, depth + 1);
    }
    if (token.is_word("group")) return std::unexpected(failure("proto2 groups are not supported"));
    if (token.is_word("option") || token.is_word("extend") || token.is_word("reserved") ||
        token.is_word("extensions")) {
        return skip_proto_statement(lexer_);
    }
    if (token.kind != ProtoTokenKind::Ident && !token.is_symbol('.')) {
        return std::unexpected(token_failure("unexpected token in " + quoted_excerpt(full_name) + ": ", token));
    }
    auto field = parse_field_statement(token);
    if (!field) return forward_error(field);
    open_fields_.push_back(*field);
    return {};
}

Result<ProtoFieldDecl> ProtoParser::parse_field_statement(const ProtoToken& token) {
    if (token.is_word("map")) return parse_map_field();
    if (token.is_word("repeated") || token.is_word("optional") || token.is_word("required")) {
        return parse_labelled_field(token.is_word("repeated"));
    }
    // A type name: "." and a dotted name (fully qualified), or an identifier
    // and the ".name" parts after it.
    std::string type_text;
    if (token.is_symbol('.')) {
        auto rest = read_proto_dotted_name(lexer_);
        if (!rest) return forward_error(rest);
        type_text = "." + *rest;
    } else {
        type_text = token.text;
        if (auto parts = append_proto_name_parts(lexer_, type_text); !parts) return forward_error(parts);
    }
    return parse_proto_field(keep_name(std::move(type_text)), false, std::nullopt);
}

Result<ProtoFieldDecl> ProtoParser::parse_labelled_field(bool repeated) {
    auto type_text = read_kept_name();
    if (!type_text) return forward_error(type_text);
    return parse_proto_field(*type_text, repeated, std::nullopt);
}

Result<ProtoFieldDecl> ProtoParser::parse_map_field() {
    if (auto open = expect_proto_symbol(lexer_, '<'); !open) return forward_error(open);
    auto key = read_kept_name();
    if (!key) return forward_error(key);
    if (auto comma = expect_proto_symbol(lexer_, ','); !comma) return forward_error(comma);
    auto value = read_kept_name();
    if (!value) return forward_error(value);
    if (auto close = expect_proto_symbol(lexer_, '>'); !close) return forward_error(close);
    return parse_proto_field({}, false, ProtoMapTypeTexts{*key, *value});
}

Result<std::string_view> ProtoParser::read_kept_name() {
    auto name = read_proto_dotted_name(lexer_);
    if (!name) return forward_error(name);
    return keep_name(std::move(*name));
}

std::string_view ProtoParser::keep_name(std::string spelled) {
    const std::size_t end = lexer_.position;
    if (end >= spelled.size()) {
        const std::string_view source = lexer_.text.substr(end - spelled.size(), spelled.size());
        if (source == spelled) return source;
    }
    return kept_names_.emplace_back(std::move(spelled));
}

Result<ProtoFieldDecl> ProtoParser::parse_proto_field(std::string_view type_text, bool repeated,
                                                      std::optional<ProtoMapTypeTexts> map_types) {
    auto name = expect_proto_name(lexer_);
    if (!name) return forward_error(name);
    if (auto equals = expect_proto_symbol(lexer_, '='); !equals) return forward_error(equals);
    auto number = next_proto_token(lexer_);
    if (!number) return forward_error(number);
    if (number->kind != ProtoTokenKind::Int || number->number < 1 || number->number > kMaxFieldNumber) {
        return std::unexpected(token_failure("bad field number for " + quoted_excerpt(*name) + ": ", *number));
    }
    auto end = next_proto_token(lexer_);
    if (!end) return forward_error(end);
    std::optional<std::string_view> json_name;
    if (end->is_symbol('[')) {
        // Defaults, packing and deprecation are not carried over.
        if (auto skipped = skip_bracketed_options(lexer_, "unterminated field options", &json_name); !skipped) {
            return forward_error(skipped);
        }
        if (auto semicolon = expect_proto_symbol(lexer_, ';'); !semicolon) return forward_error(semicolon);
    } else if (!end->is_symbol(';')) {
        return std::unexpected(token_failure("expected `;` after field " + quoted_excerpt(*name) + ": ", *end));
    }
    return ProtoFieldDecl{.name = *name,
                          .type_text = type_text,
                          .map_types = map_types,
                          .number = static_cast<std::uint32_t>(number->number),
                          .repeated = repeated,
                          .json_name = json_name};
}

Result<void> ProtoParser::parse_proto_enum(std::string_view scope) {
    auto full_name = read_declared_name(scope);
    if (!full_name) return forward_error(full_name);
    if (auto open = expect_proto_symbol(lexer_, '{'); !open) return forward_error(open);
    ProtoEnum enumeration{std::move(*full_name), {}};
    for (;;) {
        auto token = next_proto_token(lexer_);
        if (!token) return forward_error(token);
        if (token->kind == ProtoTokenKind::Eof) {
            return std::unexpected(failure("unterminated enum " + quoted_excerpt(enumeration.full_name)));
        }
        if (token->is_symbol('}')) break;
        if (token->is_symbol(';')) continue;
        if (token->is_word("option") || token->is_word("reserved")) {
            if (auto skipped = skip_proto_statement(lexer_); !skipped) return forward_error(skipped);
        } else if (token->kind == ProtoTokenKind::Ident) {
            auto value = parse_enum_value(token->text);
            if (!value) return forward_error(value);
            enumeration.values.push_back(std::move(*value));
        } else {
            return std::unexpected(token_failure("unexpected token in enum: ", *token));
        }
    }
    file_.enums.push_back(std::move(enumeration));
    return {};
}

Result<ProtoEnumValue> ProtoParser::parse_enum_value(std::string_view name) {
    if (auto equals = expect_proto_symbol(lexer_, '='); !equals) return forward_error(equals);
    auto number = next_proto_token(lexer_);
    if (!number) return forward_error(number);
    if (number->kind != ProtoTokenKind::Int) {
        return std::unexpected(token_failure("bad enum value for " + quoted_excerpt(name) + ": ", *number));
    }
    if (number->number < INT32_MIN || number->number > INT32_MAX) {
        return std::unexpected(
            failure("enum value out of range: " + quoted_excerpt(name) + " = " + decimal_text(number->number)));
    }
    auto options = accept_proto_symbol(lexer_, '[');
    if (!options) return forward_error(options);
    if (*options) {
        if (auto skipped = skip_bracketed_options(lexer_, "unterminated enum value options"); !skipped) {
            return forward_error(skipped);
        }
    }
    if (auto semicolon = expect_proto_symbol(lexer_, ';'); !semicolon) return forward_error(semicolon);
    return ProtoEnumValue{std::string(name), static_cast<std::int32_t>(number->number)};
}

}  // namespace

Result<ProtoFile> parse_proto_file(std::string_view text) { return ProtoParser(text).parse_proto_file(); }

}  // namespace bezo
