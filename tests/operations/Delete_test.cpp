// Runs under ThreadSanitizer too.
#include "operations/VDX_unit_Delete.h"

#include <bitset>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "engine/VDX_unit_Marks.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "operations/VDX_unit_OperationRun.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Trash.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_GateCaller.h"
#include "tests/support/VDX_test_StoreKey.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Canonical;
using test::Exists;
using test::Names;
using test::ReadAll;
using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;
using TGateCaller = test::TGateCaller<TDeleteSafeProgress>;

constexpr std::uint32_t kWaitMs = 20'000;
// Every test file has this size, so that all of them form one Same size group.
constexpr const char* kContent = "0123456789";

// Watches the trash batches and passes them on to the real trash.
struct TBatchLog {
    std::mutex lock;
    std::vector<std::size_t> sizes;
    std::vector<TNoTrashAction> actions;
    std::function<void()> onBatch;

    TTrashBatchFn Hook(TTrashBatchFn trash = {}) {
        return [this, trash](const std::vector<TTrashRequest>& batch, std::vector<int>& results) {
            {
                std::lock_guard<std::mutex> guard(lock);
                sizes.push_back(batch.size());
                for (const TTrashRequest& request : batch)
                    actions.push_back(request.noTrash);
            }
            if (trash)
                trash(batch, results);
            else
                TrashRequests(batch, results);
            if (onBatch)
                onBatch();
        };
    }
};

std::size_t CountContaining(const std::vector<std::u16string>& lines, std::u16string_view text) {
    std::size_t n = 0;
    for (const std::u16string& line : lines)
        if (line.find(text) != std::u16string::npos)
            ++n;
    return n;
}

std::ptrdiff_t IndexOf(const std::vector<std::u16string>& lines, std::u16string_view text) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(text) != std::u16string::npos)
            return static_cast<std::ptrdiff_t>(i);
    return -1;
}

// A temporary tree with the files under work/, a home trash under data/ on
// the same file system, a real search of work/ and the operations controller.
class DeleteTest : public ::testing::Test {
protected:
    DeleteTest() : m_root(Canonical(m_tree.Root())), m_home(m_root) {
        m_tree.File("work/anchor/keep.txt", kContent);
        m_caller.SetProgress(&m_ops.DeleteProgress());
        // As if the plan had shown every volume with a permanent-deletion
        // verdict and the user had confirmed; the tests of that rule clear it.
        m_ops.SetPermanentVolumes(std::bitset<kMaxVolumes>().set());
    }

    std::string Work(const std::string& rel) const { return m_root + "/work/" + rel; }
    std::u16string WorkU(const std::string& rel) const { return DecodeFileName(Work(rel)); }
    void Make(const std::string& rel, const std::string& content = kContent) const {
        m_tree.File("work/" + rel, content);
    }
    std::string Trash() const { return m_home.Trash(); }

    // Searches work/ and marks the given files in Same size.
    void SearchAndMark(const std::vector<std::string>& marked) {
        TSearchSet set;
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = DecodeFileName(m_root + "/work");
        set.AddOwned(std::move(path));
        TMessageQueue queue;
        TMutexCaller caller;
        ASSERT_TRUE(m_search.StartSearch(set, &queue, &caller, false, false, false));
        TPostedMessage m;
        while (queue.Take(m, kWaitMs) && m.code != kMsgSearchWaiterDone) {
        }
        ASSERT_EQ(m.code, kMsgSearchWaiterDone);
        m_search.SearchFinished();
        ASSERT_TRUE(m_search.Store().Status().m_searchDone);
        for (const std::string& rel : marked) {
            const std::int32_t file = FindFile(WorkU(rel));
            ASSERT_GE(file, 0) << rel;
            ASSERT_TRUE(SetFileMark(m_search.Store(), kViewSameSize, TFileIndex{file}, true))
                << rel;
        }
        ASSERT_EQ(m_ops.BuildList(kViewSameSize), 0);
        ASSERT_EQ(m_ops.List().Count(), static_cast<std::int32_t>(marked.size()));
    }

    std::int32_t FindFile(std::u16string_view path) const {
        const TScanData& store = m_search.Store();
        for (std::uint32_t i = 0; i < store.FileCount(); ++i)
            if (store.FullPath(i) == path)
                return static_cast<std::int32_t>(i);
        return -1;
    }
    bool InStore(const std::string& rel) const { return FindFile(WorkU(rel)) >= 0; }

    bool Start(bool direct, TNoTrashAction noTrash = TNoTrashAction::kKeep,
               TTrashBatchFn trash = {}) {
        m_ops.SetDeleteDirectly(direct);
        return m_ops.StartDelete(&m_queue, &m_caller, kViewSameSize, true, true, noTrash,
                                 std::move(trash));
    }

    // Waits for the waiter's end message and lets the controller forget the
    // run; the message codes in order.
    std::vector<std::uint32_t> Finish() {
        std::vector<std::uint32_t> codes = test::DrainUntil(m_queue, kMsgDeleteWaiterDone);
        m_ops.DeleteFinished();
        return codes;
    }

    std::vector<std::u16string> FullLines() { return Texts(m_ops.Logs().FullLines().Lines()); }
    std::vector<std::u16string> ErrorLines() { return Texts(m_ops.Logs().ErrorLines().Lines()); }
    static std::vector<std::u16string> Texts(const TStrList& list) {
        std::vector<std::u16string> out;
        for (const TStrItem& item : list)
            out.push_back(item.text);
        return out;
    }

    TTempTree m_tree;
    std::string m_root;
    test::TTempXdgHome m_home;
    TMessageQueue m_queue;
    TGateCaller m_caller;
    TSearchRun m_search;
    TOperationRun m_ops{m_search};
};

