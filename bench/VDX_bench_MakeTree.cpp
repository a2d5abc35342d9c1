// vdx-make-tree: writes a deterministic tree of test files for the scan and
// comparison benchmarks. The same --files, --seed, --max-size and --max-total
// always give the same folders, names, sizes, contents and times, so figures
// taken on different days compare like with like.
//
// This is a tool, not engine code: it writes with plain POSIX calls.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vdx {
namespace {

// Goes up whenever the same options would give a different tree, so that
// cached trees of an older layout are not reused.
constexpr int kTreeVersion = 1;
constexpr std::size_t kNameMax = 255;
constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;
constexpr std::uint64_t kGiB = 1024 * kMiB;

// Keeps 200k files (about 1.1 GB at the default size mix) well below 2 GB even
// on an unlucky seed.
constexpr std::uint64_t kDefaultMaxTotal = 1800 * kMiB;
constexpr std::uint64_t kDefaultMaxSize = 1 * kMiB;
constexpr std::uint32_t kMaxDepth = 8;
constexpr double kFilesPerFolder = 25.0;

// xoshiro256** seeded by splitmix64: our own generator, because the standard
// distributions are not guaranteed to give the same numbers on every library.
class TRandom {
public:
    explicit TRandom(std::uint64_t seed) {
        for (auto& word : m_state) {
            seed += 0x9E3779B97F4A7C15ULL;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t Next() {
        const std::uint64_t result = Rotl(m_state[1] * 5, 7) * 9;
        const std::uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = Rotl(m_state[3], 45);
        return result;
    }

    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    // Uniform in [0, n); n must not be 0.
    std::uint64_t Below(std::uint64_t n) { return Next() % n; }
    bool Chance(double p) { return Unit() < p; }
    double Normal() {
        const double u1 = 1.0 - Unit();
        const double u2 = Unit();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

private:
    static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::array<std::uint64_t, 4> m_state{};
};

struct TOptions {
    std::string root;
    std::uint64_t files = 10000;
    std::uint64_t seed = 1;
    std::uint64_t maxSize = kDefaultMaxSize;
    std::uint64_t maxTotal = kDefaultMaxTotal;
    // Above 0: every drawn size is log-uniform between this and maxSize, for
    // trees of a few large files. 0 keeps the usual mix.
    std::uint64_t minSize = 0;
    bool dryRun = false;
    // Where the true same-content groups go; empty for nowhere.
    std::string groupsPath;
};

struct TFolder {
    std::uint32_t parent;
    std::uint32_t depth;
    std::string name; // empty for the root
    bool hidden;
};

enum class TFileKind : std::uint8_t { Original, Copy, SameNameOther, NearCopy, Zero };

// One planned file. Content is the byte stream of TRandom(contentSeed), cut to
// size, with the byte at flipAt (when not kNoFlip) changed: copies share the
// seed, near-copies share the seed and differ in one byte.
struct TFile {
    std::uint32_t folder;
    TFileKind kind;
    bool oddName;
    std::uint64_t size;
    std::uint64_t contentSeed;
    std::uint64_t flipAt;
    std::int64_t mtime; // seconds since 1970
    std::string name;
    std::uint64_t hash = 0;
};
constexpr std::uint64_t kNoFlip = ~0ULL;

constexpr std::string_view kSyllables[] = {"ka",  "lo",  "mi",  "ne",  "ra",  "su",  "ti",  "vo",
                                           "ber", "dan", "fel", "gor", "hul", "jin", "kes", "lum",
                                           "mor", "nix", "pal", "qua", "ros", "sen", "tor", "ul",
                                           "vex", "wyn", "yar", "zed", "an",  "el",  "is",  "on"};
constexpr std::string_view kWords[] = {
    "report", "photo",   "invoice", "backup", "draft",  "final",  "notes",
    "scan",   "summary", "image",   "song",   "track",  "video",  "budget",
    "letter", "resume",  "thesis",  "slides", "data",   "export", "holiday",
    "family", "project", "meeting", "music",  "readme", "config", "archive"};
constexpr std::string_view kPrefixes[] = {"IMG_", "DSC", "Scan ", "track", "doc", "VID_", "P"};
constexpr std::string_view kExtensions[] = {
    ".jpg", ".jpg", ".jpg", ".png",  ".txt", ".txt",  ".pdf",  ".pdf", ".docx",   ".xlsx",
    ".mp3", ".mp3", ".mp4", ".cpp",  ".h",   ".json", ".log",  ".zip", ".tar.gz", ".JPG",
    ".PDF", "",     ".md",  ".html", ".csv", ".bak",  ".webp", ".iso"};
// Valid UTF-8 from several scripts; the two "cafe" entries are the composed
// and decomposed spellings of the same visible word.
constexpr std::string_view kUnicode[] = {
    "Привет мир",   "日本語ファイル",  "caf\xC3\xA9",
    "cafe\xCC\x81", "Ελληνικά",        "\xF0\x9F\x98\x80 smile",
    "Straße",       "\xC4\xB0stanbul", "\xEF\xAC\x81le",
    "עברית",        "한국어",          "Zürich Ünïcödé",
    "naïve résumé", "中文文件"};
// Byte sequences that are not valid UTF-8: a raw 0xFF, a lead byte without its
// continuation, an encoded surrogate, an overlong '/', and two 0xFE bytes.
constexpr std::string_view kInvalidUtf8[] = {"\xFF", "\xC3", "\xED\xA0\x80", "\xC0\xAF",
                                             "\xFE\xFE"};
// Characters legal in Linux names that other systems or careless code trip
// over: shell and wildcard characters, the Windows separators and reserved
// characters, a tab.
constexpr std::string_view kSpecial[] = {"#",  "%", "&", "'",  "[", "]", "~", ";", ",",
                                         "=",  "+", "!", "$",  "@", "{", "}", "^", "`",
                                         "\\", "*", "?", "\"", "<", ">", "|", ":", "\t"};
// Multi-byte characters used to fill long names: 2, 3 and 4 bytes each.
constexpr std::string_view kWide[] = {"\xC3\xBC", "\xE6\x97\xA5", "\xF0\x9F\x98\x80"};
constexpr std::string_view kHiddenFolders[] = {".cache",      ".config", ".thumbnails", ".git",
                                               ".Trash-1000", ".local",  ".snapshot"};

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Cuts text to at most max bytes without splitting a UTF-8 sequence (a name
// meant to be invalid keeps its bad bytes; this only avoids adding new ones).
void CutTo(std::string& text, std::size_t max) {
    if (text.size() <= max)
        return;
    std::size_t end = max;
    while (end > 0 && IsContinuation(text[end]))
        --end;
    text.resize(end);
}

// Splits at the last dot that is not the first character.
std::pair<std::string, std::string> SplitExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {name, std::string()};
    return {name.substr(0, dot), name.substr(dot)};
}

// Joins base, suffix and extension into a name of at most kNameMax bytes,
// shortening the base first.
std::string FitName(std::string base, std::string_view suffix, std::string_view extension) {
    const std::size_t fixed = suffix.size() + extension.size();
    CutTo(base, kNameMax > fixed ? kNameMax - fixed : 0);
    std::string name = base;
    name += suffix;
    name += extension;
    CutTo(name, kNameMax);
    if (name.empty() || name == "." || name == "..")
        name = "_" + name;
    return name;
}

std::string Syllables(TRandom& rng, int count) {
    std::string word;
    for (int i = 0; i < count; ++i)
        word += rng.Pick(kSyllables);
    return word;
}

std::string PlainBase(TRandom& rng) {
    const double r = rng.Unit();
    if (r < 0.35)
        return std::string(rng.Pick(kPrefixes)) + std::to_string(rng.Below(10000));
    if (r < 0.70) {
        std::string base(rng.Pick(kWords));
        if (rng.Chance(0.5))
            base += rng.Chance(0.5) ? " " : "-";
        else
            base += "_";
        base += rng.Chance(0.5) ? std::string(rng.Pick(kWords)) : std::to_string(rng.Below(100));
        if (rng.Chance(0.15))
            base[0] = static_cast<char>(base[0] - 'a' + 'A');
        return base;
    }
    std::string base = Syllables(rng, 1 + static_cast<int>(rng.Below(3)));
    if (rng.Chance(0.3))
        base += "_" + Syllables(rng, 2);
    return base;
}

// A name of at most kNameMax bytes, of 200 or more bytes, sometimes of
// multi-byte characters.
std::string LongBase(TRandom& rng, std::size_t room) {
    const std::size_t target = 200 + rng.Below(56);
    const std::size_t limit = std::min(target, room);
    std::string base;
    const bool wide = rng.Chance(0.3);
    while (true) {
        const std::string piece =
            wide ? std::string(rng.Pick(kWide)) : std::string(rng.Pick(kWords)) + " ";
        if (base.size() + piece.size() > limit)
            break;
        base += piece;
    }
    return base.empty() ? std::string("long") : base;
}

// A fresh file name; oddName tells whether it was made deliberately awkward.
std::string NewFileName(TRandom& rng, bool& oddName) {
    std::string extension(rng.Pick(kExtensions));
    std::string base = PlainBase(rng);
    oddName = rng.Chance(0.06);
    if (!oddName)
        return FitName(base, "", extension);
    switch (rng.Below(7)) {
    case 0: // spaces where they are easy to lose
        switch (rng.Below(4)) {
        case 0:
            return FitName(" " + base, "", extension);
        case 1:
            return FitName(base + " ", "", extension);
        case 2:
            return FitName(base + "  " + base, "", extension);
        default:
            return FitName(base, "", extension + " ");
        }
    case 1: // Unicode
        return FitName(std::string(rng.Pick(kUnicode)) + " " + base, "", extension);
    case 2: // hidden
        return FitName("." + base, "", extension);
    case 3: { // not valid UTF-8
        const std::string bad(rng.Pick(kInvalidUtf8));
        if (rng.Chance(0.3))
            return FitName(bad + base, "", extension);
        const std::size_t at = rng.Below(base.size() + 1);
        return FitName(base.substr(0, at) + bad + base.substr(at), "", extension);
    }
    case 4: // long
        return FitName(LongBase(rng, kNameMax - extension.size()), "", extension);
    case 5: { // characters special to shells, wildcards or Windows
        const std::size_t at = rng.Below(base.size() + 1);
        return FitName(base.substr(0, at) + std::string(rng.Pick(kSpecial)) + base.substr(at), "",
                       extension);
    }
    default: // all capitals, the old DOS look
        for (char& c : base)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        for (char& c : extension)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return FitName(base, "", extension);
    }
}

std::string NewFolderName(TRandom& rng, bool& hidden) {
    hidden = rng.Chance(0.03);
    if (hidden)
        return rng.Chance(0.6) ? std::string(rng.Pick(kHiddenFolders)) : "." + PlainBase(rng);
    const double r = rng.Unit();
    if (r < 0.02)
        return FitName(std::string(rng.Pick(kUnicode)), "", "");
    if (r < 0.03)
        return FitName(PlainBase(rng) + std::string(rng.Pick(kInvalidUtf8)), "", "");
    if (r < 0.035)
        return FitName(LongBase(rng, kNameMax), "", "");
    if (r < 0.5)
        return std::string(rng.Pick(kWords)) +
               (rng.Chance(0.3) ? " " + std::to_string(rng.Below(30)) : std::string());
    return PlainBase(rng);
}

// Flips the case of ASCII letters so that the name differs only in case.
std::string OtherCase(const std::string& name, TRandom& rng) {
    std::string result = name;
    const bool upper = rng.Chance(0.5);
    for (char& c : result) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

std::string RenamedCopy(const std::string& name, TRandom& rng, bool& oddName) {
    const auto [base, extension] = SplitExtension(name);
    switch (rng.Below(4)) {
    case 0:
        return FitName("Copy of " + base, "", extension);
    case 1:
        return FitName(base, " (" + std::to_string(2 + rng.Below(4)) + ")", extension);
    case 2:
        return FitName(base, " - Copy", extension);
    default:
        return NewFileName(rng, oddName);
    }
}

// Heavy-tailed size: log-normal around a median of 2 KiB, plus a thin band of
// large files spread evenly on a log scale between 64 KiB and the cap. With a
// minimum size, log-uniform between it and the cap instead.
std::uint64_t DrawSize(TRandom& rng, std::uint64_t minSize, std::uint64_t maxSize) {
    if (minSize > 0) {
        const double low = static_cast<double>(minSize);
        const double size = low * std::pow(static_cast<double>(maxSize) / low, rng.Unit());
        return std::clamp(static_cast<std::uint64_t>(size), minSize, maxSize);
    }
    double size;
    if (rng.Chance(0.003))
        size = 64.0 * kKiB * std::pow(static_cast<double>(maxSize) / (64.0 * kKiB), rng.Unit());
    else
        size = 2048.0 * std::exp(1.3 * rng.Normal());
    const auto bytes = static_cast<std::uint64_t>(std::max(1.0, size));
    return std::min(bytes, maxSize);
}

std::uint64_t HashBytes(const unsigned char* data, std::size_t size) {
    std::uint64_t h = 0xCBF29CE484222325ULL ^ size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        h = (h ^ word) * 0x100000001B3ULL;
        h ^= h >> 29;
    }
    for (; i < size; ++i)
        h = (h ^ data[i]) * 0x100000001B3ULL;
    return h ^ (h >> 32);
}

void FillContent(const TFile& file, std::vector<unsigned char>& buffer) {
    buffer.resize(file.size);
    TRandom rng(file.contentSeed);
    std::size_t i = 0;
    for (; i + 8 <= file.size; i += 8) {
        const std::uint64_t word = rng.Next();
        std::memcpy(buffer.data() + i, &word, 8);
    }
    if (i < file.size) {
        const std::uint64_t word = rng.Next();
        std::memcpy(buffer.data() + i, &word, file.size - i);
    }
    if (file.flipAt != kNoFlip && file.flipAt < file.size)
        buffer[file.flipAt] ^= 0x5A;
}

class TPlanner {
public:
    explicit TPlanner(const TOptions& options) : m_options(options), m_rng(options.seed) {}

    void Plan() {
        PlanFolders();
        PlanFiles();
    }

    std::vector<TFolder> m_folders;
    std::vector<TFile> m_files;
    std::uint64_t m_bytes = 0;

private:
    void PlanFolders() {
        const auto count = static_cast<std::uint32_t>(std::max<double>(
            1.0, std::ceil(static_cast<double>(m_options.files) / kFilesPerFolder)));
        m_folders.reserve(count);
        m_folders.push_back({0, 0, std::string(), false});
        for (std::uint32_t k = 1; k < count; ++k) {
            // Half the parents are drawn evenly (deep chains), half strongly
            // towards the first folders, which gives a few folders very many
            // sub-folders and most only a few.
            const double u = m_rng.Unit();
            auto parent = static_cast<std::uint32_t>(static_cast<double>(k) *
                                                     (m_rng.Chance(0.5) ? u : u * u * u * u));
            while (m_folders[parent].depth >= kMaxDepth)
                parent = m_folders[parent].parent;
            bool hidden = false;
            std::string name = NewFolderName(m_rng, hidden);
            name = Unique(m_taken, parent, name);
            m_folders.push_back({parent, m_folders[parent].depth + 1, name, hidden});
        }
        // Pareto weights, capped, decide how many files each folder gets.
        m_cumulative.reserve(count);
        double total = 0.0;
        for (std::uint32_t k = 0; k < count; ++k) {
            // A few folders get no files at all, as real trees have.
            const double draw = std::min(200.0, std::pow(1.0 - m_rng.Unit(), -1.0 / 1.3));
            const double weight = k > 0 && m_rng.Chance(0.03) ? 0.0 : draw;
            total += weight;
            m_cumulative.push_back(total);
        }
    }

    std::uint32_t DrawFolder() {
        const double at = m_rng.Unit() * m_cumulative.back();
        const auto it = std::upper_bound(m_cumulative.begin(), m_cumulative.end(), at);
        return static_cast<std::uint32_t>(std::min<std::size_t>(
            static_cast<std::size_t>(it - m_cumulative.begin()), m_cumulative.size() - 1));
    }

    // Makes name unique inside its folder by adding " (n)" before the
    // extension.
    static std::string Unique(std::unordered_set<std::string>& taken, std::uint32_t folder,
                              const std::string& name) {
        std::string key = std::to_string(folder) + '/';
        const std::size_t prefix = key.size();
        key += name;
        if (taken.insert(key).second)
            return name;
        const auto [base, extension] = SplitExtension(name);
        for (int n = 2;; ++n) {
            const std::string candidate = FitName(base, " (" + std::to_string(n) + ")", extension);
            key.resize(prefix);
            key += candidate;
            if (taken.insert(key).second)
                return candidate;
        }
    }

    // A size that keeps the running total within --max-total, leaving every
    // file still to come at least a small share.
    std::uint64_t Fit(std::uint64_t size, std::uint64_t filesLeft) const {
        const std::uint64_t room = m_options.maxTotal > m_bytes ? m_options.maxTotal - m_bytes : 0;
        if (size <= room / 2 || size <= room / std::max<std::uint64_t>(1, filesLeft))
            return size;
        return std::min(size, room / std::max<std::uint64_t>(1, filesLeft));
    }

    std::uint64_t PickEarlier(bool preferPopular) {
        // A third of the picks go to the first one percent of the non-empty
        // files, so that some files get many copies.
        const std::size_t n = m_nonEmpty.size();
        if (preferPopular && m_rng.Chance(0.33))
            return m_nonEmpty[m_rng.Below(std::max<std::size_t>(1, n / 100))];
        return m_nonEmpty[m_rng.Below(n)];
    }

    void PlanFiles() {
        m_files.reserve(m_options.files);
        m_taken.reserve(m_taken.size() + m_options.files * 2);
        // File times spread over ten years before 2024-01-01.
        constexpr std::int64_t kLatest = 1704067200;
        constexpr std::int64_t kSpan = 10LL * 365 * 24 * 3600;
        for (std::uint64_t i = 0; i < m_options.files; ++i) {
            const std::uint64_t left = m_options.files - i;
            TFile file{DrawFolder(),
                       TFileKind::Original,
                       false,
                       0,
                       m_rng.Next(),
                       kNoFlip,
                       kLatest - static_cast<std::int64_t>(m_rng.Below(kSpan)),
                       std::string()};
            const double r = m_rng.Unit();
            const bool haveEarlier = !m_nonEmpty.empty();
            if (r < 0.02) {
                file.kind = TFileKind::Zero;
                file.name = NewFileName(m_rng, file.oddName);
            } else if (r < 0.22 && haveEarlier) {
                const TFile& source = m_files[PickEarlier(true)];
                file.kind = TFileKind::Copy;
                file.size = source.size;
                file.contentSeed = source.contentSeed;
                file.flipAt = source.flipAt;
                const double how = m_rng.Unit();
                if (how < 0.45) {
                    file.name = source.name;
                } else if (how < 0.55) {
                    file.name = OtherCase(source.name, m_rng);
                } else {
                    file.name = RenamedCopy(source.name, m_rng, file.oddName);
                }
                file.oddName = file.oddName || source.oddName;
                // A same-named copy belongs in another folder; in the same
                // folder it would only get a " (n)" suffix.
                for (int tries = 0; tries < 4 && file.folder == source.folder; ++tries)
                    file.folder = DrawFolder();
            } else if (r < 0.25 && haveEarlier) {
                const TFile& source = m_files[PickEarlier(false)];
                file.kind = TFileKind::SameNameOther;
                file.name = source.name;
                file.oddName = source.oddName;
                file.size = m_rng.Chance(0.5)
                                ? source.size
                                : DrawSize(m_rng, m_options.minSize, m_options.maxSize);
            } else if (r < 0.27 && haveEarlier) {
                const TFile& source = m_files[PickEarlier(false)];
                file.kind = TFileKind::NearCopy;
                file.name = NewFileName(m_rng, file.oddName);
                file.size = source.size;
                file.contentSeed = source.contentSeed;
                // The one differing byte sits at the start, the end, the middle
                // or on a block boundary, where a comparison most likely slips.
                const std::uint64_t candidates[] = {0, file.size - 1, file.size / 2, 4096, 65536};
                file.flipAt = candidates[m_rng.Below(5)];
                if (file.flipAt >= file.size || file.flipAt == source.flipAt)
                    file.flipAt = file.size - 1 == source.flipAt ? 0 : file.size - 1;
            } else {
                file.name = NewFileName(m_rng, file.oddName);
                file.size = DrawSize(m_rng, m_options.minSize, m_options.maxSize);
            }
            if (file.size > 0) {
                const std::uint64_t fitted = Fit(file.size, left);
                if (fitted != file.size) {
                    // Out of budget: a smaller file of its own content, or
                    // an empty one once nothing is left.
                    file.kind = fitted > 0 ? TFileKind::Original : TFileKind::Zero;
                    file.size = fitted;
                    file.contentSeed = m_rng.Next();
                    file.flipAt = kNoFlip;
                }
            }
            file.name = Unique(m_taken, file.folder, file.name);
            m_bytes += file.size;
            if (file.size > 0)
                m_nonEmpty.push_back(i);
            m_files.push_back(std::move(file));
        }
    }

    const TOptions& m_options;
    TRandom m_rng;
    std::vector<double> m_cumulative;
    std::vector<std::uint64_t> m_nonEmpty;
    // "folder index/name" of every folder and file made so far: files and
    // sub-folders share one name space.
    std::unordered_set<std::string> m_taken;
};

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Shows a name with bytes that are not printable ASCII as \xNN, so an error
// message never breaks the terminal.
std::string Printable(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        }
    }
    return out;
}

// Creates the folders and files; false after printing the failing path.
bool WriteTree(const TOptions& options, const std::vector<TFolder>& folders,
               std::vector<TFile>& files) {
    std::vector<std::string> paths(folders.size());
    paths[0] = options.root;
    for (std::size_t k = 1; k < folders.size(); ++k) {
        paths[k] = paths[folders[k].parent] + "/" + folders[k].name;
        if (::mkdir(paths[k].c_str(), 0755) != 0) {
            std::fprintf(stderr, "vdx-make-tree: cannot create folder %s: %s\n",
                         Printable(paths[k]).c_str(), std::strerror(errno));
            return false;
        }
    }
    // Folder by folder, as a copy of a real tree would have been written.
    std::vector<std::uint32_t> order(files.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&files](std::uint32_t a, std::uint32_t b) {
        return files[a].folder < files[b].folder;
    });
    std::vector<unsigned char> buffer;
    buffer.reserve(options.maxSize);
    int folderFd = -1;
    std::uint32_t openFolder = ~0U;
    for (const std::uint32_t index : order) {
        TFile& file = files[index];
        if (file.folder != openFolder) {
            if (folderFd >= 0)
                ::close(folderFd);
            folderFd = ::open(paths[file.folder].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folderFd < 0) {
                std::fprintf(stderr, "vdx-make-tree: cannot open folder %s: %s\n",
                             Printable(paths[file.folder]).c_str(), std::strerror(errno));
                return false;
            }
            openFolder = file.folder;
        }
        FillContent(file, buffer);
        file.hash = HashBytes(buffer.data(), buffer.size());
        const int fd = ::openat(folderFd, file.name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        bool ok = fd >= 0 && WriteAll(fd, buffer.data(), buffer.size());
        if (ok) {
            const timespec times[2] = {{file.mtime, 0}, {file.mtime, 0}};
            ok = ::futimens(fd, times) == 0;
        }
        const int error = errno;
        if (fd >= 0 && ::close(fd) != 0 && ok) {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "vdx-make-tree: cannot write %s/%s: %s\n",
                         Printable(paths[file.folder]).c_str(), Printable(file.name).c_str(),
                         std::strerror(error));
            if (folderFd >= 0)
                ::close(folderFd);
            return false;
        }
    }
    if (folderFd >= 0)
        ::close(folderFd);
    return true;
}

void HashWithoutWriting(std::vector<TFile>& files) {
    std::vector<unsigned char> buffer;
    for (TFile& file : files) {
        FillContent(file, buffer);
        file.hash = HashBytes(buffer.data(), buffer.size());
    }
}

struct TGroups {
    std::uint64_t groups = 0;
    std::uint64_t files = 0;
};

template <typename TKey, typename THash>
TGroups CountGroups(const std::vector<TFile>& files, TKey key, THash) {
    std::unordered_map<decltype(key(files[0])), std::uint64_t, THash> counts;
    counts.reserve(files.size());
    for (const TFile& file : files)
        if (file.size > 0)
            ++counts[key(file)];
    TGroups result;
    for (const auto& [k, n] : counts)
        if (n >= 2) {
            ++result.groups;
            result.files += n;
        }
    return result;
}

std::string Grouped(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out.push_back(',');
        out.push_back(digits[i]);
    }
    return out;
}

