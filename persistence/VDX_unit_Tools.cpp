#include "persistence/VDX_unit_Tools.h"

#include <algorithm>
#include <array>
#include <string>

#include "persistence/KLX_unit_Ini.h"
#include "persistence/VDX_unit_IniValues.h"

namespace vdx {

namespace {

using enum TToolStyle;

constexpr std::array<TToolInfo, 28> kTools{{
    {0, u"Separator", u"", Separator, -1, u""},
    {41, u"Explore", u"actResAct_Explore", Button, 9, u""},
    {42, u"Execute", u"actResAct_OpenFile", Button, 10, u""},
    {43, u"Properties", u"actResAct_Properties", Button, 11, u""},
    {44, u"Mark all", u"actResAct_MarkAll", Button, 12, u""},
    {45, u"Mark group", u"actResAct_MarkGroup", Button, 13, u""},
    {46, u"Smart mark", u"actResAct_SmartMark", Button, 17, u""},
    {47, u"Delete", u"actResAct_Delete", Button, 14, u""},
    {48, u"Scan info", u"actResAct_ScanInfo", Button, 15, u""},
    {49, u"Content compare", u"actResAct_ContentCompare", Button, 16, u""},
    {50, u"Navigator", u"actShow_Navigator", CheckButton, 19, u""},
    {51, u"Report", u"actResAct_ReportMenu", DropDown, 21, u"pupReportMenu"},
    {52, u"Copy to...", u"actResAct_CopyTo", Button, 23, u""},
    {53, u"Move to...", u"actResAct_MoveTo", Button, 24, u""},
    {61, u"Add Path", u"actSet_AddPath", Button, 0, u""},
    {62, u"Edit Path", u"actSet_EditPath", Button, 1, u""},
    {63, u"Delete", u"actSet_DeletePath", Button, 2, u""},
    {64, u"Select all", u"actSet_SelectAll", Button, 3, u""},
    {65, u"Search", u"actStartSearch", Button, 4, u""},
    {66, u"Adjust columns", u"actSet_AdjustColumns", Button, 18, u""},
    {67, u"Options", u"actOptions", Button, 20, u""},
    {68, u"Sets Store", u"actShow_SetStore", CheckButton, 22, u""},
    {69, u"Remove empty", u"actRemoveEmpty", Button, 25, u""},
    {71, u"Log viewer", u"actLogViewer", Button, 26, u""},
    {81, u"Save set", u"actStore_Save", Button, 5, u""},
    {82, u"Load set", u"actStore_Load", Button, 6, u""},
    {83, u"Rename set", u"actStore_Rename", Button, 7, u""},
    {84, u"Delete set", u"actStore_Delete", Button, 8, u""},
}};

// The row of a number no tool has: it still acts (as Explore) so a bar built
// from it never holds a dead button.
constexpr TToolInfo kFailedTool{-1, u"! failed !", u"actResAct_Explore", Button, 9, u""};

constexpr std::array<std::int32_t, 11> kSearchSetPool{0, 61, 62, 63, 64, 65, 66, 69, 71, 67, 68};
constexpr std::array<std::int32_t, 11> kSearchSetDefaults{61, 62, 63, 64, 0, 65, 0, 69, 71, 67, 68};
constexpr std::array<std::int32_t, 5> kSetStorePool{0, 81, 82, 83, 84};
constexpr std::array<std::int32_t, 4> kSetStoreDefaults{81, 82, 83, 84};
constexpr std::array<std::int32_t, 14> kResultPool{0,  41, 42, 43, 47, 44, 45,
                                                   48, 49, 46, 52, 53, 50, 51};
constexpr std::array<std::int32_t, 15> kResultDefaults{49, 0,  41, 42, 43, 0,  46, 0,
                                                       51, 47, 52, 53, 0,  48, 0};

} // namespace

const TToolInfo& ToolInfo(std::int32_t number) {
    for (const TToolInfo& info : kTools)
        if (info.number == number)
            return info;
    return kFailedTool;
}

bool IsKnownTool(std::int32_t number) {
    return ToolInfo(number).number == number;
}

std::span<const TToolInfo> ToolTable() {
    return kTools;
}

TTool::TTool(TToolBarKind bar) : m_bar(bar) {
    switch (bar) {
    case TToolBarKind::SearchSet:
        m_pool.assign(kSearchSetPool.begin(), kSearchSetPool.end());
        m_defaults.assign(kSearchSetDefaults.begin(), kSearchSetDefaults.end());
        break;
    case TToolBarKind::SetStore:
        m_pool.assign(kSetStorePool.begin(), kSetStorePool.end());
        m_defaults.assign(kSetStoreDefaults.begin(), kSetStoreDefaults.end());
        break;
    case TToolBarKind::Result:
        m_pool.assign(kResultPool.begin(), kResultPool.end());
        m_defaults.assign(kResultDefaults.begin(), kResultDefaults.end());
        break;
    }
    RecomputeAvailable();
}

std::string_view TTool::SectionName() const {
    switch (m_bar) {
    case TToolBarKind::SearchSet:
        return "tlbSearchSetSection";
    case TToolBarKind::SetStore:
        return "tlbSetStoreSection";
    case TToolBarKind::Result:
        break;
    }
    return "tlbResultSection";
}

void TTool::SetShowCaptions(bool show) {
    m_showCaptions = show;
    if (m_view)
        m_view->ApplyShowCaptions(show);
}

std::u16string_view TTool::CurrentText(std::size_t index) const {
    return index < m_current.size() ? ToolInfo(m_current[index]).text : kNoToolText;
}

std::u16string_view TTool::AvailableText(std::size_t index) const {
    return index < m_available.size() ? ToolInfo(m_available[index]).text : kNoToolText;
}

void TTool::Rebuild() {
    if (m_view)
        m_view->RebuildBar(*this);
}

void TTool::ResetToDefaults() {
    m_current = m_defaults;
    RecomputeAvailable();
    Rebuild();
}

bool TTool::TakeDefaultsIfEmpty() {
    if (!m_current.empty())
        return false;
    m_current = m_defaults;
    RecomputeAvailable();
    return true;
}

bool TTool::InPool(std::int32_t number) const {
    return std::find(m_pool.begin(), m_pool.end(), number) != m_pool.end();
}

void TTool::RecomputeAvailable() {
    m_available.clear();
    for (std::int32_t tool : m_pool)
        if (tool == kToolSeparator ||
            std::find(m_current.begin(), m_current.end(), tool) == m_current.end())
            m_available.push_back(tool);
    std::sort(m_available.begin(), m_available.end());
}

int TTool::AddFromAvailable(int availableIndex, int beforeCurrentIndex) {
    if (availableIndex < 0 || static_cast<std::size_t>(availableIndex) >= m_available.size())
        return -1;
    const std::int32_t tool = m_available[static_cast<std::size_t>(availableIndex)];
    std::size_t position = m_current.size();
    if (beforeCurrentIndex >= 0 && static_cast<std::size_t>(beforeCurrentIndex) < m_current.size())
        position = static_cast<std::size_t>(beforeCurrentIndex);
    m_current.insert(m_current.begin() + static_cast<std::ptrdiff_t>(position), tool);
    if (tool != kToolSeparator)
        m_available.erase(m_available.begin() + availableIndex);
    return static_cast<int>(position);
}

int TTool::RemoveToAvailable(int currentIndex) {
    if (currentIndex < 0 || static_cast<std::size_t>(currentIndex) >= m_current.size())
        return -1;
    const std::int32_t tool = m_current[static_cast<std::size_t>(currentIndex)];
    m_current.erase(m_current.begin() + currentIndex);
    auto found = std::lower_bound(m_available.begin(), m_available.end(), tool);
    if (found == m_available.end() || *found != tool) {
        if (!InPool(tool))
            return -1;
        found = m_available.insert(found, tool);
    }
    return static_cast<int>(found - m_available.begin());
}

bool TTool::Exchange(int i, int j) {
    const auto n = static_cast<int>(m_current.size());
    if (i < 0 || j < 0 || i >= n || j >= n)
        return false;
    std::swap(m_current[static_cast<std::size_t>(i)], m_current[static_cast<std::size_t>(j)]);
    return true;
}

bool TTool::Move(int from, int to) {
    const auto n = static_cast<int>(m_current.size());
    if (from < 0 || to < 0 || from >= n || to >= n)
        return false;
    const std::int32_t tool = m_current[static_cast<std::size_t>(from)];
    m_current.erase(m_current.begin() + from);
    m_current.insert(m_current.begin() + to, tool);
    return true;
}

void TTool::SetCurrent(std::span<const std::int32_t> tools) {
    m_current.clear();
    for (std::int32_t tool : tools) {
        if (tool < 0 || !InPool(tool))
            continue;
        if (tool != kToolSeparator &&
            std::find(m_current.begin(), m_current.end(), tool) != m_current.end())
            continue;
        m_current.push_back(tool);
    }
    RecomputeAvailable();
}

void TTool::Load(const TKLXIni& ini, int section) {
    m_showCaptions = ReadBool(ini, section, u"ShowLabels", true);
    const std::int32_t count = ReadCount(ini, section, u"ButtonCount");
    std::vector<std::int32_t> tools;
    std::u16string key;
    for (std::int32_t position = 1; position <= count; ++position) {
        const std::int32_t tool =
            ini.ReadInteger(section, NumberedKey(key, u"Button_", position), -1);
        if (tool >= 0)
            tools.push_back(tool);
    }
    SetCurrent(tools);
}

void TTool::Save(TKLXIni& ini, int section) const {
    WriteBool(ini, section, u"ShowLabels", m_showCaptions);
    ini.WriteInteger(section, u"ButtonCount", static_cast<std::int32_t>(m_current.size()));
    std::u16string key;
    for (std::size_t position = 0; position < m_current.size(); ++position)
        ini.WriteInteger(section,
                         NumberedKey(key, u"Button_", static_cast<std::int64_t>(position) + 1),
                         m_current[position]);
}

} // namespace vdx
