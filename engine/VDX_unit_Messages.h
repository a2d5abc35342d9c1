#pragma once
// The message numbers workers and waiters post to their progress windows.
// They keep the classic WM_USER numbering so that every front end speaks the
// same protocol.

#include <cstdint>

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

} // namespace vdx
