#include "engine/VDX_unit_Grouping.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

#include "engine/VDX_unit_ErrorFile.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TGroupingDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TGroupingDoor::Key();

// ---- Small helpers ----

template <typename T>
int Compare3(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

void Check(int rc) {
    if (rc != 0)
        throw std::bad_alloc();
}

std::uint8_t MarkStateOf(std::uint32_t marked, std::uint32_t count) {
    if (marked == 0)
        return 0;
    return marked == count ? 1 : 2;
}

// Counts a file that has just joined group g of a view: its mark, the
// view's marked totals and the group's mark state.
template <typename G>
void CountMember(G& g, const TScanFileItem& f, std::uint8_t bit, TViewCounters& counters) {
    if ((f.m_marks & bit) != 0) {
        ++g.m_head.m_markedCount;
        ++counters.m_markedFiles;
        counters.m_markedBytes += f.m_size;
    }
    g.m_markState = MarkStateOf(g.m_head.m_markedCount, g.m_head.m_fileCount);
}

template <typename G>
G NewGroup() {
    G g{};
    g.m_head.m_navPosition = -1;
    g.m_head.m_headerRow = -1;
    return g;
}

// ---- Folder order ----

// Later steps read the upper-cased pool; if making it failed they must not
// read past its end.
void RequireUpperPool(const TScanData& store) {
    if (store.UpperPool().UsedBytes() != store.Pool().UsedBytes())
        throw std::runtime_error("upper-cased pool missing");
}

// Component by component: upper-cased first, then exactly, so that two
// folders differing only in letter case keep their sub-trees apart; the end
// of a component sorts before any character, so a folder directly precedes
// its sub-tree.
int ComparePathRecords(const char16_t* upper, const char16_t* exact, const TScanFolderItem& a,
                       const TScanFolderItem& b) {
    const char16_t* upA = upper + a.m_pathPos / 2;
    const char16_t* upB = upper + b.m_pathPos / 2;
    const char16_t* exA = exact + a.m_pathPos / 2;
    const char16_t* exB = exact + b.m_pathPos / 2;
    std::size_t lenA = a.m_pathLength / 2u;
    std::size_t lenB = b.m_pathLength / 2u;
    // Components equal when upper-cased have equal lengths, so both paths
    // stay at the same position k.
    std::size_t componentStart = 0;
    auto exactTieBreak = [&](std::size_t end) {
        for (std::size_t i = componentStart; i < end; ++i) {
            if (exA[i] != exB[i])
                return exA[i] < exB[i] ? -1 : 1;
        }
        return 0;
    };
    for (std::size_t k = 0;; ++k) {
        if (k == lenA || k == lenB) {
            if (lenA == lenB)
                return exactTieBreak(k);
            return lenA < lenB ? -1 : 1;
        }
        char16_t ca = upA[k];
        char16_t cb = upB[k];
        if (ca == cb) {
            if (ca == u'/') {
                if (int c = exactTieBreak(k))
                    return c;
                componentStart = k + 1;
            }
            continue;
        }
        if (ca == u'/')
            return -1;
        if (cb == u'/')
            return 1;
        return ca < cb ? -1 : 1;
    }
}

// ---- Name and extension keys ----

// While base names and extensions are sorted, fields that are unused until
// later steps hold the first upper-cased code units of each file's key,
// packed big-endian into 64-bit words: the six group fields give three words
// (12 code units); while base names are sorted the two class fields give a
// fourth (16 code units). Most comparisons, and every comparison of two equal
// names that short, are then decided without touching the pool.
constexpr std::size_t kGroupFieldsOffset = offsetof(TScanFileItem, m_nameGroup);
constexpr std::size_t kClassFieldsOffset = offsetof(TScanFileItem, m_baseClass);
static_assert(offsetof(TScanFileItem, m_zeroGroup) + 4 - kGroupFieldsOffset == 24);
static_assert(offsetof(TScanFileItem, m_extClass) == kClassFieldsOffset + 4);

template <int Words>
struct TSpanKey {
    static constexpr std::uint32_t kChars = Words * 4;
    std::uint64_t w[Words];
    std::uint32_t start; // character index in the pools
    std::uint32_t length;
};

// The base name as compared: the characters before the extension dot; a
// name without extension includes its terminating zero, so README sorts
// after README.TXT and never shares its class.
struct TBaseSpan {
    static constexpr int kWords = 4;
    static std::uint32_t Start(const TScanFileItem& f) { return f.m_namePos / 2; }
    static std::uint32_t Length(const TScanFileItem& f) {
        return (f.m_extPos - f.m_namePos + 1) / 2;
    }
};

// The extension from its dot to the end of the name; empty without one, so
// that all names without extension sort first and share one class.
struct TExtSpan {
    static constexpr int kWords = 3;
    static std::uint32_t Start(const TScanFileItem& f) { return f.m_extPos / 2; }
    static std::uint32_t Length(const TScanFileItem& f) {
        std::uint32_t end = f.m_namePos + f.m_nameLength;
        return f.m_extPos < end ? (end - f.m_extPos) / 2 : 0;
    }
};

template <typename Span>
void StoreKey(TScanFileItem& f, const char16_t* upper) {
    constexpr int kWords = Span::kWords;
    const char16_t* text = upper + Span::Start(f);
    std::uint32_t length = Span::Length(f);
    std::uint64_t w[kWords] = {};
    for (std::uint32_t i = 0; i < kWords * 4; ++i) {
        std::uint64_t c = i < length ? text[i] : 0;
        w[i / 4] = (w[i / 4] << 16) | c;
    }
    char* raw = reinterpret_cast<char*>(&f);
    std::memcpy(raw + kGroupFieldsOffset, w, 24);
    if constexpr (kWords == 4)
        std::memcpy(raw + kClassFieldsOffset, &w[3], 8);
}

template <typename Span>
TSpanKey<Span::kWords> LoadKey(const TScanFileItem& f) {
    TSpanKey<Span::kWords> key;
    const char* raw = reinterpret_cast<const char*>(&f);
    std::memcpy(key.w, raw + kGroupFieldsOffset, 24);
    if constexpr (Span::kWords == 4)
        std::memcpy(&key.w[3], raw + kClassFieldsOffset, 8);
    key.start = Span::Start(f);
    key.length = Span::Length(f);
    return key;
}

// Code-unit order of the upper-cased spans; a prefix sorts first.
template <int Words>
int CompareKeys(const char16_t* upper, const TSpanKey<Words>& a, const TSpanKey<Words>& b) {
    for (int w = 0; w < Words; ++w) {
        if (a.w[w] != b.w[w])
            return a.w[w] < b.w[w] ? -1 : 1;
    }
    std::uint32_t common = std::min(a.length, b.length);
    if (common > TSpanKey<Words>::kChars) {
        const char16_t* ta = upper + a.start;
        const char16_t* tb = upper + b.start;
        for (std::uint32_t i = TSpanKey<Words>::kChars; i < common; ++i) {
            if (ta[i] != tb[i])
                return ta[i] < tb[i] ? -1 : 1;
        }
    }
    return Compare3(a.length, b.length);
}

// Sorts the file table by one span and numbers the classes: equal spans
// share a class, each new span takes the next number.
template <typename Span, bool kBaseClass>
void AssignClasses(TScanData& store) {
    RequireUpperPool(store);
    TRecordTable<TScanFileItem>& files = store.Files(kKey);
    const char16_t* upper = store.UpperPool().Data();
    // The borrowed fields get their proper empty values back whatever happens.
    struct TRestore {
        TRecordTable<TScanFileItem>& files;
        ~TRestore() {
            for (TScanFileItem& f : files) {
                ClearFileItemGroups(f);
                if (kBaseClass)
                    f.m_extClass = -1;
            }
        }
    } restore{files};
    for (TScanFileItem& f : files)
        StoreKey<Span>(f, upper);
    std::sort(files.begin(), files.end(), [upper](const TScanFileItem& a, const TScanFileItem& b) {
        return CompareKeys(upper, LoadKey<Span>(a), LoadKey<Span>(b)) < 0;
    });
    // Writing a class may overwrite part of that file's key, so each file is
    // compared with a copy of its predecessor's key.
    std::int32_t cls = 0;
    TSpanKey<Span::kWords> previous{};
    for (std::uint32_t i = 0; i < files.Count(); ++i) {
        TSpanKey<Span::kWords> key = LoadKey<Span>(files[i]);
        if (i > 0 && CompareKeys(upper, previous, key) != 0)
            ++cls;
        previous = key;
        if (kBaseClass)
            files[i].m_baseClass = cls;
        else
            files[i].m_extClass = cls;
    }
}

// ---- File-table sort keys ----

bool LessByName(const TScanFileItem& a, const TScanFileItem& b) {
    if (a.m_removed != b.m_removed)
        return a.m_removed < b.m_removed;
    if (a.m_baseClass != b.m_baseClass)
        return a.m_baseClass < b.m_baseClass;
    if (a.m_extClass != b.m_extClass)
        return a.m_extClass < b.m_extClass;
    if (a.m_lastWrite != b.m_lastWrite)
        return a.m_lastWrite < b.m_lastWrite;
    if (a.m_size != b.m_size)
        return a.m_size < b.m_size;
    if (a.m_folder != b.m_folder)
        return a.m_folder < b.m_folder;
    return a.m_namePos < b.m_namePos;
}

bool LessBySize(const TScanFileItem& a, const TScanFileItem& b) {
    if (a.m_removed != b.m_removed)
        return a.m_removed < b.m_removed;
    if (a.m_size != b.m_size)
        return a.m_size < b.m_size;
    if (a.m_lastWrite != b.m_lastWrite)
        return a.m_lastWrite < b.m_lastWrite;
    if (a.m_baseClass != b.m_baseClass)
        return a.m_baseClass < b.m_baseClass;
    if (a.m_extClass != b.m_extClass)
        return a.m_extClass < b.m_extClass;
    if (a.m_folder != b.m_folder)
        return a.m_folder < b.m_folder;
    return a.m_namePos < b.m_namePos;
}

bool LessByNameSize(const TScanFileItem& a, const TScanFileItem& b) {
    if (a.m_removed != b.m_removed)
        return a.m_removed < b.m_removed;
    bool bothA = a.m_nameGroup >= 0 && a.m_sizeGroup >= 0;
    bool bothB = b.m_nameGroup >= 0 && b.m_sizeGroup >= 0;
    if (bothA != bothB)
        return bothA;
    if (a.m_nameGroup != b.m_nameGroup)
        return a.m_nameGroup < b.m_nameGroup;
    if (a.m_sizeGroup != b.m_sizeGroup)
        return a.m_sizeGroup < b.m_sizeGroup;
    if (a.m_folder != b.m_folder)
        return a.m_folder < b.m_folder;
    return a.m_namePos < b.m_namePos;
}

bool LessByContent(const TScanFileItem& a, const TScanFileItem& b) {
    if (a.m_removed != b.m_removed)
        return a.m_removed < b.m_removed;
    if (a.m_contentGroup != b.m_contentGroup)
        return a.m_contentGroup < b.m_contentGroup;
    return a.m_namePos < b.m_namePos;
}

// ---- Row order ----

// The chain of a row sort key for two files of one group.
template <int Key>
int CompareChain(const TScanFileItem& a, const TScanFileItem& b, std::uint8_t markBit) {
    int c = 0;
    auto base = [&] { return Compare3(a.m_baseClass, b.m_baseClass); };
    auto ext = [&] { return Compare3(a.m_extClass, b.m_extClass); };
    auto folder = [&] { return Compare3(a.m_folder, b.m_folder); };
    auto time = [&] { return Compare3(a.m_lastWrite, b.m_lastWrite); };
    auto size = [&] { return Compare3(a.m_size, b.m_size); };
    if constexpr (Key == kRowKeyExtension) {
        ((c = ext()) || (c = base()) || (c = folder()) || (c = time()) || (c = size()));
    } else if constexpr (Key == kRowKeySize) {
        ((c = size()) || (c = base()) || (c = ext()) || (c = folder()) || (c = time()));
    } else if constexpr (Key == kRowKeyDate) {
        ((c = time()) || (c = base()) || (c = ext()) || (c = size()));
    } else if constexpr (Key == kRowKeyPath) {
        ((c = folder()) || (c = ext()) || (c = base()) || (c = time()) || (c = size()));
    } else if constexpr (Key == kRowKeyFolder) {
        ((c = folder()) || (c = base()) || (c = ext()));
    } else if constexpr (Key == kRowKeyMark) {
        bool ma = (a.m_marks & markBit) != 0;
        bool mb = (b.m_marks & markBit) != 0;
        c = ma == mb ? 0 : (ma ? -1 : 1);
        (c || (c = ext()) || (c = base()) || (c = folder()) || (c = time()));
    } else {
        ((c = base()) || (c = ext()) || (c = folder()) || (c = time()) || (c = size()));
    }
    if (c == 0)
        c = Compare3(a.m_namePos, b.m_namePos);
    return c;
}

template <int Key>
void SortRowsBy(TScanData& store, TViewKind view, bool ascending) {
    TRecordTable<TViewRowItem>& rows = store.Rows(kKey, view);
    const TScanFileItem* files = store.Files().Data();
    std::uint8_t bit = ViewMarkBit(view);
    std::sort(rows.begin(), rows.end(), [=](const TViewRowItem& a, const TViewRowItem& b) {
        if (a.m_group != b.m_group)
            return a.m_group < b.m_group;
        if (a.m_file < 0 || b.m_file < 0)
            return a.m_file < 0 && b.m_file >= 0;
        int c = CompareChain<Key>(files[a.m_file], files[b.m_file], bit);
        return ascending ? c < 0 : c > 0;
    });
}

// Rows laid out as the views keep them (groups by ascending index, each a
// header followed by its files) are sorted one group at a time, which keeps
// each sort small and its file records close together. Returns false, having
// changed nothing, when the rows are not laid out that way.
template <int Key>
bool SortSegmentsBy(TScanData& store, TViewKind view, bool ascending) {
    TRecordTable<TViewRowItem>& rows = store.Rows(kKey, view);
    std::int32_t group = -1;
    for (const TViewRowItem& row : rows) {
        if (row.m_file < 0 ? row.m_group != group + 1 : row.m_group != group)
            return false;
        group = row.m_group;
    }
    const TScanFileItem* files = store.Files().Data();
    std::uint8_t bit = ViewMarkBit(view);
    auto less = [=](const TViewRowItem& a, const TViewRowItem& b) {
        int c = CompareChain<Key>(files[a.m_file], files[b.m_file], bit);
        return ascending ? c < 0 : c > 0;
    };
    TViewRowItem* data = rows.Data();
    std::uint32_t n = rows.Count();
    std::uint32_t begin = 0;
    for (std::uint32_t i = 0; i <= n; ++i) {
        if (i == n || data[i].m_file < 0) {
            if (i > begin + 1)
                std::sort(data + begin, data + i, less);
            begin = i + 1;
        }
    }
    return true;
}

template <int Key>
void SortRowsByKey(TScanData& store, TViewKind view, bool ascending) {
    if (!SortSegmentsBy<Key>(store, view, ascending))
        SortRowsBy<Key>(store, view, ascending);
}

// ---- Groups ----

void BuildNameLikeGroups(TScanData& store, TViewKind view) {
    // Same name groups when view is Same name, else Same name-size groups.
    store.ResetView(view);
    TRecordTable<TScanFileItem>& files = store.Files(kKey);
    TViewCounters& counters = store.Counters(kKey, view);
    std::uint8_t bit = ViewMarkBit(view);
    bool byName = view == kViewSameName;
    for (TScanFileItem& f : files) {
        if (byName)
            f.m_nameGroup = -1;
        else
            f.m_nameSizeGroup = -1;
    }
    SortFiles(store, byName ? TFileSortKey::Name : TFileSortKey::NameSize);

    bool previousTogether = false;
    for (std::uint32_t i = 1; i < files.Count(); ++i) {
        TScanFileItem& p = files[i - 1];
        TScanFileItem& q = files[i];
        bool together;
        if (byName) {
            // Unset classes (a failed naming step) never make files equal.
            together = !p.m_removed && !q.m_removed && p.m_baseClass >= 0 && p.m_extClass >= 0 &&
                       p.m_baseClass == q.m_baseClass && p.m_extClass == q.m_extClass;
        } else {
            together = !p.m_removed && !q.m_removed && p.m_nameGroup >= 0 &&
                       p.m_nameGroup == q.m_nameGroup && p.m_sizeGroup >= 0 &&
                       p.m_sizeGroup == q.m_sizeGroup;
        }
        if (!together) {
            previousTogether = false;
            continue;
        }
        if (byName) {
            TRecordTable<TNameGroupItem>& groups = store.NameGroups(kKey);
            if (!previousTogether) {
                TNameGroupItem g = NewGroup<TNameGroupItem>();
                g.m_namePos = p.m_namePos;
                g.m_extPos = p.m_extPos;
                g.m_nameLength = p.m_nameLength;
                Check(groups.Append(g));
                std::int32_t index = static_cast<std::int32_t>(groups.Count() - 1);
                TNameGroupItem& ng = groups[groups.Count() - 1];
                ng.m_head.m_fileCount = 1;
                ng.m_totalBytes = p.m_size;
                p.m_nameGroup = index;
                CountMember(ng, p, bit, counters);
            }
            TNameGroupItem& ng = groups[groups.Count() - 1];
            ++ng.m_head.m_fileCount;
            ng.m_totalBytes += q.m_size;
            q.m_nameGroup = p.m_nameGroup;
            CountMember(ng, q, bit, counters);
        } else {
            TRecordTable<TNameSizeGroupItem>& groups = store.NameSizeGroups(kKey);
            if (!previousTogether) {
                TNameSizeGroupItem g = NewGroup<TNameSizeGroupItem>();
                g.m_namePos = p.m_namePos;
                g.m_extPos = p.m_extPos;
                g.m_nameLength = p.m_nameLength;
                g.m_size = p.m_size;
                Check(groups.Append(g));
                std::int32_t index = static_cast<std::int32_t>(groups.Count() - 1);
                TNameSizeGroupItem& ng = groups[groups.Count() - 1];
                ng.m_head.m_fileCount = 1;
                ng.m_totalBytes = p.m_size;
                p.m_nameSizeGroup = index;
                CountMember(ng, p, bit, counters);
            }
            TNameSizeGroupItem& ng = groups[groups.Count() - 1];
            ++ng.m_head.m_fileCount;
            ng.m_totalBytes += q.m_size;
            q.m_nameSizeGroup = p.m_nameSizeGroup;
            CountMember(ng, q, bit, counters);
        }
        previousTogether = true;
    }
}

// Appends a Same size or Same content group holding p, or adds q to the
// group p is in. Returns the group's index.
std::int32_t JoinSizeGroup(TRecordTable<TSizeGroupItem>& groups, TScanFileItem& p, bool createWithP,
                           const TScanFileItem& q, std::uint8_t bit, TViewCounters& counters) {
    if (createWithP) {
        TSizeGroupItem g = NewGroup<TSizeGroupItem>();
        g.m_size = p.m_size;
        g.m_head.m_fileCount = 1;
        g.m_totalBytes = p.m_size;
        Check(groups.Append(g));
        CountMember(groups[groups.Count() - 1], p, bit, counters);
    }
    TSizeGroupItem& g = groups[groups.Count() - 1];
    ++g.m_head.m_fileCount;
    g.m_totalBytes += q.m_size;
    CountMember(g, q, bit, counters);
    return static_cast<std::int32_t>(groups.Count() - 1);
}

// Step 3 of a re-index: flags files that no view will show and cuts every
// flagged file off the end of the table.
void DropRemovedFiles(TScanData& store) {
    TRecordTable<TScanFileItem>& files = store.Files(kKey);
    std::uint32_t dropped = 0;
    for (TScanFileItem& f : files) {
        if (!f.m_removed && f.m_nameGroup < 0 && f.m_sizeGroup < 0 && !f.m_zeroSize)
            f.m_removed = 1;
        if (f.m_removed)
            ++dropped;
    }
    store.SetDroppedAtReindex(dropped);
    if (dropped == 0)
        return;
    // A sort by the removed flag alone: a partition does it in one pass.
    std::partition(files.begin(), files.end(),
                   [](const TScanFileItem& f) { return f.m_removed == 0; });
    files.Truncate(files.Count() - dropped);
}

// Rebuilds the Same content groups from the files' previous content groups,
// then the content order, rows and the Full clones view.
void RebuildContentView(TScanData& store) {
    TRecordTable<TScanFileItem>& files = store.Files(kKey);
    SortFiles(store, TFileSortKey::Content);
    // The old groups numbers stay in the files until each is overwritten.
    store.ResetView(kViewSameContent);
    TRecordTable<TSizeGroupItem>& groups = store.ContentGroups(kKey);
    TViewCounters& counters = store.Counters(kKey, kViewSameContent);
    std::uint8_t bit = ViewMarkBit(kViewSameContent);
    std::int32_t previousOld = -1;
    bool previousJoined = false;
    for (std::uint32_t i = 0; i < files.Count(); ++i) {
        TScanFileItem& q = files[i];
        std::int32_t old = q.m_contentGroup;
        q.m_contentGroup = -1;
        if (i > 0 && old >= 0 && old == previousOld && !q.m_removed) {
            TScanFileItem& p = files[i - 1];
            std::int32_t g = JoinSizeGroup(groups, p, !previousJoined, q, bit, counters);
            p.m_contentGroup = g;
            q.m_contentGroup = g;
            previousJoined = true;
        } else {
            previousJoined = false;
        }
        previousOld = old;
    }
    BuildOrderTable(store, kViewSameContent);
    BuildRows(store, kViewSameContent);
    BuildFullClones(store);
}

// ---- Steps ----

using TStepFn = void (*)(TScanData&);

struct TStep {
    const char16_t* name;
    int progressPhase;
    TStepFn work;
};

void StepUpperPool(TScanData& s) {
    MakeUpperPool(s);
}
void StepFolders(TScanData& s) {
    SortFolders(s);
}
void StepBaseNames(TScanData& s) {
    double start = NowDateTime();
    AssignBaseNameClasses(s);
    s.m_durationBaseNames = NowDateTime() - start;
}
void StepExtensions(TScanData& s) {
    double start = NowDateTime();
    AssignExtensionClasses(s);
    s.m_durationExtensions = NowDateTime() - start;
}
void StepSizeGroups(TScanData& s) {
    BuildSizeGroups(s);
    BuildOrderTable(s, kViewSameSize);
}
void StepNameGroups(TScanData& s) {
    BuildNameGroups(s);
    BuildOrderTable(s, kViewSameName);
}
void StepNameSizeGroups(TScanData& s) {
    BuildNameSizeGroups(s);
    BuildOrderTable(s, kViewSameNameSize);
}
void StepNameRows(TScanData& s) {
    BuildRows(s, kViewSameName);
}
void StepSizeRows(TScanData& s) {
    BuildRows(s, kViewSameSize);
}
void StepNameSizeRows(TScanData& s) {
    BuildRows(s, kViewSameNameSize);
}
void StepZeroSize(TScanData& s) {
    BuildZeroSizeView(s);
    ComputeTotals(s);
}

const TStep kSteps[kGroupingStepCount] = {
    {u"DoScanning: PreparelstNameUpper", kPhasePreparingTables, StepUpperPool},
    {u"DoScanning: PrepareSortlstFolders", kPhasePreparingTables, StepFolders},
    {u"DoScanning: PrepareFileNamesA", kPhasePreparingTables, StepBaseNames},
    {u"DoScanning: PrepareFileNamesB", kPhasePreparingTables, StepExtensions},
    {u"DoScanning: PrepareIndexA", kPhaseIndexing, StepSizeGroups},
    {u"DoScanning: PrepareIndexB", kPhaseIndexing, StepNameGroups},
    {u"DoScanning: PrepareIndexC", kPhaseIndexing, StepNameSizeGroups},
    {u"DoScanning: PrepareIndexD", kPhaseIndexing, StepNameRows},
    {u"DoScanning: PrepareIndexE", kPhaseIndexing, StepSizeRows},
    {u"DoScanning: PrepareIndexF", kPhaseIndexing, StepNameSizeRows},
    {u"DoScanning: PrepareIndexG", kPhaseIndexing, StepZeroSize},
};

// Runs work; an exception is written to the error file under name.
template <typename Fn>
void Guarded(std::u16string_view name, Fn&& work) {
    try {
        work();
    } catch (...) {
        AddErrorEntry(name);
    }
}

} // namespace

