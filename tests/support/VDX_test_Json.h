#pragma once
// A small JSON reader for tests that check the command line's output.
// Strings keep \u escapes as the UTF-16 code units they name, lone
// surrogates included, so EncodeFileName turns a \uDCxx back into the raw
// byte xx (the same round trip a reader with surrogate escapes makes).

#include <string>
#include <string_view>
#include <vector>

namespace vdx::test {

struct TJson {
    enum class TType { Null, Bool, Number, String, Array, Object };
    TType type = TType::Null;
    bool boolean = false;
    double number = 0;
    std::u16string text;
    std::vector<TJson> items;
    // Object members as two parallel lists (a pair holding the incomplete
    // TJson would not compile with every standard library).
    std::vector<std::string> memberNames;
    std::vector<TJson> memberValues;

    // The member named key, or nullptr (also when this is not an object).
    const TJson* Find(std::string_view key) const;
    // The member named key; a Null value when there is none.
    const TJson& operator[](std::string_view key) const;
};

// Parses one JSON value that fills the whole text (blanks around it aside).
// false with error set (and the position) when the text is not valid JSON.
bool ParseJson(std::string_view text, TJson& out, std::string& error);

} // namespace vdx::test
