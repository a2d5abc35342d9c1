#include "ui/VDX_unit_Screenshots.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "ui/VDX_form_Main.h"

namespace vdx {

namespace {

// One step of the tour: trigger something, wait for a window, shoot it, and
// close it (unless the step leaves that to the window itself).
struct TStep {
    QString action;                // the main window's action to trigger; "" for none
    std::function<void()> trigger; // or this, when set
    QString windowName;            // the window to wait for and shoot; "" for the main window
    QString file;                  // the PNG's name
    std::function<void(QWidget*)> afterShot; // what closes or drives the window
};

class TTour : public QObject {
public:
    TTour(Tform_Main& window, QString folder, std::vector<TStep> steps)
        : QObject(&window), m_window(window), m_folder(std::move(folder)),
          m_steps(std::move(steps)) {
        m_timer.setInterval(50);
        connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
    }
    void Start() {
        QDir().mkpath(m_folder);
        m_timer.start();
    }

private:
    void Shoot(QWidget* widget, const QString& file) {
        widget->grab().save(m_folder + QLatin1Char('/') + file);
    }
    QWidget* Visible(const QString& name) const {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == name && top->isVisible())
                return top;
        return nullptr;
    }
    void Tick() {
        if (m_index >= m_steps.size()) {
            m_timer.stop();
            m_window.close();
            return;
        }
        TStep& step = m_steps[m_index];
        if (!m_triggered) {
            m_triggered = true;
            m_waited = 0;
            if (step.windowName.isEmpty()) {
                Shoot(&m_window, step.file);
                Next();
                return;
            }
            if (step.trigger) {
                QTimer::singleShot(0, this, step.trigger);
            } else if (!step.action.isEmpty()) {
                if (QAction* action = m_window.Action(step.action)) {
                    // The action opens a modal window: trigger it from the
                    // event loop so this timer keeps ticking inside exec().
                    QTimer::singleShot(0, action, &QAction::trigger);
                }
            }
            return;
        }
        if (QWidget* target = Visible(step.windowName)) {
            // Give the window a moment to lay itself out and paint (the
            // progress windows close by themselves: shoot them at once).
            const bool closesItself = step.windowName.startsWith(QStringLiteral("form_Progress"));
            if (++m_settle < (closesItself ? 2 : 6))
                return;
            Shoot(target, step.file);
            if (step.afterShot)
                step.afterShot(target);
            Next();
            return;
        }
        if (++m_waited > 400) // 20 s: the window never came
            Next();
    }
    void Next() {
        ++m_index;
        m_triggered = false;
        m_settle = 0;
    }

    Tform_Main& m_window;
    QString m_folder;
    std::vector<TStep> m_steps;
    QTimer m_timer;
    std::size_t m_index = 0;
    bool m_triggered = false;
    int m_waited = 0;
    int m_settle = 0;
};

} // namespace

void StartScreenshotTour(Tform_Main& window, const QString& folder, const QString& searchFolder) {
    // Closes a dialog with its Cancel button (or reject), clicks a named button.
    const auto cancel = [](QWidget* w) {
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
    };
    const auto click = [](const char* button) {
        return [button](QWidget* w) {
            if (auto* b = w->findChild<QPushButton*>(QString::fromLatin1(button)))
                b->click();
        };
    };
    std::vector<TStep> steps;
    steps.push_back({QString(), {}, QString(), QStringLiteral("form_Main.png"), nullptr});
    steps.push_back({QStringLiteral("actSet_AddPath"),
                     {},
                     QStringLiteral("form_AddPath"),
                     QStringLiteral("form_AddPath.png"),
                     cancel});
    if (!searchFolder.isEmpty()) {
        // The search's window, the scan information, the comparison's window
        // and the scan information after it.
        steps.push_back({QStringLiteral("actStartSearch"),
                         {},
                         QStringLiteral("form_ProgressScan"),
                         QStringLiteral("form_ProgressScan.png"),
                         nullptr});
        steps.push_back({QString(), [] {}, QStringLiteral("form_ScanInfo"),
                         QStringLiteral("form_ScanInfo.png"), click("btnContentCmp")});
        steps.push_back({QString(), [] {}, QStringLiteral("form_ProgressContent"),
                         QStringLiteral("form_ProgressContent.png"), nullptr});
        steps.push_back({QString(), [] {}, QStringLiteral("form_ScanInfo"),
                         QStringLiteral("form_ScanInfo_content.png"), click("btnClose")});
        steps.push_back(
            {QString(), {}, QString(), QStringLiteral("form_Main_results.png"), nullptr});
    }
    steps.push_back({QStringLiteral("actStore_Save"),
                     {},
                     QStringLiteral("form_StoreSet"),
                     QStringLiteral("form_StoreSet.png"),
                     cancel});
    steps.push_back({QStringLiteral("actSet_Columns"),
                     {},
                     QStringLiteral("form_Columns"),
                     QStringLiteral("form_Columns.png"),
                     cancel});
    steps.push_back({QString(), [&window] { window.CustomizeToolBar(TToolBarKind::Result); },
                     QStringLiteral("form_ToolCustom"), QStringLiteral("form_ToolCustom.png"),
                     cancel});
    auto* tour = new TTour(window, folder, std::move(steps));
    QTimer::singleShot(500, tour, [tour] { tour->Start(); });
}

} // namespace vdx
