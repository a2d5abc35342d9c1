#pragma once
// The name dialog of the sets store: asks for the name under which the
// current search set is saved, or the new name of a stored set. It reads the
// store to match names as the user types but changes nothing: the caller
// applies the chosen name (and, when saving, the chosen target).

#include <QDialog>
#include <QIcon>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vdx {

class TSettings;
class TSearchSet;

enum class TStoreSetMode { Save, Rename };

class Tform_StoreSet : public QDialog {
    Q_OBJECT
public:
    explicit Tform_StoreSet(const TSettings& settings, QWidget* parent = nullptr);

    // Fills the dialog for one run: caption, icon, help context, explanation,
    // the stored names in store order and the starting name (empty when
    // saving, the set's name when renaming). set is the current search set
    // when saving and the stored set when renaming; it must outlive exec().
    void Prepare(TStoreSetMode mode, const TSearchSet& set, const QIcon& icon);

    TStoreSetMode Mode() const { return m_mode; }
    // After OK: the typed name, trimmed.
    std::u16string ChosenName() const;
    // After OK in save mode: the stored set to replace (the user agreed), or
    // -1 for a new set.
    int ReplaceIndex() const { return m_replaceIndex; }

public slots:
    void accept() override;

private:
    void NameEdited(const QString& text);
    void NameClicked(int row);
    void UpdateOk();

    const TSettings& m_settings;
    TStoreSetMode m_mode = TStoreSetMode::Save;
    const TSearchSet* m_set = nullptr;
    int m_replaceIndex = -1;
    bool m_matching = false; // the list's selection follows the typed name

    QLabel* m_lblInfo;
    QListWidget* m_lbxNames;
    QLineEdit* m_edtName;
    QPushButton* m_btnOk;
    QPushButton* m_btnCancel;
    QPushButton* m_btnHelp;
};

} // namespace vdx
