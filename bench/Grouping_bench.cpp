// Duplicate grouping of a whole scan, and what the store costs per file.
//
// The synthetic store is shaped like a home folder: 10 to 50 files per
// folder, folders three to five levels deep, names of about 20 characters
// (camera names sharing long prefixes, document names from a word list,
// random names), sizes heavy-tailed (many small files, a few huge), one file
// in fifty empty, and about a third of the files copies of an earlier file
// (same name, mostly the same size, sometimes another letter case).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_ScanData.h"

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
    double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }

private:
    std::uint64_t m_state;
};

const char16_t* const kWords[] = {u"report", u"final", u"draft",  u"invoice", u"photo",
                                  u"scan",   u"notes", u"backup", u"budget",  u"letter",
                                  u"summer", u"copy",  u"old",    u"new",     u"project"};
const char16_t* const kExtensions[] = {u".jpg", u".JPG",  u".pdf", u".docx", u".txt", u".mp3",
                                       u".png", u".xlsx", u".zip", u".cpp",  u".h",   u""};

void AppendNumber(std::u16string& out, std::uint32_t value, int digits) {
    char16_t buffer[10];
    for (int i = digits - 1; i >= 0; --i) {
        buffer[i] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    out.append(buffer, static_cast<std::size_t>(digits));
}

// Heavy-tailed: log-uniform from 1 byte to 4 GiB, biased towards small files.
std::uint64_t RandomSize(TRandom& rng) {
    if (rng.Below(50) == 0)
        return 0;
    double exponent = 32.0 * rng.Unit() * rng.Unit();
    return static_cast<std::uint64_t>(std::exp2(exponent));
}

struct TCopySource {
    std::u16string name;
    std::uint64_t size;
};

// Fills store with fileCount files through the scan's own appending calls.
void FillStore(TScanData& store, std::uint32_t fileCount, std::uint64_t seed) {
    TRandom rng(seed);
    store.ClearForNewSearch();
    std::vector<TCopySource> sources; // a sample of earlier files to copy
    sources.reserve(65536);
    std::u16string path;
    std::u16string name;
    std::uint32_t added = 0;
    std::uint32_t folderNo = 0;
    std::int32_t root = store.AddFolder(0, 0, 0, true, u"/home/user/");
    while (added < fileCount) {
        path = u"/home/user/";
        int depth = 2 + static_cast<int>(rng.Below(4));
        for (int d = 0; d < depth; ++d) {
            path += kWords[rng.Below(15)];
            AppendNumber(path, d + 1 == depth ? folderNo : rng.Below(40), d + 1 == depth ? 6 : 2);
            path += u'/';
        }
        ++folderNo;
        std::int32_t folder = store.AddFolder(0, 0, static_cast<std::uint32_t>(root), false, path);
        std::uint32_t inFolder = 10 + rng.Below(41);
        for (std::uint32_t k = 0; k < inFolder && added < fileCount; ++k) {
            std::uint64_t size = RandomSize(rng);
            std::uint32_t kind = rng.Below(100);
            name.clear();
            if (kind < 33 && !sources.empty()) {
                const TCopySource& src =
                    sources[rng.Below(static_cast<std::uint32_t>(sources.size()))];
                name = src.name;
                if (rng.Below(10) == 0)
                    for (char16_t& c : name)
                        c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
                size = rng.Below(8) == 0 ? size : src.size;
            } else if (kind < 55) {
                name = u"IMG_2019";
                AppendNumber(name, rng.Below(10000), 4);
                name += u'_';
                AppendNumber(name, rng.Below(1000000), 6);
                name += rng.Below(4) == 0 ? u".JPG" : u".jpg";
            } else if (kind < 80) {
                name = kWords[rng.Below(15)];
                name += u'_';
                name += kWords[rng.Below(15)];
                name += u'_';
                AppendNumber(name, rng.Below(10000), 4);
                name += kExtensions[rng.Below(12)];
            } else {
                std::uint32_t length = 12 + rng.Below(12);
                for (std::uint32_t c = 0; c < length; ++c)
                    name += static_cast<char16_t>(u'a' + rng.Below(26));
                name += kExtensions[rng.Below(12)];
            }
            if (store.AddFile(0, static_cast<std::uint32_t>(folder), name, size,
                              132000000000000000LL +
                                  static_cast<std::int64_t>(rng.Below(1u << 30)) * 10000,
                              0x20) != 0)
                continue;
            ++added;
            if (sources.size() < 65536)
                sources.push_back({name, size});
            else if (rng.Below(16) == 0)
                sources[rng.Below(65536)] = {name, size};
        }
    }
}

void BM_Grouping(benchmark::State& state) {
    const std::uint32_t fileCount = static_cast<std::uint32_t>(state.range(0));
    TScanData store;
    std::uint64_t seed = 1;
    for (auto _ : state) {
        state.PauseTiming();
        FillStore(store, fileCount, seed++);
        state.ResumeTiming();
        benchmark::DoNotOptimize(RunGrouping(store));
    }
    // The store as the views see it after grouping.
    state.counters["files"] = store.FileCount();
    state.counters["folders"] = store.FolderCount();
    state.counters["bytes_per_file"] =
        static_cast<double>(store.MemoryBytes()) / static_cast<double>(store.FileCount());
    state.counters["size_groups"] = store.SizeGroups().Count();
    state.counters["name_groups"] = store.NameGroups().Count();
    state.counters["namesize_groups"] = store.NameSizeGroups().Count();
    state.counters["size_rows"] = store.Counters(kViewSameSize).m_fileRows;
    state.counters["name_rows"] = store.Counters(kViewSameName).m_fileRows;
    state.counters["zero_files"] = store.ZeroSizeFiles();
}
BENCHMARK(BM_Grouping)
    ->Arg(1'000'000)
    ->Arg(5'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

// Appending a million files as the scan does (names copied into the pool,
// records into the growing table).
void BM_FillStore(benchmark::State& state) {
    TScanData store;
    for (auto _ : state)
        FillStore(store, 1'000'000, 7);
    state.counters["bytes_per_file_before_grouping"] =
        static_cast<double>(store.MemoryBytes()) / static_cast<double>(store.FileCount());
}
BENCHMARK(BM_FillStore)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
