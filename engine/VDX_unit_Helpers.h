#pragma once
// The text, number, time and path helpers every other unit uses, so that
// each rule (grouping digits, naming durations, normalizing paths) lives in
// one place. All functions are stateless.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/VDX_unit_SpecialFolders.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// One text of a list (history entries, excluded folders, log lines).
struct TStrItem {
    std::u16string text;
};
using TStrList = std::vector<TStrItem>;

// The path separator, and the characters no portable file name contains.
inline constexpr char16_t kPathDelim = u'/';
inline constexpr std::u16string_view kInvalidNameChars = u"\\/:*?\"<>|";

// Numbers and sizes.
std::u16string FormatNumber(std::int64_t value);
std::u16string FormatPlainNumber(std::int64_t value);

// Durations and dates. The parts of FormatDuration combine by addition.
enum TDurationPart : unsigned {
    kDurHours = 1,
    kDurMinutes = 2,
    kDurSeconds = 4,
    kDurMilliseconds = 8,
};
std::u16string FormatDuration(unsigned parts, double span);
std::u16string FormatFileTime(TFileTime ft);
std::u16string FormatStampNow();
// The stamp of a given local date-time (FormatStampNow formats the present).
std::u16string FormatStamp(const TCalendarTime& local);
TFileTime LocalToFileTime(double localDateTime);

// Names and paths. The trailing-"backslash" helpers work with kPathDelim.
std::u16string UpperCaseText(std::u16string_view text);
std::u16string DisplayCaseName(std::u16string_view text);
std::u16string NameWithoutExtension(std::u16string_view name);
std::u16string ReplaceInvalidNameChars(std::u16string_view text, char16_t replacement);
std::u16string AddTrailingBackslash(std::u16string_view path);
std::u16string RemoveTrailingBackslash(std::u16string_view path);
std::u16string ExpandEnvVars(std::u16string_view text);
// The path that text names with its environment references expanded, or
// ENAMETOOLONG (path empty) when the expansion is longer than ExpandEnvVars
// keeps: a path is never cut, since a cut path names another folder.
int ExpandPathEnvVars(std::u16string_view text, std::u16string& path);
// The longest expanded text ExpandEnvVars keeps, in UTF-16 code units.
inline constexpr std::size_t kMaxExpandedPathLength = 2000;
std::u16string LongPathForm(std::u16string_view path);
std::u16string RemoveLineBreaks(std::u16string_view text);
std::size_t LastPosition(std::u16string_view sub, std::u16string_view text);
// Characters with code 32 or less removed from both ends.
std::u16string TrimText(std::u16string_view text);

// File system queries. errorCode is the errno of the failed query.
bool FolderExists(std::u16string_view path, int& errorCode);
bool FolderExists(std::u16string_view path);
bool FolderExistsSlash(std::u16string_view path);
bool PathExists(std::u16string_view path);
bool ForceFolders(std::u16string_view path, int& errorCode);

// Lists. TidyHistory compares entries trimmed and without one trailing
// ignoredTrailingChar; letters a to z also without case unless Exact is asked
// for (folder and log paths, which Linux tells apart by case).
enum class THistoryCompare { IgnoreAsciiCase, Exact };
void TidyHistory(TStrList& list, char16_t ignoredTrailingChar, std::size_t maxCount,
                 THistoryCompare compare = THistoryCompare::IgnoreAsciiCase);

} // namespace vdx
