// The main window: its names, actions and flows driven through the widgets.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTreeView>
#include <QtTest>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "engine/VDX_unit_SearchRun.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "tests/support/VDX_test_TempTree.h"
#include "tests/ui/support/VDX_uitest_Support.h"
#include "ui/VDX_form_Main.h"

using namespace vdx;
using vdx::uitest::Find;

namespace {

// Settings as the program has them at start-up: the test home's folders,
// the file there loaded when it exists.
std::unique_ptr<TSettings> LoadedSettings() {
    auto settings = std::make_unique<TSettings>();
    InitGlobals(*settings, u"DejaVu Sans", 9);
    LoadSettings(*settings);
    return settings;
}

void AddPathTo(TSettings& settings, const char16_t* folder, const char16_t* include = u"*.*") {
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = folder;
    path->fileFilter.FLT_Include = include;
    settings.currentSet.AddOwned(std::move(path));
}

QStringList ColumnTexts(QTreeView* list, int column) {
    QStringList texts;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        texts << list->model()->index(row, column).data().toString();
    return texts;
}

int ColumnOf(QTreeView* list, const QString& captionEnd) {
    for (int c = 0; c < list->model()->columnCount(); ++c)
        if (list->model()->headerData(c, Qt::Horizontal).toString().endsWith(captionEnd))
            return c;
    return -1;
}

// Runs each snapshot routine through the window's own caller, then holds
// the worker after its first routine until Open: the run is then surely
// still going when the test asks to abort it.
class THoldingCaller : public TMainThreadCaller {
public:
    ~THoldingCaller() override { Open(); }
    void SetInner(TMainThreadCaller* inner) { m_inner = inner; }
    void CallSync(const std::function<void()>& routine) override {
        m_inner->CallSync(routine);
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_held) {
            m_held = true;
            m_changed.wait(lock, [this] { return m_open; });
        }
    }
    bool Held() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_held;
    }
    void Open() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    TMainThreadCaller* m_inner = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_held = false;
    bool m_open = false;
};

// A small tree with one duplicate pair, one same-size pair of different
// content and a zero-size file.
void MakeDuplicates(const test::TTempTree& tree) {
    tree.File("a/x.txt", "hello");
    tree.File("b/x.txt", "hello");
    tree.File("a/y.dat", "world1");
    tree.File("b/z.dat", "world2");
    tree.File("b/empty");
}

void ClickWhenModal(const QString& window, const QString& button) {
    uitest::WhenModal(window, [button](QWidget* w) {
        if (auto* b = w->findChild<QPushButton*>(button))
            b->click();
    });
}

void RemoveSettingsFile() {
    QFile::remove(uitest::TestHome() + QStringLiteral("/.config/Quillborne/QVD/QVD.ini"));
}

} // namespace

class MainTest : public QObject {
    Q_OBJECT
private slots:
    void init() { RemoveSettingsFile(); }

