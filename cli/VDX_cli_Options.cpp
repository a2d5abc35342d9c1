#include "cli/VDX_cli_Options.h"

#include <climits>
#include <memory>
#include <string>

#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx::cli {

// The filter lines are shared with `vardex-cli sets save`.
#define VDX_SEARCH_OPTIONS_USAGE                                                                   \
    "  --include MASKS       file masks to take, ';'-separated (default *.*)\n"                    \
    "  --exclude MASKS       file masks to leave out\n"                                            \
    "  --no-subfolders       scan only the files directly in each PATH\n"                          \
    "  --exclude-dir DIR     do not enter DIR or any folder whose path begins\n"                   \
    "                        with DIR (repeatable)\n"                                              \
    "  --min-size N          only files of N bytes or more\n"                                      \
    "  --max-size N          only files of N bytes or less; N takes a K, M or G\n"                 \
    "                        suffix (1024-based)\n"                                                \
    "  --newer DATE          only files last written at DATE or later\n"                           \
    "  --older DATE          only files last written at DATE or earlier; DATE is\n"                \
    "                        YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], local time\n"                    \
    "  --attr SPEC           attributes a file must (+) or must not (-) have:\n"                   \
    "                        a archive, r read-only, h hidden, s system (+h-r)\n"

#define VDX_SET_SOURCE_USAGE                                                                       \
    "  --set NAME            instead of PATHs: the paths of the stored search set\n"               \
    "                        NAME (letter case ignored), each with its own filters\n"              \
    "  --current-set         instead of PATHs: the current search set of the\n"                    \
    "                        settings, each path with its own filters\n"                           \
    "                        The filter options above cannot be combined with\n"                   \
    "                        --set or --current-set.\n"

const char* const kSearchOptionsUsage = VDX_SEARCH_OPTIONS_USAGE VDX_SET_SOURCE_USAGE;

const char* const kFindUsage =
    "Usage: vardex-cli find [OPTIONS] PATH...\n"
    "       vardex-cli find [OPTIONS] --set NAME | --current-set\n"
    "\n"
    "Scans the given folders as one search set and prints a view of the groups\n"
    "of duplicate files. The same folder twice, or one folder inside another,\n"
    "is refused.\n"
    "\n"
    "A PATH or DIR that exists as written is used as written; otherwise its\n"
    "%NAME% environment references are expanded. A path longer than 2000\n"
    "characters is refused.\n"
    "\n"
    "Filters (applied to every PATH):\n" VDX_SEARCH_OPTIONS_USAGE
    "  --no-protect-hidden   also enter hidden folders\n"
    "  --no-protect-system   also enter the operating system's folders\n"
    "  --no-protect-programs also enter the folders of installed programs\n"
    "\n"
    "Search sets of the settings file (see vardex-cli sets --help):\n" VDX_SET_SOURCE_USAGE
    "  --settings FILE       read the settings from FILE instead of the default\n"
    "                        file; find never writes the settings\n"
    "\n"
    "Content comparison:\n"
    "  --compare             after the search, compare the content of the files\n"
    "                        of every Same size group byte by byte; this makes\n"
    "                        the views content and clones. A file that cannot\n"
    "                        be opened or read joins no group; the summary\n"
    "                        counts such files, stderr names the first few\n"
    "                        with the reason, and the exit status is 1\n"
    "\n"
    "Output:\n"
    "  --view VIEW           name, size (default), name-size, content, clones or\n"
    "                        zero (content and clones need --compare)\n"
    "  --format FORMAT       text (default), json or csv\n"
    "  --no-summary          csv: leave out the three summary lines at the top\n"
    "  --no-groups           csv: leave out the group title rows\n"
    "  --sort COLUMN[:desc]  order of the files within each group: name\n"
    "                        (default), ext, path, size, date or mark; groups\n"
    "                        keep their order\n"
    "  --quiet               no progress line on the terminal\n"
    "  -h, --help            show this text\n"
    "\n"
    "Smart marking (any of these options marks the view; the marks are only\n"
    "shown, no file is touched):\n"
    "  --keep DIR            DIR and every folder below it go into To Keep, all\n"
    "                        other folders of the view into To Clean\n"
    "                        (repeatable). A group with files in both areas\n"
    "                        gets its files in To Clean marked\n"
    "  --wash-clean, --no-wash-clean\n"
    "                        also mark the groups that lie wholly in To Clean\n"
    "                        (default on)\n"
    "  --keep-one, --no-keep-one\n"
    "                        in such groups keep one file, chosen by the rules\n"
    "                        (default on; off marks ALL their files)\n"
    "  --rules LIST          the order in which the rules choose the file to\n"
    "                        keep: date,path,name,size (default); rules left\n"
    "                        out follow in that order\n"
    "  --prefer newer|older  the date rule keeps the newer (default) file\n"
    "  --prefer-path smaller|greater\n"
    "                        the path rule keeps the smaller (default) path\n"
    "  --prefer-name smaller|greater\n"
    "                        the name rule keeps the smaller (default) name\n"
    "  --prefer-size smaller|larger\n"
    "                        the size rule keeps the smaller (default) file\n"
    "\n"
    "Exit status: 0 success, 1 no given path exists, the settings file cannot be\n"
    "read, the run failed or (with --compare) some files could not be compared;\n"
    "the view is printed all the same in that last case. 2 bad arguments, an\n"
    "unknown set name or a refused set of paths.\n";

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly n digits at pos.
bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t n, int& value) {
    if (pos + n > text.size())
        return false;
    value = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[pos + i];
        if (!IsDigit(c))
            return false;
        value = value * 10 + (c - '0');
    }
    pos += n;
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string Quoted(std::string_view text) {
    std::string quoted(1, '\'');
    quoted.append(text);
    quoted.push_back('\'');
    return quoted;
}

