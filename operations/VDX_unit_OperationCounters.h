#pragma once
// The counters of one delete, copy or move run: kept by its worker, handed
// to its waiter when the run ends, and read by the summaries.

#include <cstdint>

namespace vdx {

struct TOperationCounters {
    std::uint32_t processedCount = 0; // entries handled, done or failed
    std::uint64_t processedBytes = 0;
    std::uint32_t doneCount = 0; // files deleted, copied or moved
    // Their bytes: the sizes of deleted and renamed files, the bytes
    // written by copies.
    std::uint64_t doneBytes = 0;
    std::int32_t failedCount = 0; // files that could not be done or located
    std::uint64_t failedBytes = 0;
};

} // namespace vdx
