#include "platform/qt/VDX_unit_Shell.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <sys/stat.h>

#include "platform/VDX_unit_Text.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_ShellWindows.h"

namespace vdx {

namespace {

// ---- Path fitting --------------------------------------------------------

const QString kSlash = QStringLiteral("/");
const QString kDotsSlash = QStringLiteral(".../");

// Cuts the first folder name (with its "/") from rest, which keeps a ".../"
// in its place; returns the name cut, empty when nothing could be cut.
QString CutFolderPart(QString& rest) {
    if (rest == kSlash) {
        rest.clear();
        return {};
    }
    const bool leadingSlash = rest.startsWith(kSlash);
    if (leadingSlash)
        rest.remove(0, 1);
    // Only the ".../" of an earlier cut goes: a hidden folder's name also
    // begins with ".".
    if (rest.startsWith(kDotsSlash))
        rest.remove(0, kDotsSlash.size());
    QString cut;
    const qsizetype slash = rest.indexOf(kSlash);
    if (slash >= 0) {
        cut = rest.left(slash + 1);
        rest = kDotsSlash + rest.mid(slash + 1);
    } else {
        rest.clear();
    }
    if (leadingSlash)
        rest.prepend(kSlash);
    return cut;
}

// ---- Launching -----------------------------------------------------------

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

constexpr int kOpenerWaitMs = 5000;
constexpr int kFileManagerTimeoutMs = 4000;

TShellLauncher& DefaultLauncher() {
    static TShellLauncher launcher;
    return launcher;
}

TShellLauncher*& CurrentLauncher() {
    static TShellLauncher* launcher = nullptr;
    return launcher;
}

std::string NativeBytes(std::u16string_view path) {
    return EncodeFileName(path);
}

// 0 when something exists at path (not following a final link), else errno.
int Probe(std::u16string_view path, struct stat& st) {
    const std::string bytes = NativeBytes(path);
    return ::lstat(bytes.c_str(), &st) == 0 ? 0 : errno;
}

// xdg-open's exit codes: 2 the file does not exist, 3 a tool it needs is
// missing, 4 no way to open it was found.
TShellResult OpenUri(const QByteArray& uri) {
    const int code =
        ShellLauncher().Run(QStringLiteral("xdg-open"), {QString::fromLatin1(uri)}, kOpenerWaitMs);
    switch (code) {
    case 0:
    case TShellLauncher::kStillRunning:
        return {};
    case 2:
        return TShellResult{ENOENT, 2};
    case 3:
    case 4:
    case TShellLauncher::kNotStarted:
        return TShellResult{0, 31};
    default:
        return TShellResult{0, 0};
    }
}

QString ExecUnescaped(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        default:
            out += QLatin1Char('\\');
            out += next;
            break;
        }
    }
    return out;
}

// Splits an Exec line into its words: blanks separate, double quotes group,
// and inside quotes a backslash takes the next character as it is.
QStringList ExecWords(const QString& line) {
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < line.size())
                word += line[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                word += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// The desktop file of an application id, looked up in the XDG data folders;
// a "-" in the id may stand for a sub-folder.
QString DesktopFilePath(const QString& id) {
    QStringList folders;
    const QString home = qEnvironmentVariable("XDG_DATA_HOME");
    folders << (home.isEmpty() ? QDir::homePath() + QStringLiteral("/.local/share") : home);
    const QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    folders << (dirs.isEmpty() ? QStringLiteral("/usr/local/share:/usr/share") : dirs)
                   .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& folder : folders) {
        QString candidate = folder + QStringLiteral("/applications/") + id;
        if (QFile::exists(candidate))
            return candidate;
        QString nested = id;
        for (qsizetype dash = nested.indexOf(QLatin1Char('-')); dash >= 0;
             dash = nested.indexOf(QLatin1Char('-'), dash + 1)) {
            nested[dash] = QLatin1Char('/');
            candidate = folder + QStringLiteral("/applications/") + nested;
            if (QFile::exists(candidate))
                return candidate;
        }
    }
    return {};
}

QString ExecLineOf(const QString& desktopFile) {
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (inEntry && line.startsWith(QLatin1String("Exec=")))
            return line.mid(5).trimmed();
    }
    return {};
}

bool IsValidUtf8Name(std::u16string_view path) {
    // The codec turns every byte outside valid UTF-8 into U+DC80..U+DCFF.
    for (char16_t c : path) {
        if (c >= 0xDC80 && c <= 0xDCFF)
            return false;
    }
    return true;
}

} // namespace

