#pragma once
// What the four progress windows share: rows of caption and value between
// separator lines, bars and percentages, elapsed and remaining time, the
// engine's messages arriving as events, and the abort question that pauses
// the worker while it is asked. A window is modal over the main window and
// cannot be closed before its worker has ended; minimising it minimises the
// main window instead (the modal window follows it there).
//
// The arithmetic is kept in free functions so that it can be checked
// without a window.

#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QGridLayout;
class QLabel;
class QProgressBar;
class QPushButton;

namespace vdx {

class TMessageTarget;
class TMainThreadCaller;
class TQtMessageTarget;
class TQtMainThreadCaller;

// Whole percent of a count: done * 100 / total below 10,000 (total taken as
// at least 1), else done / (total / 100), so that large runs step by
// hundredths of their count.
std::uint32_t CountPercent(std::uint64_t done, std::uint64_t total);
// Whole percent of a size: done / (total / 100), the divisor at least 1.
std::uint32_t SizePercent(std::uint64_t done, std::uint64_t total);
// "42 %".
std::u16string PercentText(std::uint32_t percent);

// Milliseconds of work in a run: now - start - paused (date-times in days),
// at least 1, so that a pause spent on the abort question does not lower
// the rates.
double WorkingMilliseconds(double start, double now, double paused);

// The comparison's remaining time in milliseconds: the mean of the
// durations its kilobyte rate and its file rate give for the whole work,
// less the work done so far. nullopt when the figures give no finite
// estimate. Never negative.
struct TContentEstimateInput {
    double start = 0; // date-times, days
    double now = 0;
    double paused = 0; // days spent paused
    std::uint64_t kilobytesDone = 0;
    std::uint64_t kilobytesTotal = 0;
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
};
std::optional<double> ContentRemainingMs(const TContentEstimateInput& in);

// The copy or move's remaining time and rate: rate in kilobytes per
// millisecond of work, remaining milliseconds never negative.
struct TCopyEstimate {
    double remainingMs = 0;
    double kilobytesPerMs = 0;
};
std::optional<TCopyEstimate> CopyRemaining(double start, double now, double paused,
                                           std::uint64_t kilobytesDone,
                                           std::uint64_t kilobytesTotal);

// The text of "Time remained:" for a remaining time, or the failure text.
std::u16string RemainingText(const std::optional<double>& remainingMs);

// Sets a bar to done of total, scaling both down when total does not fit
// the bar's int range.
void SetBarProgress(QProgressBar* bar, std::uint64_t done, std::uint64_t total);

class TProgressWindow : public QDialog {
    Q_OBJECT
public:
    // owner is the main window (may be null in tests); messages with the
    // two codes are the worker's snapshot and ended messages.
    TProgressWindow(QWidget* owner, const char* objectName, std::uint32_t progressCode,
                    std::uint32_t endedCode);
    ~TProgressWindow() override;

    // Where the worker posts its messages and runs its snapshot routines:
    // hand both to the controller's start operation.
    TMessageTarget* Target();
    TMainThreadCaller* Caller();

    // The user confirmed the abort question.
    bool Aborted() const { return m_aborting; }
    // The worker has ended; the window may close.
    bool Done() const { return m_done; }
    // True from opening until the worker has ended: the window should be
    // visible whenever the program is.
    bool ShownFlag() const { return m_shown; }

    // A close request (Escape, Cancel, the title bar) before the worker has
    // ended asks whether to abort and is refused.
    void reject() override;

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

    // ---- Building the rows (from the constructor of a window) ----
    // A row with a caption and a value label; returns the value. The value
    // column is at least as wide as sample, so that the window keeps its
    // size while the figures grow.
    QLabel* AddRow(const QString& caption, const char* captionName, const char* valueName,
                   const QString& sample = QString());
    // A row with a percentage value and a bar beside it.
    QLabel* AddBarRow(const QString& caption, const char* captionName, const char* valueName,
                      const char* barName, QProgressBar*& bar);
    // Takes the window icon from the owner's command of that name, so that
    // the window looks like the command that opened it.
    void UseOwnerActionIcon(const char* actionName);
    // Adds the Cancel button below the rows; call last.
    void FinishLayout();

    // ---- What each window fills in ----
    virtual void ShowProgress() = 0; // read the record, redraw
    virtual void PauseWorker() = 0;
    virtual void ResumeWorker() = 0;
    virtual void CancelWorker() = 0;
    virtual void WorkerEnded() = 0; // tell the controller the run is over
    virtual std::u16string_view AbortQuestion() const = 0;
    virtual std::u16string_view AbortCaption() const = 0;
    // The main window's title while the window is hidden or the program is
    // not active, for a percentage; "" keeps the title unchanged.
    virtual std::u16string OwnerTitle(std::uint32_t /*percent*/) const { return {}; }

    // Shows the owner title for the percentage when it applies.
    void UpdateOwnerTitle(std::uint32_t percent);
    // Whether the remaining time is due for a refresh (at most every 800
    // ms, the first call at once).
    bool RemainingDue();
    // "Time elapsed:" from the worker's start to now, pauses included.
    void ShowElapsed(double start);

    QLabel* m_lblElapsed = nullptr; // "Time elapsed:", every window has it

private:
    void AskAbort();
    void OnWorkerEnded();

    std::uint32_t m_progressCode;
    std::uint32_t m_endedCode;
    std::unique_ptr<TQtMessageTarget> m_target;
    std::unique_ptr<TQtMainThreadCaller> m_caller;
    QGridLayout* m_rows = nullptr;
    int m_rowCount = 0;
    QPushButton* m_btnCancel = nullptr;
    bool m_done = false;
    bool m_aborting = false;
    bool m_asking = false;
    bool m_shown = false;
    bool m_remainingShown = false;
    std::uint64_t m_remainingTick = 0;
    QString m_ownerTitle; // the owner's title before the window changed it
};

} // namespace vdx
