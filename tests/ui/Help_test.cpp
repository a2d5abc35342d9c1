// Help: the context walk from the focused control, F1 and Shift+F1 through
// the application's key filter, the help window from a modal dialog, and
// what a missing topic or folder does.

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

#include "platform/qt/VDX_unit_Help.h"
#include "tests/ui/support/VDX_uitest_Support.h"

using namespace vdx;

namespace {

void WriteTopic(const QString& folder, const QString& name, const QString& title) {
    QFile file(folder + QLatin1Char('/') + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("<html><head><title>%1</title></head><body><h1>%1</h1>"
                              "<p>Vardex finds files that are duplicates of each other.</p>"
                              "</body></html>")
                   .arg(title)
                   .toUtf8());
}

// A window as the windows build them: contexts on the window, a page and a
// control; the rest inherit.
struct TFixture {
    QDialog window;
    QGroupBox* page;
    QLineEdit* inPage;
    QLineEdit* own;
    QLineEdit* plain;
    QLabel* label;
    QLineEdit* foreign;
    QDialog* child;
    QLineEdit* inChild;

    TFixture() {
        window.setObjectName(QStringLiteral("dlgFixture"));
        auto* layout = new QVBoxLayout(&window);
        page = new QGroupBox(&window);
        auto* pageLayout = new QVBoxLayout(page);
        inPage = new QLineEdit(page);
        own = new QLineEdit(page);
        pageLayout->addWidget(inPage);
        pageLayout->addWidget(own);
        plain = new QLineEdit(&window);
        label = new QLabel(QStringLiteral("&Own"), &window);
        label->setBuddy(own);
        foreign = new QLineEdit(&window);
        layout->addWidget(page);
        layout->addWidget(plain);
        layout->addWidget(label);
        layout->addWidget(foreign);
        child = new QDialog(&window);
        inChild = new QLineEdit(child);
        SetHelpContext(&window, 30);
        SetHelpContext(page, 36);
        SetHelpContext(own, 37);
        SetHelpContext(foreign, 310);
    }
};

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_topics;

    void CloseHelp() {
        if (QWidget* help = HelpWindow())
            help->hide();
    }

private slots:
    void initTestCase() {
        QVERIFY(m_topics.isValid());
        WriteTopic(m_topics.path(), QStringLiteral("what_is_vdx.html"),
                   QStringLiteral("What is Vardex"));
        WriteTopic(m_topics.path(), QStringLiteral("wnd_add_path.html"),
                   QStringLiteral("Adding a folder to search"));
        SetHelpFolder(m_topics.path());
        InstallHelpKeys(*qApp);
    }
    void init() { CloseHelp(); }

    void TopicTable() {
        QCOMPARE(HelpTopicOfContext(3), QStringLiteral("wnd_add_path.html"));
        QCOMPARE(HelpTopicOfContext(38), QStringLiteral("opt_log.html"));
        QCOMPARE(HelpTopicOfContext(51), QStringLiteral("wnd_LogViewer.html"));
        for (int unknown : {0, 39, 49, 310, -1})
            QCOMPARE(HelpTopicOfContext(unknown), QStringLiteral("what_is_vdx.html"));
    }

    void ContextWalksUpToTheWindow() {
        TFixture f;
        QCOMPARE(HelpContextOf(f.own), 37);      // its own
        QCOMPARE(HelpContextOf(f.inPage), 36);   // its page's
        QCOMPARE(HelpContextOf(f.plain), 30);    // the window's
        QCOMPARE(HelpContextOf(f.label), 37);    // the control it names
        QCOMPARE(HelpContextOf(f.foreign), 310); // outside the table, still its own
        QCOMPARE(HelpContextOf(f.inChild), 0);   // a window of its own ends the walk
        QCOMPARE(HelpContextOf(nullptr), 0);
    }

