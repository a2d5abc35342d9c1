// The main window's hand-over to the windows it opens modally.

#include "engine/VDX_unit_SearchRun.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "ui/VDX_form_Main.h"

namespace vdx {

bool Tform_Main::ExecutePathDialog(TSearchData& /*path*/, bool /*adding*/) {
    return false;
}

void Tform_Main::RunSearch() {}

void Tform_Main::ContentCompare() {}

int Tform_Main::ExecuteScanInfoWindow() {
    return kIdCancel;
}

} // namespace vdx
