#include "ui/VDX_form_ProgressScan.h"

#include <QLabel>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "platform/qt/VDX_unit_QtText.h"

namespace vdx {

Tform_ProgressScan::Tform_ProgressScan(TSearchRun& run, QWidget* owner)
    : TProgressWindow(owner, "form_ProgressScan", kMsgSearchProgress, kMsgSearchWorkerEnded),
      m_run(run) {
    setWindowTitle(tr("Scanning folders"));
    UseOwnerActionIcon("actStartSearch");
    const QString number = QStringLiteral("999,999,999");
    m_lblOperation = AddRow(tr("Current operation:"), "lblCapOperation", "lblOperation",
                            QStringLiteral("Scanning completed"));
    m_lblFolders = AddRow(tr("Scanned folders:"), "lblCapFolders", "lblFolders", number);
    m_lblFiles = AddRow(tr("Found files:"), "lblCapFiles", "lblFiles", number);
    AddRow(tr("Views will available:"), "lblCapViews", "lblViews")
        ->setText(tr("Same name, Same size, Same name-size, Zero Size"));
    m_lblElapsed = AddRow(tr("Time elapsed:"), "lblCapElapsed", "lblElapsed",
                          QStringLiteral("59 minutes 59 seconds"));
    FinishLayout();
    m_lblOperation->setText(ToQString(StageText(TProgressKind::Search, kPhaseScanning)));
    m_lblFolders->setText(QStringLiteral("0"));
    m_lblFiles->setText(QStringLiteral("0"));
}

void Tform_ProgressScan::ShowProgress() {
    const TSearchSafeProgress& p = m_run.SearchProgress();
    m_lblOperation->setText(ToQString(StageText(TProgressKind::Search, p.phase)));
    m_lblFolders->setText(ToQString(FormatNumber(p.foldersListed)));
    m_lblFiles->setText(ToQString(FormatNumber(p.filesAdded)));
    ShowElapsed(p.start);
}

void Tform_ProgressScan::PauseWorker() {
    m_run.PauseSearch();
}

void Tform_ProgressScan::ResumeWorker() {
    m_run.ResumeSearch();
}

void Tform_ProgressScan::CancelWorker() {
    m_run.CancelSearch();
}

void Tform_ProgressScan::WorkerEnded() {
    m_run.SearchFinished();
}

std::u16string_view Tform_ProgressScan::AbortQuestion() const {
    return u"Do you really want to abort search?";
}

std::u16string_view Tform_ProgressScan::AbortCaption() const {
    return u"Confirm abort search";
}

} // namespace vdx
