#include "operations/VDX_unit_OperationList.h"

#include <algorithm>
#include <vector>

#include "engine/VDX_unit_Helpers.h"

namespace vdx {

namespace {

template <typename T>
int Cmp(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

enum class TProp { Base, Ext, Folder, Time, Size, Group };

int CompareProp(const TScanData& store, TViewKind view, TProp prop, std::uint32_t a,
                std::uint32_t b) {
    const TScanFileItem& x = store.File(a);
    const TScanFileItem& y = store.File(b);
    switch (prop) {
    case TProp::Base:
        return Cmp(x.m_baseClass, y.m_baseClass);
    case TProp::Ext:
        return Cmp(x.m_extClass, y.m_extClass);
    case TProp::Folder:
        return Cmp(x.m_folder, y.m_folder);
    case TProp::Time:
        return Cmp(x.m_lastWrite, y.m_lastWrite);
    case TProp::Size:
        return Cmp(x.m_size, y.m_size);
    case TProp::Group:
        return Cmp(store.FileGroup(a, view), store.FileGroup(b, view));
    }
    return 0;
}

// The chain of each key after its first (check) comparison.
struct TChain {
    TProp props[6];
    int count;
};

TChain ChainOf(TOperationSortKey key) {
    using P = TProp;
    switch (key) {
    case kOpSortExtension:
        return {{P::Ext, P::Base, P::Folder, P::Time, P::Size}, 5};
    case kOpSortSize:
        return {{P::Size, P::Base, P::Ext, P::Folder, P::Time}, 5};
    case kOpSortTime:
        return {{P::Time, P::Base, P::Ext, P::Folder}, 4};
    case kOpSortFolder:
        return {{P::Folder, P::Ext, P::Base, P::Time, P::Size}, 5};
    case kOpSortCheck:
        return {{P::Base, P::Ext, P::Folder, P::Size}, 4};
    case kOpSortGroup:
        return {{P::Group, P::Base, P::Ext, P::Folder, P::Time, P::Size}, 6};
    case kOpSortName:
    default:
        return {{P::Base, P::Ext, P::Folder, P::Time, P::Size}, 5};
    }
}

// Compares two file indices by the chain, then by index. Indices that name
// no file sort after every valid one.
int CompareFiles(const TScanData& store, TViewKind view, const TChain& chain, std::int32_t a,
                 std::int32_t b) {
    const std::int64_t count = store.FileCount();
    const bool va = a >= 0 && a < count;
    const bool vb = b >= 0 && b < count;
    if (va && vb) {
        for (int i = 0; i < chain.count; ++i)
            if (int c = CompareProp(store, view, chain.props[i], static_cast<std::uint32_t>(a),
                                    static_cast<std::uint32_t>(b)))
                return c;
    } else if (va != vb) {
        return va ? -1 : 1;
    }
    return Cmp(a, b);
}

TOperationSortKey KnownKey(TOperationSortKey key) {
    return key >= kOpSortName && key <= kOpSortGroup ? key : kOpSortName;
}

} // namespace

TOperationSortKey OperationSortKeyOfColumn(int columnId) {
    switch (columnId) {
    case 10:
        return kOpSortCheck;
    case 11:
        return kOpSortGroup;
    case 13:
        return kOpSortExtension;
    case 14:
        return kOpSortFolder;
    case 15:
        return kOpSortSize;
    case 16:
        return kOpSortTime;
    default:
        return kOpSortName;
    }
}

// ---------------------------------------------------------------------------
// TOperationList

int TOperationList::Build(TViewKind view) {
    Clear();
    m_view = NormalizeViewKind(view);
    m_revision = m_store.Revision();
    const std::uint8_t bit = ViewMarkBit(m_view);
    const std::uint32_t files = m_store.FileCount();
    for (std::uint32_t i = 0; i < files; ++i) {
        const TScanFileItem& f = m_store.File(i);
        if ((f.m_marks & bit) == 0 || f.m_removed != 0 || m_store.FileGroup(i, m_view) < 0)
            continue;
        if (int rc = m_entries.Append(TOperationEntry{0, static_cast<std::int32_t>(i)}))
            return rc;
        m_totalBytes += f.m_size;
    }
    return 0;
}

void TOperationList::Clear() {
    m_entries.Reset();
    m_totalBytes = 0;
    m_checkedCount = 0;
    m_checkedBytes = 0;
    m_longestRow = -1;
    m_longestPath.clear();
}

void TOperationList::Invalidate() {
    for (TOperationEntry& e : m_entries)
        e.m_file = -1;
    m_longestRow = -1;
    m_longestPath.clear();
}

bool TOperationList::ValidFile(std::int32_t file) const {
    return file >= 0 && static_cast<std::uint32_t>(file) < m_store.FileCount();
}

bool TOperationList::MatchesStore() const {
    // A later search or re-index may well give the same indices to other
    // files; only the revision tells the two stores apart.
    if (m_store.Revision() != m_revision)
        return false;
    const std::uint8_t bit = ViewMarkBit(m_view);
    for (const TOperationEntry& e : m_entries) {
        if (!ValidFile(e.m_file))
            return false;
        const auto file = static_cast<std::uint32_t>(e.m_file);
        const TScanFileItem& f = m_store.File(file);
        if ((f.m_marks & bit) == 0 || f.m_removed != 0 || m_store.FileGroup(file, m_view) < 0)
            return false;
    }
    return true;
}

const TOperationEntry* TOperationList::Entry(std::int64_t row) const {
    if (row < 0 || row >= static_cast<std::int64_t>(m_entries.Count()))
        return nullptr;
    return &m_entries[static_cast<std::uint32_t>(row)];
}

std::int32_t TOperationList::FileOf(std::int64_t row) const {
    const TOperationEntry* e = Entry(row);
    return e != nullptr && ValidFile(e->m_file) ? e->m_file : -1;
}

std::u16string_view TOperationList::Name(std::int64_t row) const {
    const std::int32_t file = FileOf(row);
    return file < 0 ? kNoFileName : m_store.FileName(static_cast<std::uint32_t>(file));
}

std::u16string_view TOperationList::FolderPath(std::int64_t row) const {
    const std::int32_t file = FileOf(row);
    return file < 0 ? kNoFileName : m_store.FolderPathOfFile(static_cast<std::uint32_t>(file));
}

std::int64_t TOperationList::Size(std::int64_t row) const {
    const std::int32_t file = FileOf(row);
    return file < 0 ? -1
                    : static_cast<std::int64_t>(m_store.FileSize(static_cast<std::uint32_t>(file)));
}

bool TOperationList::LastWrite(std::int64_t row, TFileTime& out) const {
    const std::int32_t file = FileOf(row);
    if (file < 0)
        return false;
    out = m_store.FileLastWrite(static_cast<std::uint32_t>(file));
    return true;
}

bool TOperationList::Attributes(std::int64_t row, std::uint32_t& out) const {
    const std::int32_t file = FileOf(row);
    if (file < 0)
        return false;
    out = m_store.FileAttributes(static_cast<std::uint32_t>(file));
    return true;
}

bool TOperationList::Checked(std::int64_t row) const {
    const TOperationEntry* e = Entry(row);
    return e != nullptr && e->m_checked != 0;
}

bool TOperationList::ToggleCheck(std::int64_t row) {
    if (Entry(row) == nullptr)
        return false;
    TOperationEntry& e = m_entries[static_cast<std::uint32_t>(row)];
    // An invalidated entry still changes its check; it weighs nothing.
    const std::uint64_t size =
        ValidFile(e.m_file) ? m_store.FileSize(static_cast<std::uint32_t>(e.m_file)) : 0;
    e.m_checked = e.m_checked != 0 ? 0 : 1;
    if (e.m_checked != 0) {
        ++m_checkedCount;
        m_checkedBytes += size;
    } else {
        --m_checkedCount;
        m_checkedBytes -= size;
    }
    return true;
}

void TOperationList::SetAllChecks(bool on) {
    m_checkedCount = 0;
    m_checkedBytes = 0;
    for (TOperationEntry& e : m_entries) {
        e.m_checked = on ? 1 : 0;
        if (on) {
            ++m_checkedCount;
            m_checkedBytes +=
                ValidFile(e.m_file) ? m_store.FileSize(static_cast<std::uint32_t>(e.m_file)) : 0;
        }
    }
}

void TOperationList::CheckByPattern(std::u16string_view pattern, bool byPath) {
    const std::u16string upperPattern = UpperCaseText(pattern);
    // The upper-cased pool exists once a search has grouped its files; a
    // store filled some other way is upper-cased here, text by text.
    const bool upperPool = m_store.UpperPool().UsedBytes() == m_store.Pool().UsedBytes() &&
                           m_store.Pool().UsedBytes() != 0;
    std::u16string scratch;
    m_checkedCount = 0;
    m_checkedBytes = 0;
    for (TOperationEntry& e : m_entries) {
        e.m_checked = 0;
        if (!ValidFile(e.m_file))
            continue;
        const auto file = static_cast<std::uint32_t>(e.m_file);
        std::u16string_view text;
        if (upperPool) {
            text = byPath ? m_store.FolderPathUpper(m_store.File(file).m_folder)
                          : m_store.FileNameUpper(file);
        } else {
            scratch =
                UpperCaseText(byPath ? m_store.FolderPathOfFile(file) : m_store.FileName(file));
            text = scratch;
        }
        if (text.find(upperPattern) == std::u16string_view::npos)
            continue;
        e.m_checked = 1;
        ++m_checkedCount;
        m_checkedBytes += m_store.FileSize(file);
    }
}

void TOperationList::ExcludeChecked() {
    std::uint32_t kept = 0;
    const std::uint32_t count = m_entries.Count();
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_entries[i].m_checked != 0)
            continue;
        m_entries[kept++] = m_entries[i];
    }
    if (kept == 0)
        m_entries.Reset();
    else
        m_entries.Truncate(kept);
    m_totalBytes -= std::min(m_totalBytes, m_checkedBytes);
    m_checkedCount = 0;
    m_checkedBytes = 0;
    m_longestRow = -1;
    m_longestPath.clear();
}

