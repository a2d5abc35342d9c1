#include "tests/ui/support/VDX_uitest_Support.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

namespace vdx::uitest {

namespace {

QString& HomePath() {
    static QString path;
    return path;
}

} // namespace

QString MakeTestHome() {
    // Deliberately kept for the whole run; the folder is removed at exit.
    static std::unique_ptr<QTemporaryDir> dir;
    dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vdx-uitest-XXXXXX"));
    HomePath() = dir->path();
    const QByteArray home = HomePath().toLocal8Bit();
    qputenv("HOME", home);
    qputenv("XDG_CONFIG_HOME", home + "/.config");
    qputenv("XDG_DATA_HOME", home + "/.local/share");
    QDir().mkpath(HomePath() + QStringLiteral("/.config"));
    QDir().mkpath(HomePath() + QStringLiteral("/.local/share"));
    QDir().mkpath(HomePath() + QStringLiteral("/Documents"));
    return HomePath();
}

QString TestHome() {
    return HomePath();
}

TMessageBoxAnswers::TMessageBoxAnswers() {
    SetMessageBoxHook([this](const TMessageBoxRequest& request) {
        m_shown.push_back(request);
        if (m_answers.empty()) {
            ++m_unexpected;
            switch (request.buttons) {
            case TMsgButtons::Ok:
                return static_cast<int>(kIdOk);
            case TMsgButtons::YesNo:
                return static_cast<int>(kIdNo);
            default:
                return static_cast<int>(kIdCancel);
            }
        }
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    });
}

TMessageBoxAnswers::~TMessageBoxAnswers() {
    SetMessageBoxHook({});
}

void WhenModal(const QString& objectName, std::function<void(QWidget*)> action, int timeoutMs) {
    auto* timer = new QTimer(qApp);
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer,
                     [timer, elapsed, objectName, action, timeoutMs] {
                         QWidget* modal = QApplication::activeModalWidget();
                         if (modal && modal->objectName() == objectName && modal->isVisible()) {
                             timer->stop();
                             timer->deleteLater();
                             action(modal);
                             return;
                         }
                         *elapsed += 10;
                         if (*elapsed >= timeoutMs) {
                             timer->stop();
                             timer->deleteLater();
                         }
                     });
    timer->start();
}

} // namespace vdx::uitest
