#include "ui/VDX_form_ProgressContent.h"

#include <QLabel>
#include <QProgressBar>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_Views.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_QtText.h"

namespace vdx {

namespace {

QString Number(std::uint64_t value) {
    return ToQString(FormatNumber(static_cast<std::int64_t>(value)));
}

} // namespace

Tform_ProgressContent::Tform_ProgressContent(TSearchRun& run, QWidget* owner)
    : TProgressWindow(owner, "form_ProgressContent", kMsgContentProgress, kMsgContentWorkerEnded),
      m_run(run) {
    setWindowTitle(tr("Progress Content"));
    UseOwnerActionIcon("actResAct_ContentCompare");

    const TViewFigures sameSize = ViewFigures(run.Store(), kViewSameSize);
    m_filesToCompare = sameSize.m_groupFiles;
    m_kilobytesToCompare = sameSize.m_groupBytes / 1024;
    m_groupsToCompare = sameSize.m_groups;

    const QString wide = QStringLiteral("999,999,999 [999,999,999,999 Kb] in 999,999,999 groups");
    m_lblOperation = AddRow(tr("Current operation:"), "lblCapOperation", "lblOperation");
    AddRow(tr("Files to compare:"), "lblCapToCompare", "lblToCompare")
        ->setText(tr("%1 [%2 Kb] in %3 groups from view Same size")
                      .arg(Number(m_filesToCompare), Number(m_kilobytesToCompare),
                           Number(m_groupsToCompare)));
    m_lblCompared = AddRow(tr("Compared files:"), "lblCapCompared", "lblCompared", wide);
    m_lblFilesPercent = AddBarRow(tr("Files progress:"), "lblCapFilesProgress", "lblFilesProgress",
                                  "pbFiles", m_pbFiles);
    m_lblSizePercent = AddBarRow(tr("Size progress:"), "lblCapSizeProgress", "lblSizeProgress",
                                 "pbSize", m_pbSize);
    AddRow(tr("Views will available:"), "lblCapViews", "lblViews")
        ->setText(tr("Same content, Full clones"));
    m_lblElapsed = AddRow(tr("Time elapsed:"), "lblCapElapsed", "lblElapsed");
    m_lblRemained = AddRow(tr("Time remained:"), "lblCapRemained", "lblRemained");
    FinishLayout();

    m_lblOperation->setText(ToQString(StageText(TProgressKind::Content, kPhaseComparing)));
    m_lblCompared->setText(tr("%1 [%2 Kb] in %3 groups").arg(Number(0), Number(0), Number(0)));
    m_lblFilesPercent->setText(ToQString(PercentText(0)));
    m_lblSizePercent->setText(ToQString(PercentText(0)));
    SetBarProgress(m_pbFiles, 0, m_filesToCompare);
    SetBarProgress(m_pbSize, 0, m_kilobytesToCompare);
}

void Tform_ProgressContent::ShowProgress() {
    const TContentSafeProgress& p = m_run.ContentProgress();
    m_lblOperation->setText(ToQString(StageText(TProgressKind::Content, p.phase)));
    m_lblCompared->setText(
        tr("%1 [%2 Kb] in %3 groups")
            .arg(Number(p.filesCompared), Number(p.kilobytesCompared), Number(p.groupsCompared)));
    m_lblFilesPercent->setText(
        ToQString(PercentText(CountPercent(p.filesCompared, m_filesToCompare))));
    m_lblSizePercent->setText(
        ToQString(PercentText(SizePercent(p.kilobytesCompared, m_kilobytesToCompare))));
    SetBarProgress(m_pbFiles, p.filesCompared, m_filesToCompare);
    SetBarProgress(m_pbSize, p.kilobytesCompared, m_kilobytesToCompare);
    ShowElapsed(p.start);
    if (RemainingDue()) {
        TContentEstimateInput in;
        in.start = p.start;
        in.now = NowDateTime();
        in.paused = p.pausedTotal;
        in.kilobytesDone = p.kilobytesCompared;
        in.kilobytesTotal = m_kilobytesToCompare;
        in.filesDone = p.filesCompared;
        in.filesTotal = m_filesToCompare;
        m_lblRemained->setText(ToQString(RemainingText(ContentRemainingMs(in))));
    }
}

void Tform_ProgressContent::PauseWorker() {
    m_run.PauseContent();
}

void Tform_ProgressContent::ResumeWorker() {
    m_run.ResumeContent();
}

void Tform_ProgressContent::CancelWorker() {
    m_run.CancelContent();
}

void Tform_ProgressContent::WorkerEnded() {
    m_run.ContentFinished();
}

std::u16string_view Tform_ProgressContent::AbortQuestion() const {
    return u"Do you really want to abort files content comparison?";
}

std::u16string_view Tform_ProgressContent::AbortCaption() const {
    return u"Confirm abort comparison";
}

} // namespace vdx
