#pragma once
// The options of `vardex-cli find` and how they become a search set: every
// option maps onto a field of the search paths' filters, and every given
// folder becomes one search path with the same filters.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_SearchData.h"
#include "engine/VDX_unit_SmartMark.h"

namespace vdx::cli {

enum class TOutputFormat { Text, Json, Csv };

// Walks the arguments of one command. An option is "--name value",
// "--name=value" or a switch "--name"; after "--" every argument is a plain
// one (a folder).
class TArgReader {
public:
    explicit TArgReader(const std::vector<std::string>& args) : m_args(args) {}

    // Moves to the next argument; false after the last.
    bool Next();
    // The argument is an option (not a folder, not "--").
    bool IsOption() const { return m_isOption; }
    // The argument as given.
    const std::string& Arg() const { return m_args[m_index]; }
    // The option's name without an "=value" part.
    const std::string& Name() const { return m_name; }
    // The option's value: the "=value" part or the next argument. false with
    // error set when there is none.
    bool Value(std::string& value, std::string& error);
    // A switch: false with error set when a value was given with "=".
    bool Flag(std::string& error);

private:
    const std::vector<std::string>& m_args;
    std::size_t m_index = 0;
    bool m_started = false;
    bool m_optionsEnded = false;
    bool m_isOption = false;
    std::string m_name;
    std::string m_inlineValue;
    bool m_hasInline = false;
};

// What a parser made of the argument at the reader's position.
enum class TParsed {
    NotMine, // another group of options may know it
    Taken,
    Failed, // error is set
};

// Which search set a command works on, and the filters for given folders:
// the folders given as arguments (each becomes one search path with the same
// filters), a stored set by name, or the current search set of the settings.
// Shared by every command that defines a search.
struct TSearchOptions {
    // Absolute and lexically normalized, in the order given.
    std::vector<std::u16string> paths;
    // Filled by the options; the same filter goes to every path.
    TFileFilter filter;
    std::vector<std::u16string> excludeDirs;
    bool subFolders = true;
    // --set NAME: a stored set, by name as the sets store matches names.
    bool useStoredSet = false;
    std::u16string setName;
    // --current-set: the current search set of the settings.
    bool useCurrentSet = false;
    // A path or excluded folder was relative, so the current folder was used.
    bool relativeGiven = false;
    // Paths and excluded folders are resolved as they are parsed (see
    // ResolveGivenPath) and become final paths of the set. Off for a set
    // that is stored: it keeps its references, which expand when it is used.
    bool resolveReferences = true;
    // The filter options given, by name: a set brings its own filters, so
    // they are refused with --set and --current-set.
    std::vector<std::string> filterOptions;

    // Size, date and mask options gathered until FinishSearchOptions.
    bool minSize = false, maxSize = false;
    std::int32_t minValue = 0, minDegree = 0, maxValue = 0, maxDegree = 0;
    bool newer = false, older = false;
    double newerDate = 0, olderDate = 0;
    std::vector<std::string> includes;

    // The search comes from the settings rather than from the arguments.
    bool FromSettings() const { return useStoredSet || useCurrentSet; }
};

// Takes a plain argument as a folder to search.
bool AddSearchPath(const std::string& arg, std::u16string_view cwd, TSearchOptions& out,
                   std::string& error);
// The filter options (--include, --exclude, --no-subfolders, --exclude-dir,
// --min-size, --max-size, --newer, --older, --attr) and --set, --current-set.
TParsed ParseSearchOption(TArgReader& reader, std::u16string_view cwd, TSearchOptions& out,
                          std::string& error);
// After the last argument: applies the gathered bounds and masks and checks
// that exactly one source of paths was given and that no filter option meets
// a set. false with error set.
bool FinishSearchOptions(TSearchOptions& out, std::string& error);
// The usage lines of the options of ParseSearchOption.
extern const char* const kSearchOptionsUsage;

// Smart marking of the view: on when any of its options was given.
struct TMarkOptions {
    bool smartMark = false;
    // Folders whose sub-trees go into To Keep; absolute and normalized.
    std::vector<std::u16string> keepDirs;
    TSmartMarkSettings smart;
    bool relativeGiven = false;
};

// --keep, --wash-clean, --no-wash-clean, --keep-one, --no-keep-one, --rules
// and the four --prefer options.
TParsed ParseMarkOption(TArgReader& reader, std::u16string_view cwd, TMarkOptions& out,
                        std::string& error);
// Refuses marking options that cannot mark anything.
bool FinishMarkOptions(const TMarkOptions& out, std::string& error);

struct TFindOptions {
    TSearchOptions search;
    TMarkOptions mark;
    bool protectHidden = true;
    bool protectSystem = true;
    bool protectPrograms = true;
    TViewKind view = kViewSameSize;
    // --view was given: the commands that change files default to another view.
    bool viewGiven = false;
    // Compare the content of the Same size groups after the search; the
    // content views exist only then.
    bool compare = false;
    TOutputFormat format = TOutputFormat::Text;
    // The two report switches of the CSV format.
    bool csvSummary = true;
    bool csvGroups = true;
    // The row order of the view (a TRowSortKey); the grouping leaves the
    // rows in name order.
    int sortKey = 2;
    bool sortAscending = true;
    bool quiet = false;
    bool help = false; // the caller prints the usage and nothing else runs
};

// The usage text of `vardex-cli find`.
extern const char* const kFindUsage;

// Parses the arguments after "find". cwd is the absolute current folder
// against which relative paths are made absolute. false with error set when
// an argument is wrong.
bool ParseFindOptions(const std::vector<std::string>& args, std::u16string_view cwd,
                      TFindOptions& out, std::string& error);

// One search path per given folder, each with the options' filters.
TSearchSet BuildSearchSet(const TSearchOptions& options);

// path made absolute against cwd, with "." and empty components removed and
// ".." taking back the component before it (never above the root). No
// trailing "/" except for the root itself.
std::u16string NormalizePath(std::u16string_view path, std::u16string_view cwd);

// The path the user gave (given, decoded, before normalizing) for what the
// error names ("the path", "the folder of --keep" ...): given made absolute
// against cwd when an entry of that name exists or expand is false, else
// given with its %NAME% references expanded and then made absolute. false
// with error set when the result (or the expansion) is longer than
// kMaxExpandedPathLength: a path is never cut.
bool ResolveGivenPath(std::string_view what, std::u16string_view given, std::u16string_view cwd,
                      bool expand, std::u16string& path, std::string& error);

// A byte count with an optional K, M or G suffix (1024-based), written as the
// largest unit whose 32-bit signed value holds it exactly. false with error
// set for a malformed text or a size no unit can hold.
bool ParseSize(std::string_view text, std::int32_t& value, std::int32_t& degree,
               std::string& error);

// YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS] (a blank may stand for the "T"), local
// time, as a date-time (days since 1899-12-30).
bool ParseDate(std::string_view text, double& dateTime, std::string& error);

// "+h-r": letters a, r, h, s after "+" (must have) or "-" (must not have).
bool ParseAttributes(std::string_view text, std::uint32_t& include, std::uint32_t& exclude,
                     std::string& error);

} // namespace vdx::cli