void TOperationList::Sort(TOperationSortKey key, bool ascending) {
    key = KnownKey(key);
    if (key == kOpSortGroup)
        key = kOpSortName; // the operation list shows no group column
    const TChain chain = ChainOf(key);
    const TScanData& store = m_store;
    const TViewKind view = m_view;
    auto compare = [&](const TOperationEntry& a, const TOperationEntry& b) {
        if (key == kOpSortCheck && a.m_checked != b.m_checked)
            return a.m_checked != 0 ? -1 : 1;
        return CompareFiles(store, view, chain, a.m_file, b.m_file);
    };
    std::sort(m_entries.begin(), m_entries.end(),
              [&](const TOperationEntry& a, const TOperationEntry& b) {
                  return ascending ? compare(a, b) < 0 : compare(b, a) < 0;
              });
    m_longestRow = -1;
    m_longestPath.clear();
}

std::int32_t TOperationList::LongestPath() {
    std::size_t longest = 0;
    std::int32_t row = -1;
    const std::uint32_t count = m_entries.Count();
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::int32_t file = m_entries[i].m_file;
        if (!ValidFile(file))
            continue;
        const auto index = static_cast<std::uint32_t>(file);
        const std::u16string_view folder = m_store.FolderPathOfFile(index);
        std::size_t length = folder.size() + m_store.FileName(index).size();
        if (folder.empty() || folder.back() != kPathDelim)
            ++length;
        if (length > longest) {
            longest = length;
            row = static_cast<std::int32_t>(i);
        }
    }
    m_longestRow = row;
    m_longestPath.clear();
    if (row >= 0) {
        const auto file =
            static_cast<std::uint32_t>(m_entries[static_cast<std::uint32_t>(row)].m_file);
        m_longestPath = AddTrailingBackslash(m_store.FolderPathOfFile(file));
        m_longestPath += m_store.FileName(file);
    }
    return static_cast<std::int32_t>(longest);
}

