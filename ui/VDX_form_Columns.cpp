#include "ui/VDX_form_Columns.h"
#include "ui/VDX_unit_DialogParts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "persistence/VDX_unit_Columns.h"
#include "platform/qt/VDX_unit_Help.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_WindowPlacement.h"

namespace vdx {

namespace {

constexpr int kHelpContext = 4;
constexpr int kRoleId = Qt::UserRole;
constexpr int kRoleWidth = Qt::UserRole + 1;
constexpr int kRoleFixed = Qt::UserRole + 2;

// A width outside the range may be typed in full and is then dropped when
// the box is left (the last width stays), instead of being cut short while
// typing: "900" must not turn into 90.
class TWidthSpinBox : public QSpinBox {
public:
    QValidator::State validate(QString& text, int& pos) const override {
        const QValidator::State state = QSpinBox::validate(text, pos);
        if (state != QValidator::Invalid)
            return state;
        bool number = false;
        text.trimmed().toInt(&number);
        return number ? QValidator::Intermediate : state;
    }
};

} // namespace

Tform_Columns::Tform_Columns(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("form_Columns"));
    setWindowTitle(tr("Columns"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    SetHelpContext(this, kHelpContext);

    m_lblInfo = new QLabel(tr("Check the columns that you would like visible in this view. Use "
                              "the <Move Up> and <Move Down> buttons to re-order columns in a way "
                              "you do want."));
    m_lblInfo->setObjectName(QStringLiteral("lblInfo"));
    m_lblInfo->setTextFormat(Qt::PlainText);
    m_lblInfo->setWordWrap(true);

    m_lbxColumns = new QListWidget;
    m_lbxColumns->setObjectName(QStringLiteral("lbxColumns"));
    m_lbxColumns->setAccessibleName(tr("Columns"));
    m_lbxColumns->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lbxColumns->setUniformItemSizes(true);

    m_btnMoveUp = MakeDialogButton(tr("Move Up"), "btnMoveUp");
    m_btnMoveDown = MakeDialogButton(tr("Move Down"), "btnMoveDown");
    m_btnShow = MakeDialogButton(tr("Show"), "btnShow");
    m_btnHide = MakeDialogButton(tr("Hide"), "btnHide");

    m_lblSizeBefore = new QLabel(tr("The selected column should be"));
    m_lblSizeBefore->setObjectName(QStringLiteral("lblSizeBefore"));
    m_spnSize = new TWidthSpinBox;
    m_spnSize->setObjectName(QStringLiteral("spnSize"));
    m_spnSize->setAccessibleName(tr("Column width in pixels"));
    m_spnSize->setRange(kColumnWidthMin, kColumnWidthMax);
    // A width takes effect once typed in full (Enter, leaving the box, the
    // arrows), so "5" on the way to "50" does not count.
    m_spnSize->setKeyboardTracking(false);
    m_lblSizeBefore->setBuddy(m_spnSize);
    m_lblSizeAfter = new QLabel(tr("pixels wide."));
    m_lblSizeAfter->setObjectName(QStringLiteral("lblSizeAfter"));

    m_chkAutosizeColumns = new QCheckBox(tr("Enable autosize columns"));
    m_chkAutosizeColumns->setObjectName(QStringLiteral("chkAutosizeColumns"));
    m_chkAutosizeColumns->setAccessibleName(tr("Enable autosize columns"));

    m_btnOk = MakeDialogButton(tr("&Ok"), "btnOk");
    m_btnOk->setDefault(true);
    m_btnCancel = MakeDialogButton(tr("&Cancel"), "btnCancel");
    m_btnHelp = MakeDialogButton(tr("&Help"), "btnHelp");

    auto* side = new QVBoxLayout;
    side->addWidget(m_btnMoveUp);
    side->addWidget(m_btnMoveDown);
    side->addSpacing(8);
    side->addWidget(m_btnShow);
    side->addWidget(m_btnHide);
    side->addStretch(1);

    auto* lists = new QHBoxLayout;
    lists->addWidget(m_lbxColumns, 1);
    lists->addLayout(side);

    auto* size = new QHBoxLayout;
    size->addWidget(m_lblSizeBefore);
    size->addWidget(m_spnSize);
    size->addWidget(m_lblSizeAfter);
    size->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnOk);
    buttons->addWidget(m_btnCancel);
    buttons->addWidget(m_btnHelp);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblInfo);
    layout->addLayout(lists, 1);
    layout->addLayout(size);
    layout->addWidget(m_chkAutosizeColumns);
    layout->addLayout(buttons);

    connect(m_lbxColumns, &QListWidget::currentRowChanged, this, &Tform_Columns::RowSelected);
    connect(m_lbxColumns, &QListWidget::itemChanged, this, &Tform_Columns::RowChanged);
    connect(m_btnMoveUp, &QPushButton::clicked, this, [this] { MoveRow(-1); });
    connect(m_btnMoveDown, &QPushButton::clicked, this, [this] { MoveRow(1); });
    connect(m_btnShow, &QPushButton::clicked, this, [this] { SetRowShown(true); });
    connect(m_btnHide, &QPushButton::clicked, this, [this] { SetRowShown(false); });
    connect(m_spnSize, &QSpinBox::valueChanged, this, &Tform_Columns::WidthChanged);
    connect(m_chkAutosizeColumns, &QCheckBox::toggled, this, &Tform_Columns::UpdateControls);
    connect(m_btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_btnHelp, &QPushButton::clicked, this,
            [] { ShowHelpTopic(QStringLiteral("wnd_columns.html")); });
    resize(420, 380);
}

