#include "engine/VDX_unit_ScanData.h"

#include <cstring>

#include "platform/VDX_unit_SpecialFolders.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

TBlockReallocFn g_realloc = nullptr;

// Byte lengths are stored in 16 bits.
constexpr std::size_t kMaxTextChars = 0xFFFF / 2;

} // namespace

TBlockReallocFn SetBlockRealloc(TBlockReallocFn fn) {
    TBlockReallocFn previous = g_realloc;
    g_realloc = fn;
    return previous;
}

void* BlockRealloc(void* block, std::size_t bytes) {
    if (g_realloc != nullptr)
        return g_realloc(block, bytes);
    return std::realloc(block, bytes);
}

// ---- TTextPool ----

int TTextPool::SetCapacity(std::size_t bytes) {
    // The block holds whole characters even when the capacity in bytes is odd.
    std::size_t allocBytes = (bytes + 1) & ~std::size_t{1};
    void* block = BlockRealloc(m_data, allocBytes);
    if (block == nullptr)
        return ENOMEM;
    m_data = static_cast<char16_t*>(block);
    m_capacityBytes = bytes;
    return 0;
}

void TTextPool::Reset() {
    m_usedBytes = 0;
    if (m_capacityBytes != 2)
        (void)SetCapacity(2); // a failed shrink keeps the larger block
}

int TTextPool::Append(std::u16string_view text, std::uint32_t& bytePos) {
    std::size_t textBytes = text.size() * 2;
    // The text, its terminating zero and a second zero that the next text
    // overwrites must all fit.
    std::size_t needed = std::size_t{m_usedBytes} + textBytes + 4;
    if (needed > 0xFFFFFFFFu)
        return EOVERFLOW;
    if (needed > m_capacityBytes) {
        std::size_t capacity = m_capacityBytes;
        while (capacity < needed)
            capacity += kTextPoolStep;
        if (int rc = SetCapacity(capacity))
            return rc;
    }
    char16_t* out = m_data + m_usedBytes / 2;
    if (!text.empty())
        std::memcpy(out, text.data(), textBytes);
    out[text.size()] = 0;
    out[text.size() + 1] = 0;
    bytePos = m_usedBytes;
    m_usedBytes += static_cast<std::uint32_t>(textBytes + 2);
    return 0;
}

int TTextPool::MakeUpperCopyOf(const TTextPool& source) {
    std::size_t bytes = source.m_usedBytes == 0 ? 2 : source.m_usedBytes;
    if (int rc = SetCapacity(bytes))
        return rc;
    if (source.m_usedBytes != 0)
        std::memcpy(m_data, source.m_data, source.m_usedBytes);
    m_usedBytes = source.m_usedBytes;
    UpperCaseInPlace(m_data, m_usedBytes / 2);
    return 0;
}

// ---- TScanData ----

TScanData::TScanData()
    : m_systemFolders(SystemFolderList()), m_programFolders(ProgramFilesFolderList()) {}

std::int32_t TScanData::AddFolder(std::uint16_t volume, std::uint32_t searchPath,
                                  std::uint32_t parent, bool searchRoot, std::u16string_view path,
                                  int& errorCode) {
    errorCode = 0;
    if (path.empty() || path.size() > kMaxTextChars) {
        errorCode = path.empty() ? EINVAL : ENAMETOOLONG;
        return -1;
    }
    // Make room in the table first: a failure then leaves the pool untouched.
    if ((errorCode = m_folders.MakeRoom()) != 0)
        return -1;
    std::uint32_t pathPos = 0;
    if ((errorCode = m_pool.Append(path, pathPos)) != 0)
        return -1;
    TScanFolderItem item{};
    std::uint32_t index = m_folders.Count();
    item.m_searchPath = searchPath;
    item.m_parent = searchRoot ? index : parent;
    item.m_discoveryIndex = index;
    item.m_pathPos = pathPos;
    item.m_pathLength = static_cast<std::uint16_t>(path.size() * 2);
    item.m_volume = volume;
    item.m_searchRoot = searchRoot ? 1 : 0;
    (void)m_folders.Append(item); // cannot fail: room was made above
    return static_cast<std::int32_t>(index);
}

std::int32_t TScanData::AddFolder(std::uint16_t volume, std::uint32_t searchPath,
                                  std::uint32_t parent, bool searchRoot, std::u16string_view path) {
    int errorCode = 0;
    return AddFolder(volume, searchPath, parent, searchRoot, path, errorCode);
}

