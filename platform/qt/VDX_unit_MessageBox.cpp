#include "platform/qt/VDX_unit_MessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <vector>

#include "platform/qt/VDX_unit_QtText.h"

namespace vdx {

namespace {

TMessageBoxHook& Hook() {
    static TMessageBoxHook hook;
    return hook;
}

struct TButtonSpec {
    QMessageBox::StandardButton button;
    int result;
};

std::vector<TButtonSpec> ButtonsOf(TMsgButtons buttons) {
    switch (buttons) {
    case TMsgButtons::Ok:
        return {{QMessageBox::Ok, kIdOk}};
    case TMsgButtons::OkCancel:
        return {{QMessageBox::Ok, kIdOk}, {QMessageBox::Cancel, kIdCancel}};
    case TMsgButtons::YesNo:
        return {{QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}};
    case TMsgButtons::YesNoCancel:
        return {
            {QMessageBox::Yes, kIdYes}, {QMessageBox::No, kIdNo}, {QMessageBox::Cancel, kIdCancel}};
    case TMsgButtons::RetryCancel:
        return {{QMessageBox::Retry, kIdRetry}, {QMessageBox::Cancel, kIdCancel}};
    }
    return {{QMessageBox::Ok, kIdOk}};
}

QMessageBox::Icon IconOf(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::None:
        return QMessageBox::NoIcon;
    case TMsgIcon::Information:
        return QMessageBox::Information;
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Question:
        return QMessageBox::Question;
    case TMsgIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The result of a box closed by Escape or its title bar: the button that
// means "don't".
int EscapeResult(TMsgButtons buttons) {
    switch (buttons) {
    case TMsgButtons::Ok:
        return kIdOk;
    case TMsgButtons::YesNo:
        return kIdNo;
    default:
        return kIdCancel;
    }
}

void PlaceBox(QMessageBox& box, const TMessageBoxRequest& request) {
    QWidget* owner = request.owner ? request.owner->window() : nullptr;
    if (!owner || !owner->isVisible())
        return;
    box.adjustSize();
    const QRect frame = owner->frameGeometry();
    const QSize size = box.sizeHint();
    QPoint topLeft(frame.center().x() - size.width() / 2, frame.center().y() - size.height() / 2);
    if (request.topAnchor)
        topLeft.setY(request.topAnchor->mapToGlobal(QPoint(0, 0)).y());
    // Keep the box on the owner's screen.
    if (QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::max(area.left(), std::min(topLeft.x(), area.right() - size.width())));
        topLeft.setY(std::max(area.top(), std::min(topLeft.y(), area.bottom() - size.height())));
    }
    box.move(topLeft);
}

} // namespace

void SetMessageBoxHook(TMessageBoxHook hook) {
    Hook() = std::move(hook);
}

int MessageBoxCentered(QWidget* owner, std::u16string_view text, std::u16string_view caption,
                       TMsgButtons buttons, TMsgIcon icon, int defaultButton, QWidget* topAnchor) {
    TMessageBoxRequest request;
    request.owner = owner;
    request.text = DisplayText(text);
    request.caption = DisplayText(caption);
    request.buttons = buttons;
    request.icon = icon;
    request.defaultButton = defaultButton;
    request.topAnchor = topAnchor;
    return MessageBoxCentered(request);
}

int MessageBoxCentered(const TMessageBoxRequest& request) {
    if (Hook())
        return Hook()(request);
    QMessageBox box(IconOf(request.icon), request.caption, request.text, QMessageBox::NoButton,
                    request.owner);
    box.setTextFormat(Qt::PlainText);
    const std::vector<TButtonSpec> specs = ButtonsOf(request.buttons);
    std::vector<QPushButton*> pushButtons;
    for (const TButtonSpec& spec : specs)
        pushButtons.push_back(box.addButton(spec.button));
    const std::size_t defaultIndex =
        request.defaultButton >= 0 && static_cast<std::size_t>(request.defaultButton) < specs.size()
            ? static_cast<std::size_t>(request.defaultButton)
            : 0;
    box.setDefaultButton(pushButtons[defaultIndex]);
    PlaceBox(box, request);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (std::size_t i = 0; i < specs.size(); ++i)
        if (clicked == pushButtons[i])
            return specs[i].result;
    return EscapeResult(request.buttons);
}

} // namespace vdx