bool ParseView(std::string_view text, TViewKind& view) {
    if (text == "name")
        view = kViewSameName;
    else if (text == "size")
        view = kViewSameSize;
    else if (text == "name-size")
        view = kViewSameNameSize;
    else if (text == "content")
        view = kViewSameContent;
    else if (text == "clones")
        view = kViewFullClones;
    else if (text == "zero")
        view = kViewZeroSize;
    else
        return false;
    return true;
}

// "COLUMN" or "COLUMN:desc" (":asc" is accepted too).
bool ParseSort(std::string_view text, int& key, bool& ascending, std::string& error) {
    std::string_view column = text;
    ascending = true;
    if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        column = text.substr(0, colon);
        const std::string_view direction = text.substr(colon + 1);
        if (direction == "desc") {
            ascending = false;
        } else if (direction != "asc") {
            error = "sort direction " + Quoted(direction) + " is not desc or asc";
            return false;
        }
    }
    static constexpr struct {
        std::string_view name;
        int key;
    } kColumns[] = {
        {"name", kRowKeyName}, {"ext", kRowKeyExtension}, {"path", kRowKeyPath},
        {"size", kRowKeySize}, {"date", kRowKeyDate},     {"mark", kRowKeyMark},
    };
    for (const auto& c : kColumns) {
        if (c.name == column) {
            key = c.key;
            return true;
        }
    }
    error = "unknown sort column " + Quoted(column) + " (use name, ext, path, size, date or mark)";
    return false;
}

// A comma-separated list of rule names, each at most once; the rules not
// listed follow by ascending type.
bool ParseRules(std::string_view text, TSmartRuleOrder& order, std::string& error) {
    static constexpr std::string_view kNames[kSmartRuleCount] = {"date", "path", "name", "size"};
    std::vector<int> listed;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view name = text.substr(start, end - start);
        int rule = -1;
        for (int r = 0; r < kSmartRuleCount; ++r)
            if (kNames[r] == name)
                rule = r;
        if (rule < 0) {
            error = "rules " + Quoted(text) + ": unknown rule " + Quoted(name) +
                    " (use date, path, name, size)";
            return false;
        }
        for (int seen : listed) {
            if (seen == rule) {
                error = "rules " + Quoted(text) + " name " + Quoted(name) + " twice";
                return false;
            }
        }
        listed.push_back(rule);
        start = end + 1;
    }
    order = CompleteRuleOrder(listed);
    return true;
}