// ---- Public building blocks ----

void SortFiles(TScanData& store, TFileSortKey key) {
    TRecordTable<TScanFileItem>& files = store.Files(kKey);
    switch (key) {
    case TFileSortKey::Name:
        std::sort(files.begin(), files.end(), LessByName);
        break;
    case TFileSortKey::Size:
        std::sort(files.begin(), files.end(), LessBySize);
        break;
    case TFileSortKey::NameSize:
        std::sort(files.begin(), files.end(), LessByNameSize);
        break;
    case TFileSortKey::Content:
        std::sort(files.begin(), files.end(), LessByContent);
        break;
    }
}

void MakeUpperPool(TScanData& store) {
    Check(store.UpperPool(kKey).MakeUpperCopyOf(store.Pool()));
}

int CompareFolderPaths(const TScanData& store, std::uint32_t a, std::uint32_t b) {
    return ComparePathRecords(store.UpperPool().Data(), store.Pool().Data(), store.Folder(a),
                              store.Folder(b));
}

void SortFolders(TScanData& store) {
    RequireUpperPool(store);
    TRecordTable<TScanFolderItem>& folders = store.Folders(kKey);
    std::uint32_t n = folders.Count();
    for (std::uint32_t i = 0; i < n; ++i)
        folders[i].m_discoveryIndex = i;
    const char16_t* upper = store.UpperPool().Data();
    const char16_t* exact = store.Pool().Data();
    std::sort(folders.begin(), folders.end(),
              [upper, exact](const TScanFolderItem& a, const TScanFolderItem& b) {
                  int c = ComparePathRecords(upper, exact, a, b);
                  // The same folder listed twice (a search path given twice).
                  return c != 0 ? c < 0 : a.m_discoveryIndex < b.m_discoveryIndex;
              });

    std::vector<std::uint32_t> newIndex(n);
    for (std::uint32_t i = 0; i < n; ++i)
        newIndex[folders[i].m_discoveryIndex] = i;
    for (TScanFolderItem& f : folders) {
        if (f.m_parent < n)
            f.m_parent = newIndex[f.m_parent];
    }
    for (TScanFileItem& f : store.Files(kKey)) {
        if (f.m_folder < n)
            f.m_folder = newIndex[f.m_folder];
    }
}

