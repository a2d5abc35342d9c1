#include "platform/qt/VDX_unit_ShellWindows.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_QtText.h"

namespace vdx {

namespace {

// Reads at most kTextWindowLimit bytes of a regular file. O_NONBLOCK and the
// type check keep a FIFO put in the file's place from hanging the window.
int ReadHead(const std::string& path, QByteArray& out, bool& cut) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno != 0 ? errno : EINVAL;
        ::close(fd);
        return S_ISREG(st.st_mode) ? error : EINVAL;
    }
    out.clear();
    cut = false;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (n == 0)
            break;
        const long long room = kTextWindowLimit - out.size();
        if (n >= room) {
            out.append(buffer, static_cast<qsizetype>(room));
            cut = true;
            break;
        }
        out.append(buffer, static_cast<qsizetype>(n));
    }
    ::close(fd);
    return 0;
}

std::u16string_view NamePart(std::u16string_view path) {
    const std::size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::u16string_view FolderPart(std::u16string_view path) {
    const std::size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? std::u16string_view() : path.substr(0, slash + 1);
}

QString PermissionText(mode_t mode) {
    static constexpr char kLetters[] = "rwxrwxrwx";
    QString text;
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QLatin1Char(kLetters[bit]) : QLatin1Char('-');
    return text + QStringLiteral(" (%1)").arg(mode & 07777, 4, 8, QLatin1Char('0'));
}

QString UserName(uid_t uid) {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString GroupName(gid_t gid) {
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

QString TypeText(mode_t mode) {
    if (S_ISREG(mode))
        return QObject::tr("File");
    if (S_ISDIR(mode))
        return QObject::tr("Folder");
    if (S_ISLNK(mode))
        return QObject::tr("Symbolic link");
    return QObject::tr("Special file");
}

QLabel* ValueLabel(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    // A name such as "<b>" must show as it is.
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(true);
    return label;
}

} // namespace

TShellResult ShowTextWindow(QWidget* owner, std::u16string_view path) {
    QByteArray bytes;
    bool cut = false;
    if (const int error = ReadHead(EncodeFileName(path), bytes, cut); error != 0)
        return TShellResult{error, error == ENOENT ? 2 : 0};
    auto* window = new QDialog(owner);
    window->setObjectName(QStringLiteral("form_TextView"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(ToQString(NamePart(path)));
    auto* layout = new QVBoxLayout(window);
    auto* text = new QPlainTextEdit(window);
    text->setObjectName(QStringLiteral("memText"));
    text->setAccessibleName(QObject::tr("File text"));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setPlainText(QString::fromUtf8(bytes));
    layout->addWidget(text);
    if (cut) {
        layout->addWidget(ValueLabel(
            QObject::tr("Only the first %1 MB of the file are shown.").arg(kTextWindowLimit >> 20),
            "lblCut", window));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("btnClose"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
    layout->addWidget(buttons);
    window->resize(800, 600);
    window->show();
    return {};
}

TShellResult ShowPropertiesWindow(QWidget* owner, std::u16string_view path) {
    struct stat st {};
    const std::string bytes = EncodeFileName(path);
    if (::lstat(bytes.c_str(), &st) != 0) {
        const int error = errno;
        return TShellResult{error, error == ENOENT ? 2 : 0};
    }
    auto* window = new QDialog(owner);
    window->setObjectName(QStringLiteral("form_FileProperties"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QObject::tr("Properties of %1").arg(ToQString(NamePart(path))));
    auto* layout = new QVBoxLayout(window);
    auto* form = new QFormLayout;
    const auto row = [&](const QString& caption, const QString& value, const char* name) {
        QLabel* label = ValueLabel(value, name, window);
        label->setAccessibleName(caption);
        form->addRow(caption + QLatin1Char(':'), label);
    };
    row(QObject::tr("Name"), ToQString(NamePart(path)), "lblName");
    row(QObject::tr("Folder"), ToQString(FolderPart(path)), "lblFolder");
    row(QObject::tr("Type"), TypeText(st.st_mode), "lblType");
    row(QObject::tr("Size"),
        QObject::tr("%1 bytes").arg(ToQString(FormatNumber(static_cast<std::int64_t>(st.st_size)))),
        "lblSize");
    row(QObject::tr("Modified"), ToQString(FormatFileTime(FileTimeFromTimespec(st.st_mtim))),
        "lblModified");
    row(QObject::tr("Accessed"), ToQString(FormatFileTime(FileTimeFromTimespec(st.st_atim))),
        "lblAccessed");
    row(QObject::tr("Changed"), ToQString(FormatFileTime(FileTimeFromTimespec(st.st_ctim))),
        "lblChanged");
    row(QObject::tr("Permissions"), PermissionText(st.st_mode), "lblPermissions");
    row(QObject::tr("Owner"), UserName(st.st_uid) + QLatin1Char(':') + GroupName(st.st_gid),
        "lblOwner");
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, window);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("btnClose"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, window, &QDialog::close);
    layout->addWidget(buttons);
    window->show();
    return {};
}

} // namespace vdx
