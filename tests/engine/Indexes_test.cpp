#include "engine/VDX_unit_Indexes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>
#include <utility>

#include "engine/VDX_unit_Marks.h"
#include "engine/VDX_unit_ViewTexts.h"
#include "engine/VDX_unit_Views.h"

namespace vdx {
namespace {

// What a window's model could get wrong: each query of the views, their
// texts and the marks takes its own kind of position and no other, nor a
// plain integer. These are checked when this file compiles.
template <typename TPos>
constexpr bool kRowQueryTakes = requires(const TScanData& s, TPos p) {
    RowFile(s, kViewSameName, p);
    RowMark(s, kViewSameName, p);
    RowGroupText(s, kViewSameName, p);
};
template <typename TPos>
constexpr bool kNavQueryTakes = requires(const TScanData& s, TPos p) {
    NavGroupIndex(s, kViewSameName, p);
    NavHeaderRow(s, kViewSameName, p);
};
template <typename TPos>
constexpr bool kRowMarkTakes = requires(TScanData& s, TPos p) {
    ToggleRowMark(s, kViewSameName, p);
};
template <typename TPos>
constexpr bool kGroupMarkTakes = requires(TScanData& s, TPos p) {
    ToggleGroupMarks(s, kViewSameName, p);
};
template <typename TPos>
constexpr bool kFileMarkTakes = requires(TScanData& s, TPos p) {
    SetFileMark(s, kViewSameName, p, true);
};
template <typename TPos>
constexpr bool kCellTextTakes = requires(const TScanData& s, TPos p) {
    FileCellText(s, kViewSameName, p, kGridColName);
};
template <typename TPos>
constexpr bool kGroupTextTakes = requires(const TScanData& s, TPos p) {
    GroupText(s, kViewSameName, p);
    GroupName(s, kViewSameName, p);
    GroupFullyMarked(s, kViewSameName, p);
};

static_assert(kRowQueryTakes<TRow> && kRowMarkTakes<TRow>);
static_assert(!kRowQueryTakes<TNavPos> && !kRowQueryTakes<TFileIndex> &&
              !kRowQueryTakes<TGroupIndex> && !kRowQueryTakes<std::int64_t>);
static_assert(!kRowMarkTakes<TNavPos> && !kRowMarkTakes<int>);

static_assert(kNavQueryTakes<TNavPos> && kGroupMarkTakes<TNavPos>);
static_assert(!kNavQueryTakes<TRow> && !kNavQueryTakes<TGroupIndex> && !kNavQueryTakes<int>);
static_assert(!kGroupMarkTakes<TRow> && !kGroupMarkTakes<TGroupIndex> && !kGroupMarkTakes<int>);

static_assert(kFileMarkTakes<TFileIndex> && kCellTextTakes<TFileIndex>);
static_assert(!kFileMarkTakes<TRow> && !kFileMarkTakes<TGroupIndex> &&
              !kFileMarkTakes<std::uint32_t>);
static_assert(!kCellTextTakes<TRow> && !kCellTextTakes<TGroupIndex> &&
              !kCellTextTakes<std::uint32_t>);

static_assert(kGroupTextTakes<TGroupIndex>);
static_assert(!kGroupTextTakes<TFileIndex> && !kGroupTextTakes<TNavPos> &&
              !kGroupTextTakes<std::int32_t>);

// The answers are typed too: a file index does not pass for a row, nor a
// group index for a plain number.
static_assert(
    std::is_same_v<decltype(RowFile(std::declval<const TScanData&>(), kViewSameName, TRow{0})),
                   TFileIndex>);
static_assert(std::is_same_v<decltype(NavGroupIndex(std::declval<const TScanData&>(), kViewSameName,
                                                    TNavPos{0})),
                             TGroupIndex>);
static_assert(
    std::is_same_v<
        decltype(NavHeaderRow(std::declval<const TScanData&>(), kViewSameName, TNavPos{0})), TRow>);

// Comparisons exist within a kind only.
template <typename A, typename B>
constexpr bool kComparable = requires(A a, B b) {
    a == b;
};
static_assert(kComparable<TRow, TRow> && kComparable<TFileIndex, TFileIndex>);
static_assert(!kComparable<TRow, TNavPos> && !kComparable<TFileIndex, TGroupIndex> &&
              !kComparable<TRow, std::int64_t> && !kComparable<TFileIndex, int>);

TEST(IndexesTest, ValuesOrderAndNoneConstantsAreThePlainIntegers) {
    static_assert(TRow{5}.Value() == 5 && TNavPos{7}.Value() == 7);
    EXPECT_LT(TRow{2}, TRow{3});
    EXPECT_GT(TNavPos{-1}, TNavPos{-2});
    EXPECT_EQ(TRow::kNone.Value(), -1);
    EXPECT_EQ(TFileIndex::kNone.Value(), -1);
    EXPECT_EQ(TGroupIndex::kNone.Value(), -1);
    // Table indices arrive unsigned; every index a table can hold keeps its
    // value.
    EXPECT_EQ(TFileIndex{std::uint32_t{0x7FFFFFFF}}.Value(), 0x7FFFFFFF);
    EXPECT_EQ(TGroupIndex{std::uint32_t{3}}, TGroupIndex{3});
    EXPECT_EQ(TRow{std::uint32_t{0xFFFFFFFF}}.Value(), std::int64_t{0xFFFFFFFF});
}

} // namespace
} // namespace vdx
