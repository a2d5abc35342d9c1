#include "operations/VDX_unit_SafetyAnalysis.h"

#include <algorithm>
#include <cerrno>
#include <initializer_list>
#include <limits>
#include <string_view>

#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

constexpr std::uint64_t kMegabyte = 1048576;
// The capacity of a trash without a size limit, in megabytes.
constexpr std::int32_t kUnlimitedCapacity = std::numeric_limits<std::int32_t>::max();

constexpr std::u16string_view kTitleFormat = u"Drive %s";
constexpr std::u16string_view kDetailsFormat = u" [%s] (%s, serial %s) is %s";
constexpr std::u16string_view kSelectionFormat =
    u"%s files (total %s bytes) are selected to delete from the drive";

constexpr std::u16string_view kDirectVerdict =
    u"You do not move files to the Recycle Bin (remove directly). Deleted files will be "
    u"unrecoverable.";
constexpr std::u16string_view kDirectAdvice =
    u"Turn off the \"Delete files directly\" option at the \"Delete files\" window.";
constexpr std::u16string_view kNoBinVerdict = u"Files will be deleted permanently.";
constexpr std::u16string_view kMoveAdvice =
    u"Move files into temporary folder instead of delete them.";
constexpr std::u16string_view kUnknownVerdict =
    u"VDX is unable to get Recycle Bin settings. Probably the files will be deleted permanently.";
constexpr std::u16string_view kChangeAdvice =
    u"Change Recycle Bin settings or Move files into temporary folder instead of delete them.";
constexpr std::u16string_view kSwitchedOffVerdict =
    u"Recycle Bin settings prevent to send files into Recycle Bin. Files will be deleted "
    u"permanently.";
constexpr std::u16string_view kRecoverableVerdict =
    u"Deleted files would be send into Recycle Bin. You will be able to recover deleted files "
    u"later.";
constexpr std::u16string_view kNoRoomVerdict =
    u"Not enough space in Recycle Bin to place deleted files. Files will be deleted permanently.";
constexpr std::u16string_view kReadOnlyVerdict =
    u"The drive is mounted read-only. Files cannot be deleted from it and will stay where they "
    u"are.";
constexpr std::u16string_view kReadOnlyAdvice =
    u"Mount the drive for writing first, or leave its files out of the list.";
constexpr std::u16string_view kClearAdvice =
    u"Clear Recycle Bin or Move files into temporary folder instead of delete them.";

// Fills the %s placeholders of format with args in order.
std::u16string FormatText(std::u16string_view format,
                          std::initializer_list<std::u16string_view> args) {
    std::u16string out;
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's' &&
            next != args.end()) {
            out.append(*next++);
            ++i;
        } else {
            out.push_back(format[i]);
        }
    }
    return out;
}

std::int64_t ClampToInt64(std::uint64_t value) {
    return value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(value);
}

// The root as the title shows it: without its trailing "/", except for the
// root folder itself, which would otherwise show as nothing.
std::u16string TitleRoot(const std::u16string& root) {
    if (root.size() > 1 && root.back() == u'/')
        return root.substr(0, root.size() - 1);
    return root;
}

// The volume-level facts of one trash that the verdict rules read.
void StoreTrashState(const TTrashState& state, TScanDrivesItem& item) {
    item.settingsKnown = state.problem != TTrashProblem::kNoTrashFolder;
    item.deleteAtOnce = state.problem == TTrashProblem::kSwitchedOff;
    item.capacity = 0;
    item.binBytes = 0;
    item.binItems = 0;
    if (state.problem != TTrashProblem::kNone)
        return;
    if (!state.limited) {
        item.capacity = kUnlimitedCapacity;
    } else {
        std::uint64_t megabytes = state.capacityBytes / kMegabyte;
        item.capacity = megabytes > static_cast<std::uint64_t>(kUnlimitedCapacity)
                            ? kUnlimitedCapacity
                            : static_cast<std::int32_t>(megabytes);
    }
    item.binBytes = ClampToInt64(state.bytes);
    item.binItems = ClampToInt64(state.items);
}

// True when the trash folder was ruled out for good (by permissions or
// ownership), not for a passing reason: the deletion then deletes the file
// permanently, as on a volume without any trash.
bool TrashFolderRuledOut(const TTrashState& state) {
    return state.problem == TTrashProblem::kNoTrashFolder &&
           (state.error == EACCES || state.error == EPERM);
}

// True when no file can be removed from the volume at all.
bool CannotDelete(const TTrashState& state) {
    return state.problem == TTrashProblem::kReadOnly ||
           (state.problem == TTrashProblem::kNoTrashFolder && state.error == EROFS);
}

// True when the volume has no trash at all: the rule that stands for
// "not a fixed drive" on a system where any mount may have a trash.
bool HasNoUsableTrash(const TTrashState& state) {
    return state.problem == TTrashProblem::kSystemVolume || TrashFolderRuledOut(state);
}

