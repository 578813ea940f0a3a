#include "evidence/json_value.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "krv/krv_text.h"

namespace vedra {
namespace {

constexpr int kMaxDepth = 64;
constexpr size_t kMaxText = 64u << 20;

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

class Parser {
public:
    Parser(std::string_view text, std::string& error) : s_(text), error_(error) {}

    std::optional<JsonValue> Whole()
    {
        if (s_.size() > kMaxText)
            return Fail("the text is too large");
        std::optional<JsonValue> v = Value(0);
        if (!v)
            return v;
        Space();
        if (i_ != s_.size())
            return Fail("text after the value");
        return v;
    }

private:
    std::optional<JsonValue> Fail(const std::string& why)
    {
        if (error_.empty())
            error_ = "at byte " + std::to_string(i_) + ": " + why;
        return std::nullopt;
    }
    void Space()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
            ++i_;
    }
    bool Word(std::string_view w)
    {
        if (s_.substr(i_, w.size()) != w)
            return false;
        i_ += w.size();
        return true;
    }
    std::optional<JsonValue> Value(int depth)
    {
        if (depth > kMaxDepth)
            return Fail("nested too deep");
        Space();
        if (i_ >= s_.size())
            return Fail("a value is missing");
        const char c = s_[i_];
        if (c == '{')
            return ObjectValue(depth);
        if (c == '[')
            return ArrayValue(depth);
        if (c == '"') {
            std::optional<std::string> t = StringText();
            return t ? std::optional<JsonValue>(JsonValue::String(std::move(*t))) : std::nullopt;
        }
        if (Word("true"))
            return JsonValue::Bool(true);
        if (Word("false"))
            return JsonValue::Bool(false);
        if (Word("null"))
            return JsonValue();
        return NumberValue();
    }
    std::optional<JsonValue> NumberValue()
    {
        const size_t start = i_;
        if (i_ < s_.size() && s_[i_] == '-')
            ++i_;
        auto digits = [&] {
            const size_t from = i_;
            while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9')
                ++i_;
            return i_ > from;
        };
        if (!digits())
            return Fail("not a value");
        if (i_ < s_.size() && s_[i_] == '.') {
            ++i_;
            if (!digits())
                return Fail("a number's fraction has no digits");
        }
        if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
            ++i_;
            if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-'))
                ++i_;
            if (!digits())
                return Fail("a number's exponent has no digits");
        }
        return JsonValue::Number(std::string(s_.substr(start, i_ - start)));
    }
    std::optional<uint32_t> Hex4()
    {
        if (i_ + 4 > s_.size())
            return std::nullopt;
        uint32_t v = 0;
        const auto [end, ec] = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, v, 16);
        if (ec != std::errc() || end != s_.data() + i_ + 4)
            return std::nullopt;
        i_ += 4;
        return v;
    }
    std::optional<std::string> StringText()
    {
        ++i_; // the opening quote
        std::string out;
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (c == '"') {
                ++i_;
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                Fail("a control character in a string");
                return std::nullopt;
            }
            if (c != '\\') {
                const size_t n = krv_utf8_length(s_, i_);
                if (n == 0) {
                    Fail("a string that is not UTF-8");
                    return std::nullopt;
                }
                out.append(s_.substr(i_, n));
                i_ += n;
                continue;
            }
            if (++i_ >= s_.size())
                break;
            const char e = s_[i_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::optional<uint32_t> cp = Hex4();
                if (cp && *cp >= 0xD800 && *cp <= 0xDBFF && Word("\\u")) {
                    const std::optional<uint32_t> low = Hex4();
                    cp = low && *low >= 0xDC00 && *low <= 0xDFFF
                             ? std::optional<uint32_t>(0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00))
                             : std::nullopt;
                } else if (cp && *cp >= 0xD800 && *cp <= 0xDFFF) {
                    cp.reset();
                }
                if (!cp) {
                    Fail("a bad \\u escape");
                    return std::nullopt;
                }
                AppendUtf8(out, *cp);
                break;
            }
            default: Fail("a bad escape"); return std::nullopt;
            }
        }
        Fail("a string without its closing quote");
        return std::nullopt;
    }
    std::optional<JsonValue> ArrayValue(int depth)
    {
        ++i_;
        JsonValue a = JsonValue::Array();
        Space();
        if (Word("]"))
            return a;
        for (;;) {
            std::optional<JsonValue> v = Value(depth + 1);
            if (!v)
                return v;
            a.Push(std::move(*v));
            Space();
            if (Word("]"))
                return a;
            if (!Word(","))
                return Fail("expected , or ]");
        }
    }
    std::optional<JsonValue> ObjectValue(int depth)
    {
        ++i_;
        JsonValue o = JsonValue::Object();
        Space();
        if (Word("}"))
            return o;
        for (;;) {
            Space();
            if (i_ >= s_.size() || s_[i_] != '"')
                return Fail("expected a member name");
            std::optional<std::string> key = StringText();
            if (!key)
                return std::nullopt;
            Space();
            if (!Word(":"))
                return Fail("expected :");
            std::optional<JsonValue> v = Value(depth + 1);
            if (!v)
                return v;
            if (o.Find(*key))
                return Fail("the member \"" + *key + "\" twice");
            o.Set(std::move(*key), std::move(*v));
            Space();
            if (Word("}"))
                return o;
            if (!Word(","))
                return Fail("expected , or }");
        }
    }

    std::string_view s_;
    std::string& error_;
    size_t i_ = 0;
};

} // namespace

