#pragma once
// The tests' door to the store's tables: a test builds odd stores by hand
// (records flagged removed, groups appended, flags set) that no front end
// may make.

#include "engine/VDX_unit_ScanData.h"

namespace vdx {

struct TTestStoreDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

inline constexpr TStoreKey kTestKey = TTestStoreDoor::Key();

} // namespace vdx
