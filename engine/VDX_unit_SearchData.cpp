#include "engine/VDX_unit_SearchData.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <span>

#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

constexpr std::u16string_view kYes = u"Yes";
constexpr std::u16string_view kNo = u"No";
constexpr std::u16string_view kNone = u"-";

std::u16string Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::u16string Concat(std::initializer_list<std::u16string_view> parts) {
    std::u16string result;
    for (std::u16string_view part : parts) {
        result += part;
    }
    return result;
}

std::u16string SizeCellText(const TFileFilter& filter) {
    if (!filter.FLT_bUseSize) {
        return std::u16string(kNone);
    }
    const std::u16string textA = SizeText(filter.FLT_SizeA, filter.FLT_SizeDegreeA);
    const std::u16string textB = SizeText(filter.FLT_SizeB, filter.FLT_SizeDegreeB);
    // Two-bound conditions name the smaller byte value first, whatever order
    // the user entered them in.
    const bool aFirst = filter.SizeABytes() <= filter.SizeBBytes();
    const std::u16string& smaller = aFirst ? textA : textB;
    const std::u16string& larger = aFirst ? textB : textA;
    switch (filter.FLT_SizePos) {
    case kSizeMoreThanA:
        return Concat({u"more than ", textA});
    case kSizeLessThanA:
        return Concat({u"less than ", textA});
    case kSizeBetween:
        return Concat({u"more ", smaller, u", less ", larger});
    case kSizeBeyond:
        return Concat({u"less ", smaller, u", more ", larger});
    default:
        // An unknown condition tests nothing (see TFilterExtProcessor::Passes).
        return std::u16string(kNone);
    }
}

std::u16string AttrCellText(const TFileFilter& filter) {
    if (!filter.FLT_bUseAttr) {
        return std::u16string(kNone);
    }
    const std::u16string include = AttributeText(filter.FLT_Attr_IncMask);
    const std::u16string exclude = AttributeText(filter.FLT_Attr_ExcMask);
    if (!include.empty() && !exclude.empty()) {
        return Concat({include, u" (", exclude, u")"});
    }
    if (!include.empty()) {
        return include;
    }
    if (!exclude.empty()) {
        return Concat({u"(", exclude, u")"});
    }
    return std::u16string(kNone);
}

} // namespace

std::u16string_view SetColumnCaption(int columnId) {
    switch (columnId) {
    case kColSearchPath:
        return kCaptionSearchPath;
    case kColIncludeMask:
        return kCaptionIncludeMask;
    case kColExcludeMask:
        return kCaptionExcludeMask;
    case kColSizeFilter:
        return kCaptionSizeFilter;
    case kColDateFilter:
        return kCaptionDateFilter;
    case kColAttrFilter:
        return kCaptionAttrFilter;
    case kColExcludedPaths:
        return kCaptionExcludedPaths;
    case kColSubFolders:
        return kCaptionSubFolders;
    default:
        return {};
    }
}

std::int64_t SizeInBytes(std::int32_t value, std::int32_t degree) {
    const std::int64_t wide = value;
    switch (degree) {
    case kDegreeKb:
        return wide * (std::int64_t{1} << 10);
    case kDegreeMb:
        return wide * (std::int64_t{1} << 20);
    case kDegreeGb:
        return wide * (std::int64_t{1} << 30);
    default:
        return wide;
    }
}

std::u16string SizeText(std::int32_t value, std::int32_t degree) {
    std::u16string_view unit = u"bytes";
    switch (degree) {
    case kDegreeKb:
        unit = u"Kb";
        break;
    case kDegreeMb:
        unit = u"Mb";
        break;
    case kDegreeGb:
        unit = u"Gb";
        break;
    default:
        break;
    }
    return Concat({Ascii(std::to_string(value)), u" ", unit});
}

std::u16string AttributeText(std::uint32_t attributes) {
    std::u16string text;
    if (attributes & kAttrArchive) {
        text += u'A';
    }
    if (attributes & kAttrReadOnly) {
        text += u'R';
    }
    if (attributes & kAttrHidden) {
        text += u'H';
    }
    if (attributes & kAttrSystem) {
        text += u'S';
    }
    return text;
}

// ---------------------------------------------------------------------------
// TFileFilter

TFileFilter::TFileFilter() {
    const double now = NowDateTime();
    FLT_DateTimeA = now;
    FLT_DateTimeB = now;
}

bool TFileFilter::SizesSwapped() const {
    return (FLT_SizePos == kSizeBetween || FLT_SizePos == kSizeBeyond) &&
           SizeABytes() > SizeBBytes();
}

