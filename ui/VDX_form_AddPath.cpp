#include "ui/VDX_form_AddPath.h"
#include "ui/VDX_unit_DialogParts.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimeEdit>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_SetCheck.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_FolderBrowser.h"
#include "platform/qt/VDX_unit_Help.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_Shell.h"
#include "platform/qt/VDX_unit_WindowPlacement.h"

namespace vdx {

namespace {

constexpr int kHelpContext = 3;
constexpr int kDropDownLines = 40;
constexpr int kMaxSizeValue = 999999;
constexpr int kLastUnitIndex = 2; // "Mbytes": the list offers no Gb

// The attribute boxes, left to right, and their bits.
constexpr struct {
    const char* name;
    const char* caption;
    std::uint32_t bit;
} kAttrBoxes[4] = {
    {"chkArchive", "&a  Archive", kAttrArchive},
    {"chkReadOnly", "&r  Read only", kAttrReadOnly},
    {"chkHidden", "&h  Hidden", kAttrHidden},
    {"chkSystem", "&s  System", kAttrSystem},
};

QDate FirstDate() {
    return QDate(1980, 1, 1);
}
QDate LastDate() {
    return QDate(2040, 1, 1);
}

// The shown form of an excluded folder within width pixels: whole folder
// names give way to "..." as the shell helpers fit paths.
QString FittedEntry(const QString& entry, const QFontMetrics& metrics, int width) {
    return FitPathToWidth(
        entry, [&metrics](const QString& text) { return metrics.horizontalAdvance(text); },
        std::max(width, 0));
}

// Draws the excluded folders as a blank plus the fitted path, and hints the
// full path of an entry that had to be shortened.
class TExcludedDelegate : public QStyledItemDelegate {
public:
    TExcludedDelegate(QListWidget* list, const TSettings& settings)
        : QStyledItemDelegate(list), m_list(list), m_settings(settings) {}

    int TextWidth(const QFontMetrics& metrics) const {
        return m_list->viewport()->width() - 2 * metrics.horizontalAdvance(QStringLiteral("  "));
    }
    QString Shown(const QString& entry, const QFontMetrics& metrics) const {
        return QLatin1Char(' ') + FittedEntry(entry, metrics, TextWidth(metrics));
    }
    bool Shortened(const QString& entry, const QFontMetrics& metrics) const {
        return FittedEntry(entry, metrics, TextWidth(metrics)) != entry;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString entry = index.data(Qt::DisplayRole).toString();
        const bool selected = option.state & QStyle::State_Selected;
        const bool focused = m_list->hasFocus();
        QColor back = option.palette.color(QPalette::Base);
        QColor text = option.palette.color(QPalette::Text);
        if (selected && focused) {
            back = SettingsColor(m_settings.globals.selectionBack, option.palette);
            text = SettingsColor(m_settings.globals.selectionText, option.palette);
        } else if (selected) {
            back = option.palette.color(QPalette::Inactive, QPalette::Highlight);
            text = option.palette.color(QPalette::Inactive, QPalette::HighlightedText);
        }
        painter->save();
        painter->fillRect(option.rect, back);
        painter->setPen(text);
        painter->setFont(option.font);
        painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          Shown(entry, option.fontMetrics));
        if (selected && focused && (option.state & QStyle::State_HasFocus)) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.backgroundColor = back;
            m_list->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, m_list);
        }
        painter->restore();
    }

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString entry = index.data(Qt::DisplayRole).toString();
        if (Shortened(entry, option.fontMetrics))
            QToolTip::showText(event->globalPos(), entry, view->viewport(), option.rect, 4000);
        else
            QToolTip::hideText();
        return true;
    }

private:
    QListWidget* m_list;
    const TSettings& m_settings;
};

// The controls' text for a history entry comparison: paths exactly, masks
// without letter case.
bool SameEntry(const std::u16string& a, const std::u16string& b, bool exact) {
    return exact ? a == b : UpperCaseText(a) == UpperCaseText(b);
}