// One of two words: true for the first.
bool ParseChoice(std::string_view option, std::string_view text, std::string_view first,
                 std::string_view second, bool& value, std::string& error) {
    if (text == first || text == second) {
        value = text == first;
        return true;
    }
    error = "option " + std::string(option) + " takes " + std::string(first) + " or " +
            std::string(second) + ", not " + Quoted(text);
    return false;
}

} // namespace

std::u16string NormalizePath(std::u16string_view path, std::u16string_view cwd) {
    std::u16string joined;
    if (path.empty() || path.front() != u'/') {
        joined = cwd;
        joined += u'/';
    }
    joined += path;

    std::vector<std::u16string_view> parts;
    const std::u16string_view all = joined;
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find(u'/', start);
        if (end == std::u16string_view::npos)
            end = all.size();
        const std::u16string_view part = all.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::u16string result;
    for (std::u16string_view part : parts) {
        result += u'/';
        result += part;
    }
    return result.empty() ? std::u16string(u"/") : result;
}

bool ResolveGivenPath(std::string_view what, std::u16string_view given, std::u16string_view cwd,
                      bool expand, std::u16string& path, std::string& error) {
    // The name as written wins: a folder really called "%USER%" is the one
    // the user means, not the folder the variable names.
    path = NormalizePath(given, cwd);
    if (expand && !PathExists(path)) {
        std::u16string expanded;
        if (ExpandPathEnvVars(given, expanded) != 0) {
            error = std::string(what) + " '" + EncodeFileName(given) + "' is longer than " +
                    std::to_string(kMaxExpandedPathLength) +
                    " characters once its environment references are expanded";
            return false;
        }
        path = NormalizePath(expanded, cwd);
    }
    if (path.size() > kMaxExpandedPathLength) {
        error = std::string(what) + " '" + EncodeFileName(given) + "' is longer than " +
                std::to_string(kMaxExpandedPathLength) + " characters";
        return false;
    }
    return true;
}

bool ParseSize(std::string_view text, std::int32_t& value, std::int32_t& degree,
               std::string& error) {
    std::size_t pos = 0;
    std::uint64_t number = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        const unsigned digit = static_cast<unsigned>(text[pos] - '0');
        if (number > (UINT64_MAX - digit) / 10) {
            error = "size " + Quoted(text) + " is too large";
            return false;
        }
        number = number * 10 + digit;
        ++pos;
    }
    int shift = 0;
    if (pos + 1 == text.size()) {
        switch (text[pos]) {
        case 'k':
        case 'K':
            shift = 10;
            break;
        case 'm':
        case 'M':
            shift = 20;
            break;
        case 'g':
        case 'G':
            shift = 30;
            break;
        default:
            shift = -1;
            break;
        }
        ++pos;
    }
    if (pos == 0 || pos != text.size() || shift < 0 || !IsDigit(text[0])) {
        error = "size " + Quoted(text) + " is not a number with an optional K, M or G suffix";
        return false;
    }
    if (number > (UINT64_MAX >> shift)) {
        error = "size " + Quoted(text) + " is too large";
        return false;
    }
    const std::uint64_t bytes = number << shift;
    if (bytes == 0) {
        value = 0;
        degree = kDegreeBytes;
        return true;
    }
    for (int unit = kDegreeGb; unit >= kDegreeBytes; --unit) {
        const int unitShift = 10 * unit;
        const std::uint64_t mask = (std::uint64_t{1} << unitShift) - 1;
        if ((bytes & mask) == 0 && (bytes >> unitShift) <= std::uint64_t{INT32_MAX}) {
            value = static_cast<std::int32_t>(bytes >> unitShift);
            degree = unit;
            return true;
        }
    }
    error = "size " + Quoted(text) +
            " cannot be used: the filter holds at most 2147483647 of a unit (bytes, K, M or "
            "G); give a multiple of a larger unit";
    return false;
}

