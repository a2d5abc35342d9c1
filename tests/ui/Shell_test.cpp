// The shell helpers: path fitting, URIs from raw name bytes, and the four
// actions through a launcher that records instead of starting programs.

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/VDX_unit_Text.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_Shell.h"
#include "tests/ui/support/VDX_uitest_Support.h"

using namespace vdx;

namespace {

// Records what the actions ask for and answers as told.
class TFakeLauncher : public TShellLauncher {
public:
    int Run(const QString& program, const QStringList& arguments, int) override {
        runs << (QStringList{program} + arguments);
        return runResult;
    }
    int Start(const QString& program, const QStringList& arguments) override {
        starts << (QStringList{program} + arguments);
        return startResult;
    }
    bool CallFileManager(const QString& method, const QStringList& uris, int) override {
        calls << (QStringList{method} + uris);
        return fileManagerAnswers;
    }
    QString TextEditorCommand() override { return editor; }

    QList<QStringList> runs, starts, calls;
    int runResult = 0;
    int startResult = 0;
    bool fileManagerAnswers = false;
    QString editor;
};

// The files the tests made: the home's clean-up goes through QString and
// cannot remove a name that is not valid UTF-8.
std::vector<std::string>& Made() {
    static std::vector<std::string> made;
    return made;
}

// A file in the test home; the name bytes need not be UTF-8.
std::u16string MakeFile(const std::string& nameBytes, const std::string& content) {
    const std::string path = uitest::TestHome().toStdString() + "/" + nameBytes;
    Made().push_back(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(fd, content.data(), content.size());
        ::close(fd);
    }
    return DecodeFileName(path);
}

QWidget* TopLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

} // namespace

