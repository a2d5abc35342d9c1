#include "persistence/VDX_unit_Placement.h"

#include <string>

#include "persistence/KLX_unit_Ini.h"
#include "persistence/VDX_unit_IniValues.h"

namespace vdx {

namespace {

struct TPlacementKeys {
    std::u16string moved, flag, num, state, top, left, width, height;
};

TPlacementKeys KeysOf(std::u16string_view name, bool isMain) {
    const std::u16string b = u"b_" + std::u16string(name);
    const std::u16string w = u"w_" + std::u16string(name);
    return TPlacementKeys{b + u"_moved", b + (isMain ? u"_Primary" : u"_Main"),
                          w + u"_Num",   w + u"_State",
                          w + u"_Top",   w + u"_Left",
                          w + u"_Width", w + u"_Height"};
}

} // namespace

TPlacementRecord MainPlacementDefaults() {
    TPlacementRecord record;
    record.state = -1;
    record.top = 1;
    record.left = 0;
    return record;
}

std::u16string_view PlacementName(TPlacementWindow window) {
    switch (window) {
    case TPlacementWindow::Alert:
        return u"Alert";
    case TPlacementWindow::CopyTo:
        return u"CopyTo";
    case TPlacementWindow::Delete:
        return u"Delete";
    case TPlacementWindow::LogViewer:
        return u"LogViewer";
    case TPlacementWindow::Smart:
        return u"Smart";
    case TPlacementWindow::Variables:
        return u"Variables";
    }
    return u"";
}

int PlacementSizeFactor(TPlacementWindow window) {
    return window == TPlacementWindow::Variables ? 4 : 7;
}

void LoadPlacement(TPlacementRecord& record, const TKLXIni& ini, int section,
                   std::u16string_view name, bool isMain, const TPlacementRecord& defaults) {
    const TPlacementKeys keys = KeysOf(name, isMain);
    record.moved = ReadBool(ini, section, keys.moved, defaults.moved);
    record.monitorFlag = ReadBool(ini, section, keys.flag, defaults.monitorFlag);
    record.monitorNumber = ini.ReadInteger(section, keys.num, defaults.monitorNumber);
    record.state = ini.ReadInteger(section, keys.state, defaults.state);
    record.top = ini.ReadInteger(section, keys.top, defaults.top);
    record.left = ini.ReadInteger(section, keys.left, defaults.left);
    record.width = ini.ReadInteger(section, keys.width, defaults.width);
    record.height = ini.ReadInteger(section, keys.height, defaults.height);
}

void SavePlacement(const TPlacementRecord& record, TKLXIni& ini, int section,
                   std::u16string_view name, bool isMain) {
    const TPlacementKeys keys = KeysOf(name, isMain);
    WriteBool(ini, section, keys.moved, record.moved);
    WriteBool(ini, section, keys.flag, record.monitorFlag);
    ini.WriteInteger(section, keys.num, record.monitorNumber);
    ini.WriteInteger(section, keys.state, record.state);
    ini.WriteInteger(section, keys.top, record.top);
    ini.WriteInteger(section, keys.left, record.left);
    ini.WriteInteger(section, keys.width, record.width);
    ini.WriteInteger(section, keys.height, record.height);
}

} // namespace vdx