bool ParseDate(std::string_view text, double& dateTime, std::string& error) {
    TCalendarTime c;
    std::size_t pos = 0;
    bool ok = ReadDigits(text, pos, 4, c.year) && pos < text.size() && text[pos++] == '-' &&
              ReadDigits(text, pos, 2, c.month) && pos < text.size() && text[pos++] == '-' &&
              ReadDigits(text, pos, 2, c.day);
    if (ok && pos < text.size()) {
        ok = (text[pos] == 'T' || text[pos] == ' ') && ReadDigits(text, ++pos, 2, c.hour) &&
             pos < text.size() && text[pos++] == ':' && ReadDigits(text, pos, 2, c.minute);
        if (ok && pos < text.size())
            ok = text[pos++] == ':' && ReadDigits(text, pos, 2, c.second);
        ok = ok && pos == text.size();
    }
    ok = ok && c.year >= 1601 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
         c.day <= DaysInMonth(c.year, c.month) && c.hour <= 23 && c.minute <= 59 && c.second <= 59;
    if (!ok) {
        error = "date " + Quoted(text) + " is not a valid YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS]";
        return false;
    }
    dateTime = CalendarToDateTime(c);
    return true;
}

bool ParseAttributes(std::string_view text, std::uint32_t& include, std::uint32_t& exclude,
                     std::string& error) {
    include = 0;
    exclude = 0;
    char sign = 0;
    for (char c : text) {
        if (c == '+' || c == '-') {
            sign = c;
            continue;
        }
        std::uint32_t bit = 0;
        switch (c) {
        case 'a':
        case 'A':
            bit = kAttrArchive;
            break;
        case 'r':
        case 'R':
            bit = kAttrReadOnly;
            break;
        case 'h':
        case 'H':
            bit = kAttrHidden;
            break;
        case 's':
        case 'S':
            bit = kAttrSystem;
            break;
        default:
            error = "attributes " + Quoted(text) + ": unknown letter " + Quoted({&c, 1}) +
                    " (use a, r, h, s)";
            return false;
        }
        if (sign == 0) {
            error = "attributes " + Quoted(text) + ": put + or - before each letter";
            return false;
        }
        (sign == '+' ? include : exclude) |= bit;
    }
    if (include == 0 && exclude == 0) {
        error = "attributes " + Quoted(text) + " name no attribute";
        return false;
    }
    if ((include & exclude) != 0) {
        error = "attributes " + Quoted(text) + " both require and forbid an attribute";
        return false;
    }
    return true;
}

// ---- TArgReader ----

bool TArgReader::Next() {
    if (m_started)
        ++m_index;
    m_started = true;
    if (m_index >= m_args.size())
        return false;
    const std::string& arg = m_args[m_index];
    m_hasInline = false;
    m_inlineValue.clear();
    m_isOption = !m_optionsEnded && arg.size() >= 2 && arg[0] == '-';
    if (m_isOption && arg == "--") {
        // The separator itself is neither: skip to what follows it.
        m_optionsEnded = true;
        return Next();
    }
    m_name = m_isOption ? arg : std::string();
    if (const std::size_t eq = arg.find('=');
        m_isOption && arg.starts_with("--") && eq != std::string::npos) {
        m_name = arg.substr(0, eq);
        m_inlineValue = arg.substr(eq + 1);
        m_hasInline = true;
    }
    return true;
}

bool TArgReader::Value(std::string& value, std::string& error) {
    if (m_hasInline) {
        value = m_inlineValue;
        return true;
    }
    if (m_index + 1 >= m_args.size()) {
        error = "option " + m_name + " needs a value";
        return false;
    }
    value = m_args[++m_index];
    return true;
}

bool TArgReader::Flag(std::string& error) {
    if (m_hasInline) {
        error = "option " + m_name + " takes no value";
        return false;
    }
    return true;
}

// ---- Search options ----

bool AddSearchPath(const std::string& arg, std::u16string_view cwd, TSearchOptions& out,
                   std::string& error) {
    if (arg.empty()) {
        error = "an empty path was given";
        return false;
    }
    std::u16string path;
    if (!ResolveGivenPath("the path", DecodeFileName(arg), cwd, out.resolveReferences, path, error))
        return false;
    out.relativeGiven = out.relativeGiven || arg[0] != '/';
    out.paths.push_back(std::move(path));
    return true;
}

