#pragma once
// The folder browser behind every "Browse..." button: Qt's folder dialog,
// showing folders only and never resolving symbolic links (a resolved link
// would name a folder outside the search path the user browsed in). A root
// folder limits the choice to that folder and what lies below it: a choice
// outside is refused with a message and the dialog opens again. Tests answer
// the dialog through a hook.

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

namespace vdx {

// Shows the folder dialog titled title. root (may be empty) limits the
// choice; folder is the initial selection on entry (ignored when it does not
// exist) and the chosen folder on return. Returns true when the user chose a
// folder; false leaves folder as it was.
bool BrowseForFolder(QWidget* owner, std::u16string_view title, std::u16string_view root,
                     std::u16string& folder);

// What one showing of the dialog is asked to do.
struct TFolderBrowserRequest {
    QWidget* owner = nullptr;
    QString title;
    QString root;        // empty when the choice is not limited
    QString startFolder; // where the dialog opens
};

// Answers the dialog instead of showing it: the chosen folder, or nullopt for
// Cancel. The checks that follow a choice (root, name encoding) still apply,
// so a refused answer makes the browser ask the hook again. An empty hook
// restores the real dialog.
using TFolderBrowserHook = std::function<std::optional<QString>(const TFolderBrowserRequest&)>;
void SetFolderBrowserHook(TFolderBrowserHook hook);

// True when folder is root or lies below it, compared exactly (Linux folder
// names differ by letter case) and by whole names: /data/old lies below /data,
// /database does not. Both are cleaned first ("//", "/./", a trailing "/").
bool FolderWithinRoot(const QString& folder, const QString& root);

} // namespace vdx