int TScanData::AddFile(std::uint16_t volume, std::uint32_t folder, std::u16string_view name,
                       std::uint64_t size, TFileTime lastWrite, std::uint32_t attributes) {
    if (name.empty())
        return EINVAL;
    if (name.size() > kMaxTextChars)
        return ENAMETOOLONG;
    // Grow the file table first: a failure then leaves the pool untouched.
    if (int rc = m_files.MakeRoom())
        return rc;
    std::uint32_t namePos = 0;
    if (int rc = m_pool.Append(name, namePos))
        return rc;

    TScanFileItem item{};
    item.m_lastWrite = lastWrite;
    item.m_size = size;
    item.m_attributes = attributes;
    item.m_folder = folder;
    ClearFileItemGroups(item);
    item.m_namePos = namePos;
    std::uint32_t nameBytes = static_cast<std::uint32_t>(name.size() * 2);
    item.m_extPos = namePos + nameBytes + 1;
    for (std::size_t i = name.size() - 1; i > 0; --i) {
        if (name[i] == u'.') {
            item.m_extPos = namePos + static_cast<std::uint32_t>(i * 2);
            break;
        }
    }
    item.m_baseClass = -1;
    item.m_extClass = -1;
    item.m_nameLength = static_cast<std::uint16_t>(nameBytes);
    item.m_volume = volume;
    item.m_marks = 0;
    item.m_removed = 0;
    item.m_zeroSize = 0;
    return m_files.Append(item); // cannot fail: room was made above
}

void TScanData::SetFolderCounts(std::uint32_t folder, std::uint32_t filesFound,
                                std::uint32_t subFoldersAdded) {
    m_folders[folder].m_filesFound = filesFound;
    m_folders[folder].m_subFoldersAdded = subFoldersAdded;
    m_filesFoundSum += filesFound;
    m_subFoldersSum += subFoldersAdded;
}

void TScanData::ResetView(TViewKind view) {
    m_revision.fetch_add(1, std::memory_order_relaxed);
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        m_nameGroups.Reset();
        break;
    case kViewSameSize:
        m_sizeGroups.Reset();
        break;
    case kViewSameNameSize:
        m_nameSizeGroups.Reset();
        break;
    case kViewSameContent:
        m_contentGroups.Reset();
        break;
    case kViewFullClones:
        m_cloneGroups.Reset();
        break;
    case kViewZeroSize:
        m_folderGroups.Reset();
        break;
    }
    m_rowTables[ViewSlot(view)].Reset();
    m_orderTables[ViewSlot(view)].Reset();
    ResetViewCounters(view);
}

void TScanData::ClearForNewSearch() {
    m_status.m_searchAborted = false;
    m_status.m_searchDone = false;
    m_status.m_contentAborted = false;
    m_status.m_contentDone = false;
    m_folders.Reset();
    m_files.Reset();
    m_pool.Reset();
    m_upperPool.Reset();
    for (int slot = 0; slot < kViewCount; ++slot)
        ResetView(ViewOfSlot(slot));
    m_filesFoundSum = 0;
    m_subFoldersSum = 0;
    m_zeroSizeFiles = 0;
    m_droppedAtReindex = 0;
    m_durationBaseNames = 0;
    m_durationExtensions = 0;
    m_durationSearch = 0;
    m_durationContent = 0;
    std::vector<TUncomparedFile>().swap(m_uncompared);
    m_protectionSkips = TProtectionSkips{};
}

void TScanData::ClearContentResults() {
    ResetView(kViewSameContent);
    ResetView(kViewFullClones);
    m_uncompared.clear();
    // Stale group numbers would make files of a later comparison look
    // grouped in views that were rebuilt without them. The Same content and
    // Full clones marks stay: the next comparison counts them again as it
    // builds its groups, so a mark the user set survives a new comparison.
    for (TScanFileItem& f : m_files) {
        f.m_contentGroup = -1;
        f.m_cloneGroup = -1;
    }
}

std::u16string_view TScanData::FileName(std::uint32_t file) const {
    const TScanFileItem& f = m_files[file];
    return {m_pool.At(f.m_namePos), std::size_t{f.m_nameLength} / 2};
}

std::u16string_view TScanData::FileNameUpper(std::uint32_t file) const {
    const TScanFileItem& f = m_files[file];
    return {m_upperPool.At(f.m_namePos), std::size_t{f.m_nameLength} / 2};
}

std::u16string_view TScanData::FileExtension(std::uint32_t file) const {
    const TScanFileItem& f = m_files[file];
    std::uint32_t end = f.m_namePos + f.m_nameLength;
    if (f.m_extPos >= end)
        return {};
    return {m_pool.At(f.m_extPos), std::size_t{end - f.m_extPos} / 2};
}

std::u16string_view TScanData::FolderPath(std::uint32_t folder) const {
    const TScanFolderItem& d = m_folders[folder];
    return {m_pool.At(d.m_pathPos), std::size_t{d.m_pathLength} / 2};
}

std::u16string_view TScanData::FolderPathUpper(std::uint32_t folder) const {
    const TScanFolderItem& d = m_folders[folder];
    return {m_upperPool.At(d.m_pathPos), std::size_t{d.m_pathLength} / 2};
}

std::u16string_view TScanData::FolderPathOfFile(std::uint32_t file) const {
    return FolderPath(m_files[file].m_folder);
}

std::u16string TScanData::FullPath(std::uint32_t file) const {
    std::u16string path(FolderPathOfFile(file));
    path += FileName(file);
    return path;
}

