#pragma once
// The main window: the program's only modeless window and its hub. It shows
// the current search set, the sets store and the results, owns every user
// command as a named action, and opens every other window modally.

#include <QMainWindow>

namespace vdx {

class TSettings;

class Tform_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit Tform_Main(TSettings& settings, QWidget* parent = nullptr);
    ~Tform_Main() override;

private:
    TSettings& m_settings;
};

} // namespace vdx
