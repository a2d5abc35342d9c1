#include "ui/VDX_form_StoreSet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "engine/VDX_unit_Helpers.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_Help.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "ui/VDX_unit_SetsStore.h"

namespace vdx {

namespace {

constexpr int kSaveHelpContext = 5;
constexpr int kRenameHelpContext = 6;

} // namespace

Tform_StoreSet::Tform_StoreSet(const TSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("form_StoreSet"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    m_lblInfo = new QLabel;
    m_lblInfo->setObjectName(QStringLiteral("lblInfo"));
    m_lblInfo->setWordWrap(true);
    m_lblInfo->setTextFormat(Qt::PlainText);

    m_lbxNames = new QListWidget;
    m_lbxNames->setObjectName(QStringLiteral("lbxNames"));
    m_lbxNames->setAccessibleName(tr("Stored sets"));
    m_lbxNames->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lbxNames->setUniformItemSizes(true);

    m_edtName = new QLineEdit;
    m_edtName->setObjectName(QStringLiteral("edtName"));
    m_edtName->setAccessibleName(tr("Set name"));

    m_btnOk = new QPushButton(tr("&Ok"));
    m_btnOk->setObjectName(QStringLiteral("btnOk"));
    m_btnOk->setAccessibleName(tr("Ok"));
    m_btnOk->setDefault(true);
    m_btnCancel = new QPushButton(tr("&Cancel"));
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));
    m_btnCancel->setAccessibleName(tr("Cancel"));
    m_btnCancel->setAutoDefault(false);
    m_btnHelp = new QPushButton(tr("&Help"));
    m_btnHelp->setObjectName(QStringLiteral("btnHelp"));
    m_btnHelp->setAccessibleName(tr("Help"));
    m_btnHelp->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    buttons->addWidget(m_btnHelp);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblInfo);
    layout->addWidget(m_lbxNames, 1);
    layout->addWidget(m_edtName);
    layout->addLayout(buttons);

    // The name comes first for the keyboard: the user types it, or tabs
    // back to the list to pick one.
    setTabOrder(m_edtName, m_btnOk);
    setTabOrder(m_btnOk, m_btnCancel);
    setTabOrder(m_btnCancel, m_btnHelp);
    setTabOrder(m_btnHelp, m_lbxNames);

    connect(m_edtName, &QLineEdit::textChanged, this, &Tform_StoreSet::NameEdited);
    connect(m_lbxNames, &QListWidget::currentRowChanged, this, &Tform_StoreSet::NameClicked);
    connect(m_lbxNames, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { NameClicked(m_lbxNames->row(item)); });
    connect(m_btnOk, &QPushButton::clicked, this, &Tform_StoreSet::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &Tform_StoreSet::reject);
    connect(m_btnHelp, &QPushButton::clicked, this, [this] {
        ShowHelpContext(m_mode == TStoreSetMode::Save ? kSaveHelpContext : kRenameHelpContext);
    });
    resize(380, 320);
}

void Tform_StoreSet::Prepare(TStoreSetMode mode, const TSearchSet& set, const QIcon& icon) {
    m_mode = mode;
    m_set = &set;
    m_replaceIndex = -1;
    const int paths = static_cast<int>(set.Count());
    const bool saving = mode == TStoreSetMode::Save;
    setWindowTitle(saving ? tr("Save search set in store") : tr("Rename search set title"));
    setWindowIcon(icon);
    SetHelpContext(this, saving ? kSaveHelpContext : kRenameHelpContext);
    m_lblInfo->setText(
        saving ? tr("You are about saving Current search set (%1 paths) in the store. Type name "
                    "for the set or select name from the set list.")
                     .arg(paths)
               : tr("You are about renaming Current search set (%1 paths) in the store. Edit "
                    "name for the set or select name from the set list.")
                     .arg(paths));

    m_matching = true;
    m_lbxNames->clear();
    for (const auto& stored : m_settings.storedSets)
        m_lbxNames->addItem(ToQString(stored->name));
    m_edtName->setText(saving ? QString() : ToQString(set.name));
    m_matching = false;
    NameEdited(m_edtName->text());
    m_edtName->selectAll();
    m_edtName->setFocus();
}

std::u16string Tform_StoreSet::ChosenName() const {
    return TrimText(ToU16(m_edtName->text()));
}

void Tform_StoreSet::NameEdited(const QString& text) {
    const int match = FindStoredName(m_settings, ToU16(text));
    m_matching = true;
    if (match >= 0) {
        m_lbxNames->setCurrentRow(match, QItemSelectionModel::ClearAndSelect);
        m_lbxNames->scrollToItem(m_lbxNames->item(match));
    } else {
        m_lbxNames->clearSelection();
        m_lbxNames->setCurrentRow(-1);
    }
    m_matching = false;
    UpdateOk();
}

void Tform_StoreSet::NameClicked(int row) {
    // Only a choice of the user's puts its name into the edit box; the
    // selection that follows the typed text must leave the text alone (a
    // typed "abc" matching "ABC" stays "abc").
    if (m_matching || row < 0 || row >= m_lbxNames->count())
        return;
    m_edtName->setText(m_lbxNames->item(row)->text());
}

void Tform_StoreSet::UpdateOk() {
    bool enabled = !ChosenName().empty();
    if (m_mode == TStoreSetMode::Rename)
        enabled = enabled && m_lbxNames->selectedItems().isEmpty();
    m_btnOk->setEnabled(enabled);
}

void Tform_StoreSet::accept() {
    // Enter reaches here too; it must not get past a disabled OK.
    if (!m_btnOk->isEnabled() || !m_set)
        return;
    m_replaceIndex = -1;
    if (m_mode == TStoreSetMode::Save) {
        const QList<QListWidgetItem*> selected = m_lbxNames->selectedItems();
        if (!selected.isEmpty()) {
            const int index = m_lbxNames->row(selected.front());
            if (index < 0 || static_cast<std::size_t>(index) >= m_settings.storedSets.size())
                return;
            const TSearchSet& target = *m_settings.storedSets[static_cast<std::size_t>(index)];
            const QString question =
                tr("The stored set '%1' has %2 path(s) for search.\r\n\r\nDo you really want to "
                   "replace it with the Current search set?")
                    .arg(ToQString(target.name), QString::number(target.Count()));
            if (MessageBoxCentered(this, ToU16(question), u"Confirm stored set replacing",
                                   TMsgButtons::YesNo, TMsgIcon::Question) != kIdYes) {
                m_edtName->clear();
                m_edtName->setFocus();
                return;
            }
            m_replaceIndex = index;
        }
    }
    QDialog::accept();
}

} // namespace vdx
