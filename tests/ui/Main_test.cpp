// The main window: its names, actions and flows driven through the widgets.

#include <QApplication>
#include <QtTest>

#include "persistence/VDX_unit_Settings.h"
#include "tests/ui/support/VDX_uitest_Support.h"
#include "ui/VDX_form_Main.h"

using namespace vdx;

class MainTest : public QObject {
    Q_OBJECT
private slots:
    void WindowCarriesItsNameAndCaption() {
        TSettings settings;
        Tform_Main window(settings);
        QCOMPARE(window.objectName(), QStringLiteral("form_Main"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Vardex Lite 1.0.1"));
    }
};

VDX_UITEST_MAIN(MainTest)
#include "Main_test.moc"
