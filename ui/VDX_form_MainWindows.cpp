// The main window's hand-over to the windows it opens modally.

#include <QTreeView>

#include "engine/VDX_unit_SearchRun.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "ui/VDX_form_AddPath.h"
#include "ui/VDX_form_Main.h"
#include "ui/VDX_form_ProgressContent.h"
#include "ui/VDX_form_ProgressScan.h"
#include "ui/VDX_form_ScanInfo.h"

namespace vdx {

bool Tform_Main::ExecutePathDialog(TSearchData& path, bool adding) {
    return ExecuteAddPath(this, m_settings, m_settings.currentSet, path, adding);
}

void Tform_Main::RunSearch() {
    Tform_ProgressScan progress(m_run, this);
    TMainThreadCaller* caller = m_callerWrap ? m_callerWrap(progress.Caller()) : progress.Caller();
    if (!m_run.StartSearch(m_settings.currentSet, progress.Target(), caller,
                           m_settings.bHiddenFolders, m_settings.bProgramFolder,
                           m_settings.bWindowsFolder))
        return; // a search or a comparison already runs
    progress.exec();
    if (progress.Aborted() || m_run.Store().Status().m_searchAborted) {
        m_run.ClearResults();
        RebuildResults();
        UpdateActions();
        return;
    }
    RebuildResults();
    UpdateActions();
    ShowScanInfo();
    UpdateActions();
}

void Tform_Main::ContentCompare() {
    if (!Action(QStringLiteral("actResAct_ContentCompare"))->isEnabled())
        return;
    Tform_ProgressContent progress(m_run, this);
    TMainThreadCaller* caller = m_callerWrap ? m_callerWrap(progress.Caller()) : progress.Caller();
    if (!m_run.StartContentCompare(progress.Target(), caller))
        return;
    progress.exec();
    // An aborted comparison has already dropped what it built.
    RebuildResults();
    UpdateActions();
    ShowScanInfo();
}

int Tform_Main::ExecuteScanInfoWindow() {
    return ExecuteScanInfo(this, m_run, m_searchStartDays);
}

} // namespace vdx