    void F1OpensTheFocusedControlsTopic() {
        TFixture f;
        SetHelpContext(f.own, 3);
        // An action on F1 in the window must not fire as well.
        QAction action(&f.window);
        action.setShortcut(Qt::Key_F1);
        int fired = 0;
        connect(&action, &QAction::triggered, [&fired] { ++fired; });
        f.window.addAction(&action);
        f.window.show();
        QVERIFY(QTest::qWaitForWindowActive(&f.window));

        struct TCase {
            QWidget* focus;
            const char* topic;
        };
        for (const TCase& c :
             {TCase{f.own, "wnd_add_path.html"}, TCase{f.label, "wnd_add_path.html"},
              TCase{f.foreign, "what_is_vdx.html"}}) {
            CloseHelp();
            c.focus->setFocus();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
            QVERIFY(HelpWindow() && HelpWindow()->isVisible());
            QCOMPARE(HelpWindowTopic(), QString::fromLatin1(c.topic));
            QCOMPARE(HelpWindow()->parentWidget(), nullptr);
            f.window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&f.window));
        }
        QCOMPARE(fired, 0);

        // Shift+F1 and a held F1's repeats open nothing.
        CloseHelp();
        f.own->setFocus();
        QTest::keyClick(f.own, Qt::Key_F1, Qt::ShiftModifier);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(f.own, &repeat);
        QVERIFY(!HelpWindow()->isVisible());
        QCOMPARE(fired, 0);
    }

    void F1InAModalDialogGivesTheHelpWindowToTheDialog() {
        QDialog dialog;
        dialog.setObjectName(QStringLiteral("dlgModal"));
        auto* edit = new QLineEdit(&dialog);
        new QVBoxLayout(&dialog);
        dialog.layout()->addWidget(edit);
        SetHelpContext(&dialog, 3);
        QWidget* parent = nullptr;
        QString topic;
        bool shown = false;
        uitest::WhenModal(QStringLiteral("dlgModal"), [&](QWidget* modal) {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_F1);
            if (QWidget* help = HelpWindow()) {
                parent = help->parentWidget();
                topic = HelpWindowTopic();
                shown = help->isVisible();
            }
            static_cast<QDialog*>(modal)->reject();
        });
        dialog.exec();
        QCOMPARE(parent, &dialog);
        QCOMPARE(topic, QStringLiteral("wnd_add_path.html"));
        QVERIFY(shown);
        // Outside the dialog the next request gives it back to no window.
        ShowHelpContext(0);
        QCOMPARE(HelpWindow()->parentWidget(), nullptr);
        QCOMPARE(HelpWindowTopic(), QStringLiteral("what_is_vdx.html"));
    }

    void MissingTopicsAndFolder() {
        ShowHelpTopic(QStringLiteral("faq.html"));
        QCOMPARE(HelpWindowTopic(), QStringLiteral("what_is_vdx.html"));
        // A name reaching outside the folder is not a topic.
        ShowHelpTopic(QStringLiteral("../wnd_add_path.html"));
        QCOMPARE(HelpWindowTopic(), QStringLiteral("what_is_vdx.html"));

        // Without the contents topic, the first topic there is.
        QTemporaryDir other;
        WriteTopic(other.path(), QStringLiteral("tutorial_2.html"), QStringLiteral("Second"));
        WriteTopic(other.path(), QStringLiteral("faq.html"), QStringLiteral("Questions"));
        SetHelpFolder(other.path());
        ShowHelpContext(44);
        QCOMPARE(HelpWindowTopic(), QStringLiteral("faq.html"));
        ShowHelpContext(43);
        QCOMPARE(HelpWindowTopic(), QStringLiteral("tutorial_2.html"));

        // No folder, or no topic in it: nothing, silently.
        CloseHelp();
        SetHelpFolder(other.path() + QStringLiteral("/missing"));
        ShowHelpContext(3);
        QVERIFY(!HelpWindow()->isVisible());
        QDir(other.path()).removeRecursively();
        QDir().mkpath(other.path());
        SetHelpFolder(other.path());
        ShowHelpContext(3);
        QVERIFY(!HelpWindow()->isVisible());
        SetHelpFolder(m_topics.path());
    }
};

VDX_UITEST_MAIN(HelpTest)
#include "Help_test.moc"
