#include "schema_import/graphql_parser.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "core/hash.hpp"

namespace bezo {
namespace {

// The words that open a definition; a skipped definition ends before one.
constexpr std::array<std::string_view, 9> kDefinitionKeywords{
    "type", "enum", "input", "union", "scalar", "schema", "extend", "interface", "directive",
};

Error failure(std::string message) { return Error::Other(std::move(message)); }

Error failure_at(std::string message, const SdlToken& token) {
    std::string form;
    append_sdl_token_debug_form(token, form);
    return failure(std::move(message) + quoted_excerpt(form));
}

// The next token and the position after it; the cursor does not move.
struct Lookahead {
    SdlToken token;
    std::size_t end = 0;
};

Result<Lookahead> peek(const SdlCursor& cursor) {
    SdlCursor ahead = cursor;
    auto token = next_sdl_token(ahead);
    if (!token) return forward_error(token);
    return Lookahead{*token, ahead.pos};
}

// Consumes the next token when it is the punctuation `c`.
Result<bool> take_punct(SdlCursor& cursor, char c) {
    auto next = peek(cursor);
    if (!next) return forward_error(next);
    if (!next->token.is_punct(c)) return false;
    cursor.pos = next->end;
    return true;
}

// Consumes the next token when it is a text: a description.
Result<std::optional<std::string_view>> take_description(SdlCursor& cursor) {
    auto next = peek(cursor);
    if (!next) return forward_error(next);
    if (next->token.kind != SdlTokenKind::Text) return std::nullopt;
    cursor.pos = next->end;
    return next->token.text;
}

Result<std::string_view> expect_sdl_name(SdlCursor& cursor) {
    auto token = next_sdl_token(cursor);
    if (!token) return forward_error(token);
    if (token->kind != SdlTokenKind::Name) return std::unexpected(failure_at("expected a name in SDL, found ", *token));
    return token->text;
}

Result<void> expect_sdl_punct(SdlCursor& cursor, char c) {
    auto token = next_sdl_token(cursor);
    if (!token) return forward_error(token);
    if (token->is_punct(c)) return {};
    return std::unexpected(failure_at(std::string("expected `") + c + "` in SDL, found ", *token));
}

// Reads up to the `close` that balances an `open` already consumed; only
// this pair is counted.
Result<void> skip_sdl_group(SdlCursor& cursor, char open, char close) {
    std::size_t depth = 1;
    for (;;) {
        auto token = next_sdl_token(cursor);
        if (!token) return forward_error(token);
        if (token->kind == SdlTokenKind::Eof) return std::unexpected(failure("unterminated group in SDL"));
        if (token->is_punct(open)) {
            ++depth;
        } else if (token->is_punct(close) && --depth == 0) {
            return {};
        }
    }
}

// Consumes a group when the next token opens it.
Result<void> skip_group_if_next(SdlCursor& cursor, char open, char close) {
    auto opened = take_punct(cursor, open);
    if (!opened) return forward_error(opened);
    if (*opened) return skip_sdl_group(cursor, open, close);
    return {};
}

// "@name" and "@name(...)", as many as follow.
Result<void> skip_sdl_directives(SdlCursor& cursor) {
    for (;;) {
        auto at_sign = take_punct(cursor, '@');
        if (!at_sign) return forward_error(at_sign);
        if (!*at_sign) return {};
        auto name = expect_sdl_name(cursor);
        if (!name) return forward_error(name);
        auto arguments = skip_group_if_next(cursor, '(', ')');
        if (!arguments) return forward_error(arguments);
    }
}

// A name, or "[" type "]", then an optional "!"; `nesting` counts the
// brackets around this reference.
Result<SdlTypeRef> parse_sdl_type_ref(SdlCursor& cursor, unsigned nesting = 0) {
    auto opened = take_punct(cursor, '[');
    if (!opened) return forward_error(opened);
    SdlTypeRef ref;
    if (*opened) {
        if (nesting == kMaxSdlListNesting) return std::unexpected(failure("list type nesting too deep in SDL"));
        auto element = parse_sdl_type_ref(cursor, nesting + 1);
        if (!element) return forward_error(element);
        auto closed = expect_sdl_punct(cursor, ']');
        if (!closed) return forward_error(closed);
        ref.form = SdlListType{std::make_unique<SdlTypeRef>(std::move(*element))};
    } else {
        auto name = expect_sdl_name(cursor);
        if (!name) return forward_error(name);
        ref.form = SdlNamedType{*name};
    }
    auto non_null = take_punct(cursor, '!');
    if (!non_null) return forward_error(non_null);
    std::visit([&](auto& form) { form.non_null = *non_null; }, ref.form);
    return ref;
}

// A default value after "=": a bracketed list, a braced object, or one token.
Result<void> skip_default_value(SdlCursor& cursor) {
    auto next = peek(cursor);
    if (!next) return forward_error(next);
    cursor.pos = next->end;
    if (next->token.is_punct('[')) return skip_sdl_group(cursor, '[', ']');
    if (next->token.is_punct('{')) return skip_sdl_group(cursor, '{', '}');
    return {};
}

// The rest of a field after its name: arguments, ":", the type, a default
// and directives.
Result<SdlTypeRef> parse_field_type(SdlCursor& cursor) {
    if (auto arguments = skip_group_if_next(cursor, '(', ')'); !arguments) return forward_error(arguments);
    if (auto colon = expect_sdl_punct(cursor, ':'); !colon) return forward_error(colon);
    auto type = parse_sdl_type_ref(cursor);
    if (!type) return forward_error(type);
    auto has_default = take_punct(cursor, '=');
    if (!has_default) return forward_error(has_default);
    if (*has_default) {
        if (auto skipped = skip_default_value(cursor); !skipped) return forward_error(skipped);
    }
    if (auto directives = skip_sdl_directives(cursor); !directives) return forward_error(directives);
    return type;
}

// "implements A & B"; the interfaces are not kept.
Result<void> skip_interfaces(SdlCursor& cursor) {
    auto next = peek(cursor);
    if (!next) return forward_error(next);
    if (!next->token.is_name("implements")) return {};
    cursor.pos = next->end;
    for (;;) {
        auto name = expect_sdl_name(cursor);
        if (!name) return forward_error(name);
        auto ampersand = take_punct(cursor, '&');
        if (!ampersand) return forward_error(ampersand);
        if (!*ampersand) return {};
    }
}

// Two fields of one name would become two lines of one key.
Result<void> parse_object_fields(SdlCursor& cursor, SdlDefinition& object) {
    TextSet names;
    for (;;) {
        auto description = take_description(cursor);
        if (!description) return forward_error(description);
        auto token = next_sdl_token(cursor);
        if (!token) return forward_error(token);
        if (token->is_punct('}')) return {};
        if (token->kind != SdlTokenKind::Name) {
            return std::unexpected(
                failure_at("unexpected token in type " + quoted_excerpt(object.name) + ": ", *token));
        }
        if (!names.emplace(token->text).second) {
            return std::unexpected(
                failure("duplicate field " + quoted_excerpt(token->text) + " in type " + quoted_excerpt(object.name)));
        }
        auto type = parse_field_type(cursor);
        if (!type) return forward_error(type);
        object.fields.push_back({token->text, *description, std::move(*type)});
    }
}

Result<SdlDefinition> parse_object(SdlCursor& cursor) {
    auto name = expect_sdl_name(cursor);
    if (!name) return forward_error(name);
    SdlDefinition object(*name, SdlDefinitionKind::Object);
    if (auto interfaces = skip_interfaces(cursor); !interfaces) return forward_error(interfaces);
    if (auto directives = skip_sdl_directives(cursor); !directives) return forward_error(directives);
    auto opened = take_punct(cursor, '{');
    if (!opened) return forward_error(opened);
    if (*opened) {
        if (auto fields = parse_object_fields(cursor, object); !fields) return forward_error(fields);
    }
    return object;
}

Result<SdlDefinition> parse_enum(SdlCursor& cursor) {
    auto name = expect_sdl_name(cursor);
    if (!name) return forward_error(name);
    SdlDefinition enumeration(*name, SdlDefinitionKind::Enum);
    if (auto directives = skip_sdl_directives(cursor); !directives) return forward_error(directives);
    if (auto opened = expect_sdl_punct(cursor, '{'); !opened) return forward_error(opened);
    for (;;) {
        if (auto description = take_description(cursor); !description) return forward_error(description);
        auto token = next_sdl_token(cursor);
        if (!token) return forward_error(token);
        if (token->is_punct('}')) return enumeration;
        if (token->kind != SdlTokenKind::Name) {
            return std::unexpected(failure_at("unexpected token in enum " + quoted_excerpt(*name) + ": ", *token));
        }
        if (auto directives = skip_sdl_directives(cursor); !directives) return forward_error(directives);
        enumeration.enum_values.push_back(token->text);
    }
}

// "union U = A | B"; the members are not kept.
Result<SdlDefinition> parse_union(SdlCursor& cursor) {
    auto name = expect_sdl_name(cursor);
    if (!name) return forward_error(name);
    if (auto directives = skip_sdl_directives(cursor); !directives) return forward_error(directives);
    auto members = take_punct(cursor, '=');
    if (!members) return forward_error(members);
    for (bool more = *members; more;) {
        auto member = expect_sdl_name(cursor);
        if (!member) return forward_error(member);
        auto bar = take_punct(cursor, '|');
        if (!bar) return forward_error(bar);
        more = *bar;
    }
    return SdlDefinition(*name, SdlDefinitionKind::Union);
}

Result<SdlDefinition> parse_scalar(SdlCursor& cursor) {
    auto name = expect_sdl_name(cursor);
    if (!name) return forward_error(name);
    if (auto directives = skip_sdl_directives(cursor); !directives) return forward_error(directives);
    return SdlDefinition(*name, SdlDefinitionKind::Scalar);
}

// Steps over a schema or directive definition or an extension: up to the
// next definition keyword, or through its braced body.
Result<void> skip_definition(SdlCursor& cursor) {
    for (;;) {
        auto next = peek(cursor);
        if (!next) return forward_error(next);
        const SdlToken& token = next->token;
        if (token.kind == SdlTokenKind::Eof) return {};
        if (token.kind == SdlTokenKind::Name &&
            std::ranges::find(kDefinitionKeywords, token.text) != kDefinitionKeywords.end()) {
            return {};
        }
        cursor.pos = next->end;
        if (token.is_punct('{')) return skip_sdl_group(cursor, '{', '}');
        Result<void> skipped;
        if (token.is_punct('(')) skipped = skip_sdl_group(cursor, '(', ')');
        if (token.is_punct('[')) skipped = skip_sdl_group(cursor, '[', ']');
        if (!skipped) return forward_error(skipped);
    }
}

// The definition that `keyword` opens, when it is one that is kept.
Result<SdlDefinition> parse_kept_definition(SdlCursor& cursor, std::string_view keyword) {
    if (keyword == "type" || keyword == "input" || keyword == "interface") return parse_object(cursor);
    if (keyword == "enum") return parse_enum(cursor);
    if (keyword == "union") return parse_union(cursor);
    if (keyword == "scalar") return parse_scalar(cursor);
    return std::unexpected(failure("unexpected `" + quoted_excerpt(keyword) + "` in SDL"));
}

// The definition that `keyword` opens, appended to `definitions` when it is
// one that is kept.
Result<void> parse_definition(SdlCursor& cursor, std::string_view keyword, std::vector<SdlDefinition>& definitions) {
    if (keyword == "schema" || keyword == "directive") return skip_definition(cursor);
    if (keyword == "extend") {
        auto extended = next_sdl_token(cursor);
        if (!extended) return forward_error(extended);
        return skip_definition(cursor);
    }
    auto definition = parse_kept_definition(cursor, keyword);
    if (!definition) return forward_error(definition);
    definitions.push_back(std::move(*definition));
    return {};
}

}  // namespace

Result<std::vector<SdlDefinition>> parse_sdl_document(SdlCursor& cursor) {
    std::vector<SdlDefinition> definitions;
    for (;;) {
        if (auto description = take_description(cursor); !description) return forward_error(description);
        auto token = next_sdl_token(cursor);
        if (!token) return forward_error(token);
        if (token->kind == SdlTokenKind::Eof) return definitions;
        if (token->kind != SdlTokenKind::Name) return std::unexpected(failure_at("unexpected token in SDL: ", *token));
        if (auto parsed = parse_definition(cursor, token->text, definitions); !parsed) return forward_error(parsed);
    }
}

}  // namespace bezo
