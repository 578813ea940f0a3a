// A small JSON reader and writer for the evidence files (manifests): objects,
// arrays, strings, numbers, true, false and null. Numbers are kept as their
// text so that sizes and hashes round-trip exactly. The reader takes any text
// and never reads outside it; depth and size are bounded.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vedra {

class JsonValue {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };

    JsonValue() = default;
    static JsonValue Bool(bool b);
    static JsonValue Number(std::string text);
    static JsonValue Number(uint64_t n);
    static JsonValue String(std::string s);
    static JsonValue Array();
    static JsonValue Object();

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }
    bool boolean() const { return bool_; }
    const std::string& text() const { return text_; } // a number's digits, a string's UTF-8
    std::optional<uint64_t> unsignedNumber() const;
    std::optional<double> number() const;

    // Arrays.
    const std::vector<JsonValue>& items() const { return items_; }
    JsonValue& Push(JsonValue v);
    // Objects keep the order members were added or read in.
    const std::vector<std::pair<std::string, JsonValue>>& members() const { return members_; }
    const JsonValue* Find(std::string_view key) const;
    JsonValue& Set(std::string key, JsonValue v);

    // Compact JSON, members in their order; strings as JsonQuote writes them.
    std::string Write() const;

private:
    Kind kind_ = Kind::Null;
    bool bool_ = false;
    std::string text_;
    std::vector<JsonValue> items_;
    std::vector<std::pair<std::string, JsonValue>> members_;
};

// `text` as a JSON string, quotes included, valid UTF-8 whatever bytes it
// holds: a byte that is not UTF-8 becomes \uFFFD, control characters \u00XX
// (\n and \t as such).
std::string JsonQuote(std::string_view text);

// Parses a whole text; nothing with `error` set ("at byte N: ...") when it is not JSON.
std::optional<JsonValue> ParseJson(std::string_view text, std::string& error);

} // namespace vedra
