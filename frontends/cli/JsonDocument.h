#pragma once
// The JSON documents of --json: values built as the output is assembled, written indented by
// four spaces with each object's keys in order, one document per run. Texts from drives and
// packages are bytes, each taken as the character of the same code (Latin-1), so that no byte is
// lost or changes meaning; the program's own texts may be UTF-8. Every control character
// (below 20h, DEL and 80h-9Fh) is escaped, so no byte a terminal acts on is written raw.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cli {

class JsonValue {
public:
    enum class Encoding : uint8_t { Latin1, Utf8 };

    JsonValue() = default;  // null
    JsonValue(bool value) : kind(Kind::Boolean), number(value ? 1 : 0) {}
    JsonValue(int value) : kind(Kind::Integer), number(value) {}
    JsonValue(const char* text) : JsonValue(std::string_view(text), Encoding::Utf8) {}
    JsonValue(std::string_view bytes, Encoding encoding);

    static JsonValue Array() { return JsonValue(Kind::Array); }
    static JsonValue Object() { return JsonValue(Kind::Object); }

    // An object's member, made null when it is not there yet.
    JsonValue& operator[](std::string_view key);
    // Appends to an array.
    void Append(JsonValue value) { items.push_back(std::move(value)); }

    // The document, indented, ending with a line feed.
    std::string Indented() const;

private:
    enum class Kind : uint8_t { Null, Boolean, Integer, Text, Array, Object };

    explicit JsonValue(Kind kind) : kind(kind) {}
    void Write(std::string& json, int indent) const;

    Kind kind = Kind::Null;
    int64_t number = 0;
    std::string text;  // UTF-8
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;  // kept in key order
};

// Texts from drives and packages, and their absence.
inline JsonValue JsonText(std::string_view bytes) { return JsonValue(bytes, JsonValue::Encoding::Latin1); }
inline JsonValue JsonTextOrNull(std::string_view bytes) { return bytes.empty() ? JsonValue() : JsonText(bytes); }

// False when the output failed.
bool WriteJson(std::FILE* out, const JsonValue& document);

}  // namespace cli