std::int32_t TScanData::FileGroup(std::uint32_t file, TViewKind view) const {
    return FileItemGroup(m_files[file], view);
}

void TScanData::SetFileGroup(TStoreKey, std::uint32_t file, TViewKind view, std::int32_t group) {
    TScanFileItem& f = m_files[file];
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        f.m_nameGroup = group;
        break;
    case kViewSameSize:
        f.m_sizeGroup = group;
        break;
    case kViewSameContent:
        f.m_contentGroup = group;
        break;
    case kViewFullClones:
        f.m_cloneGroup = group;
        break;
    case kViewZeroSize:
        f.m_zeroGroup = group;
        break;
    default:
        f.m_nameSizeGroup = group;
        break;
    }
}

std::uint32_t TScanData::GroupCount(TViewKind view) const {
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        return m_nameGroups.Count();
    case kViewSameSize:
        return m_sizeGroups.Count();
    case kViewSameContent:
        return m_contentGroups.Count();
    case kViewFullClones:
        return m_cloneGroups.Count();
    case kViewZeroSize:
        return m_folderGroups.Count();
    default:
        return m_nameSizeGroups.Count();
    }
}

TGroupHead& TScanData::GroupHead(TStoreKey, TViewKind view, std::uint32_t g) {
    const TScanData& self = *this;
    return const_cast<TGroupHead&>(self.GroupHead(view, g));
}

const TGroupHead& TScanData::GroupHead(TViewKind view, std::uint32_t g) const {
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        return m_nameGroups[g].m_head;
    case kViewSameSize:
        return m_sizeGroups[g].m_head;
    case kViewSameContent:
        return m_contentGroups[g].m_head;
    case kViewFullClones:
        return m_cloneGroups[g].m_head;
    case kViewZeroSize:
        return m_folderGroups[g].m_head;
    default:
        return m_nameSizeGroups[g].m_head;
    }
}

std::uint8_t TScanData::GroupMarkState(TViewKind view, std::uint32_t g) const {
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        return m_nameGroups[g].m_markState;
    case kViewSameSize:
        return m_sizeGroups[g].m_markState;
    case kViewSameContent:
        return m_contentGroups[g].m_markState;
    case kViewFullClones:
        return m_cloneGroups[g].m_markState;
    case kViewZeroSize:
        return m_folderGroups[g].m_markState;
    default:
        return m_nameSizeGroups[g].m_markState;
    }
}

void TScanData::SetGroupMarkState(TStoreKey, TViewKind view, std::uint32_t g, std::uint8_t state) {
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        m_nameGroups[g].m_markState = state;
        break;
    case kViewSameSize:
        m_sizeGroups[g].m_markState = state;
        break;
    case kViewSameContent:
        m_contentGroups[g].m_markState = state;
        break;
    case kViewFullClones:
        m_cloneGroups[g].m_markState = state;
        break;
    case kViewZeroSize:
        m_folderGroups[g].m_markState = state;
        break;
    default:
        m_nameSizeGroups[g].m_markState = state;
        break;
    }
}

std::uint64_t TScanData::GroupTotalBytes(TViewKind view, std::uint32_t g) const {
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        return m_nameGroups[g].m_totalBytes;
    case kViewSameSize:
        return m_sizeGroups[g].m_totalBytes;
    case kViewSameContent:
        return m_contentGroups[g].m_totalBytes;
    case kViewFullClones:
        return m_cloneGroups[g].m_totalBytes;
    case kViewZeroSize:
        return 0;
    default:
        return m_nameSizeGroups[g].m_totalBytes;
    }
}

std::size_t TScanData::MemoryBytes() const {
    std::size_t bytes = m_folders.CapacityBytes() + m_files.CapacityBytes() +
                        m_pool.CapacityBytes() + m_upperPool.CapacityBytes() +
                        m_nameGroups.CapacityBytes() + m_sizeGroups.CapacityBytes() +
                        m_nameSizeGroups.CapacityBytes() + m_contentGroups.CapacityBytes() +
                        m_cloneGroups.CapacityBytes() + m_folderGroups.CapacityBytes();
    for (int slot = 0; slot < kViewCount; ++slot)
        bytes += m_rowTables[slot].CapacityBytes() + m_orderTables[slot].CapacityBytes();
    return bytes;
}

void TScanData::AnnounceClearing(TStoreChange change) {
    if (m_observer != nullptr)
        m_observer->StoreClearing(change);
}

void TScanData::AnnounceCleared(TStoreChange change) {
    if (m_observer != nullptr)
        m_observer->StoreCleared(change);
}

void TScanData::AnnounceBusy() {
    m_busy = true;
    if (m_observer != nullptr)
        m_observer->StoreBusy();
}

void TScanData::AnnounceIdle() {
    if (!m_busy)
        return;
    m_busy = false;
    if (m_observer != nullptr)
        m_observer->StoreIdle();
}

void TScanData::AnnounceViewChanged(TViewKind view, TViewChange change) {
    if (m_observer != nullptr)
        m_observer->ViewChanged(NormalizeViewKind(view), change);
}

} // namespace vdx