TEST_F(DeleteTest, DeletesExactlyTheListedFilesInBothModes) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string dir = direct ? "direct/" : "trash/";
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            Make(dir + name);
        SearchAndMark({dir + "a.txt", dir + "b.txt"});
        ASSERT_TRUE(Start(direct));
        const std::vector<std::uint32_t> codes = Finish();

        // Progress hand-overs, then the worker's end, then the waiter's.
        ASSERT_GE(codes.size(), 3u);
        EXPECT_EQ(codes[codes.size() - 1], kMsgDeleteWaiterDone);
        EXPECT_EQ(codes[codes.size() - 2], kMsgDeleteWorkerEnded);
        for (std::size_t i = 0; i + 2 < codes.size(); ++i)
            EXPECT_EQ(codes[i], kMsgDeleteProgress) << i;

        EXPECT_FALSE(Exists(Work(dir + "a.txt")));
        EXPECT_FALSE(Exists(Work(dir + "b.txt")));
        EXPECT_EQ(ReadAll(Work(dir + "c.txt")), kContent);
        EXPECT_EQ(ReadAll(Work("anchor/keep.txt")), kContent);
        const std::vector<std::string> trashed = Names(Trash() + "/files");
        EXPECT_EQ(trashed.size(), direct ? 0u : 2u);

        const TDeleteCounters& c = m_ops.DeleteCounters();
        EXPECT_EQ(c.processedCount, 2u);
        EXPECT_EQ(c.doneCount, 2u);
        EXPECT_EQ(c.doneBytes, 20u);
        EXPECT_EQ(c.failedCount, 0);
        EXPECT_FALSE(m_ops.DeleteAborted());
        EXPECT_EQ(m_ops.DeleteProgress().phase, kPhaseCompleted);
        EXPECT_EQ(m_ops.DeleteProgress().processed, 2u);
        EXPECT_EQ(m_search.Store().Operation().m_filesToProcess, 2u);
        EXPECT_EQ(m_search.Store().Operation().m_bytesToProcess, 20u);
        EXPECT_EQ(m_search.Store().Operation().m_filesProcessed, 2u);
        const std::vector<std::int32_t> phases = m_caller.Phases();
        ASSERT_FALSE(phases.empty());
        EXPECT_EQ(phases.front(), kPhaseDeleting);
        EXPECT_EQ(phases.back(), kPhaseCompleted);

        // The views no longer hold the deleted files; the list names no file.
        EXPECT_FALSE(InStore(dir + "a.txt"));
        EXPECT_FALSE(InStore(dir + "b.txt"));
        EXPECT_TRUE(InStore(dir + "c.txt"));
        EXPECT_EQ(m_ops.List().Count(), 2);
        EXPECT_EQ(m_ops.List().FileOf(0), -1);
        EXPECT_FALSE(Start(direct)) << "a list from before the re-index is refused";

        const std::vector<std::u16string> full = FullLines();
        EXPECT_EQ(CountContaining(full, u" - Ok deleting: '" + WorkU(dir + "a.txt") + u"'"), 1u);
        EXPECT_EQ(CountContaining(full, u" - Ok deleting: '" + WorkU(dir + "b.txt") + u"'"), 1u);
        const std::ptrdiff_t summary = IndexOf(full, u"*** Deleting information ***");
        const std::ptrdiff_t heading = IndexOf(full, u"*** Deleted files ***");
        ASSERT_GE(summary, 0);
        EXPECT_EQ(summary + 1, heading);
        EXPECT_NE(full[static_cast<std::size_t>(summary)].find(
                      u"Successfully deleted files: 2 [20 bytes]"),
                  std::u16string::npos);
        EXPECT_GE(IndexOf(full, u"Files deleting was finished at "), 0);
        EXPECT_TRUE(ErrorLines().empty()) << "a run without failures keeps no error log";
    }
}

TEST_F(DeleteTest, TrashBatchesHoldAtMostEightFilesAndAMissingFileClosesOne) {
    struct TCase {
        const char* what;
        int files;
        std::vector<int> missing; // list positions removed before the start
        std::vector<std::size_t> batches;
    };
    const std::vector<TCase> cases = {
        {"nine files", 9, {}, {8, 1}},  {"third missing", 10, {2}, {2, 5, 2}},
        {"first missing", 3, {0}, {2}}, {"eighth missing", 9, {7}, {7, 1}},
        {"all missing", 2, {0, 1}, {}},
    };
    int round = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = "batch" + std::to_string(round++) + "/";
        std::vector<std::string> rels;
        for (int i = 0; i < c.files; ++i) {
            rels.push_back(dir + "f" + std::to_string(i) + ".txt");
            Make(rels.back());
        }
        SearchAndMark(rels);
        // The start sorts by folder, which keeps the names in order within
        // the one folder.
        m_ops.List().Sort(kOpSortFolder, true);
        for (int i = 0; i < c.files; ++i)
            ASSERT_EQ(m_ops.List().Name(i), DecodeFileName("f" + std::to_string(i) + ".txt"));
        for (int i : c.missing)
            ASSERT_EQ(::unlink(Work(rels[static_cast<std::size_t>(i)]).c_str()), 0);

        TBatchLog log;
        ASSERT_TRUE(Start(false, TNoTrashAction::kKeep, log.Hook()));
        Finish();
        EXPECT_EQ(log.sizes, c.batches);
        for (const std::string& rel : rels) {
            EXPECT_FALSE(Exists(Work(rel))) << rel;
            EXPECT_FALSE(InStore(rel)) << "gone files leave the views: " << rel;
        }
        const TDeleteCounters& counters = m_ops.DeleteCounters();
        EXPECT_EQ(counters.processedCount, static_cast<std::uint32_t>(c.files));
        EXPECT_EQ(counters.failedCount, static_cast<std::int32_t>(c.missing.size()));
        EXPECT_EQ(counters.doneCount, c.files - c.missing.size());
        const std::vector<std::u16string> full = FullLines();
        const std::vector<std::u16string> errors = ErrorLines();
        for (int i : c.missing) {
            const std::u16string line =
                u" - Unable to locate: '" + WorkU(rels[static_cast<std::size_t>(i)]) + u"'";
            EXPECT_EQ(CountContaining(full, line), 1u);
            EXPECT_EQ(CountContaining(errors, line), 1u);
        }
        EXPECT_EQ(errors.empty(), c.missing.empty());
    }
}