    void WindowCarriesItsNamesAndCaption() {
        auto settings = LoadedSettings();
        TSearchRun run;
        Tform_Main window(*settings, run);
        QCOMPARE(window.objectName(), QStringLiteral("form_Main"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Vardex Lite 1.0.1"));
        for (const char* name : {"tbMenu",          "pnlMain",
                                 "splMain",         "pnlSearchSet",
                                 "splSearchSet",    "pnlSearchSetManager",
                                 "pnlSearchSetCap", "lsvCurrentSet",
                                 "tlbSearchSet",    "pnlSearchSetStore",
                                 "pnlTaskStoreCap", "lbxSetsStore",
                                 "tlbSetStore",     "pnlResults",
                                 "splResults",      "pnlSGResults",
                                 "TabControl",      "SG_Results",
                                 "tlbResult",       "pnlNavigator",
                                 "pnlNavigatorCap", "SG_Navigator",
                                 "tlbFull",         "btnWebsite",
                                 "btnFeedback",     "StatusBar"})
            QVERIFY2(window.findChild<QWidget*>(QString::fromLatin1(name)), name);
        // Every action answers to its name and the view tabs read as specified.
        QVERIFY(window.Action(QStringLiteral("actResAct_ContentCompare")));
        QCOMPARE(window.Action(QStringLiteral("actStartSearch"))->shortcut(),
                 QKeySequence(Qt::Key_F5));
        auto* tabs = Find<QTabBar>(&window, QStringLiteral("TabControl"));
        QCOMPARE(tabs->tabText(0), QStringLiteral("Same &name [0]"));
        QCOMPARE(tabs->tabText(5), QStringLiteral("&Zero size [0]"));
    }

    void ActionStatesFollowTheSetAndTheSelection() {
        auto settings = LoadedSettings();
        TSearchRun run;
        Tform_Main window(*settings, run);
        const auto enabled = [&window](const char* name) {
            return window.Action(QString::fromLatin1(name))->isEnabled();
        };
        // An empty set: only adding makes sense.
        QVERIFY(enabled("actSet_AddPath"));
        QVERIFY(!enabled("actStartSearch"));
        QVERIFY(!enabled("actSet_SelectAll"));
        QVERIFY(!enabled("actSet_EditPath"));
        QVERIFY(!enabled("actStore_Save"));
        // No results yet.
        for (const char* name : {"actResAct_ContentCompare", "actResAct_Delete", "actResAct_CopyTo",
                                 "actResAct_MoveTo", "actResAct_ScanInfo"})
            QVERIFY2(!enabled(name), name);

        AddPathTo(*settings, u"/tmp/a");
        AddPathTo(*settings, u"/tmp/b");
        Tform_Main filled(*settings, run);
        const auto on = [&filled](const char* name) {
            return filled.Action(QString::fromLatin1(name))->isEnabled();
        };
        QVERIFY(on("actStartSearch"));
        QVERIFY(on("actSet_SelectAll"));
        QVERIFY(!on("actSet_EditPath"));
        QVERIFY(on("actStore_Save"));
        filled.Action(QStringLiteral("actSet_SelectAll"))->trigger();
        QVERIFY(!on("actSet_EditPath")); // two rows selected
        QVERIFY(on("actSet_DeletePath"));
        filled.Action(QStringLiteral("actSet_SelectAll"))->trigger(); // all selected: clears
        QVERIFY(!on("actSet_DeletePath"));
        // The store actions need the store pane.
        filled.Action(QStringLiteral("actHide_SetStore"))->trigger();
        QVERIFY(!on("actStore_Save"));
        QVERIFY(!filled.Action(QStringLiteral("actShow_SetStore"))->isChecked());
        filled.Action(QStringLiteral("actShow_SetStore"))->trigger();
        QVERIFY(on("actStore_Save"));
    }

    void DeletingSelectedPathsAsksWithTheirNumber() {
        auto settings = LoadedSettings();
        for (const char16_t* folder : {u"/tmp/a", u"/tmp/b", u"/tmp/c", u"/tmp/d"})
            AddPathTo(*settings, folder);
        TSearchRun run;
        Tform_Main window(*settings, run);
        auto* list = Find<QTreeView>(&window, QStringLiteral("lsvCurrentSet"));
        QItemSelectionModel* selection = list->selectionModel();
        for (int row : {0, 2, 3})
            selection->select(list->model()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        uitest::TMessageBoxAnswers boxes;
        boxes.Queue(kIdNo);
        window.Action(QStringLiteral("actSet_DeletePath"))->trigger();
        QCOMPARE(boxes.LastText(),
                 QStringLiteral(
                     "You have 3 selected paths. Do you really want to remove them from search?"));
        QCOMPARE(boxes.Shown().back().caption, QStringLiteral("Confirm path deleting"));
        QCOMPARE(settings->currentSet.Count(), std::size_t{4});

        boxes.Queue(kIdYes);
        window.Action(QStringLiteral("actSet_DeletePath"))->trigger();
        QCOMPARE(settings->currentSet.Count(), std::size_t{1});
        QCOMPARE(ColumnTexts(list, 0), QStringList{QStringLiteral("/tmp/b")});

        // One selected path is named in the question.
        selection->select(list->model()->index(0, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        boxes.Queue(kIdNo);
        window.Action(QStringLiteral("actSet_DeletePath"))->trigger();
        QCOMPARE(boxes.LastText(), QStringLiteral("Do you really want to remove from search the "
                                                  "selected path '/tmp/b'?"));
        QCOMPARE(boxes.Unexpected(), 0);
    }

    void HeaderClicksSortAndReverseKeepingTheSelection() {
        auto settings = LoadedSettings();
        AddPathTo(*settings, u"/tmp/c", u"*.txt");
        AddPathTo(*settings, u"/tmp/a", u"*.txt");
        AddPathTo(*settings, u"/tmp/b", u"*.doc");
        TSearchRun run;
        Tform_Main window(*settings, run);
        auto* list = Find<QTreeView>(&window, QStringLiteral("lsvCurrentSet"));
        QCOMPARE(ColumnTexts(list, 0),
                 (QStringList{QStringLiteral("/tmp/a"), QStringLiteral("/tmp/b"),
                              QStringLiteral("/tmp/c")}));
        QVERIFY(list->model()->headerData(0, Qt::Horizontal).toString().startsWith("< "));
        // /tmp/c is selected and stays selected through the sorts.
        list->selectionModel()->select(list->model()->index(2, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const int include = ColumnOf(list, QStringLiteral("Include mask"));
        QVERIFY(include >= 0);
        emit list->header()->sectionClicked(include);
        QCOMPARE(ColumnTexts(list, 0),
                 (QStringList{QStringLiteral("/tmp/b"), QStringLiteral("/tmp/a"),
                              QStringLiteral("/tmp/c")}));
        QCOMPARE(list->model()->headerData(include, Qt::Horizontal).toString(),
                 QStringLiteral("< Include mask"));
        emit list->header()->sectionClicked(include);
        QCOMPARE(ColumnTexts(list, 0),
                 (QStringList{QStringLiteral("/tmp/c"), QStringLiteral("/tmp/a"),
                              QStringLiteral("/tmp/b")}));
        QCOMPARE(list->model()->headerData(include, Qt::Horizontal).toString(),
                 QStringLiteral("> Include mask"));
        const QModelIndexList selected = list->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.front().data().toString(), QStringLiteral("/tmp/c"));
    }

    void DraggedColumnOrderAndRatiosComeBackAfterARestart() {
        {
            auto settings = LoadedSettings();
            AddPathTo(*settings, u"/tmp/a");
            TSearchRun run;
            Tform_Main window(*settings, run);
            window.resize(900, 700);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            auto* list = Find<QTreeView>(&window, QStringLiteral("lsvCurrentSet"));
            const int size = ColumnOf(list, QStringLiteral("Size filter"));
            QVERIFY(size > 0);
            list->header()->moveSection(list->header()->visualIndex(size), 0);
            QTRY_COMPARE(settings->Columns(TColumnLayout::SearchSet).Shown().front(),
                         static_cast<std::int32_t>(kColSizeFilter));
            // Moving the main splitter stores the results pane's share.
            auto* splitter = Find<QSplitter>(&window, QStringLiteral("splMain"));
            const int total = splitter->height();
            splitter->setSizes({total / 2, total - total / 2});
            emit splitter->splitterMoved(total / 2, 1);
            QVERIFY(std::abs(settings->sptlMain - 500) <= 10);
            window.close();
        }
        auto settings = LoadedSettings();
        QCOMPARE(settings->currentSet.Count(), std::size_t{1});
        QCOMPARE(settings->Columns(TColumnLayout::SearchSet).Shown().front(),
                 static_cast<std::int32_t>(kColSizeFilter));
        QVERIFY(std::abs(settings->sptlMain - 500) <= 10);
        TSearchRun run;
        Tform_Main window(*settings, run);
        auto* list = Find<QTreeView>(&window, QStringLiteral("lsvCurrentSet"));
        QCOMPARE(list->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Size filter"));
    }

    void BrokenSettingsFileGivesTheDefaults() {
        const QString dir = uitest::TestHome() + QStringLiteral("/.config/Quillborne/QVD");
        QDir().mkpath(dir);
        QFile file(dir + QStringLiteral("/QVD.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[MainSection]\nsptlMain=abc\nbShow_SetStore=7\n[LV_Columns]\nLV_clm_Count=99\n"
                   "LV_clm_0=-5\n[CurrentSetSection]\nCurrentSetCount=1000000\n\x01\xff\xfe[[[\n");
        file.close();
        auto settings = LoadedSettings();
        TSearchRun run;
        Tform_Main window(*settings, run);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(settings->sptlMain, 650);
        QCOMPARE(settings->currentSet.Count(), std::size_t{0});
        auto* list = Find<QTreeView>(&window, QStringLiteral("lsvCurrentSet"));
        QCOMPARE(list->model()->columnCount(), 7); // the default columns
        window.close();
    }

    void SearchCompareStoreAndRestart() {
        test::TTempTree tree;
        MakeDuplicates(tree);
        const std::u16string root = ToU16(QString::fromStdString(tree.Root()));
        {
            auto settings = LoadedSettings();
            TSearchRun run;
            Tform_Main window(*settings, run);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY(!window.Action(QStringLiteral("actResAct_ContentCompare"))->isEnabled());

            // The path comes in through the search path dialog.
            uitest::WhenModal(QStringLiteral("form_AddPath"), [&root](QWidget* dialog) {
                dialog->findChild<QComboBox*>(QStringLiteral("cmbMainFolder"))
                    ->setEditText(ToQString(root));
                dialog->findChild<QPushButton*>(QStringLiteral("btnAddPath"))->click();
            });
            QTest::keyClick(Find<QTreeView>(&window, QStringLiteral("lsvCurrentSet")),
                            Qt::Key_Insert);
            QCOMPARE(settings->currentSet.Count(), std::size_t{1});
            QVERIFY(window.Action(QStringLiteral("actStartSearch"))->isEnabled());

            // The search's progress window closes by itself; the scan
            // information follows, and its button starts the comparison,
            // after which the scan information shows once more.
            bool scanInfoAgain = false;
            uitest::WhenModal(QStringLiteral("form_ScanInfo"), [&scanInfoAgain](QWidget* w) {
                uitest::WhenModal(
                    QStringLiteral("form_ScanInfo"), [&scanInfoAgain](QWidget* again) {
                        scanInfoAgain = true;
                        again->findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
                    });
                w->findChild<QPushButton*>(QStringLiteral("btnContentCmp"))->click();
            });
            window.Action(QStringLiteral("actStartSearch"))->trigger();
            QVERIFY(scanInfoAgain);
            const TScanStatus& status = run.Store().Status();
            QVERIFY(status.m_searchDone);
            QVERIFY(status.m_contentDone);
            auto* tabs = Find<QTabBar>(&window, QStringLiteral("TabControl"));
            QCOMPARE(tabs->tabText(0), QStringLiteral("Same &name [2]"));
            QCOMPARE(tabs->tabText(1), QStringLiteral("Same &size [4]"));
            QCOMPARE(tabs->tabText(3), QStringLiteral("Same &content [2]"));
            // Compared once: the comparison is off until the next search.
            QVERIFY(!window.Action(QStringLiteral("actResAct_ContentCompare"))->isEnabled());
            QVERIFY(window.Action(QStringLiteral("actResAct_ScanInfo"))->isEnabled());

            // Store the set under a name.
            uitest::WhenModal(QStringLiteral("form_StoreSet"), [](QWidget* dialog) {
                dialog->findChild<QLineEdit*>(QStringLiteral("edtName"))
                    ->setText(QStringLiteral("Flow set"));
                dialog->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
            });
            window.Action(QStringLiteral("actStore_Save"))->trigger();
            QCOMPARE(settings->storedSets.size(), std::size_t{1});

            // A new search that has Same size groups enables it again.
            ClickWhenModal(QStringLiteral("form_ScanInfo"), QStringLiteral("btnClose"));
            window.Action(QStringLiteral("actStartSearch"))->trigger();
            QVERIFY(window.Action(QStringLiteral("actResAct_ContentCompare"))->isEnabled());
            window.close();
        }
        auto settings = LoadedSettings();
        QCOMPARE(settings->currentSet.Count(), std::size_t{1});
        QCOMPARE(settings->currentSet.Path(0)->SearchPath, root);
        QCOMPARE(settings->storedSets.size(), std::size_t{1});
        QCOMPARE(ToQString(settings->storedSets[0]->name), QStringLiteral("Flow set"));
        QVERIFY(!settings->searchPathHistory.items.empty());
        QCOMPARE(settings->searchPathHistory.items.front().text, root);
    }

    void KeyboardAloneBuildsSearchesAndStores() {
        test::TTempTree tree;
        MakeDuplicates(tree);
        const QString root = QString::fromStdString(tree.Root());
        auto settings = LoadedSettings();
        TSearchRun run;
        Tform_Main window(*settings, run);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        Find<QTreeView>(&window, QStringLiteral("lsvCurrentSet"))->setFocus();
        // Every step types into whatever has the focus, as a user would.
        const auto typeIntoFocus = [](const QString& text, Qt::Key finish) {
            QTest::keyClicks(QApplication::focusWidget(), text);
            QTest::keyClick(QApplication::focusWidget(), finish);
        };
        // Insert opens the dialog with the focus in the folder box; Enter adds.
        uitest::WhenModal(QStringLiteral("form_AddPath"), [&](QWidget* dialog) {
            QApplication::setActiveWindow(dialog);
            typeIntoFocus(root, Qt::Key_Return);
        });
        QTest::keyClick(&window, Qt::Key_Insert);
        QCOMPARE(settings->currentSet.Count(), std::size_t{1});
        // F5 searches; Escape closes the scan information.
        uitest::WhenModal(QStringLiteral("form_ScanInfo"), [](QWidget* info) {
            QApplication::setActiveWindow(info);
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : info,
                            Qt::Key_Escape);
        });
        QApplication::setActiveWindow(&window); // the dialog has gone
        QTest::keyClick(&window, Qt::Key_F5);
        QVERIFY(run.Store().Status().m_searchDone);
        // Ctrl+S asks for a name; Enter stores.
        uitest::WhenModal(QStringLiteral("form_StoreSet"), [&](QWidget* dialog) {
            QApplication::setActiveWindow(dialog);
            typeIntoFocus(QStringLiteral("Keys"), Qt::Key_Return);
        });
        QApplication::setActiveWindow(&window);
        QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(settings->storedSets.size(), std::size_t{1});
        QCOMPARE(ToQString(settings->storedSets[0]->name), QStringLiteral("Keys"));
        window.close();
    }

    void AbortedSearchLeavesNoResults() {
        test::TTempTree tree;
        MakeDuplicates(tree);
        auto settings = LoadedSettings();
        AddPathTo(*settings, ToU16(QString::fromStdString(tree.Root())).c_str());
        TSearchRun run;
        Tform_Main window(*settings, run);
        THoldingCaller holder;
        window.SetWorkerCallerWrap([&holder](TMainThreadCaller* inner) {
            holder.SetInner(inner);
            return &holder;
        });
        uitest::TMessageBoxAnswers boxes;
        uitest::WhenModal(QStringLiteral("form_ProgressScan"),
                          [&holder, &boxes](QWidget* progress) {
                              QTRY_VERIFY(holder.Held());
                              boxes.Queue(kIdYes);
                              qobject_cast<QDialog*>(progress)->reject(); // asks, Yes cancels
                              holder.Open();
                          });
        window.Action(QStringLiteral("actStartSearch"))->trigger();
        QCOMPARE(boxes.Shown().size(), std::size_t{1});
        QVERIFY(run.Store().Status().m_searchAborted);
        QVERIFY(!run.Store().Status().m_searchDone);
        auto* tabs = Find<QTabBar>(&window, QStringLiteral("TabControl"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Same &size [0]"));
        for (const char* name : {"actResAct_Delete", "actResAct_CopyTo", "actResAct_MoveTo",
                                 "actResAct_ScanInfo", "actResAct_ContentCompare"})
            QVERIFY2(!window.Action(QString::fromLatin1(name))->isEnabled(), name);
    }

    void ResizingKeepsTheResultsPaneAtItsRatio() {
        auto settings = LoadedSettings();
        TSearchRun run;
        Tform_Main window(*settings, run);
        window.resize(800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* splitter = Find<QSplitter>(&window, QStringLiteral("splMain"));
        for (const QSize size : {QSize(800, 600), QSize(1000, 900), QSize(760, 620)}) {
            window.resize(size);
            QTRY_VERIFY(std::abs(splitter->sizes().value(1) * 1000 / splitter->height() - 650) <=
                        15);
        }
    }
};

VDX_UITEST_MAIN(MainTest)
#include "Main_test.moc"