void Judge(const TScanDrivesItem& item, const TTrashState& state, bool deleteDirectly,
           TOutputItem& out) {
    auto set = [&out](std::u16string_view verdict, std::u16string_view advice, bool alert) {
        out.verdict = verdict;
        out.advice = advice;
        out.alert = alert;
        out.permanent = alert;
    };
    // Neither the trash nor a direct deletion can remove a file from a
    // read-only mount, so no other verdict would come true.
    if (CannotDelete(state)) {
        set(kReadOnlyVerdict, kReadOnlyAdvice, true);
        out.permanent = false;
    } else if (deleteDirectly) {
        set(kDirectVerdict, kDirectAdvice, true);
    } else if (HasNoUsableTrash(state)) {
        set(kNoBinVerdict, kMoveAdvice, true);
    } else if (!item.settingsKnown) {
        set(kUnknownVerdict, kChangeAdvice, true);
    } else if (item.deleteAtOnce) {
        set(kSwitchedOffVerdict, kChangeAdvice, true);
    } else if (static_cast<std::int64_t>(item.capacity) - item.binBytes / std::int64_t{1048576} >=
               ClampToInt64(item.selectedBytes / kMegabyte)) {
        set(kRecoverableVerdict, u"", false);
    } else {
        set(kNoRoomVerdict, kClearAdvice, true);
    }
}

} // namespace

std::u16string DriveTypeText(int driveType) {
    switch (driveType) {
    case kDriveUnknown:
        return u"an unknown drive";
    case kDriveNoRoot:
        return u"without root";
    case kDriveRemovable:
        return u"a removable drive";
    case kDriveFixed:
        return u"a fixed drive";
    case kDriveRemote:
        return u"a remote drive";
    case kDriveCdRom:
        return u"a CDROM drive";
    case kDriveRamDisk:
        return u"a ramdisk";
    default:
        return u"indefined";
    }
}

TSafetyAnalysis::TSafetyAnalysis(TScanDrivesData& drives, TTrashQuery query)
    : m_drives(drives), m_query(std::move(query)) {
    if (!m_query)
        m_query = [](const TScanDrivesItem& volume) { return QueryTrash(volume.root); };
}

void TSafetyAnalysis::ResetSelection() {
    for (std::size_t i = 0; i < m_drives.Count(); ++i) {
        m_drives.Item(i).selectedFiles = 0;
        m_drives.Item(i).selectedBytes = 0;
    }
}

void TSafetyAnalysis::AddFile(std::size_t volumeIndex, std::uint64_t size) {
    if (volumeIndex == kNoVolume || volumeIndex >= m_drives.Count())
        return;
    TScanDrivesItem& item = m_drives.Item(volumeIndex);
    ++item.selectedFiles;
    item.selectedBytes += size;
}

void TSafetyAnalysis::Analyse(bool deleteDirectly) {
    // The trash is read for every affected volume even when deleting
    // directly, so the records always describe the last analysis.
    std::vector<TTrashState> states(m_drives.Count());
    for (std::size_t i = 0; i < m_drives.Count(); ++i) {
        TScanDrivesItem& item = m_drives.Item(i);
        if (item.selectedFiles <= 0)
            continue;
        TTrashState state = m_query(item);
        StoreTrashState(state, item);
        states[i] = std::move(state);
    }

    m_items.clear();
    for (std::size_t i = 0; i < m_drives.Count(); ++i) {
        const TScanDrivesItem& item = m_drives.Item(i);
        if (item.selectedFiles <= 0)
            continue;
        TOutputItem out;
        out.root = item.root;
        out.title = FormatText(kTitleFormat, {TitleRoot(item.root)});
        out.details = FormatText(kDetailsFormat, {item.label, item.fileSystem,
                                                  FromUtf8(std::to_string(item.serial)),
                                                  DriveTypeText(item.driveType)});
        out.selection =
            FormatText(kSelectionFormat, {FormatNumber(item.selectedFiles),
                                          FormatNumber(ClampToInt64(item.selectedBytes))});
        out.volume = i;
        Judge(item, states[i], deleteDirectly, out);
        m_items.push_back(std::move(out));
    }

    // Roots differ between records, so the exact comparison only settles
    // roots that differ by letter case alone.
    std::vector<std::u16string> keys;
    std::vector<std::size_t> order(m_items.size());
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        keys.push_back(UpperCaseText(m_items[i].root));
        order[i] = i;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (keys[a] != keys[b])
            return keys[a] < keys[b];
        return m_items[a].root < m_items[b].root;
    });
    std::vector<TOutputItem> sorted;
    sorted.reserve(m_items.size());
    for (std::size_t i : order)
        sorted.push_back(std::move(m_items[i]));
    m_items = std::move(sorted);
}

std::bitset<kMaxVolumes> TSafetyAnalysis::PermanentVolumes() const {
    std::bitset<kMaxVolumes> volumes;
    for (const TOutputItem& item : m_items)
        if (item.permanent && item.volume < kMaxVolumes)
            volumes.set(item.volume);
    return volumes;
}

} // namespace vdx
