// The sets store: the list, the name dialog and the four commands, driven
// through the widgets with the questions answered through the seam.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>
#include <memory>

#include "engine/VDX_unit_SearchRun.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "tests/ui/support/VDX_uitest_Support.h"
#include "ui/VDX_form_Main.h"
#include "ui/VDX_form_StoreSet.h"
#include "ui/VDX_unit_SetsStore.h"

using namespace vdx;
using vdx::uitest::Find;
using vdx::uitest::WhenModal;

namespace {

std::unique_ptr<TSearchData> MakePath(const QString& folder) {
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = ToU16(folder);
    return path;
}

void FillSet(TSearchSet& set, const QString& name, int paths) {
    set.name = ToU16(name);
    set.Paths().Clear();
    for (int i = 0; i < paths; ++i)
        set.AddOwned(MakePath(QStringLiteral("/data/%1/%2").arg(name).arg(i)));
}

void AddStored(TSettings& settings, const QString& name, int paths) {
    auto set = std::make_unique<TSearchSet>();
    FillSet(*set, name, paths);
    settings.storedSets.push_back(std::move(set));
}

QStringList StoredNames(const TSettings& settings) {
    QStringList names;
    for (const auto& set : settings.storedSets)
        names << ToQString(set->name);
    return names;
}

// The name dialog's controls, found once it is modal.
struct TNameDialog {
    explicit TNameDialog(QWidget* dialog)
        : names(Find<QListWidget>(dialog, QStringLiteral("lbxNames"))),
          name(Find<QLineEdit>(dialog, QStringLiteral("edtName"))),
          ok(Find<QPushButton>(dialog, QStringLiteral("btnOk"))),
          info(Find<QLabel>(dialog, QStringLiteral("lblInfo"))) {}
    void Type(const QString& text) const {
        name->clear();
        QTest::keyClicks(name, text);
    }
    QString SelectedName() const {
        const auto items = names->selectedItems();
        return items.isEmpty() ? QString() : items.front()->text();
    }
    QListWidget* names;
    QLineEdit* name;
    QPushButton* ok;
    QLabel* info;
};

} // namespace

class SetsStoreTest : public QObject {
    Q_OBJECT
private slots:
    void EmptyStoreShowsItsTextAndRefusesTheCommands() {
        TSettings settings;
        TSetsStoreList list(settings);
        list.Redisplay();
        QCOMPARE(list.objectName(), QStringLiteral("lbxSetsStore"));
        QVERIFY(!list.isEnabled());
        QCOMPARE(list.SelectedIndex(), -1);
        list.resize(240, 120);
        QVERIFY(!list.grab().isNull()); // the empty text paints without a row

        // Nothing selected: no question, no change. Empty current set: no dialog.
        uitest::TMessageBoxAnswers boxes;
        QVERIFY(!StoreLoad(nullptr, settings, list));
        QVERIFY(!StoreRename(nullptr, settings, list));
        QVERIFY(!StoreDelete(nullptr, settings, list));
        QVERIFY(!StoreSave(nullptr, settings, list));
        QVERIFY(boxes.Shown().empty());
        QVERIFY(settings.storedSets.empty());

        AddStored(settings, QStringLiteral("One"), 2);
        list.Redisplay();
        QVERIFY(list.isEnabled());
        QCOMPARE(list.model()->index(0, 0).data().toString(), QStringLiteral(" [2 paths] in One"));
    }