// ---------------------------------------------------------------------------
// TAlertList

void TAlertList::Clear() {
    m_files.Reset();
    m_groupsInList = 0;
    m_fullGroups = 0;
    m_totalBytes = 0;
}

int TAlertList::Build(const TOperationList& list, TViewKind view) {
    Clear();
    m_view = NormalizeViewKind(view);
    struct TItem {
        std::int32_t group;
        std::int32_t file;
    };
    std::vector<TItem> items;
    items.reserve(static_cast<std::size_t>(list.Count()));
    for (std::int32_t row = 0; row < list.Count(); ++row) {
        const std::int32_t file = list.FileOf(row);
        if (file < 0)
            continue;
        const std::int32_t group = m_store.FileGroup(static_cast<std::uint32_t>(file), m_view);
        if (group >= 0 && static_cast<std::uint32_t>(group) < m_store.GroupCount(m_view))
            items.push_back(TItem{group, file});
    }
    // Descending by group keeps each group's files together; within a group
    // the list order is kept.
    std::stable_sort(items.begin(), items.end(),
                     [](const TItem& a, const TItem& b) { return a.group > b.group; });

    std::size_t begin = 0;
    while (begin < items.size()) {
        std::size_t end = begin + 1;
        while (end < items.size() && items[end].group == items[begin].group)
            ++end;
        ++m_groupsInList;
        const std::uint32_t groupFiles =
            m_store.GroupHead(m_view, static_cast<std::uint32_t>(items[begin].group)).m_fileCount;
        if (end - begin == groupFiles) {
            ++m_fullGroups;
            for (std::size_t i = begin; i < end; ++i) {
                if (int rc = m_files.Append(items[i].file)) {
                    Clear();
                    return rc;
                }
                m_totalBytes += m_store.FileSize(static_cast<std::uint32_t>(items[i].file));
            }
        }
        begin = end;
    }
    return 0;
}

