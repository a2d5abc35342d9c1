#include "engine/VDX_unit_Helpers.h"

#include <cerrno>
#include <cmath>
#include <sys/stat.h>
#include <utility>

#include "platform/VDX_unit_Environment.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Locale.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

constexpr std::size_t kMaxExpandedLength = kMaxExpandedPathLength;
constexpr std::int64_t kMsPerDay = 86'400'000;

// Decimal digits of an unsigned magnitude, most significant first.
std::u16string Digits(std::uint64_t value) {
    std::u16string text;
    AppendDecimal(text, value);
    return text;
}

// The magnitude of a signed value, also for the most negative one.
std::uint64_t Magnitude(std::int64_t value) {
    return value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
}

void AppendPart(std::u16string& out, std::int64_t count, const char16_t* one,
                const char16_t* many) {
    if (count == 0)
        return;
    if (count == 1) {
        out += one;
    } else {
        out += Digits(static_cast<std::uint64_t>(count));
        out += many;
    }
}

std::u16string ZeroPadded(int value, std::size_t width) {
    std::u16string text = Digits(Magnitude(value));
    if (text.size() < width)
        text.insert(0, width - text.size(), u'0');
    if (value < 0)
        text.insert(text.begin(), u'-');
    return text;
}

// The key under which two history entries count as the same entry.
std::u16string HistoryKey(std::u16string_view text, char16_t ignoredTrailingChar,
                          THistoryCompare compare) {
    std::u16string key = TrimText(text);
    if (compare == THistoryCompare::IgnoreAsciiCase)
        for (char16_t& c : key)
            if (c >= u'a' && c <= u'z')
                c = static_cast<char16_t>(c - (u'a' - u'A'));
    if (!key.empty() && key.back() == ignoredTrailingChar)
        key.pop_back();
    return key;
}

} // namespace

// ---------------------------------------------------------------------------
// Numbers and sizes

std::u16string FormatNumber(std::int64_t value) {
    // Grouping the whole magnitude reads exactly like the quotient and the
    // nine-digit remainder of a division by 10^9 grouped separately, and it
    // also holds for the most negative value.
    const std::u16string digits = Digits(Magnitude(value));
    const char16_t separator = ThousandSeparator();
    std::u16string text;
    text.reserve(digits.size() + digits.size() / 3 + 1);
    if (value < 0)
        text.push_back(u'-');
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            text.push_back(separator);
        text.push_back(digits[i]);
    }
    return text;
}

std::u16string FormatPlainNumber(std::int64_t value) {
    std::u16string text = Digits(Magnitude(value));
    if (value < 0)
        text.insert(text.begin(), u'-');
    return text;
}

// ---------------------------------------------------------------------------
// Durations and dates

std::u16string FormatDuration(unsigned parts, double span) {
    // Only the time of day counts. The span is rounded to whole milliseconds
    // before splitting, so 61.4 s (stored as 61.4/86400 days) yields 400 ms
    // and not 399. A negative span (clock set back) is shown by its length.
    std::int64_t ms = 0;
    if (std::isfinite(span)) {
        const double length = std::fabs(span);
        const double dayFraction = length - std::floor(length);
        ms = std::llround(dayFraction * static_cast<double>(kMsPerDay));
        if (ms >= kMsPerDay)
            ms -= kMsPerDay;
    }
    const std::int64_t hours = ms / 3'600'000;
    const std::int64_t minutes = ms / 60'000 % 60;
    const std::int64_t seconds = ms / 1000 % 60;
    const std::int64_t milliseconds = ms % 1000;

    std::u16string text;
    if (parts & kDurHours)
        AppendPart(text, hours, u"1 hour ", u" hours ");
    if (parts & kDurMinutes)
        AppendPart(text, minutes, u"1 minute ", u" minutes ");
    if (parts & kDurSeconds)
        AppendPart(text, seconds, u"1 second ", u" seconds ");
    if (parts & kDurMilliseconds)
        AppendPart(text, milliseconds, u"1 millisecond ", u" milliseconds ");
    if (text.empty())
        return u"none";
    text.pop_back();
    return text;
}