// A file that is gone when its turn comes was not deleted by the run: in
// both modes it is logged as not found, counted as failed, and leaves the
// views; a folder that is gone does the same for its files.
TEST_F(DeleteTest, FileGoneBeforeItsTurnIsNotFoundInBothModes) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string dir = direct ? "gone-d/" : "gone-t/";
        Make(dir + "a.txt");
        Make(dir + "b.txt");
        Make(dir + "sub/c.txt");
        SearchAndMark({dir + "a.txt", dir + "b.txt", dir + "sub/c.txt"});
        ASSERT_EQ(::unlink(Work(dir + "a.txt").c_str()), 0);
        ASSERT_EQ(std::system(("rm -r '" + Work(dir + "sub") + "'").c_str()), 0);
        ASSERT_TRUE(Start(direct));
        Finish();
        EXPECT_EQ(m_ops.DeleteCounters().doneCount, 1u);
        EXPECT_EQ(m_ops.DeleteCounters().failedCount, 2);
        // The summary windows read the same outcome from the store.
        const TOperationFigures& figures = m_search.Store().Operation();
        EXPECT_EQ(figures.m_filesDone, 1u);
        EXPECT_EQ(figures.m_bytesDone, 10u);
        EXPECT_EQ(figures.m_filesFailed, 2u);
        EXPECT_EQ(figures.m_bytesFailed, 20u);
        const std::vector<std::u16string> full = FullLines();
        for (const char* rel : {"a.txt", "sub/c.txt"}) {
            const std::u16string path = WorkU(dir + rel);
            EXPECT_EQ(CountContaining(full, u" - Unable to locate: '" + path + u"'"), 1u) << rel;
            EXPECT_EQ(CountContaining(full, u" - Ok deleting: '" + path + u"'"), 0u) << rel;
            EXPECT_FALSE(InStore(dir + rel));
        }
        EXPECT_EQ(CountContaining(full, u" - Ok deleting: '" + WorkU(dir + "b.txt") + u"'"), 1u);
    }
}

// Whatever stands at a listed path now that the search did not see is left
// alone, in both modes, and the log says why.
TEST_F(DeleteTest, FilesChangedSinceTheSearchAreNeverDeleted) {
    struct TCase {
        const char* what;
        // Changes the entry at path (absolute) after the search; returns the
        // path whose content must survive, and that content.
        std::function<std::pair<std::string, std::string>(const std::string& path)> change;
        int reason = kErrorChangedSinceSearch;
    };
    const std::string backup = m_root + "/backup";
    int copies = 0;
    const std::vector<TCase> cases = {
        {"grown",
         [](const std::string& path) {
             std::ofstream(path, std::ios::app) << "more";
             return std::make_pair(path, std::string(kContent) + "more");
         }},
        {"same size, rewritten later",
         [](const std::string& path) {
             std::ofstream(path, std::ios::trunc) << "abcdefghij";
             const timespec times[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
             ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
             return std::make_pair(path, std::string("abcdefghij"));
         }},
        {"replaced by a link",
         [this](const std::string& path) {
             ::unlink(path.c_str());
             ::symlink(Work("anchor/keep.txt").c_str(), path.c_str());
             return std::make_pair(Work("anchor/keep.txt"), std::string(kContent));
         }},
        {"replaced by a folder",
         [](const std::string& path) {
             ::unlink(path.c_str());
             ::mkdir(path.c_str(), 0755);
             std::ofstream(path + "/inside") << "x";
             return std::make_pair(path + "/inside", std::string("x"));
         }},
        // The folder itself is swapped for a link to a copy that has the same
        // name, size and time: the path now leads to another file entirely.
        {"folder replaced by a link to an identical copy",
         [&backup, &copies](const std::string& path) {
             const std::string folder = path.substr(0, path.rfind('/'));
             const std::string name = path.substr(path.rfind('/') + 1);
             const std::string copy = backup + "/" + std::to_string(copies++) + "/";
             ::mkdir(backup.c_str(), 0755);
             ::mkdir(copy.c_str(), 0755);
             std::ofstream(copy + name) << ReadAll(path);
             struct stat st {};
             ::lstat(path.c_str(), &st);
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, (copy + name).c_str(), times, AT_SYMLINK_NOFOLLOW);
             ::rename(folder.c_str(), (folder + ".moved").c_str());
             ::symlink(copy.c_str(), folder.c_str());
             return std::make_pair(copy + name, std::string(kContent));
         },
         kErrorFolderChanged},
        // Another file of the same size put in its place with the original's
        // times copied onto it (touch -r): only its identity tells.
        {"replaced by a look-alike with the same size and times",
         [](const std::string& path) {
             struct stat st {};
             ::lstat(path.c_str(), &st);
             const std::string other = path + ".new";
             std::ofstream(other) << "ABCDEFGHIJ";
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, other.c_str(), times, AT_SYMLINK_NOFOLLOW);
             ::rename(other.c_str(), path.c_str());
             return std::make_pair(path, std::string("ABCDEFGHIJ"));
         }},
    };
    int round = 0;
    std::size_t trashed = 0;
    for (const bool direct : {true, false}) {
        for (const TCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (direct ? " (direct)" : " (trash)"));
            const std::string rel = "changed" + std::to_string(round++) + "/sub/x.txt";
            Make(rel);
            Make("changed" + std::to_string(round) + "-ok.txt");
            const std::string ok = "changed" + std::to_string(round) + "-ok.txt";
            SearchAndMark({rel, ok});
            const auto [survivor, content] = c.change(Work(rel));
            ASSERT_TRUE(Start(direct));
            Finish();
            EXPECT_EQ(ReadAll(survivor), content);
            EXPECT_FALSE(Exists(Work(ok))) << "the unchanged file of the run is deleted";
            const TDeleteCounters& counters = m_ops.DeleteCounters();
            EXPECT_EQ(counters.failedCount, 1);
            EXPECT_EQ(counters.doneCount, 1u);
            const std::u16string line =
                u" - Failed to delete: '" + WorkU(rel) + u"' " + SystemErrorText(c.reason);
            EXPECT_EQ(CountContaining(FullLines(), line), 1u);
            EXPECT_EQ(CountContaining(ErrorLines(), line), 1u);
            if (!direct)
                ++trashed;
            EXPECT_EQ(Names(Trash() + "/files").size(), trashed);
        }
    }
}

