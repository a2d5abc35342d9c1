#pragma once
// The Customize Toolbar dialog: moves tools between a bar's available and
// current lists, orders the current ones, restores the defaults and
// switches the button texts. Every change goes into the layout and onto the
// bar at once (through the layout's bar view); the dialog only closes.

#include <QDialog>
#include <QList>

class QAction;
class QCheckBox;
class QListWidget;
class QPushButton;

namespace vdx {

class TTool;
class TCurrentToolList;

class Tform_ToolCustom : public QDialog {
    Q_OBJECT
public:
    // actions are the main window's (objectName = command name); they give
    // the list entries their images.
    Tform_ToolCustom(TTool& tool, const QList<QAction*>& actions, QWidget* parent = nullptr);

    // True once anything was changed.
    bool Changed() const { return m_changed; }

private:
    void Fill(int availableRow, int currentRow);
    void Add();
    void Remove();
    void Exchange(int delta);
    void Dropped(int from, int to);
    void Reset();
    void UpdateButtons();
    void Applied();
    QIcon ToolIcon(std::int32_t number) const;

    TTool& m_tool;
    QList<QAction*> m_actions;
    bool m_changed = false;

    QListWidget* m_lbxAvailable;
    TCurrentToolList* m_lbxCurrent;
    QPushButton* m_btnAdd;
    QPushButton* m_btnRemove;
    QPushButton* m_btnMoveUp;
    QPushButton* m_btnMoveDown;
    QPushButton* m_btnReset;
    QCheckBox* m_chkTextLabels;
    QPushButton* m_btnClose;
    QPushButton* m_btnHelp;
};

// The row a button dragged from row from lands on when it is dropped at
// row target (-1: below the last row), before or after it: the position
// TTool::Move takes.
int DropPosition(int from, int target, bool below, int count);

// Shows the dialog for tool over owner; true when the layout changed.
bool ExecuteToolCustom(QWidget* owner, TTool& tool, const QList<QAction*>& actions);

} // namespace vdx