class ShellTest : public QObject {
    Q_OBJECT
private:
    TFakeLauncher m_launcher;
    TShellLauncher* m_previous = nullptr;

private slots:
    void initTestCase() { m_previous = SetShellLauncher(&m_launcher); }
    void cleanupTestCase() {
        SetShellLauncher(m_previous);
        for (const std::string& path : Made())
            ::unlink(path.c_str());
    }
    void init() { m_launcher = TFakeLauncher(); }
    void cleanup() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                w->close();
    }

    void FitPathToWidth_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        // Every character one unit wide; the root "/" stands where a drive
        // would, so these are the drive examples with "C:" taken away.
        QTest::newRow("a middle name keeps its start")
            << "/Program Files/Common Files/System/Ole DB" << 28 << "/.../Common.../System/Ole DB";
        QTest::newRow("no room for a start")
            << "/Program Files/Common Files/System/Ole DB" << 20 << "/.../System/Ole DB";
        QTest::newRow("the last name itself is cut")
            << "/Users/Me/Documents" << 13 << "/.../Docum...";
        QTest::newRow("the name after the root")
            << "/Verylongfoldername/Sub/x" << 12 << "/Ve.../Sub/x";
        QTest::newRow("tiny width") << "/Data" << 3 << "...";
        QTest::newRow("a hidden folder is a name like any other")
            << "/.config/Vardex/logs/full" << 20 << "/.../Va.../logs/full";
        QTest::newRow("fits: unchanged, no slash added")
            << "/usr/share/doc" << 14 << "/usr/share/doc";
        QTest::newRow("a folder's slash stays when it fits")
            << "/usr/share/" << 11 << "/usr/share/";
        QTest::newRow("two characters stay") << "/a" << 0 << "/a";
    }
    void FitPathToWidth() {
        QFETCH(QString, path);
        QFETCH(int, width);
        QFETCH(QString, expected);
        const QString fitted = vdx::FitPathToWidth(
            path, [](const QString& text) { return static_cast<int>(text.size()); }, width);
        QCOMPARE(fitted, expected);
        QVERIFY(fitted.size() <= std::max<qsizetype>(width, 2));
    }

    void FitPathToWidthInARealFont() {
        const QFont font = QApplication::font();
        const QFontMetrics metrics(font);
        const QString path =
            QStringLiteral("/home/someone/Pictures/Holidays/2024/Beach/IMG_0001.jpg");
        QCOMPARE(vdx::FitPathToWidth(path, font, metrics.horizontalAdvance(path)), path);
        const int narrow = metrics.horizontalAdvance(path) / 2;
        const QString fitted = vdx::FitPathToWidth(path, font, narrow);
        QVERIFY(metrics.horizontalAdvance(fitted) <= narrow);
        QVERIFY(fitted.contains(QStringLiteral("...")));
        QVERIFY(fitted.endsWith(QStringLiteral("/IMG_0001.jpg")));
    }

    void UriCarriesTheNameBytes() {
        // "é" in UTF-8, a raw 0xFF, a space and a "#" that would end the path.
        const std::u16string path = DecodeFileName("/tmp/caf\xC3\xA9 \xFF#1.txt");
        QCOMPARE(FileUri(path), QByteArray("file:///tmp/caf%C3%A9%20%FF%231.txt"));
    }

    void ShellErrorTexts() {
        QCOMPARE(ShellErrorText(26), ShellErrorText(32));
        QVERIFY(!ShellErrorText(26).isEmpty());
        QVERIFY(ShellErrorText(33).isEmpty());
        QCOMPARE(ShellErrorText(0),
                 QStringLiteral("The operating system is out of memory or resources."));
    }

    void OpenFileMapsTheOpenersExitCodes_data() {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("shellCode");
        QTest::newRow("opened") << 0 << kShellSuccess;
        QTest::newRow("still running") << int(TShellLauncher::kStillRunning) << kShellSuccess;
        QTest::newRow("file missing") << 2 << 2;
        QTest::newRow("no application") << 4 << 31;
        QTest::newRow("no opener at all") << int(TShellLauncher::kNotStarted) << 31;
        QTest::newRow("other failure") << 1 << 0;
    }
    void OpenFileMapsTheOpenersExitCodes() {
        QFETCH(int, exitCode);
        QFETCH(int, shellCode);
        const std::u16string file = MakeFile("open\xFF.txt", "x");
        m_launcher.runResult = exitCode;
        const TShellResult result = OpenFile(nullptr, file);
        QCOMPARE(result.shellCode, shellCode);
        QCOMPARE(m_launcher.runs.size(), 1);
        QCOMPARE(m_launcher.runs[0], (QStringList{"xdg-open", QString::fromLatin1(FileUri(file))}));
        QVERIFY(m_launcher.runs[0][1].endsWith(QStringLiteral("/open%FF.txt")));
    }

    void MissingFileIsReportedWithoutStartingAnything() {
        const std::u16string gone = ToU16(uitest::TestHome() + QStringLiteral("/gone.txt"));
        for (auto action : {OpenFile, OpenWithNotepad, ShowProperties}) {
            const TShellResult result = action(nullptr, gone);
            QCOMPARE(result.shellCode, 2);
            QCOMPARE(result.errorCode, ENOENT);
        }
        // Exploring a path that is gone does nothing and reports nothing.
        QVERIFY(ExploreFolder(nullptr, gone).Ok());
        QVERIFY(m_launcher.runs.isEmpty() && m_launcher.starts.isEmpty() &&
                m_launcher.calls.isEmpty());
    }

    void ExploreAsksTheFileManagerThenFallsBackToTheFolder() {
        const std::u16string file = MakeFile("pick\xFF.jpg", "x");
        const QString home = QString::fromLatin1(FileUri(ToU16(uitest::TestHome())));

        m_launcher.fileManagerAnswers = true;
        QVERIFY(ExploreFolder(nullptr, file).Ok());
        QCOMPARE(m_launcher.calls.size(), 1);
        QCOMPARE(m_launcher.calls[0],
                 (QStringList{"ShowItems", QString::fromLatin1(FileUri(file))}));
        QVERIFY(m_launcher.runs.isEmpty());

        // No file manager answers: xdg-open of the file's folder.
        m_launcher.fileManagerAnswers = false;
        QVERIFY(ExploreFolder(nullptr, file).Ok());
        QCOMPARE(m_launcher.runs.size(), 1);
        QCOMPARE(m_launcher.runs[0], (QStringList{"xdg-open", home + "/"}));

        // A folder is opened itself.
        m_launcher.runs.clear();
        m_launcher.calls.clear();
        QVERIFY(ExploreFolder(nullptr, ToU16(uitest::TestHome())).Ok());
        QCOMPARE(m_launcher.calls[0], (QStringList{"ShowFolders", home}));
        QCOMPARE(m_launcher.runs[0], (QStringList{"xdg-open", home}));
    }

    void PropertiesFallBackToTheProgramsOwnWindow() {
        const std::u16string file = MakeFile("<b>props.txt", "12345");
        m_launcher.fileManagerAnswers = true;
        QVERIFY(ShowProperties(nullptr, file).Ok());
        QCOMPARE(m_launcher.calls[0][0], QStringLiteral("ShowItemProperties"));
        QVERIFY(!TopLevel(QStringLiteral("form_FileProperties")));

        m_launcher.fileManagerAnswers = false;
        QVERIFY(ShowProperties(nullptr, file).Ok());
        QWidget* window = TopLevel(QStringLiteral("form_FileProperties"));
        QVERIFY(window);
        auto* name = uitest::Find<QLabel>(window, QStringLiteral("lblName"));
        QCOMPARE(name->text(), QStringLiteral("<b>props.txt"));
        QCOMPARE(name->textFormat(), Qt::PlainText);
        QVERIFY(uitest::Find<QLabel>(window, QStringLiteral("lblSize"))->text().startsWith("5 "));
        QVERIFY(uitest::Find<QLabel>(window, QStringLiteral("lblPermissions"))
                    ->text()
                    .startsWith(QStringLiteral("rw-r--r--")));
    }

    void NotepadIsTheDesktopsEditorOrTheOwnTextWindow() {
        const std::u16string file = MakeFile("notes\xFF.txt", "first line\nsecond line\n");
        m_launcher.editor = QStringLiteral("gnome-text-editor --new-window %U");
        QVERIFY(OpenWithNotepad(nullptr, file).Ok());
        QCOMPARE(m_launcher.starts.size(), 1);
        QCOMPARE(m_launcher.starts[0], (QStringList{"gnome-text-editor", "--new-window",
                                                    QString::fromLatin1(FileUri(file))}));

        // The editor will not start, or there is none: the own window.
        for (const QString& editor : {QStringLiteral("missing-editor %f"), QString()}) {
            m_launcher.editor = editor;
            m_launcher.startResult = TShellLauncher::kNotStarted;
            QVERIFY(OpenWithNotepad(nullptr, file).Ok());
            QWidget* window = TopLevel(QStringLiteral("form_TextView"));
            QVERIFY(window);
            auto* text = uitest::Find<QPlainTextEdit>(window, QStringLiteral("memText"));
            QVERIFY(text->isReadOnly());
            QCOMPARE(text->toPlainText(), QStringLiteral("first line\nsecond line\n"));
            window->close();
        }
    }

    void EditorCommandLines_data() {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("path") << "gedit %F"
                              << "/a b/n.txt" << QStringList{"gedit", "/a b/n.txt"};
        QTest::newRow("uri and dropped codes")
            << "kate -b %U %i %c"
            << "/a b/n.txt" << QStringList{"kate", "-b", "file:///a%20b/n.txt"};
        QTest::newRow("quoted words and %%")
            << R"("/opt/My Editor/ed" --x=100%% %f)"
            << "/n" << QStringList{"/opt/My Editor/ed", "--x=100%", "/n"};
        QTest::newRow("no field code: the path is appended")
            << "mousepad"
            << "/n" << QStringList{"mousepad", "/n"};
        QTest::newRow("no line") << ""
                                 << "/n" << QStringList{};
    }
    void EditorCommandLines() {
        QFETCH(QString, exec);
        QFETCH(QString, path);
        QFETCH(QStringList, expected);
        QCOMPARE(TextEditorArguments(exec, ToU16(path)), expected);
    }

    void EditorGetsTheUriOfANameThatIsNotUtf8() {
        const std::u16string path = DecodeFileName("/tmp/n\xFF.txt");
        QCOMPARE(TextEditorArguments(QStringLiteral("gedit %f"), path),
                 (QStringList{"gedit", "file:///tmp/n%FF.txt"}));
    }
};

VDX_UITEST_MAIN(ShellTest)
#include "Shell_test.moc"