std::u16string FormatFileTime(TFileTime ft) {
    TCalendarTime local;
    if (!FileTimeToLocalCalendar(ft, local))
        return u"??";
    return FormatShortDate(local) + u" " + FormatLongTime(local);
}

std::u16string FormatStamp(const TCalendarTime& local) {
    std::u16string text = MonthName(local.month);
    text += u' ';
    text += Digits(Magnitude(local.day));
    text += u", ";
    text += ZeroPadded(local.year, 4);
    text += u" at ";
    text += FormatLongTime(local);
    return ReplaceInvalidNameChars(text, u'-');
}

std::u16string FormatStampNow() {
    TCalendarTime local;
    if (!FileTimeToLocalCalendar(NowFileTime(), local))
        // Only a clock far outside the calendar gets here; the result must
        // still be usable inside a file name.
        return u"--";
    return FormatStamp(local);
}

TFileTime LocalToFileTime(double localDateTime) {
    TFileTime ft = 0;
    if (!LocalDateTimeToFileTime(localDateTime, ft))
        return 0;
    return ft;
}

// ---------------------------------------------------------------------------
// Names and paths

std::u16string UpperCaseText(std::u16string_view text) {
    std::u16string copy(text);
    UpperCaseInPlace(copy);
    return copy;
}

// README.TXT and Readme.txt are two different files here: a name shown,
// hinted or reported in another case would name a file that is not there.
std::u16string DisplayCaseName(std::u16string_view text) {
    return std::u16string(text);
}

std::u16string NameWithoutExtension(std::u16string_view name) {
    const std::size_t dot = name.rfind(u'.');
    // A dot in front is a hidden name (".profile"), not an extension.
    if (dot == std::u16string_view::npos || dot == 0)
        return std::u16string(name);
    return std::u16string(name.substr(0, dot));
}

std::u16string ReplaceInvalidNameChars(std::u16string_view text, char16_t replacement) {
    std::u16string result(text);
    for (char16_t& c : result)
        if (kInvalidNameChars.find(c) != std::u16string_view::npos)
            c = replacement;
    return result;
}

std::u16string AddTrailingBackslash(std::u16string_view path) {
    std::u16string result(path);
    if (result.empty() || result.back() != kPathDelim)
        result.push_back(kPathDelim);
    return result;
}

std::u16string RemoveTrailingBackslash(std::u16string_view path) {
    // "/" becomes "", so that RemoveTrailingBackslash(p) + "/" + name also
    // holds for the root.
    if (!path.empty() && path.back() == kPathDelim)
        path.remove_suffix(1);
    return std::u16string(path);
}

std::u16string ExpandEnvVars(std::u16string_view text) {
    std::u16string expanded = ExpandEnvironmentText(text);
    if (expanded.size() > kMaxExpandedLength) {
        std::size_t keep = kMaxExpandedLength;
        // Never keep half of a surrogate pair.
        if (expanded[keep - 1] >= 0xD800 && expanded[keep - 1] <= 0xDBFF &&
            expanded[keep] >= 0xDC00 && expanded[keep] <= 0xDFFF)
            --keep;
        expanded.resize(keep);
    }
    return expanded;
}

int ExpandPathEnvVars(std::u16string_view text, std::u16string& path) {
    path = ExpandEnvironmentText(text);
    if (path.size() <= kMaxExpandedLength)
        return 0;
    path.clear();
    return ENAMETOOLONG;
}

std::u16string LongPathForm(std::u16string_view path) {
    // Linux has no length limit that a prefix would lift; kept so that every
    // caller passes its paths through one place.
    return std::u16string(path);
}

std::u16string RemoveLineBreaks(std::u16string_view text) {
    std::u16string result;
    result.reserve(text.size());
    for (char16_t c : text)
        if (c != u'\r' && c != u'\n')
            result.push_back(c);
    return result;
}

