#pragma once
// Text as the program holds it: UTF-16. File names are bytes on Linux; the
// lossless codec here turns them into UTF-16 and back so that every name,
// even one that is not valid UTF-8, reaches the file system byte for byte.

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

namespace vdx {

// Decodes bytes as UTF-8. A byte that is not part of a valid, shortest-form
// UTF-8 sequence (stray continuation bytes, overlong forms, encoded
// surrogates, truncated sequences, 0xF5..0xFF) becomes the lone surrogate
// U+DC00 + byte, i.e. U+DC80..U+DCFF.
std::u16string DecodeFileName(std::string_view bytes);
// The same into out, reusing its capacity: for loops that decode many names.
void DecodeFileName(std::string_view bytes, std::u16string& out);

// Reverses DecodeFileName: lone surrogates U+DC80..U+DCFF become the raw byte
// they stand for, every other code point is written as UTF-8. Any other lone
// surrogate (which no decoded name contains) is written as U+FFFD.
std::string EncodeFileName(std::u16string_view text);
// The same appended to out, reusing its capacity: for loops that build many
// paths (a folder's bytes, then a name's).
void AppendEncodedFileName(std::u16string_view text, std::string& out);

// A name or message as UTF-8 safe to print on a terminal, as `ls -b` quotes
// names: control characters (C0, DEL and C1) and the raw bytes of a name
// that is not valid UTF-8 become visible escapes (\n, \r, \t, \a, \b, \f,
// \v, else \ooo for each byte: ESC is \033, U+009B is \302\233, a raw byte
// 0xFF is \377), and a backslash becomes \\ so that no escape is ambiguous.
// A name with an escape sequence or a line break in it can then neither
// move the cursor nor forge a line of its own. JSON and CSV output have
// their own escaping and do not use this.
std::string TerminalName(std::u16string_view text);
void AppendTerminalName(std::u16string_view text, std::string& out);

// Appends one Unicode scalar value (not a surrogate) as UTF-8.
inline void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Appends an integer in decimal digits, without grouping and with a leading
// "-" when negative (also the most negative value): the program's own
// number format, for any character type of text.
template <typename TChar, typename TInt>
void AppendDecimal(std::basic_string<TChar>& out, TInt value) {
    static_assert(std::is_integral_v<TInt> && !std::is_same_v<TInt, bool>);
    using TMagnitude = std::make_unsigned_t<TInt>;
    auto magnitude = static_cast<TMagnitude>(value);
    if constexpr (std::is_signed_v<TInt>) {
        if (value < 0) {
            out.push_back(static_cast<TChar>('-'));
            magnitude = static_cast<TMagnitude>(TMagnitude{0} - magnitude);
        }
    }
    TChar digits[20]; // enough for 2^64 - 1
    int n = 0;
    do {
        digits[n++] = static_cast<TChar>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0)
        out.push_back(digits[--n]);
}

// The same codec under the names used for text that is not a file name
// (settings values, messages, test output).
inline std::u16string FromUtf8(std::string_view bytes) {
    return DecodeFileName(bytes);
}
inline std::string ToUtf8(std::u16string_view text) {
    return EncodeFileName(text);
}

// The system's Unicode upper-casing of one UTF-16 code unit: the C library's
// case table of a UTF-8 locale, looked up in a 64K table built once on first
// use. Surrogates and characters whose upper case lies outside the BMP stay
// unchanged, so upper-casing never changes the length of a text.
char16_t UpperChar(char16_t c);

// Upper-cases n code units in place with UpperChar.
void UpperCaseInPlace(char16_t* text, std::size_t n);
inline void UpperCaseInPlace(std::u16string& text) {
    UpperCaseInPlace(text.data(), text.size());
}

} // namespace vdx
