// Measures the content comparison on a generated tree (vdx-make-tree), named
// by the environment variable VDX_BENCH_TREE:
//
//   VDX_BENCH_TREE=/tmp/vdx-bench/tree-v1-200000-s1 build/bench/bench/ContentCompare_bench
//
// BM_Compare scans and groups the tree once, then each iteration clears the
// content views, compares every Same size group and builds the Same content
// and Full clones views: the comparison alone. BM_SearchAndCompare does the whole job per
// iteration, scan and grouping included, to set against other duplicate
// finders. BM_ReadFloor reads every same-size file once, whole, one after
// the other: the floor the comparison is measured against. Counters: bytes the reads returned, the
// same-size bytes (what a full read would cost), groups found, reopens forced by the descriptor
// budget, the largest buffer block, and the process's peak resident memory.
// Hidden folders are scanned, as the other finders do.

#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/VDX_unit_ContentCompare.h"
#include "engine/VDX_unit_FolderScan.h"
#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_SearchData.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {
// The benchmark's door to the store: it records the search as done, as the
// search run would.
struct TBenchStoreDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};
} // namespace vdx

namespace {

using namespace vdx;

const char* TreePath() {
    return std::getenv("VDX_BENCH_TREE");
}

bool ScanAndGroup(TScanData& store, const char* root) {
    store.ClearForNewSearch();
    store.m_protectHiddenFolders = false;
    TSearchDataList paths;
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = DecodeFileName(root);
    paths.AddOwned(std::move(path));
    paths.Item(0)->Prepare();
    TFolderScan scan(store, paths);
    if (!scan.ScanAll())
        return false;
    if (!RunGrouping(store))
        return false;
    store.Status(TBenchStoreDoor::Key()).m_searchDone = true;
    return true;
}

double PeakResidentMiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::uint64_t SameSizeBytes(const TScanData& store) {
    std::uint64_t total = 0;
    for (const TSizeGroupItem& g : store.SizeGroups())
        total += g.m_totalBytes;
    return total;
}

void Report(benchmark::State& state, const TScanData& store, const TContentCompare& compare) {
    const TCompareStats& stats = compare.Stats();
    state.counters["read_MB"] = static_cast<double>(stats.bytesRead) / 1e6;
    state.counters["same_size_MB"] = static_cast<double>(SameSizeBytes(store)) / 1e6;
    state.counters["read_calls"] = static_cast<double>(stats.readCalls);
    state.counters["opens"] = static_cast<double>(stats.opens);
    state.counters["reopens"] = static_cast<double>(stats.reopens);
    state.counters["unreadable"] = stats.unreadable;
    state.counters["content_groups"] = store.ContentGroups().Count();
    state.counters["clone_groups"] = store.CloneGroups().Count();
    state.counters["buffer_KiB"] = static_cast<double>(stats.peakBufferBytes) / 1024.0;
    state.counters["peak_RSS_MiB"] = PeakResidentMiB();
    state.counters["read_rate"] = benchmark::Counter(static_cast<double>(stats.bytesRead),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Compare(benchmark::State& state) {
    const char* root = TreePath();
    if (root == nullptr) {
        state.SkipWithError("set VDX_BENCH_TREE to a tree made by vdx-make-tree");
        return;
    }
    static TScanData store;
    static bool scanned = ScanAndGroup(store, root);
    if (!scanned) {
        state.SkipWithError("the tree could not be scanned");
        return;
    }
    std::unique_ptr<TContentCompare> last;
    for (auto _ : state) {
        store.ClearContentResults();
        auto compare = std::make_unique<TContentCompare>(store);
        benchmark::DoNotOptimize(compare->CompareAll());
        BuildContentViews(store);
        last = std::move(compare);
    }
    if (last)
        Report(state, store, *last);
}
BENCHMARK(BM_Compare)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: every file of every Same size group opened, read to its end
// once in 128 KiB reads and closed, one after the other, with plain system
// calls.
void BM_ReadFloor(benchmark::State& state) {
    const char* root = TreePath();
    if (root == nullptr) {
        state.SkipWithError("set VDX_BENCH_TREE to a tree made by vdx-make-tree");
        return;
    }
    static TScanData store;
    static bool scanned = ScanAndGroup(store, root);
    if (!scanned) {
        state.SkipWithError("the tree could not be scanned");
        return;
    }
    std::vector<std::string> paths;
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        if (store.File(i).m_sizeGroup >= 0)
            paths.push_back(EncodeFileName(store.FullPath(i)));
    }
    std::vector<char> buffer(131072);
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (const std::string& path : paths) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            for (;;) {
                const ssize_t n = ::read(fd, buffer.data(), buffer.size());
                if (n <= 0)
                    break;
                bytes += static_cast<std::uint64_t>(n);
            }
            ::close(fd);
        }
    }
    state.counters["read_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["files"] = static_cast<double>(paths.size());
    state.counters["read_rate"] = benchmark::Counter(static_cast<double>(bytes),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SearchAndCompare(benchmark::State& state) {
    const char* root = TreePath();
    if (root == nullptr) {
        state.SkipWithError("set VDX_BENCH_TREE to a tree made by vdx-make-tree");
        return;
    }
    auto store = std::make_unique<TScanData>();
    std::unique_ptr<TContentCompare> last;
    for (auto _ : state) {
        if (!ScanAndGroup(*store, root)) {
            state.SkipWithError("the tree could not be scanned");
            return;
        }
        store->ClearContentResults();
        auto compare = std::make_unique<TContentCompare>(*store);
        benchmark::DoNotOptimize(compare->CompareAll());
        BuildContentViews(*store);
        ComputeTotals(*store);
        last = std::move(compare);
    }
    if (last)
        Report(state, *store, *last);
}
BENCHMARK(BM_SearchAndCompare)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
