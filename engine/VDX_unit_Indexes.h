#pragma once
// Typed positions of the result views: a row of a view's grid, a position
// of its group navigator, a file index and a group index. A window's models
// hold all four side by side and all four are small integers, so each has a
// type of its own: passing a navigator position where a row is expected, or
// a file index where a group index is, does not compile. Each is exactly its
// integer, built explicitly and read with Value(); the packed records of the
// store keep plain integers.

#include <compare>
#include <concepts>
#include <cstdint>
#include <type_traits>

namespace vdx {

// The shared shape. TSelf makes every instance a distinct type: the
// comparisons take two values of one kind only.
template <typename TSelf, typename TInt>
class TTypedIndex {
public:
    using TValue = TInt;

    constexpr explicit TTypedIndex(TInt value) noexcept : m_value(value) {}
    // From an index as the store's tables count them, unsigned; the tables
    // hold at most 2^31 - 1 records, so every such index fits.
    template <std::unsigned_integral TUnsigned>
    requires(sizeof(TUnsigned) <=
             sizeof(TInt)) constexpr explicit TTypedIndex(TUnsigned value) noexcept
        : m_value(static_cast<TInt>(value)) {}
    constexpr TInt Value() const noexcept { return m_value; }

    friend constexpr bool operator==(TTypedIndex a, TTypedIndex b) noexcept {
        return a.m_value == b.m_value;
    }
    friend constexpr std::strong_ordering operator<=>(TTypedIndex a, TTypedIndex b) noexcept {
        return a.m_value <=> b.m_value;
    }

private:
    TInt m_value;
};

// A row of a view's grid, zero-based. Any integer may be asked about; the
// queries answer a neutral value for a row out of range.
struct TRow : TTypedIndex<TRow, std::int64_t> {
    using TTypedIndex::TTypedIndex;
    // What the navigator gives for a position out of range.
    static const TRow kNone;
};
inline constexpr TRow TRow::kNone{-1};

// A position in a view's group navigator, zero-based.
struct TNavPos : TTypedIndex<TNavPos, std::int64_t> {
    using TTypedIndex::TTypedIndex;
};

// A file's index in the store's file table.
struct TFileIndex : TTypedIndex<TFileIndex, std::int32_t> {
    using TTypedIndex::TTypedIndex;
    // The file of a header row, or of a row out of range.
    static const TFileIndex kNone;
};
inline constexpr TFileIndex TFileIndex::kNone{-1};

// A group's index in a view's group table (its group number less one).
struct TGroupIndex : TTypedIndex<TGroupIndex, std::int32_t> {
    using TTypedIndex::TTypedIndex;
    // The group of a navigator position out of range.
    static const TGroupIndex kNone;
};
inline constexpr TGroupIndex TGroupIndex::kNone{-1};

static_assert(sizeof(TRow) == sizeof(std::int64_t) && sizeof(TNavPos) == sizeof(std::int64_t));
static_assert(sizeof(TFileIndex) == sizeof(std::int32_t) &&
              sizeof(TGroupIndex) == sizeof(std::int32_t));
static_assert(std::is_trivially_copyable_v<TRow> && std::is_trivially_copyable_v<TFileIndex>);
// No conversions between the kinds, nor from or to plain integers.
static_assert(!std::is_convertible_v<TRow, TNavPos> && !std::is_convertible_v<TNavPos, TRow>);
static_assert(!std::is_convertible_v<TFileIndex, TGroupIndex>);
static_assert(!std::is_convertible_v<std::int64_t, TRow> &&
              !std::is_convertible_v<TRow, std::int64_t>);

} // namespace vdx
