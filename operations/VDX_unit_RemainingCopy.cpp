#include "operations/VDX_unit_RemainingCopy.h"

#include "platform/VDX_unit_SystemError.h"

namespace vdx {

TRemainingCopyCheck::TRemainingCopyCheck(const TScanData& store, TViewKind view,
                                         const std::vector<std::int32_t>& files)
    : m_store(store), m_view(NormalizeViewKind(view)), m_inOperation(store.FileCount(), false),
      m_opener(store) {
    for (const std::int32_t file : files)
        if (file >= 0 && static_cast<std::uint32_t>(file) < store.FileCount())
            m_inOperation[static_cast<std::size_t>(file)] = true;
}

bool TRemainingCopyCheck::Stays(std::uint32_t file) const {
    return file < m_inOperation.size() && !m_inOperation[file] && !m_store.IsMarked(file, m_view) &&
           m_store.File(file).m_removed == 0;
}

bool TRemainingCopyCheck::IsRemainingCopy(std::uint32_t file, std::uint32_t other) {
    if (other == file || !Stays(other))
        return false;
    int dirFd = -1;
    const char* name = nullptr;
    return m_opener.CheckFile(other, dirFd, name) == 0;
}

int TRemainingCopyCheck::Check(std::uint32_t file) {
    if (file >= m_store.FileCount())
        return kErrorNoRemainingCopy;
    const std::int32_t group = m_store.FileGroup(file, m_view);
    if (group < 0 || static_cast<std::uint32_t>(group) >= m_store.GroupCount(m_view))
        return kErrorNoRemainingCopy;
    // A group's files are the rows after its header row; a view whose rows
    // were never built is searched file by file.
    const TGroupHead& head = m_store.GroupHead(m_view, static_cast<std::uint32_t>(group));
    const TRecordTable<TViewRowItem>& rows = m_store.Rows(m_view);
    if (head.m_headerRow >= 0) {
        const auto first = static_cast<std::uint32_t>(head.m_headerRow);
        for (std::uint32_t k = 0; k < head.m_fileCount && first + k < rows.Count(); ++k) {
            const TViewRowItem& row = rows[first + k];
            if (row.m_group == group && row.m_file >= 0 &&
                IsRemainingCopy(file, static_cast<std::uint32_t>(row.m_file)))
                return 0;
        }
        return kErrorNoRemainingCopy;
    }
    for (std::uint32_t other = 0; other < m_store.FileCount(); ++other)
        if (m_store.FileGroup(other, m_view) == group && IsRemainingCopy(file, other))
            return 0;
    return kErrorNoRemainingCopy;
}

} // namespace vdx
