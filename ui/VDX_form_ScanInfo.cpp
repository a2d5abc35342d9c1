#include "ui/VDX_form_ScanInfo.h"

#include <QAction>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_Views.h"
#include "platform/VDX_unit_Time.h"
#include "platform/qt/VDX_unit_Help.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_WindowPlacement.h"

namespace vdx {

namespace {

constexpr int kHelpSearchResults = 25;
constexpr int kHelpContentResults = 26;
constexpr unsigned kAllDurationParts = kDurHours | kDurMinutes | kDurSeconds | kDurMilliseconds;

QString Number(std::uint64_t value) {
    return ToQString(FormatNumber(static_cast<std::int64_t>(value)));
}

QString GroupText(const TScanData& store, TViewKind view) {
    const TViewFigures f = ViewFigures(store, view);
    return QObject::tr("%1 groups contain %2 bytes in %3 files")
        .arg(Number(f.m_groups), Number(f.m_groupBytes), Number(f.m_groupFiles));
}

QString Duration(double span) {
    return ToQString(FormatDuration(kAllDurationParts, span));
}

// Caption and value of a duration row, in the selection colour.
void Highlight(QLabel* caption, QLabel* value) {
    for (QLabel* label : {caption, value}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Highlight));
        label->setPalette(palette);
    }
}

QLabel* NewLabel(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* NewButton(const QString& text, const char* name, const QString& accessible,
                       QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(accessible);
    return button;
}

} // namespace

