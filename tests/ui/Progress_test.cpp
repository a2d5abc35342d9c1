// The scan and content progress windows over real runs on temporary trees,
// their abort question, and the arithmetic behind their figures.

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <atomic>
#include <cmath>
#include <memory>
#include <optional>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_Views.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Threads.h"
#include "platform/qt/VDX_unit_QtMessages.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "tests/support/VDX_test_TempTree.h"
#include "tests/ui/support/VDX_uitest_Support.h"
#include "ui/VDX_form_ProgressContent.h"
#include "ui/VDX_form_ProgressScan.h"

using namespace vdx;
using vdx::uitest::Find;

namespace {

constexpr double kMsPerDay = 86'400'000.0;

// Two pairs of duplicates (one pair of equal content), big enough that the
// comparison counts kilobytes.
void FillTree(const test::TTempTree& tree) {
    tree.FileOfSize("one/photo.jpg", 300 * 1024, 'a');
    tree.FileOfSize("two/photo.jpg", 300 * 1024, 'a');
    tree.FileOfSize("two/other.dat", 300 * 1024, 'b');
    tree.File("three/notes.txt", "notes");
}

TSearchSet SetOf(const test::TTempTree& tree) {
    TSearchSet set;
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = DecodeFileName(tree.Root());
    path->fileFilter.FLT_Include = u"*.*";
    set.AddOwned(std::move(path));
    return set;
}

QString Text(QWidget* window, const char* name) {
    auto* label = Find<QLabel>(window, QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

QString Number(std::uint64_t value) {
    return ToQString(FormatNumber(static_cast<std::int64_t>(value)));
}

// Holds the worker at its first snapshot until the test opens the gate, so
// that the window can be driven while the run is surely still going.
class TGateCaller : public TMainThreadCaller {
public:
    explicit TGateCaller(TMainThreadCaller* inner) : m_inner(inner) {}
    ~TGateCaller() override { m_open.Set(); }
    void CallSync(const std::function<void()>& routine) override {
        if (!m_passed.exchange(true)) {
            m_reached.Set();
            m_open.Wait();
        }
        m_inner->CallSync(routine);
    }
    TEvent m_reached;
    TEvent m_open;

private:
    TMainThreadCaller* m_inner;
    std::atomic<bool> m_passed{false};
};

void SearchThroughTheWindow(TSearchRun& run, const test::TTempTree& tree) {
    Tform_ProgressScan scan(run, nullptr);
    QVERIFY(run.StartSearch(SetOf(tree), scan.Target(), scan.Caller(), false, false, false));
    scan.exec();
    QVERIFY(run.Store().Status().m_searchDone);
}

constexpr std::uint32_t kProgressCode = kWmUser + 91;
constexpr std::uint32_t kEndedCode = kWmUser + 92;

// A window of the shared base over a stand-in worker that records what the
// window asks of it.
class TStandInWindow : public TProgressWindow {
public:
    explicit TStandInWindow(QWidget* owner)
        : TProgressWindow(owner, "form_StandIn", kProgressCode, kEndedCode) {
        FinishLayout();
    }
    int m_snapshots = 0;
    QString m_steps;

protected:
    void ShowProgress() override {
        ++m_snapshots;
        UpdateOwnerTitle(42);
    }
    void PauseWorker() override { Step("pause"); }
    void ResumeWorker() override { Step("resume"); }
    void CancelWorker() override { Step("cancel"); }
    void WorkerEnded() override { Step("ended"); }
    std::u16string_view AbortQuestion() const override { return u"Abort?"; }
    std::u16string_view AbortCaption() const override { return u"Confirm abort"; }
    std::u16string OwnerTitle(std::uint32_t percent) const override {
        return u"Working " + PercentText(percent);
    }

private:
    void Step(const char* step) {
        if (!m_steps.isEmpty())
            m_steps += QLatin1Char(' ');
        m_steps += QLatin1String(step);
    }
};

} // namespace

class ProgressTest : public QObject {
    Q_OBJECT
private slots:
    void ScanWindowClosesByItselfAndShowsTheCounts() {
        test::TTempTree tree;
        FillTree(tree);
        TSearchRun run;
        Tform_ProgressScan window(run, nullptr);
        QCOMPARE(window.objectName(), QStringLiteral("form_ProgressScan"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Scanning folders"));
        QVERIFY(
            run.StartSearch(SetOf(tree), window.Target(), window.Caller(), false, false, false));
        QCOMPARE(window.exec(), int(QDialog::Accepted));

        QVERIFY(window.Done());
        QVERIFY(!window.Aborted());
        QVERIFY(!run.SearchRunning()); // the window told the controller
        QVERIFY(run.Store().Status().m_searchDone);
        const TSearchSafeProgress& p = run.SearchProgress();
        QCOMPARE(p.filesAdded, 4u);
        QCOMPARE(Text(&window, "lblFiles"), QStringLiteral("4"));
        QCOMPARE(Text(&window, "lblFolders"), Number(p.foldersListed));
        QCOMPARE(Text(&window, "lblOperation"),
                 ToQString(StageText(TProgressKind::Search, p.phase)));
        QCOMPARE(Text(&window, "lblViews"),
                 QStringLiteral("Same name, Same size, Same name-size, Zero Size"));
        QVERIFY(!Text(&window, "lblElapsed").isEmpty());
    }

    void AbortQuestionPausesAndResumes_data() {
        QTest::addColumn<bool>("content");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("caption");
        const QString search = QStringLiteral("Do you really want to abort search?");
        const QString searchCaption = QStringLiteral("Confirm abort search");
        const QString compare =
            QStringLiteral("Do you really want to abort files content comparison?");
        const QString compareCaption = QStringLiteral("Confirm abort comparison");
        QTest::newRow("scan: No resumes") << false << int(kIdNo) << search << searchCaption;
        QTest::newRow("scan: Yes cancels") << false << int(kIdYes) << search << searchCaption;
        QTest::newRow("content: No resumes") << true << int(kIdNo) << compare << compareCaption;
        QTest::newRow("content: Yes cancels") << true << int(kIdYes) << compare << compareCaption;
    }
    void AbortQuestionPausesAndResumes() {
        QFETCH(bool, content);
        QFETCH(int, answer);
        QFETCH(QString, question);
        QFETCH(QString, caption);
        const bool aborts = answer == kIdYes;
        test::TTempTree tree;
        FillTree(tree);
        TSearchRun run;
        if (content)
            SearchThroughTheWindow(run, tree);
        uitest::TMessageBoxAnswers answers;
        answers.Queue(answer);
        std::unique_ptr<TProgressWindow> window;
        if (content)
            window = std::make_unique<Tform_ProgressContent>(run, nullptr);
        else
            window = std::make_unique<Tform_ProgressScan>(run, nullptr);
        TGateCaller gate(window->Caller());
        if (content)
            QVERIFY(run.StartContentCompare(window->Target(), &gate));
        else
            QVERIFY(run.StartSearch(SetOf(tree), window->Target(), &gate, false, false, false));

        bool openAfterAnswer = false;
        uitest::WhenModal(window->objectName(), [&](QWidget*) {
            QVERIFY(gate.m_reached.WaitFor(20'000));
            QTest::mouseClick(Find<QPushButton>(window.get(), QStringLiteral("btnCancel")),
                              Qt::LeftButton);
            openAfterAnswer = window->isVisible();
            // Once the user said Yes, further close requests ask nothing.
            if (aborts) {
                window->close();
                QTest::keyClick(window.get(), Qt::Key_Escape);
            }
            gate.m_open.Set();
        });
        QCOMPARE(window->exec(), int(QDialog::Accepted));

        QVERIFY(openAfterAnswer); // refused until the worker had ended
        QCOMPARE(answers.Shown().size(), std::size_t(1));
        const TMessageBoxRequest& box = answers.Shown().front();
        QCOMPARE(box.text, question);
        QCOMPARE(box.caption, caption);
        QCOMPARE(box.buttons, TMsgButtons::YesNo);
        QCOMPARE(box.icon, TMsgIcon::Question);
        QCOMPARE(box.topAnchor, Find<QPushButton>(window.get(), QStringLiteral("btnCancel")));
        QCOMPARE(window->Aborted(), aborts);
        QVERIFY(!run.SearchRunning());
        QVERIFY(!run.ContentRunning());

        const TScanData& store = run.Store();
        const TScanStatus& status = store.Status();
        QCOMPARE(content ? status.m_contentAborted : status.m_searchAborted, aborts);
        QCOMPARE(content ? status.m_contentDone : status.m_searchDone, !aborts);
        if (aborts && !content) {
            // Cancelled before the grouping: no view holds a group.
            for (TViewKind view : {kViewSameName, kViewSameSize, kViewSameNameSize,
                                   kViewSameContent, kViewFullClones, kViewZeroSize})
                QCOMPARE(store.GroupCount(view), 0u);
        }
        // A cancelled comparison leaves the search's results as they were.
        QCOMPARE(ViewFigures(store, kViewSameSize).m_groupFiles, aborts && !content ? 0u : 3u);
        if (content && !aborts)
            QCOMPARE(ViewFigures(store, kViewSameContent).m_groupFiles, 2u);
    }

    void SharedBaseFollowsTheProtocol() {
        QWidget owner;
        owner.setWindowTitle(QStringLiteral("Vardex Lite"));
        owner.show();
        TStandInWindow window(&owner);
        uitest::TMessageBoxAnswers answers;
        answers.Queue(kIdYes);
        window.show();

        QCoreApplication::postEvent(&window, new TEngineEvent(kProgressCode, 0, 0));
        QCoreApplication::processEvents();
        QCOMPARE(window.m_snapshots, 1);
        owner.showMinimized();
        QCoreApplication::postEvent(&window, new TEngineEvent(kProgressCode, 0, 0));
        QCoreApplication::processEvents();
        QCOMPARE(owner.windowTitle(), QStringLiteral("Working 42 %"));

        window.reject();
        QCOMPARE(window.m_steps, QStringLiteral("pause cancel resume"));
        QVERIFY(window.isVisible());
        QVERIFY(window.Aborted());

        QCoreApplication::postEvent(&window, new TEngineEvent(kEndedCode, 0, 0));
        QCoreApplication::processEvents();
        QVERIFY(window.Done());
        QVERIFY(!window.isVisible());
        QCOMPARE(window.m_steps, QStringLiteral("pause cancel resume ended"));
        QCOMPARE(window.m_snapshots, 3); // the final state is drawn once more
        QCOMPARE(owner.windowTitle(), QStringLiteral("Vardex Lite"));
        // A snapshot that arrives late draws nothing.
        QCoreApplication::postEvent(&window, new TEngineEvent(kProgressCode, 0, 0));
        QCoreApplication::processEvents();
        QCOMPARE(window.m_snapshots, 3);
    }

    void ContentWindowFollowsARealComparison() {
        test::TTempTree tree;
        FillTree(tree);
        TSearchRun run;
        {
            Tform_ProgressScan scan(run, nullptr);
            QVERIFY(
                run.StartSearch(SetOf(tree), scan.Target(), scan.Caller(), false, false, false));
            scan.exec();
        }
        QVERIFY(run.Store().Status().m_searchDone);

        Tform_ProgressContent window(run, nullptr);
        QCOMPARE(window.objectName(), QStringLiteral("form_ProgressContent"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Progress Content"));
        QCOMPARE(Text(&window, "lblToCompare"),
                 QStringLiteral("3 [900 Kb] in 1 groups from view Same size"));
        QCOMPARE(Text(&window, "lblFilesProgress"), QStringLiteral("0 %"));
        QVERIFY(run.StartContentCompare(window.Target(), window.Caller()));
        QCOMPARE(window.exec(), int(QDialog::Accepted));

        QVERIFY(!run.ContentRunning());
        QVERIFY(run.Store().Status().m_contentDone);
        const TContentSafeProgress& p = run.ContentProgress();
        QCOMPARE(Text(&window, "lblOperation"), QStringLiteral("Comparing completed"));
        QCOMPARE(Text(&window, "lblCompared"),
                 QStringLiteral("%1 [%2 Kb] in %3 groups")
                     .arg(Number(p.filesCompared), Number(p.kilobytesCompared),
                          Number(p.groupsCompared)));
        QCOMPARE(p.filesCompared, 3u);
        QCOMPARE(Text(&window, "lblFilesProgress"), QStringLiteral("100 %"));
        QCOMPARE(Text(&window, "lblSizeProgress"), QStringLiteral("100 %"));
        auto* files = Find<QProgressBar>(&window, QStringLiteral("pbFiles"));
        QCOMPARE(files->value(), files->maximum());
        QCOMPARE(Text(&window, "lblRemained"), QStringLiteral("none")); // drawn at the end
        QCOMPARE(Text(&window, "lblViews"), QStringLiteral("Same content, Full clones"));
    }

    void MinimisingMinimisesTheOwner() {
        QWidget owner;
        owner.show();
        TSearchRun run;
        Tform_ProgressScan window(run, &owner);
        window.show();
        window.setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(owner.isMinimized());
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible()); // a hidden modal window would end its exec()
        QVERIFY(window.ShownFlag());
    }

    void Percentages_data() {
        QTest::addColumn<bool>("bySize");
        QTest::addColumn<qulonglong>("done");
        QTest::addColumn<qulonglong>("total");
        QTest::addColumn<uint>("percent");
        QTest::newRow("count, small run") << false << 42ull << 100ull << 42u;
        QTest::newRow("count, empty run") << false << 0ull << 0ull << 0u;
        QTest::newRow("count 9,999: exact") << false << 9998ull << 9999ull << 99u;
        // From 10,000 on, one percent is a hundredth of the count.
        QTest::newRow("count 20,000: 199 files") << false << 199ull << 20000ull << 0u;
        QTest::newRow("count 20,000: 200 files") << false << 200ull << 20000ull << 1u;
        QTest::newRow("count 20,000: all") << false << 20000ull << 20000ull << 100u;
        QTest::newRow("size by hundredths") << true << 512ull << 1024ull << 51u;
        QTest::newRow("size below 100 Kb") << true << 40ull << 50ull << 40u;
        QTest::newRow("size of nothing") << true << 0ull << 0ull << 0u;
    }
    void Percentages() {
        QFETCH(bool, bySize);
        QFETCH(qulonglong, done);
        QFETCH(qulonglong, total);
        QFETCH(uint, percent);
        QCOMPARE(bySize ? SizePercent(done, total) : CountPercent(done, total), percent);
    }

    void RemainingTimeLeavesThePauseOut_data() {
        QTest::addColumn<double>("nowMs");
        QTest::addColumn<double>("pausedMs");
        QTest::addColumn<qulonglong>("kbDone");
        QTest::addColumn<qulonglong>("filesDone");
        QTest::addColumn<double>("remainingMs");
        // 40,000 Kb and 4,000 files to compare in every row.
        QTest::newRow("half way at 2 Kb/ms and 0.2 files/ms")
            << 10'000.0 << 0.0 << 20'000ull << 2'000ull << 10'000.0;
        QTest::newRow("the same after a 30 s pause")
            << 40'000.0 << 30'000.0 << 20'000ull << 2'000ull << 10'000.0;
        QTest::newRow("rates disagree: the mean")
            << 10'000.0 << 0.0 << 40'000ull << 1'000ull << 15'000.0;
        // Floors of 1 Kb/ms and 0.1 files/ms: 40,000 ms and 40,000 ms.
        QTest::newRow("nothing done yet") << 1'000.0 << 0.0 << 0ull << 0ull << 39'000.0;
        QTest::newRow("all done") << 20'000.0 << 0.0 << 40'000ull << 4'000ull << 0.0;
        // A clock set back gives at least 1 ms of work.
        QTest::newRow("clock set back") << -5'000.0 << 0.0 << 0ull << 0ull << 39'999.0;
    }
    void RemainingTimeLeavesThePauseOut() {
        QFETCH(double, nowMs);
        QFETCH(double, pausedMs);
        QFETCH(qulonglong, kbDone);
        QFETCH(qulonglong, filesDone);
        QFETCH(double, remainingMs);
        TContentEstimateInput in;
        in.start = 46'000.25; // a day count with a time of day
        in.now = in.start + nowMs / kMsPerDay;
        in.paused = pausedMs / kMsPerDay;
        in.kilobytesDone = kbDone;
        in.kilobytesTotal = 40'000;
        in.filesDone = filesDone;
        in.filesTotal = 4'000;
        const std::optional<double> remaining = ContentRemainingMs(in);
        QVERIFY(remaining.has_value());
        // Day counts near 46,000 hold times to about a microsecond.
        QVERIFY2(std::fabs(*remaining - remainingMs) < 1.0,
                 qPrintable(QString::number(*remaining)));
    }

    void CopyEstimateAndRemainingTexts() {
        const double start = 46'000.5;
        // 20,000 of 40,000 Kb in 10 s of which 5 s were paused: 4 Kb/ms.
        const auto copy =
            CopyRemaining(start, start + 10'000 / kMsPerDay, 5'000 / kMsPerDay, 20'000, 40'000);
        QVERIFY(copy.has_value());
        QVERIFY(std::fabs(copy->kilobytesPerMs - 4.0) < 1e-3);
        QVERIFY(std::fabs(copy->remainingMs - 5'000.0) < 1.0);

        QCOMPARE(ToQString(RemainingText(10'000.0)), QStringLiteral("10 seconds"));
        QCOMPARE(ToQString(RemainingText(3'725'000.0)),
                 QStringLiteral("1 hour 2 minutes 5 seconds"));
        QCOMPARE(ToQString(RemainingText(std::nullopt)), QStringLiteral("An error occured"));
        QCOMPARE(ToQString(PercentText(42)), QStringLiteral("42 %"));
    }

    void BarsScaleBeyondTheirRange() {
        QProgressBar bar;
        SetBarProgress(&bar, 3'000'000'000ull, 6'000'000'000ull);
        QVERIFY(bar.maximum() > 0);
        QCOMPARE(bar.value(), bar.maximum() / 2);
        SetBarProgress(&bar, 0, 0); // an empty run draws an empty bar
        QCOMPARE(bar.value(), 0);
        QVERIFY(bar.maximum() >= 1);
    }
};

VDX_UITEST_MAIN(ProgressTest)
#include "Progress_test.moc"
