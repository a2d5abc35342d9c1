#include "ui/VDX_form_ToolCustom.h"
#include "ui/VDX_unit_DialogParts.h"

#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "persistence/VDX_unit_Tools.h"
#include "platform/qt/VDX_unit_Help.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_WindowPlacement.h"

namespace vdx {

// The current buttons, which the user may reorder by dragging. The list
// never moves its own rows: a drop is handed to the layout, and the lists
// are filled again from it.
class TCurrentToolList : public QListWidget {
public:
    std::function<void(int from, int to)> onMove;

protected:
    void dropEvent(QDropEvent* event) override {
        if (event->source() != this || !onMove) {
            event->ignore();
            return;
        }
        const QModelIndex at = indexAt(event->position().toPoint());
        const int target = at.isValid() ? at.row() : -1;
        const bool below = dropIndicatorPosition() == QAbstractItemView::BelowItem;
        // A copy, as far as the drag knows, so it removes nothing itself.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        onMove(currentRow(), DropPosition(currentRow(), target, below, count()));
    }
};

namespace {

int HelpContextOf(TToolBarKind bar) {
    switch (bar) {
    case TToolBarKind::SearchSet:
        return 34;
    case TToolBarKind::SetStore:
        return 33;
    case TToolBarKind::Result:
        break;
    }
    return 35;
}

void SelectRow(QListWidget* list, int row) {
    if (list->count() == 0)
        return;
    list->setCurrentRow(std::clamp(row, 0, list->count() - 1));
}

} // namespace

int DropPosition(int from, int target, bool below, int count) {
    if (count <= 0)
        return -1;
    int insert = target < 0 || target >= count ? count : (below ? target + 1 : target);
    if (insert > from)
        --insert;
    return std::clamp(insert, 0, count - 1);
}

Tform_ToolCustom::Tform_ToolCustom(TTool& tool, const QList<QAction*>& actions, QWidget* parent)
    : QDialog(parent), m_tool(tool), m_actions(actions) {
    setObjectName(QStringLiteral("form_ToolCustom"));
    setWindowTitle(tr("Customize Toolbar"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    SetHelpContext(this, HelpContextOf(tool.Bar()));

    auto* lblAvailable = new QLabel(tr("Available toolbar buttons:"));
    lblAvailable->setObjectName(QStringLiteral("lblAvailable"));
    m_lbxAvailable = new QListWidget;
    m_lbxAvailable->setObjectName(QStringLiteral("lbxAvailable"));
    m_lbxAvailable->setAccessibleName(tr("Available toolbar buttons"));
    lblAvailable->setBuddy(m_lbxAvailable);

    auto* lblCurrent = new QLabel(tr("Current toolbar buttons:"));
    lblCurrent->setObjectName(QStringLiteral("lblCurrent"));
    m_lbxCurrent = new TCurrentToolList;
    m_lbxCurrent->setObjectName(QStringLiteral("lbxCurrent"));
    m_lbxCurrent->setAccessibleName(tr("Current toolbar buttons"));
    m_lbxCurrent->setDragDropMode(QAbstractItemView::InternalMove);
    m_lbxCurrent->setDefaultDropAction(Qt::MoveAction);
    lblCurrent->setBuddy(m_lbxCurrent);
    m_lbxCurrent->onMove = [this](int from, int to) { Dropped(from, to); };
    for (QListWidget* list : {m_lbxAvailable, static_cast<QListWidget*>(m_lbxCurrent)}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setUniformItemSizes(true);
        list->setIconSize(QSize(16, 16));
    }

    m_btnAdd = MakeDialogButton(tr("&Add ->"), "btnAdd");
    m_btnRemove = MakeDialogButton(tr("<- &Remove"), "btnRemove");
    m_btnMoveUp = MakeDialogButton(tr("Move &Up"), "btnMoveUp");
    m_btnMoveDown = MakeDialogButton(tr("Move &Down"), "btnMoveDown");
    m_btnReset = MakeDialogButton(tr("Reset"), "btnReset");
    m_chkTextLabels = new QCheckBox(tr("Show text labels on buttons"));
    m_chkTextLabels->setObjectName(QStringLiteral("chkTextLabels"));
    m_chkTextLabels->setAccessibleName(tr("Show text labels on buttons"));
    m_btnClose = MakeDialogButton(tr("&Close"), "btnClose");
    m_btnClose->setDefault(true);
    m_btnHelp = MakeDialogButton(tr("Help"), "btnHelp");

    auto* availableColumn = new QVBoxLayout;
    availableColumn->addWidget(lblAvailable);
    availableColumn->addWidget(m_lbxAvailable, 1);
    auto* middle = new QVBoxLayout;
    middle->addStretch(1);
    middle->addWidget(m_btnAdd);
    middle->addWidget(m_btnRemove);
    middle->addStretch(1);
    auto* currentColumn = new QVBoxLayout;
    currentColumn->addWidget(lblCurrent);
    currentColumn->addWidget(m_lbxCurrent, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(m_btnClose);
    side->addWidget(m_btnReset);
    side->addWidget(m_btnHelp);
    side->addSpacing(16);
    side->addWidget(m_btnMoveUp);
    side->addWidget(m_btnMoveDown);
    side->addStretch(1);

    auto* lists = new QHBoxLayout;
    lists->addLayout(availableColumn, 1);
    lists->addLayout(middle);
    lists->addLayout(currentColumn, 1);
    lists->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addWidget(m_chkTextLabels);

    setTabOrder(m_lbxAvailable, m_btnAdd);
    setTabOrder(m_btnAdd, m_btnRemove);
    setTabOrder(m_btnRemove, m_lbxCurrent);
    setTabOrder(m_lbxCurrent, m_btnClose);
    setTabOrder(m_btnClose, m_btnReset);
    setTabOrder(m_btnReset, m_btnHelp);
    setTabOrder(m_btnHelp, m_btnMoveUp);
    setTabOrder(m_btnMoveUp, m_btnMoveDown);
    setTabOrder(m_btnMoveDown, m_chkTextLabels);

    m_chkTextLabels->setChecked(tool.ShowCaptions());
    tool.RecomputeAvailable();
    Fill(0, 0);

    connect(m_btnAdd, &QPushButton::clicked, this, &Tform_ToolCustom::Add);
    connect(m_btnRemove, &QPushButton::clicked, this, &Tform_ToolCustom::Remove);
    connect(m_lbxAvailable, &QListWidget::itemDoubleClicked, this, &Tform_ToolCustom::Add);
    connect(m_lbxCurrent, &QListWidget::itemDoubleClicked, this, &Tform_ToolCustom::Remove);
    connect(m_btnMoveUp, &QPushButton::clicked, this, [this] { Exchange(-1); });
    connect(m_btnMoveDown, &QPushButton::clicked, this, [this] { Exchange(1); });
    connect(m_btnReset, &QPushButton::clicked, this, &Tform_ToolCustom::Reset);
    connect(m_chkTextLabels, &QCheckBox::toggled, this, [this](bool on) {
        m_tool.SetShowCaptions(on);
        m_changed = true;
    });
    connect(m_lbxAvailable, &QListWidget::currentRowChanged, this,
            &Tform_ToolCustom::UpdateButtons);
    connect(m_lbxCurrent, &QListWidget::currentRowChanged, this, &Tform_ToolCustom::UpdateButtons);
    connect(m_btnClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnHelp, &QPushButton::clicked, this,
            [this] { ShowHelpContext(HelpContextOf(m_tool.Bar())); });
    resize(560, 400);
}

QIcon Tform_ToolCustom::ToolIcon(std::int32_t number) const {
    const QString command = ToQString(ToolInfo(number).command);
    for (QAction* action : m_actions)
        if (!command.isEmpty() && action && action->objectName() == command &&
            !action->icon().isNull())
            return action->icon();
    // A blank image keeps the texts of the separator and of tools without an
    // image in line with the others.
    QPixmap blank(m_lbxAvailable->iconSize());
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

void Tform_ToolCustom::Fill(int availableRow, int currentRow) {
    const auto fill = [this](QListWidget* list, const std::vector<std::int32_t>& tools) {
        const QSignalBlocker block(list);
        list->clear();
        for (std::int32_t number : tools) {
            auto* item = new QListWidgetItem(ToolIcon(number), ToQString(ToolInfo(number).text));
            item->setData(Qt::UserRole, number);
            list->addItem(item);
        }
    };
    fill(m_lbxAvailable, m_tool.Available());
    fill(m_lbxCurrent, m_tool.Current());
    {
        const QSignalBlocker blockAvailable(m_lbxAvailable);
        const QSignalBlocker blockCurrent(m_lbxCurrent);
        SelectRow(m_lbxAvailable, availableRow);
        SelectRow(m_lbxCurrent, currentRow);
    }
    UpdateButtons();
}

void Tform_ToolCustom::Applied() {
    m_changed = true;
    m_tool.Rebuild();
}

void Tform_ToolCustom::Add() {
    const int available = m_lbxAvailable->currentRow();
    const int current = m_lbxCurrent->currentRow();
    if (m_tool.AddFromAvailable(available, current) < 0)
        return;
    Applied();
    // Both selections stay where they were (the new button takes the
    // current one's place), or go to the last entry of a shorter list.
    Fill(available, current < 0 ? m_lbxCurrent->count() : current);
}

void Tform_ToolCustom::Remove() {
    const int current = m_lbxCurrent->currentRow();
    const int available = m_lbxAvailable->currentRow();
    if (m_tool.RemoveToAvailable(current) < 0)
        return;
    Applied();
    Fill(available, current);
}

void Tform_ToolCustom::Exchange(int delta) {
    const int row = m_lbxCurrent->currentRow();
    if (!m_tool.Exchange(row, row + delta))
        return;
    Applied();
    Fill(m_lbxAvailable->currentRow(), row + delta);
}

void Tform_ToolCustom::Dropped(int from, int to) {
    if (from == to || !m_tool.Move(from, to))
        return;
    Applied();
    Fill(m_lbxAvailable->currentRow(), to);
}

void Tform_ToolCustom::Reset() {
    m_tool.ResetToDefaults();
    m_changed = true;
    Fill(m_lbxAvailable->currentRow(), m_lbxCurrent->currentRow());
}

void Tform_ToolCustom::UpdateButtons() {
    const int current = m_lbxCurrent->currentRow();
    const int count = m_lbxCurrent->count();
    m_btnAdd->setEnabled(m_lbxAvailable->currentRow() >= 0);
    m_btnRemove->setEnabled(current >= 0);
    m_btnMoveUp->setEnabled(current > 0);
    m_btnMoveDown->setEnabled(current >= 0 && current + 1 < count);
}

bool ExecuteToolCustom(QWidget* owner, TTool& tool, const QList<QAction*>& actions) {
    Tform_ToolCustom dialog(tool, actions, owner);
    CenterOverOwner(&dialog, owner ? owner->window() : nullptr);
    dialog.exec();
    return dialog.Changed();
}

} // namespace vdx
