#pragma once
// The scan information window: the figures of the last search and, once it
// has run, of the last content comparison. Before a comparison it offers to
// start one.

#include <QDialog>

class QGridLayout;
class QLabel;
class QPushButton;
class QWidget;

namespace vdx {

class TSearchRun;

class Tform_ScanInfo : public QDialog {
    Q_OBJECT
public:
    // Reads every figure from the controller's store now; call it only
    // while no worker runs. searchStartTime is the local date-time (days)
    // of the last Start search.
    Tform_ScanInfo(TSearchRun& run, double searchStartTime, QWidget* owner);

    // Escape closes like the title bar: with Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QLabel* AddRow(const QString& caption, const char* captionName, const char* valueName);

    double m_searchStartTime;
    double m_shownTime = 0;
    int m_helpContext = 0;
    QGridLayout* m_grid = nullptr;
    QLabel* m_lblZeroSize = nullptr;
};

// Shows the scan information modally over owner. Returns kIdYes when the
// user asked for the content comparison, kIdOk after Close, kIdCancel when
// the window was closed otherwise.
int ExecuteScanInfo(QWidget* owner, TSearchRun& run, double searchStartTime);

} // namespace vdx
