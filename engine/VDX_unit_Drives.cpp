#include "engine/VDX_unit_Drives.h"

#include "platform/VDX_unit_Volumes.h"

namespace vdx {

namespace {

// Cuts text to kMaxVolumeText code units without splitting a surrogate pair.
std::u16string Clipped(std::u16string text) {
    if (text.size() > kMaxVolumeText) {
        std::size_t keep = kMaxVolumeText;
        char16_t last = text[keep - 1];
        if (last >= 0xD800 && last <= 0xDBFF)
            --keep;
        text.resize(keep);
    }
    return text;
}

// The root of path's volume; empty when it cannot be determined, so every
// such path meets in the one record with the empty root.
std::u16string RootOfPath(std::u16string_view path) {
    std::u16string root;
    if (FindVolumeRoot(path, root) != 0)
        root.clear();
    return root;
}

} // namespace

void TScanDrivesData::Clear() {
    m_items.clear();
    m_items.shrink_to_fit();
}

TVolumeIndex TScanDrivesData::FindRoot(std::u16string_view root) const {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].root == root)
            return static_cast<TVolumeIndex>(i);
    }
    return kNoVolume;
}

TVolumeIndex TScanDrivesData::Find(std::u16string_view path) const {
    return FindRoot(RootOfPath(path));
}

TVolumeIndex TScanDrivesData::Register(std::u16string_view path) {
    // One query gives both the root and the facts; facts that cannot be read
    // stay empty or 0 and the volume is still added. A volume that cannot be
    // found at all gets the empty root.
    TVolumeInfo info;
    if (QueryVolume(path, info) != 0)
        info = TVolumeInfo();
    TVolumeIndex index = FindRoot(info.root);
    if (index != kNoVolume)
        return index;
    // Index 256 and above would read as "no volume"; such a volume's files
    // are simply left out of the per-volume figures.
    if (m_items.size() >= kMaxVolumes)
        return kNoVolume;

    TScanDrivesItem item;
    item.root = std::move(info.root);
    item.serial = info.serial;
    item.fileSystem = Clipped(std::move(info.fileSystem));
    item.label = Clipped(std::move(info.label));
    item.totalBytes = info.totalBytes;
    item.freeBytes = info.freeBytes;
    item.driveType = info.driveType;
    m_items.push_back(std::move(item));
    return static_cast<TVolumeIndex>(m_items.size() - 1);
}

TVolumeIndex TScanDrivesData::Add(TScanDrivesItem item) {
    if (m_items.size() >= kMaxVolumes)
        return kNoVolume;
    m_items.push_back(std::move(item));
    return static_cast<TVolumeIndex>(m_items.size() - 1);
}

} // namespace vdx