TParsed ParseSearchOption(TArgReader& reader, std::u16string_view cwd, TSearchOptions& out,
                          std::string& error) {
    const std::string& name = reader.Name();
    std::string v;
    bool ok = true;
    bool filterOption = true;
    if (name == "--no-subfolders") {
        ok = reader.Flag(error);
        out.subFolders = false;
    } else if (name == "--include") {
        ok = reader.Value(v, error);
        if (ok)
            out.includes.push_back(v);
    } else if (name == "--exclude") {
        ok = reader.Value(v, error);
        if (ok) {
            if (!out.filter.FLT_Exclude.empty())
                out.filter.FLT_Exclude += u';';
            out.filter.FLT_Exclude += DecodeFileName(v);
            out.filter.FLT_bUseExclude = true;
        }
    } else if (name == "--exclude-dir") {
        ok = reader.Value(v, error);
        if (ok && v.empty()) {
            error = "option --exclude-dir needs a folder";
            ok = false;
        }
        std::u16string dir;
        if (ok)
            ok = ResolveGivenPath("the folder of --exclude-dir", DecodeFileName(v), cwd,
                                  out.resolveReferences, dir, error);
        if (ok) {
            out.relativeGiven = out.relativeGiven || v[0] != '/';
            out.excludeDirs.push_back(std::move(dir));
        }
    } else if (name == "--min-size") {
        ok = reader.Value(v, error) && ParseSize(v, out.minValue, out.minDegree, error);
        out.minSize = out.minSize || ok;
    } else if (name == "--max-size") {
        ok = reader.Value(v, error) && ParseSize(v, out.maxValue, out.maxDegree, error);
        out.maxSize = out.maxSize || ok;
    } else if (name == "--newer") {
        ok = reader.Value(v, error) && ParseDate(v, out.newerDate, error);
        out.newer = out.newer || ok;
    } else if (name == "--older") {
        ok = reader.Value(v, error) && ParseDate(v, out.olderDate, error);
        out.older = out.older || ok;
    } else if (name == "--attr") {
        ok = reader.Value(v, error) &&
             ParseAttributes(v, out.filter.FLT_Attr_IncMask, out.filter.FLT_Attr_ExcMask, error);
        out.filter.FLT_bUseAttr = ok;
    } else if (name == "--set") {
        filterOption = false;
        ok = reader.Value(v, error);
        if (ok && out.useStoredSet) {
            error = "option --set was given twice";
            ok = false;
        }
        if (ok) {
            out.useStoredSet = true;
            out.setName = DecodeFileName(v);
        }
    } else if (name == "--current-set") {
        filterOption = false;
        ok = reader.Flag(error);
        out.useCurrentSet = true;
    } else {
        return TParsed::NotMine;
    }
    if (ok && filterOption)
        out.filterOptions.push_back(name);
    return ok ? TParsed::Taken : TParsed::Failed;
}