std::size_t LastPosition(std::u16string_view sub, std::u16string_view text) {
    if (sub.empty())
        return 0;
    // rfind tries every start from the right, so overlapping occurrences
    // ("aa" in "aaa" ends at position 2) are found.
    const std::size_t pos = text.rfind(sub);
    return pos == std::u16string_view::npos ? 0 : pos + 1;
}

std::u16string TrimText(std::u16string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] <= 32)
        ++first;
    while (last > first && text[last - 1] <= 32)
        --last;
    return std::u16string(text.substr(first, last - first));
}

// ---------------------------------------------------------------------------
// File system queries

bool FolderExists(std::u16string_view path, int& errorCode) {
    struct stat st {};
    // Stat follows links: a link to a folder is a folder for this question.
    const int rc = Fs().Stat(NativePath(LongPathForm(path)).c_str(), st);
    if (rc != 0) {
        errorCode = rc;
        return false;
    }
    errorCode = 0;
    return S_ISDIR(st.st_mode);
}

bool FolderExists(std::u16string_view path) {
    int errorCode = 0;
    return FolderExists(path, errorCode);
}

bool FolderExistsSlash(std::u16string_view path) {
    return FolderExists(AddTrailingBackslash(path));
}

bool PathExists(std::u16string_view path) {
    // LStat: a name taken by a link (even one whose target is gone) exists,
    // since nothing else can be created under that name.
    struct stat st {};
    return Fs().LStat(NativePath(LongPathForm(path)).c_str(), st) == 0;
}

bool ForceFolders(std::u16string_view path, int& errorCode) {
    errorCode = 0;
    if (path.empty()) {
        errorCode = ENOENT;
        return false;
    }
    const std::string native = NativePath(LongPathForm(AddTrailingBackslash(path)));
    bool ok = true;
    // Every "/" after a component ends a prefix to check; the leading "/" of
    // an absolute path (the root) and empty components ("//") end none.
    for (std::size_t i = 1; i < native.size(); ++i) {
        if (native[i] != '/' || native[i - 1] == '/')
            continue;
        const std::string prefix = native.substr(0, i);
        struct stat st {};
        if (Fs().Stat(prefix.c_str(), st) == 0) {
            if (S_ISDIR(st.st_mode))
                continue;
            errorCode = EEXIST;
            return false;
        }
        const int rc = Fs().MakeDir(prefix.c_str(), 0777);
        if (rc == 0)
            continue;
        if (rc == EEXIST) {
            // Either another process made the folder since the check, or a
            // non-folder (e.g. a dangling link) holds the name.
            if (Fs().Stat(prefix.c_str(), st) == 0 && S_ISDIR(st.st_mode))
                continue;
            errorCode = EEXIST;
            return false;
        }
        // Later components fail too (their parent is missing), but each is
        // still attempted; the first error is the one that explains it.
        if (ok)
            errorCode = rc;
        ok = false;
    }
    return ok;
}

// ---------------------------------------------------------------------------
// Lists

void TidyHistory(TStrList& list, char16_t ignoredTrailingChar, std::size_t maxCount,
                 THistoryCompare compare) {
    std::vector<std::u16string> keys;
    keys.reserve(list.size());
    for (const TStrItem& item : list)
        keys.push_back(HistoryKey(item.text, ignoredTrailingChar, compare));

    // Keep an entry when no earlier kept entry has its key; compaction in
    // place keeps the order, newest first.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        bool duplicate = false;
        for (std::size_t j = 0; j < kept && !duplicate; ++j)
            duplicate = keys[j] == keys[i];
        if (duplicate)
            continue;
        if (kept != i) {
            list[kept] = std::move(list[i]);
            keys[kept] = std::move(keys[i]);
        }
        ++kept;
    }
    list.resize(kept < maxCount ? kept : maxCount);
}

} // namespace vdx
