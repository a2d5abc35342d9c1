// The search path dialog and the folder browser it opens, driven through
// their controls with the browser and the message boxes answered by hooks.

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QtTest>
#include <deque>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "persistence/VDX_unit_Settings.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_FolderBrowser.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "tests/ui/support/VDX_uitest_Support.h"
#include "ui/VDX_form_AddPath.h"

using namespace vdx;
using vdx::uitest::Find;

namespace {

void AddTo(TSearchSet& set, const char16_t* folder) {
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = folder;
    set.AddOwned(std::move(path));
}

// Answers the folder browser from a queue and records what it was asked.
class TBrowserAnswers {
public:
    TBrowserAnswers() {
        SetFolderBrowserHook([this](const TFolderBrowserRequest& request) {
            asked.push_back(request);
            std::optional<QString> answer;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
            return answer;
        });
    }
    ~TBrowserAnswers() { SetFolderBrowserHook({}); }
    std::deque<std::optional<QString>> answers;
    std::vector<TFolderBrowserRequest> asked;
};

double DateTimeOf(int y, int mo, int d, int h, int mi, int s) {
    TCalendarTime c;
    c.year = y;
    c.month = mo;
    c.day = d;
    c.hour = h;
    c.minute = mi;
    c.second = s;
    return CalendarToDateTime(c);
}

QStringList ListTexts(QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

} // namespace

class AddPathTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TSettings> m_settings;
    TSearchSet m_set;
    TSearchData m_path;
    std::unique_ptr<Tform_AddPath> m_dialog;

