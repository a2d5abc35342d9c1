#pragma once
// Typed values on top of the INI store, shared by the settings, the column
// layouts and the tool bar layouts: booleans stored as 1 and 0, ranged
// integers, colours, list counts and numbered key names. Every read falls back
// to the caller's default on a bad value, so a damaged file never yields a
// value the windows cannot use.

#include <cstdint>
#include <string>
#include <string_view>

namespace vdx {

class TKLXIni;
class TIniKey;

// The largest list count taken from a file. Counts come from a file the user
// may have edited; a count beyond this is cut so that a damaged count cannot
// keep the loader looking for millions of absent keys.
inline constexpr std::int32_t kMaxStoredCount = 100'000;

// 1 is true, 0 is false; any other value or an absent key gives the default.
bool ReadBool(const TKLXIni& ini, int section, std::u16string_view key, bool defaultValue);
bool ReadBool(const TKLXIni& ini, int section, const TIniKey& key, bool defaultValue);
void WriteBool(TKLXIni& ini, int section, std::u16string_view key, bool value);

// The value when it lies in [low, high], else the default.
std::int32_t ReadRanged(const TKLXIni& ini, int section, std::u16string_view key,
                        std::int32_t defaultValue, std::int32_t low, std::int32_t high);
std::int32_t ReadRanged(const TKLXIni& ini, int section, const TIniKey& key,
                        std::int32_t defaultValue, std::int32_t low, std::int32_t high);

// A list count: negative counts read as 0, counts above kMaxStoredCount are cut.
std::int32_t ReadCount(const TKLXIni& ini, int section, std::u16string_view key);
std::int32_t ReadCount(const TKLXIni& ini, int section, const TIniKey& key);

// A colour value: 0x00BBGGRR, or a system colour 0xFF000000 plus an index up
// to kMaxSystemColorIndex (negative as a signed number). Anything else gives
// the default.
inline constexpr std::int32_t kMaxSystemColorIndex = 30;
bool IsColorValue(std::int32_t value);
std::int32_t ReadColor(const TKLXIni& ini, int section, std::u16string_view key,
                       std::int32_t defaultValue);

// Writes text as a value. The store trims values when it reads them and ends
// a value at a line break, so text is written trimmed, and text holding a
// line break or a zero character (a Linux folder name may hold a line feed)
// is written empty: it then reads back as absent instead of as a different
// value plus a stray line.
void WriteText(TKLXIni& ini, int section, std::u16string_view key, std::u16string_view text);
// The value WriteText writes for text, which is also what a load gives back.
std::u16string StoredText(std::u16string_view text);

// prefix followed by the decimal number, built in buffer (reused across calls
// so that numbered keys cost no allocation); the view lives as long as buffer
// is unchanged.
std::u16string_view NumberedKey(std::u16string& buffer, std::u16string_view prefix,
                                std::int64_t number);
// The same in UTF-8, for section names handed to AddSection.
std::string_view NumberedSection(std::string& buffer, std::string_view prefix, std::int64_t number);

} // namespace vdx
