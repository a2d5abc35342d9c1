#include "engine/VDX_unit_ViewTexts.h"

#include <gtest/gtest.h>
#include <string>

#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {
namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

// A small grouped store: two folders with a name-size pair in capitals, a
// size triple, a name pair of different sizes, two zero-size files in one
// folder and a pair of files above 4 GiB together.
class ViewTextsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::uint32_t a =
            static_cast<std::uint32_t>(m_store.AddFolder(1, 0, 0, true, u"/t/A/"));
        const std::uint32_t b =
            static_cast<std::uint32_t>(m_store.AddFolder(1, 0, a, false, u"/t/A/b/"));
        Add(a, u"REPORT.DOC", 1500, kAttrArchive);
        Add(b, u"REPORT.DOC", 1500, kAttrArchive | kAttrReadOnly);
        Add(b, u"other.bin", 1500, kAttrArchive);
        Add(a, u"Notes.txt", 10, kAttrArchive);
        Add(b, u"Notes.txt", 20, kAttrArchive);
        Add(a, u"z.dat", 0, kAttrArchive);
        Add(a, u"y.dat", 0, kAttrArchive);
        Add(a, u"big.iso", 3 * kGiB, kAttrArchive);
        Add(b, u"huge.img", 3 * kGiB, kAttrArchive);
        Add(b, u".bashrc", 7, kAttrHidden | kAttrArchive);
        ASSERT_TRUE(RunGrouping(m_store));
    }

    void Add(std::uint32_t folder, std::u16string_view name, std::uint64_t size,
             std::uint32_t attributes) {
        ASSERT_EQ(m_store.AddFile(1, folder, name, size, 132000000000000000LL, attributes), 0);
    }

    // The file index of the name in folder path (file indices change in grouping).
    std::uint32_t FileOf(std::u16string_view name, std::u16string_view folder) const {
        for (std::uint32_t i = 0; i < m_store.FileCount(); ++i)
            if (m_store.FileName(i) == name && m_store.FolderPathOfFile(i) == folder)
                return i;
        ADD_FAILURE() << "no file " << Utf8(name);
        return 0;
    }

    TScanData m_store;
};

TEST_F(ViewTextsTest, GroupTextsOfEveryView) {
    const std::uint32_t report = FileOf(u"REPORT.DOC", u"/t/A/");
    const std::uint32_t notes = FileOf(u"Notes.txt", u"/t/A/");
    const std::uint32_t big = FileOf(u"big.iso", u"/t/A/");
    const std::uint32_t zero = FileOf(u"z.dat", u"/t/A/");
    struct TCase {
        TViewKind view;
        std::uint32_t file;
        const char* textAfterNumber;
    };
    const TCase cases[] = {
        // The group's name as the first file has it on disk.
        {kViewSameName, report, " \"REPORT.DOC\" contains 2 files and 3,000 bytes"},
        {kViewSameName, notes, " \"Notes.txt\" contains 2 files and 30 bytes"},
        {kViewSameSize, report, " \"1,500 bytes\" contains 3 files and 4,500 bytes"},
        // The total does not fit in 32 bits and must still be exact.
        {kViewSameSize, big, " \"3,221,225,472 bytes\" contains 2 files and 6,442,450,944 bytes"},
        {kViewSameNameSize, report,
         " \"REPORT.DOC\" & \"1,500 bytes\" contains 2 files and 3,000 bytes"},
        {kViewZeroSize, zero, " contains 2 files"},
    };
    for (const TCase& c : cases) {
        const std::int32_t group = m_store.FileGroup(c.file, c.view);
        ASSERT_GE(group, 0) << c.textAfterNumber;
        const std::string expected = "group #" + std::to_string(group + 1) + c.textAfterNumber;
        EXPECT_EQ(Utf8(GroupText(m_store, c.view, TGroupIndex{group})), expected);
        // Every row of the group, header and files alike, shows the same text.
        const auto& rows = m_store.Rows(c.view);
        int rowsSeen = 0;
        for (std::uint32_t r = 0; r < rows.Count(); ++r)
            if (rows[r].m_group == group) {
                EXPECT_EQ(Utf8(RowGroupText(m_store, c.view, TRow{r})), expected);
                ++rowsSeen;
            }
        EXPECT_GE(rowsSeen, 3) << expected; // the header and at least two files
    }
}

TEST_F(ViewTextsTest, GroupNamesAsStored) {
    const std::uint32_t report = FileOf(u"REPORT.DOC", u"/t/A/");
    EXPECT_EQ(
        GroupName(m_store, kViewSameName, TGroupIndex{m_store.FileGroup(report, kViewSameName)}),
        u"REPORT.DOC");
    EXPECT_EQ(GroupName(m_store, kViewSameNameSize,
                        TGroupIndex{m_store.FileGroup(report, kViewSameNameSize)}),
              u"REPORT.DOC");
    // Size and zero-size groups have no name.
    EXPECT_EQ(GroupName(m_store, kViewSameSize, TGroupIndex{0}), kNoNameText);
    EXPECT_EQ(GroupName(m_store, kViewZeroSize, TGroupIndex{0}), kNoNameText);
}

