#include "tests/support/VDX_test_Json.h"

#include <cstdlib>

#include "platform/VDX_unit_Text.h"

namespace vdx::test {
namespace {

class TParser {
public:
    explicit TParser(std::string_view text) : m_text(text) {}

    bool Document(TJson& out, std::string& error) {
        const bool ok = Value(out, 0) && (SkipBlanks(), m_pos == m_text.size());
        if (!ok)
            error = "invalid JSON at byte " + std::to_string(m_pos);
        return ok;
    }

private:
    void SkipBlanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\n' ||
                                         m_text[m_pos] == '\r' || m_text[m_pos] == '\t'))
            ++m_pos;
    }
    bool Take(char c) {
        SkipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Word(std::string_view word) {
        if (m_text.substr(m_pos, word.size()) != word)
            return false;
        m_pos += word.size();
        return true;
    }

    bool Value(TJson& out, int depth) {
        if (depth > 64)
            return false;
        SkipBlanks();
        if (m_pos >= m_text.size())
            return false;
        const char c = m_text[m_pos];
        if (c == '{')
            return Object(out, depth);
        if (c == '[')
            return Array(out, depth);
        if (c == '"') {
            out.type = TJson::TType::String;
            return String(out.text);
        }
        if (Word("true") || Word("false")) {
            out.type = TJson::TType::Bool;
            out.boolean = c == 't';
            return true;
        }
        if (Word("null")) {
            out.type = TJson::TType::Null;
            return true;
        }
        return Number(out);
    }

    bool Number(TJson& out) {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() &&
               std::string_view("+-0123456789.eE").find(m_text[m_pos]) != std::string_view::npos)
            ++m_pos;
        if (m_pos == start)
            return false;
        const std::string digits(m_text.substr(start, m_pos - start));
        char* end = nullptr;
        out.type = TJson::TType::Number;
        out.number = std::strtod(digits.c_str(), &end);
        return end == digits.c_str() + digits.size();
    }

    bool Hex4(char16_t& unit) {
        if (m_pos + 4 > m_text.size())
            return false;
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = m_text[m_pos++];
            value <<= 4;
            if (h >= '0' && h <= '9')
                value |= static_cast<unsigned>(h - '0');
            else if (h >= 'a' && h <= 'f')
                value |= static_cast<unsigned>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                value |= static_cast<unsigned>(h - 'A' + 10);
            else
                return false;
        }
        unit = static_cast<char16_t>(value);
        return true;
    }

    bool String(std::u16string& out) {
        ++m_pos;         // the opening quote
        std::string raw; // unescaped UTF-8 run, decoded when an escape or the end comes
        for (;;) {
            if (m_pos >= m_text.size())
                return false;
            const char c = m_text[m_pos++];
            if (c == '"')
                break;
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                raw.push_back(c);
                continue;
            }
            out += DecodeFileName(raw);
            raw.clear();
            if (m_pos >= m_text.size())
                return false;
            const char e = m_text[m_pos++];
            char16_t unit = 0;
            switch (e) {
            case '"':
                unit = u'"';
                break;
            case '\\':
                unit = u'\\';
                break;
            case '/':
                unit = u'/';
                break;
            case 'b':
                unit = u'\b';
                break;
            case 'f':
                unit = u'\f';
                break;
            case 'n':
                unit = u'\n';
                break;
            case 'r':
                unit = u'\r';
                break;
            case 't':
                unit = u'\t';
                break;
            case 'u':
                if (!Hex4(unit))
                    return false;
                break;
            default:
                return false;
            }
            out += unit;
        }
        out += DecodeFileName(raw);
        return true;
    }

    bool Array(TJson& out, int depth) {
        ++m_pos;
        out.type = TJson::TType::Array;
        if (Take(']'))
            return true;
        do {
            out.items.emplace_back();
            if (!Value(out.items.back(), depth + 1))
                return false;
        } while (Take(','));
        return Take(']');
    }

    bool Object(TJson& out, int depth) {
        ++m_pos;
        out.type = TJson::TType::Object;
        if (Take('}'))
            return true;
        do {
            SkipBlanks();
            if (m_pos >= m_text.size() || m_text[m_pos] != '"')
                return false;
            std::u16string key;
            if (!String(key) || !Take(':'))
                return false;
            out.memberNames.push_back(EncodeFileName(key));
            out.memberValues.emplace_back();
            if (!Value(out.memberValues.back(), depth + 1))
                return false;
        } while (Take(','));
        return Take('}');
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace

const TJson* TJson::Find(std::string_view key) const {
    for (std::size_t i = 0; i < memberNames.size(); ++i)
        if (memberNames[i] == key)
            return &memberValues[i];
    return nullptr;
}

const TJson& TJson::operator[](std::string_view key) const {
    static const TJson kNull;
    const TJson* value = Find(key);
    return value ? *value : kNull;
}

bool ParseJson(std::string_view text, TJson& out, std::string& error) {
    out = TJson{};
    return TParser(text).Document(out, error);
}

} // namespace vdx::test
