// The result views and marks on a grouped store of a million files: re-sorting
// a view's rows by a grid column, re-sorting the navigator by a column, and
// marking all rows, one row at a time and group by group. All of them run on
// the user-interface thread, so they have to stay well below a second.
//
// The store: files of 10 to 50 per folder, names from a small word list with
// numbers (so many names repeat), sizes up to 3 MB (so many sizes repeat),
// one file in fifty empty.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Marks.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_Views.h"

namespace {

using namespace vdx;

class TRandom {
public:
    explicit TRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }

private:
    std::uint64_t m_state;
};

const char16_t* const kWords[] = {u"report", u"final", u"draft", u"invoice",
                                  u"photo",  u"scan",  u"notes", u"backup"};
const char16_t* const kExtensions[] = {u".jpg", u".JPG", u".pdf", u".txt", u""};

void AppendNumber(std::u16string& out, std::uint32_t value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    out += digits;
}

void FillAndGroup(TScanData& store, std::uint32_t fileCount) {
    TRandom rng(42);
    store.ClearForNewSearch();
    std::u16string path;
    std::u16string name;
    std::uint32_t added = 0;
    std::int32_t root = store.AddFolder(0, 0, 0, true, u"/home/user/");
    for (std::uint32_t folderNo = 0; added < fileCount; ++folderNo) {
        path = u"/home/user/";
        path += kWords[rng.Below(8)];
        AppendNumber(path, folderNo);
        path += u'/';
        std::int32_t folder = store.AddFolder(0, 0, static_cast<std::uint32_t>(root), false, path);
        std::uint32_t inFolder = 10 + rng.Below(41);
        for (std::uint32_t k = 0; k < inFolder && added < fileCount; ++k) {
            name = kWords[rng.Below(8)];
            AppendNumber(name, rng.Below(20000));
            name += kExtensions[rng.Below(5)];
            std::uint64_t size = rng.Below(50) == 0 ? 0 : 1 + rng.Below(3'000'000);
            if (store.AddFile(0, static_cast<std::uint32_t>(folder), name, size,
                              132000000000000000LL + rng.Below(1u << 20), 0x20) == 0)
                ++added;
        }
    }
    RunGrouping(store);
}

TScanData& SharedStore() {
    static TScanData* store = [] {
        auto* s = new TScanData;
        FillAndGroup(*s, 1'000'000);
        return s;
    }();
    return *store;
}

// Arguments: view slot, row key.
void BM_SortRows(benchmark::State& state) {
    TScanData& store = SharedStore();
    const TViewKind view = ViewOfSlot(static_cast<int>(state.range(0)));
    const int key = static_cast<int>(state.range(1));
    bool ascending = false;
    for (auto _ : state) {
        SortRows(store, view, key, ascending);
        ascending = !ascending;
    }
    state.counters["rows"] = RowCount(store, view);
}
BENCHMARK(BM_SortRows)
    ->Args({0, kRowKeyName})
    ->Args({0, kRowKeySize})
    ->Args({1, kRowKeyName})
    ->Args({1, kRowKeyPath})
    ->Args({1, kRowKeyMark})
    ->Unit(benchmark::kMillisecond);

// Arguments: view slot, navigator code.
void BM_SortNavigator(benchmark::State& state) {
    TScanData& store = SharedStore();
    const TViewKind view = ViewOfSlot(static_cast<int>(state.range(0)));
    const int code = static_cast<int>(state.range(1));
    bool ascending = false;
    for (auto _ : state) {
        SortNavigator(store, view, code, ascending);
        ascending = !ascending;
    }
    state.counters["groups"] = NavigatorCount(store, view);
}
BENCHMARK(BM_SortNavigator)
    ->Args({0, 0})
    ->Args({0, 2})
    ->Args({1, 3})
    ->Args({0, 4})
    ->Unit(benchmark::kMillisecond);

void BM_MarkAll(benchmark::State& state) {
    TScanData& store = SharedStore();
    bool on = true;
    for (auto _ : state) {
        MarkAll(store, kViewSameSize, on);
        on = !on;
    }
    state.counters["rows"] = store.Counters(kViewSameSize).m_fileRows;
}
BENCHMARK(BM_MarkAll)->Unit(benchmark::kMillisecond);

void BM_ToggleEveryGroup(benchmark::State& state) {
    TScanData& store = SharedStore();
    for (auto _ : state) {
        const std::uint32_t n = NavigatorCount(store, kViewSameName);
        for (std::uint32_t p = 0; p < n; ++p)
            ToggleGroupMarks(store, kViewSameName, TNavPos{p});
    }
    state.counters["groups"] = NavigatorCount(store, kViewSameName);
}
BENCHMARK(BM_ToggleEveryGroup)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
