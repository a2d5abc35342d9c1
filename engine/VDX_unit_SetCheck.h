#pragma once
// The whole-set check that runs before a search starts: a search set may not
// name the same folder twice nor a folder inside another of its folders,
// since every file below both would be listed twice and look like its own
// duplicate. The check only words the refusal; showing it and selecting the
// rows is the caller's.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/VDX_unit_SearchData.h"

namespace vdx {

// The titles and the closing sentence of the refusals.
inline constexpr std::u16string_view kTitleIncorrectField = u"Warning: incorrect field";
inline constexpr std::u16string_view kTitleDuplicatePath = u"Warning: duplicate search path";
inline constexpr std::u16string_view kTitleIncorrectPath = u"Warning: incorrect search path";
inline constexpr std::u16string_view kPleaseModify =
    u"\r\n\r\nPlease modify either the search path or the current search set.";

struct TSetCheckResult {
    // True when the search may start; message and title are then empty.
    bool ok = true;
    std::u16string message;
    std::u16string title;
    // Indexes (in the set's own order) of the paths to select: every path
    // whose key equals either key of the refused pair, ascending.
    std::vector<std::size_t> selectIndexes;
};

// The key a path is compared by: trimmed and given a trailing "/". Folders
// are compared exactly (Linux tells /data and /Data apart), and
// environment-variable references are left as written.
std::u16string SetCheckKey(std::u16string_view pathText);

// Checks the set as "Start search" does: refuses an empty set, then compares
// neighbours of the set ordered by key; the first pair that is equal or
// nested refuses the set.
TSetCheckResult CheckSearchSet(const TSearchSet& set);

// The key the search path dialog compares a path by: trimmed, given a
// trailing "/", then environment references expanded (so %HOME% and the
// folder it names collide). Folders are compared exactly, as above.
std::u16string PathDialogKey(std::u16string_view pathText);

// Checks a path entered in the search path dialog against the paths of set,
// in order: the same folder, a parent or a child of one of them is refused.
// startText is the path text the edited path had when the dialog opened
// (empty when adding): every path of the set with that key is the edited
// path or a copy of it and is passed over. Never selects rows.
TSetCheckResult CheckDialogPath(const TSearchSet& set, std::u16string_view newText,
                                std::u16string_view startText);

} // namespace vdx