// ---------------------------------------------------------------------------
// TFolderFilter

void TFolderFilter::Add(std::u16string_view text) {
    m_items.push_back(TStrItem{std::u16string(text)});
}

void TFolderFilter::AddOwned(std::u16string&& text) {
    m_items.push_back(TStrItem{std::move(text)});
}

void TFolderFilter::Delete(std::size_t index) {
    if (index < m_items.size()) {
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

std::u16string TFolderFilter::Text(std::size_t index) const {
    return index < m_items.size() ? m_items[index].text : std::u16string();
}

namespace {

// ExpandEnvVars cuts its result to this many characters; a shorter text
// without "%" comes back unchanged, so it need not be copied.
constexpr std::size_t kExpandLimit = 2000;

std::u16string_view TrimmedView(std::u16string_view text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && text[first] <= 32)
        ++first;
    while (last > first && text[last - 1] <= 32)
        --last;
    return text.substr(first, last - first);
}

} // namespace

void TFolderFilter::Normalize() {
    // Settings load this for every search path of every stored set, so it
    // allocates as little as it can: the identity of an entry is a view into
    // its own text unless an environment reference had to be expanded, the
    // upper-cased forms share one buffer, and a list that is already in
    // order (as the program writes it) is left as it is.
    std::erase_if(m_items, [](const TStrItem& item) { return TrimmedView(item.text).empty(); });
    const std::size_t n = m_items.size();
    if (n < 2) {
        return;
    }
    // The identity of an entry is its trimmed, expanded text, compared exactly
    // (folder names are case-sensitive). Display order is by the upper-cased
    // form; the exact form breaks ties so that equal entries end up adjacent.
    struct TKeyed {
        std::size_t index;
        std::size_t upperPos; // in upper
        std::size_t upperLen;
        std::u16string expanded; // only when the text needed expanding
        bool isExpanded;
    };
    // A handful of entries (the usual case) takes no heap memory at all.
    constexpr std::size_t kSmallCount = 8;
    constexpr std::size_t kSmallText = 1024;
    std::array<TKeyed, kSmallCount> smallKeyed;
    std::vector<TKeyed> largeKeyed;
    if (n > kSmallCount) {
        largeKeyed.resize(n);
    }
    const std::span<TKeyed> keyed =
        n > kSmallCount ? std::span<TKeyed>(largeKeyed) : std::span<TKeyed>(smallKeyed.data(), n);
    std::size_t total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::u16string& text = m_items[i].text;
        TKeyed& k = keyed[i];
        k.index = i;
        k.isExpanded = text.size() > kExpandLimit || text.find(u'%') != std::u16string::npos;
        if (k.isExpanded) {
            k.expanded = TrimText(ExpandEnvVars(text));
        }
        total += k.isExpanded ? k.expanded.size() : TrimmedView(text).size();
    }
    auto exact = [this](const TKeyed& k) -> std::u16string_view {
        return k.isExpanded ? std::u16string_view(k.expanded) : TrimmedView(m_items[k.index].text);
    };
    std::array<char16_t, kSmallText> smallUpper;
    std::u16string largeUpper;
    if (total > kSmallText) {
        largeUpper.resize(total);
    }
    char16_t* const upper = total > kSmallText ? largeUpper.data() : smallUpper.data();
    std::size_t used = 0;
    for (TKeyed& k : keyed) {
        const std::u16string_view text = exact(k);
        k.upperPos = used;
        k.upperLen = text.size();
        std::copy(text.begin(), text.end(), upper + used);
        used += text.size();
    }
    UpperCaseInPlace(upper, used);
    auto less = [&exact, upper](const TKeyed& a, const TKeyed& b) {
        const std::u16string_view ua(upper + a.upperPos, a.upperLen);
        const std::u16string_view ub(upper + b.upperPos, b.upperLen);
        const int c = ua.compare(ub);
        if (c != 0) {
            return c < 0;
        }
        return exact(a) < exact(b);
    };
    // Nearly every path has a handful of excluded folders: an insertion sort
    // (stable, like the merge sort it stands for) needs no buffer.
    constexpr std::size_t kInsertionLimit = 16;
    if (n <= kInsertionLimit) {
        for (std::size_t i = 1; i < n; ++i) {
            std::size_t j = i;
            while (j > 0 && less(keyed[i], keyed[j - 1])) {
                --j;
            }
            if (j != i) {
                std::rotate(keyed.begin() + static_cast<std::ptrdiff_t>(j),
                            keyed.begin() + static_cast<std::ptrdiff_t>(i),
                            keyed.begin() + static_cast<std::ptrdiff_t>(i + 1));
            }
        }
    } else {
        std::stable_sort(keyed.begin(), keyed.end(), less);
    }
    bool unchanged = true;
    for (std::size_t i = 0; i < n && unchanged; ++i) {
        unchanged = keyed[i].index == i && (i + 1 == n || exact(keyed[i]) != exact(keyed[i + 1]));
    }
    if (unchanged) {
        return;
    }
    TStrList kept;
    kept.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        // Of two equal neighbours the earlier one goes.
        if (i + 1 < n && exact(keyed[i]) == exact(keyed[i + 1])) {
            continue;
        }
        kept.push_back(std::move(m_items[keyed[i].index]));
    }
    m_items = std::move(kept);
}

