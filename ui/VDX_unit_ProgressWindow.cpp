#include "ui/VDX_unit_ProgressWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "platform/qt/VDX_unit_QtMessages.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_WindowPlacement.h"

namespace vdx {

namespace {

constexpr double kMsPerDay = 86'400'000.0;
constexpr std::uint64_t kRemainingRefreshMs = 800;

QString AccessibleCaption(const QString& caption) {
    QString text = caption;
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text;
}

} // namespace

std::uint32_t CountPercent(std::uint64_t done, std::uint64_t total) {
    if (total < 10000)
        return static_cast<std::uint32_t>(done * 100 / std::max<std::uint64_t>(total, 1));
    return static_cast<std::uint32_t>(done / (total / 100));
}

std::uint32_t SizePercent(std::uint64_t done, std::uint64_t total) {
    return static_cast<std::uint32_t>(done / std::max<std::uint64_t>(total / 100, 1));
}

std::u16string PercentText(std::uint32_t percent) {
    return FormatPlainNumber(percent) + u" %";
}

double WorkingMilliseconds(double start, double now, double paused) {
    // Whole days count too: a comparison may run longer than one.
    const double ms = std::round((now - start - paused) * kMsPerDay);
    return std::isfinite(ms) ? std::max(ms, 1.0) : 1.0;
}

std::optional<double> ContentRemainingMs(const TContentEstimateInput& in) {
    const double e = WorkingMilliseconds(in.start, in.now, in.paused);
    const double kbRate = static_cast<double>(in.kilobytesDone) / e;
    const double fileRate = static_cast<double>(in.filesDone) / e;
    const double byKilobytes = static_cast<double>(in.kilobytesTotal) / std::max(kbRate, 1.0);
    const double byFiles = static_cast<double>(in.filesTotal) / std::max(fileRate, 0.1);
    const double total = (byKilobytes + byFiles) / 2;
    // The estimate is of working time, so the work done so far is measured
    // the same way: a long pause must not eat into what is left.
    const double remaining = total - e;
    if (!std::isfinite(remaining))
        return std::nullopt;
    return std::max(remaining, 0.0);
}

std::optional<TCopyEstimate> CopyRemaining(double start, double now, double paused,
                                           std::uint64_t kilobytesDone,
                                           std::uint64_t kilobytesTotal) {
    const double e = WorkingMilliseconds(start, now, paused);
    TCopyEstimate estimate;
    estimate.kilobytesPerMs = static_cast<double>(kilobytesDone) / e;
    const double total =
        static_cast<double>(kilobytesTotal) / std::max(estimate.kilobytesPerMs, 1.0);
    estimate.remainingMs = total - e;
    if (!std::isfinite(estimate.remainingMs) || !std::isfinite(estimate.kilobytesPerMs))
        return std::nullopt;
    estimate.remainingMs = std::max(estimate.remainingMs, 0.0);
    return estimate;
}

std::u16string RemainingText(const std::optional<double>& remainingMs) {
    if (!remainingMs)
        return u"An error occured";
    return FormatDuration(kDurHours | kDurMinutes | kDurSeconds, *remainingMs / kMsPerDay);
}

void SetBarProgress(QProgressBar* bar, std::uint64_t done, std::uint64_t total) {
    done = std::min(done, total);
    while (total > static_cast<std::uint64_t>(INT_MAX)) {
        total >>= 1;
        done >>= 1;
    }
    bar->setRange(0, std::max(static_cast<int>(total), 1));
    bar->setValue(static_cast<int>(done));
}

TProgressWindow::TProgressWindow(QWidget* owner, const char* objectName, std::uint32_t progressCode,
                                 std::uint32_t endedCode)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                         Qt::WindowCloseButtonHint),
      m_progressCode(progressCode), m_endedCode(endedCode),
      m_target(std::make_unique<TQtMessageTarget>(this)),
      m_caller(std::make_unique<TQtMainThreadCaller>()) {
    setObjectName(QString::fromLatin1(objectName));
    setModal(true);
    auto* outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    m_rows = new QGridLayout;
    m_rows->setHorizontalSpacing(12);
    m_rows->setColumnStretch(1, 1);
    outer->addLayout(m_rows);

    // Coming back to the program ends the changed title.
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive && !m_ownerTitle.isNull() && parentWidget()) {
                    parentWidget()->window()->setWindowTitle(m_ownerTitle);
                    m_ownerTitle = QString();
                }
            });
}

TProgressWindow::~TProgressWindow() = default;

TMessageTarget* TProgressWindow::Target() {
    return m_target.get();
}

TMainThreadCaller* TProgressWindow::Caller() {
    return m_caller.get();
}

QLabel* TProgressWindow::AddRow(const QString& caption, const char* captionName,
                                const char* valueName, const QString& sample) {
    if (m_rowCount > 0) {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        m_rows->addWidget(line, m_rows->rowCount(), 0, 1, 2);
    }
    const int row = m_rows->rowCount();
    auto* cap = new QLabel(caption, this);
    cap->setObjectName(QString::fromLatin1(captionName));
    cap->setTextFormat(Qt::PlainText);
    auto* value = new QLabel(this);
    value->setObjectName(QString::fromLatin1(valueName));
    value->setTextFormat(Qt::PlainText);
    value->setAccessibleName(AccessibleCaption(caption));
    if (!sample.isEmpty())
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(sample));
    m_rows->addWidget(cap, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
    m_rows->addWidget(value, row, 1, Qt::AlignLeft | Qt::AlignVCenter);
    ++m_rowCount;
    return value;
}