Tform_ScanInfo::Tform_ScanInfo(TSearchRun& run, double searchStartTime, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_searchStartTime(searchStartTime) {
    setObjectName(QStringLiteral("form_ScanInfo"));
    setModal(true);
    if (owner)
        if (auto* action =
                owner->window()->findChild<QAction*>(QStringLiteral("actResAct_ScanInfo")))
            setWindowIcon(action->icon());

    const TScanData& store = run.Store();
    const bool compared = store.Status().m_contentDone;

    auto* outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    m_grid = new QGridLayout;
    m_grid->setHorizontalSpacing(12);
    outer->addLayout(m_grid);

    AddRow(tr("Scanned folders:"), "lblCapScannedFolders", "lblScannedFolders")
        ->setText(Number(store.SubFoldersAddedSum()));
    AddRow(tr("Found files:"), "lblCapFoundFiles", "lblFoundFiles")
        ->setText(Number(store.FilesFoundSum()));
    AddRow(tr("Filtered files by search criteria:"), "lblCapFilteredFiles", "lblFilteredFiles")
        ->setText(Number(store.FileCount()));
    AddRow(tr("Same name:"), "lblCapSameName", "lblSameName")
        ->setText(GroupText(store, kViewSameName));
    AddRow(tr("Same size:"), "lblCapSameSize", "lblSameSize")
        ->setText(GroupText(store, kViewSameSize));
    AddRow(tr("Same name and size:"), "lblCapSameNameSize", "lblSameNameSize")
        ->setText(GroupText(store, kViewSameNameSize));
    m_lblZeroSize = AddRow(tr("Zero size:"), "lblCapZeroSize", "lblZeroSize");
    m_lblZeroSize->setText(tr("%1 files").arg(Number(store.ZeroSizeFiles())));
    m_lblZeroSize->installEventFilter(this);
    if (compared) {
        AddRow(tr("Same content:"), "lblCapSameContent", "lblSameContent")
            ->setText(GroupText(store, kViewSameContent));
        AddRow(tr("Full clones:"), "lblCapFullClones", "lblFullClones")
            ->setText(GroupText(store, kViewFullClones));
    }

    // The durations share a band of two rows' height; the search's alone is
    // centred in it.
    auto* band = new QFrame(this);
    band->setObjectName(QStringLiteral("pnlDurations"));
    band->setFrameShape(QFrame::StyledPanel);
    auto* bandLayout = new QGridLayout(band);
    bandLayout->setHorizontalSpacing(12);
    bandLayout->setRowStretch(0, 1);
    auto* capSearch = NewLabel(tr("Search taken:"), "lblCapSearchTaken", band);
    auto* search = NewLabel(Duration(store.m_durationSearch), "lblSearchTaken", band);
    search->setAccessibleName(QStringLiteral("Search taken"));
    bandLayout->addWidget(capSearch, 1, 0);
    bandLayout->addWidget(search, 1, 1);
    Highlight(capSearch, search);
    if (compared) {
        auto* capContent = NewLabel(tr("Content comparison taken:"), "lblCapContentTaken", band);
        auto* content = NewLabel(Duration(store.m_durationContent), "lblContentTaken", band);
        content->setAccessibleName(QStringLiteral("Content comparison taken"));
        bandLayout->addWidget(capContent, 2, 0);
        bandLayout->addWidget(content, 2, 1);
        Highlight(capContent, content);
    }
    bandLayout->setRowStretch(3, 1);
    bandLayout->setColumnStretch(1, 1);
    band->setMinimumHeight(2 * (fontMetrics().height() + bandLayout->verticalSpacing()) +
                           bandLayout->contentsMargins().top() +
                           bandLayout->contentsMargins().bottom());
    outer->addWidget(band);

    // One value column for the figures and the durations: the band's
    // captions are narrower by the band's frame and margin.
    const int inset = band->frameWidth() + bandLayout->contentsMargins().left();
    int captionWidth = 0;
    for (int row = 0; row < m_grid->rowCount(); ++row)
        if (QLayoutItem* item = m_grid->itemAtPosition(row, 0))
            captionWidth = std::max(captionWidth, item->widget()->sizeHint().width());
    for (int row = 1; row < bandLayout->rowCount(); ++row)
        if (QLayoutItem* item = bandLayout->itemAtPosition(row, 0))
            captionWidth = std::max(captionWidth, item->widget()->sizeHint().width() + inset);
    m_grid->setColumnMinimumWidth(0, captionWidth);
    bandLayout->setColumnMinimumWidth(0, captionWidth - inset);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    if (!compared) {
        auto* compare = NewButton(tr("Start content comparison"), "btnContentCmp",
                                  QStringLiteral("Start content comparison"), this);
        compare->setAutoDefault(false);
        connect(compare, &QPushButton::clicked, this, [this] { done(kIdYes); });
        buttons->addWidget(compare);
    }
    auto* close = NewButton(tr("&Close"), "btnClose", QStringLiteral("Close"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, [this] { done(kIdOk); });
    buttons->addWidget(close);
    auto* help = NewButton(tr("&Help"), "btnHelp", QStringLiteral("Help"), this);
    help->setAutoDefault(false);
    connect(help, &QPushButton::clicked, this, [this] { ShowHelpContext(m_helpContext); });
    buttons->addWidget(help);
    buttons->addStretch(1);
    outer->addLayout(buttons);

    if (compared) {
        setWindowTitle(tr("Content comparison results"));
        m_helpContext = kHelpContentResults;
    } else {
        setWindowTitle(tr("Search files results"));
        m_helpContext = kHelpSearchResults;
    }
    SetHelpContext(this, m_helpContext);
    close->setFocus();
}

QLabel* Tform_ScanInfo::AddRow(const QString& caption, const char* captionName,
                               const char* valueName) {
    const int row = m_grid->rowCount();
    m_grid->addWidget(NewLabel(caption, captionName, this), row, 0);
    QLabel* value = NewLabel(QString(), valueName, this);
    QString accessible = caption;
    accessible.chop(1); // the colon
    value->setAccessibleName(accessible);
    m_grid->addWidget(value, row, 1);
    return value;
}

void Tform_ScanInfo::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    m_shownTime = NowDateTime();
    CenterOverOwner(this, parentWidget());
}

bool Tform_ScanInfo::eventFilter(QObject* watched, QEvent* e) {
    // A double click on the zero-size figure shows, in the caption, how long
    // it took from Start search until the results were shown.
    if (watched == m_lblZeroSize && e->type() == QEvent::MouseButtonDblClick) {
        setWindowTitle(Duration(m_shownTime - m_searchStartTime));
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void Tform_ScanInfo::reject() {
    done(kIdCancel);
}

int ExecuteScanInfo(QWidget* owner, TSearchRun& run, double searchStartTime) {
    Tform_ScanInfo window(run, searchStartTime, owner);
    return window.exec();
}

} // namespace vdx