int TFolderFilter::IndexOf(std::u16string_view text) const {
    const std::u16string wanted = ExpandEnvVars(text);
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (ExpandEnvVars(m_items[i].text) == wanted) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// ---------------------------------------------------------------------------
// TFilterExtProcessor

void TFilterExtProcessor::Prepare(const TFileFilter& filter) {
    m_dateTimeA = filter.FLT_DateTimeA;
    m_dateTimeB = filter.FLT_DateTimeB;
    m_datePos = filter.FLT_DatePos;
    m_sizeAValue = filter.FLT_SizeA;
    m_sizeBValue = filter.FLT_SizeB;
    m_sizeDegreeA = filter.FLT_SizeDegreeA;
    m_sizeDegreeB = filter.FLT_SizeDegreeB;
    m_sizePos = filter.FLT_SizePos;
    m_attrIncMask = filter.FLT_Attr_IncMask;
    m_attrExcMask = filter.FLT_Attr_ExcMask;

    m_dateA = LocalToFileTime(m_dateTimeA);
    m_dateB = LocalToFileTime(m_dateTimeB);
    if ((m_datePos == kDateBetween || m_datePos == kDateBeyond) && m_dateB < m_dateA) {
        std::swap(m_dateA, m_dateB);
    }

    m_sizeA = SizeInBytes(m_sizeAValue, m_sizeDegreeA);
    m_sizeB = SizeInBytes(m_sizeBValue, m_sizeDegreeB);
    m_sizesSwapped = (m_sizePos == kSizeBetween || m_sizePos == kSizeBeyond) && m_sizeA > m_sizeB;
    if (m_sizesSwapped) {
        std::swap(m_sizeA, m_sizeB);
    }

    m_dateOn = filter.FLT_bUseDate;
    m_sizeOn = filter.FLT_bUseSize;
    m_attrOn = filter.FLT_bUseAttr;
    m_anyOn = m_dateOn || m_sizeOn || m_attrOn;
}

bool TFilterExtProcessor::Passes(std::uint32_t attributes, TFileTime lastWrite,
                                 std::int64_t size) const {
    if (m_attrOn) {
        if ((attributes & m_attrIncMask) != m_attrIncMask || (attributes & m_attrExcMask) != 0) {
            return false;
        }
    }
    // Both bounds are inclusive. A condition number outside 0..3 (only a
    // hand-edited settings file holds one) tests nothing.
    if (m_sizeOn) {
        switch (m_sizePos) {
        case kSizeMoreThanA:
            if (size < m_sizeA) {
                return false;
            }
            break;
        case kSizeLessThanA:
            if (size > m_sizeA) {
                return false;
            }
            break;
        case kSizeBetween:
            if (size < m_sizeA || size > m_sizeB) {
                return false;
            }
            break;
        case kSizeBeyond:
            if (size > m_sizeA && size < m_sizeB) {
                return false;
            }
            break;
        default:
            break;
        }
    }
    if (m_dateOn) {
        switch (m_datePos) {
        case kDateOlderThanA:
            if (lastWrite > m_dateA) {
                return false;
            }
            break;
        case kDateNewerThanA:
            if (lastWrite < m_dateA) {
                return false;
            }
            break;
        case kDateBetween:
            if (lastWrite < m_dateA || lastWrite > m_dateB) {
                return false;
            }
            break;
        case kDateBeyond:
            if (lastWrite > m_dateA && lastWrite < m_dateB) {
                return false;
            }
            break;
        default:
            break;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// TPathProcessor

void TPathProcessor::Prepare(const TFolderFilter& filter, bool expand) {
    m_items.clear();
    m_items.reserve(filter.Count());
    for (const TStrItem& entry : filter.Items()) {
        // A blank entry would occur in every path and so skip every folder;
        // it excludes nothing instead.
        if (TrimText(entry.text).empty()) {
            continue;
        }
        std::u16string text = expand ? ExpandEnvVars(entry.text) : entry.text;
        if (text.empty()) {
            continue;
        }
        // The root "/" keeps its slash so it stays absolute (and still skips
        // every folder, as its stripped form would).
        if (text.size() > 1 && text.back() == kPathDelim) {
            text.pop_back();
        }
        m_items.push_back(TStrItem{std::move(text)});
    }
}

bool TPathProcessor::Passes(std::u16string_view fullPath) const {
    for (const TStrItem& item : m_items) {
        const std::u16string_view excluded = item.text;
        if (excluded.front() == kPathDelim) {
            if (fullPath.starts_with(excluded)) {
                return false;
            }
        } else if (fullPath.find(excluded) != std::u16string_view::npos) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// TSearchData

void TSearchData::Assign(const TSearchData& other) {
    if (&other == this) {
        return;
    }
    SearchPath = other.SearchPath;
    bSubFolders = other.bSubFolders;
    volumeIndex = other.volumeIndex;
    pathsFinal = other.pathsFinal;
    fileFilter = other.fileFilter;
    folderFilter.Assign(other.folderFilter);
}

void TSearchData::Prepare() {
    m_include.SetMask(fileFilter.FLT_Include);
    m_exclude.SetMask(fileFilter.FLT_bUseExclude ? std::u16string_view(fileFilter.FLT_Exclude)
                                                 : std::u16string_view());
    m_useExclude = fileFilter.FLT_bUseExclude;
    m_filterExt.Prepare(fileFilter);
    m_pathProcessor.Prepare(folderFilter, !pathsFinal);
}

bool TSearchData::PassesFile(std::uint32_t attributes, TFileTime lastWrite, std::int64_t size,
                             std::u16string_view name) const {
    if (m_filterExt.AnyOn() && !m_filterExt.Passes(attributes, lastWrite, size)) {
        return false;
    }
    if (!m_include.Matches(name, true)) {
        return false;
    }
    return !(m_useExclude && m_exclude.Matches(name, false));
}

std::u16string TSearchData::CellText(int columnId) const {
    switch (columnId) {
    case kColSearchPath:
        return SearchPath;
    case kColIncludeMask:
        return fileFilter.FLT_Include;
    case kColExcludeMask:
        return fileFilter.FLT_bUseExclude ? fileFilter.FLT_Exclude : std::u16string(kNone);
    case kColSizeFilter:
        return SizeCellText(fileFilter);
    case kColDateFilter:
        return std::u16string(fileFilter.FLT_bUseDate ? kYes : kNone);
    case kColAttrFilter:
        return AttrCellText(fileFilter);
    case kColExcludedPaths:
        return std::u16string(folderFilter.Count() > 0 ? kYes : kNone);
    case kColSubFolders:
        return std::u16string(bSubFolders ? kYes : kNo);
    default:
        return {};
    }
}

// ---------------------------------------------------------------------------
// TSearchDataList

TSearchData* TSearchDataList::Item(std::size_t index) {
    return index < m_items.size() ? m_items[index].get() : nullptr;
}

const TSearchData* TSearchDataList::Item(std::size_t index) const {
    return index < m_items.size() ? m_items[index].get() : nullptr;
}

std::u16string TSearchDataList::PathText(std::size_t index) const {
    return index < m_items.size() ? m_items[index]->SearchPath : std::u16string();
}

void TSearchDataList::AddOwned(std::unique_ptr<TSearchData> path) {
    if (path) {
        m_items.push_back(std::move(path));
    }
}

TSearchData& TSearchDataList::AddCopy(const TSearchData& path) {
    auto copy = std::make_unique<TSearchData>();
    copy->Assign(path);
    m_items.push_back(std::move(copy));
    return *m_items.back();
}

void TSearchDataList::Delete(std::size_t index) {
    if (index < m_items.size()) {
        m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

void TSearchDataList::Assign(const TSearchDataList& other) {
    if (&other == this) {
        return;
    }
    Clear();
    m_items.reserve(other.m_items.size());
    for (const auto& path : other.m_items) {
        AddCopy(*path);
    }
}

void TSearchDataList::RemoveMarked() {
    std::erase_if(m_items,
                  [](const std::unique_ptr<TSearchData>& path) { return path->removeMark; });
}

void TSearchDataList::ClearRowFlags() {
    for (auto& path : m_items) {
        path->selected = false;
        path->focused = false;
    }
}

void TSearchDataList::SortByPath() {
    // Keys are built once, not inside the comparison.
    std::vector<std::u16string> keys;
    keys.reserve(m_items.size());
    for (const auto& path : m_items) {
        keys.push_back(AddTrailingBackslash(UpperCaseText(TrimText(path->SearchPath))));
    }
    std::vector<std::size_t> order(m_items.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<std::unique_ptr<TSearchData>> sorted;
    sorted.reserve(m_items.size());
    for (std::size_t index : order) {
        sorted.push_back(std::move(m_items[index]));
    }
    m_items = std::move(sorted);
}

namespace {

// Three-way comparison of two paths by one column of the current-set list,
// without the path tie-break. Filters that are switched off sort before
// those that are on; two that are on compare by their own value.
int CompareByColumn(const TSearchData& a, const TSearchData& b, int columnId) {
    const auto flag = [](bool x, bool y) { return static_cast<int>(x) - static_cast<int>(y); };
    const auto text = [](const std::u16string& x, const std::u16string& y) {
        return x < y ? -1 : (y < x ? 1 : 0);
    };
    const TFileFilter& fa = a.fileFilter;
    const TFileFilter& fb = b.fileFilter;
    switch (columnId) {
    case kColIncludeMask:
        return text(fa.FLT_Include, fb.FLT_Include);
    case kColExcludeMask:
        if (fa.FLT_bUseExclude != fb.FLT_bUseExclude)
            return flag(fa.FLT_bUseExclude, fb.FLT_bUseExclude);
        return fa.FLT_bUseExclude ? text(fa.FLT_Exclude, fb.FLT_Exclude) : 0;
    case kColSizeFilter:
        if (fa.FLT_bUseSize != fb.FLT_bUseSize)
            return flag(fa.FLT_bUseSize, fb.FLT_bUseSize);
        return fa.FLT_bUseSize
                   ? (fa.FLT_SizePos > fb.FLT_SizePos) - (fa.FLT_SizePos < fb.FLT_SizePos)
                   : 0;
    case kColDateFilter:
        if (fa.FLT_bUseDate != fb.FLT_bUseDate)
            return flag(fa.FLT_bUseDate, fb.FLT_bUseDate);
        return fa.FLT_bUseDate
                   ? (fa.FLT_DatePos > fb.FLT_DatePos) - (fa.FLT_DatePos < fb.FLT_DatePos)
                   : 0;
    case kColAttrFilter:
        return flag(fa.FLT_bUseAttr, fb.FLT_bUseAttr);
    case kColExcludedPaths:
        return flag(a.folderFilter.Count() > 0, b.folderFilter.Count() > 0);
    case kColSubFolders:
        return flag(a.bSubFolders, b.bSubFolders);
    default:
        return 0; // the path column, and unknown ones: the tie-break decides
    }
}

} // namespace

void TSearchDataList::SortByColumn(int columnId, bool ascending) {
    // Upper-cased path keys are built once, not inside the comparison.
    std::vector<std::u16string> keys;
    keys.reserve(m_items.size());
    for (const auto& path : m_items) {
        keys.push_back(UpperCaseText(path->SearchPath));
    }
    std::vector<std::size_t> order(m_items.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const auto less = [&](std::size_t a, std::size_t b) {
        const int byColumn = CompareByColumn(*m_items[a], *m_items[b], columnId);
        if (byColumn != 0)
            return byColumn < 0;
        return keys[a] < keys[b];
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return ascending ? less(a, b) : less(b, a);
    });
    std::vector<std::unique_ptr<TSearchData>> sorted;
    sorted.reserve(m_items.size());
    for (std::size_t index : order) {
        sorted.push_back(std::move(m_items[index]));
    }
    m_items = std::move(sorted);
}

// ---------------------------------------------------------------------------
// TSearchSet

void TSearchSet::Assign(const TSearchSet& other) {
    if (&other == this) {
        return;
    }
    name = other.name;
    selectAfterSort = other.selectAfterSort;
    m_paths.Assign(other.m_paths);
}

std::u16string TSearchSet::CellText(std::size_t row, int columnId) const {
    const TSearchData* path = m_paths.Item(row);
    return path ? path->CellText(columnId) : std::u16string();
}

} // namespace vdx
