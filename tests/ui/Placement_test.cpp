// The placement glue on the test platform's one screen: first openings,
// records coming back (maximised too), and dialogs centred over the main
// window inside the work area. The monitor arithmetic has its own tables
// (tests/persistence/PlacementRules_test.cpp).

#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QtTest>

#include "platform/qt/VDX_unit_WindowPlacement.h"
#include "tests/ui/support/VDX_uitest_Support.h"

using namespace vdx;

class PlacementTest : public QObject {
    Q_OBJECT
private:
    static QRect Work() { return QGuiApplication::primaryScreen()->availableGeometry(); }

private slots:
    void MainWindowNeverMovedTakesSevenNinthsCentred() {
        QWidget main;
        RestoreMainPlacement(&main, MainPlacementDefaults());
        const QRect work = Work();
        const int w = work.width() * 7 / 9;
        const int h = work.height() * 7 / 9;
        QCOMPARE(main.geometry(), QRect(work.left() + (work.width() - w) / 2,
                                        work.top() + (work.height() - h) / 2, w, h));
    }

    void MainWindowRecordRoundTrip() {
        QWidget main;
        main.setGeometry(Work().left() + 30, Work().top() + 40, 500, 300);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        TPlacementRecord record = MainPlacementDefaults();
        CollectMainPlacement(&main, record);
        QVERIFY(record.moved);
        QCOMPARE(record.state, 1);
        QCOMPARE(QRect(record.left, record.top, record.width, record.height),
                 QRect(30, 40, 500, 300));
        QVERIFY(record.monitorFlag); // the only screen is the primary one

        record.state = 3;
        QWidget again;
        RestoreMainPlacement(&again, record);
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QVERIFY(again.isMaximized());
        QCOMPARE(again.normalGeometry().size(), QSize(500, 300));
    }

    void FirstOpeningThenUntouchedCloseKeepsTheDefault() {
        QWidget main;
        main.setGeometry(Work());
        TPlacementRecord record;
        record.width = -1;
        QDialog viewer;
        RestoreWindowPlacement(&viewer, record, TPlacementWindow::Variables, &main);
        const QSize expected(3 * Work().width() / 5, 2 * Work().height() / 4);
        QCOMPARE(viewer.size(), expected);
        QCOMPARE(viewer.geometry().center(), Work().center());
        QVERIFY(!record.moved);
        QCOMPARE(record.width, expected.width());

        CollectWindowPlacement(&viewer, record, &main);
        QVERIFY(!record.moved);
        viewer.resize(expected.width() - 20, expected.height());
        CollectWindowPlacement(&viewer, record, &main);
        QVERIFY(record.moved);

        QDialog reopened;
        RestoreWindowPlacement(&reopened, record, TPlacementWindow::Variables, &main);
        QCOMPARE(reopened.size(), QSize(expected.width() - 20, expected.height()));
    }

    void DialogsAreCentredOverTheOwnerInsideTheWorkArea() {
        QWidget main;
        main.setGeometry(Work().left() + 10, Work().top() + 10, 300, 200);
        QDialog dialog;
        dialog.resize(100, 80);
        CenterOverOwner(&dialog, &main);
        QCOMPARE(dialog.frameGeometry().center(), main.frameGeometry().center());

        // A dialog larger than the work area ends flush with its right edge.
        QDialog wide;
        wide.resize(Work().width() + 100, 80);
        CenterOverOwner(&wide, &main);
        QCOMPARE(wide.frameGeometry().right(), Work().right());
    }
};

VDX_UITEST_MAIN(PlacementTest)
#include "Placement_test.moc"