QString ShellErrorText(int shellCode) {
    switch (shellCode) {
    case 0:
        return QStringLiteral("The operating system is out of memory or resources.");
    case 2:
        return QStringLiteral("The specified file was not found.");
    case 3:
        return QStringLiteral("The specified path was not found.");
    case 5:
        return QStringLiteral("Access to the specified file is denied.");
    case 8:
        return QStringLiteral("There is not enough memory to perform the specified action.");
    case 11:
        return QStringLiteral("The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).");
    case 26:
    case 32:
        return QStringLiteral("A sharing violation occurred.");
    case 27:
        return QStringLiteral("The filename association is incomplete or invalid.");
    case 28:
        return QStringLiteral(
            "The DDE transaction could not be completed because the request timed out.");
    case 29:
        return QStringLiteral("The DDE transaction failed.");
    case 30:
        return QStringLiteral("The DDE transaction could not be completed because other DDE "
                              "transactions were being processed.");
    case 31:
        return QStringLiteral(
            "There is no application associated with the given filename extension.");
    case 1155:
        return QStringLiteral(
            "There is no application associated with the given file name extension.");
    case 1156:
        return QStringLiteral("The Dynamic Data Exchange (DDE) transaction failed.");
    case 1157:
        return QStringLiteral(
            "One of the library files necessary to run the application can't be found.");
    case 1223:
        return QStringLiteral("The function prompted the user for additional information, but "
                              "the user canceled the request.");
    default:
        return {};
    }
}

QString FitPathToWidth(const QString& path, const std::function<int(const QString&)>& width,
                       int maxWidth) {
    if (path.size() <= 2)
        return path;
    QString full = path;
    const bool appended = !full.endsWith(kSlash);
    if (appended) {
        full += kSlash;
        maxWidth += width(kSlash);
    }
    // Paths here begin with "/": there is no drive part to keep in front.
    QString rest = full;
    QString last;
    while (!rest.isEmpty() && width(rest) > maxWidth) {
        if (rest == QLatin1String("/.../"))
            rest = kDotsSlash;
        else
            last = CutFolderPart(rest);
    }
    QString result = rest;
    if (!last.isEmpty()) {
        // The last name cut comes back with as many of its leading
        // characters as fit, followed by "...".
        // The root "/" plays the part of a drive: a name that stood right
        // after it keeps the root in front while the root is still shown.
        const qsizetype position = full.indexOf(last) + 1;
        const bool afterRoot = rest.startsWith(kSlash) && position == 2;
        const bool leading = position < 2; // a relative path's first name
        QString prefix;
        if (rest.startsWith(kSlash)) {
            rest.remove(0, 1);
            prefix = kSlash;
        }
        const qsizetype dots = rest.indexOf(kDotsSlash);
        if (dots >= 0) {
            rest.remove(dots, kDotsSlash.size());
            prefix += kDotsSlash;
        }
        const auto candidate = [&](const QString& partial) {
            if (afterRoot)
                return kSlash + partial + kDotsSlash + rest;
            return leading ? partial + prefix + rest : prefix + partial + kDotsSlash + rest;
        };
        QString partial;
        for (const QChar c : last) {
            partial += c;
            if (width(candidate(partial)) > maxWidth) {
                partial.chop(1);
                break;
            }
        }
        result = !leading && !afterRoot && partial.isEmpty() ? prefix + rest : candidate(partial);
    }
    if (appended && result.endsWith(kSlash))
        result.chop(1);
    return result;
}

QString FitPathToWidth(const QString& path, const QFont& font, int maxWidth) {
    const QFontMetrics metrics(font);
    return FitPathToWidth(
        path, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); },
        maxWidth);
}

QByteArray FileUri(std::u16string_view path) {
    const std::string bytes = NativeBytes(path);
    QByteArray uri = QByteArrayLiteral("file://");
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        const bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                           (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' || b == '~' ||
                           b == '/';
        if (plain) {
            uri += static_cast<char>(b);
        } else {
            uri += '%';
            uri += kHex[b >> 4];
            uri += kHex[b & 15];
        }
    }
    return uri;
}

int TShellLauncher::Run(const QString& program, const QStringList& arguments, int waitMs) {
    auto* process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start();
    if (!process->waitForStarted()) {
        delete process;
        return kNotStarted;
    }
    if (process->waitForFinished(waitMs)) {
        const int code =
            process->exitStatus() == QProcess::NormalExit ? process->exitCode() : kCrashed;
        delete process;
        return code;
    }
    // A launcher that stays (some open the file in the foreground) runs on;
    // the process object goes when it ends.
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return kStillRunning;
}

int TShellLauncher::Start(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    return process.startDetached() ? 0 : kNotStarted;
}