void AssignBaseNameClasses(TScanData& store) {
    AssignClasses<TBaseSpan, true>(store);
}

void AssignExtensionClasses(TScanData& store) {
    AssignClasses<TExtSpan, false>(store);
}

void BuildSizeGroups(TScanData& store) {
    store.ResetView(kViewSameSize);
    TRecordTable<TScanFileItem>& files = store.Files(kKey);
    TRecordTable<TSizeGroupItem>& groups = store.SizeGroups(kKey);
    TViewCounters& counters = store.Counters(kKey, kViewSameSize);
    std::uint8_t bit = ViewMarkBit(kViewSameSize);
    SortFiles(store, TFileSortKey::Size);
    for (TScanFileItem& f : files) {
        f.m_sizeGroup = -1;
        f.m_zeroSize = f.m_size == 0 ? 1 : 0;
    }
    for (std::uint32_t i = 1; i < files.Count(); ++i) {
        TScanFileItem& p = files[i - 1];
        TScanFileItem& q = files[i];
        if (p.m_removed || q.m_removed || p.m_size == 0 || p.m_size != q.m_size)
            continue;
        // Sizes arrive sorted, so the last group is the only one q can join.
        bool create = groups.Empty() || groups[groups.Count() - 1].m_size != p.m_size;
        std::int32_t g = JoinSizeGroup(groups, p, create, q, bit, counters);
        p.m_sizeGroup = g;
        q.m_sizeGroup = g;
    }
}

