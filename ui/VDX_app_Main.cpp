// vardex: the desktop program. Sets up the application and the shared
// settings, shows the main window and runs the event loop; the main window
// saves the settings when it closes.

#include <QApplication>

#include "engine/VDX_unit_SearchRun.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "ui/VDX_form_Main.h"
#include "ui/VDX_unit_Screenshots.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vardex"));
    QApplication::setApplicationVersion(QStringLiteral(VDX_VERSION));
    vdx::TSettings& settings = vdx::Settings();
    const QFont font = QApplication::font();
    vdx::InitGlobals(settings, vdx::ToU16(font.family()), font.pointSize());
    vdx::LoadSettings(settings);
    vdx::TSearchRun run;
    vdx::Tform_Main window(settings, run);
    window.show();
    const QString shots = qEnvironmentVariable("VDX_SCREENSHOTS");
    if (!shots.isEmpty())
        vdx::StartScreenshotTour(window, shots, qEnvironmentVariable("VDX_SCREENSHOT_TREE"));
    return app.exec();
}
