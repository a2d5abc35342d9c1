// Measures the copy engine against cp(1) on a generated tree (vdx-make-tree),
// named by the environment variable VDX_BENCH_TREE:
//
//   VDX_BENCH_TREE=/tmp/vdx-bench/tree-v1-20000-s1 build/bench/bench/Copy_bench
//
// The tree is scanned once (without grouping, so every file is listed).
// BM_CopyWorker runs the copy worker over every file into a fresh
// destination on the same file system: temporary file, copy, times,
// permissions, rename, one log line per file. BM_CpR runs `cp -r` of the
// same tree and BM_CpPreserve `cp -r --preserve=mode,timestamps`, which
// does the same work on the metadata as the worker. Counters: files and
// bytes copied per iteration.
//
// Every iteration copies into a new folder under "<tree>.copy-bench", and
// nothing is deleted until the process ends. Deleting a copy between
// iterations made file creation on ext4 without a journal several times
// slower for minutes: its inode allocator steps over every inode freed in
// the last 60 seconds (360 while the inode table is not written out),
// looking each one up, and the figures measured that instead of the copy.
// Leftovers of an earlier run are removed at the start, the deletions are
// written out (sync), and the run waits until they are old enough. The
// dirty pages of each iteration are written out (sync) outside the timing,
// so no iteration pays for the one before. Each repetition is one copy (one
// iteration), so that the copies kept until the end stay within the disk:
// ask for repetitions, for instance
//   --benchmark_repetitions=11 --benchmark_enable_random_interleaving=true

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <ftw.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/VDX_unit_FolderScan.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_SearchData.h"
#include "operations/VDX_unit_CopyMove.h"
#include "operations/VDX_unit_OperationLogs.h"
#include "platform/VDX_unit_Text.h"

namespace {

using namespace vdx;

const char* TreePath() {
    return std::getenv("VDX_BENCH_TREE");
}

// The destination: beside the tree, so both copies stay on its file system.
std::string DestinationPath() {
    std::string root = TreePath();
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root + ".copy-bench";
}

bool Scan(TScanData& store, const char* root) {
    store.ClearForNewSearch();
    store.m_protectHiddenFolders = false;
    TSearchDataList paths;
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = DecodeFileName(root);
    paths.AddOwned(std::move(path));
    paths.Item(0)->Prepare();
    TFolderScan scan(store, paths);
    return scan.ScanAll();
}

// How long after a deletion ext4 without a journal passes over the freed
// inodes, once they are written out (sync), plus a margin.
constexpr long kDeletedWindow = 65;

// The destination of the next iteration: a new folder each time.
std::string NextDestination() {
    static int n = 0;
    return DestinationPath() + "/" + std::to_string(++n);
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

void RemoveTree(const std::string& path) {
    ::nftw(path.c_str(), RemoveEntry, 32, FTW_DEPTH | FTW_PHYS);
}

// Runs a program and waits for it; true when it ended with status 0.
bool RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TScanData& Store() {
    static TScanData store;
    return store;
}

bool Prepared(benchmark::State& state) {
    if (TreePath() == nullptr) {
        state.SkipWithError("set VDX_BENCH_TREE to a tree made by vdx-make-tree");
        return false;
    }
    static const bool scanned = Scan(Store(), TreePath());
    static const bool cleared = [] {
        // A run that just ended removed its copies: wait until they are old
        // enough not to slow file creation.
        std::string parent = DestinationPath();
        parent.erase(parent.rfind('/') + 1);
        RemoveTree(DestinationPath());
        struct stat st {};
        ::sync();
        if (::stat(parent.c_str(), &st) == 0) {
            const long wait = st.st_mtime + kDeletedWindow - ::time(nullptr);
            if (wait > 0) {
                std::fprintf(stderr, "copies were deleted a moment ago; waiting %ld s\n", wait);
                ::sleep(static_cast<unsigned>(wait));
            }
        }
        ::mkdir(DestinationPath().c_str(), 0755);
        std::atexit([] { RemoveTree(DestinationPath()); });
        return true;
    }();
    (void)cleared;
    if (!scanned) {
        state.SkipWithError("the tree could not be scanned");
        return false;
    }
    return true;
}

void Report(benchmark::State& state) {
    const TScanData& store = Store();
    std::uint64_t bytes = 0;
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        bytes += store.FileSize(i);
    state.counters["files"] = store.FileCount();
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) *
                            static_cast<std::int64_t>(state.iterations()));
}

void BM_CopyWorker(benchmark::State& state) {
    if (!Prepared(state))
        return;
    TScanData& store = Store();
    std::vector<std::int32_t> files(store.FileCount());
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        files[i] = static_cast<std::int32_t>(i);
    std::uint32_t failed = 0;
    for (auto _ : state) {
        const std::string dest = NextDestination();
        TOperationLogs logs;
        logs.BeginRun(true, true, kViewSameSize, TOperationKind::Copy, TLogHeaderFigures{});
        TCopySafeProgress progress;
        TCopyInputs inputs;
        inputs.files = files;
        inputs.destination = DecodeFileName(dest);
        inputs.rule = TCollisionRule::Skip;
        inputs.filesToProcess = store.FileCount();
        TCopyThread worker(store, std::move(inputs), logs, progress, nullptr, nullptr);
        worker.Start();
        worker.WaitFor();
        failed += static_cast<std::uint32_t>(worker.Counters().failedCount);
        state.PauseTiming();
        ::sync();
        state.ResumeTiming();
    }
    if (failed != 0)
        state.SkipWithError("some files failed to copy");
    Report(state);
}
BENCHMARK(BM_CopyWorker)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void RunCp(benchmark::State& state, bool preserve) {
    if (!Prepared(state))
        return;
    bool ok = true;
    for (auto _ : state) {
        const std::string dest = NextDestination();
        std::vector<std::string> args = {"cp", "-r"};
        if (preserve)
            args.push_back("--preserve=mode,timestamps");
        args.push_back(TreePath());
        args.push_back(dest);
        ok = RunProgram(std::move(args)) && ok;
        state.PauseTiming();
        ::sync();
        state.ResumeTiming();
    }
    if (!ok)
        state.SkipWithError("cp failed");
    Report(state);
}

void BM_CpR(benchmark::State& state) {
    RunCp(state, false);
}
BENCHMARK(BM_CpR)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_CpPreserve(benchmark::State& state) {
    RunCp(state, true);
}
BENCHMARK(BM_CpPreserve)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
