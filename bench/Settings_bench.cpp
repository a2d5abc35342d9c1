// Loading a large settings file: 500 stored sets of 20 search paths each,
// every path with its full filter and two excluded folders, as the program
// writes them. The whole load is timed (reading and indexing the file, then
// every setting, history, path record and set), and the settings half alone.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

#include "persistence/KLX_unit_Ini.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/VDX_unit_Text.h"

namespace {

using namespace vdx;

constexpr int kSets = 500;
constexpr int kPathsPerSet = 20;

std::u16string Number(int n) {
    return FromUtf8(std::to_string(n));
}

std::unique_ptr<TSearchData> MakePath(int set, int path) {
    auto data = std::make_unique<TSearchData>();
    data->SearchPath = u"/home/user/Pictures/collection " + Number(set) + u"/album " + Number(path);
    data->bSubFolders = path % 2 == 0;
    TFileFilter& f = data->fileFilter;
    f.FLT_Include = u"*.jpg; *.jpeg; *.png; *.raw";
    f.FLT_Exclude = u"*.tmp; ~*";
    f.FLT_bUseExclude = true;
    f.FLT_bUseDate = path % 3 == 0;
    f.FLT_bUseSize = true;
    f.FLT_DateTimeA = 45000.25 + set;
    f.FLT_DateTimeB = 45100.75 + path;
    f.FLT_SizeA = 100 + path;
    f.FLT_SizeDegreeA = kDegreeKb;
    f.FLT_SizePos = kSizeMoreThanA;
    data->folderFilter.Add(data->SearchPath + u"/.thumbnails");
    data->folderFilter.Add(data->SearchPath + u"/cache");
    return data;
}

// The generated file, removed when the program ends.
struct TBenchFile {
    std::string name;
    ~TBenchFile() {
        if (!name.empty())
            ::unlink(name.c_str());
    }
};

// Writes the file once per process and returns its path.
const std::u16string& LargeFile() {
    static TBenchFile file;
    static const std::u16string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string name(tmp && *tmp ? tmp : "/tmp");
        name.append("/vdx_settings_bench_XXXXXX");
        const int fd = ::mkstemp(name.data());
        if (fd < 0)
            std::abort();
        ::close(fd);
        file.name = name;
        TSettings settings;
        InitGlobals(settings, u"Sans", 10);
        settings.ResetToDefaults();
        for (int i = 0; i < 5; ++i)
            settings.currentSet.AddOwned(MakePath(0, i));
        for (int s = 1; s <= kSets; ++s) {
            auto set = std::make_unique<TSearchSet>();
            set->name = u"Stored set " + Number(s);
            for (int p = 1; p <= kPathsPerSet; ++p)
                set->AddOwned(MakePath(s, p));
            settings.storedSets.push_back(std::move(set));
        }
        TKLXIni ini;
        WriteSettings(settings, ini);
        if (ini.SaveToFile(FromUtf8(name)) != 0)
            std::abort();
        return FromUtf8(name);
    }();
    return path;
}

void BM_LoadLargeSettingsFile(benchmark::State& state) {
    const std::u16string& file = LargeFile();
    TSettings settings;
    InitGlobals(settings, u"Sans", 10);
    for (auto _ : state) {
        TKLXIni ini;
        ini.LoadFromFile(file);
        ReadSettings(settings, ini);
        benchmark::DoNotOptimize(settings.storedSets.size());
    }
    if (settings.storedSets.size() != kSets ||
        settings.storedSets.back()->Count() != static_cast<std::size_t>(kPathsPerSet))
        state.SkipWithError("the file did not load whole");
}
BENCHMARK(BM_LoadLargeSettingsFile)->Unit(benchmark::kMillisecond);

void BM_ReadSettingsFromLoadedStore(benchmark::State& state) {
    TKLXIni ini;
    ini.LoadFromFile(LargeFile());
    TSettings settings;
    InitGlobals(settings, u"Sans", 10);
    for (auto _ : state) {
        ReadSettings(settings, ini);
        benchmark::DoNotOptimize(settings.storedSets.size());
    }
}
BENCHMARK(BM_ReadSettingsFromLoadedStore)->Unit(benchmark::kMillisecond);

void BM_WriteLargeSettingsFile(benchmark::State& state) {
    TKLXIni source;
    source.LoadFromFile(LargeFile());
    TSettings settings;
    InitGlobals(settings, u"Sans", 10);
    ReadSettings(settings, source);
    for (auto _ : state) {
        TKLXIni ini;
        WriteSettings(settings, ini);
        benchmark::DoNotOptimize(ini.SavedText().size());
    }
}
BENCHMARK(BM_WriteLargeSettingsFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