void BuildNameGroups(TScanData& store) {
    BuildNameLikeGroups(store, kViewSameName);
}

void BuildNameSizeGroups(TScanData& store) {
    BuildNameLikeGroups(store, kViewSameNameSize);
}

void BuildOrderTable(TScanData& store, TViewKind view) {
    std::uint32_t n = store.GroupCount(view);
    TRecordTable<std::int32_t>& order = store.Order(kKey, view);
    Check(order.ResizeExact(n));
    for (std::uint32_t i = 0; i < n; ++i) {
        order[i] = static_cast<std::int32_t>(i);
        store.GroupHead(kKey, view, i).m_navPosition = static_cast<std::int32_t>(i);
    }
}

void BuildRows(TScanData& store, TViewKind view) {
    view = NormalizeViewKind(view);
    const TRecordTable<TScanFileItem>& files = store.Files();
    std::uint32_t fileRows = 0;
    for (const TScanFileItem& f : files)
        fileRows += FileItemGroup(f, view) >= 0 ? 1 : 0;
    std::uint32_t groupCount = store.GroupCount(view);
    TRecordTable<TViewRowItem>& rows = store.Rows(kKey, view);
    Check(rows.ResizeExact(fileRows + groupCount));
    store.Counters(kKey, view).m_fileRows = fileRows;

    // Each group gets a segment sized by its file count: its header, then
    // its files in file-table order. This is the order a sort by group would
    // give, reached in one pass; only the files within each group are sorted.
    std::vector<std::uint32_t> cursor(groupCount);
    std::vector<std::uint32_t> limit(groupCount);
    std::uint32_t position = 0;
    for (std::uint32_t g = 0; g < groupCount; ++g) {
        rows[position] = TViewRowItem{-1, static_cast<std::int32_t>(g)};
        cursor[g] = position + 1;
        position += 1 + store.GroupHead(view, g).m_fileCount;
        limit[g] = position;
    }
    bool consistent = position == fileRows + groupCount;
    for (std::uint32_t i = 0; consistent && i < files.Count(); ++i) {
        std::int32_t g = FileItemGroup(files[i], view);
        if (g < 0)
            continue;
        std::uint32_t ug = static_cast<std::uint32_t>(g);
        if (ug >= groupCount || cursor[ug] >= limit[ug]) {
            consistent = false;
            break;
        }
        rows[cursor[ug]++] = TViewRowItem{static_cast<std::int32_t>(i), g};
    }
    if (!consistent) {
        // Group counts that disagree with the files (a step failed half way):
        // list the rows plainly and let the full sort order them.
        std::uint32_t r = 0;
        for (std::uint32_t i = 0; i < files.Count() && r < rows.Count(); ++i) {
            std::int32_t g = FileItemGroup(files[i], view);
            if (g >= 0)
                rows[r++] = TViewRowItem{static_cast<std::int32_t>(i), g};
        }
        for (std::uint32_t g = 0; g < groupCount && r < rows.Count(); ++g)
            rows[r++] = TViewRowItem{-1, static_cast<std::int32_t>(g)};
    }
    SortViewRows(store, view, kRowKeyName, true);
}