    template <typename T>
    T* Get(const char* name) {
        T* widget = Find<T>(m_dialog.get(), QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    Tform_AddPath& Open(bool adding) {
        m_dialog = std::make_unique<Tform_AddPath>(nullptr, *m_settings);
        m_dialog->SetPath(m_path, m_set, adding);
        return *m_dialog;
    }
    void SetPathText(const QString& text) { Get<QComboBox>("cmbMainFolder")->setEditText(text); }

private slots:
    void init() {
        m_settings = std::make_unique<TSettings>();
        m_set = TSearchSet();
        m_path.Assign(TSearchData());
        m_dialog.reset();
    }

    void NamesCaptionsAndModes() {
        Open(true);
        QCOMPARE(m_dialog->objectName(), QStringLiteral("form_AddPath"));
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Add new search path"));
        QCOMPARE(m_dialog->property("helpContext").toInt(), 3);
        QCOMPARE(Get<QPushButton>("btnAddPath")->text(), QStringLiteral("&Add path"));
        QVERIFY(Get<QPushButton>("btnAddPath")->isDefault());
        QCOMPARE(Get<QCheckBox>("chkArchive")->text(), QStringLiteral("&a  Archive"));
        QCOMPARE(Get<QPushButton>("btnSetZeroB")->text(), QStringLiteral("<0>"));
        // Every control a user can reach by Tab is known by an accessible name.
        for (QWidget* w : m_dialog->findChildren<QWidget*>())
            if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty() &&
                !w->objectName().startsWith(QLatin1String("qt_")))
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        m_path.SearchPath = u"/data";
        Open(false);
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Edit search path"));
        QCOMPARE(Get<QPushButton>("btnAddPath")->text(), QStringLiteral("S&ave path"));
        QCOMPARE(Get<QComboBox>("cmbMainFolder")->currentText(), QStringLiteral("/data"));
    }

    void EnablingRules() {
        Open(true);
        auto* ok = Get<QPushButton>("btnAddPath");
        auto* addFolder = Get<QPushButton>("btnAddFolder");
        QVERIFY(!ok->isEnabled() && !addFolder->isEnabled());
        SetPathText(QStringLiteral("   "));
        QVERIFY(!ok->isEnabled());
        SetPathText(QStringLiteral(" /data "));
        QVERIFY(ok->isEnabled() && addFolder->isEnabled());
        QVERIFY(!Get<QPushButton>("btnRemovePath")->isEnabled());
        QVERIFY(!Get<QPushButton>("btnClearList")->isEnabled());
        QVERIFY(!Get<QListWidget>("lbxExcludedFolders")->isEnabled());

        // Each filter switch with its radio buttons: A follows the switch, B
        // also needs a two-bound condition.
        struct TPanel {
            const char* sw;
            const char* radios[4];
            const char* aControls[3];
            const char* bControls[3];
        };
        const TPanel panels[] = {
            {"chkUseDate",
             {"rbtFLTRDateOlder", "rbtFLTRDateNewer", "rbtFLTRDateBetween", "rbtFLTRDateOut"},
             {"dtpDateA", "dtpTimeA", "btnNowA"},
             {"dtpDateB", "dtpTimeB", "btnSetZeroB"}},
            {"chkUseSize",
             {"rbtFLTRSizeMore", "rbtFLTRSizeLess", "rbtFLTRSizeBetween", "rbtFLTRSizeOut"},
             {"spnSizeA", "cmbSizeA", "lblSizeA"},
             {"spnSizeB", "cmbSizeB", "lblSizeB"}},
        };
        for (const TPanel& p : panels) {
            auto* sw = Get<QCheckBox>(p.sw);
            for (bool on : {false, true}) {
                sw->setChecked(on);
                for (int r = 0; r < 4; ++r) {
                    auto* radio = Get<QRadioButton>(p.radios[r]);
                    QCOMPARE(radio->isEnabled(), on);
                    radio->setChecked(true);
                    for (const char* a : p.aControls)
                        QVERIFY2(Get<QWidget>(a)->isEnabled() == on, a);
                    for (const char* b : p.bControls)
                        QVERIFY2(Get<QWidget>(b)->isEnabled() == (on && r >= 2), b);
                }
            }
        }
        Get<QCheckBox>("chkUseAttr")->setChecked(false);
        QVERIFY(!Get<QCheckBox>("chkHidden")->isEnabled());
        Get<QCheckBox>("chkUseAttr")->setChecked(true);
        QVERIFY(Get<QCheckBox>("chkHidden")->isEnabled());
        QVERIFY(!Get<QComboBox>("cmbExcludeFilter")->isEnabled());
        Get<QCheckBox>("chkUseExclude")->setChecked(true);
        QVERIFY(Get<QComboBox>("cmbExcludeFilter")->isEnabled());
    }

    void RecordToControlsAndBack() {
        TFileFilter& f = m_path.fileFilter;
        m_path.SearchPath = u"/data/photos";
        m_path.bSubFolders = false;
        f.FLT_Include = u"*.jpg; *.png";
        f.FLT_Exclude = u"*.tmp";
        f.FLT_bUseExclude = true;
        f.FLT_bUseDate = true;
        f.FLT_bUseSize = true;
        f.FLT_bUseAttr = true;
        f.FLT_DateTimeA = DateTimeOf(2001, 2, 3, 4, 5, 6);
        f.FLT_DateTimeB = DateTimeOf(2020, 12, 31, 23, 59, 58);
        f.FLT_DatePos = kDateBeyond;
        f.FLT_SizeA = 2;
        f.FLT_SizeDegreeA = kDegreeMb;
        f.FLT_SizeB = 1234567; // beyond what the spin box holds
        f.FLT_SizeDegreeB = kDegreeGb;
        f.FLT_SizePos = kSizeBetween;
        f.FLT_Attr_IncMask = kAttrHidden;
        f.FLT_Attr_ExcMask = kAttrSystem | kAttrReadOnly;
        m_path.folderFilter.Add(u"/data/photos/cache/");
        Open(false);

        QVERIFY(!Get<QCheckBox>("chkSubfolders")->isChecked());
        QCOMPARE(Get<QComboBox>("cmbIncludeFilter")->currentText(), QStringLiteral("*.jpg; *.png"));
        QCOMPARE(Get<QDateEdit>("dtpDateA")->date(), QDate(2001, 2, 3));
        QCOMPARE(Get<QTimeEdit>("dtpTimeA")->time(), QTime(4, 5, 6));
        QVERIFY(Get<QRadioButton>("rbtFLTRDateOut")->isChecked());
        QVERIFY(Get<QRadioButton>("rbtFLTRSizeBetween")->isChecked());
        QCOMPARE(Get<QSpinBox>("spnSizeB")->value(), 999999);
        QCOMPARE(Get<QComboBox>("cmbSizeB")->currentText(), QStringLiteral("Mbytes"));
        QCOMPARE(Get<QCheckBox>("chkHidden")->checkState(), Qt::Checked);
        QCOMPARE(Get<QCheckBox>("chkSystem")->checkState(), Qt::Unchecked);
        QCOMPARE(Get<QCheckBox>("chkReadOnly")->checkState(), Qt::Unchecked);
        QCOMPARE(Get<QCheckBox>("chkArchive")->checkState(), Qt::PartiallyChecked);
        QCOMPARE(ListTexts(Get<QListWidget>("lbxExcludedFolders")),
                 QStringList{QStringLiteral("/data/photos/cache/")});

        // "<0>" keeps the date and clears the time; the record takes the
        // pickers with whole seconds.
        Get<QPushButton>("btnSetZeroB")->click();
        Get<QRadioButton>("rbtFLTRDateNewer")->setChecked(true);
        Get<QRadioButton>("rbtFLTRSizeLess")->setChecked(true);
        Get<QComboBox>("cmbSizeA")->setCurrentIndex(1);
        m_dialog->accept();
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QCOMPARE(m_path.fileFilter.FLT_DateTimeA, DateTimeOf(2001, 2, 3, 4, 5, 6));
        QCOMPARE(m_path.fileFilter.FLT_DateTimeB, DateTimeOf(2020, 12, 31, 0, 0, 0));
        QCOMPARE(m_path.fileFilter.FLT_DatePos, int(kDateNewerThanA));
        QCOMPARE(m_path.fileFilter.FLT_SizePos, int(kSizeLessThanA));
        QCOMPARE(m_path.fileFilter.FLT_SizeA, 2);
        QCOMPARE(m_path.fileFilter.FLT_SizeDegreeA, int(kDegreeKb));
        QCOMPARE(m_path.fileFilter.FLT_SizeB, 999999);
        QCOMPARE(m_path.fileFilter.FLT_SizeDegreeB, int(kDegreeMb));
        QCOMPARE(m_path.fileFilter.FLT_Attr_IncMask, kAttrHidden);
        QCOMPARE(m_path.fileFilter.FLT_Attr_ExcMask, kAttrSystem | kAttrReadOnly);
        QVERIFY(!m_path.bSubFolders);
        QCOMPARE(m_path.folderFilter.Count(), std::size_t{1});
        QVERIFY(m_path.fileFilter.FLT_bUseExclude && m_path.fileFilter.FLT_bUseAttr);
    }

    void DateBefore1980ShowsNow() {
        m_path.fileFilter.FLT_DateTimeA = DateTimeOf(1975, 6, 1, 12, 0, 0);
        Open(true);
        QCOMPARE(Get<QDateEdit>("dtpDateA")->date(), QDate::currentDate());
        QCOMPARE(Get<QDateEdit>("dtpDateA")->minimumDate(), QDate(1980, 1, 1));
        QCOMPARE(Get<QDateEdit>("dtpDateA")->maximumDate(), QDate(2040, 1, 1));
    }

    void AttributeBoxesCycleUncheckedCheckedGrayed() {
        m_path.fileFilter.FLT_bUseAttr = true;
        m_path.fileFilter.FLT_Attr_ExcMask = kAttrArchive;
        Open(true);
        auto* box = Get<QCheckBox>("chkArchive");
        const Qt::CheckState cycle[] = {Qt::Checked, Qt::PartiallyChecked, Qt::Unchecked,
                                        Qt::Checked};
        QCOMPARE(box->checkState(), Qt::Unchecked);
        for (Qt::CheckState next : cycle) {
            QTest::mouseClick(box, Qt::LeftButton);
            QCOMPARE(box->checkState(), next);
        }
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        QCOMPARE(box->checkState(), Qt::PartiallyChecked);
        // The others start grayed: one step unchecks, two check.
        QTest::mouseClick(Get<QCheckBox>("chkHidden"), Qt::LeftButton);
        QTest::mouseClick(Get<QCheckBox>("chkReadOnly"), Qt::LeftButton);
        QTest::mouseClick(Get<QCheckBox>("chkReadOnly"), Qt::LeftButton);
        SetPathText(QStringLiteral("/x"));
        m_dialog->accept();
        QCOMPARE(m_path.fileFilter.FLT_Attr_IncMask, kAttrReadOnly);
        QCOMPARE(m_path.fileFilter.FLT_Attr_ExcMask, kAttrHidden);
    }

    void PathChecksAgainstTheSet_data() {
        QTest::addColumn<QString>("start"); // the edited path, or empty to add
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: accepted
        const QString modify =
            QStringLiteral("\n\nPlease modify either the search path or the current search set.");
        QTest::newRow("same folder") << ""
                                     << "/data"
                                     << "The search path is already existed in current set\n"
                                        "'/data'" +
                                            modify;
        QTest::newRow("same via variable") << ""
                                           << "%VDX_DATA%"
                                           << "The search path is already existed in current "
                                              "set\n'%VDX_DATA%'" +
                                                  modify;
        QTest::newRow("child") << ""
                               << "/data/old"
                               << "The search path\n '/data/old'\n\n is a child of search folder "
                                  "in current set\n '/data/'" +
                                      modify;
        QTest::newRow("parent") << ""
                                << "/"
                                << "The search path\n '/'\n\n is a parent of a folder in current "
                                   "search set\n '/data/'" +
                                       modify;
        QTest::newRow("sibling with a longer name") << ""
                                                    << "/database"
                                                    << "";
        QTest::newRow("other letter case") << ""
                                           << "/Data"
                                           << "";
        QTest::newRow("edited into itself") << "/data/"
                                            << "/data"
                                            << "";
        QTest::newRow("edited into a child of another")
            << "/music"
            << "/data/music"
            << "The search path\n '/data/music'\n\n is a child of search folder in current set\n "
               "'/data/'" +
                   modify;
    }
    void PathChecksAgainstTheSet() {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        qputenv("VDX_DATA", "/data");
        AddTo(m_set, u"/data/");
        AddTo(m_set, u"/music");
        m_path.SearchPath = ToU16(start);
        m_path.fileFilter.FLT_Include = u"*.txt";
        Open(start.isEmpty());
        SetPathText(typed);
        Get<QComboBox>("cmbIncludeFilter")->setEditText(QStringLiteral("*.doc"));
        uitest::TMessageBoxAnswers boxes;
        m_dialog->accept();
        if (message.isEmpty()) {
            QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
            QCOMPARE(boxes.Shown().size(), std::size_t{0});
            QCOMPARE(ToQString(m_path.SearchPath), typed);
        } else {
            QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
            QCOMPARE(boxes.Shown().size(), std::size_t{1});
            QCOMPARE(boxes.LastText(), message);
            QCOMPARE(boxes.Shown().back().caption, QStringLiteral("Warning: incorrect field"));
            QCOMPARE(boxes.Shown().back().icon, TMsgIcon::Warning);
            QCOMPARE(ToQString(m_path.SearchPath), start);
            QCOMPARE(m_path.fileFilter.FLT_Include, std::u16string(u"*.txt"));
            QCOMPARE(m_settings->searchPathHistory.Count(), std::size_t{0});
        }
    }

    void ExcludedFolderListEditing() {
        TBrowserAnswers browser;
        m_path.SearchPath = u"/data";
        Open(false);
        auto* list = Get<QListWidget>("lbxExcludedFolders");
        browser.answers = {QStringLiteral("/data/tmp"), QStringLiteral("/data/cache"),
                           QStringLiteral("/data/cache/"), QStringLiteral("/data/x")};
        for (int i = 0; i < 3; ++i)
            Get<QPushButton>("btnAddFolder")->click();
        QCOMPARE(browser.asked.front().title, QStringLiteral("Select a folder to be excluded"));
        QCOMPARE(browser.asked.front().root, QStringLiteral("/data"));
        // Sorted, each with a trailing "/", the repeat dropped, the added one selected.
        QCOMPARE(ListTexts(list),
                 (QStringList{QStringLiteral("/data/cache/"), QStringLiteral("/data/tmp/")}));
        QCOMPARE(list->currentRow(), 0);
        Get<QPushButton>("btnAddFolder")->click();
        QCOMPARE(list->currentRow(), 2);
        QVERIFY(Get<QPushButton>("btnRemovePath")->isEnabled());

        Get<QPushButton>("btnRemovePath")->click(); // the last: the new last is selected
        QCOMPARE(ListTexts(list),
                 (QStringList{QStringLiteral("/data/cache/"), QStringLiteral("/data/tmp/")}));
        QCOMPARE(list->currentRow(), 1);
        list->setCurrentRow(0);
        Get<QPushButton>("btnRemovePath")->click(); // the first: what moved up is selected
        QCOMPARE(ListTexts(list), QStringList{QStringLiteral("/data/tmp/")});
        QCOMPARE(list->currentRow(), 0);
        Get<QPushButton>("btnClearList")->click();
        QCOMPARE(list->count(), 0);
        QVERIFY(!Get<QPushButton>("btnClearList")->isEnabled());
        QCOMPARE(m_path.folderFilter.Count(), std::size_t{0}); // untouched until OK
    }

    void ExcludedFolderKeepsTheVariableForm() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub/deep")));
        qputenv("VDX_ROOT", dir.path().toUtf8());
        TBrowserAnswers browser;
        browser.answers = {dir.path() + QStringLiteral("/sub/deep")};
        Open(true);
        SetPathText(QStringLiteral(" %VDX_ROOT% "));
        Get<QPushButton>("btnAddFolder")->click();
        QCOMPARE(browser.asked.back().root, dir.path());
        QCOMPARE(ListTexts(Get<QListWidget>("lbxExcludedFolders")),
                 QStringList{QStringLiteral("%VDX_ROOT%/sub/deep/")});
    }

