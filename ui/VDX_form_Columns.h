#pragma once
// The Columns dialog: which columns of one list are shown, in which order,
// how wide, and whether they spread over the list's width. It edits a copy
// of the layout in its rows; only OK writes the layout back, and the caller
// then rebuilds its columns from it (and spreads them when autosize is on).

#include <QDialog>

class QCheckBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSpinBox;

namespace vdx {

class TColumnList;

inline constexpr int kColumnWidthMin = 10;
inline constexpr int kColumnWidthMax = 800;

class Tform_Columns : public QDialog {
    Q_OBJECT
public:
    explicit Tform_Columns(QWidget* parent = nullptr);

    // Fills the rows from the layout: the shown columns in shown order,
    // checked (grayed when fixed), then the other definitions in definition
    // order, unchecked (grayed when fixed).
    void Prepare(const TColumnList& layout);
    // Writes the rows back: the shown list from the checked and grayed rows
    // in row order, every width, the autosize flag.
    void Apply(TColumnList& layout) const;

private:
    void RowSelected();
    void RowChanged(QListWidgetItem* item);
    void MoveRow(int delta);
    void SetRowShown(bool shown);
    void WidthChanged(int width);
    void UpdateControls();
    bool RowCounts(const QListWidgetItem* item) const;

    bool m_filling = false;

    QLabel* m_lblInfo;
    QListWidget* m_lbxColumns;
    QPushButton* m_btnMoveUp;
    QPushButton* m_btnMoveDown;
    QPushButton* m_btnShow;
    QPushButton* m_btnHide;
    QLabel* m_lblSizeBefore;
    QSpinBox* m_spnSize;
    QLabel* m_lblSizeAfter;
    QCheckBox* m_chkAutosizeColumns;
    QPushButton* m_btnOk;
    QPushButton* m_btnCancel;
    QPushButton* m_btnHelp;
};

// Shows the dialog for layout over owner; true (the layout changed) on OK.
bool ExecuteColumns(QWidget* owner, TColumnList& layout);

} // namespace vdx
