// The scan information window after real searches and comparisons on
// temporary trees.

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <memory>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Threads.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_Help.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "tests/support/VDX_test_TempTree.h"
#include "tests/ui/support/VDX_uitest_Support.h"
#include "ui/VDX_form_ScanInfo.h"

using namespace vdx;
using vdx::uitest::Find;

namespace {

constexpr unsigned kAllParts = kDurHours | kDurMinutes | kDurSeconds | kDurMilliseconds;

TSearchSet SetOf(const test::TTempTree& tree) {
    TSearchSet set;
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = DecodeFileName(tree.Root());
    path->fileFilter.FLT_Include = u"*.*";
    set.AddOwned(std::move(path));
    return set;
}

// Runs a search, and the comparison when asked, to their ends the way the
// command line does: no window, the snapshots under a lock.
void RunToEnd(TSearchRun& run, const test::TTempTree& tree, bool compare) {
    TMessageQueue queue;
    TMutexCaller caller;
    auto waitFor = [&queue](std::uint32_t code) {
        TPostedMessage message;
        while (queue.Take(message, 20'000))
            if (message.code == code)
                return true;
        return false;
    };
    QVERIFY(run.StartSearch(SetOf(tree), &queue, &caller, false, false, false));
    QVERIFY(waitFor(kMsgSearchWorkerEnded));
    run.SearchFinished();
    QVERIFY(run.Store().Status().m_searchDone);
    if (!compare)
        return;
    QVERIFY(run.StartContentCompare(&queue, &caller));
    QVERIFY(waitFor(kMsgContentWorkerEnded));
    run.ContentFinished();
    QVERIFY(run.Store().Status().m_contentDone);
}

// Two files of equal name and content, one of the same size but other
// content, one empty file.
void FillTree(const test::TTempTree& tree) {
    tree.FileOfSize("one/photo.jpg", 300, 'a');
    tree.FileOfSize("two/photo.jpg", 300, 'a');
    tree.FileOfSize("two/other.dat", 300, 'b');
    tree.File("three/empty.txt");
}

QString Text(QWidget* window, const char* name) {
    auto* label = Find<QLabel>(window, QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

// Shows the window, lets inspect look at it and press a button (or close it
// otherwise), and returns the window's result.
int Execute(TSearchRun& run, double searchStart, std::function<void(QWidget*)> inspect) {
    uitest::WhenModal(QStringLiteral("form_ScanInfo"), std::move(inspect));
    return ExecuteScanInfo(nullptr, run, searchStart);
}

void Click(QWidget* window, const char* name) {
    auto* button = Find<QPushButton>(window, QString::fromLatin1(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

} // namespace

class ScanInfoTest : public QObject {
    Q_OBJECT
private slots:
    void AfterASearchShowsItsFiguresAndOffersTheComparison() {
        test::TTempTree tree;
        FillTree(tree);
        TSearchRun run;
        RunToEnd(run, tree, false);
        const TScanData& store = run.Store();
        QVERIFY(store.SubFoldersAddedSum() > 0);

        const int result = Execute(run, NowDateTime(), [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Search files results"));
            QCOMPARE(w->property(kHelpContextProperty).toInt(), 25);
            QCOMPARE(
                Text(w, "lblScannedFolders"),
                ToQString(FormatNumber(static_cast<std::int64_t>(store.SubFoldersAddedSum()))));
            QCOMPARE(Text(w, "lblFoundFiles"), QStringLiteral("4"));
            QCOMPARE(Text(w, "lblFilteredFiles"), QStringLiteral("4"));
            QCOMPARE(Text(w, "lblSameName"),
                     QStringLiteral("1 groups contain 600 bytes in 2 files"));
            QCOMPARE(Text(w, "lblSameSize"),
                     QStringLiteral("1 groups contain 900 bytes in 3 files"));
            QCOMPARE(Text(w, "lblSameNameSize"),
                     QStringLiteral("1 groups contain 600 bytes in 2 files"));
            QCOMPARE(Text(w, "lblZeroSize"), QStringLiteral("1 files"));
            QCOMPARE(Text(w, "lblSearchTaken"),
                     ToQString(FormatDuration(kAllParts, store.m_durationSearch)));
            QVERIFY(!Find<QLabel>(w, QStringLiteral("lblSameContent")));
            QVERIFY(!Find<QLabel>(w, QStringLiteral("lblContentTaken")));
            Click(w, "btnContentCmp");
        });
        QCOMPARE(result, int(kIdYes));
    }

    void WithoutDuplicatesEveryGroupTextIsZero() {
        test::TTempTree tree;
        tree.File("one/a.txt", "a");
        tree.File("two/b.txt", "bb");
        TSearchRun run;
        RunToEnd(run, tree, false);
        const int result = Execute(run, NowDateTime(), [&](QWidget* w) {
            for (const char* name : {"lblSameName", "lblSameSize", "lblSameNameSize"})
                QCOMPARE(Text(w, name), QStringLiteral("0 groups contain 0 bytes in 0 files"));
            QCOMPARE(Text(w, "lblZeroSize"), QStringLiteral("0 files"));
            auto* compare = Find<QPushButton>(w, QStringLiteral("btnContentCmp"));
            QVERIFY(compare && compare->isVisible());
            Click(w, "btnClose");
        });
        QCOMPARE(result, int(kIdOk));
    }

    void AfterAComparisonShowsItsResultsAndNoButton() {
        test::TTempTree tree;
        FillTree(tree);
        TSearchRun run;
        RunToEnd(run, tree, true);
        const TScanData& store = run.Store();
        const int result = Execute(run, NowDateTime(), [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Content comparison results"));
            QCOMPARE(w->property(kHelpContextProperty).toInt(), 26);
            QVERIFY(!Find<QPushButton>(w, QStringLiteral("btnContentCmp")));
            QCOMPARE(Text(w, "lblSameContent"),
                     QStringLiteral("1 groups contain 600 bytes in 2 files"));
            QCOMPARE(Text(w, "lblFullClones"),
                     QStringLiteral("1 groups contain 600 bytes in 2 files"));
            QCOMPARE(Text(w, "lblContentTaken"),
                     ToQString(FormatDuration(kAllParts, store.m_durationContent)));
            QTest::keyClick(w, Qt::Key_Escape);
        });
        QCOMPARE(result, int(kIdCancel));
    }

    void DoubleClickOnZeroSizeShowsTheTimeSinceStartSearch() {
        test::TTempTree tree;
        FillTree(tree);
        TSearchRun run;
        RunToEnd(run, tree, false);
        const double twoMinutesFiveSeconds = 125.0 / 86'400.0;
        QString caption;
        Execute(run, NowDateTime() - twoMinutesFiveSeconds, [&](QWidget* w) {
            QTest::mouseDClick(Find<QLabel>(w, QStringLiteral("lblZeroSize")), Qt::LeftButton);
            caption = w->windowTitle();
            Click(w, "btnClose");
        });
        QVERIFY2(caption.startsWith(QStringLiteral("2 minutes 5 seconds")), qPrintable(caption));
    }
};

VDX_UITEST_MAIN(ScanInfoTest)
#include "ScanInfo_test.moc"
