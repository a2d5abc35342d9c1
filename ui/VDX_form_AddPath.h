#pragma once
// The search path dialog: adds a search path to the current search set or
// edits one of its paths. All editing goes to a private working copy; the
// caller's record changes only when the dialog is confirmed, and only after
// the path has been checked against the other paths of the set.

#include <QCheckBox>
#include <QDialog>
#include <string>

#include "engine/VDX_unit_SearchData.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

namespace vdx {

class TSettings;

// A check box that cycles unchecked, checked, grayed (Qt's own order puts
// grayed before checked). Grayed means "either way" in the attribute filter.
class TCycleCheckBox : public QCheckBox {
    Q_OBJECT
public:
    TCycleCheckBox(const QString& text, QWidget* parent);

protected:
    void nextCheckState() override;
};

class Tform_AddPath : public QDialog {
    Q_OBJECT
public:
    Tform_AddPath(QWidget* owner, TSettings& settings);
    ~Tform_AddPath() override;

    // Prepares the dialog for path, checked on confirmation against the other
    // paths of set. adding chooses the captions and makes the starting text
    // empty; when editing, the paths of set with path's own text are passed
    // over by the check. path and set must outlive the showing.
    void SetPath(TSearchData& path, const TSearchSet& set, bool adding);

    // The working copy, for tests: what the controls hold once read back.
    const TSearchData& WorkingCopy() const { return m_work; }

    void accept() override;

private:
    void BuildControls();
    void FillHistoryCombo(QComboBox* combo, const class THistory& history,
                          const std::u16string& text, bool exactCompare);
    void UpdateEnabling();
    void ReadControls();
    void ReloadExcludedList(int selectIndex);
    void BrowseMain();
    void AddExcludedFolder();
    void RemoveExcludedFolder();
    void ClearExcludedList();

    TSettings& m_settings;
    TSearchData* m_target = nullptr;
    const TSearchSet* m_set = nullptr;
    std::u16string m_startText;
    TSearchData m_work;

    QComboBox* m_cmbMainFolder = nullptr;
    QCheckBox* m_chkSubfolders = nullptr;
    QPushButton* m_btnBrowseMain = nullptr;
    QComboBox* m_cmbIncludeFilter = nullptr;
    QCheckBox* m_chkUseExclude = nullptr;
    QComboBox* m_cmbExcludeFilter = nullptr;
    QCheckBox* m_chkUseDate = nullptr;
    QRadioButton* m_rbtDate[4] = {};
    QLabel* m_lblDate[2] = {};
    QDateEdit* m_dtpDate[2] = {};
    QTimeEdit* m_dtpTime[2] = {};
    QPushButton* m_btnSetZero[2] = {};
    QPushButton* m_btnNow[2] = {};
    QWidget* m_pnlDate = nullptr;
    QCheckBox* m_chkUseSize = nullptr;
    QRadioButton* m_rbtSize[4] = {};
    QLabel* m_lblSize[2] = {};
    QSpinBox* m_spnSize[2] = {};
    QComboBox* m_cmbSize[2] = {};
    QCheckBox* m_chkUseAttr = nullptr;
    TCycleCheckBox* m_chkAttr[4] = {};
    QListWidget* m_lbxExcludedFolders = nullptr;
    QPushButton* m_btnAddFolder = nullptr;
    QPushButton* m_btnRemovePath = nullptr;
    QPushButton* m_btnClearList = nullptr;
    QPushButton* m_btnAddPath = nullptr;
    QPushButton* m_btnCancel = nullptr;
    QPushButton* m_btnHelp = nullptr;
};

// Adds (adding=true) or edits path, checked against the other paths of set;
// true on OK, with path holding the confirmed values and the three histories
// of settings updated. Cancel changes nothing. The dialog is centred over
// owner; its add/save button takes the icon of owner's matching action.
bool ExecuteAddPath(QWidget* owner, TSettings& settings, const TSearchSet& set, TSearchData& path,
                    bool adding);

} // namespace vdx