void PrintSummary(const TOptions& options, const std::vector<TFolder>& folders,
                  const std::vector<TFile>& files, std::uint64_t bytes, double seconds) {
    std::uint64_t hidden = 0;
    std::uint32_t depth = 0;
    for (const TFolder& folder : folders) {
        hidden += folder.hidden ? 1 : 0;
        depth = std::max(depth, folder.depth);
    }
    std::vector<std::uint64_t> sizes;
    sizes.reserve(files.size());
    std::uint64_t zero = 0;
    std::uint64_t odd = 0;
    std::vector<std::uint32_t> perFolder(folders.size());
    for (const TFile& file : files) {
        sizes.push_back(file.size);
        zero += file.size == 0 ? 1 : 0;
        odd += file.oddName ? 1 : 0;
        ++perFolder[file.folder];
    }
    std::sort(sizes.begin(), sizes.end());
    std::sort(perFolder.begin(), perFolder.end());
    const auto median = [](const auto& sorted) {
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    };

    struct TPairHash {
        std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& p) const {
            return std::hash<std::uint64_t>()(p.first * 0x9E3779B97F4A7C15ULL ^ p.second);
        }
    };
    struct TNameHash {
        std::size_t operator()(const std::pair<std::uint64_t, std::string>& p) const {
            return std::hash<std::string>()(p.second) ^ (p.first * 0x9E3779B97F4A7C15ULL);
        }
    };
    const TGroups bySize = CountGroups(
        files, [](const TFile& f) { return f.size; }, std::hash<std::uint64_t>());
    const TGroups byContent = CountGroups(
        files, [](const TFile& f) { return std::make_pair(f.size, f.hash); }, TPairHash());
    const TGroups byContentName = CountGroups(
        files, [](const TFile& f) { return std::make_pair(f.hash ^ f.size, f.name); }, TNameHash());

    std::printf("tree: %s%s\n", Printable(options.root).c_str(),
                options.dryRun ? " (dry run)" : "");
    std::printf("seed: %llu\n", static_cast<unsigned long long>(options.seed));
    std::printf("files: %llu\n", static_cast<unsigned long long>(files.size()));
    std::printf("folders: %llu (below the root; hidden %llu, deepest level %u)\n",
                static_cast<unsigned long long>(folders.size() - 1),
                static_cast<unsigned long long>(hidden), depth);
    std::printf(
        "files per folder: median %u, largest %u, empty folders %llu\n", median(perFolder),
        perFolder.empty() ? 0 : perFolder.back(),
        static_cast<unsigned long long>(std::count(perFolder.begin(), perFolder.end(), 0U)));
    std::printf("bytes: %s\n", Grouped(bytes).c_str());
    std::printf("file size: median %s, largest %s\n", Grouped(median(sizes)).c_str(),
                Grouped(sizes.empty() ? 0 : sizes.back()).c_str());
    std::printf("zero-size files: %llu\n", static_cast<unsigned long long>(zero));
    std::printf("odd names: %llu\n", static_cast<unsigned long long>(odd));
    std::printf("same-size groups: %s (%s files; sizes above 0 held by 2 or more files)\n",
                Grouped(bySize.groups).c_str(), Grouped(bySize.files).c_str());
    std::printf("same-content groups: %s (%s files)\n", Grouped(byContent.groups).c_str(),
                Grouped(byContent.files).c_str());
    std::printf("same-content same-name groups: %s (%s files; names compared byte for byte)\n",
                Grouped(byContentName.groups).c_str(), Grouped(byContentName.files).c_str());
    std::printf("seconds: %.2f\n", seconds);
}

