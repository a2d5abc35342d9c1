#pragma once
// The scan progress window: shown modally while a search runs, closes by
// itself when the search worker has ended.

#include "ui/VDX_unit_ProgressWindow.h"

class QLabel;

namespace vdx {

class TSearchRun;

class Tform_ProgressScan : public TProgressWindow {
    Q_OBJECT
public:
    // Create it right before run.StartSearch(set, Target(), Caller(), ...),
    // then exec() it; on its worker's end it calls run.SearchFinished().
    Tform_ProgressScan(TSearchRun& run, QWidget* owner);

protected:
    void ShowProgress() override;
    void PauseWorker() override;
    void ResumeWorker() override;
    void CancelWorker() override;
    void WorkerEnded() override;
    std::u16string_view AbortQuestion() const override;
    std::u16string_view AbortCaption() const override;

private:
    TSearchRun& m_run;
    QLabel* m_lblOperation = nullptr;
    QLabel* m_lblFolders = nullptr;
    QLabel* m_lblFiles = nullptr;
};

} // namespace vdx
