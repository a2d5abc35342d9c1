#include "operations/VDX_unit_SafetyAnalysis.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

constexpr std::uint64_t kMB = 1048576;

const std::u16string kDirect =
    u"You do not move files to the Recycle Bin (remove directly). Deleted files will be "
    u"unrecoverable.";
const std::u16string kDirectAdvice =
    u"Turn off the \"Delete files directly\" option at the \"Delete files\" window.";
const std::u16string kPermanent = u"Files will be deleted permanently.";
const std::u16string kMoveAdvice = u"Move files into temporary folder instead of delete them.";
const std::u16string kUnknown =
    u"VDX is unable to get Recycle Bin settings. Probably the files will be deleted permanently.";
const std::u16string kChangeAdvice =
    u"Change Recycle Bin settings or Move files into temporary folder instead of delete them.";
const std::u16string kSwitchedOff =
    u"Recycle Bin settings prevent to send files into Recycle Bin. Files will be deleted "
    u"permanently.";
const std::u16string kRecoverable =
    u"Deleted files would be send into Recycle Bin. You will be able to recover deleted files "
    u"later.";
const std::u16string kNoRoom =
    u"Not enough space in Recycle Bin to place deleted files. Files will be deleted permanently.";
const std::u16string kClearAdvice =
    u"Clear Recycle Bin or Move files into temporary folder instead of delete them.";
const std::u16string kReadOnly = u"The drive is mounted read-only. Files cannot be deleted from "
                                 u"it and will stay where they are.";
const std::u16string kReadOnlyAdvice =
    u"Mount the drive for writing first, or leave its files out of the list.";

TTrashState Usable(std::optional<std::uint64_t> capacityBytes = std::nullopt,
                   std::uint64_t binBytes = 0, std::uint64_t binItems = 0) {
    TTrashState state;
    state.problem = TTrashProblem::kNone;
    state.folder = "/t/.Trash-1000";
    state.limited = capacityBytes.has_value();
    state.capacityBytes = capacityBytes.value_or(0);
    state.bytes = binBytes;
    state.items = binItems;
    return state;
}

TTrashState Broken(TTrashProblem problem, int error = 0) {
    TTrashState state;
    state.problem = problem;
    state.error = error;
    return state;
}

TScanDrivesItem Volume(const std::u16string& root, int driveType) {
    TScanDrivesItem item;
    item.root = root;
    item.driveType = driveType;
    item.fileSystem = u"ext4";
    return item;
}

// A volume table whose trash answers come from a map by root, counting the
// questions asked.
class SafetyAnalysisTest : public ::testing::Test {
protected:
    TVolumeIndex Add(const std::u16string& root, int driveType, TTrashState state) {
        m_states[root] = state;
        return m_drives.Add(Volume(root, driveType));
    }

    TSafetyAnalysis MakeAnalysis() {
        return TSafetyAnalysis(m_drives, [this](const TScanDrivesItem& volume) {
            ++m_queries[volume.root];
            return m_states.at(volume.root);
        });
    }

    TScanDrivesData m_drives;
    std::map<std::u16string, TTrashState> m_states;
    std::map<std::u16string, int> m_queries;
};

