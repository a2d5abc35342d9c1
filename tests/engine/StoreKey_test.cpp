#include "engine/VDX_unit_ScanData.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>

#include "tests/support/VDX_test_Store.h"
#include "tests/support/VDX_test_StoreKey.h"

namespace vdx {
namespace {

// What a front end holding the store (TSearchRun::Store() gives it a
// mutable reference) could write without the key. Each must fail to compile;
// these are checked when this file compiles.
template <typename TStore>
constexpr bool kChangesRecords = requires(TStore& s) {
    s.Files()[0].m_marks = 1;
}
|| requires(TStore& s) {
    s.File(0).m_removed = 1;
}
|| requires(TStore& s) {
    s.Folder(0).m_keepFolder = 1;
}
|| requires(TStore& s) {
    s.Folders()[0].m_keepFolder = 1;
};
template <typename TStore>
constexpr bool kChangesGroups = requires(TStore& s) {
    s.SizeGroups()[0].m_markState = 1;
}
|| requires(TStore& s) {
    s.GroupHead(kViewSameSize, 0).m_markedCount = 1;
}
|| requires(TStore& s) {
    s.SetGroupMarkState(kViewSameSize, 0, 1);
}
|| requires(TStore& s) {
    s.SetFileGroup(0, kViewSameSize, 0);
};
template <typename TStore>
constexpr bool kChangesViews = requires(TStore& s) {
    s.Rows(kViewSameSize)[0].m_file = 0;
}
|| requires(TStore& s) {
    s.Order(kViewSameSize)[0] = 0;
}
|| requires(TStore& s) {
    s.Counters(kViewSameSize).m_markedFiles = 0;
};
template <typename TStore>
constexpr bool kChangesPoolsAndFigures = requires(TStore& s) {
    s.Pool().Reset();
}
|| requires(TStore& s) {
    s.UpperPool().Reset();
}
|| requires(TStore& s) {
    s.Status().m_searchDone = true;
}
|| requires(TStore& s) {
    s.Operation().m_filesDone = 0;
}
|| requires(TStore& s) {
    s.ProtectionSkips().hidden = 0;
};
// Nor can it make a key of its own.
template <typename TKey>
constexpr bool kMakesKey = requires {
    TKey{};
};

static_assert(!kChangesRecords<TScanData> && !kChangesGroups<TScanData> &&
              !kChangesViews<TScanData> && !kChangesPoolsAndFigures<TScanData>);
static_assert(!kMakesKey<TStoreKey> && !std::is_default_constructible_v<TStoreKey>);
static_assert(std::is_empty_v<TStoreKey>);

// With the key the same writes compile.
template <typename TStore>
constexpr bool kChangesWithKey = requires(TStore& s, TStoreKey k) {
    s.Files(k)[0].m_marks = 1;
    s.File(k, 0).m_removed = 1;
    s.GroupHead(k, kViewSameSize, 0).m_markedCount = 1;
    s.Rows(k, kViewSameSize)[0].m_file = 0;
    s.Status(k).m_searchDone = true;
};
static_assert(kChangesWithKey<TScanData>);

TEST(StoreKeyTest, ReadsNeedNoKeyAndKeyedWritesReachTheStore) {
    TScanData store;
    test::BuildGroupedStore(store, {{u"/r/a/", u"x", 10}, {u"/r/b/", u"x", 10}});
    // A mutable store still reads through the const accessors.
    TScanData& mutableStore = store;
    ASSERT_EQ(mutableStore.Files().Count(), 2u);
    EXPECT_EQ(std::uint64_t{mutableStore.File(1).m_size}, 10u);
    EXPECT_FALSE(mutableStore.Status().m_searchDone);

    store.Status(kTestKey).m_searchDone = true;
    store.File(kTestKey, 1).m_size = 11;
    EXPECT_TRUE(store.Status().m_searchDone);
    EXPECT_EQ(store.FileSize(1), 11u);
}

} // namespace
} // namespace vdx