JsonValue JsonValue::Bool(bool b)
{
    JsonValue v;
    v.kind_ = Kind::Bool;
    v.bool_ = b;
    return v;
}

JsonValue JsonValue::Number(std::string text)
{
    JsonValue v;
    v.kind_ = Kind::Number;
    v.text_ = std::move(text);
    return v;
}

JsonValue JsonValue::Number(uint64_t n)
{
    return Number(std::to_string(n));
}

JsonValue JsonValue::String(std::string s)
{
    JsonValue v;
    v.kind_ = Kind::String;
    v.text_ = std::move(s);
    return v;
}

JsonValue JsonValue::Array()
{
    JsonValue v;
    v.kind_ = Kind::Array;
    return v;
}

JsonValue JsonValue::Object()
{
    JsonValue v;
    v.kind_ = Kind::Object;
    return v;
}

std::optional<uint64_t> JsonValue::unsignedNumber() const
{
    if (kind_ != Kind::Number)
        return std::nullopt;
    uint64_t n = 0;
    const auto [end, ec] = std::from_chars(text_.data(), text_.data() + text_.size(), n);
    if (ec != std::errc() || end != text_.data() + text_.size())
        return std::nullopt;
    return n;
}

std::optional<double> JsonValue::number() const
{
    if (kind_ != Kind::Number)
        return std::nullopt;
    return std::strtod(text_.c_str(), nullptr);
}

JsonValue& JsonValue::Push(JsonValue v)
{
    items_.push_back(std::move(v));
    return items_.back();
}

const JsonValue* JsonValue::Find(std::string_view key) const
{
    for (const auto& [k, v] : members_)
        if (k == key)
            return &v;
    return nullptr;
}

JsonValue& JsonValue::Set(std::string key, JsonValue v)
{
    for (auto& [k, old] : members_) {
        if (k == key) {
            old = std::move(v);
            return old;
        }
    }
    members_.emplace_back(std::move(key), std::move(v));
    return members_.back().second;
}

std::string JsonQuote(std::string_view text)
{
    std::string s = "\"";
    for (size_t at = 0; at < text.size();) {
        const size_t length = krv_utf8_length(text, at);
        if (length == 0) {
            s += "\\uFFFD"; // a byte that is no UTF-8: JSON holds only text
            ++at;
            continue;
        }
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += char(c);
        } else if (c == '\n') {
            s += "\\n";
        } else if (c == '\t') {
            s += "\\t";
        } else if (krv_is_control(text, at, length)) {
            char esc[8]; // the code point: the byte, or the second byte of a C1 control
            std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(uint8_t(text[at + length - 1])));
            s += esc;
        } else {
            s.append(text.substr(at, length));
        }
        at += length;
    }
    return s + "\"";
}

std::string JsonValue::Write() const
{
    switch (kind_) {
    case Kind::Null: return "null";
    case Kind::Bool: return bool_ ? "true" : "false";
    case Kind::Number: return text_;
    case Kind::String: return JsonQuote(text_);
    case Kind::Array: {
        std::string s = "[";
        for (size_t i = 0; i < items_.size(); ++i)
            s += (i ? "," : "") + items_[i].Write();
        return s + "]";
    }
    case Kind::Object: {
        std::string s = "{";
        for (size_t i = 0; i < members_.size(); ++i)
            s += (i ? "," : "") + JsonQuote(members_[i].first) + ":" + members_[i].second.Write();
        return s + "}";
    }
    }
    return "null";
}

std::optional<JsonValue> ParseJson(std::string_view text, std::string& error)
{
    error.clear();
    return Parser(text, error).Whole();
}

} // namespace vedra
