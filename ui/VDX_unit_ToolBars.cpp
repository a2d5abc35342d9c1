#include "ui/VDX_unit_ToolBars.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

#include "persistence/VDX_unit_Tools.h"
#include "platform/qt/VDX_unit_QtText.h"

namespace vdx {

void FillToolBar(QToolBar& bar, const TTool& tool, const TActionLookup& actions,
                 const TMenuLookup& menus) {
    bar.clear();
    bar.setToolButtonStyle(tool.ShowCaptions() ? Qt::ToolButtonTextBesideIcon
                                               : Qt::ToolButtonIconOnly);
    for (std::int32_t number : tool.Current()) {
        const TToolInfo& info = ToolInfo(number);
        if (info.style == TToolStyle::Separator) {
            bar.addSeparator();
            continue;
        }
        QAction* action = actions ? actions(ToQString(info.command)) : nullptr;
        if (!action)
            continue;
        bar.addAction(action);
        if (info.style != TToolStyle::DropDown || info.dropDownMenu.empty())
            continue;
        const QString menuName = ToQString(info.dropDownMenu);
        QMenu* menu = nullptr;
        if (menus)
            menu = menus(menuName);
        else if (QObject* owner = action->parent())
            menu = owner->findChild<QMenu*>(menuName);
        auto* button = qobject_cast<QToolButton*>(bar.widgetForAction(action));
        if (menu && button) {
            button->setMenu(menu);
            button->setPopupMode(QToolButton::MenuButtonPopup);
        }
    }
}

} // namespace vdx