// A folder of the search swapped for a link to another tree while the run
// is in it: the files behind the link are never touched; the files of the
// folder the search listed are still the ones acted on, through the folder
// the run holds open.
TEST_F(DeleteTest, FolderSwappedForALinkMidRunDeletesNothingBehindIt) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string dir = direct ? "swap-d" : "swap-t";
        std::vector<std::string> rels;
        for (int i = 0; i < 5; ++i) {
            rels.push_back(dir + "/sub/f" + std::to_string(i) + ".txt");
            Make(rels.back());
            m_tree.File("outside-" + dir + "/f" + std::to_string(i) + ".txt", kContent);
        }
        SearchAndMark(rels);
        const std::string folder = Work(dir + "/sub");
        const std::string outside = m_root + "/outside-" + dir;
        TFaultFs fs;
        bool swapped = false;
        fs.onCall = [&](TFsOp op, const std::string& path) {
            // After the first file is gone, before anything else happens.
            if (!swapped && (op == TFsOp::Unlink || op == TFsOp::Rename) &&
                path.find("/sub/f1.txt") != std::string::npos) {
                swapped = true;
                ::rename(folder.c_str(), (folder + ".moved").c_str());
                ::symlink(outside.c_str(), folder.c_str());
            }
        };
        {
            TFaultFsInstall install(fs);
            ASSERT_TRUE(Start(direct));
            Finish();
        }
        ASSERT_TRUE(swapped);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(ReadAll(outside + "/f" + std::to_string(i) + ".txt"), kContent) << i;
        EXPECT_TRUE(Names(folder + ".moved").empty());
        EXPECT_EQ(m_ops.DeleteCounters().doneCount, 5u);
    }
}

// The same swap before the run: the folder is no longer the one the search
// listed, and its files fail.
TEST_F(DeleteTest, FolderSwappedForALinkBeforeTheRunFailsItsFiles) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string dir = direct ? "pre-d" : "pre-t";
        Make(dir + "/sub/a.txt");
        Make(dir + "/sub/deeper/b.txt");
        m_tree.File("outside-" + dir + "/a.txt", kContent);
        m_tree.File("outside-" + dir + "/deeper/b.txt", kContent);
        SearchAndMark({dir + "/sub/a.txt", dir + "/sub/deeper/b.txt"});
        const std::string folder = Work(dir + "/sub");
        ASSERT_EQ(::rename(folder.c_str(), (folder + ".moved").c_str()), 0);
        ASSERT_EQ(::symlink((m_root + "/outside-" + dir).c_str(), folder.c_str()), 0);
        ASSERT_TRUE(Start(direct));
        Finish();
        EXPECT_EQ(ReadAll(m_root + "/outside-" + dir + "/a.txt"), kContent);
        EXPECT_EQ(ReadAll(m_root + "/outside-" + dir + "/deeper/b.txt"), kContent);
        EXPECT_EQ(m_ops.DeleteCounters().doneCount, 0u);
        EXPECT_EQ(m_ops.DeleteCounters().failedCount, 2);
        EXPECT_EQ(CountContaining(ErrorLines(), SystemErrorText(kErrorFolderChanged)), 2u);
    }
}

// The kept copy of a marked file removed by another program while the
// confirmation waited: the marked file is now the last copy and stays, unless
// the user chose to remove whole groups.
TEST_F(DeleteTest, LastCopyStaysWhenTheKeptCopyWentMeanwhile) {
    int round = 0;
    for (const bool wholeGroups : {false, true}) {
        for (const bool direct : {true, false}) {
            SCOPED_TRACE(std::string(direct ? "direct" : "trash") +
                         (wholeGroups ? ", whole groups allowed" : ""));
            // Another size than every other test file (and than the
            // rounds before), so the two form a group alone.
            const std::string content(12 + round, 'x');
            const std::string dir = "r" + std::to_string(round++) + "/";
            Make(dir + "keep/f.txt", content);
            Make(dir + "clean/f.txt", content);
            SearchAndMark({dir + "clean/f.txt"});
            ASSERT_EQ(::unlink(Work(dir + "keep/f.txt").c_str()), 0);
            m_ops.SetAllowWholeGroups(wholeGroups);
            ASSERT_TRUE(Start(direct));
            Finish();
            EXPECT_EQ(Exists(Work(dir + "clean/f.txt")), !wholeGroups);
            EXPECT_EQ(m_ops.DeleteCounters().doneCount, wholeGroups ? 1u : 0u);
            const std::u16string line = u" - Failed to delete: '" + WorkU(dir + "clean/f.txt") +
                                        u"' " + SystemErrorText(kErrorNoRemainingCopy);
            EXPECT_EQ(CountContaining(ErrorLines(), line), wholeGroups ? 0u : 1u);
            EXPECT_EQ(InStore(dir + "clean/f.txt"), !wholeGroups);
        }
    }
}

TEST_F(DeleteTest, ReadOnlyFilesAreDeletedAndReadOnlyFoldersKeepTheirFiles) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string dir = direct ? "ro-direct/" : "ro-trash/";
        Make(dir + "readonly.txt");
        Make(dir + "locked/x.txt");
        // Before the search: a change of mode afterwards is a change of the
        // file's change time, which the deletion takes as another file.
        ASSERT_EQ(::chmod(Work(dir + "readonly.txt").c_str(), 0444), 0);
        SearchAndMark({dir + "readonly.txt", dir + "locked/x.txt"});

        // As root every folder is writable, so the refusal of a read-only
        // folder is injected where the system would give it.
        TFaultFs fs;
        fs.Fail(direct ? TFsOp::Unlink : TFsOp::Rename, "/locked/", EACCES);
        {
            TFaultFsInstall install(fs);
            ASSERT_TRUE(Start(direct));
            Finish();
        }
        EXPECT_FALSE(Exists(Work(dir + "readonly.txt")));
        EXPECT_EQ(ReadAll(Work(dir + "locked/x.txt")), kContent);
        EXPECT_TRUE(InStore(dir + "locked/x.txt")) << "a file that stays stays in the views";
        EXPECT_FALSE(InStore(dir + "readonly.txt"));
        const std::u16string path = WorkU(dir + "locked/x.txt");
        const std::u16string line = (direct ? u" - Failed to delete: '" + path + u"' "
                                            : u" - Failed to delete (error 13): '" + path + u"' ") +
                                    SystemErrorText(EACCES);
        EXPECT_EQ(CountContaining(FullLines(), line), 1u);
        EXPECT_EQ(CountContaining(ErrorLines(), line), 1u);
        EXPECT_EQ(m_ops.DeleteCounters().failedCount, 1);
        EXPECT_EQ(m_ops.DeleteCounters().failedBytes, 10u);
    }
}