    void BrowseReplacesThePathText() {
        TBrowserAnswers browser;
        browser.answers = {QStringLiteral("/srv/media"), std::nullopt};
        Open(true);
        SetPathText(QStringLiteral("/old"));
        Get<QPushButton>("btnBrowseMain")->click();
        QCOMPARE(browser.asked.back().title, QStringLiteral("Select folder to search in"));
        QVERIFY(browser.asked.back().root.isEmpty());
        QCOMPARE(Get<QComboBox>("cmbMainFolder")->currentText(), QStringLiteral("/srv/media"));
        Get<QPushButton>("btnBrowseMain")->click(); // cancelled: the text stays
        QCOMPARE(Get<QComboBox>("cmbMainFolder")->currentText(), QStringLiteral("/srv/media"));
    }

    void HistoriesFilledAndUpdatedOnOk() {
        m_settings->searchPathHistory.Add(u"/music", 20);
        m_settings->searchPathHistory.Add(u"/data", 20);
        m_settings->fileFilterIncHistory.Add(u"*.MP3", 20);
        m_path.SearchPath = u"/music";
        m_path.fileFilter.FLT_Include = u"*.mp3";
        Open(false);
        auto* folder = Get<QComboBox>("cmbMainFolder");
        QCOMPARE(folder->count(), 2);
        QCOMPARE(folder->currentIndex(), 1);
        QCOMPARE(Get<QComboBox>("cmbIncludeFilter")->currentIndex(), 0); // masks: any case
        QCOMPARE(Get<QComboBox>("cmbIncludeFilter")->currentText(), QStringLiteral("*.mp3"));

        Get<QCheckBox>("chkUseExclude")->setChecked(true);
        Get<QComboBox>("cmbExcludeFilter")->setEditText(QStringLiteral("*.tmp"));
        m_dialog->accept();
        QCOMPARE(m_settings->searchPathHistory.Count(), std::size_t{2});
        QCOMPARE(m_settings->searchPathHistory.Text(0), std::u16string(u"/music"));
        QCOMPARE(m_settings->fileFilterIncHistory.Text(0), std::u16string(u"*.mp3"));
        QCOMPARE(m_settings->fileFilterIncHistory.Count(), std::size_t{1});
        QCOMPARE(m_settings->fileFilterExcHistory.Text(0), std::u16string(u"*.tmp"));
    }