void SortViewRows(TScanData& store, TViewKind view, int key, bool ascending) {
    view = NormalizeViewKind(view);
    switch (key) {
    case kRowKeyExtension:
        SortRowsByKey<kRowKeyExtension>(store, view, ascending);
        break;
    case kRowKeySize:
        SortRowsByKey<kRowKeySize>(store, view, ascending);
        break;
    case kRowKeyDate:
    case kRowKeyGroup:
        SortRowsByKey<kRowKeyDate>(store, view, ascending);
        break;
    case kRowKeyPath:
        SortRowsByKey<kRowKeyPath>(store, view, ascending);
        break;
    case kRowKeyFolder:
        SortRowsByKey<kRowKeyFolder>(store, view, ascending);
        break;
    case kRowKeyMark:
        SortRowsByKey<kRowKeyMark>(store, view, ascending);
        break;
    default:
        SortRowsByKey<kRowKeyName>(store, view, ascending);
        break;
    }
    RefreshHeaderRows(store, view);
}

void RefreshHeaderRows(TScanData& store, TViewKind view) {
    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    std::uint32_t groupCount = store.GroupCount(view);
    for (std::uint32_t i = 0; i < rows.Count(); ++i) {
        const TViewRowItem& row = rows[i];
        if (row.m_file < 0 && row.m_group >= 0 &&
            static_cast<std::uint32_t>(row.m_group) < groupCount)
            store.GroupHead(kKey, view, static_cast<std::uint32_t>(row.m_group)).m_headerRow =
                static_cast<std::int32_t>(i + 1);
    }
}

