#pragma once
// Filling one of the main window's customisable tool bars from its layout:
// the bar is cleared and gets one button per current tool, in order, each
// bound to the main window's action of that tool.

#include <QString>
#include <functional>

class QAction;
class QMenu;
class QToolBar;

namespace vdx {

class TTool;

// The action of a command name ("actStore_Save"), null when there is none.
using TActionLookup = std::function<QAction*(const QString& name)>;
// The drop-down menu of a button by its name ("pupReportMenu"), null for none.
using TMenuLookup = std::function<QMenu*(const QString& name)>;

// Clears bar and adds the current tools of tool: a separator for tool 0,
// the looked-up action for the others (a tool whose action is missing is
// left out), the drop-down menu on the Report button, text beside the icon
// or the icon only as the layout says. Without a menu lookup the menu is
// looked for among the children of the action's owner.
void FillToolBar(QToolBar& bar, const TTool& tool, const TActionLookup& actions,
                 const TMenuLookup& menus = {});

} // namespace vdx
