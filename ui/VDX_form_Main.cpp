#include "ui/VDX_form_Main.h"

#include "persistence/VDX_unit_Settings.h"

namespace vdx {

Tform_Main::Tform_Main(TSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_settings(settings) {
    setObjectName(QStringLiteral("form_Main"));
    setWindowTitle(QStringLiteral("Vardex Lite 1.0.1"));
}

Tform_Main::~Tform_Main() = default;

} // namespace vdx
