#pragma once
// Builds small scan stores for the view and mark tests: files added as the
// folder scan adds them, grouped as a search groups them, and optionally
// given content views; and a recount of every mark count of a store.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/VDX_unit_ScanData.h"

namespace vdx::test {

struct TStoreFile {
    std::u16string folder; // ends with "/"
    std::u16string name;
    std::uint64_t size = 0;
    TFileTime time = 100;
    std::uint32_t attributes = kAttrArchive;
};

// Adds each folder once, in first-seen order, and every file to its folder.
void FillStore(TScanData& store, const std::vector<TStoreFile>& files);
// FillStore, then the grouping of a search.
void BuildGroupedStore(TScanData& store, const std::vector<TStoreFile>& files);
// Gives a grouped store Same content and Full clones views as a comparison
// would leave them: each Same size group split in two by the parity of its
// files' folder indices, halves of one file dropped.
void AddContentViews(TScanData& store);

// Recounts every view's marks from the file bits and group fields and
// compares them with the stored counts, states, marked files and bytes.
// Empty when all agree, else one line per disagreement.
std::string MarkCountProblems(const TScanData& store);

} // namespace vdx::test
