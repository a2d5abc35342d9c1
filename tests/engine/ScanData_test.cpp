#include "engine/VDX_unit_ScanData.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "engine/VDX_unit_Grouping.h"
#include "tests/support/VDX_test_StoreKey.h"

namespace vdx {
namespace {

std::string Utf8(std::u16string_view text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// Makes every block allocation fail while it is installed.
struct TFailingAllocations {
    TFailingAllocations() {
        m_previous = SetBlockRealloc([](void*, std::size_t) -> void* { return nullptr; });
    }
    ~TFailingAllocations() { SetBlockRealloc(m_previous); }
    TBlockReallocFn m_previous;
};

TEST(ScanData, NewStoreIsEmptyWithProtectionsOn) {
    TScanData store;
    EXPECT_EQ(store.FileCount(), 0u);
    EXPECT_EQ(store.FolderCount(), 0u);
    EXPECT_EQ(store.Files().Capacity(), 1u);
    EXPECT_EQ(store.Folders().Capacity(), 1u);
    for (int slot = 0; slot < kViewCount; ++slot) {
        TViewKind view = ViewOfSlot(slot);
        EXPECT_EQ(store.GroupCount(view), 0u);
        EXPECT_EQ(store.Rows(view).Count(), 0u);
        EXPECT_EQ(store.Order(view).Count(), 0u);
        EXPECT_EQ(store.Counters(view).m_fileRows, 0u);
    }
    EXPECT_EQ(store.ZeroSizeFiles(), 0u);
    EXPECT_FALSE(store.Status().m_searchDone);
    EXPECT_TRUE(store.m_protectSystemFolder);
    EXPECT_TRUE(store.m_protectProgramFolder);
    EXPECT_TRUE(store.m_protectHiddenFolders);
    EXPECT_FALSE(store.SystemFolders().empty());
    EXPECT_LT(store.MemoryBytes(), 4096u);
}

TEST(ScanData, ViewKindsSlotsAndMarkBits) {
    EXPECT_EQ(ViewMarkBit(kViewSameName), 0x01);
    EXPECT_EQ(ViewMarkBit(kViewSameSize), 0x02);
    EXPECT_EQ(ViewMarkBit(kViewSameNameSize), 0x04);
    EXPECT_EQ(ViewMarkBit(kViewSameContent), 0x08);
    EXPECT_EQ(ViewMarkBit(kViewFullClones), 0x10);
    EXPECT_EQ(ViewMarkBit(kViewZeroSize), 0x20);
    // Unknown codes are Same name-size.
    EXPECT_EQ(NormalizeViewKind(0), kViewSameNameSize);
    EXPECT_EQ(NormalizeViewKind(22), kViewSameNameSize);
    EXPECT_EQ(ViewMarkBit(99), 0x04);
}

TEST(ScanData, FoldersAndFilesReadBackAsFound) {
    TScanData store;
    std::int32_t root = store.AddFolder(3, 0, 12345, true, u"/Data/Photos/");
    std::int32_t sub =
        store.AddFolder(3, 0, static_cast<std::uint32_t>(root), false, u"/Data/Photos/Été 2019/");
    ASSERT_EQ(root, 0);
    ASSERT_EQ(sub, 1);
    EXPECT_EQ(+store.Folder(0).m_parent, 0u); // a search root is its own parent
    EXPECT_EQ(+store.Folder(1).m_parent, 0u);
    EXPECT_TRUE(+store.Folder(0).m_searchRoot);
    EXPECT_FALSE(+store.Folder(1).m_searchRoot);
    EXPECT_EQ(+store.Folder(1).m_volume, 3);

    ASSERT_EQ(store.AddFile(3, 1, u"Photo.JPG", 1234, 5678, kAttrArchive), 0);
    EXPECT_EQ(store.FileName(0), u"Photo.JPG");
    EXPECT_EQ(store.FolderPathOfFile(0), u"/Data/Photos/Été 2019/");
    EXPECT_EQ(store.FullPath(0), u"/Data/Photos/Été 2019/Photo.JPG");
    EXPECT_EQ(store.FileSize(0), 1234u);
    EXPECT_EQ(store.FileLastWrite(0), 5678);
    EXPECT_EQ(store.FileAttributes(0), kAttrArchive);
    EXPECT_EQ(store.FileVolume(0), 3);
    const TScanFileItem& f = store.File(0);
    EXPECT_EQ(+f.m_nameLength, 18);
    for (TViewKind v : {kViewSameName, kViewSameSize, kViewSameNameSize, kViewSameContent,
                        kViewFullClones, kViewZeroSize})
        EXPECT_EQ(store.FileGroup(0, v), -1);
    EXPECT_EQ(+f.m_baseClass, -1);
    EXPECT_EQ(+f.m_extClass, -1);
    EXPECT_EQ(+f.m_marks, 0);
    EXPECT_EQ(+f.m_removed, 0);
    EXPECT_EQ(+f.m_zeroSize, 0);
}

TEST(ScanData, ExtensionPositions) {
    struct TCase {
        std::u16string name;
        std::u16string extension;
    };
    const TCase cases[] = {
        {u".profile", u""},   {u"archive.tar.gz", u".gz"},
        {u"README", u""},     {u"a.b", u".b"},
        {u"trailing.", u"."}, {u"..x", u".x"},
        {u"x", u""},          {u".a.b", u".b"},
    };
    TScanData store;
    store.AddFolder(kNoVolume, 0, 0, true, u"/");
    for (const TCase& c : cases) {
        ASSERT_EQ(store.AddFile(kNoVolume, 0, c.name, 1, 0, 0), 0);
        std::uint32_t i = store.FileCount() - 1;
        const TScanFileItem& f = store.File(i);
        EXPECT_EQ(store.FileExtension(i), c.extension) << Utf8(c.name);
        if (c.extension.empty())
            EXPECT_EQ(+f.m_extPos, f.m_namePos + f.m_nameLength + 1) << Utf8(c.name);
        else
            EXPECT_EQ(+f.m_extPos, f.m_namePos + 2 * (c.name.size() - c.extension.size()))
                << Utf8(c.name);
    }
}

TEST(ScanData, TablesGrowByTheirSteps) {
    TScanData store;
    store.AddFolder(0, 0, 0, true, u"/r/");
    for (std::uint32_t i = 0; i < kFileStep + 1; ++i)
        ASSERT_EQ(store.AddFile(0, 0, u"f", i, 0, 0), 0);
    EXPECT_EQ(store.FileCount(), kFileStep + 1);
    // One record, then one step more when the second file arrives.
    EXPECT_EQ(store.Files().Capacity(),
              1 + kFileStep + (kFileStep + 1 > 1 + kFileStep ? kFileStep : 0));
    for (std::uint32_t i = 1; i < kFolderStep + 1; ++i)
        ASSERT_GE(store.AddFolder(0, 0, 0, false, u"/r/x/"), 0);
    EXPECT_EQ(store.Folders().Capacity(), 1 + kFolderStep);
    EXPECT_EQ(store.Pool().CapacityBytes() % kTextPoolStep, 2u);
    // Every text and the records stay intact across the reallocations.
    EXPECT_EQ(store.FileName(kFileStep), u"f");
    EXPECT_EQ(store.FileSize(kFileStep), kFileStep);
    EXPECT_EQ(store.FolderPath(0), u"/r/");
}

TEST(ScanData, FailedGrowthSkipsTheEntryAndTheScanGoesOn) {
    TScanData store;
    store.AddFolder(0, 0, 0, true, u"/r/");
    ASSERT_EQ(store.AddFile(0, 0, u"first", 1, 0, 0), 0);
    std::uint32_t usedBefore = store.Pool().UsedBytes();
    {
        TFailingAllocations failing;
        // The file table is full (capacity 1), so it must grow and cannot.
        EXPECT_EQ(store.AddFile(0, 0, u"second", 2, 0, 0), ENOMEM);
        int errorCode = 0;
        EXPECT_EQ(store.AddFolder(0, 0, 0, false, u"/r/s/", errorCode), -1);
        EXPECT_EQ(errorCode, ENOMEM);
    }
    EXPECT_EQ(store.FileCount(), 1u);
    EXPECT_EQ(store.FolderCount(), 1u);
    EXPECT_EQ(store.Pool().UsedBytes(), usedBefore);
    ASSERT_EQ(store.AddFile(0, 0, u"third", 3, 0, 0), 0);
    EXPECT_EQ(store.FileName(1), u"third");
    EXPECT_EQ(store.FileName(0), u"first");
}

TEST(ScanData, PoolFailureLeavesTheFileTableUnchanged) {
    TScanData store;
    store.AddFolder(0, 0, 0, true, u"/r/");
    // Fill the pool until the next long name needs a new block, while the
    // file table still has room.
    const std::u16string longName(30000, u'x');
    while (store.Pool().CapacityBytes() - store.Pool().UsedBytes() > 2 * longName.size() + 4)
        ASSERT_EQ(store.AddFile(0, 0, longName, 1, 0, 0), 0);
    std::uint32_t files = store.FileCount();
    std::uint32_t used = store.Pool().UsedBytes();
    {
        TFailingAllocations failing;
        EXPECT_EQ(store.AddFile(0, 0, longName, 1, 0, 0), ENOMEM);
    }
    EXPECT_EQ(store.FileCount(), files);
    EXPECT_EQ(store.Pool().UsedBytes(), used);
    ASSERT_EQ(store.AddFile(0, 0, u"after", 1, 0, 0), 0);
    EXPECT_EQ(store.FileName(files), u"after");
}

TEST(ScanData, RejectsNamesARecordCannotHold) {
    TScanData store;
    store.AddFolder(0, 0, 0, true, u"/r/");
    EXPECT_EQ(store.AddFile(0, 0, u"", 1, 0, 0), EINVAL);
    EXPECT_EQ(store.AddFile(0, 0, std::u16string(40000, u'n'), 1, 0, 0), ENAMETOOLONG);
    int errorCode = 0;
    EXPECT_EQ(store.AddFolder(0, 0, 0, false, std::u16string(40000, u'p'), errorCode), -1);
    EXPECT_EQ(errorCode, ENAMETOOLONG);
    EXPECT_EQ(store.FileCount(), 0u);
    EXPECT_EQ(store.AddFile(0, 0, std::u16string(32767, u'n'), 1, 0, 0), 0);
    EXPECT_EQ(store.FileName(0).size(), 32767u);
}

TEST(ScanData, FolderCountsAddUpToTheScanSums) {
    TScanData store;
    store.AddFolder(0, 0, 0, true, u"/r/");
    store.AddFolder(0, 0, 0, false, u"/r/a/");
    store.SetFolderCounts(0, 10, 1);
    store.SetFolderCounts(1, 5, 0);
    EXPECT_EQ(+store.Folder(0).m_filesFound, 10u);
    EXPECT_EQ(+store.Folder(1).m_subFoldersAdded, 0u);
    EXPECT_EQ(store.FilesFoundSum(), 15u);
    EXPECT_EQ(store.SubFoldersAddedSum(), 1u);
}

TEST(ScanData, ClearForNewSearchEmptiesEverything) {
    TScanData store;
    store.AddFolder(0, 0, 0, true, u"/r/");
    store.SetFolderCounts(0, 4, 0);
    store.AddFile(0, 0, u"a.txt", 10, 0, 0);
    store.AddFile(0, 0, u"A.TXT", 10, 0, 0);
    store.AddFile(0, 0, u"z", 0, 0, 0);
    RunGrouping(store);
    // Pretend a comparison ran.
    TSizeGroupItem content{};
    ASSERT_EQ(store.ContentGroups(kTestKey).Append(content), 0);
    store.Status(kTestKey).m_searchDone = true;
    store.Status(kTestKey).m_contentDone = true;
    store.Status(kTestKey).m_searchAborted = true;
    store.Status(kTestKey).m_contentAborted = true;
    store.m_protectHiddenFolders = false;
    ASSERT_GT(store.GroupCount(kViewSameName), 0u);

    store.ClearForNewSearch();
    EXPECT_EQ(store.FileCount(), 0u);
    EXPECT_EQ(store.FolderCount(), 0u);
    EXPECT_EQ(store.Pool().UsedBytes(), 0u);
    EXPECT_EQ(store.UpperPool().UsedBytes(), 0u);
    for (int slot = 0; slot < kViewCount; ++slot) {
        TViewKind view = ViewOfSlot(slot);
        EXPECT_EQ(store.GroupCount(view), 0u) << slot;
        EXPECT_EQ(store.Rows(view).Count(), 0u) << slot;
        EXPECT_EQ(store.Order(view).Count(), 0u) << slot;
        EXPECT_EQ(store.Counters(view).m_fileRows, 0u) << slot;
        EXPECT_EQ(store.Counters(view).m_groupFiles, 0u) << slot;
        EXPECT_EQ(store.Counters(view).m_groupBytes, 0u) << slot;
    }
    EXPECT_EQ(store.ZeroSizeFiles(), 0u);
    EXPECT_EQ(store.FilesFoundSum(), 0u);
    EXPECT_FALSE(store.Status().m_searchDone);
    EXPECT_FALSE(store.Status().m_contentDone);
    EXPECT_FALSE(store.Status().m_searchAborted);
    EXPECT_FALSE(store.Status().m_contentAborted);
    EXPECT_FALSE(store.m_protectHiddenFolders); // settings survive a clear
    EXPECT_EQ(store.Files().Capacity(), 1u);
    EXPECT_LT(store.MemoryBytes(), 4096u);
}

TEST(ScanData, ClearContentResultsForgetsContentGroupsButKeepsMarks) {
    TScanData store;
    store.AddFolder(0, 0, 0, true, u"/r/");
    store.AddFile(0, 0, u"a", 10, 0, 0);
    store.AddFile(0, 0, u"b", 10, 0, 0);
    RunGrouping(store);
    for (std::uint32_t i = 0; i < 2; ++i) {
        store.File(kTestKey, i).m_contentGroup = 0;
        store.File(kTestKey, i).m_cloneGroup = 0;
        store.File(kTestKey, i).m_marks =
            ViewMarkBit(kViewSameContent) | ViewMarkBit(kViewSameSize);
    }
    ASSERT_EQ(store.ContentGroups(kTestKey).Append(TSizeGroupItem{}), 0);
    ASSERT_EQ(store.CloneGroups(kTestKey).Append(TNameSizeGroupItem{}), 0);
    store.ClearContentResults();
    EXPECT_EQ(store.ContentGroups().Count(), 0u);
    EXPECT_EQ(store.CloneGroups().Count(), 0u);
    EXPECT_EQ(store.GroupCount(kViewSameSize), 1u); // other views untouched
    for (std::uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(+store.File(i).m_contentGroup, -1);
        EXPECT_EQ(+store.File(i).m_cloneGroup, -1);
        EXPECT_EQ(+store.File(i).m_marks,
                  ViewMarkBit(kViewSameContent) | ViewMarkBit(kViewSameSize));
    }
    EXPECT_EQ(store.Counters(kViewSameContent).m_markedFiles, 0u); // the view is gone
}

} // namespace
} // namespace vdx