void Tform_Columns::Prepare(const TColumnList& layout) {
    m_filling = true;
    m_lbxColumns->clear();
    const auto addRow = [this](const TColumnBag& bag, bool shown) {
        auto* item = new QListWidgetItem(ToQString(bag.caption));
        item->setData(kRoleId, bag.id);
        item->setData(kRoleWidth, bag.width);
        item->setData(kRoleFixed, bag.fixed);
        if (bag.fixed) {
            // Grayed: always shown, and the user cannot clear it.
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setCheckState(Qt::PartiallyChecked);
            item->setToolTip(tr("This column is always shown"));
        } else {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
        }
        m_lbxColumns->addItem(item);
    };
    for (std::size_t i = 0; i < layout.ShownCount(); ++i)
        if (const TColumnBag* bag = layout.ShownDefinition(i))
            addRow(*bag, true);
    for (std::size_t i = 0; i < layout.DefinitionCount(); ++i) {
        const TColumnBag* bag = layout.Definition(i);
        if (bag && !layout.IsShown(bag->id))
            addRow(*bag, false);
    }
    m_chkAutosizeColumns->setChecked(layout.autosize);
    m_filling = false;
    m_lbxColumns->setCurrentRow(m_lbxColumns->count() > 0 ? 0 : -1);
    RowSelected();
}

bool Tform_Columns::RowCounts(const QListWidgetItem* item) const {
    return item && item->checkState() != Qt::Unchecked;
}

void Tform_Columns::Apply(TColumnList& layout) const {
    layout.ClearShown();
    for (int row = 0; row < m_lbxColumns->count(); ++row) {
        const QListWidgetItem* item = m_lbxColumns->item(row);
        const int id = item->data(kRoleId).toInt();
        TColumnBag* bag = layout.FindDefinition(id);
        if (!bag)
            continue;
        bag->width = item->data(kRoleWidth).toInt();
        bag->shown = RowCounts(item);
        if (bag->shown)
            layout.AddShown(id);
    }
    layout.autosize = m_chkAutosizeColumns->isChecked();
}

void Tform_Columns::RowSelected() {
    if (m_filling)
        return;
    if (const QListWidgetItem* item = m_lbxColumns->currentItem()) {
        const QSignalBlocker block(m_spnSize);
        m_spnSize->setValue(item->data(kRoleWidth).toInt());
    }
    UpdateControls();
}

void Tform_Columns::RowChanged(QListWidgetItem*) {
    if (!m_filling)
        UpdateControls();
}

void Tform_Columns::MoveRow(int delta) {
    const int row = m_lbxColumns->currentRow();
    const int target = row + delta;
    if (row < 0 || target < 0 || target >= m_lbxColumns->count())
        return;
    m_filling = true;
    QListWidgetItem* item = m_lbxColumns->takeItem(row);
    m_lbxColumns->insertItem(target, item);
    m_filling = false;
    m_lbxColumns->setCurrentRow(target);
    RowSelected();
}

void Tform_Columns::SetRowShown(bool shown) {
    QListWidgetItem* item = m_lbxColumns->currentItem();
    if (!item || item->data(kRoleFixed).toBool())
        return;
    item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
    UpdateControls();
}

void Tform_Columns::WidthChanged(int width) {
    // The spin box refuses what lies outside its range; this guards the
    // stored width all the same.
    QListWidgetItem* item = m_lbxColumns->currentItem();
    if (item && width >= kColumnWidthMin && width <= kColumnWidthMax)
        item->setData(kRoleWidth, width);
}

void Tform_Columns::UpdateControls() {
    const int row = m_lbxColumns->currentRow();
    const QListWidgetItem* item = m_lbxColumns->currentItem();
    const bool fixed = item && item->data(kRoleFixed).toBool();
    m_btnMoveUp->setEnabled(row > 0);
    m_btnMoveDown->setEnabled(row >= 0 && row + 1 < m_lbxColumns->count());
    m_btnShow->setEnabled(item && !fixed && item->checkState() == Qt::Unchecked);
    m_btnHide->setEnabled(item && !fixed && item->checkState() == Qt::Checked);
    const bool widths = item && !m_chkAutosizeColumns->isChecked();
    m_lblSizeBefore->setEnabled(widths);
    m_spnSize->setEnabled(widths);
    m_lblSizeAfter->setEnabled(widths);
    bool anyShown = false;
    for (int i = 0; i < m_lbxColumns->count() && !anyShown; ++i)
        anyShown = RowCounts(m_lbxColumns->item(i));
    m_btnOk->setEnabled(anyShown);
}

bool ExecuteColumns(QWidget* owner, TColumnList& layout) {
    Tform_Columns dialog(owner);
    dialog.Prepare(layout);
    CenterOverOwner(&dialog, owner ? owner->window() : nullptr);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    dialog.Apply(layout);
    return true;
}

} // namespace vdx