    void EnterConfirmsAndEscapeCancels() {
        QWidget owner;
        owner.resize(800, 600);
        owner.show();
        m_settings->searchPathHistory.Add(u"/kept", 20);
        m_path.SearchPath = u"/data";
        m_path.fileFilter.FLT_Include = u"*.txt";

        uitest::WhenModal(QStringLiteral("form_AddPath"), [](QWidget* dialog) {
            auto* folder = Find<QComboBox>(dialog, QStringLiteral("cmbMainFolder"));
            folder->setEditText(QStringLiteral("/changed"));
            Find<QCheckBox>(dialog, QStringLiteral("chkUseSize"))->setChecked(true);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QVERIFY(!ExecuteAddPath(&owner, *m_settings, m_set, m_path, false));
        QCOMPARE(m_path.SearchPath, std::u16string(u"/data"));
        QVERIFY(!m_path.fileFilter.FLT_bUseSize);
        QCOMPARE(m_settings->searchPathHistory.Count(), std::size_t{1});

        uitest::WhenModal(QStringLiteral("form_AddPath"), [](QWidget* dialog) {
            auto* folder = Find<QComboBox>(dialog, QStringLiteral("cmbMainFolder"));
            folder->setFocus();
            folder->setEditText(QStringLiteral("/changed"));
            QTest::keyClick(folder->lineEdit(), Qt::Key_Return);
        });
        QVERIFY(ExecuteAddPath(&owner, *m_settings, m_set, m_path, false));
        QCOMPARE(m_path.SearchPath, std::u16string(u"/changed"));
        QCOMPARE(m_settings->searchPathHistory.Text(0), std::u16string(u"/changed"));
    }

    void BrowserRefusesFoldersOutsideItsRoot() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("in")));
        TBrowserAnswers browser;
        uitest::TMessageBoxAnswers boxes;
        const QString root = dir.path();
        browser.answers = {root + QStringLiteral("base"), QStringLiteral("/"),
                           root + QStringLiteral("/in")};
        std::u16string folder = u"/nowhere";
        QVERIFY(BrowseForFolder(nullptr, u"Pick", ToU16(root), folder));
        QCOMPARE(ToQString(folder), root + QStringLiteral("/in"));
        QCOMPARE(browser.asked.size(), std::size_t{3});
        QCOMPARE(browser.asked.front().startFolder, root); // the missing folder is not used
        QCOMPARE(boxes.Shown().size(), std::size_t{2});
        QVERIFY(boxes.LastText().contains(QStringLiteral("is not inside")));
        QCOMPARE(boxes.Shown().back().caption, QStringLiteral("Pick"));

