#pragma once
// Tool bar layouts: for each of the main window's three customisable bars,
// the pool of tools it may hold, its default buttons, its current buttons in
// order, the tools that can still be added, and whether buttons show their
// text. The main window and the Customize Toolbar dialog bind to a TTool
// through TToolBarView; the settings module loads and saves it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vdx {

class TKLXIni;

inline constexpr std::int32_t kToolSeparator = 0;
inline constexpr int kSeparatorWidth = 8;

enum class TToolStyle { Separator, Button, CheckButton, DropDown };

// One row of the tool table.
struct TToolInfo {
    std::int32_t number;
    std::u16string_view text;    // the text of the dialog lists
    std::u16string_view command; // the main window's action ("" for a separator)
    TToolStyle style;
    std::int32_t image;               // index in the tool image list, -1 for none
    std::u16string_view dropDownMenu; // the menu of a drop-down button, else ""
};

// The row of a tool number; an unknown number gives the row with the text
// "! failed !" and the Explore command.
const TToolInfo& ToolInfo(std::int32_t number);
bool IsKnownTool(std::int32_t number);
// Every known tool, the separator first.
std::span<const TToolInfo> ToolTable();
// The text shown for a list position outside its list.
inline constexpr std::u16string_view kNoToolText = u"??";

// The three bars, by their tags.
enum class TToolBarKind : int { SearchSet = 20, SetStore = 21, Result = 22 };
inline constexpr int kToolBarCount = 3;

class TTool;

// What a real tool bar does for its layout; implemented by the main window.
class TToolBarView {
public:
    virtual ~TToolBarView() = default;
    // Replaces every button of the bar by the layout's current tools.
    virtual void RebuildBar(const TTool& tool) = 0;
    virtual void ApplyShowCaptions(bool show) = 0;
};

class TTool {
public:
    // The bar's pool and defaults; the current list starts empty.
    explicit TTool(TToolBarKind bar);

    TToolBarKind Bar() const { return m_bar; }
    // "tlbSearchSetSection", "tlbSetStoreSection" or "tlbResultSection".
    std::string_view SectionName() const;

    // The bar this layout fills; nullptr detaches it. Not owned.
    void SetView(TToolBarView* view) { m_view = view; }
    TToolBarView* View() const { return m_view; }

    bool ShowCaptions() const { return m_showCaptions; }
    // Stores the flag and applies it to the bar.
    void SetShowCaptions(bool show);

    const std::vector<std::int32_t>& Pool() const { return m_pool; }
    const std::vector<std::int32_t>& Defaults() const { return m_defaults; }
    const std::vector<std::int32_t>& Current() const { return m_current; }
    const std::vector<std::int32_t>& Available() const { return m_available; }
    // The text of a list position, "??" outside the list.
    std::u16string_view CurrentText(std::size_t index) const;
    std::u16string_view AvailableText(std::size_t index) const;

    // Rebuilds the bar from the current list (nothing without a bar).
    void Rebuild();
    // Current = defaults, available recomputed, bar rebuilt.
    void ResetToDefaults();
    // Takes the defaults when the current list is empty (at start-up, so a bar
    // emptied in one run is full again in the next); true when it did.
    bool TakeDefaultsIfEmpty();
    // Available = the pool's tools that are not current, plus the pool's
    // separator, ascending.
    void RecomputeAvailable();
    // Inserts the available tool before current position beforeCurrentIndex
    // (at the end for a negative or too large index); a tool other than the
    // separator leaves the available list. Returns the new current position,
    // or -1 (nothing changed) for an available index out of range.
    int AddFromAvailable(int availableIndex, int beforeCurrentIndex);
    // Removes the button; a tool other than the separator goes back into the
    // available list (kept sorted). Returns the tool's position in the
    // available list, or -1 (nothing changed) for a current index out of range.
    int RemoveToAvailable(int currentIndex);
    // Exchange swaps two buttons; Move takes a button out and inserts it at to
    // (a drag in the dialog). False, changing nothing, for an index out of range.
    bool Exchange(int i, int j);
    bool Move(int from, int to);
    // Replaces the current list (a load, or a test); numbers that are
    // negative, not in the pool, or a second copy of a tool other than the
    // separator are skipped. Available is recomputed.
    void SetCurrent(std::span<const std::int32_t> tools);

    // Reads ShowLabels and the buttons 1..ButtonCount (section -1: flag on, no
    // buttons), with the skips of SetCurrent. Does not rebuild.
    void Load(const TKLXIni& ini, int section);
    void Save(TKLXIni& ini, int section) const;

private:
    bool InPool(std::int32_t number) const;

    TToolBarKind m_bar;
    TToolBarView* m_view = nullptr;
    bool m_showCaptions = true;
    std::vector<std::int32_t> m_pool;
    std::vector<std::int32_t> m_available;
    std::vector<std::int32_t> m_current;
    std::vector<std::int32_t> m_defaults;
};

} // namespace vdx