QLabel* TProgressWindow::AddBarRow(const QString& caption, const char* captionName,
                                   const char* valueName, const char* barName, QProgressBar*& bar) {
    QLabel* value = AddRow(caption, captionName, valueName);
    // The percentage and the bar share the value column.
    m_rows->removeWidget(value);
    auto* box = new QHBoxLayout;
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("100 %  ")));
    box->addWidget(value);
    bar = new QProgressBar(this);
    bar->setObjectName(QString::fromLatin1(barName));
    bar->setAccessibleName(AccessibleCaption(caption));
    bar->setTextVisible(false);
    bar->setRange(0, 1);
    bar->setValue(0);
    box->addWidget(bar, 1);
    m_rows->addLayout(box, m_rows->rowCount() - 1, 1);
    return value;
}

void TProgressWindow::UseOwnerActionIcon(const char* actionName) {
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner)
        return;
    if (auto* action = owner->findChild<QAction*>(QString::fromLatin1(actionName)))
        setWindowIcon(action->icon());
}

void TProgressWindow::FinishLayout() {
    auto* outer = static_cast<QVBoxLayout*>(layout());
    outer->addSpacing(6);
    m_btnCancel = new QPushButton(tr("C&ancel"), this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    m_btnCancel->setAccessibleName(QStringLiteral("Cancel"));
    m_btnCancel->setDefault(true);
    m_btnCancel->setAutoDefault(true);
    connect(m_btnCancel, &QPushButton::clicked, this, &TProgressWindow::reject);
    outer->addWidget(m_btnCancel, 0, Qt::AlignHCenter);
}

void TProgressWindow::showEvent(QShowEvent* e) {
    if (!m_done)
        m_shown = true;
    QDialog::showEvent(e);
    CenterOverOwner(this, parentWidget());
    if (m_btnCancel)
        m_btnCancel->setFocus();
}

bool TProgressWindow::event(QEvent* e) {
    const auto type = static_cast<std::uint32_t>(e->type());
    if (type == m_progressCode) {
        if (!m_done)
            ShowProgress();
        return true;
    }
    if (type == m_endedCode) {
        OnWorkerEnded();
        return true;
    }
    return QDialog::event(e);
}

void TProgressWindow::OnWorkerEnded() {
    if (m_done)
        return;
    // The last snapshot arrived before this message; show the final state,
    // the remaining time included.
    m_remainingShown = false;
    ShowProgress();
    m_done = true;
    m_shown = false;
    if (!m_ownerTitle.isNull() && parentWidget()) {
        parentWidget()->window()->setWindowTitle(m_ownerTitle);
        m_ownerTitle = QString();
    }
    WorkerEnded();
    accept();
}

void TProgressWindow::reject() {
    if (m_done) {
        QDialog::reject();
        return;
    }
    AskAbort();
}

void TProgressWindow::closeEvent(QCloseEvent* e) {
    if (m_done) {
        QDialog::closeEvent(e);
        return;
    }
    e->ignore();
    AskAbort();
}

void TProgressWindow::AskAbort() {
    // One question at a time, and none after the user has said Yes: the
    // worker is already on its way out.
    if (m_aborting || m_asking || m_done)
        return;
    m_asking = true;
    PauseWorker();
    const int answer = MessageBoxCentered(this, AbortQuestion(), AbortCaption(), TMsgButtons::YesNo,
                                          TMsgIcon::Question, 0, m_btnCancel);
    // The worker may have ended while the question was open (it had
    // already passed its last pause check); its ended message is then
    // still queued and closes the window.
    if (answer == kIdYes) {
        m_aborting = true;
        CancelWorker();
    }
    ResumeWorker();
    m_asking = false;
}

void TProgressWindow::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange || !(windowState() & Qt::WindowMinimized))
        return;
    // A modal window hidden on its own would end its exec(); the program is
    // minimised as a whole instead, and this window goes with its owner.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    if (parentWidget())
        parentWidget()->window()->showMinimized();
}

void TProgressWindow::UpdateOwnerTitle(std::uint32_t percent) {
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner)
        return;
    const std::u16string title = OwnerTitle(percent);
    if (title.empty())
        return;
    if (!owner->isMinimized() && QApplication::applicationState() == Qt::ApplicationActive)
        return;
    if (m_ownerTitle.isNull())
        m_ownerTitle = owner->windowTitle();
    owner->setWindowTitle(ToQString(title));
}

bool TProgressWindow::RemainingDue() {
    const std::uint64_t tick = TickCountMs();
    if (m_remainingShown && tick - m_remainingTick < kRemainingRefreshMs)
        return false;
    m_remainingShown = true;
    m_remainingTick = tick;
    return true;
}

void TProgressWindow::ShowElapsed(double start) {
    if (m_lblElapsed)
        m_lblElapsed->setText(ToQString(
            FormatDuration(kDurHours | kDurMinutes | kDurSeconds, NowDateTime() - start)));
}

} // namespace vdx