TEST_F(SafetyAnalysisTest, VerdictForEachKindOfVolume) {
    struct TCase {
        const char16_t* root;
        int driveType;
        TTrashState state;
        std::uint64_t selectedBytes;
        const std::u16string& verdict;
        const std::u16string& advice;
        bool alert;
    };
    const std::u16string none;
    const TCase cases[] = {
        {u"/a-home/", kDriveFixed, Usable(), 5 * kMB, kRecoverable, none, false},
        {u"/b-usb-stick/", kDriveRemovable, Usable(), 5 * kMB, kRecoverable, none, false},
        {u"/c-nfs/", kDriveRemote, Usable(), 5 * kMB, kRecoverable, none, false},
        {u"/d-tmpfs/", kDriveRamDisk, Broken(TTrashProblem::kSystemVolume), 5, kPermanent,
         kMoveAdvice, true},
        // Nothing can be deleted there, by the trash or directly.
        {u"/e-cdrom/", kDriveCdRom, Broken(TTrashProblem::kReadOnly), 5, kReadOnly, kReadOnlyAdvice,
         true},
        {u"/e-ro-trash/", kDriveFixed, Broken(TTrashProblem::kNoTrashFolder, EROFS), 5, kReadOnly,
         kReadOnlyAdvice, true},
        {u"/f-notrash/", kDriveFixed, Broken(TTrashProblem::kSwitchedOff), 5, kSwitchedOff,
         kChangeAdvice, true},
        {u"/g-no-folder/", kDriveFixed, Broken(TTrashProblem::kNoTrashFolder), 5, kUnknown,
         kChangeAdvice, true},
        {u"/g-no-folder2-eio/", kDriveFixed, Broken(TTrashProblem::kNoTrashFolder, EIO), 5,
         kUnknown, kChangeAdvice, true},
        // A trash folder that cannot be created (or must not be used) is no
        // trash at all: the deletion removes these files for good.
        {u"/g-not-creatable/", kDriveFixed, Broken(TTrashProblem::kNoTrashFolder, EACCES), 5,
         kPermanent, kMoveAdvice, true},
        {u"/g-ruled-out/", kDriveFixed, Broken(TTrashProblem::kNoTrashFolder, EPERM), 5, kPermanent,
         kMoveAdvice, true},
        // 1000 MB of room: 999.9 MB fits (whole megabytes), 1001 MB does not.
        {u"/h-fits/", kDriveFixed, Usable(1000 * kMB), 999 * kMB + 943718, kRecoverable, none,
         false},
        {u"/i-too-big/", kDriveFixed, Usable(1000 * kMB), 1001 * kMB, kNoRoom, kClearAdvice, true},
        // What the trash already holds counts against its room.
        {u"/j-half-full/", kDriveFixed, Usable(1000 * kMB, 500 * kMB, 7), 500 * kMB, kRecoverable,
         none, false},
        {u"/k-half-full/", kDriveFixed, Usable(1000 * kMB, 500 * kMB, 7), 501 * kMB, kNoRoom,
         kClearAdvice, true},
        {u"/l-limit-zero/", kDriveFixed, Usable(0), 1, kRecoverable, none, false},
        {u"/m-limit-zero/", kDriveFixed, Usable(0), kMB, kNoRoom, kClearAdvice, true},
        {u"/n-unlimited/", kDriveFixed, Usable(std::nullopt, 1ull << 50), 1ull << 40, kRecoverable,
         none, false},
    };
    for (const TCase& c : cases)
        Add(c.root, c.driveType, c.state);
    TSafetyAnalysis analysis = MakeAnalysis();
    for (std::size_t i = 0; i < std::size(cases); ++i)
        analysis.AddFile(i, cases[i].selectedBytes);

    for (bool direct : {false, true}) {
        analysis.Analyse(direct);
        ASSERT_EQ(analysis.ItemCount(), std::size(cases));
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            const TCase& c = cases[i];
            const TOutputItem& item = analysis.Item(i);
            SCOPED_TRACE(ToUtf8(c.root) + (direct ? " direct" : ""));
            const bool readOnly = &c.verdict == &kReadOnly;
            const bool useDirect = direct && !readOnly;
            EXPECT_EQ(item.root, c.root);
            EXPECT_EQ(item.volume, i);
            EXPECT_EQ(item.verdict, useDirect ? kDirect : c.verdict);
            EXPECT_EQ(item.advice, useDirect ? kDirectAdvice : c.advice);
            EXPECT_EQ(item.alert, useDirect || c.alert);
            // Only a verdict that names permanent deletion lets the deletion
            // remove files for good.
            EXPECT_EQ(item.permanent, !readOnly && (useDirect || c.alert));
            EXPECT_EQ(analysis.PermanentVolumes().test(i), item.permanent);
        }
    }
}