        browser.answers = {std::nullopt};
        QVERIFY(!BrowseForFolder(nullptr, u"Pick", ToU16(root), folder));
        QCOMPARE(ToQString(folder), root + QStringLiteral("/in"));

        QVERIFY(FolderWithinRoot(root, root));
        QVERIFY(FolderWithinRoot(QStringLiteral("/a/b/"), QStringLiteral("/a")));
        QVERIFY(FolderWithinRoot(QStringLiteral("/x"), QStringLiteral("/")));
        QVERIFY(!FolderWithinRoot(QStringLiteral("/ab"), QStringLiteral("/a")));
        QVERIFY(!FolderWithinRoot(QStringLiteral("/A/b"), QStringLiteral("/a")));
    }

    void BrowserRefusesNamesThatAreNotUtf8() {
        QTemporaryDir dir;
        const QByteArray raw = QFile::encodeName(dir.path()) + "/bad\xff";
        QCOMPARE(::mkdir(raw.constData(), 0700), 0);
        TBrowserAnswers browser;
        uitest::TMessageBoxAnswers boxes;
        // What Qt's dialog hands back for that folder, then a good choice.
        browser.answers = {QFile::decodeName(raw), dir.path()};
        std::u16string folder;
        QVERIFY(BrowseForFolder(nullptr, u"Pick", u"", folder));
        QCOMPARE(ToQString(folder), dir.path());
        QCOMPARE(boxes.Shown().size(), std::size_t{1});
        QVERIFY(boxes.LastText().contains(QStringLiteral("not valid UTF-8")));
        ::rmdir(raw.constData());
    }
};

VDX_UITEST_MAIN(AddPathTest)
#include "AddPath_test.moc"
