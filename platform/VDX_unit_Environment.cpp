#include "platform/VDX_unit_Environment.h"

#include <cstring>
#include <unistd.h>

#include "platform/VDX_unit_Text.h"

extern char** environ;

namespace vdx {

namespace {

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && UpperChar(a[i]) != UpperChar(b[i]))
            return false;
    return true;
}

} // namespace

std::optional<std::u16string> EnvironmentVariable(std::u16string_view name) {
    if (name.empty() || name.find(u'=') != std::u16string_view::npos)
        return std::nullopt;
    const std::string wanted = ToUtf8(name);
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* text = *entry;
        if (std::strncmp(text, wanted.c_str(), wanted.size()) == 0 && text[wanted.size()] == '=')
            return FromUtf8(text + wanted.size() + 1);
    }
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* text = *entry;
        const char* equals = std::strchr(text, '=');
        if (!equals)
            continue;
        if (EqualNoCase(FromUtf8(std::string_view(text, equals - text)), name))
            return FromUtf8(equals + 1);
    }
    return std::nullopt;
}

std::u16string ExpandEnvironmentText(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find(u'%', pos);
        if (open == std::u16string_view::npos)
            break;
        const std::size_t close = text.find(u'%', open + 1);
        if (close == std::u16string_view::npos)
            break;
        out.append(text.substr(pos, open - pos));
        const std::u16string_view name = text.substr(open + 1, close - open - 1);
        // An unknown reference is kept with both "%" and scanning resumes
        // after it, so "%NOPE%x%" does not take "%x%" as a reference.
        if (auto value = EnvironmentVariable(name))
            out += *value;
        else
            out.append(text.substr(open, close - open + 1));
        pos = close + 1;
    }
    out.append(text.substr(pos));
    return out;
}

std::vector<std::pair<std::u16string, std::u16string>> EnvironmentVariables() {
    std::vector<std::pair<std::u16string, std::u16string>> out;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos)
            out.emplace_back(FromUtf8(text), std::u16string());
        else
            out.emplace_back(FromUtf8(text.substr(0, equals)), FromUtf8(text.substr(equals + 1)));
    }
    return out;
}

} // namespace vdx
