#include "platform/qt/VDX_unit_FolderBrowser.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <utility>

#include "platform/qt/VDX_unit_MessageBox.h"
#include "platform/qt/VDX_unit_QtText.h"

namespace vdx {

namespace {

TFolderBrowserHook& Hook() {
    static TFolderBrowserHook hook;
    return hook;
}

QString Cleaned(const QString& path) {
    return path.isEmpty() ? path : QDir::cleanPath(path);
}

bool IsFolder(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// Qt decodes names with replacement characters where the bytes are not
// UTF-8, so such a name no longer leads back to its folder: encoded again it
// names another (normally absent) path. A folder whose real name holds
// U+FFFD still exists under its decoded name and is accepted.
bool NameLostInDecoding(const QString& path) {
    bool suspicious = false;
    for (QChar c : path)
        if (c == QChar::ReplacementCharacter || c.isSurrogate()) {
            suspicious = true;
            break;
        }
    return suspicious && !QFileInfo::exists(path);
}

std::optional<QString> AskOnce(const TFolderBrowserRequest& request) {
    if (Hook())
        return Hook()(request);
    const QString chosen = QFileDialog::getExistingDirectory(
        request.owner, request.title, request.startFolder,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace

void SetFolderBrowserHook(TFolderBrowserHook hook) {
    Hook() = std::move(hook);
}

bool FolderWithinRoot(const QString& folder, const QString& root) {
    const QString f = Cleaned(folder);
    const QString r = Cleaned(root);
    if (f.isEmpty() || r.isEmpty())
        return false;
    if (f == r)
        return true;
    const QString prefix = r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/');
    return f.startsWith(prefix);
}

bool BrowseForFolder(QWidget* owner, std::u16string_view title, std::u16string_view root,
                     std::u16string& folder) {
    TFolderBrowserRequest request;
    request.owner = owner;
    request.title = ToQString(title);
    request.root = Cleaned(ToQString(root));
    const QString initial = ToQString(folder);
    if (IsFolder(initial) && (request.root.isEmpty() || FolderWithinRoot(initial, request.root)))
        request.startFolder = initial;
    else if (!request.root.isEmpty())
        request.startFolder = request.root;
    else
        request.startFolder = QDir::homePath();

    for (;;) {
        const std::optional<QString> answer = AskOnce(request);
        if (!answer || answer->isEmpty())
            return false;
        const QString chosen = Cleaned(*answer);
        QString refusal;
        if (NameLostInDecoding(chosen)) {
            refusal = QStringLiteral("The name of the folder\r\n'%1'\r\nis not valid UTF-8 text, "
                                     "so it cannot be used here.\r\n\r\nPlease rename the folder "
                                     "or choose another one.")
                          .arg(chosen);
        } else if (!request.root.isEmpty() && !FolderWithinRoot(chosen, request.root)) {
            refusal = QStringLiteral("The folder\r\n'%1'\r\nis not inside\r\n'%2'.\r\n\r\nPlease "
                                     "choose a folder inside it.")
                          .arg(chosen, request.root);
        }
        if (refusal.isEmpty()) {
            folder = ToU16(chosen);
            return true;
        }
        MessageBoxCentered(owner, ToU16(refusal), title, TMsgButtons::Ok, TMsgIcon::Warning);
        request.startFolder = request.root.isEmpty() ? QDir::homePath() : request.root;
    }
}

} // namespace vdx
