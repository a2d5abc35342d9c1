#pragma once
// Column layouts: for each of the five lists whose columns the user chooses,
// orders and sizes, every column it can show, the columns shown and their
// order, the widths, the autosize switch and the sort column and direction.
// The windows and the Columns dialog bind to these objects; the settings
// module loads and saves them.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vdx {

class TKLXIni;

// Column identifiers of the result lists (the current-set list uses 20..27,
// TSetColumn).
enum TResultColumn : int {
    kColMark = 10,
    kColGroup = 11,
    kColName = 12,
    kColExt = 13,
    kColPath = 14,
    kColSize = 15,
    kColDate = 16,
    kColAttr = 17,
};

// The caption of a column identifier; "???" for an unknown one.
std::u16string_view ColumnCaption(std::int32_t id);
// True for the identifiers a shown list may hold: 10..17 and 20..27.
bool IsColumnIdentifier(std::int32_t id);

inline constexpr std::int32_t kDefaultColumnWidth = 100;

// One column definition.
struct TColumnBag {
    std::int32_t id = 0;
    std::u16string caption;
    bool shown = false; // scratch state of the Columns dialog only
    bool fixed = true;  // the column cannot be hidden
    std::int32_t width = kDefaultColumnWidth;
};

// The five layouts, in the order their sections are written.
enum class TColumnLayout : int { SearchSet, Results, Delete, CopyMove, Alert };
inline constexpr int kColumnLayoutCount = 5;

// What tells the layouts apart: their section, key names and defaults.
struct TColumnLayoutInfo {
    std::string_view section;        // "LV_Columns" ...
    std::u16string_view shownPrefix; // "LV_clm_" ...; its count key is prefix + "Count"
    std::u16string_view sortKey;     // "SortID" or "SortCol"
    std::span<const std::int32_t> definitions;
    std::span<const std::int32_t> defaultShown;
    std::span<const std::int32_t> fixed;
    std::int32_t defaultSort;
};
const TColumnLayoutInfo& ColumnLayoutInfo(TColumnLayout layout);

class TColumnList {
public:
    // Empty lists; Load (or LoadDefaults) fills them.
    explicit TColumnList(TColumnLayout layout);

    TColumnLayout Layout() const { return m_layout; }
    const TColumnLayoutInfo& Info() const { return ColumnLayoutInfo(m_layout); }

    bool autosize = true;
    bool ascending = true;
    std::int32_t sortColumn = 0;

    // Appends a definition (fixed until Finish says otherwise); an identifier
    // already defined only takes the new width.
    void AddDefinition(std::int32_t id, std::int32_t width);
    // Appends id to the shown columns. Refused (false) unless id is one of
    // 10..17 and 20..27, is defined in this layout and is not shown yet: a
    // shown column always has its definition, and none is shown twice.
    bool AddShown(std::int32_t id);
    void ClearShown() { m_shown.clear(); }
    // Gives every definition its caption and its fixed flag.
    void Finish(std::span<const std::int32_t> fixedSet);
    void Finish(std::initializer_list<std::int32_t> fixedSet) {
        Finish(std::span<const std::int32_t>(fixedSet.begin(), fixedSet.size()));
    }

    std::size_t DefinitionCount() const { return m_definitions.size(); }
    std::size_t ShownCount() const { return m_shown.size(); }
    // nullptr / -1 for a position out of range or an unknown identifier.
    TColumnBag* Definition(std::size_t index);
    const TColumnBag* Definition(std::size_t index) const;
    std::int32_t ShownId(std::size_t position) const;
    TColumnBag* ShownDefinition(std::size_t position);
    const TColumnBag* ShownDefinition(std::size_t position) const;
    TColumnBag* FindDefinition(std::int32_t id);
    const TColumnBag* FindDefinition(std::int32_t id) const;
    bool IsShown(std::int32_t id) const;
    const std::vector<std::int32_t>& Shown() const { return m_shown; }

    // The store's sort key for the results layout's sort column: mark 10,
    // group 9, extension 3, path 6, size 4, date 5, anything else name 2.
    int ResultsSortKey() const;

    // The layout a missing section gives: every definition 100 wide, the
    // default shown order, autosize and ascending on, the default sort column.
    void LoadDefaults();
    // Reads the layout's section (section -1: all defaults). resultView, when
    // given, receives ResultView (0..5, else 0) of the results section. A sort
    // column that is not defined here, or a negative width, takes its default;
    // a shown list that names no usable column takes the default order.
    void Load(const TKLXIni& ini, int section, std::int32_t* resultView = nullptr);
    // Writes the flags, the sort column, ResultView when given, every width in
    // definition order and, when a column is shown, the count and the shown
    // identifiers.
    void Save(TKLXIni& ini, int section, const std::int32_t* resultView = nullptr) const;

private:
    TColumnLayout m_layout;
    std::vector<TColumnBag> m_definitions;
    std::vector<std::int32_t> m_shown;
};

} // namespace vdx
