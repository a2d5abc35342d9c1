#pragma once
// The shell helpers of the windows: fitting a path into a pixel width, and
// the four actions on a file (open, open with the text editor, explore its
// folder, show its properties) with the texts of the shell's error codes.
//
// On Linux a file is opened with xdg-open, its folder shown and its
// properties asked for through the file manager's
// org.freedesktop.FileManager1 D-Bus interface (xdg-open of the folder and
// the program's own properties window when no file manager answers), and
// "Notepad" is the desktop's default text/plain application, or the
// program's own read-only text window when there is none. Programs are
// given file:// URIs made from the raw bytes of the name, so a name that is
// not valid UTF-8 reaches them unchanged. All of it runs on the UI thread.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <string_view>

class QFont;
class QWidget;

namespace vdx {

// The outcome of a shell action: the system error code (errno, 0 when none
// is known) and the shell's code, which is above 32 on success; on failure
// ShellErrorText(shellCode) says why.
inline constexpr int kShellSuccess = 42;
struct TShellResult {
    int errorCode = 0;
    int shellCode = kShellSuccess;
    bool Ok() const { return shellCode > 32; }
};

// The text of a shell code ("The specified file was not found." for 2), or
// empty for a code that has none.
QString ShellErrorText(int shellCode);

// path shortened with "..." in place of whole folder names, as many names
// kept at the end as fit in maxWidth; width measures a text.
QString FitPathToWidth(const QString& path, const std::function<int(const QString&)>& width,
                       int maxWidth);
// The same measured in font (QFontMetrics::horizontalAdvance).
QString FitPathToWidth(const QString& path, const QFont& font, int maxWidth);

// The file:// URI of a path in the program's UTF-16 form: its bytes (through
// the file-name codec) percent-encoded where they are not unreserved.
QByteArray FileUri(std::u16string_view path);

// What the actions start; tests install their own so no program runs.
class TShellLauncher {
public:
    // Run and Start: the program could not be started.
    static constexpr int kNotStarted = -1;
    // Run: the program was still running when the wait ended; it runs on.
    static constexpr int kStillRunning = -2;
    // Run: the program crashed.
    static constexpr int kCrashed = -3;

    virtual ~TShellLauncher() = default;
    // Starts program and waits up to waitMs for it to end: its exit code, or
    // one of the values above.
    virtual int Run(const QString& program, const QStringList& arguments, int waitMs);
    // Starts program without waiting: 0, or kNotStarted.
    virtual int Start(const QString& program, const QStringList& arguments);
    // Calls method (ShowItems, ShowFolders, ShowItemProperties) of
    // org.freedesktop.FileManager1 with the URIs, waiting up to timeoutMs:
    // true when it answered without an error.
    virtual bool CallFileManager(const QString& method, const QStringList& uris, int timeoutMs);
    // The Exec line of the desktop's default text/plain application, empty
    // when there is none.
    virtual QString TextEditorCommand();
};

// The launcher in use (a default one unless set); set returns the previous
// one, null restores the default. Not owned.
TShellLauncher& ShellLauncher();
TShellLauncher* SetShellLauncher(TShellLauncher* launcher);

// The command line an Exec line gives for a path: the field codes %f and %F
// become the path (its URI when the name is not valid UTF-8), %u and %U its
// URI, the other codes are dropped, and the path is appended when the line
// names none. Empty when the line is.
QStringList TextEditorArguments(const QString& exec, std::u16string_view path);

// The four actions; owner is the window whose own windows (the text and
// properties windows) they open. A path is the program's UTF-16 form.
TShellResult OpenFile(QWidget* owner, std::u16string_view path);
TShellResult OpenWithNotepad(QWidget* owner, std::u16string_view path);
// A file's folder is shown with the file selected; a path where nothing
// exists does nothing and succeeds.
TShellResult ExploreFolder(QWidget* owner, std::u16string_view path);
TShellResult ShowProperties(QWidget* owner, std::u16string_view path);

// Whether the desktop names a default text editor ("Notepad exists").
bool TextEditorFound();

} // namespace vdx
