// The --json documents: values and their indented text.

#include "frontends/cli/JsonDocument.h"

#include <algorithm>

namespace cli {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// One character of UTF-8 text from position i on; a malformed sequence is one replacement
// character per byte.
char32_t NextUtf8(std::string_view text, std::size_t& i)
{
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    int length = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 1;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 2;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 3;
        code = lead & 0x07;
    } else {
        return kReplacement;
    }
    if (i + static_cast<std::size_t>(length) > text.size()) return kReplacement;
    for (int k = 0; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((next & 0xC0) != 0x80) return kReplacement;
        code = (code << 6) | (next & 0x3F);
    }
    const char32_t shortest[] = {0, 0x80, 0x800, 0x10000};
    if (code < shortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kReplacement;
    i += static_cast<std::size_t>(length);
    return code;
}

// \u00XX for a code below 0x100, its hex digits from digits (lower or upper case).
void AppendUnicodeEscape(std::string& json, char32_t code, const char (&digits)[17])
{
    json += "\\u00";
    json += digits[(code >> 4) & 0xF];
    json += digits[code & 0xF];
}

void AppendEscaped(std::string& json, char32_t code)
{
    switch (code) {
    case '"': json += "\\\""; return;
    case '\\': json += "\\\\"; return;
    case '\b': json += "\\b"; return;
    case '\f': json += "\\f"; return;
    case '\n': json += "\\n"; return;
    case '\r': json += "\\r"; return;
    case '\t': json += "\\t"; return;
    default: break;
    }
    if (code < 0x20) {
        AppendUnicodeEscape(json, code, "0123456789abcdef");
    } else if (code == 0x7F || (code >= 0x80 && code <= 0x9F)) {
        AppendUnicodeEscape(json, code, "0123456789ABCDEF");
    } else {
        AppendUtf8(json, code);
    }
}

void AppendQuoted(std::string& json, std::string_view utf8)
{
    json += '"';
    for (std::size_t i = 0; i < utf8.size();) AppendEscaped(json, NextUtf8(utf8, i));
    json += '"';
}

void AppendIndent(std::string& json, int indent) { json.append(static_cast<std::size_t>(4 * indent), ' '); }

}  // namespace

JsonValue::JsonValue(std::string_view bytes, Encoding encoding) : kind(Kind::Text)
{
    if (encoding == Encoding::Utf8) {
        for (std::size_t i = 0; i < bytes.size();) AppendUtf8(text, NextUtf8(bytes, i));
        return;
    }
    for (const char byte : bytes) AppendUtf8(text, static_cast<unsigned char>(byte));
}

JsonValue& JsonValue::operator[](std::string_view key)
{
    const auto place = std::lower_bound(members.begin(), members.end(), key,
                                        [](const auto& member, std::string_view k) { return member.first < k; });
    if (place != members.end() && place->first == key) return place->second;
    return members.insert(place, {std::string(key), JsonValue()})->second;
}

// Arrays and objects open on their line and close on their own, at their own indent; an empty
// one closes on the line after it opened.
void JsonValue::Write(std::string& json, int indent) const
{
    switch (kind) {
    case Kind::Null: json += "null"; return;
    case Kind::Boolean: json += number != 0 ? "true" : "false"; return;
    case Kind::Integer: json += std::to_string(number); return;
    case Kind::Text: AppendQuoted(json, text); return;
    case Kind::Array:
        json += "[\n";
        for (std::size_t i = 0; i < items.size(); ++i) {
            AppendIndent(json, indent + 1);
            items[i].Write(json, indent + 1);
            json += i + 1 < items.size() ? ",\n" : "\n";
        }
        AppendIndent(json, indent);
        json += ']';
        return;
    case Kind::Object:
        json += "{\n";
        for (std::size_t i = 0; i < members.size(); ++i) {
            AppendIndent(json, indent + 1);
            AppendQuoted(json, members[i].first);
            json += ": ";
            members[i].second.Write(json, indent + 1);
            json += i + 1 < members.size() ? ",\n" : "\n";
        }
        AppendIndent(json, indent);
        json += '}';
        return;
    }
}

std::string JsonValue::Indented() const
{
    std::string json;
    Write(json, 0);
    json += '\n';
    return json;
}

bool WriteJson(std::FILE* out, const JsonValue& document)
{
    const std::string json = document.Indented();
    return std::fwrite(json.data(), 1, json.size(), out) == json.size();
}

}  // namespace cli