void BuildZeroSizeView(TScanData& store) {
    store.ResetView(kViewZeroSize);
    TRecordTable<TScanFileItem>& files = store.Files(kKey);
    std::uint32_t zeroFiles = 0;
    for (TScanFileItem& f : files) {
        f.m_zeroGroup = -1;
        if (f.m_zeroSize && !f.m_removed)
            ++zeroFiles;
    }
    TRecordTable<TViewRowItem>& rows = store.Rows(kKey, kViewZeroSize);
    Check(rows.ResizeExact(zeroFiles));
    std::uint32_t r = 0;
    for (std::uint32_t i = 0; i < files.Count(); ++i) {
        if (files[i].m_zeroSize && !files[i].m_removed)
            rows[r++] = TViewRowItem{static_cast<std::int32_t>(i), -1};
    }
    // Every row still has group -1, so this orders them by folder and name.
    SortRowsBy<kRowKeyFolder>(store, kViewZeroSize, true);

    TRecordTable<TFolderGroupItem>& groups = store.FolderGroups(kKey);
    TViewCounters& counters = store.Counters(kKey, kViewZeroSize);
    std::uint8_t bit = ViewMarkBit(kViewZeroSize);
    for (std::uint32_t i = 0; i < zeroFiles; ++i) {
        TScanFileItem& f = files[static_cast<std::uint32_t>(rows[i].m_file)];
        if (groups.Empty() || groups[groups.Count() - 1].m_folder != f.m_folder) {
            TFolderGroupItem g = NewGroup<TFolderGroupItem>();
            g.m_folder = f.m_folder;
            Check(groups.Append(g));
        }
        TFolderGroupItem& g = groups[groups.Count() - 1];
        ++g.m_head.m_fileCount;
        f.m_zeroGroup = static_cast<std::int32_t>(groups.Count() - 1);
        CountMember(g, f, bit, counters);
    }
    std::uint32_t groupCount = groups.Count();
    Check(rows.ResizeExact(zeroFiles + groupCount));
    for (std::uint32_t i = 0; i < zeroFiles; ++i)
        rows[i].m_group = files[static_cast<std::uint32_t>(rows[i].m_file)].m_zeroGroup;
    for (std::uint32_t g = 0; g < groupCount; ++g)
        rows[zeroFiles + g] = TViewRowItem{-1, static_cast<std::int32_t>(g)};
    BuildOrderTable(store, kViewZeroSize);
    counters.m_fileRows = zeroFiles;
    SortViewRows(store, kViewZeroSize, kRowKeyName, true);
    store.SetZeroSizeFiles(zeroFiles);
}