bool FinishSearchOptions(TSearchOptions& out, std::string& error) {
    if (out.useStoredSet && out.useCurrentSet) {
        error = "--set and --current-set cannot be combined";
        return false;
    }
    if (out.FromSettings()) {
        const char* source = out.useStoredSet ? "--set" : "--current-set";
        if (!out.paths.empty()) {
            error = std::string(source) + " takes the place of the PATH arguments: give " +
                    "either, not both";
            return false;
        }
        if (!out.filterOptions.empty()) {
            error = "option " + out.filterOptions.front() + " cannot be combined with " + source +
                    ": the paths of a set keep their own filters";
            return false;
        }
        return true;
    }

    if (!out.includes.empty()) {
        std::u16string masks;
        for (const std::string& mask : out.includes) {
            if (!masks.empty())
                masks += u';';
            masks += DecodeFileName(mask);
        }
        out.filter.FLT_Include = masks;
    }

    TFileFilter& f = out.filter;
    if (out.minSize || out.maxSize) {
        f.FLT_bUseSize = true;
        if (out.minSize && out.maxSize) {
            // Two bounds that leave no room would be exchanged by the filter
            // and find the files between them instead of none.
            if (SizeInBytes(out.minValue, out.minDegree) >
                SizeInBytes(out.maxValue, out.maxDegree)) {
                error = "--min-size is larger than --max-size";
                return false;
            }
            f.FLT_SizePos = kSizeBetween;
            f.FLT_SizeA = out.minValue;
            f.FLT_SizeDegreeA = out.minDegree;
            f.FLT_SizeB = out.maxValue;
            f.FLT_SizeDegreeB = out.maxDegree;
        } else if (out.minSize) {
            f.FLT_SizePos = kSizeMoreThanA;
            f.FLT_SizeA = out.minValue;
            f.FLT_SizeDegreeA = out.minDegree;
        } else {
            f.FLT_SizePos = kSizeLessThanA;
            f.FLT_SizeA = out.maxValue;
            f.FLT_SizeDegreeA = out.maxDegree;
        }
    }
    if (out.newer || out.older) {
        f.FLT_bUseDate = true;
        if (out.newer && out.older) {
            if (out.newerDate > out.olderDate) {
                error = "--newer is later than --older";
                return false;
            }
            f.FLT_DatePos = kDateBetween;
            f.FLT_DateTimeA = out.newerDate;
            f.FLT_DateTimeB = out.olderDate;
        } else if (out.newer) {
            f.FLT_DatePos = kDateNewerThanA;
            f.FLT_DateTimeA = out.newerDate;
        } else {
            f.FLT_DatePos = kDateOlderThanA;
            f.FLT_DateTimeA = out.olderDate;
        }
    }

    if (out.paths.empty()) {
        error = "no folder to search was given";
        return false;
    }
    return true;
}

// ---- Mark options ----

TParsed ParseMarkOption(TArgReader& reader, std::u16string_view cwd, TMarkOptions& out,
                        std::string& error) {
    const std::string& name = reader.Name();
    std::string v;
    bool ok = true;
    if (name == "--keep") {
        ok = reader.Value(v, error);
        if (ok && v.empty()) {
            error = "option --keep needs a folder";
            ok = false;
        }
        std::u16string dir;
        if (ok)
            ok = ResolveGivenPath("the folder of --keep", DecodeFileName(v), cwd, true, dir, error);
        if (ok) {
            out.relativeGiven = out.relativeGiven || v[0] != '/';
            out.keepDirs.push_back(std::move(dir));
        }
    } else if (name == "--wash-clean" || name == "--no-wash-clean") {
        ok = reader.Flag(error);
        out.smart.m_washClean = name == "--wash-clean";
    } else if (name == "--keep-one" || name == "--no-keep-one") {
        ok = reader.Flag(error);
        out.smart.m_keepInstance = name == "--keep-one";
    } else if (name == "--rules") {
        ok = reader.Value(v, error) && ParseRules(v, out.smart.m_order, error);
    } else if (name == "--prefer") {
        ok = reader.Value(v, error) &&
             ParseChoice(name, v, "newer", "older", out.smart.m_dateSmall, error);
    } else if (name == "--prefer-path") {
        ok = reader.Value(v, error) &&
             ParseChoice(name, v, "smaller", "greater", out.smart.m_pathSmall, error);
    } else if (name == "--prefer-name") {
        ok = reader.Value(v, error) &&
             ParseChoice(name, v, "smaller", "greater", out.smart.m_nameSmall, error);
    } else if (name == "--prefer-size") {
        ok = reader.Value(v, error) &&
             ParseChoice(name, v, "smaller", "larger", out.smart.m_sizeSmall, error);
    } else {
        return TParsed::NotMine;
    }
    out.smartMark = true;
    return ok ? TParsed::Taken : TParsed::Failed;
}

bool FinishMarkOptions(const TMarkOptions& out, std::string& error) {
    // The smart marking window offers "Set marks" only when it can mark
    // something.
    if (out.smartMark && out.keepDirs.empty() && !out.smart.m_washClean) {
        error = "--no-wash-clean without --keep marks nothing: give --keep DIR";
        return false;
    }
    return true;
}