TEST_F(SafetyAnalysisTest, RecordsGetTheTrashFacts) {
    TVolumeIndex limited = Add(u"/a/", kDriveFixed, Usable(10 * kMB + 5, 3 * kMB, 4));
    TVolumeIndex unlimited = Add(u"/b/", kDriveFixed, Usable());
    TVolumeIndex off = Add(u"/c/", kDriveFixed, Broken(TTrashProblem::kSwitchedOff));
    TVolumeIndex unknown = Add(u"/d/", kDriveFixed, Broken(TTrashProblem::kNoTrashFolder));
    TVolumeIndex huge = Add(u"/e/", kDriveFixed, Usable(std::uint64_t{1} << 60));
    TSafetyAnalysis analysis = MakeAnalysis();
    for (TVolumeIndex i : {limited, unlimited, off, unknown, huge})
        analysis.AddFile(i, 1);
    analysis.Analyse(false);

    const TScanDrivesItem& a = m_drives.Item(limited);
    EXPECT_TRUE(a.settingsKnown);
    EXPECT_FALSE(a.deleteAtOnce);
    EXPECT_EQ(a.capacity, 10);
    EXPECT_EQ(a.binBytes, static_cast<std::int64_t>(3 * kMB));
    EXPECT_EQ(a.binItems, 4);
    EXPECT_EQ(m_drives.Item(unlimited).capacity, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(m_drives.Item(huge).capacity, std::numeric_limits<std::int32_t>::max())
        << "megabytes beyond 32 bits are clamped, not wrapped";
    EXPECT_TRUE(m_drives.Item(off).deleteAtOnce);
    EXPECT_TRUE(m_drives.Item(off).settingsKnown);
    EXPECT_FALSE(m_drives.Item(unknown).settingsKnown);
}

TEST_F(SafetyAnalysisTest, SelectionSumsPerVolumeAndSkipsFilesWithoutOne) {
    TVolumeIndex first = Add(u"/first/", kDriveFixed, Usable());
    TVolumeIndex idle = Add(u"/idle/", kDriveFixed, Usable());
    TVolumeIndex second = Add(u"/second/", kDriveFixed, Usable());
    TSafetyAnalysis analysis = MakeAnalysis();
    analysis.AddFile(first, 1000);
    analysis.AddFile(second, 7);
    analysis.AddFile(first, 234);
    analysis.AddFile(kNoVolume, 99);
    analysis.AddFile(17, 99);
    analysis.Analyse(false);

    EXPECT_EQ(m_drives.Item(first).selectedFiles, 2);
    EXPECT_EQ(m_drives.Item(first).selectedBytes, 1234u);
    EXPECT_EQ(m_drives.Item(second).selectedFiles, 1);
    EXPECT_EQ(m_drives.Item(idle).selectedFiles, 0);
    ASSERT_EQ(analysis.ItemCount(), 2u) << "no item for a volume without selected files";
    EXPECT_EQ(analysis.Item(0).root, u"/first/");
    EXPECT_EQ(analysis.Item(1).root, u"/second/");
    EXPECT_EQ(m_queries.count(u"/idle/"), 0u) << "only affected volumes are asked";

    // A new confirmation starts from nothing.
    analysis.ResetSelection();
    analysis.AddFile(second, 1);
    analysis.Analyse(true);
    EXPECT_EQ(m_drives.Item(first).selectedFiles, 0);
    EXPECT_EQ(m_drives.Item(first).selectedBytes, 0u);
    ASSERT_EQ(analysis.ItemCount(), 1u);
    EXPECT_EQ(analysis.Item(0).root, u"/second/");
    EXPECT_EQ(analysis.Item(0).verdict, kDirect);
}

TEST_F(SafetyAnalysisTest, ItemTextsAreExact) {
    TScanDrivesItem item = Volume(u"/media/u/My Stick/", kDriveRemovable);
    item.label = u"My Stick";
    item.fileSystem = u"vfat";
    item.serial = 0xDEADBEEF;
    m_states[item.root] = Usable();
    TVolumeIndex stick = m_drives.Add(item);
    TVolumeIndex root = Add(u"/", kDriveFixed, Usable());
    TSafetyAnalysis analysis = MakeAnalysis();
    for (int i = 0; i < 1234; ++i)
        analysis.AddFile(stick, 4567);
    analysis.AddFile(root, 0);
    analysis.Analyse(false);

    ASSERT_EQ(analysis.ItemCount(), 2u);
    const TOutputItem& top = analysis.Item(0);
    EXPECT_EQ(top.title, u"Drive /") << "the root folder keeps its only slash";
    EXPECT_EQ(top.details, u" [] (ext4, serial 0) is a fixed drive");
    EXPECT_EQ(top.selection, u"1 files (total 0 bytes) are selected to delete from the drive");
    const TOutputItem& usb = analysis.Item(1);
    EXPECT_EQ(usb.title, u"Drive /media/u/My Stick");
    EXPECT_EQ(usb.details, u" [My Stick] (vfat, serial 3735928559) is a removable drive");
    EXPECT_EQ(usb.selection,
              u"1,234 files (total 5,635,678 bytes) are selected to delete from the drive");
}

TEST_F(SafetyAnalysisTest, ItemsAreOrderedByRootWithoutCase) {
    std::vector<TVolumeIndex> indexes;
    for (const char16_t* root : {u"/mnt/b/", u"/srv/", u"/", u"/Data/", u"/data2/", u"/mnt/A/"})
        indexes.push_back(Add(root, kDriveFixed, Usable()));
    TSafetyAnalysis analysis = MakeAnalysis();
    for (TVolumeIndex i : indexes)
        analysis.AddFile(i, 1);
    analysis.Analyse(false);
    std::vector<std::u16string> roots;
    for (std::size_t i = 0; i < analysis.ItemCount(); ++i)
        roots.push_back(analysis.Item(i).root);
    EXPECT_EQ(roots, (std::vector<std::u16string>{u"/", u"/Data/", u"/data2/", u"/mnt/A/",
                                                  u"/mnt/b/", u"/srv/"}));
}

TEST(SafetyAnalysisTexts, DriveTypes) {
    const std::pair<int, const char16_t*> cases[] = {
        {0, u"an unknown drive"}, {1, u"without root"},   {2, u"a removable drive"},
        {3, u"a fixed drive"},    {4, u"a remote drive"}, {5, u"a CDROM drive"},
        {6, u"a ramdisk"},        {7, u"indefined"},      {-1, u"indefined"},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(DriveTypeText(code), text) << code;
}

// The whole way through the system's answers: a volume found by a search
// path, whose files go to a home trash on that same volume.
TEST(SafetyAnalysisSystem, VolumeWithHomeTrashIsRecoverable) {
    test::TTempTree tree;
    TScanDrivesData drives;
    TVolumeIndex index = kNoVolume;
    TSafetyAnalysis analysis(drives);
    {
        const test::TTempXdgHome home(tree.Root());
        index = drives.Register(FromUtf8(tree.Root()));
        ASSERT_NE(index, kNoVolume);
        analysis.AddFile(index, 10);
        analysis.Analyse(false);
    }

    ASSERT_EQ(analysis.ItemCount(), 1u);
    EXPECT_EQ(analysis.Item(0).root, drives.Item(index).root);
    EXPECT_TRUE(drives.Item(index).settingsKnown);
    EXPECT_EQ(analysis.Item(0).verdict, kRecoverable);
    EXPECT_FALSE(analysis.Item(0).alert);
}

} // namespace
} // namespace vdx