TEST_F(DeleteTest, ReadOnlyFolderRefusesForReal) {
    if (!test::PermissionBitsBind())
        GTEST_SKIP() << "root may delete in a read-only folder; the fault test covers EACCES";
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string dir = direct ? "rof-direct" : "rof-trash";
        Make(dir + "/x.txt");
        SearchAndMark({dir + "/x.txt"});
        ASSERT_EQ(::chmod(Work(dir).c_str(), 0555), 0);
        ASSERT_TRUE(Start(direct));
        Finish();
        ::chmod(Work(dir).c_str(), 0755);
        EXPECT_EQ(ReadAll(Work(dir + "/x.txt")), kContent);
        EXPECT_EQ(m_ops.DeleteCounters().failedCount, 1);
    }
}

TEST_F(DeleteTest, AFolderThatCannotBeSearchedIsNeverReportedAsDeleted) {
    Make("hidden-away/x.txt");
    SearchAndMark({"hidden-away/x.txt"});
    // Every look at the path fails without saying that it is gone.
    TFaultFs fs;
    fs.Fail(TFsOp::OpenAt, "/hidden-away", EACCES);
    fs.Fail(TFsOp::Unlink, "/hidden-away", EACCES);
    {
        TFaultFsInstall install(fs);
        ASSERT_TRUE(Start(true));
        Finish();
    }
    EXPECT_EQ(m_ops.DeleteCounters().doneCount, 0u);
    EXPECT_EQ(m_ops.DeleteCounters().failedCount, 1);
    EXPECT_TRUE(InStore("hidden-away/x.txt"));
    EXPECT_EQ(fs.Calls(TFsOp::Unlink), 0) << "no unlink without a successful check";
}

TEST_F(DeleteTest, NamesThatAreNotUtf8GoByteForByte) {
    const std::string name = "caf\xe9 \xff.txt";
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string rel = std::string(direct ? "raw-direct/" : "raw-trash/") + name;
        Make(rel);
        SearchAndMark({rel});
        ASSERT_TRUE(Start(direct));
        Finish();
        EXPECT_FALSE(Exists(Work(rel)));
        EXPECT_EQ(m_ops.DeleteCounters().doneCount, 1u);
        EXPECT_EQ(CountContaining(FullLines(), u" - Ok deleting: '" + WorkU(rel) + u"'"), 1u);
    }
    const std::vector<std::string> trashed = Names(Trash() + "/files");
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0], name);
}

TEST_F(DeleteTest, LongPathsAreDeletedInBothModes) {
    const std::string level(60, 'p');
    const std::string deep = level + "1/" + level + "2/" + level + "3/" + level + "4/";
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string rel = (direct ? "long-d/" : "long-t/") + deep + "x.txt";
        Make(rel);
        ASSERT_GE(Work(rel).size(), 249u);
        SearchAndMark({rel});
        ASSERT_TRUE(Start(direct));
        Finish();
        EXPECT_FALSE(Exists(Work(rel)));
        EXPECT_EQ(m_ops.DeleteCounters().doneCount, 1u);
    }
}

// A made-up mount table in which work/ is a mount of its own of the given
// type (on the test's real file system).
std::vector<TMountEntry> MountsWithWorkAs(const std::string& root, const char* type) {
    std::vector<TMountEntry> mounts;
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0)
        return mounts;
    auto add = [&](const std::string& point, const char* fsType) {
        TMountEntry entry;
        entry.mountId = static_cast<int>(mounts.size()) + 1;
        entry.device = st.st_dev;
        entry.root = "/";
        entry.mountPoint = point;
        entry.mountOptions = "rw";
        entry.fsType = fsType;
        entry.source = "/dev/fake";
        entry.superOptions = "rw";
        mounts.push_back(entry);
    };
    add("/", "ext4");
    add(root + "/work", type);
    return mounts;
}

TTrashBatchFn TrashWithMounts(const std::vector<TMountEntry>& mounts) {
    return [mounts](const std::vector<TTrashRequest>& batch, std::vector<int>& results) {
        for (std::size_t i = 0; i < batch.size(); ++i)
            results[i] = TrashAt(mounts, batch[i].dirFd, batch[i].name, batch[i].noTrash);
    };
}

// A file goes for good only on a volume the caller names as confirmed for
// permanent deletion, whatever else it says.
TEST_F(DeleteTest, PermanentDeletionOnlyOnTheVolumesTheUserConfirmed) {
    // work/ is a RAM disk, where no trash can be used.
    const std::vector<TMountEntry> mounts = MountsWithWorkAs(m_root, "tmpfs");
    ASSERT_EQ(mounts.size(), 2u);
    struct TCase {
        const char* what;
        bool direct;
        TNoTrashAction noTrash;
        bool confirmed; // the file's volume is in the set
        bool deleted;
        std::u16string reason; // the failure line's end when it stays
    };
    const TCase cases[] = {
        {"trash, kept", false, TNoTrashAction::kKeep, true, false,
         u"(error " + DecodeFileName(std::to_string(ENOTSUP)) + u")"},
        {"trash, permanent, confirmed", false, TNoTrashAction::kDeletePermanently, true, true, {}},
        {"trash, permanent, volume not confirmed", false, TNoTrashAction::kDeletePermanently, false,
         false, u"(error " + DecodeFileName(std::to_string(ENOTSUP)) + u")"},
        {"direct, confirmed", true, TNoTrashAction::kKeep, true, true, {}},
        {"direct, volume not confirmed", true, TNoTrashAction::kKeep, false, false,
         SystemErrorText(kErrorPermanentNotConfirmed)},
    };
    int round = 0;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string rel = "ram" + std::to_string(round++) + "/a.txt";
        Make(rel);
        SearchAndMark({rel});
        std::bitset<kMaxVolumes> volumes;
        if (c.confirmed)
            volumes.set(
                m_search.Store().FileVolume(static_cast<std::uint32_t>(FindFile(WorkU(rel)))));
        m_ops.SetPermanentVolumes(volumes);
        TBatchLog log;
        ASSERT_TRUE(Start(c.direct, c.noTrash, log.Hook(TrashWithMounts(mounts))));
        Finish();
        EXPECT_EQ(Exists(Work(rel)), !c.deleted);
        EXPECT_EQ(m_ops.DeleteCounters().doneCount, c.deleted ? 1u : 0u);
        if (!c.direct) {
            EXPECT_EQ(log.actions,
                      std::vector<TNoTrashAction>{c.confirmed ? c.noTrash : TNoTrashAction::kKeep});
        }
        if (!c.deleted) {
            EXPECT_EQ(CountContaining(ErrorLines(), c.reason), 1u);
        }
    }
}

