#include "tests/support/VDX_test_Store.h"

#include <gtest/gtest.h>

#include <sstream>

#include "engine/VDX_unit_Grouping.h"
#include "tests/support/VDX_test_StoreKey.h"

namespace vdx::test {

void FillStore(TScanData& store, const std::vector<TStoreFile>& files) {
    for (const TStoreFile& f : files) {
        std::int32_t folder = -1;
        for (std::uint32_t i = 0; i < store.FolderCount() && folder < 0; ++i) {
            if (store.FolderPath(i) == f.folder)
                folder = static_cast<std::int32_t>(i);
        }
        if (folder < 0)
            folder = store.AddFolder(0, 0, 0, store.FolderCount() == 0, f.folder);
        if (folder >= 0)
            store.AddFile(0, static_cast<std::uint32_t>(folder), f.name, f.size, f.time,
                          f.attributes);
    }
}

void BuildGroupedStore(TScanData& store, const std::vector<TStoreFile>& files) {
    FillStore(store, files);
    RunGrouping(store);
}

void AddContentViews(TScanData& store) {
    // The re-index rebuilds the content view from the files' previous
    // content groups whenever a completed comparison left groups behind.
    for (TScanFileItem& f : store.Files(kTestKey)) {
        f.m_contentGroup =
            f.m_sizeGroup < 0 ? -1 : f.m_sizeGroup * 2 + static_cast<std::int32_t>(f.m_folder & 1);
    }
    TSizeGroupItem placeholder{};
    EXPECT_EQ(store.ContentGroups(kTestKey).Append(placeholder), 0);
    store.Status(kTestKey).m_contentDone = true;
    store.ReindexAfterRemovals();
}

std::string MarkCountProblems(const TScanData& store) {
    std::ostringstream out;
    for (int slot = 0; slot < kViewCount; ++slot) {
        const TViewKind view = ViewOfSlot(slot);
        const std::uint32_t groups = store.GroupCount(view);
        std::vector<std::uint32_t> members(groups, 0);
        std::vector<std::uint32_t> marked(groups, 0);
        std::uint32_t markedFiles = 0;
        std::uint64_t markedBytes = 0;
        for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
            const std::int32_t g = store.FileGroup(i, view);
            if (g < 0)
                continue;
            if (static_cast<std::uint32_t>(g) >= groups) {
                out << "view " << view << ": file " << i << " in missing group " << g << "\n";
                continue;
            }
            ++members[static_cast<std::uint32_t>(g)];
            if (store.IsMarked(i, view)) {
                ++marked[static_cast<std::uint32_t>(g)];
                ++markedFiles;
                markedBytes += store.FileSize(i);
            }
        }
        for (std::uint32_t g = 0; g < groups; ++g) {
            const TGroupHead& head = store.GroupHead(view, g);
            const std::uint8_t state = marked[g] == 0 ? 0 : (marked[g] == members[g] ? 1 : 2);
            if (head.m_fileCount != members[g] || head.m_markedCount != marked[g] ||
                store.GroupMarkState(view, g) != state) {
                out << "view " << view << " group " << g << ": files " << head.m_fileCount << "/"
                    << members[g] << " marked " << head.m_markedCount << "/" << marked[g]
                    << " state " << int{store.GroupMarkState(view, g)} << "/" << int{state} << "\n";
            }
        }
        const TViewCounters& counters = store.Counters(view);
        if (view == kViewZeroSize)
            markedBytes = 0;
        if (counters.m_markedFiles != markedFiles || counters.m_markedBytes != markedBytes) {
            out << "view " << view << ": marked files " << counters.m_markedFiles << "/"
                << markedFiles << " bytes " << counters.m_markedBytes << "/" << markedBytes << "\n";
        }
    }
    return out.str();
}

} // namespace vdx::test
