#pragma once
// What every window test needs: a home and settings folder of its own (set
// before the application starts, so nothing touches the user's files),
// message boxes answered from a queue, and a way to act on a modal window
// once its exec() has started.

#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

#include "platform/qt/VDX_unit_MessageBox.h"

namespace vdx::uitest {

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR at a fresh folder
// and returns it. Called by VDX_UITEST_MAIN before the application exists.
QString MakeTestHome();
// The folder MakeTestHome made.
QString TestHome();

// Answers message boxes while it lives: each box takes the next queued
// answer and is recorded. A box with no answer queued gets its escape
// result (No or Cancel) and is recorded as unexpected.
class TMessageBoxAnswers {
public:
    TMessageBoxAnswers();
    ~TMessageBoxAnswers();
    TMessageBoxAnswers(const TMessageBoxAnswers&) = delete;
    TMessageBoxAnswers& operator=(const TMessageBoxAnswers&) = delete;

    void Queue(int answer) { m_answers.push_back(answer); }
    const std::vector<TMessageBoxRequest>& Shown() const { return m_shown; }
    int Unexpected() const { return m_unexpected; }
    // The text of the last box shown, "" when none was.
    QString LastText() const { return m_shown.empty() ? QString() : m_shown.back().text; }
    void Clear() {
        m_shown.clear();
        m_answers.clear();
        m_unexpected = 0;
    }

private:
    std::deque<int> m_answers;
    std::vector<TMessageBoxRequest> m_shown;
    int m_unexpected = 0;
};

// Runs action on the modal window named objectName as soon as it is the
// active modal widget (after its exec() has started), polling every 10 ms
// for up to timeoutMs; then stops. Returns at once.
void WhenModal(const QString& objectName, std::function<void(QWidget*)> action,
               int timeoutMs = 10000);

// The child of root with that objectName and type, or null.
template <typename T>
T* Find(QWidget* root, const QString& objectName) {
    return root ? root->findChild<T*>(objectName) : nullptr;
}

} // namespace vdx::uitest

// A Qt Test main that gives the test program its own home first.
#define VDX_UITEST_MAIN(TestObject)                                                                \
    int main(int argc, char** argv) {                                                              \
        vdx::uitest::MakeTestHome();                                                               \
        QApplication app(argc, argv);                                                              \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
