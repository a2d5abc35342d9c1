#pragma once
// The message numbers workers and waiters post to their progress windows.
// They keep the classic WM_USER numbering so that every front end speaks the
// same protocol.

#include <cstdint>
#include <string_view>

namespace vdx {

inline constexpr std::uint32_t kWmUser = 1024;

inline constexpr std::uint32_t kMsgSearchWaiterDone = kWmUser + 10;  // 1034
inline constexpr std::uint32_t kMsgSearchWorkerEnded = kWmUser + 11; // 1035
inline constexpr std::uint32_t kMsgSearchProgress = kWmUser + 12;    // 1036

inline constexpr std::uint32_t kMsgContentWaiterDone = kWmUser + 30;  // 1054
inline constexpr std::uint32_t kMsgContentProgress = kWmUser + 31;    // 1055
inline constexpr std::uint32_t kMsgContentWorkerEnded = kWmUser + 32; // 1056

inline constexpr std::uint32_t kMsgDeleteWaiterDone = kWmUser + 40;  // 1064
inline constexpr std::uint32_t kMsgDeleteProgress = kWmUser + 41;    // 1065
inline constexpr std::uint32_t kMsgDeleteWorkerEnded = kWmUser + 42; // 1066

inline constexpr std::uint32_t kMsgCopyWaiterDone = kWmUser + 50;  // 1074
inline constexpr std::uint32_t kMsgCopyProgress = kWmUser + 51;    // 1075
inline constexpr std::uint32_t kMsgCopyWorkerEnded = kWmUser + 52; // 1076

// The empty-folder remover's worker, when freed; wParam is 1 when the run
// was aborted, else 0.
inline constexpr std::uint32_t kMsgRemoveEnded = kWmUser + 81; // 1105

// Phase codes of the progress records.
enum TPhase : std::int32_t {
    kPhaseScanning = 0,
    kPhaseComparing = 2,
    kPhaseCopying = 4,
    kPhaseDeleting = 5,
    kPhaseCompleted = 7,
    kPhaseAborted = 8,
    kPhasePreparingTables = 9,
    kPhaseCleanup = 11,
    kPhaseIndexing = 12,
    kPhasePreparingViewTables = 13,
    kPhaseIndexingTables = 14,
};

// The progress windows, one per worker; the copy window shows a move under
// texts of its own.
enum class TProgressKind : std::uint8_t { Search, Content, Delete, Copy, Move };

// The "Current operation:" text a progress window shows for a phase code.
// Each window has a text for the codes its worker posts and one for every
// other code (the aborted code among them), so that any code read from a
// record gives a text.
constexpr std::u16string_view StageText(TProgressKind kind, std::int32_t phase) {
    if (kind == TProgressKind::Content) {
        switch (phase) {
        case kPhaseComparing:
            return u"Comparing files content";
        case kPhaseCompleted:
            return u"Comparing completed";
        case kPhasePreparingViewTables:
            return u"Preparing view tables";
        case kPhaseIndexingTables:
            return u"Indexing tables";
        default:
            return u"Undefined";
        }
    }
    // The scan, deletion and copy windows share the grouping's stages.
    switch (phase) {
    case kPhasePreparingTables:
        return u"Preparing tables";
    case kPhaseCleanup:
        return u"Cleanup files";
    case kPhaseIndexing:
        return u"Indexing";
    default:
        break;
    }
    const bool completed = phase == kPhaseCompleted;
    switch (kind) {
    case TProgressKind::Search:
        return completed ? u"Scanning completed" : u"Scanning folders";
    case TProgressKind::Delete:
        return completed ? u"Delete completed" : u"Deleting files";
    case TProgressKind::Copy:
        return completed ? u"Copying completed" : u"Copying files";
    case TProgressKind::Move:
        return completed ? u"Moving completed" : u"Moving files";
    case TProgressKind::Content:
        break;
    }
    return u"Undefined";
}

} // namespace vdx