bool TShellLauncher::CallFileManager(const QString& method, const QStringList& uris,
                                     int timeoutMs) {
    // A plain method call rather than a QDBusInterface: the interface object
    // introspects the service first, without a timeout of ours.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), method);
    call << uris << QString();
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

QString TShellLauncher::TextEditorCommand() {
    // Asked once: the answer only changes when the user picks another
    // default, and the menus ask on every update.
    static bool asked = false;
    static QString command;
    if (asked)
        return command;
    asked = true;
    QProcess query;
    query.setStandardInputFile(QProcess::nullDevice());
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
    if (!query.waitForFinished(3000) || query.exitStatus() != QProcess::NormalExit ||
        query.exitCode() != 0)
        return command;
    const QString id = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (id.isEmpty() || id.contains(QLatin1Char('/')))
        return command;
    const QString desktopFile = DesktopFilePath(id);
    if (!desktopFile.isEmpty())
        command = ExecLineOf(desktopFile);
    return command;
}

TShellLauncher& ShellLauncher() {
    TShellLauncher* launcher = CurrentLauncher();
    return launcher ? *launcher : DefaultLauncher();
}

TShellLauncher* SetShellLauncher(TShellLauncher* launcher) {
    TShellLauncher* previous = CurrentLauncher();
    CurrentLauncher() = launcher;
    return previous;
}

QStringList TextEditorArguments(const QString& exec, std::u16string_view path) {
    const QString uri = QString::fromLatin1(FileUri(path));
    const QString file = IsValidUtf8Name(path) ? ToQString(path) : uri;
    QStringList words = ExecWords(ExecUnescaped(exec));
    QStringList out;
    bool named = false;
    for (const QString& word : words) {
        if (word == QLatin1String("%f") || word == QLatin1String("%F")) {
            out << file;
            named = true;
            continue;
        }
        if (word == QLatin1String("%u") || word == QLatin1String("%U")) {
            out << uri;
            named = true;
            continue;
        }
        QString expanded;
        bool dropped = false;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word[i] != QLatin1Char('%') || i + 1 == word.size()) {
                expanded += word[i];
                continue;
            }
            const QChar code = word[++i];
            if (code == QLatin1Char('%')) {
                expanded += code;
            } else if (code == QLatin1Char('f') || code == QLatin1Char('F')) {
                expanded += file;
                named = true;
            } else if (code == QLatin1Char('u') || code == QLatin1Char('U')) {
                expanded += uri;
                named = true;
            } else {
                dropped = true; // %i, %c, %k and the deprecated codes
            }
        }
        if (!expanded.isEmpty() || !dropped)
            out << expanded;
    }
    if (!out.isEmpty() && !named)
        out << file;
    return out;
}

TShellResult OpenFile(QWidget* /*owner*/, std::u16string_view path) {
    const TWaitCursor wait;
    struct stat st {};
    if (const int error = Probe(path, st); error != 0)
        return TShellResult{error, error == ENOENT || error == ENOTDIR ? 2 : 0};
    return OpenUri(FileUri(path));
}

TShellResult OpenWithNotepad(QWidget* owner, std::u16string_view path) {
    const TWaitCursor wait;
    struct stat st {};
    if (const int error = Probe(path, st); error != 0)
        return TShellResult{error, error == ENOENT || error == ENOTDIR ? 2 : 0};
    const QStringList command = TextEditorArguments(ShellLauncher().TextEditorCommand(), path);
    if (!command.isEmpty() && ShellLauncher().Start(command.front(), command.mid(1)) == 0)
        return {};
    // No editor, or it would not start: the file in the program's own viewer.
    return ShowTextWindow(owner, path);
}

TShellResult ExploreFolder(QWidget* /*owner*/, std::u16string_view path) {
    const TWaitCursor wait;
    struct stat st {};
    if (Probe(path, st) != 0)
        return {}; // nothing there any more: nothing to show, nothing to say
    const bool folder = S_ISDIR(st.st_mode);
    const QString uri = QString::fromLatin1(FileUri(path));
    if (ShellLauncher().CallFileManager(folder ? QStringLiteral("ShowFolders")
                                               : QStringLiteral("ShowItems"),
                                        {uri}, kFileManagerTimeoutMs))
        return {};
    if (folder)
        return OpenUri(FileUri(path));
    const std::size_t slash = path.rfind(u'/');
    return OpenUri(FileUri(slash == std::u16string_view::npos ? std::u16string_view(u".")
                                                              : path.substr(0, slash + 1)));
}

TShellResult ShowProperties(QWidget* owner, std::u16string_view path) {
    const TWaitCursor wait;
    struct stat st {};
    if (const int error = Probe(path, st); error != 0)
        return TShellResult{error, error == ENOENT || error == ENOTDIR ? 2 : 0};
    if (ShellLauncher().CallFileManager(QStringLiteral("ShowItemProperties"),
                                        {QString::fromLatin1(FileUri(path))},
                                        kFileManagerTimeoutMs))
        return {};
    return ShowPropertiesWindow(owner, path);
}

bool TextEditorFound() {
    return !ShellLauncher().TextEditorCommand().isEmpty();
}

} // namespace vdx
