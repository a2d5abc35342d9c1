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

struct TFindOptions {
    // Absolute and lexically normalized, in the order given.
    std::vector<std::u16string> paths;
    // Filled by the options; the same filter goes to every path.
    TFileFilter filter;
    std::vector<std::u16string> excludeDirs;
    bool subFolders = true;
    bool protectHidden = true;
    bool protectSystem = true;
    bool protectPrograms = true;
    TViewKind view = kViewSameSize;
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
    // Smart marking of the view: on when any of its options was given.
    bool smartMark = false;
    // Folders whose sub-trees go into To Keep; absolute and normalized.
    std::vector<std::u16string> keepDirs;
    TSmartMarkSettings smart;
    bool quiet = false;
    bool help = false; // the caller prints the usage and nothing else runs
    // A path or excluded folder was relative, so the current folder was used.
    bool relativeGiven = false;
};

// The usage text of `vardex-cli find`.
extern const char* const kFindUsage;

// Parses the arguments after "find". cwd is the absolute current folder
// against which relative paths are made absolute. false with error set when
// an argument is wrong.
bool ParseFindOptions(const std::vector<std::string>& args, std::u16string_view cwd,
                      TFindOptions& out, std::string& error);

// One search path per given folder, each with the options' filters.
TSearchSet BuildSearchSet(const TFindOptions& options);

// path made absolute against cwd, with "." and empty components removed and
// ".." taking back the component before it (never above the root). No
// trailing "/" except for the root itself.
std::u16string NormalizePath(std::u16string_view path, std::u16string_view cwd);

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
