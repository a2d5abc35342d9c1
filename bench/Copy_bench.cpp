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
// does the same work on the metadata as the worker. The destination is
// removed between iterations, outside the timing. Counters: files and bytes
// copied per iteration.

#include <cstdlib>
#include <ftw.h>
#include <memory>
#include <string>
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
    const std::string dest = DestinationPath();
    RemoveTree(dest);
    std::uint32_t failed = 0;
    for (auto _ : state) {
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
        RemoveTree(dest);
        state.ResumeTiming();
    }
    if (failed != 0)
        state.SkipWithError("some files failed to copy");
    Report(state);
}
BENCHMARK(BM_CopyWorker)->Unit(benchmark::kMillisecond)->UseRealTime();

void RunCp(benchmark::State& state, bool preserve) {
    if (!Prepared(state))
        return;
    const std::string dest = DestinationPath();
    RemoveTree(dest);
    bool ok = true;
    for (auto _ : state) {
        std::vector<std::string> args = {"cp", "-r"};
        if (preserve)
            args.push_back("--preserve=mode,timestamps");
        args.push_back(TreePath());
        args.push_back(dest);
        ok = RunProgram(std::move(args)) && ok;
        state.PauseTiming();
        RemoveTree(dest);
        state.ResumeTiming();
    }
    if (!ok)
        state.SkipWithError("cp failed");
    Report(state);
}

void BM_CpR(benchmark::State& state) {
    RunCp(state, false);
}
BENCHMARK(BM_CpR)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CpPreserve(benchmark::State& state) {
    RunCp(state, true);
}
BENCHMARK(BM_CpPreserve)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
