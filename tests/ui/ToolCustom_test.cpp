// The Customize Toolbar dialog and the filling of a tool bar from its
// layout: every change reaches the layout and the bar at once.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <vector>

#include "persistence/VDX_unit_Tools.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "tests/ui/support/VDX_uitest_Support.h"
#include "ui/VDX_form_ToolCustom.h"
#include "ui/VDX_unit_ToolBars.h"

using namespace vdx;
using vdx::uitest::Find;
using vdx::uitest::WhenModal;

namespace {

// A window with one action per known tool and the Report menu, and a bar
// that its layout fills, as the main window has them.
class TBarWindow : public QMainWindow, public TToolBarView {
public:
    explicit TBarWindow(TTool& tool) : m_tool(tool) {
        for (const TToolInfo& info : ToolTable()) {
            if (info.command.empty())
                continue;
            auto* action = new QAction(ToQString(info.text), this);
            action->setObjectName(ToQString(info.command));
            action->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
            actions << action;
        }
        auto* menu = new QMenu(this);
        menu->setObjectName(QStringLiteral("pupReportMenu"));
        bar = new QToolBar(this);
        addToolBar(bar);
        tool.SetView(this);
    }
    ~TBarWindow() override { m_tool.SetView(nullptr); }

    void RebuildBar(const TTool& tool) override {
        ++rebuilds;
        FillToolBar(*bar, tool, [this](const QString& name) { return Lookup(name); });
    }
    void ApplyShowCaptions(bool show) override {
        bar->setToolButtonStyle(show ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    }
    QAction* Lookup(const QString& name) const {
        for (QAction* action : actions)
            if (action->objectName() == name)
                return action;
        return nullptr;
    }
    // The bar's buttons as their command names, "-" for a separator.
    QStringList Buttons() const {
        QStringList names;
        for (QAction* action : bar->actions())
            names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
        return names;
    }

    QList<QAction*> actions;
    QToolBar* bar;
    int rebuilds = 0;

private:
    TTool& m_tool;
};

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

struct TCustomDialog {
    explicit TCustomDialog(QWidget* dialog)
        : available(Find<QListWidget>(dialog, QStringLiteral("lbxAvailable"))),
          current(Find<QListWidget>(dialog, QStringLiteral("lbxCurrent"))),
          add(Find<QPushButton>(dialog, QStringLiteral("btnAdd"))),
          remove(Find<QPushButton>(dialog, QStringLiteral("btnRemove"))),
          up(Find<QPushButton>(dialog, QStringLiteral("btnMoveUp"))),
          down(Find<QPushButton>(dialog, QStringLiteral("btnMoveDown"))),
          reset(Find<QPushButton>(dialog, QStringLiteral("btnReset"))),
          labels(Find<QCheckBox>(dialog, QStringLiteral("chkTextLabels"))),
          close(Find<QPushButton>(dialog, QStringLiteral("btnClose"))) {}
    QListWidget* available;
    QListWidget* current;
    QPushButton* add;
    QPushButton* remove;
    QPushButton* up;
    QPushButton* down;
    QPushButton* reset;
    QCheckBox* labels;
    QPushButton* close;
};

} // namespace

class ToolCustomTest : public QObject {
    Q_OBJECT
private slots:
    void FillBuildsTheBarFromTheLayout() {
        TTool tool(TToolBarKind::Result);
        TBarWindow window(tool);
        const std::vector<std::int32_t> current{49, 0, 41, 51, 0, 48};
        tool.SetCurrent(current);
        tool.Rebuild();
        QCOMPARE(window.Buttons(),
                 (QStringList{"actResAct_ContentCompare", "-", "actResAct_Explore",
                              "actResAct_ReportMenu", "-", "actResAct_ScanInfo"}));
        QCOMPARE(window.bar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        auto* report = qobject_cast<QToolButton*>(
            window.bar->widgetForAction(window.Lookup(QStringLiteral("actResAct_ReportMenu"))));
        QVERIFY(report);
        QCOMPARE(report->popupMode(), QToolButton::MenuButtonPopup);
        QCOMPARE(report->menu()->objectName(), QStringLiteral("pupReportMenu"));

        // Rebuilding replaces the buttons; a tool without its action is left
        // out; labels off gives icons only.
        tool.SetShowCaptions(false);
        tool.SetCurrent(std::vector<std::int32_t>{41, 42});
        QAction* execute = window.Lookup(QStringLiteral("actResAct_OpenFile"));
        window.actions.removeOne(execute);
        tool.Rebuild();
        QCOMPARE(window.Buttons(), QStringList{"actResAct_Explore"});
        QCOMPARE(window.bar->toolButtonStyle(), Qt::ToolButtonIconOnly);
    }

    void DialogAddsRemovesAndReordersOnTheBarAtOnce() {
        TTool tool(TToolBarKind::SetStore);
        TBarWindow window(tool);
        tool.TakeDefaultsIfEmpty();
        tool.Rebuild();
        Tform_ToolCustom dialog(tool, window.actions, &window);
        TCustomDialog d(&dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Customize Toolbar"));
        QCOMPARE(Texts(d.available), QStringList{"Separator"});
        QCOMPARE(Texts(d.current),
                 (QStringList{"Save set", "Load set", "Rename set", "Delete set"}));
        QVERIFY(!d.current->item(0)->icon().isNull());

        // Remove "Load set": it returns to the available list, the selection
        // stays at its position.
        d.current->setCurrentRow(1);
        d.remove->click();
        QCOMPARE(Texts(d.available), (QStringList{"Separator", "Load set"}));
        QCOMPARE(Texts(d.current), (QStringList{"Save set", "Rename set", "Delete set"}));
        QCOMPARE(d.current->currentRow(), 1);
        QCOMPARE(window.Buttons(),
                 (QStringList{"actStore_Save", "actStore_Rename", "actStore_Delete"}));

        // A separator added before the first button stays available; removed,
        // it does not come back a second time.
        d.available->setCurrentRow(0);
        d.current->setCurrentRow(0);
        d.add->click();
        QCOMPARE(Texts(d.current),
                 (QStringList{"Separator", "Save set", "Rename set", "Delete set"}));
        QCOMPARE(Texts(d.available), (QStringList{"Separator", "Load set"}));
        QCOMPARE(window.Buttons().front(), QStringLiteral("-"));
        QCOMPARE(d.current->currentRow(), 0);
        d.remove->click();
        QCOMPARE(Texts(d.available), (QStringList{"Separator", "Load set"}));

        // Double-clicking an available tool adds it before the selected button.
        d.current->setCurrentRow(2);
        d.available->setCurrentRow(1);
        QListWidgetItem* load = d.available->item(1);
        emit d.available->itemDoubleClicked(load);
        QCOMPARE(Texts(d.current),
                 (QStringList{"Save set", "Rename set", "Load set", "Delete set"}));
        QCOMPARE(Texts(d.available), QStringList{"Separator"});
        QCOMPARE(d.available->currentRow(), 0); // the shorter list's last entry

        // Move Up and Down exchange with the neighbour, disabled at the ends.
        d.current->setCurrentRow(0);
        QVERIFY(!d.up->isEnabled());
        d.down->click();
        QCOMPARE(Texts(d.current),
                 (QStringList{"Rename set", "Save set", "Load set", "Delete set"}));
        QCOMPARE(d.current->currentRow(), 1);
        d.current->setCurrentRow(3);
        QVERIFY(!d.down->isEnabled());
        d.up->click();
        QCOMPARE(window.Buttons(), (QStringList{"actStore_Rename", "actStore_Save",
                                                "actStore_Delete", "actStore_Load"}));

        // Removing the last button moves the selection to the new last one;
        // the bar can be emptied.
        d.current->setCurrentRow(3);
        d.remove->click();
        QCOMPARE(d.current->currentRow(), 2);
        while (d.current->count() > 0)
            d.remove->click();
        QVERIFY(!d.remove->isEnabled());
        QVERIFY(window.Buttons().isEmpty());
        QVERIFY(tool.Current().empty());

        // Reset brings the defaults back, on the bar too.
        d.reset->click();
        QCOMPARE(Texts(d.current),
                 (QStringList{"Save set", "Load set", "Rename set", "Delete set"}));
        QCOMPARE(window.Buttons(), (QStringList{"actStore_Save", "actStore_Load", "actStore_Rename",
                                                "actStore_Delete"}));
        QVERIFY(dialog.Changed());
    }

    void TextLabelsSwitchAndCloseReportsAChange() {
        TTool tool(TToolBarKind::SearchSet);
        TBarWindow window(tool);
        tool.TakeDefaultsIfEmpty();
        tool.Rebuild();
        WhenModal(QStringLiteral("form_ToolCustom"), [](QWidget* dialog) {
            TCustomDialog d(dialog);
            QVERIFY(d.labels->isChecked());
            d.labels->setChecked(false);
            d.close->click();
        });
        QVERIFY(ExecuteToolCustom(&window, tool, window.actions));
        QVERIFY(!tool.ShowCaptions());
        QCOMPARE(window.bar->toolButtonStyle(), Qt::ToolButtonIconOnly);

        // Closing at once changes nothing.
        WhenModal(QStringLiteral("form_ToolCustom"),
                  [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
        QVERIFY(!ExecuteToolCustom(&window, tool, window.actions));
    }

    void DropPositionFollowsTheDropIndicator_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("target");
        QTest::addColumn<bool>("below");
        QTest::addColumn<int>("position");
        QTest::newRow("onto an earlier row") << 3 << 1 << false << 1;
        QTest::newRow("below an earlier row") << 3 << 1 << true << 2;
        QTest::newRow("onto a later row") << 0 << 2 << false << 1;
        QTest::newRow("below a later row") << 0 << 2 << true << 2;
        QTest::newRow("below the last row") << 1 << 3 << true << 3;
        QTest::newRow("empty space below") << 0 << -1 << false << 3;
        QTest::newRow("onto itself") << 2 << 2 << false << 2;
    }
    void DropPositionFollowsTheDropIndicator() {
        QFETCH(int, from);
        QFETCH(int, target);
        QFETCH(bool, below);
        QFETCH(int, position);
        QCOMPARE(DropPosition(from, target, below, 4), position);
    }
};

VDX_UITEST_MAIN(ToolCustomTest)
#include "ToolCustom_test.moc"