// Writes the same-content groups (files above 0 bytes sharing size and
// content hash, two or more) for checking a duplicate finder's answer: each
// path relative to the tree folder as raw bytes on one line, a blank line
// after each group. Names never hold a line break, so lines are unambiguous.
// Paths are sorted within a group, groups by their first path. False after
// printing why the file could not be written.
bool WriteGroups(const std::string& target, const std::vector<TFolder>& folders,
                 const std::vector<TFile>& files) {
    std::vector<std::string> folderPaths(folders.size());
    for (std::size_t k = 1; k < folders.size(); ++k) {
        const std::string& parent = folderPaths[folders[k].parent];
        folderPaths[k] = parent.empty() ? folders[k].name : parent + "/" + folders[k].name;
    }
    std::vector<std::uint32_t> order;
    order.reserve(files.size());
    for (std::uint32_t i = 0; i < files.size(); ++i)
        if (files[i].size > 0)
            order.push_back(i);
    std::sort(order.begin(), order.end(), [&files](std::uint32_t a, std::uint32_t b) {
        return std::tie(files[a].size, files[a].hash) < std::tie(files[b].size, files[b].hash);
    });
    std::vector<std::vector<std::string>> groups;
    for (std::size_t begin = 0; begin < order.size();) {
        const TFile& first = files[order[begin]];
        std::size_t end = begin + 1;
        while (end < order.size() && files[order[end]].size == first.size &&
               files[order[end]].hash == first.hash)
            ++end;
        if (end - begin >= 2) {
            std::vector<std::string> group;
            for (std::size_t j = begin; j < end; ++j) {
                const TFile& file = files[order[j]];
                const std::string& folder = folderPaths[file.folder];
                group.push_back(folder.empty() ? file.name : folder + "/" + file.name);
            }
            std::sort(group.begin(), group.end());
            groups.push_back(std::move(group));
        }
        begin = end;
    }
    std::sort(groups.begin(), groups.end());
    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "vdx-make-tree: cannot write %s: %s\n", Printable(target).c_str(),
                     std::strerror(errno));
        return false;
    }
    for (const auto& group : groups) {
        for (const std::string& path : group) {
            std::fwrite(path.data(), 1, path.size(), out);
            std::fputc('\n', out);
        }
        std::fputc('\n', out);
    }
    const bool failed = std::ferror(out) != 0;
    if (std::fclose(out) != 0 || failed) {
        std::fprintf(stderr, "vdx-make-tree: cannot write %s: %s\n", Printable(target).c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

bool ParseCount(const char* text, std::uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || text[0] == '-')
        return false;
    std::uint64_t scale = 1;
    if (*end == 'k' || *end == 'K')
        scale = kKiB;
    else if (*end == 'm' || *end == 'M')
        scale = kMiB;
    else if (*end == 'g' || *end == 'G')
        scale = kGiB;
    if (scale != 1)
        ++end;
    if (*end != '\0' || n > ~0ULL / scale)
        return false;
    value = n * scale;
    return true;
}

constexpr const char* kUsage =
    "Usage: vdx-make-tree [OPTIONS] FOLDER\n"
    "\n"
    "Writes a deterministic tree of test files into FOLDER (created if missing;\n"
    "it must be empty): nested folders, heavy-tailed sizes, copies, renamed\n"
    "copies, same names with other content, near-copies that differ in one byte,\n"
    "zero-size files and awkward names. Prints a summary at the end.\n"
    "\n"
    "Options:\n"
    "  --files N       number of files (default 10000)\n"
    "  --seed S        seed; the same options give the same tree (default 1)\n"
    "  --max-size B    largest file in bytes, K/M/G suffixes allowed (default 1M)\n"
    "  --max-total B   upper bound of all bytes together (default 1800M)\n"
    "  --min-size B    draw every size log-uniform between B and --max-size\n"
    "                  (for a few large files; zero-size files stay)\n"
    "  --groups FILE   write the true same-content groups to FILE: one path\n"
    "                  relative to FOLDER a line, a blank line after each group\n"
    "  --dry-run       plan and print the summary without writing anything\n"
    "  --version       show the tree layout version (it changes whenever the\n"
    "                  same options would give a different tree)\n"
    "  -h, --help      show this text\n";

int Run(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::uint64_t& out) {
            if (i + 1 >= argc || !ParseCount(argv[i + 1], out)) {
                std::fprintf(stderr, "vdx-make-tree: %s needs a whole number\n", argv[i]);
                return false;
            }
            ++i;
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("vdx-make-tree %d\n", kTreeVersion);
            return 0;
        } else if (arg == "--files") {
            if (!value(options.files))
                return 2;
        } else if (arg == "--seed") {
            if (!value(options.seed))
                return 2;
        } else if (arg == "--max-size") {
            if (!value(options.maxSize))
                return 2;
        } else if (arg == "--max-total") {
            if (!value(options.maxTotal))
                return 2;
        } else if (arg == "--min-size") {
            if (!value(options.minSize))
                return 2;
        } else if (arg == "--groups") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "vdx-make-tree: --groups needs a file name\n");
                return 2;
            }
            options.groupsPath = argv[++i];
        } else if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "vdx-make-tree: unknown option %s\n\n%s", argv[i], kUsage);
            return 2;
        } else if (options.root.empty()) {
            options.root = argv[i];
        } else {
            std::fprintf(stderr, "vdx-make-tree: only one folder, please\n");
            return 2;
        }
    }
    if (options.root.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options.files == 0 || options.files > 100'000'000) {
        std::fprintf(stderr, "vdx-make-tree: --files must be between 1 and 100000000\n");
        return 2;
    }
    if (options.maxSize == 0 || options.maxSize > kGiB) {
        std::fprintf(stderr, "vdx-make-tree: --max-size must be between 1 and 1G\n");
        return 2;
    }
    if (options.minSize > options.maxSize) {
        std::fprintf(stderr, "vdx-make-tree: --min-size must not exceed --max-size\n");
        return 2;
    }
    while (options.root.size() > 1 && options.root.back() == '/')
        options.root.pop_back();

    const auto start = std::chrono::steady_clock::now();
    TPlanner planner(options);
    planner.Plan();

    if (options.dryRun) {
        HashWithoutWriting(planner.m_files);
    } else {
        if (::mkdir(options.root.c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "vdx-make-tree: cannot create %s: %s\n",
                         Printable(options.root).c_str(), std::strerror(errno));
            return 1;
        }
        // Refuses a folder with anything in it, so a tree never mixes with
        // other files and a second run never half-overwrites the first.
        DIR* dir = ::opendir(options.root.c_str());
        if (dir == nullptr) {
            std::fprintf(stderr, "vdx-make-tree: cannot open %s: %s\n",
                         Printable(options.root).c_str(), std::strerror(errno));
            return 1;
        }
        bool empty = true;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                empty = false;
                break;
            }
        }
        ::closedir(dir);
        if (!empty) {
            std::fprintf(stderr, "vdx-make-tree: %s is not empty\n",
                         Printable(options.root).c_str());
            return 1;
        }
        if (!WriteTree(options, planner.m_folders, planner.m_files))
            return 1;
    }
    if (!options.groupsPath.empty() &&
        !WriteGroups(options.groupsPath, planner.m_folders, planner.m_files))
        return 1;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    PrintSummary(options, planner.m_folders, planner.m_files, planner.m_bytes, seconds);
    return 0;
}

} // namespace
} // namespace vdx

int main(int argc, char** argv) {
    return vdx::Run(argc, argv);
}