std::int32_t TAlertList::FileOf(std::int64_t row) const {
    if (row < 0 || row >= static_cast<std::int64_t>(m_files.Count()))
        return -1;
    const std::int32_t file = m_files[static_cast<std::uint32_t>(row)];
    return file >= 0 && static_cast<std::uint32_t>(file) < m_store.FileCount() ? file : -1;
}

std::u16string_view TAlertList::Name(std::int64_t row) const {
    const std::int32_t file = FileOf(row);
    return file < 0 ? kNoFileName : m_store.FileName(static_cast<std::uint32_t>(file));
}

std::u16string_view TAlertList::FolderPath(std::int64_t row) const {
    const std::int32_t file = FileOf(row);
    return file < 0 ? kNoFileName : m_store.FolderPathOfFile(static_cast<std::uint32_t>(file));
}

std::int64_t TAlertList::Size(std::int64_t row) const {
    const std::int32_t file = FileOf(row);
    return file < 0 ? -1
                    : static_cast<std::int64_t>(m_store.FileSize(static_cast<std::uint32_t>(file)));
}

bool TAlertList::LastWrite(std::int64_t row, TFileTime& out) const {
    const std::int32_t file = FileOf(row);
    if (file < 0)
        return false;
    out = m_store.FileLastWrite(static_cast<std::uint32_t>(file));
    return true;
}

bool TAlertList::Attributes(std::int64_t row, std::uint32_t& out) const {
    const std::int32_t file = FileOf(row);
    if (file < 0)
        return false;
    out = m_store.FileAttributes(static_cast<std::uint32_t>(file));
    return true;
}

std::int32_t TAlertList::GroupNumber(std::int64_t row) const {
    const std::int32_t file = FileOf(row);
    return file < 0 ? 0 : m_store.FileGroup(static_cast<std::uint32_t>(file), m_view) + 1;
}

void TAlertList::Sort(TOperationSortKey key, bool ascending) {
    key = KnownKey(key);
    if (key == kOpSortCheck)
        key = kOpSortName; // alert rows carry no check
    const TChain chain = ChainOf(key);
    const TScanData& store = m_store;
    const TViewKind view = m_view;
    std::sort(m_files.begin(), m_files.end(), [&](std::int32_t a, std::int32_t b) {
        return ascending ? CompareFiles(store, view, chain, a, b) < 0
                         : CompareFiles(store, view, chain, b, a) < 0;
    });
}

} // namespace vdx
