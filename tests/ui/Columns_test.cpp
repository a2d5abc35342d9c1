// The Columns dialog over a column layout: the rows it starts with, the
// edits it makes, and that only OK writes them into the layout.

#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>
#include <vector>

#include "persistence/VDX_unit_Columns.h"
#include "tests/ui/support/VDX_uitest_Support.h"
#include "ui/VDX_form_Columns.h"

using namespace vdx;
using vdx::uitest::Find;
using vdx::uitest::WhenModal;

namespace {

TColumnList DefaultLayout(TColumnLayout kind) {
    TColumnList layout(kind);
    layout.LoadDefaults();
    return layout;
}

struct TColumnsDialog {
    explicit TColumnsDialog(QWidget* dialog)
        : list(Find<QListWidget>(dialog, QStringLiteral("lbxColumns"))),
          size(Find<QSpinBox>(dialog, QStringLiteral("spnSize"))),
          autosize(Find<QCheckBox>(dialog, QStringLiteral("chkAutosizeColumns"))),
          up(Find<QPushButton>(dialog, QStringLiteral("btnMoveUp"))),
          down(Find<QPushButton>(dialog, QStringLiteral("btnMoveDown"))),
          show(Find<QPushButton>(dialog, QStringLiteral("btnShow"))),
          hide(Find<QPushButton>(dialog, QStringLiteral("btnHide"))),
          ok(Find<QPushButton>(dialog, QStringLiteral("btnOk"))) {}
    int RowOf(const QString& caption) const {
        for (int row = 0; row < list->count(); ++row)
            if (list->item(row)->text() == caption)
                return row;
        return -1;
    }
    void Select(const QString& caption) const { list->setCurrentRow(RowOf(caption)); }
    // Each row as its caption with its state: "+" checked, "#" grayed, "-" not.
    QStringList Rows() const {
        QStringList rows;
        for (int row = 0; row < list->count(); ++row) {
            const Qt::CheckState state = list->item(row)->checkState();
            rows << (state == Qt::Checked            ? "+"
                     : state == Qt::PartiallyChecked ? "#"
                                                     : "-") +
                        list->item(row)->text();
        }
        return rows;
    }
    QListWidget* list;
    QSpinBox* size;
    QCheckBox* autosize;
    QPushButton* up;
    QPushButton* down;
    QPushButton* show;
    QPushButton* hide;
    QPushButton* ok;
};

} // namespace

class ColumnsTest : public QObject {
    Q_OBJECT
private slots:
    void RowsListShownColumnsFirstAndFixedOnesGrayed() {
        TColumnList layout = DefaultLayout(TColumnLayout::Results);
        layout.ClearShown();
        for (int id : {kColSize, kColName, kColMark, kColExt, kColPath})
            layout.AddShown(id);
        layout.FindDefinition(kColSize)->width = 240;
        Tform_Columns dialog;
        dialog.Prepare(layout);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Columns"));
        TColumnsDialog d(&dialog);
        QCOMPARE(d.Rows(),
                 (QStringList{"#Size", "#Name", "#M", "#Ext", "#Path", "-Grp", "-Date", "-Attr"}));
        QCOMPARE(d.list->currentRow(), 0);
        QCOMPARE(d.size->value(), 240);
        // A fixed column cannot be hidden; the user cannot clear its box.
        d.Select(QStringLiteral("Name"));
        QVERIFY(!d.hide->isEnabled() && !d.show->isEnabled());
        QVERIFY(!(d.list->currentItem()->flags() & Qt::ItemIsUserCheckable));
        QVERIFY(d.up->isEnabled() && d.down->isEnabled());
        d.Select(QStringLiteral("Attr"));
        QVERIFY(d.up->isEnabled() && !d.down->isEnabled());
        QVERIFY(d.show->isEnabled() && !d.hide->isEnabled());
        d.Select(QStringLiteral("Size"));
        QVERIFY(!d.up->isEnabled());
    }

