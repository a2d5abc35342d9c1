#include "platform/VDX_unit_Text.h"

#include <array>
#include <locale.h>
#include <memory>
#include <wctype.h>

namespace vdx {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kReplacement = 0xFFFD;

inline bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence starting at p (1..4), or 0 when
// the byte at p does not start one. Follows the table of well-formed byte
// sequences: the second byte's range excludes overlong forms, surrogates and
// code points above U+10FFFF.
inline std::size_t ValidSequenceLength(const unsigned char* p, std::size_t left, char32_t& cp) {
    const unsigned char b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 < 0xC2 || b0 > 0xF4)
        return 0;
    if (b0 < 0xE0) {
        if (left < 2 || !IsContinuation(p[1]))
            return 0;
        cp = (char32_t(b0 & 0x1F) << 6) | (p[1] & 0x3F);
        return 2;
    }
    if (left < 2)
        return 0;
    const unsigned char b1 = p[1];
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b0 == 0xE0)
        lo = 0xA0;
    else if (b0 == 0xED)
        hi = 0x9F;
    else if (b0 == 0xF0)
        lo = 0x90;
    else if (b0 == 0xF4)
        hi = 0x8F;
    if (b1 < lo || b1 > hi)
        return 0;
    if (b0 < 0xF0) {
        if (left < 3 || !IsContinuation(p[2]))
            return 0;
        cp = (char32_t(b0 & 0x0F) << 12) | (char32_t(b1 & 0x3F) << 6) | (p[2] & 0x3F);
        return 3;
    }
    if (left < 4 || !IsContinuation(p[2]) || !IsContinuation(p[3]))
        return 0;
    cp = (char32_t(b0 & 0x07) << 18) | (char32_t(b1 & 0x3F) << 12) | (char32_t(p[2] & 0x3F) << 6) |
         (p[3] & 0x3F);
    return 4;
}

inline bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

struct TUpperTable {
    std::array<char16_t, 0x10000> map{};

    TUpperTable() {
        for (std::size_t i = 0; i < map.size(); ++i)
            map[i] = static_cast<char16_t>(i);
        locale_t loc = static_cast<locale_t>(nullptr);
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"}) {
            loc = ::newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(nullptr));
            if (loc)
                break;
        }
        if (!loc) {
            // No UTF-8 locale at all: at least the ASCII letters.
            for (char16_t c = u'a'; c <= u'z'; ++c)
                map[c] = static_cast<char16_t>(c - u'a' + u'A');
            return;
        }
        for (std::size_t i = 0; i < map.size(); ++i) {
            if (IsSurrogate(static_cast<char32_t>(i)))
                continue;
            const wint_t up = ::towupper_l(static_cast<wint_t>(i), loc);
            if (up < 0x10000 && !IsSurrogate(static_cast<char32_t>(up)))
                map[i] = static_cast<char16_t>(up);
        }
        ::freelocale(loc);
    }
};

const TUpperTable& UpperTable() {
    static const auto table = std::make_unique<TUpperTable>();
    return *table;
}

} // namespace

std::u16string DecodeFileName(std::string_view bytes) {
    std::u16string out;
    DecodeFileName(bytes, out);
    return out;
}

void DecodeFileName(std::string_view bytes, std::u16string& out) {
    // Never more code units than bytes: written through a pointer into a
    // buffer of that size and cut to length at the end. Resizing keeps the
    // buffer's capacity, so a reused buffer allocates only for a longer name.
    out.resize(bytes.size());
    char16_t* dst = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            *dst++ = b;
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = ValidSequenceLength(p + i, n - i, cp);
        if (len == 0) {
            // Only this byte is escaped; decoding resumes at the next one, so
            // the bytes of a broken sequence are each kept on their own.
            *dst++ = static_cast<char16_t>(kEscapeBase + b);
            ++i;
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            *dst++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *dst++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
            i += len;
        } else {
            *dst++ = static_cast<char16_t>(cp);
            i += len;
        }
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
}

std::string EncodeFileName(std::u16string_view text) {
    std::string out;
    AppendEncodedFileName(text, out);
    return out;
}

void AppendEncodedFileName(std::u16string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                const char32_t cp =
                    0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
                AppendUtf8(out, cp);
                ++i;
            } else {
                AppendUtf8(out, kReplacement);
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            if (c >= 0xDC80 && c <= 0xDCFF)
                out.push_back(static_cast<char>(c - kEscapeBase));
            else
                AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, c);
        }
    }
}

namespace {

void AppendOctalByte(std::string& out, unsigned char byte) {
    out.push_back('\\');
    out.push_back(static_cast<char>('0' + (byte >> 6)));
    out.push_back(static_cast<char>('0' + ((byte >> 3) & 7)));
    out.push_back(static_cast<char>('0' + (byte & 7)));
}

} // namespace

std::string TerminalName(std::u16string_view text) {
    std::string out;
    AppendTerminalName(text, out);
    return out;
}

void AppendTerminalName(std::u16string_view text, std::string& out) {
    static constexpr char kNamed[] = "abtnvfr"; // escapes of 7 to 13
    out.reserve(out.size() + text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c >= 7 && c <= 13) {
            out.push_back('\\');
            out.push_back(kNamed[c - 7]);
        } else if (c < 0x20 || c == 0x7F) {
            AppendOctalByte(out, static_cast<unsigned char>(c));
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (c >= 0x80 && c <= 0x9F) {
            // Shown as the bytes the name holds: its UTF-8 encoding.
            AppendOctalByte(out, static_cast<unsigned char>(0xC0 | (c >> 6)));
            AppendOctalByte(out, static_cast<unsigned char>(0x80 | (c & 0x3F)));
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            AppendOctalByte(out, static_cast<unsigned char>(c - kEscapeBase));
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            AppendEncodedFileName(text.substr(i, 2), out);
            ++i;
        } else {
            AppendEncodedFileName(text.substr(i, 1), out); // a lone surrogate as U+FFFD
        }
    }
}

char16_t UpperChar(char16_t c) {
    return UpperTable().map[c];
}

void UpperCaseInPlace(char16_t* text, std::size_t n) {
    const auto& map = UpperTable().map;
    for (std::size_t i = 0; i < n; ++i)
        text[i] = map[text[i]];
}

} // namespace vdx
