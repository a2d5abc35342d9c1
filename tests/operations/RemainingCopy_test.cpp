#include "operations/VDX_unit_RemainingCopy.h"

#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/VDX_unit_FolderScan.h"
#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Marks.h"
#include "engine/VDX_unit_SearchData.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Canonical;
using test::TTempTree;

// r/clean/f.txt is marked for the operation; r/keep/f.txt and r/other/f.txt
// are its copies that stay, unless a case says otherwise.
class RemainingCopyTest : public ::testing::Test {
protected:
    RemainingCopyTest() : m_root(Canonical(m_tree.Root())) {
        for (const char* rel : {"r/clean/f.txt", "r/keep/f.txt", "r/other/f.txt"})
            m_tree.File(rel, "same content");
        m_tree.File("r/unique.txt", "only one of its size");
        m_tree.File("elsewhere/f.txt", "same content");
    }

    void Search() {
        m_store.ClearForNewSearch();
        auto item = std::make_unique<TSearchData>();
        item->SearchPath = DecodeFileName(m_root + "/r");
        item->Prepare();
        m_paths.Clear();
        m_paths.AddOwned(std::move(item));
        TFolderScan scan(m_store, m_paths);
        scan.SetProtectedFolders({}, {});
        ASSERT_TRUE(scan.ScanAll());
        ASSERT_TRUE(RunGrouping(m_store));
    }

    std::uint32_t FileOf(const std::string& rel) const {
        for (std::uint32_t i = 0; i < m_store.FileCount(); ++i)
            if (EncodeFileName(m_store.FullPath(i)) == m_root + "/r/" + rel)
                return i;
        ADD_FAILURE() << rel << " not in the store";
        return 0;
    }

    std::string R(const std::string& rel) const { return m_root + "/r/" + rel; }

    TTempTree m_tree;
    std::string m_root;
    TScanData m_store;
    TSearchDataList m_paths;
};

TEST_F(RemainingCopyTest, RefusesWhenNoCopyThatStaysIsStillThereUnchanged) {
    struct TCase {
        const char* what;
        // Runs after the search, before the check; may mark files and add
        // files to the operation.
        std::function<void(std::vector<std::int32_t>& operation)> change;
        int expected;
    };
    const TCase cases[] = {
        {"both copies there", [](std::vector<std::int32_t>&) {}, 0},
        {"one copy removed, the other there",
         [this](std::vector<std::int32_t>&) { ::unlink(R("keep/f.txt").c_str()); }, 0},
        {"both copies removed by another program",
         [this](std::vector<std::int32_t>&) {
             ::unlink(R("keep/f.txt").c_str());
             ::unlink(R("other/f.txt").c_str());
         },
         kErrorNoRemainingCopy},
        {"one removed, the other replaced by a look-alike with copied times",
         [this](std::vector<std::int32_t>&) {
             ::unlink(R("keep/f.txt").c_str());
             struct stat st {};
             ::lstat(R("other/f.txt").c_str(), &st);
             m_tree.File("r/other/f.new", "SAME CONTENT");
             const struct timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, R("other/f.new").c_str(), times, 0);
             ::rename(R("other/f.new").c_str(), R("other/f.txt").c_str());
         },
         kErrorNoRemainingCopy},
        {"one removed, the other's folder swapped for a link to a copy",
         [this](std::vector<std::int32_t>&) {
             ::unlink(R("keep/f.txt").c_str());
             ::rename(R("other").c_str(), R("other.moved").c_str());
             ::symlink((m_root + "/elsewhere").c_str(), R("other").c_str());
         },
         kErrorNoRemainingCopy},
        {"both copies in the operation too",
         [this](std::vector<std::int32_t>& operation) {
             operation.push_back(static_cast<std::int32_t>(FileOf("keep/f.txt")));
             operation.push_back(static_cast<std::int32_t>(FileOf("other/f.txt")));
         },
         kErrorNoRemainingCopy},
        {"both copies marked",
         [this](std::vector<std::int32_t>&) {
             SetFileMark(m_store, kViewSameSize, TFileIndex{FileOf("keep/f.txt")}, true);
             SetFileMark(m_store, kViewSameSize, TFileIndex{FileOf("other/f.txt")}, true);
         },
         kErrorNoRemainingCopy},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        // The tree as the fixture made it: a swapped folder back in place
        // first, so that no file is written through the link.
        if (::unlink(R("other").c_str()) == 0)
            ::rename(R("other.moved").c_str(), R("other").c_str());
        for (const char* rel : {"r/keep/f.txt", "r/other/f.txt"})
            m_tree.File(rel, "same content");
        Search();
        std::vector<std::int32_t> operation{static_cast<std::int32_t>(FileOf("clean/f.txt"))};
        c.change(operation);
        TRemainingCopyCheck check(m_store, kViewSameSize, operation);
        EXPECT_EQ(check.Check(FileOf("clean/f.txt")), c.expected);
    }
}

TEST_F(RemainingCopyTest, FileInNoGroupHasNoRemainingCopy) {
    Search();
    const std::uint32_t unique = FileOf("unique.txt");
    TRemainingCopyCheck check(m_store, kViewSameSize, {static_cast<std::int32_t>(unique)});
    EXPECT_EQ(check.Check(unique), kErrorNoRemainingCopy);
}

} // namespace
} // namespace vdx