// The plan found the trash of work/'s volume usable; by the time of the
// deletion its folder is a file. The user's confirmation covered the trash,
// not a loss: the file stays and the log says why.
TEST_F(DeleteTest, TrashThatFailsWhereThePlanPromisedItKeepsTheFile) {
    const std::vector<TMountEntry> mounts = MountsWithWorkAs(m_root, "ext4");
    ASSERT_EQ(mounts.size(), 2u);
    Make("promised/a.txt");
    SearchAndMark({"promised/a.txt"});
    m_tree.File("work/.Trash-" + std::to_string(::getuid()), "not a folder");
    // Confirmed on the terminal, so the trash loop may delete for good, but
    // only on volumes the plan showed as such: none here.
    m_ops.SetPermanentVolumes({});
    ASSERT_TRUE(Start(false, TNoTrashAction::kDeletePermanently, TrashWithMounts(mounts)));
    Finish();
    EXPECT_EQ(ReadAll(Work("promised/a.txt")), kContent);
    EXPECT_EQ(m_ops.DeleteCounters().doneCount, 0u);
    EXPECT_EQ(m_ops.DeleteCounters().failedCount, 1);
    const std::vector<std::u16string> errors = ErrorLines();
    EXPECT_EQ(CountContaining(errors, u" - Failed to delete (error " +
                                          DecodeFileName(std::to_string(EPERM)) + u"): '" +
                                          WorkU("promised/a.txt") + u"' " + SystemErrorText(EPERM)),
              1u);
    EXPECT_EQ(CountContaining(FullLines(), u"Ok deleting"), 0u);
}

TEST_F(DeleteTest, FailedBatchReportsOnlyTheFilesThatStayed) {
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        Make(std::string("part/") + name);
    SearchAndMark({"part/a.txt", "part/b.txt", "part/c.txt"});
    TFaultFs fs;
    fs.Fail(TFsOp::Rename, "/part/b.txt", EIO);
    TBatchLog log;
    {
        TFaultFsInstall install(fs);
        ASSERT_TRUE(Start(false, TNoTrashAction::kKeep, log.Hook()));
        Finish();
    }
    EXPECT_EQ(log.sizes, std::vector<std::size_t>{3});
    EXPECT_FALSE(Exists(Work("part/a.txt")));
    EXPECT_EQ(ReadAll(Work("part/b.txt")), kContent);
    EXPECT_FALSE(Exists(Work("part/c.txt")));
    EXPECT_EQ(m_ops.DeleteCounters().doneCount, 2u);
    EXPECT_EQ(m_ops.DeleteCounters().failedCount, 1);
    const std::vector<std::u16string> errors = ErrorLines();
    EXPECT_EQ(CountContaining(errors, u" - Failed to delete (error " +
                                          DecodeFileName(std::to_string(EIO)) + u"): '" +
                                          WorkU("part/b.txt") + u"' " + SystemErrorText(EIO)),
              1u);
    EXPECT_EQ(CountContaining(errors, u"Ok deleting"), 0u);
    EXPECT_GE(IndexOf(errors, u"*** Deleting information ***"), 0);
}

TEST_F(DeleteTest, ExceptionInTheTrashCallFailsItsBatch) {
    Make("ex/a.txt");
    Make("ex/b.txt");
    SearchAndMark({"ex/a.txt", "ex/b.txt"});
    ASSERT_TRUE(Start(false, TNoTrashAction::kKeep,
                      [](const std::vector<TTrashRequest>&, std::vector<int>&) {
                          throw std::runtime_error("boom");
                      }));
    Finish();
    EXPECT_EQ(ReadAll(Work("ex/a.txt")), kContent);
    EXPECT_EQ(ReadAll(Work("ex/b.txt")), kContent);
    EXPECT_EQ(m_ops.DeleteCounters().failedCount, 2);
    const std::vector<std::u16string> full = FullLines();
    EXPECT_EQ(CountContaining(full, u"exception on SHFileOperation"), 1u);
    EXPECT_EQ(CountContaining(full, u" - Failed to delete (error -1): '"), 2u);
    EXPECT_EQ(CountContaining(ErrorLines(), u"exception on SHFileOperation"), 0u);
}

// Hand-over routines that throw once a file has been processed, as a failed
// allocation inside the run would.
class TThrowingCaller : public TMainThreadCaller {
public:
    explicit TThrowingCaller(const TDeleteSafeProgress& progress) : m_progress(progress) {}
    void CallSync(const std::function<void()>& routine) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        routine();
        if (!m_thrown && m_progress.processed >= 1) {
            m_thrown = true;
            throw std::runtime_error("no memory");
        }
    }

private:
    const TDeleteSafeProgress& m_progress;
    std::mutex m_mutex;
    bool m_thrown = false;
};

TEST_F(DeleteTest, RunCutShortByAnExceptionStillClosesItsLogsAndViews) {
    Make("cut/a.txt");
    SearchAndMark({"cut/a.txt"});
    TThrowingCaller caller(m_ops.DeleteProgress());
    m_ops.SetDeleteDirectly(true);
    ASSERT_TRUE(
        m_ops.StartDelete(&m_queue, &caller, kViewSameSize, true, true, TNoTrashAction::kKeep));
    const std::vector<std::uint32_t> codes = Finish();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], kMsgDeleteWorkerEnded);
    EXPECT_FALSE(Exists(Work("cut/a.txt")));
    EXPECT_FALSE(InStore("cut/a.txt")) << "a deleted file never stays in the views";
    EXPECT_TRUE(m_ops.DeleteAborted());
    const std::vector<std::u16string> full = FullLines();
    EXPECT_EQ(CountContaining(full, u"*** Deleting information ***"), 1u);
    EXPECT_EQ(CountContaining(full, u"File deleting was aborted at "), 1u);
    EXPECT_EQ(CountContaining(full, u" - Ok deleting: '"), 1u);
}

