// The two tests the scan asks of every entry: PassesFolder for each
// sub-folder, PassesFile for each file.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/VDX_unit_SearchData.h"

namespace {

using vdx::TSearchData;

std::vector<std::u16string> FolderPaths() {
    std::vector<std::u16string> paths;
    for (int i = 0; i < 256; ++i) {
        paths.push_back(u"/home/user/Pictures/2019/holiday/album_" +
                        std::u16string(1, u'a' + i % 26) + u"/sub_folder_with_a_longer_name");
    }
    return paths;
}

void BM_PassesFolder(benchmark::State& state) {
    TSearchData path;
    for (int i = 0; i < state.range(0); ++i) {
        // Half absolute (anchored), half relative (occurs anywhere).
        if (i % 2 == 0) {
            path.folderFilter.Add(u"/home/user/Pictures/skip_" + std::u16string(1, u'a' + i % 26) +
                                  u"/");
        } else {
            path.folderFilter.Add(u"cache_" + std::u16string(1, u'a' + i % 26));
        }
    }
    path.Prepare();
    const std::vector<std::u16string> paths = FolderPaths();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(path.PassesFolder(paths[i++ & 255]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PassesFolder)->Arg(1)->Arg(10)->Arg(50);

void BM_PassesFile(benchmark::State& state) {
    TSearchData path;
    vdx::TFileFilter& f = path.fileFilter;
    f.FLT_bUseSize = true;
    f.FLT_SizePos = vdx::kSizeBetween;
    f.FLT_SizeA = 1;
    f.FLT_SizeDegreeA = vdx::kDegreeKb;
    f.FLT_SizeB = 3;
    f.FLT_SizeDegreeB = vdx::kDegreeGb;
    f.FLT_bUseAttr = true;
    f.FLT_Attr_ExcMask = vdx::kAttrHidden;
    if (state.range(0) != 0) {
        f.FLT_Include = u"*.jpg;*.png";
        f.FLT_Exclude = u"*.tmp";
        f.FLT_bUseExclude = true;
    }
    path.Prepare();
    const std::u16string name = u"IMG_20190704_123456.jpg";
    std::int64_t size = 4096;
    for (auto _ : state) {
        benchmark::DoNotOptimize(path.PassesFile(vdx::kAttrArchive, 0, size, name));
        size = (size + 4099) & 0xFFFFFF;
    }
    state.SetItemsProcessed(state.iterations());
}
// 0: include "*.*" (match-all); 1: two include masks and one exclude mask.
BENCHMARK(BM_PassesFile)->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