    void OkWritesOrderVisibilityWidthsAndAutosize() {
        TColumnList layout = DefaultLayout(TColumnLayout::SearchSet);
        // Shown 20, 27, 21, 22, 23, 24, 25; 26 ("Excluded paths") hidden.
        WhenModal(QStringLiteral("form_Columns"), [](QWidget* dialog) {
            TColumnsDialog d(dialog);
            d.Select(QStringLiteral("Excluded paths"));
            d.show->click();
            for (int i = 0; i < 6; ++i)
                d.up->click();
            d.Select(QStringLiteral("SF"));
            d.hide->click();
            d.autosize->setChecked(false);
            d.Select(QStringLiteral("Search path"));
            d.size->setValue(333);
            d.ok->click();
        });
        QVERIFY(ExecuteColumns(nullptr, layout));
        QCOMPARE(layout.Shown(), (std::vector<std::int32_t>{20, 26, 21, 22, 23, 24, 25}));
        QCOMPARE(layout.FindDefinition(20)->width, 333);
        QCOMPARE(layout.FindDefinition(26)->width, 100);
        QVERIFY(!layout.autosize);

        // Cancel leaves the layout as it was.
        WhenModal(QStringLiteral("form_Columns"), [](QWidget* dialog) {
            TColumnsDialog d(dialog);
            d.Select(QStringLiteral("Include mask"));
            d.hide->click();
            d.autosize->setChecked(true);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(!ExecuteColumns(nullptr, layout));
        QCOMPARE(layout.Shown(), (std::vector<std::int32_t>{20, 26, 21, 22, 23, 24, 25}));
        QVERIFY(!layout.autosize);
    }

    void HidingEveryOtherColumnLeavesTheFixedOneShown() {
        TColumnList layout = DefaultLayout(TColumnLayout::SearchSet);
        Tform_Columns dialog;
        dialog.Prepare(layout);
        TColumnsDialog d(&dialog);
        for (int row = 0; row < d.list->count(); ++row) {
            d.list->setCurrentRow(row);
            if (d.hide->isEnabled())
                d.hide->click();
        }
        QCOMPARE(d.Rows().filter(QRegularExpression("^[+#]")), QStringList{"#Search path"});
        QVERIFY(d.ok->isEnabled());
        dialog.Apply(layout);
        QCOMPARE(layout.Shown(), std::vector<std::int32_t>{20});
    }

    void WidthsOutsideTheRangeAreIgnored_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("width");
        QTest::newRow("in range") << QStringLiteral("250") << 250;
        QTest::newRow("lowest") << QStringLiteral("10") << 10;
        QTest::newRow("highest") << QStringLiteral("800") << 800;
        QTest::newRow("below") << QStringLiteral("5") << 120;
        QTest::newRow("above") << QStringLiteral("900") << 120;
    }
    void WidthsOutsideTheRangeAreIgnored() {
        QFETCH(QString, typed);
        QFETCH(int, width);
        TColumnList layout = DefaultLayout(TColumnLayout::Results);
        layout.FindDefinition(kColPath)->width = 120;
        Tform_Columns dialog;
        dialog.Prepare(layout);
        TColumnsDialog d(&dialog);
        dialog.show();
        d.autosize->setChecked(false);
        d.Select(QStringLiteral("Path"));
        d.size->selectAll();
        QTest::keyClicks(d.size, typed);
        QTest::keyClick(d.size, Qt::Key_Return); // takes the width, then presses OK
        dialog.Apply(layout);
        QCOMPARE(layout.FindDefinition(kColPath)->width, width);
    }

    void AutosizeDisablesTheWidthControls() {
        TColumnList layout = DefaultLayout(TColumnLayout::Alert);
        layout.autosize = true;
        Tform_Columns dialog;
        dialog.Prepare(layout);
        TColumnsDialog d(&dialog);
        QVERIFY(d.autosize->isChecked());
        QVERIFY(!d.size->isEnabled());
        d.autosize->setChecked(false);
        QVERIFY(d.size->isEnabled());
    }
};

VDX_UITEST_MAIN(ColumnsTest)
#include "Columns_test.moc"
