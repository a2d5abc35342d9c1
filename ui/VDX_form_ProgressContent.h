#pragma once
// The content comparison progress window: shown modally while the files of
// the Same size groups are compared, closes by itself when the content
// worker has ended.

#include <cstdint>

#include "ui/VDX_unit_ProgressWindow.h"

class QLabel;
class QProgressBar;

namespace vdx {

class TSearchRun;

class Tform_ProgressContent : public TProgressWindow {
    Q_OBJECT
public:
    // Create it right before run.StartContentCompare(Target(), Caller()),
    // then exec() it: it takes the work to do from the Same size view while
    // no worker writes the store. On its worker's end it calls
    // run.ContentFinished().
    Tform_ProgressContent(TSearchRun& run, QWidget* owner);

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
    // The work, from the Same size view when the window was made.
    std::uint32_t m_filesToCompare = 0;
    std::uint64_t m_kilobytesToCompare = 0;
    std::uint32_t m_groupsToCompare = 0;
    QLabel* m_lblOperation = nullptr;
    QLabel* m_lblCompared = nullptr;
    QLabel* m_lblFilesPercent = nullptr;
    QLabel* m_lblSizePercent = nullptr;
    QLabel* m_lblRemained = nullptr;
    QProgressBar* m_pbFiles = nullptr;
    QProgressBar* m_pbSize = nullptr;
};

} // namespace vdx
