#include "persistence/VDX_unit_IniValues.h"

#include <limits>

#include "engine/VDX_unit_Helpers.h"
#include "persistence/KLX_unit_Ini.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

// A value no key of the program ever holds, so that ReadInteger tells an
// absent or invalid key from one holding the default.
constexpr std::int32_t kAbsent = std::numeric_limits<std::int32_t>::min();

bool IsLineBreakOrZero(char16_t c) {
    return c == u'\r' || c == u'\n' || c == 0;
}

// The reads below take a key as text or prepared (TIniKey); both forms share
// one body.
template <typename TKey>
bool ReadBoolOf(const TKLXIni& ini, int section, const TKey& key, bool defaultValue) {
    const std::int32_t value = ini.ReadInteger(section, key, kAbsent);
    if (value == 1)
        return true;
    if (value == 0)
        return false;
    return defaultValue;
}

template <typename TKey>
std::int32_t ReadRangedOf(const TKLXIni& ini, int section, const TKey& key,
                          std::int32_t defaultValue, std::int32_t low, std::int32_t high) {
    const std::int32_t value = ini.ReadInteger(section, key, defaultValue);
    return value >= low && value <= high ? value : defaultValue;
}

template <typename TKey>
std::int32_t ReadCountOf(const TKLXIni& ini, int section, const TKey& key) {
    const std::int32_t value = ini.ReadInteger(section, key, 0);
    if (value < 0)
        return 0;
    return value > kMaxStoredCount ? kMaxStoredCount : value;
}

} // namespace

bool ReadBool(const TKLXIni& ini, int section, std::u16string_view key, bool defaultValue) {
    return ReadBoolOf(ini, section, key, defaultValue);
}

bool ReadBool(const TKLXIni& ini, int section, const TIniKey& key, bool defaultValue) {
    return ReadBoolOf(ini, section, key, defaultValue);
}

void WriteBool(TKLXIni& ini, int section, std::u16string_view key, bool value) {
    ini.WriteInteger(section, key, value ? 1 : 0);
}

std::int32_t ReadRanged(const TKLXIni& ini, int section, std::u16string_view key,
                        std::int32_t defaultValue, std::int32_t low, std::int32_t high) {
    return ReadRangedOf(ini, section, key, defaultValue, low, high);
}

std::int32_t ReadRanged(const TKLXIni& ini, int section, const TIniKey& key,
                        std::int32_t defaultValue, std::int32_t low, std::int32_t high) {
    return ReadRangedOf(ini, section, key, defaultValue, low, high);
}

std::int32_t ReadCount(const TKLXIni& ini, int section, std::u16string_view key) {
    return ReadCountOf(ini, section, key);
}

std::int32_t ReadCount(const TKLXIni& ini, int section, const TIniKey& key) {
    return ReadCountOf(ini, section, key);
}

bool IsColorValue(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    if ((bits & 0xFF000000u) == 0)
        return true;
    return (bits & 0xFF000000u) == 0xFF000000u &&
           (bits & 0x00FFFFFFu) <= static_cast<std::uint32_t>(kMaxSystemColorIndex);
}

std::int32_t ReadColor(const TKLXIni& ini, int section, std::u16string_view key,
                       std::int32_t defaultValue) {
    const std::int32_t value = ini.ReadInteger(section, key, defaultValue);
    return IsColorValue(value) ? value : defaultValue;
}

std::u16string StoredText(std::u16string_view text) {
    for (char16_t c : text)
        if (IsLineBreakOrZero(c))
            return std::u16string();
    return TrimText(text);
}

void WriteText(TKLXIni& ini, int section, std::u16string_view key, std::u16string_view text) {
    ini.WriteString(section, key, StoredText(text));
}

std::u16string_view NumberedKey(std::u16string& buffer, std::u16string_view prefix,
                                std::int64_t number) {
    buffer.assign(prefix);
    AppendDecimal(buffer, number);
    return buffer;
}

std::string_view NumberedSection(std::string& buffer, std::string_view prefix,
                                 std::int64_t number) {
    buffer.assign(prefix);
    AppendDecimal(buffer, number);
    return buffer;
}

} // namespace vdx
