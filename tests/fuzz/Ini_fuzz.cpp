// libFuzzer target for the INI store: parses the input as a file, then asks
// for sections and keys named by pieces of the input itself, so lookups hit
// names that exist as well as near misses. Built only with VDX_FUZZ (clang).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "persistence/KLX_unit_Ini.h"
#include "platform/VDX_unit_Text.h"

namespace {

constexpr std::size_t kMaxNames = 12;

// The pieces between the bytes that end names (line breaks, "=", brackets),
// trimmed as the parser trims; the empty name is always tried too.
std::vector<std::u16string> NamesIn(std::string_view bytes) {
    std::vector<std::u16string> names{std::u16string()};
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size() && names.size() < kMaxNames; ++i) {
        if (i < bytes.size() &&
            std::string_view("\r\n=[]").find(bytes[i]) == std::string_view::npos)
            continue;
        std::string_view piece = bytes.substr(start, i - start);
        while (!piece.empty() && static_cast<unsigned char>(piece.front()) <= 32)
            piece.remove_prefix(1);
        while (!piece.empty() && static_cast<unsigned char>(piece.back()) <= 32)
            piece.remove_suffix(1);
        if (!piece.empty() && piece.size() <= 256)
            names.push_back(vdx::FromUtf8(piece));
        start = i + 1;
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // One store for every input: a load empties it first, and its tables
    // keep their memory, so each run does not pay for megabytes of them.
    static vdx::TKLXIni ini;
    ini.LoadFromText(bytes);

    const std::vector<std::u16string> names = NamesIn(bytes);
    std::vector<int> sections{-1, 0, 1, 1 << 30};
    for (const std::u16string& name : names)
        sections.push_back(ini.FindSection(name));
    for (int section : sections)
        for (const std::u16string& key : names) {
            const std::u16string text = ini.ReadString(section, key, u"?");
            // Whatever a value holds, it goes back to the same bytes.
            if (vdx::FromUtf8(vdx::ToUtf8(text)) != text)
                __builtin_trap();
            ini.ReadInteger(section, key, -1);
            ini.ReadFloat(section, key, -1.0);
        }
    // The normalised dump of what was loaded walks every record and pool.
    const std::string dump = ini.SavedText();
    if (dump.size() > 4 * size + 64)
        __builtin_trap();
    return 0;
}