// ---- find ----

bool ParseFindOptions(const std::vector<std::string>& args, std::u16string_view cwd,
                      TFindOptions& out, std::string& error) {
    std::string reportSwitch; // the last CSV switch given, for the error text
    TArgReader reader(args);
    while (reader.Next()) {
        if (!reader.IsOption()) {
            if (!AddSearchPath(reader.Arg(), cwd, out.search, error))
                return false;
            continue;
        }
        TParsed parsed = ParseSearchOption(reader, cwd, out.search, error);
        if (parsed == TParsed::NotMine)
            parsed = ParseMarkOption(reader, cwd, out.mark, error);
        if (parsed == TParsed::Failed)
            return false;
        if (parsed == TParsed::Taken)
            continue;

        const std::string& name = reader.Name();
        std::string v;
        bool ok = true;
        if (name == "-h" || name == "--help") {
            ok = reader.Flag(error);
            out.help = true;
        } else if (name == "--quiet" || name == "-q") {
            ok = reader.Flag(error);
            out.quiet = true;
        } else if (name == "--no-protect-hidden") {
            ok = reader.Flag(error);
            out.protectHidden = false;
        } else if (name == "--no-protect-system") {
            ok = reader.Flag(error);
            out.protectSystem = false;
        } else if (name == "--no-protect-programs") {
            ok = reader.Flag(error);
            out.protectPrograms = false;
        } else if (name == "--view") {
            ok = reader.Value(v, error);
            out.viewGiven = true;
            if (ok && !ParseView(v, out.view)) {
                error = "unknown view " + Quoted(v) +
                        " (use name, size, name-size, content, clones or zero)";
                ok = false;
            }
        } else if (name == "--format") {
            ok = reader.Value(v, error);
            if (ok && v == "text") {
                out.format = TOutputFormat::Text;
            } else if (ok && v == "json") {
                out.format = TOutputFormat::Json;
            } else if (ok && v == "csv") {
                out.format = TOutputFormat::Csv;
            } else if (ok) {
                error = "unknown format " + Quoted(v) + " (use text, json or csv)";
                ok = false;
            }
        } else if (name == "--compare") {
            ok = reader.Flag(error);
            out.compare = true;
        } else if (name == "--no-summary") {
            ok = reader.Flag(error);
            out.csvSummary = false;
            reportSwitch = name;
        } else if (name == "--no-groups") {
            ok = reader.Flag(error);
            out.csvGroups = false;
            reportSwitch = name;
        } else if (name == "--sort") {
            ok = reader.Value(v, error) && ParseSort(v, out.sortKey, out.sortAscending, error);
        } else {
            error = "unknown option " + Quoted(reader.Arg());
            ok = false;
        }
        if (!ok)
            return false;
        if (out.help)
            return true;
    }

    if (!FinishSearchOptions(out.search, error))
        return false;
    const TViewKind view = NormalizeViewKind(out.view);
    if ((view == kViewSameContent || view == kViewFullClones) && !out.compare) {
        error = "the view " + std::string(view == kViewSameContent ? "content" : "clones") +
                " exists only after a content comparison: add --compare";
        return false;
    }
    if (!reportSwitch.empty() && out.format != TOutputFormat::Csv) {
        error = "option " + reportSwitch + " applies to --format csv only";
        return false;
    }
    return FinishMarkOptions(out.mark, error);
}

TSearchSet BuildSearchSet(const TSearchOptions& options) {
    TSearchSet set;
    for (const std::u16string& folder : options.paths) {
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = folder;
        path->bSubFolders = options.subFolders;
        path->fileFilter = options.filter;
        for (const std::u16string& dir : options.excludeDirs)
            path->folderFilter.Add(dir);
        // Resolved paths are final, and so they must not be merged by their
        // expanded texts either: "/a/%USER%" and "/a/root" are two folders.
        path->pathsFinal = options.resolveReferences;
        if (!path->pathsFinal)
            path->folderFilter.Normalize();
        set.AddOwned(std::move(path));
    }
    return set;
}

} // namespace vdx::cli