// A stored date-time for the pickers: before 1980 (unset, damaged) shows now.
QDateTime PickerDateTime(double stored) {
    TCalendarTime c;
    if (DateTimeToCalendar(stored, c)) {
        const QDate date(c.year, c.month, c.day);
        if (date.isValid() && date >= FirstDate())
            return QDateTime(std::min(date, LastDate()), QTime(c.hour, c.minute, c.second));
    }
    return QDateTime::currentDateTime();
}

double StoredDateTime(const QDate& date, const QTime& time) {
    TCalendarTime c;
    c.year = date.year();
    c.month = date.month();
    c.day = date.day();
    c.hour = time.hour();
    c.minute = time.minute();
    c.second = time.second();
    c.milliseconds = 0;
    return CalendarToDateTime(c);
}

int UnitIndex(std::int32_t degree) {
    return std::clamp<std::int32_t>(degree, 0, kLastUnitIndex);
}

} // namespace

TCycleCheckBox::TCycleCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setTristate(true);
}

void TCycleCheckBox::nextCheckState() {
    switch (checkState()) {
    case Qt::Unchecked:
        setCheckState(Qt::Checked);
        break;
    case Qt::Checked:
        setCheckState(Qt::PartiallyChecked);
        break;
    default:
        setCheckState(Qt::Unchecked);
        break;
    }
}

Tform_AddPath::Tform_AddPath(QWidget* owner, TSettings& settings)
    : QDialog(owner), m_settings(settings) {
    setObjectName(QStringLiteral("form_AddPath"));
    setWindowTitle(tr("Add new search path"));
    SetHelpContext(this, kHelpContext);
    BuildControls();
}

Tform_AddPath::~Tform_AddPath() = default;