    void StoreSortsByUpperCasedName_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("letter case ignored")
            << QStringList{"C", "b", "A"} << QStringList{"A", "b", "C"};
        // Upper-cased é is U+00C9, after every ASCII capital.
        QTest::newRow("code units after upper-casing")
            << QStringList{QString::fromUtf8("éclair"), "Zebra", "apple"}
            << QStringList{"apple", "Zebra", QString::fromUtf8("éclair")};
        QTest::newRow("a leading blank sorts first") << QStringList{"Photos", " Photos", "Music"}
                                                     << QStringList{" Photos", "Music", "Photos"};
    }
    void StoreSortsByUpperCasedName() {
        QFETCH(QStringList, names);
        QFETCH(QStringList, sorted);
        TSettings settings;
        for (const QString& name : names)
            AddStored(settings, name, 1);
        SortStore(settings);
        QCOMPARE(StoredNames(settings), sorted);
    }

    void SavingANewNameSortsItInAndSelectsIt() {
        TSettings settings;
        AddStored(settings, QStringLiteral("A"), 1);
        AddStored(settings, QStringLiteral("C"), 3);
        FillSet(settings.currentSet, QStringLiteral("current"), 2);
        settings.currentSet.Path(0)->selected = true;
        TSetsStoreList list(settings);
        list.Redisplay();

        QString info;
        bool okBeforeTyping = true;
        WhenModal(QStringLiteral("form_StoreSet"), [&](QWidget* dialog) {
            TNameDialog d(dialog);
            info = d.info->text();
            okBeforeTyping = d.ok->isEnabled();
            d.Type(QStringLiteral("   "));
            QVERIFY(!d.ok->isEnabled()); // a blank name cannot be saved
            d.Type(QStringLiteral("b"));
            QVERIFY(d.SelectedName().isEmpty());
            QTest::mouseClick(d.ok, Qt::LeftButton);
        });
        uitest::TMessageBoxAnswers boxes;
        QVERIFY(StoreSave(nullptr, settings, list));
        QVERIFY(boxes.Shown().empty());
        QVERIFY(!okBeforeTyping);
        QCOMPARE(info, QStringLiteral("You are about saving Current search set (2 paths) in the "
                                      "store. Type name for the set or select name from the set "
                                      "list."));
        QCOMPARE(StoredNames(settings), (QStringList{"A", "b", "C"}));
        QCOMPARE(list.SelectedIndex(), 1);
        const TSearchSet& saved = *settings.storedSets[1];
        QCOMPARE(saved.Count(), std::size_t{2});
        QVERIFY(!saved.selectAfterSort);
        QVERIFY(!saved.Path(0)->selected); // row state is not stored
        QCOMPARE(saved.Path(1)->SearchPath, settings.currentSet.Path(1)->SearchPath);
        QCOMPARE(list.model()->index(1, 0).data().toString(), QStringLiteral(" [2 paths] in b"));
    }

    void SavingUnderAStoredNameInOtherCaseAsksToReplace() {
        TSettings settings;
        AddStored(settings, QStringLiteral("Photos"), 4);
        AddStored(settings, QStringLiteral("Zoo"), 1);
        FillSet(settings.currentSet, QStringLiteral("current"), 2);
        TSetsStoreList list(settings);
        list.Redisplay();

        QString selectedAfterTyping, nameAfterNo;
        uitest::TMessageBoxAnswers boxes;
        boxes.Queue(kIdNo);
        WhenModal(QStringLiteral("form_StoreSet"), [&](QWidget* dialog) {
            TNameDialog d(dialog);
            d.Type(QStringLiteral("PHOTOS"));
            selectedAfterTyping = d.SelectedName();
            QCOMPARE(d.name->text(), QStringLiteral("PHOTOS")); // the typed text stays
            QTest::mouseClick(d.ok, Qt::LeftButton);
            // No keeps the dialog open with the name cleared.
            QVERIFY(dialog->isVisible());
            nameAfterNo = d.name->text();
            QVERIFY(d.SelectedName().isEmpty());
            d.Type(QStringLiteral("PHOTOS "));
            QTest::mouseClick(d.ok, Qt::LeftButton);
        });
        QVERIFY(StoreSave(nullptr, settings, list));
        QCOMPARE(selectedAfterTyping, QStringLiteral("Photos"));
        QVERIFY(nameAfterNo.isEmpty());
        QCOMPARE(boxes.Shown().size(), std::size_t{1});
        QCOMPARE(boxes.Shown()[0].caption, QStringLiteral("Confirm stored set replacing"));
        QCOMPARE(boxes.Shown()[0].text,
                 QStringLiteral("The stored set 'Photos' has 4 path(s) for search.\n\nDo you "
                                "really want to replace it with the Current search set?"));
        // "PHOTOS " matched nothing (the text is not trimmed): a second set,
        // stored trimmed, beside the untouched one.
        QStringList names = StoredNames(settings);
        names.sort();
        QCOMPARE(names, (QStringList{"PHOTOS", "Photos", "Zoo"}));
        QCOMPARE(settings.storedSets[list.SelectedIndex()]->Count(), std::size_t{2});

        // Yes replaces the matched set: its paths, its name as typed.
        boxes.Clear();
        boxes.Queue(kIdYes);
        WhenModal(QStringLiteral("form_StoreSet"), [&](QWidget* dialog) {
            TNameDialog d(dialog);
            d.Type(QStringLiteral("zoo"));
            QCOMPARE(d.SelectedName(), QStringLiteral("Zoo"));
            QTest::mouseClick(d.ok, Qt::LeftButton);
        });
        QVERIFY(StoreSave(nullptr, settings, list));
        QCOMPARE(boxes.Shown().size(), std::size_t{1});
        QCOMPARE(settings.storedSets.size(), std::size_t{3});
        const int zoo = list.SelectedIndex();
        QVERIFY(zoo >= 0);
        QCOMPARE(ToQString(settings.storedSets[zoo]->name), QStringLiteral("zoo"));
        QCOMPARE(settings.storedSets[zoo]->Count(), std::size_t{2});
    }

    void ABlankBeforeAStoredNameMakesASecondSet() {
        TSettings settings;
        AddStored(settings, QStringLiteral("Photos"), 4);
        FillSet(settings.currentSet, QStringLiteral("current"), 1);
        TSetsStoreList list(settings);
        list.Redisplay();
        uitest::TMessageBoxAnswers boxes;
        WhenModal(QStringLiteral("form_StoreSet"), [&](QWidget* dialog) {
            TNameDialog d(dialog);
            d.Type(QStringLiteral(" Photos"));
            QVERIFY(d.SelectedName().isEmpty());
            QTest::mouseClick(d.ok, Qt::LeftButton);
        });
        QVERIFY(StoreSave(nullptr, settings, list));
        QVERIFY(boxes.Shown().empty());
        QCOMPARE(StoredNames(settings), (QStringList{"Photos", "Photos"}));
        QCOMPARE(settings.storedSets[list.SelectedIndex()]->Count(), std::size_t{1});
    }

    void ClickingANamePutsItIntoTheEditBox() {
        TSettings settings;
        AddStored(settings, QStringLiteral("Alpha"), 1);
        AddStored(settings, QStringLiteral("Beta"), 1);
        FillSet(settings.currentSet, QStringLiteral("current"), 1);
        Tform_StoreSet dialog(settings);
        dialog.Prepare(TStoreSetMode::Save, settings.currentSet, {});
        dialog.show();
        TNameDialog d(&dialog);
        QCOMPARE(d.names->count(), 2);
        QTest::mouseClick(d.names->viewport(), Qt::LeftButton, {},
                          d.names->visualItemRect(d.names->item(1)).center());
        QCOMPARE(d.name->text(), QStringLiteral("Beta"));
        QCOMPARE(d.SelectedName(), QStringLiteral("Beta"));
        QVERIFY(d.ok->isEnabled());
    }

    void RenameRefusesOwnExistingAndBlankNames_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("okEnabled");
        QTest::newRow("own name") << QStringLiteral("Music") << false;
        QTest::newRow("own name in other case") << QStringLiteral("MUSIC") << false;
        QTest::newRow("another stored name") << QStringLiteral("photos") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("blanks") << QStringLiteral("   ") << false;
        QTest::newRow("new name") << QStringLiteral("Albums") << true;
        QTest::newRow("own name with a blank") << QStringLiteral("Music ") << true;
    }
    void RenameRefusesOwnExistingAndBlankNames() {
        QFETCH(QString, typed);
        QFETCH(bool, okEnabled);
        TSettings settings;
        AddStored(settings, QStringLiteral("Music"), 2);
        AddStored(settings, QStringLiteral("Photos"), 1);
        Tform_StoreSet dialog(settings);
        dialog.Prepare(TStoreSetMode::Rename, *settings.storedSets[0], {});
        dialog.show();
        TNameDialog d(&dialog);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Rename search set title"));
        QCOMPARE(d.name->text(), QStringLiteral("Music"));
        QVERIFY(!d.ok->isEnabled());
        d.Type(typed);
        QCOMPARE(d.ok->isEnabled(), okEnabled);
    }

    void RenameTakesTheTrimmedNameAndResorts() {
        TSettings settings;
        AddStored(settings, QStringLiteral("Alpha"), 1);
        AddStored(settings, QStringLiteral("Beta"), 3);
        TSetsStoreList list(settings);
        list.Redisplay();
        list.SelectIndex(0);
        WhenModal(QStringLiteral("form_StoreSet"), [&](QWidget* dialog) {
            TNameDialog d(dialog);
            d.Type(QStringLiteral("  Gamma "));
            QTest::keyClick(d.name, Qt::Key_Return); // Enter presses OK
        });
        QVERIFY(StoreRename(nullptr, settings, list));
        QCOMPARE(StoredNames(settings), (QStringList{"Beta", "Gamma"}));
        QCOMPARE(list.SelectedIndex(), 1);

        // Cancel changes nothing.
        WhenModal(QStringLiteral("form_StoreSet"), [&](QWidget* dialog) {
            TNameDialog(dialog).Type(QStringLiteral("Delta"));
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(!StoreRename(nullptr, settings, list));
        QCOMPARE(StoredNames(settings), (QStringList{"Beta", "Gamma"}));
    }

    void LoadAsksOnlyWhenTheCurrentSetHoldsPaths() {
        TSettings settings;
        AddStored(settings, QStringLiteral("Music"), 3);
        TSetsStoreList list(settings);
        list.Redisplay();
        list.SelectIndex(0);
        uitest::TMessageBoxAnswers boxes;

        // Empty current set: loaded without a question.
        QVERIFY(StoreLoad(nullptr, settings, list));
        QVERIFY(boxes.Shown().empty());
        QCOMPARE(ToQString(settings.currentSet.name), QStringLiteral("Music"));
        QCOMPARE(settings.currentSet.Count(), std::size_t{3});

        // No keeps the current set; Yes replaces it with row states cleared.
        FillSet(settings.currentSet, QStringLiteral("mine"), 1);
        settings.currentSet.Path(0)->selected = true;
        boxes.Queue(kIdNo);
        QVERIFY(!StoreLoad(nullptr, settings, list));
        QCOMPARE(boxes.LastText(), QStringLiteral("Do you really want to replace Current search "
                                                  "set with the\n\n'Music' which contains 3 "
                                                  "path(s) for search?"));
        QCOMPARE(boxes.Shown().back().caption, QStringLiteral("Confirm loading of a stored set"));
        QCOMPARE(settings.currentSet.Count(), std::size_t{1});
        boxes.Queue(kIdYes);
        QVERIFY(StoreLoad(nullptr, settings, list));
        QCOMPARE(settings.currentSet.Count(), std::size_t{3});
        for (std::size_t i = 0; i < settings.currentSet.Count(); ++i)
            QVERIFY(!settings.currentSet.Path(i)->selected &&
                    !settings.currentSet.Path(i)->focused);
        // The stored set is a copy, not shared.
        QVERIFY(settings.currentSet.Path(0) != settings.storedSets[0]->Path(0));
    }

    void DoubleClickAsksToLoad() {
        TSettings settings;
        AddStored(settings, QStringLiteral("A"), 1);
        AddStored(settings, QStringLiteral("B"), 1);
        TSetsStoreList list(settings);
        list.resize(200, 100);
        list.Redisplay();
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy spy(&list, &TSetsStoreList::LoadRequested);
        const QPoint second = list.visualRect(list.model()->index(1, 0)).center();
        // The view takes a double click only on the row the press was on.
        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, second);
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.front().front().toInt(), 1);
        QCOMPARE(list.SelectedIndex(), 1);
    }

    void DeleteSelectsTheEntryThatTakesItsPlace_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("middle") << 3 << 1 << 1;
        QTest::newRow("last") << 3 << 2 << 1;
        QTest::newRow("only") << 1 << 0 << -1;
    }
    void DeleteSelectsTheEntryThatTakesItsPlace() {
        QFETCH(int, count);
        QFETCH(int, deleted);
        QFETCH(int, selectedAfter);
        TSettings settings;
        for (int i = 0; i < count; ++i)
            AddStored(settings, QStringLiteral("Set%1").arg(i), i + 1);
        TSetsStoreList list(settings);
        list.Redisplay();
        list.SelectIndex(deleted);
        uitest::TMessageBoxAnswers boxes;
        boxes.Queue(kIdNo);
        QVERIFY(!StoreDelete(nullptr, settings, list));
        QCOMPARE(settings.storedSets.size(), std::size_t(count));
        QCOMPARE(boxes.LastText(), QStringLiteral("The stored set 'Set%1' has %2 path(s) for "
                                                  "search.\n\nDo you really want to delete it?")
                                       .arg(deleted)
                                       .arg(deleted + 1));
        QCOMPARE(boxes.Shown().back().caption, QStringLiteral("Confirm stored set deleting"));
        boxes.Queue(kIdYes);
        QVERIFY(StoreDelete(nullptr, settings, list));
        QCOMPARE(settings.storedSets.size(), std::size_t(count - 1));
        QVERIFY(!StoredNames(settings).contains(QStringLiteral("Set%1").arg(deleted)));
        QCOMPARE(list.SelectedIndex(), selectedAfter);
        QCOMPARE(list.model()->rowCount(), count - 1);
        QCOMPARE(list.isEnabled(), count > 1);
    }

    void NamesWithPlaceholdersAndMarkupStayLiteral() {
        TSettings settings;
        AddStored(settings, QStringLiteral("<b>%2 %1</b>"), 1);
        TSetsStoreList list(settings);
        list.Redisplay();
        list.SelectIndex(0);
        QCOMPARE(list.model()->index(0, 0).data().toString(),
                 QStringLiteral(" [1 paths] in <b>%2 %1</b>"));
        uitest::TMessageBoxAnswers boxes;
        QVERIFY(!StoreDelete(nullptr, settings, list));
        QVERIFY(
            boxes.LastText().startsWith(QStringLiteral("The stored set '<b>%2 %1</b>' has 1 ")));
    }

    void MainWindowRunsTheCommandsFromItsActions() {
        TSettings settings;
        InitGlobals(settings, u"DejaVu Sans", 9);
        FillSet(settings.currentSet, QStringLiteral("current"), 2);
        TSearchRun run;
        Tform_Main window(settings, run);
        auto* list = Find<TSetsStoreList>(&window, QStringLiteral("lbxSetsStore"));
        QVERIFY(list);
        QAction* save = window.Action(QStringLiteral("actStore_Save"));
        QAction* load = window.Action(QStringLiteral("actStore_Load"));
        QAction* remove = window.Action(QStringLiteral("actStore_Delete"));
        QVERIFY(save->isEnabled() && !load->isEnabled() && !list->isEnabled());

        WhenModal(QStringLiteral("form_StoreSet"), [](QWidget* dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Save search set in store"));
            TNameDialog d(dialog);
            d.Type(QStringLiteral("Saved"));
            QTest::mouseClick(d.ok, Qt::LeftButton);
        });
        save->trigger();
        QCOMPARE(StoredNames(settings), QStringList{"Saved"});
        QVERIFY(list->isEnabled());
        QCOMPARE(list->SelectedIndex(), 0);
        QVERIFY(load->isEnabled() && remove->isEnabled());

        uitest::TMessageBoxAnswers boxes;
        settings.currentSet.Paths().Delete(0);
        boxes.Queue(kIdYes);
        load->trigger();
        QCOMPARE(boxes.Shown().size(), std::size_t{1});
        QCOMPARE(settings.currentSet.Count(), std::size_t{2});
        QCOMPARE(Find<QTreeView>(&window, QStringLiteral("lsvCurrentSet"))->model()->rowCount(), 2);

        boxes.Queue(kIdYes);
        remove->trigger();
        QVERIFY(settings.storedSets.empty());
        QVERIFY(!list->isEnabled());
        QVERIFY(!load->isEnabled() && !remove->isEnabled());
    }
};

VDX_UITEST_MAIN(SetsStoreTest)
#include "SetsStore_test.moc"