// ---- Cancel and pause ----

TEST_F(DeleteTest, CancelBeforeTheFirstFileDeletesNothing) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "direct" : "trash");
        const std::string dir = direct ? "c0-direct/" : "c0-trash/";
        Make(dir + "a.txt");
        Make(dir + "b.txt");
        SearchAndMark({dir + "a.txt", dir + "b.txt"});
        TGateCaller gate;
        gate.SetProgress(&m_ops.DeleteProgress());
        gate.SetGate(kPhaseDeleting);
        m_ops.SetDeleteDirectly(direct);
        ASSERT_TRUE(
            m_ops.StartDelete(&m_queue, &gate, kViewSameSize, true, true, TNoTrashAction::kKeep));
        ASSERT_TRUE(gate.WaitAtGate());
        // As the progress window does: pause, ask, cancel; here nobody resumes.
        m_ops.PauseDelete();
        m_ops.CancelDelete();
        gate.Open();
        Finish();
        EXPECT_EQ(ReadAll(Work(dir + "a.txt")), kContent);
        EXPECT_EQ(ReadAll(Work(dir + "b.txt")), kContent);
        EXPECT_TRUE(m_ops.DeleteAborted());
        EXPECT_EQ(m_ops.DeleteCounters().processedCount, 0u);
        EXPECT_EQ(m_ops.DeleteProgress().phase, kPhaseAborted);
        EXPECT_TRUE(InStore(dir + "a.txt"));
        const std::vector<std::u16string> full = FullLines();
        EXPECT_EQ(CountContaining(full, u"deleting: '"), 0u);
        EXPECT_GE(IndexOf(full, u"*** Deleting information ***"), 0);
        EXPECT_GE(IndexOf(full, u"File deleting was aborted at "), 0);
        EXPECT_LT(IndexOf(full, u"Files deleting was finished at "), 0);
        EXPECT_TRUE(ErrorLines().empty());
    }
}

TEST_F(DeleteTest, CancelWithFilesWaitingInTheBatchDropsThem) {
    std::vector<std::string> rels;
    for (int i = 0; i < 12; ++i) {
        rels.push_back("c5/f" + std::to_string(10 + i) + ".txt");
        Make(rels.back());
    }
    SearchAndMark(rels);
    TFaultFs fs;
    int looks = 0;
    fs.onCall = [&](TFsOp op, const std::string& path) {
        // The fifth existence test: five files wait in the batch.
        if (op == TFsOp::StatAt && path.find("/c5/f") != std::string::npos && ++looks == 5)
            m_ops.CancelDelete();
    };
    TBatchLog log;
    {
        TFaultFsInstall install(fs);
        ASSERT_TRUE(Start(false, TNoTrashAction::kKeep, log.Hook()));
        Finish();
    }
    EXPECT_TRUE(log.sizes.empty()) << "the batch is never sent";
    for (const std::string& rel : rels)
        EXPECT_EQ(ReadAll(Work(rel)), kContent) << rel;
    EXPECT_EQ(m_ops.DeleteCounters().processedCount, 0u);
    EXPECT_EQ(CountContaining(FullLines(), u"/c5/f"), 0u) << "and none of them is logged";
    EXPECT_TRUE(m_ops.DeleteAborted());
}

TEST_F(DeleteTest, CancelAfterABatchKeepsWhatWasDone) {
    std::vector<std::string> rels;
    for (int i = 0; i < 12; ++i) {
        rels.push_back("c8/f" + std::to_string(10 + i) + ".txt");
        Make(rels.back());
    }
    SearchAndMark(rels);
    TBatchLog log;
    log.onBatch = [this] { m_ops.CancelDelete(); };
    ASSERT_TRUE(Start(false, TNoTrashAction::kKeep, log.Hook()));
    Finish();
    EXPECT_EQ(log.sizes, std::vector<std::size_t>{8});
    for (std::size_t i = 0; i < rels.size(); ++i) {
        EXPECT_EQ(Exists(Work(rels[i])), i >= 8) << rels[i];
        EXPECT_EQ(InStore(rels[i]), i >= 8) << "the views drop what is gone: " << rels[i];
    }
    EXPECT_EQ(m_ops.DeleteCounters().doneCount, 8u);
    EXPECT_EQ(m_ops.DeleteCounters().processedCount, 8u);
    const std::vector<std::u16string> full = FullLines();
    EXPECT_EQ(CountContaining(full, u" - Ok deleting: '"), 8u);
    const std::ptrdiff_t summary = IndexOf(full, u"*** Deleting information ***");
    ASSERT_GE(summary, 0);
    // Twelve to delete, eight done: four counted as failed, none in error.
    EXPECT_NE(full[static_cast<std::size_t>(summary)].find(u"Failed to delete files: 4 [40 bytes]"),
              std::u16string::npos);
    EXPECT_NE(full[static_cast<std::size_t>(summary)].find(u"Delete errors: 0 [0 bytes]"),
              std::u16string::npos);
    EXPECT_GE(IndexOf(full, u"File deleting was aborted at "), 0);
}

TEST_F(DeleteTest, CancelInTheDirectLoopStopsAtTheNextFile) {
    std::vector<std::string> rels;
    for (int i = 0; i < 6; ++i) {
        rels.push_back("cd/f" + std::to_string(i) + ".txt");
        Make(rels.back());
    }
    SearchAndMark(rels);
    TFaultFs fs;
    int unlinks = 0;
    fs.onCall = [&](TFsOp op, const std::string&) {
        if (op == TFsOp::Unlink && ++unlinks == 3)
            m_ops.CancelDelete();
    };
    {
        TFaultFsInstall install(fs);
        ASSERT_TRUE(Start(true));
        Finish();
    }
    for (std::size_t i = 0; i < rels.size(); ++i)
        EXPECT_EQ(Exists(Work(rels[i])), i >= 3) << rels[i];
    EXPECT_EQ(m_ops.DeleteCounters().doneCount, 3u);
    EXPECT_TRUE(m_ops.DeleteAborted());
}

