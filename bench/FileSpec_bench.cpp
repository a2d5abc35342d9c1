// The mask test the scan asks of every file: one include list against a
// million names of a realistic mix.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/VDX_unit_FileSpec.h"

namespace {

constexpr std::size_t kNameCount = 1'000'000;

// About one name in ten is an image; stems of 1 to 40 characters; one name in
// eight is in capitals (camera and old DOS names), others mixed or lower case.
const std::vector<std::u16string>& Names() {
    static const std::vector<std::u16string> names = [] {
        const std::u16string_view images[] = {u".jpg", u".jpeg", u".png", u".gif", u".heic"};
        const std::u16string_view others[] = {
            u".txt",  u".pdf",  u".docx",    u".xlsx", u".mp3", u".mp4", u".cpp", u".h",
            u".json", u".html", u".js",      u".py",   u".log", u".zip", u"",     u".tar.gz",
            u".o",    u".svg",  u".jpg.bak", u".webp", u".ini", u".xml", u".dll", u".pngx"};
        const std::u16string_view stemChars = u"abcdefghijklmnopqrstuvwxyz0123456789_-. ";
        std::mt19937 rng(424242u);
        auto below = [&rng](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
        };
        std::vector<std::u16string> out;
        out.reserve(kNameCount);
        for (std::size_t i = 0; i < kNameCount; ++i) {
            std::u16string name;
            const std::size_t stemLength = 1 + below(below(4) == 0 ? 40 : 16);
            for (std::size_t k = 0; k < stemLength; ++k)
                name += stemChars[below(stemChars.size())];
            if (below(10) == 0)
                name += images[below(std::size(images))];
            else
                name += others[below(std::size(others))];
            const std::size_t casing = below(8);
            for (std::size_t k = 0; k < name.size(); ++k) {
                char16_t& c = name[k];
                const bool upper = casing == 0 || (casing == 1 && k == 0);
                if (upper && c >= u'a' && c <= u'z')
                    c = static_cast<char16_t>(c - u'a' + u'A');
            }
            out.push_back(std::move(name));
        }
        return out;
    }();
    return names;
}

void RunList(benchmark::State& state, std::u16string_view list) {
    const auto& names = Names();
    vdx::TFileSpecProcessor processor;
    processor.SetMask(list);
    std::size_t matched = 0;
    for (auto _ : state) {
        matched = 0;
        for (const auto& name : names)
            matched += processor.Matches(name, true) ? 1 : 0;
        benchmark::DoNotOptimize(matched);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(names.size()));
    state.counters["matched"] = static_cast<double>(matched);
}

void BM_ImageIncludeList(benchmark::State& state) {
    RunList(state, u"*.jpg;*.jpeg;*.png;*.gif;*.heic");
}
BENCHMARK(BM_ImageIncludeList)->Unit(benchmark::kMillisecond);

// The default include list: answered without looking at the name.
void BM_MatchAllList(benchmark::State& state) {
    RunList(state, u"*.*");
}
BENCHMARK(BM_MatchAllList)->Unit(benchmark::kMillisecond);

// Masks with a head, a grouped middle segment and a tail.
void BM_GroupedMasks(benchmark::State& state) {
    RunList(state, u"a*b?c*.jp?g;*1?2*;??_*x*.t?t");
}
BENCHMARK(BM_GroupedMasks)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