void ComputeTotals(TScanData& store) {
    for (int slot = 0; slot < kViewCount; ++slot) {
        TViewKind view = ViewOfSlot(slot);
        TViewCounters& counters = store.Counters(kKey, view);
        counters.m_groupFiles = 0;
        counters.m_groupBytes = 0;
        std::uint32_t n = store.GroupCount(view);
        for (std::uint32_t g = 0; g < n; ++g) {
            counters.m_groupFiles += store.GroupHead(view, g).m_fileCount;
            counters.m_groupBytes += store.GroupTotalBytes(view, g);
        }
    }
    std::uint32_t zeroFiles = 0;
    for (const TScanFileItem& f : store.Files())
        zeroFiles += (f.m_zeroSize && !f.m_removed) ? 1 : 0;
    store.SetZeroSizeFiles(zeroFiles);
}

void BuildFullClones(TScanData& store) {
    store.ResetView(kViewFullClones);
    TRecordTable<TScanFileItem>& files = store.Files(kKey);
    for (TScanFileItem& f : files)
        f.m_cloneGroup = -1;
    TRecordTable<TViewRowItem>& rows = store.Rows(kKey, kViewSameContent);
    const TScanFileItem* data = files.Data();
    // File rows first, those with a Same name group before the others, then
    // by name group and content group: equal pairs end up adjacent.
    std::sort(rows.begin(), rows.end(), [data](const TViewRowItem& a, const TViewRowItem& b) {
        if ((a.m_file < 0) != (b.m_file < 0))
            return a.m_file >= 0;
        if (a.m_file < 0)
            return a.m_group < b.m_group;
        const TScanFileItem& fa = data[a.m_file];
        const TScanFileItem& fb = data[b.m_file];
        bool bothA = fa.m_nameGroup >= 0 && fa.m_contentGroup >= 0;
        bool bothB = fb.m_nameGroup >= 0 && fb.m_contentGroup >= 0;
        if (bothA != bothB)
            return bothA;
        if (fa.m_nameGroup != fb.m_nameGroup)
            return fa.m_nameGroup < fb.m_nameGroup;
        if (fa.m_contentGroup != fb.m_contentGroup)
            return fa.m_contentGroup < fb.m_contentGroup;
        return fa.m_namePos < fb.m_namePos;
    });
    TRecordTable<TNameSizeGroupItem>& groups = store.CloneGroups(kKey);
    TViewCounters& counters = store.Counters(kKey, kViewFullClones);
    std::uint8_t bit = ViewMarkBit(kViewFullClones);
    bool previousTogether = false;
    for (std::uint32_t i = 1; i < rows.Count() && rows[i].m_file >= 0; ++i) {
        TScanFileItem& p = files[static_cast<std::uint32_t>(rows[i - 1].m_file)];
        TScanFileItem& q = files[static_cast<std::uint32_t>(rows[i].m_file)];
        bool together = p.m_nameGroup >= 0 && p.m_nameGroup == q.m_nameGroup &&
                        p.m_contentGroup >= 0 && p.m_contentGroup == q.m_contentGroup;
        if (!together) {
            previousTogether = false;
            continue;
        }
        if (!previousTogether) {
            TNameSizeGroupItem g = NewGroup<TNameSizeGroupItem>();
            g.m_namePos = p.m_namePos;
            g.m_extPos = p.m_extPos;
            g.m_nameLength = p.m_nameLength;
            g.m_size = p.m_size;
            g.m_head.m_fileCount = 1;
            g.m_totalBytes = p.m_size;
            Check(groups.Append(g));
            p.m_cloneGroup = static_cast<std::int32_t>(groups.Count() - 1);
            CountMember(groups[groups.Count() - 1], p, bit, counters);
        }
        TNameSizeGroupItem& g = groups[groups.Count() - 1];
        ++g.m_head.m_fileCount;
        g.m_totalBytes += q.m_size;
        q.m_cloneGroup = p.m_cloneGroup;
        CountMember(g, q, bit, counters);
        previousTogether = true;
    }
    SortViewRows(store, kViewSameContent, kRowKeyName, true);
    BuildOrderTable(store, kViewFullClones);
    BuildRows(store, kViewFullClones);
}