TEST_F(ViewTextsTest, PositionsOutOfRangeGiveNeutralTexts) {
    for (int slot = 0; slot < kViewCount; ++slot) {
        const TViewKind view = ViewOfSlot(slot);
        const std::uint32_t groups = m_store.GroupCount(view);
        const std::int64_t rows = m_store.Rows(view).Count();
        EXPECT_EQ(GroupText(m_store, view, TGroupIndex{-1}), kNoGroupText);
        EXPECT_EQ(GroupText(m_store, view, TGroupIndex{groups}), kNoGroupText);
        EXPECT_EQ(RowGroupText(m_store, view, TRow{-1}), kNoGroupText);
        EXPECT_EQ(RowGroupText(m_store, view, TRow{rows}), kNoGroupText);
        EXPECT_EQ(GroupName(m_store, view, TGroupIndex{groups}), kNoNameText);
    }
    // No comparison ran: the content views are empty.
    EXPECT_EQ(GroupText(m_store, kViewSameContent, TGroupIndex{0}), kNoGroupText);
    EXPECT_EQ(FileCellText(m_store, kViewSameSize, TFileIndex{m_store.FileCount()}, kGridColName),
              u"");
}

TEST_F(ViewTextsTest, CellTextsOfFileRows) {
    const std::uint32_t report = FileOf(u"REPORT.DOC", u"/t/A/b/");
    const std::uint32_t notes = FileOf(u"Notes.txt", u"/t/A/");
    const std::uint32_t bashrc = FileOf(u".bashrc", u"/t/A/b/");
    const std::uint32_t big = FileOf(u"big.iso", u"/t/A/");
    struct TCase {
        std::uint32_t file;
        int column;
        const char* text;
    };
    const TCase cases[] = {
        {report, kGridColName, "REPORT"},
        {report, kGridColExt, "DOC"},
        {report, kGridColSize, "1,500"},
        {report, kGridColAttr, "a-r-"},
        {notes, kGridColName, "Notes"},
        {notes, kGridColExt, "txt"},
        {bashrc, kGridColName, ".bashrc"},
        {bashrc, kGridColExt, ""},
        {bashrc, kGridColAttr, "ah--"},
        {big, kGridColSize, "3,221,225,472"},
        // A path with small letters keeps its case.
        {notes, kGridColPath, "/t/A/"},
        {report, kGridColMark, ""},
        {report, 99, ""},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Utf8(FileCellText(m_store, kViewSameSize, TFileIndex{c.file}, c.column)), c.text)
            << Utf8(m_store.FileName(c.file)) << " column " << c.column;

    EXPECT_EQ(FileCellText(m_store, kViewSameSize, TFileIndex{report}, kGridColDate),
              FormatFileTime(132000000000000000LL));
    const std::int32_t group = m_store.FileGroup(report, kViewSameSize);
    EXPECT_EQ(Utf8(FileCellText(m_store, kViewSameSize, TFileIndex{report}, kGridColGroup)),
              std::to_string(group + 1));
    // .bashrc is in no size group: no group number.
    EXPECT_EQ(FileCellText(m_store, kViewSameSize, TFileIndex{bashrc}, kGridColGroup), u"");
}

TEST(ViewTexts, AttributeCells) {
    EXPECT_EQ(AttributeCellText(0), u"----");
    EXPECT_EQ(AttributeCellText(kAttrHidden | kAttrReadOnly), u"-hr-");
    EXPECT_EQ(AttributeCellText(kAttrArchive | kAttrHidden | kAttrReadOnly | kAttrSystem), u"ahrs");
    EXPECT_EQ(AttributeCellText(kAttrSystem | 0x10), u"---s");
}

TEST(ViewTexts, CapitalNamesAndPathsKeepTheirCase) {
    // /DATA/OLD and /data/old are two folders here: the cell names the real one.
    TScanData store;
    const auto folder = static_cast<std::uint32_t>(store.AddFolder(1, 0, 0, true, u"/DATA/OLD/"));
    ASSERT_EQ(store.AddFile(1, folder, u"A.TXT", 1, 0, 0), 0);
    EXPECT_EQ(FileCellText(store, kViewSameSize, TFileIndex{0}, kGridColPath), u"/DATA/OLD/");
    EXPECT_EQ(FileCellText(store, kViewSameSize, TFileIndex{0}, kGridColName), u"A");
    EXPECT_EQ(FileCellText(store, kViewSameSize, TFileIndex{0}, kGridColExt), u"TXT");
}

TEST(ViewTexts, Captions) {
    EXPECT_EQ(ViewCaption(kViewSameName), u"Same name");
    EXPECT_EQ(ViewCaption(kViewSameSize), u"Same size");
    EXPECT_EQ(ViewCaption(kViewSameNameSize), u"Same name-size");
    EXPECT_EQ(ViewCaption(kViewSameContent), u"Same content");
    EXPECT_EQ(ViewCaption(kViewFullClones), u"Full clones");
    EXPECT_EQ(ViewCaption(kViewZeroSize), u"Zero size");
}

} // namespace
} // namespace vdx
