#pragma once
// Every question and warning of the program goes through MessageBoxCentered:
// a QMessageBox owned by a window, with plain text (a path holding "<" must
// not turn into markup), the given buttons, icon and default button, centred
// over its owner. Tests answer the boxes through a hook instead of showing
// them.

#include <QString>
#include <functional>
#include <string_view>

class QWidget;

namespace vdx {

enum class TMsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };
enum class TMsgIcon { None, Information, Warning, Question, Error };

// The button a box was closed with; the numbers of the system's box results.
enum TMsgResult : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdRetry = 4,
    kIdYes = 6,
    kIdNo = 7,
};

struct TMessageBoxRequest {
    QWidget* owner = nullptr;
    QString text; // line breaks already "\n"
    QString caption;
    TMsgButtons buttons = TMsgButtons::Ok;
    TMsgIcon icon = TMsgIcon::None;
    int defaultButton = 0; // index among the buttons, left to right
    // When set, the box is centred horizontally over its owner with its top
    // at this widget's top (the progress windows put it at their Cancel
    // button); otherwise it is centred over the owner.
    QWidget* topAnchor = nullptr;
};

// Shows the box modally and returns the button pressed; closing the box
// without a button gives Cancel, or No for a Yes/No box. text may use
// "\r\n" line breaks.
int MessageBoxCentered(QWidget* owner, std::u16string_view text, std::u16string_view caption,
                       TMsgButtons buttons, TMsgIcon icon, int defaultButton = 0,
                       QWidget* topAnchor = nullptr);
int MessageBoxCentered(const TMessageBoxRequest& request);

// A hook that answers every box instead of showing it (tests). An empty hook
// restores real boxes.
using TMessageBoxHook = std::function<int(const TMessageBoxRequest&)>;
void SetMessageBoxHook(TMessageBoxHook hook);

} // namespace vdx