// ---- Sequences ----

std::u16string_view GroupingStepName(int step) {
    if (step < 1 || step > kGroupingStepCount)
        return {};
    return kSteps[step - 1].name;
}

bool RunGrouping(TScanData& store, TGroupingControl* control) {
    for (int i = 0; i < kGroupingStepCount; ++i) {
        const TStep& step = kSteps[i];
        if (control != nullptr && !control->Continue(step.progressPhase))
            return false;
        Guarded(step.name, [&] {
            if (control != nullptr)
                control->EnterStep(i + 1);
            step.work(store);
        });
    }
    if (control != nullptr)
        control->Continue(kPhaseScanCompleted);
    return true;
}

// The store's own entry point; lives here so the store unit does not depend
// on the grouping.
void TScanData::ReindexAfterRemovals() {
    vdx::ReindexAfterRemovals(*this);
}

void ReindexAfterRemovals(TScanData& store) {
    Guarded(u"Reindex: reset views", [&] {
        store.ResetView(kViewSameName);
        store.ResetView(kViewSameSize);
        store.ResetView(kViewZeroSize);
        store.ResetView(kViewSameNameSize);
    });
    Guarded(u"Reindex: name and size groups", [&] {
        BuildNameGroups(store);
        BuildSizeGroups(store);
    });
    Guarded(u"Reindex: drop removed files", [&] { DropRemovedFiles(store); });
    Guarded(u"Reindex: name-size groups", [&] {
        BuildOrderTable(store, kViewSameName);
        BuildOrderTable(store, kViewSameSize);
        BuildNameSizeGroups(store);
        BuildOrderTable(store, kViewSameNameSize);
    });
    Guarded(u"Reindex: content views", [&] {
        if (store.Status().m_contentDone && !store.ContentGroups().Empty())
            RebuildContentView(store);
        else
            store.ClearContentResults();
    });
    Guarded(u"Reindex: rows and totals", [&] {
        BuildRows(store, kViewSameName);
        BuildRows(store, kViewSameSize);
        BuildRows(store, kViewSameNameSize);
        BuildZeroSizeView(store);
        ComputeTotals(store);
    });
}

} // namespace vdx