TEST_F(DeleteTest, CancelWhileTheViewsAreRebuiltStillEndsAborted) {
    Make("late/a.txt");
    SearchAndMark({"late/a.txt"});
    TGateCaller gate;
    gate.SetProgress(&m_ops.DeleteProgress());
    gate.SetGate(kPhasePreparingViewTables);
    m_ops.SetDeleteDirectly(true);
    ASSERT_TRUE(
        m_ops.StartDelete(&m_queue, &gate, kViewSameSize, true, true, TNoTrashAction::kKeep));
    ASSERT_TRUE(gate.WaitAtGate());
    m_ops.CancelDelete();
    gate.Open();
    Finish();
    EXPECT_FALSE(Exists(Work("late/a.txt")));
    EXPECT_FALSE(InStore("late/a.txt"));
    EXPECT_TRUE(m_ops.DeleteAborted());
    EXPECT_EQ(m_ops.DeleteCounters().doneCount, 1u);
    EXPECT_EQ(gate.Phases().back(), kPhaseAborted);
    EXPECT_GE(IndexOf(FullLines(), u"File deleting was aborted at "), 0);
}

TEST_F(DeleteTest, PausedRunWaitsAndResumesWhereItStopped) {
    Make("pause/a.txt");
    Make("pause/b.txt");
    SearchAndMark({"pause/a.txt", "pause/b.txt"});
    TGateCaller gate;
    gate.SetProgress(&m_ops.DeleteProgress());
    gate.SetGate(kPhaseDeleting);
    m_ops.SetDeleteDirectly(true);
    ASSERT_TRUE(
        m_ops.StartDelete(&m_queue, &gate, kViewSameSize, true, true, TNoTrashAction::kKeep));
    ASSERT_TRUE(gate.WaitAtGate());
    m_ops.PauseDelete();
    gate.Open();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Exists(Work("pause/a.txt"))) << "nothing happens while paused";
    EXPECT_TRUE(m_ops.DeleteRunning());
    m_ops.ResumeDelete();
    Finish();
    EXPECT_FALSE(Exists(Work("pause/a.txt")));
    EXPECT_FALSE(Exists(Work("pause/b.txt")));
    EXPECT_FALSE(m_ops.DeleteAborted());
}

// ---- Starting ----

TEST_F(DeleteTest, StartIsRefusedUnlessTheListStillDescribesTheStore) {
    Make("s/a.txt");
    Make("s/b.txt");
    // Before any search.
    EXPECT_FALSE(Start(true));

    SearchAndMark({"s/a.txt"});
    // A list taken from another view than the one named.
    EXPECT_FALSE(
        m_ops.StartDelete(&m_queue, &m_caller, kViewSameName, true, true, TNoTrashAction::kKeep));
    // Unmarked after the list was built.
    const auto file = static_cast<std::uint32_t>(FindFile(WorkU("s/a.txt")));
    ASSERT_TRUE(SetFileMark(m_search.Store(), kViewSameSize, TFileIndex{file}, false));
    EXPECT_FALSE(Start(true));
    ASSERT_TRUE(SetFileMark(m_search.Store(), kViewSameSize, TFileIndex{file}, true));

    // A second start while one runs changes nothing.
    TGateCaller gate;
    gate.SetProgress(&m_ops.DeleteProgress());
    gate.SetGate(kPhaseDeleting);
    m_ops.SetDeleteDirectly(true);
    ASSERT_TRUE(
        m_ops.StartDelete(&m_queue, &gate, kViewSameSize, true, true, TNoTrashAction::kKeep));
    ASSERT_TRUE(gate.WaitAtGate());
    EXPECT_FALSE(Start(true));
    EXPECT_EQ(m_ops.BuildList(kViewSameSize), EBUSY);
    gate.Open();
    Finish();
    EXPECT_FALSE(Exists(Work("s/a.txt")));
    EXPECT_EQ(m_ops.DeleteCounters().processedCount, 1u);

    // A new search after the list was built.
    SearchAndMark({"s/b.txt"});
    m_search.Store().ClearForNewSearch();
    m_search.Store().Status(kTestKey).m_searchDone = true;
    EXPECT_FALSE(Start(true));
    EXPECT_TRUE(Exists(Work("s/b.txt")));
}

TEST_F(DeleteTest, WorkerWithoutControllerLogsNothingWhenLogsAreOff) {
    Make("quiet/a.txt");
    SearchAndMark({"quiet/a.txt"});
    TOperationLogs logs;
    logs.BeginRun(false, false, kViewSameSize, TOperationKind::Delete, TLogHeaderFigures{});
    TDeleteSafeProgress progress;
    TDeleteInputs inputs = DeleteInputsFromList(m_ops.List(), true, TNoTrashAction::kKeep);
    inputs.permanentVolumes.set();
    TDeleteInputs second = inputs;
    TRunDeleteThread waiter;
    TMessageQueue window;
    ASSERT_TRUE(waiter.Start(std::make_unique<TDeleteThread>(m_search.Store(), std::move(inputs),
                                                             logs, progress, &window, nullptr),
                             &window));
    // Until Finished a second worker is turned away without running.
    EXPECT_FALSE(waiter.Start(std::make_unique<TDeleteThread>(m_search.Store(), std::move(second),
                                                              logs, progress, nullptr, nullptr),
                              nullptr));
    TPostedMessage m;
    while (window.Take(m, kWaitMs) && m.code != kMsgDeleteWaiterDone) {
    }
    EXPECT_EQ(m.code, kMsgDeleteWaiterDone);
    waiter.Finished();
    EXPECT_FALSE(Exists(Work("quiet/a.txt")));
    EXPECT_EQ(waiter.Counters().doneCount, 1u);
    EXPECT_EQ(progress.phase, kPhaseCompleted);
    EXPECT_EQ(progress.processed, 1u);
    EXPECT_EQ(logs.FullLines().Count(), 0u);
    EXPECT_EQ(logs.ErrorLines().Count(), 0u);
}

} // namespace
} // namespace vdx
