// vardex: the desktop program. Sets up the application and the shared
// settings, shows the main window and runs the event loop; the main window
// saves the settings when it closes.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>

#include "engine/VDX_unit_SearchRun.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_Help.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "ui/VDX_form_Main.h"
#include "ui/VDX_unit_Screenshots.h"

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vardex"));
    QApplication::setApplicationVersion(QStringLiteral(VDX_VERSION));
    vdx::TSettings& settings = vdx::Settings();
    const QFont font = QApplication::font();
    vdx::InitGlobals(settings, vdx::ToU16(font.family()), font.pointSize());
    vdx::LoadSettings(settings);
    vdx::InstallHelpKeys(app);
    vdx::TSearchRun run;
    vdx::Tform_Main window(settings, run);
    window.show();
    // VDX_STARTUP_PROBE: print the time from the start to the window's first
    // shown event and quit (bench/run_startup_bench.sh).
    if (qEnvironmentVariableIsSet("VDX_STARTUP_PROBE")) {
        QTimer::singleShot(0, &window, [&window, &sinceStart] {
            std::fprintf(stderr, "vardex: main window shown after %lld ms\n",
                         static_cast<long long>(sinceStart.elapsed()));
            window.close();
        });
    }
    const QString shots = qEnvironmentVariable("VDX_SCREENSHOTS");
    if (!shots.isEmpty())
        vdx::StartScreenshotTour(window, shots, qEnvironmentVariable("VDX_SCREENSHOT_TREE"));
    return app.exec();
}