void Tform_AddPath::BuildControls() {
    auto named = [](QWidget* w, const char* name, const QString& accessible) {
        w->setObjectName(QString::fromLatin1(name));
        w->setAccessibleName(accessible);
        return w;
    };
    auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        named(b, name, PlainCaption(caption));
        b->setAutoDefault(false);
        return b;
    };
    auto combo = [&](const char* name, const QString& accessible) {
        auto* c = new QComboBox(this);
        named(c, name, accessible);
        c->setEditable(true);
        // Enter must press the default button, not add the text to the list.
        c->setInsertPolicy(QComboBox::NoInsert);
        c->setMaxVisibleItems(kDropDownLines);
        c->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        return c;
    };
    auto check = [&](const char* name, const QString& caption) {
        auto* c = new QCheckBox(caption, this);
        named(c, name, PlainCaption(caption));
        return c;
    };

    // Search path.
    auto* grpPath = new QGroupBox(tr(" Search path "), this);
    grpPath->setObjectName(QStringLiteral("grpSearchPath"));
    m_cmbMainFolder = combo("cmbMainFolder", tr("Search path"));
    m_chkSubfolders = check("chkSubfolders", tr("Include sub folders"));
    m_btnBrowseMain = button("btnBrowseMain", tr("&Browse..."));
    auto* pathLayout = new QGridLayout(grpPath);
    pathLayout->addWidget(m_cmbMainFolder, 0, 0);
    pathLayout->addWidget(m_btnBrowseMain, 0, 1);
    pathLayout->addWidget(m_chkSubfolders, 1, 0, 1, 2);

    // File filter.
    auto* grpFilter = new QGroupBox(tr(" File filter "), this);
    grpFilter->setObjectName(QStringLiteral("grpFileFilter"));
    auto* lblInclude = new QLabel(tr("Use include file filters (e.g. *.doc; *.txt)"), this);
    lblInclude->setObjectName(QStringLiteral("lblIncludeFilter"));
    m_cmbIncludeFilter = combo("cmbIncludeFilter", PlainCaption(lblInclude->text()));
    lblInclude->setBuddy(m_cmbIncludeFilter);
    m_chkUseExclude = check("chkUseExclude", tr("Use exclude file filters (e.g. *.doc; *.txt)"));
    m_cmbExcludeFilter = combo("cmbExcludeFilter", tr("Exclude file filters"));

    // Date panel.
    m_pnlDate = new QWidget(this);
    m_pnlDate->setObjectName(QStringLiteral("pnlDate"));
    m_chkUseDate = check("chkUseDate", tr("Date filter"));
    const char* dateRadios[4] = {"rbtFLTRDateOlder", "rbtFLTRDateNewer", "rbtFLTRDateBetween",
                                 "rbtFLTRDateOut"};
    const QString dateCaptions[4] = {tr("Equal/Older than A"), tr("Equal/Newer than A"),
                                     tr("Between A and B"), tr("Beyond A and B")};
    auto* dateLayout = new QGridLayout(m_pnlDate);
    dateLayout->setContentsMargins(0, 0, 0, 0);
    dateLayout->addWidget(m_chkUseDate, 0, 0, 1, 5);
    for (int i = 0; i < 4; ++i) {
        m_rbtDate[i] = new QRadioButton(dateCaptions[i], m_pnlDate);
        named(m_rbtDate[i], dateRadios[i], dateCaptions[i]);
        dateLayout->addWidget(m_rbtDate[i], 1 + i / 2, (i % 2) * 2, 1, 2 + (i % 2));
    }
    const char* dateNames[2][5] = {{"lblDateA", "dtpDateA", "dtpTimeA", "btnSetZeroA", "btnNowA"},
                                   {"lblDateB", "dtpDateB", "dtpTimeB", "btnSetZeroB", "btnNowB"}};
    for (int k = 0; k < 2; ++k) {
        const QString letter = k == 0 ? QStringLiteral("A") : QStringLiteral("B");
        m_lblDate[k] = new QLabel(letter + QLatin1Char(':'), m_pnlDate);
        m_lblDate[k]->setObjectName(QString::fromLatin1(dateNames[k][0]));
        m_dtpDate[k] = new QDateEdit(m_pnlDate);
        named(m_dtpDate[k], dateNames[k][1], tr("Date %1").arg(letter));
        m_dtpDate[k]->setCalendarPopup(true);
        m_dtpDate[k]->setDateRange(FirstDate(), LastDate());
        // The calendar button eats into the size hint; leave room for the
        // widest date of the locale's format.
        m_dtpDate[k]->setMinimumWidth(
            m_dtpDate[k]->fontMetrics().horizontalAdvance(
                QLocale().toString(QDate(2038, 12, 28), m_dtpDate[k]->displayFormat())) +
            2 * m_dtpDate[k]->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8);
        m_dtpTime[k] = new QTimeEdit(m_pnlDate);
        named(m_dtpTime[k], dateNames[k][2], tr("Time %1").arg(letter));
        m_dtpTime[k]->setDisplayFormat(QStringLiteral("HH:mm:ss"));
        m_lblDate[k]->setBuddy(m_dtpDate[k]);
        m_btnSetZero[k] = button(dateNames[k][3], tr("<0>"));
        m_btnSetZero[k]->setAccessibleName(tr("Midnight %1").arg(letter));
        m_btnNow[k] = button(dateNames[k][4], tr("Set current"));
        m_btnNow[k]->setAccessibleName(tr("Set current %1").arg(letter));
        const int row = 3 + k;
        dateLayout->addWidget(m_lblDate[k], row, 0);
        dateLayout->addWidget(m_dtpDate[k], row, 1);
        dateLayout->addWidget(m_dtpTime[k], row, 2);
        dateLayout->addWidget(m_btnSetZero[k], row, 3);
        dateLayout->addWidget(m_btnNow[k], row, 4);
        connect(m_btnSetZero[k], &QPushButton::clicked, this,
                [this, k] { m_dtpTime[k]->setTime(QTime(0, 0, 0)); });
        connect(m_btnNow[k], &QPushButton::clicked, this, [this, k] {
            const QDateTime now = QDateTime::currentDateTime();
            m_dtpDate[k]->setDate(now.date());
            m_dtpTime[k]->setTime(now.time());
        });
    }

    // Size panel.
    auto* pnlSize = new QWidget(this);
    pnlSize->setObjectName(QStringLiteral("pnlSize"));
    m_chkUseSize = check("chkUseSize", tr("Size filter"));
    const char* sizeRadios[4] = {"rbtFLTRSizeMore", "rbtFLTRSizeLess", "rbtFLTRSizeBetween",
                                 "rbtFLTRSizeOut"};
    const QString sizeCaptions[4] = {tr("Equal/More than A"), tr("Equal/Less than A"),
                                     tr("Between A and B"), tr("Beyond A and B")};
    auto* sizeLayout = new QGridLayout(pnlSize);
    sizeLayout->setContentsMargins(0, 0, 0, 0);
    sizeLayout->addWidget(m_chkUseSize, 0, 0, 1, 3);
    for (int i = 0; i < 4; ++i) {
        m_rbtSize[i] = new QRadioButton(sizeCaptions[i], pnlSize);
        named(m_rbtSize[i], sizeRadios[i], sizeCaptions[i]);
        sizeLayout->addWidget(m_rbtSize[i], 1 + i, 0, 1, 3);
    }
    const char* sizeNames[2][3] = {{"lblSizeA", "spnSizeA", "cmbSizeA"},
                                   {"lblSizeB", "spnSizeB", "cmbSizeB"}};
    for (int k = 0; k < 2; ++k) {
        const QString letter = k == 0 ? QStringLiteral("A") : QStringLiteral("B");
        m_lblSize[k] = new QLabel(letter + QLatin1Char(':'), pnlSize);
        m_lblSize[k]->setObjectName(QString::fromLatin1(sizeNames[k][0]));
        m_spnSize[k] = new QSpinBox(pnlSize);
        named(m_spnSize[k], sizeNames[k][1], tr("Size %1").arg(letter));
        m_spnSize[k]->setRange(0, kMaxSizeValue);
        m_spnSize[k]->setSingleStep(10);
        m_lblSize[k]->setBuddy(m_spnSize[k]);
        m_cmbSize[k] = new QComboBox(pnlSize);
        named(m_cmbSize[k], sizeNames[k][2], tr("Unit %1").arg(letter));
        m_cmbSize[k]->addItems({tr("bytes"), tr("Kbytes"), tr("Mbytes")});
        sizeLayout->addWidget(m_lblSize[k], 5 + k, 0);
        sizeLayout->addWidget(m_spnSize[k], 5 + k, 1);
        sizeLayout->addWidget(m_cmbSize[k], 5 + k, 2);
    }

    // Attribute panel.
    auto* pnlAttr = new QWidget(this);
    pnlAttr->setObjectName(QStringLiteral("pnlAttr"));
    m_chkUseAttr = check("chkUseAttr", tr("Attr filter"));
    auto* attrLayout = new QVBoxLayout(pnlAttr);
    attrLayout->setContentsMargins(0, 0, 0, 0);
    attrLayout->addWidget(m_chkUseAttr);
    for (int i = 0; i < 4; ++i) {
        const QString caption = tr(kAttrBoxes[i].caption);
        m_chkAttr[i] = new TCycleCheckBox(caption, pnlAttr);
        named(m_chkAttr[i], kAttrBoxes[i].name, PlainCaption(caption));
        attrLayout->addWidget(m_chkAttr[i]);
    }
    attrLayout->addStretch(1);

    auto* filterLayout = new QGridLayout(grpFilter);
    filterLayout->addWidget(lblInclude, 0, 0);
    filterLayout->addWidget(m_cmbIncludeFilter, 1, 0);
    filterLayout->addWidget(m_chkUseExclude, 0, 1);
    filterLayout->addWidget(m_cmbExcludeFilter, 1, 1);
    auto* panels = new QHBoxLayout;
    panels->addWidget(m_pnlDate, 3);
    panels->addSpacing(12);
    panels->addWidget(pnlSize, 2);
    panels->addSpacing(12);
    panels->addWidget(pnlAttr, 1);
    filterLayout->addLayout(panels, 2, 0, 1, 2);

    // Excluded folders.
    auto* grpExclude =
        new QGroupBox(tr(" Exclude specifications (folders to be ignored from search) "), this);
    grpExclude->setObjectName(QStringLiteral("grpExcludeSpecs"));
    m_lbxExcludedFolders = new QListWidget(this);
    named(m_lbxExcludedFolders, "lbxExcludedFolders", tr("Excluded folders"));
    m_lbxExcludedFolders->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lbxExcludedFolders->setUniformItemSizes(true);
    m_lbxExcludedFolders->setItemDelegate(new TExcludedDelegate(m_lbxExcludedFolders, m_settings));
    m_btnAddFolder = button("btnAddFolder", tr("Add &folder..."));
    m_btnRemovePath = button("btnRemovePath", tr("Remove path"));
    m_btnClearList = button("btnClearList", tr("Clear list"));
    auto* excludeLayout = new QHBoxLayout(grpExclude);
    excludeLayout->addWidget(m_lbxExcludedFolders, 1);
    auto* excludeButtons = new QVBoxLayout;
    excludeButtons->addWidget(m_btnAddFolder);
    excludeButtons->addWidget(m_btnRemovePath);
    excludeButtons->addWidget(m_btnClearList);
    excludeButtons->addStretch(1);
    excludeLayout->addLayout(excludeButtons);

    // Buttons.
    m_btnHelp = button("btnHelp", tr("&Help"));
    m_btnAddPath = button("btnAddPath", tr("&Add path"));
    m_btnAddPath->setDefault(true);
    m_btnAddPath->setAutoDefault(true);
    m_btnCancel = button("btnCancel", tr("&Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_btnHelp);
    buttons->addStretch(1);
    buttons->addWidget(m_btnAddPath);
    buttons->addWidget(m_btnCancel);

    auto* main = new QVBoxLayout(this);
    main->addWidget(grpPath);
    main->addWidget(grpFilter);
    main->addWidget(grpExclude, 1);
    main->addLayout(buttons);

    connect(m_btnAddPath, &QPushButton::clicked, this, &Tform_AddPath::accept);
    connect(m_btnCancel, &QPushButton::clicked, this, &Tform_AddPath::reject);
    connect(m_btnHelp, &QPushButton::clicked, this,
            [] { ShowHelpTopic(QStringLiteral("wnd_add_path.html")); });
    connect(m_btnBrowseMain, &QPushButton::clicked, this, &Tform_AddPath::BrowseMain);
    connect(m_btnAddFolder, &QPushButton::clicked, this, &Tform_AddPath::AddExcludedFolder);
    connect(m_btnRemovePath, &QPushButton::clicked, this, &Tform_AddPath::RemoveExcludedFolder);
    connect(m_btnClearList, &QPushButton::clicked, this, &Tform_AddPath::ClearExcludedList);

    connect(m_cmbMainFolder, &QComboBox::editTextChanged, this, &Tform_AddPath::UpdateEnabling);
    for (QCheckBox* box : {m_chkUseExclude, m_chkUseDate, m_chkUseSize, m_chkUseAttr})
        connect(box, &QCheckBox::toggled, this, &Tform_AddPath::UpdateEnabling);
    for (int i = 0; i < 4; ++i) {
        connect(m_rbtDate[i], &QRadioButton::toggled, this, &Tform_AddPath::UpdateEnabling);
        connect(m_rbtSize[i], &QRadioButton::toggled, this, &Tform_AddPath::UpdateEnabling);
    }
    // The list's rows are drawn against its width and focus.
    connect(m_lbxExcludedFolders, &QListWidget::currentRowChanged, m_lbxExcludedFolders->viewport(),
            qOverload<>(&QWidget::update));
}

void Tform_AddPath::FillHistoryCombo(QComboBox* combo, const THistory& history,
                                     const std::u16string& text, bool exactCompare) {
    combo->blockSignals(true);
    combo->clear();
    int match = -1;
    const QFontMetrics metrics(combo->view()->font());
    int widest = 0;
    for (std::size_t i = 0; i < history.Count(); ++i) {
        const QString entry = ToQString(history.Text(i));
        combo->addItem(entry);
        widest = std::max(widest, metrics.horizontalAdvance(entry));
        if (match < 0 && SameEntry(history.Text(i), text, exactCompare))
            match = static_cast<int>(i);
    }
    int width = widest + 6;
    if (combo->count() > combo->maxVisibleItems())
        width += combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    combo->view()->setMinimumWidth(width);
    combo->setCurrentIndex(match);
    combo->setEditText(ToQString(text));
    combo->blockSignals(false);
}

void Tform_AddPath::SetPath(TSearchData& path, const TSearchSet& set, bool adding) {
    setWindowTitle(adding ? tr("Add new search path") : tr("Edit search path"));
    m_btnAddPath->setText(adding ? tr("&Add path") : tr("S&ave path"));
    m_btnAddPath->setAccessibleName(PlainCaption(m_btnAddPath->text()));
    if (QWidget* owner = parentWidget()) {
        const QString actionName =
            adding ? QStringLiteral("actSet_AddPath") : QStringLiteral("actSet_EditPath");
        if (auto* action = owner->findChild<QAction*>(actionName))
            m_btnAddPath->setIcon(action->icon());
    }

    m_target = &path;
    m_set = &set;
    m_startText = adding ? std::u16string() : path.SearchPath;
    m_work.Assign(path);

    FillHistoryCombo(m_cmbMainFolder, m_settings.searchPathHistory, m_work.SearchPath, true);
    m_chkSubfolders->setChecked(m_work.bSubFolders);
    const TFileFilter& f = m_work.fileFilter;
    FillHistoryCombo(m_cmbIncludeFilter, m_settings.fileFilterIncHistory, f.FLT_Include, false);
    FillHistoryCombo(m_cmbExcludeFilter, m_settings.fileFilterExcHistory, f.FLT_Exclude, false);

    m_chkUseExclude->setChecked(f.FLT_bUseExclude);
    m_chkUseDate->setChecked(f.FLT_bUseDate);
    m_chkUseSize->setChecked(f.FLT_bUseSize);
    m_chkUseAttr->setChecked(f.FLT_bUseAttr);

    const double stored[2] = {f.FLT_DateTimeA, f.FLT_DateTimeB};
    for (int k = 0; k < 2; ++k) {
        const QDateTime shown = PickerDateTime(stored[k]);
        m_dtpDate[k]->setDate(shown.date());
        m_dtpTime[k]->setTime(shown.time());
    }
    const int datePos = f.FLT_DatePos >= 1 && f.FLT_DatePos <= 3 ? f.FLT_DatePos : 0;
    m_rbtDate[datePos]->setChecked(true);
    const int sizePos = f.FLT_SizePos >= 1 && f.FLT_SizePos <= 3 ? f.FLT_SizePos : 0;
    m_rbtSize[sizePos]->setChecked(true);

    m_spnSize[0]->setValue(std::clamp(f.FLT_SizeA, 0, kMaxSizeValue));
    m_spnSize[1]->setValue(std::clamp(f.FLT_SizeB, 0, kMaxSizeValue));
    m_cmbSize[0]->setCurrentIndex(UnitIndex(f.FLT_SizeDegreeA));
    m_cmbSize[1]->setCurrentIndex(UnitIndex(f.FLT_SizeDegreeB));

    for (int i = 0; i < 4; ++i) {
        const std::uint32_t bit = kAttrBoxes[i].bit;
        m_chkAttr[i]->setCheckState((f.FLT_Attr_IncMask & bit)   ? Qt::Checked
                                    : (f.FLT_Attr_ExcMask & bit) ? Qt::Unchecked
                                                                 : Qt::PartiallyChecked);
    }

    ReloadExcludedList(m_work.folderFilter.Count() > 0 ? 0 : -1);
    m_cmbMainFolder->setFocus();
    UpdateEnabling();
}

void Tform_AddPath::UpdateEnabling() {
    const bool date = m_chkUseDate->isChecked();
    const bool dateB = date && (m_rbtDate[2]->isChecked() || m_rbtDate[3]->isChecked());
    for (QRadioButton* r : m_rbtDate)
        r->setEnabled(date);
    for (int k = 0; k < 2; ++k) {
        const bool on = k == 0 ? date : dateB;
        for (QWidget* w : std::initializer_list<QWidget*>{m_lblDate[k], m_dtpDate[k], m_dtpTime[k],
                                                          m_btnSetZero[k], m_btnNow[k]})
            w->setEnabled(on);
    }

    const bool size = m_chkUseSize->isChecked();
    const bool sizeB = size && (m_rbtSize[2]->isChecked() || m_rbtSize[3]->isChecked());
    for (QRadioButton* r : m_rbtSize)
        r->setEnabled(size);
    for (int k = 0; k < 2; ++k) {
        const bool on = k == 0 ? size : sizeB;
        m_lblSize[k]->setEnabled(on);
        m_spnSize[k]->setEnabled(on);
        m_cmbSize[k]->setEnabled(on);
    }

    for (TCycleCheckBox* box : m_chkAttr)
        box->setEnabled(m_chkUseAttr->isChecked());
    m_cmbExcludeFilter->setEnabled(m_chkUseExclude->isChecked());

    const bool havePath = !TrimText(ToU16(m_cmbMainFolder->currentText())).empty();
    m_btnAddPath->setEnabled(havePath);
    m_btnAddFolder->setEnabled(havePath);
    const bool haveList = m_lbxExcludedFolders->count() > 0;
    m_btnRemovePath->setEnabled(haveList);
    m_btnClearList->setEnabled(haveList);
    m_lbxExcludedFolders->setEnabled(haveList);
}

void Tform_AddPath::ReloadExcludedList(int selectIndex) {
    m_lbxExcludedFolders->clear();
    for (const TStrItem& item : m_work.folderFilter.Items())
        m_lbxExcludedFolders->addItem(ToQString(item.text));
    if (selectIndex >= 0 && selectIndex < m_lbxExcludedFolders->count())
        m_lbxExcludedFolders->setCurrentRow(selectIndex);
    UpdateEnabling();
}

void Tform_AddPath::BrowseMain() {
    std::u16string folder = ExpandEnvVars(TrimText(ToU16(m_cmbMainFolder->currentText())));
    if (BrowseForFolder(this, u"Select folder to search in", u"", folder))
        m_cmbMainFolder->setEditText(ToQString(folder));
}

void Tform_AddPath::AddExcludedFolder() {
    const std::u16string typed = TrimText(ToU16(m_cmbMainFolder->currentText()));
    if (typed.empty())
        return;
    const std::u16string expanded = ExpandEnvVars(typed);
    std::u16string chosen;
    if (!BrowseForFolder(this, u"Select a folder to be excluded", expanded, chosen))
        return;
    if (expanded != typed) {
        // Keep the variable form: %TEMP% and a folder below what it names
        // give %TEMP% followed by the rest of that folder. The browser hands
        // back a cleaned path, so the expanded root is cleaned the same way.
        const std::u16string root = ToU16(QDir::cleanPath(ToQString(expanded)));
        if (chosen.starts_with(root)) {
            std::u16string rest = chosen.substr(root.size());
            std::u16string head = RemoveTrailingBackslash(typed);
            if (!rest.empty() && rest.front() != kPathDelim)
                rest.insert(rest.begin(), kPathDelim);
            chosen = head + rest;
        }
    }
    chosen = AddTrailingBackslash(chosen);
    m_work.folderFilter.Add(chosen);
    m_work.folderFilter.Normalize();
    ReloadExcludedList(m_work.folderFilter.IndexOf(chosen));
}

void Tform_AddPath::RemoveExcludedFolder() {
    const int row = m_lbxExcludedFolders->currentRow();
    if (row < 0 || row >= static_cast<int>(m_work.folderFilter.Count()))
        return;
    m_work.folderFilter.Delete(static_cast<std::size_t>(row));
    const int count = static_cast<int>(m_work.folderFilter.Count());
    ReloadExcludedList(std::min(row, count - 1));
}

void Tform_AddPath::ClearExcludedList() {
    m_work.folderFilter.Clear();
    ReloadExcludedList(-1);
}

void Tform_AddPath::ReadControls() {
    m_work.SearchPath = TrimText(ToU16(m_cmbMainFolder->currentText()));
    m_work.bSubFolders = m_chkSubfolders->isChecked();
    TFileFilter& f = m_work.fileFilter;
    f.FLT_Include = ToU16(m_cmbIncludeFilter->currentText());
    f.FLT_Exclude = ToU16(m_cmbExcludeFilter->currentText());
    f.FLT_bUseExclude = m_chkUseExclude->isChecked();
    f.FLT_bUseDate = m_chkUseDate->isChecked();
    f.FLT_bUseSize = m_chkUseSize->isChecked();
    f.FLT_bUseAttr = m_chkUseAttr->isChecked();
    f.FLT_DateTimeA = StoredDateTime(m_dtpDate[0]->date(), m_dtpTime[0]->time());
    f.FLT_DateTimeB = StoredDateTime(m_dtpDate[1]->date(), m_dtpTime[1]->time());
    f.FLT_DatePos = m_rbtDate[3]->isChecked()   ? kDateBeyond
                    : m_rbtDate[2]->isChecked() ? kDateBetween
                    : m_rbtDate[1]->isChecked() ? kDateNewerThanA
                                                : kDateOlderThanA;
    f.FLT_SizeA = m_spnSize[0]->value();
    f.FLT_SizeB = m_spnSize[1]->value();
    f.FLT_SizeDegreeA = m_cmbSize[0]->currentIndex();
    f.FLT_SizeDegreeB = m_cmbSize[1]->currentIndex();
    f.FLT_SizePos = m_rbtSize[3]->isChecked()   ? kSizeBeyond
                    : m_rbtSize[2]->isChecked() ? kSizeBetween
                    : m_rbtSize[1]->isChecked() ? kSizeLessThanA
                                                : kSizeMoreThanA;
    f.FLT_Attr_IncMask = 0;
    f.FLT_Attr_ExcMask = 0;
    for (int i = 0; i < 4; ++i) {
        if (m_chkAttr[i]->checkState() == Qt::Checked)
            f.FLT_Attr_IncMask |= kAttrBoxes[i].bit;
        else if (m_chkAttr[i]->checkState() == Qt::Unchecked)
            f.FLT_Attr_ExcMask |= kAttrBoxes[i].bit;
    }
}

void Tform_AddPath::accept() {
    if (!m_target || !m_set || !m_btnAddPath->isEnabled())
        return;
    ReadControls();
    const TSetCheckResult check = CheckDialogPath(*m_set, m_work.SearchPath, m_startText);
    if (!check.ok) {
        MessageBoxCentered(this, check.message, check.title, TMsgButtons::Ok, TMsgIcon::Warning);
        m_cmbMainFolder->setFocus();
        return;
    }
    m_target->Assign(m_work);
    // The histories take the texts as typed; a blank one would only be an
    // empty line in the drop-down (and is not stored).
    const std::u16string typed[3] = {ToU16(m_cmbMainFolder->currentText()),
                                     ToU16(m_cmbIncludeFilter->currentText()),
                                     ToU16(m_cmbExcludeFilter->currentText())};
    THistory* histories[3] = {&m_settings.searchPathHistory, &m_settings.fileFilterIncHistory,
                              &m_settings.fileFilterExcHistory};
    for (int i = 0; i < 3; ++i)
        if (!TrimText(typed[i]).empty())
            m_settings.AddToHistory(*histories[i], typed[i]);
    QDialog::accept();
}

bool ExecuteAddPath(QWidget* owner, TSettings& settings, const TSearchSet& set, TSearchData& path,
                    bool adding) {
    Tform_AddPath dialog(owner, settings);
    dialog.SetPath(path, set, adding);
    dialog.adjustSize();
    CenterOverOwner(&dialog, owner);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace vdx
