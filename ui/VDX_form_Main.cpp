// The main window's construction, panes, search set list, tool bars and
// closing.

#include "ui/VDX_form_Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cmath>

#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_Views.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_Help.h"
#include "platform/qt/VDX_unit_QtMessages.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_WindowPlacement.h"
#include "ui/VDX_unit_SearchSetModel.h"
#include "ui/VDX_unit_SetsStore.h"
#include "ui/VDX_unit_ToolBars.h"

namespace vdx {

TViewKind ViewOfTab(int tab) {
    return tab >= 0 && tab < kViewCount ? static_cast<TViewKind>(kViewSameName + tab)
                                        : kViewSameName;
}

// Fills one of the three customisable bars whenever its layout changes.
class Tform_Main::TBarView : public TToolBarView {
public:
    TBarView(Tform_Main& window, QToolBar* bar) : m_window(window), m_bar(bar) {}
    void RebuildBar(const TTool& tool) override { m_window.RebuildBar(m_bar, tool); }
    void ApplyShowCaptions(bool show) override {
        m_bar->setToolButtonStyle(show ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    }

private:
    Tform_Main& m_window;
    QToolBar* m_bar;
};

Tform_Main::Tform_Main(TSettings& settings, TSearchRun& run, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_run(run) {
    setObjectName(QStringLiteral("form_Main"));
    setWindowTitle(QStringLiteral("Vardex Lite 1.0.1"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("edit-find"),
                                   style()->standardIcon(QStyle::SP_FileDialogContentsView)));
    m_currentView = std::clamp(m_settings.ResultView, 0, kViewCount - 1);

    CreateActions();
    CreateMenus();
    CreateLayout();
    CreateToolBars();
    m_run.Store().SetObserver(this);

    BuildSetColumns();
    SortSetList(); // also sets the list-update guard
    RebuildResults();

    SetHelpContext(this, 1);
    SetHelpContext(m_lsvCurrentSet, 1);
    SetHelpContext(m_lbxSetsStore, 2);
    // Client area at least 700 x 520.
    setMinimumSize(700, 520 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    ApplyPaneMinimums();

    ShowSetStore(m_settings.bShow_SetStore);
    ShowNavigator(m_settings.bShow_Navigator);
    m_lbxSetsStore->Redisplay();
    UpdateActions();
    // The stored placement, or 7/9 of the work area, centred, when the
    // window was never moved.
    RestoreMainPlacement(this, m_settings.mainPlacement);

    // Coming back to the program restores the window a progress window
    // minimised (the modal progress window follows it).
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state == Qt::ApplicationActive && isMinimized())
                    showNormal();
            });
}

Tform_Main::~Tform_Main() {
    m_run.Store().SetObserver(nullptr);
}

QFrame* Tform_Main::CaptionBar(const char* name, const QString& text, QAction* closeAction) {
    auto* bar = new QFrame;
    bar->setObjectName(QString::fromLatin1(name));
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(2, 1, 2, 1);
    auto* label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name) + QStringLiteral("_Text"));
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    // The caption text takes the selection colour, as the selected rows do.
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Active, QPalette::Highlight));
    label->setPalette(palette);
    layout->addWidget(label, 1);
    if (closeAction) {
        auto* close = new QToolButton;
        close->setObjectName(QString::fromLatin1(name) + QStringLiteral("_Close"));
        close->setAutoRaise(true);
        close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
        close->setIconSize(QSize(10, 10));
        close->setToolTip(closeAction->text());
        close->setAccessibleName(closeAction->text());
        close->setFocusPolicy(Qt::NoFocus);
        connect(close, &QToolButton::clicked, closeAction, &QAction::trigger);
        layout->addWidget(close);
    }
    return bar;
}

namespace {

QWidget* Pane(const char* name, QWidget* parent = nullptr) {
    auto* pane = new QWidget(parent);
    pane->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return pane;
}

QVBoxLayout* PaneLayout(QWidget* pane) {
    return static_cast<QVBoxLayout*>(pane->layout());
}

QToolBar* MakeBar(const char* name, const QString& accessible) {
    auto* bar = new QToolBar;
    bar->setObjectName(QString::fromLatin1(name));
    bar->setAccessibleName(accessible);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setContextMenuPolicy(Qt::CustomContextMenu);
    bar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    // The overflow button that offers the buttons that do not fit.
    if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(QObject::tr("More tools"));
    return bar;
}

} // namespace

void Tform_Main::CreateLayout() {
    auto* pnlMain = new QWidget;
    pnlMain->setObjectName(QStringLiteral("pnlMain"));
    auto* mainLayout = new QVBoxLayout(pnlMain);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    m_splMain = new QSplitter(Qt::Vertical);
    m_splMain->setObjectName(QStringLiteral("splMain"));
    m_splMain->setChildrenCollapsible(false);
    mainLayout->addWidget(m_splMain);
    setCentralWidget(pnlMain);

    // The search-set area: the current set and the store beside it.
    QWidget* pnlSearchSet = Pane("pnlSearchSet");
    pnlSearchSet->setMinimumHeight(172 - 100);
    m_splSearchSet = new QSplitter(Qt::Horizontal);
    m_splSearchSet->setObjectName(QStringLiteral("splSearchSet"));
    m_splSearchSet->setChildrenCollapsible(false);
    PaneLayout(pnlSearchSet)->addWidget(m_splSearchSet);

    QWidget* manager = Pane("pnlSearchSetManager");
    PaneLayout(manager)->addWidget(
        CaptionBar("pnlSearchSetCap", tr(" Current search set"), nullptr));
    m_lsvCurrentSet = new QTreeView;
    m_lsvCurrentSet->setObjectName(QStringLiteral("lsvCurrentSet"));
    m_lsvCurrentSet->setAccessibleName(tr("Current search set"));
    m_lsvCurrentSet->setRootIsDecorated(false);
    m_lsvCurrentSet->setUniformRowHeights(true);
    m_lsvCurrentSet->setItemsExpandable(false);
    m_lsvCurrentSet->setAllColumnsShowFocus(true);
    m_lsvCurrentSet->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lsvCurrentSet->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lsvCurrentSet->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lsvCurrentSet->setContextMenuPolicy(Qt::CustomContextMenu);
    m_lsvCurrentSet->installEventFilter(this);
    m_setModel = new TSearchSetModel(m_settings.currentSet,
                                     m_settings.Columns(TColumnLayout::SearchSet), this);
    m_lsvCurrentSet->setModel(m_setModel);
    QHeaderView* header = m_lsvCurrentSet->header();
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false);
    header->setMinimumSectionSize(20);
    header->setStretchLastSection(false);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::sectionClicked, this, &Tform_Main::OnSetHeaderClicked);
    connect(header, &QHeaderView::sectionMoved, this, [this] {
        QCoreApplication::postEvent(this,
                                    new QEvent(static_cast<QEvent::Type>(kMsgSetColumnsMoved)));
    });
    connect(header, &QHeaderView::customContextMenuRequested, this, &Tform_Main::ShowSetHeaderMenu);
    connect(m_lsvCurrentSet, &QTreeView::doubleClicked, this, [this] {
        if (Action(QStringLiteral("actSet_EditPath"))->isEnabled())
            EditPath();
    });
    connect(m_lsvCurrentSet, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        UpdateActions();
        m_pupCurrentSetLV->popup(m_lsvCurrentSet->viewport()->mapToGlobal(pos));
    });
    connect(m_lsvCurrentSet->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateActions(); });
    PaneLayout(manager)->addWidget(m_lsvCurrentSet, 1);
    m_bars[0] = MakeBar("tlbSearchSet", tr("Search set tools"));
    PaneLayout(manager)->addWidget(m_bars[0]);
    m_splSearchSet->addWidget(manager);

    m_pnlSearchSetStore = Pane("pnlSearchSetStore");
    PaneLayout(m_pnlSearchSetStore)
        ->addWidget(CaptionBar("pnlTaskStoreCap", tr(" Search sets store"),
                               Action(QStringLiteral("actHide_SetStore"))));
    m_lbxSetsStore = new TSetsStoreList(m_settings);
    m_lbxSetsStore->installEventFilter(this);
    m_lbxSetsStore->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_lbxSetsStore, &TSetsStoreList::LoadRequested, this, [this] { StoreCommand(1); });
    connect(m_lbxSetsStore, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        UpdateActions();
        m_pupSetStoreLbx->popup(m_lbxSetsStore->viewport()->mapToGlobal(pos));
    });
    PaneLayout(m_pnlSearchSetStore)->addWidget(m_lbxSetsStore, 1);
    m_bars[1] = MakeBar("tlbSetStore", tr("Sets store tools"));
    PaneLayout(m_pnlSearchSetStore)->addWidget(m_bars[1]);
    m_splSearchSet->addWidget(m_pnlSearchSetStore);
    m_splSearchSet->setStretchFactor(0, 1);
    m_splMain->addWidget(pnlSearchSet);

    // The results area: the view tabs over the grid, the navigator beside.
    QWidget* pnlResults = Pane("pnlResults");
    pnlResults->setMinimumHeight(200);
    m_splResults = new QSplitter(Qt::Horizontal);
    m_splResults->setObjectName(QStringLiteral("splResults"));
    m_splResults->setChildrenCollapsible(false);
    PaneLayout(pnlResults)->addWidget(m_splResults);

    QWidget* sgPane = Pane("pnlSGResults");
    m_tabs = new QTabBar;
    m_tabs->setObjectName(QStringLiteral("TabControl"));
    m_tabs->setAccessibleName(tr("Result views"));
    m_tabs->setExpanding(false);
    m_tabs->setDrawBase(true);
    for (int tab = 0; tab < kViewCount; ++tab)
        m_tabs->addTab(QString());
    connect(m_tabs, &QTabBar::currentChanged, this, [this](int tab) {
        if (tab >= 0 && tab != m_currentView)
            SelectView(tab);
    });
    PaneLayout(sgPane)->addWidget(m_tabs);
    m_sgResults = new QTableView;
    m_sgResults->setObjectName(QStringLiteral("SG_Results"));
    m_sgResults->setAccessibleName(tr("Search results"));
    m_sgResults->verticalHeader()->hide();
    m_sgResults->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_sgResults->setShowGrid(true);
    PaneLayout(sgPane)->addWidget(m_sgResults, 1);
    m_bars[2] = MakeBar("tlbResult", tr("Result tools"));
    PaneLayout(sgPane)->addWidget(m_bars[2]);
    m_splResults->addWidget(sgPane);

    m_pnlNavigator = Pane("pnlNavigator");
    PaneLayout(m_pnlNavigator)
        ->addWidget(CaptionBar("pnlNavigatorCap", tr(" Navigator"),
                               Action(QStringLiteral("actHide_Navigator"))));
    m_sgNavigator = new QTableView;
    m_sgNavigator->setObjectName(QStringLiteral("SG_Navigator"));
    m_sgNavigator->setAccessibleName(tr("Navigator"));
    m_sgNavigator->verticalHeader()->hide();
    PaneLayout(m_pnlNavigator)->addWidget(m_sgNavigator, 1);
    m_tlbFull = MakeBar("tlbFull", tr("Vardex links"));
    m_tlbFull->setContextMenuPolicy(Qt::NoContextMenu);
    const auto linkButton = [this](const char* name, const char* action, const QString& caption,
                                   int image) {
        auto* button = new QToolButton;
        button->setObjectName(QString::fromLatin1(name));
        button->setDefaultAction(Action(QString::fromLatin1(action)));
        button->setText(caption);
        button->setAccessibleName(caption);
        button->setIcon(style()->standardIcon(image == 0 ? QStyle::SP_DriveNetIcon
                                                         : QStyle::SP_MessageBoxQuestion));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        m_tlbFull->addWidget(button);
    };
    linkButton("btnWebsite", "actHlp_Website", tr("Vardex website"), 0);
    linkButton("btnFeedback", "actHlp_Feedback", tr("Send feedback"), 1);
    PaneLayout(m_pnlNavigator)->addWidget(m_tlbFull);
    m_splResults->addWidget(m_pnlNavigator);
    m_splResults->setStretchFactor(0, 1);
    m_splMain->addWidget(pnlResults);

    connect(m_splMain, &QSplitter::splitterMoved, this, [this] { StoreRatio(0); });
    connect(m_splSearchSet, &QSplitter::splitterMoved, this, [this] { StoreRatio(1); });
    connect(m_splResults, &QSplitter::splitterMoved, this, [this] { StoreRatio(2); });

    // The status bar: two panels sized to their texts and one taking the rest.
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(true);
    for (std::size_t i = 0; i < m_panels.size(); ++i) {
        auto* panel = new QLabel;
        panel->setObjectName(QStringLiteral("StatusBar_Panel%1").arg(i));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setTextFormat(Qt::PlainText);
        panel->setAccessibleName(tr("Status %1").arg(i + 1));
        bar->addPermanentWidget(panel, i == 2 ? 1 : 0);
        // An empty framed panel is only an odd box: each shows once it
        // has a text.
        panel->hide();
        m_panels[i] = panel;
    }
}

void Tform_Main::CreateToolBars() {
    const TToolBarKind kinds[kToolBarCount] = {TToolBarKind::SearchSet, TToolBarKind::SetStore,
                                               TToolBarKind::Result};
    for (int i = 0; i < kToolBarCount; ++i) {
        TTool& tool = m_settings.Tool(kinds[i]);
        m_bars[i]->setProperty("tag", static_cast<int>(kinds[i]));
        m_barViews[i] = std::make_unique<TBarView>(*this, m_bars[i]);
        tool.SetView(m_barViews[i].get());
        tool.TakeDefaultsIfEmpty();
        m_barViews[i]->ApplyShowCaptions(tool.ShowCaptions());
        tool.Rebuild();
        const TToolBarKind kind = kinds[i];
        connect(m_bars[i], &QWidget::customContextMenuRequested, this,
                [this, i, kind](const QPoint& pos) {
                    ShowToolBarMenu(kind, m_bars[i]->mapToGlobal(pos));
                });
    }
}

void Tform_Main::RebuildBar(QToolBar* bar, const TTool& tool) {
    FillToolBar(
        *bar, tool, [this](const QString& name) { return Action(name); },
        [this](const QString& name) {
            return name == QStringLiteral("pupReportMenu") ? m_pupReportMenu : nullptr;
        });
}

QList<QAction*> Tform_Main::ToolActions() const {
    QList<QAction*> actions;
    for (QAction* action : m_actions)
        actions.push_back(action);
    return actions;
}

void Tform_Main::ShowToolBarMenu(TToolBarKind kind, const QPoint& globalPos) {
    TTool& tool = m_settings.Tool(kind);
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("pupToolCustomize"));
    QAction* labels = menu.addAction(tr("Show text labels on buttons"));
    labels->setCheckable(true);
    labels->setChecked(tool.ShowCaptions());
    QAction* customize = menu.addAction(tr("Customize toolbar..."));
    QAction* chosen = menu.exec(globalPos);
    if (chosen == labels)
        tool.SetShowCaptions(!tool.ShowCaptions());
    else if (chosen == customize)
        CustomizeToolBar(kind);
    ApplyPaneMinimums();
}

void Tform_Main::ApplyPaneMinimums() {
    // The store pane and the navigator are never narrower than the widest
    // button of their bars; a bar that does not fit offers the rest of its
    // buttons in its overflow menu. The panes beside them follow the same
    // rule, capped by the pane they share the splitter with.
    const auto widestButton = [](QToolBar* bar) {
        int widest = 0;
        for (QAction* action : bar->actions())
            if (QWidget* button = bar->widgetForAction(action))
                widest = std::max(widest, button->sizeHint().width());
        return widest + 2 * bar->contentsMargins().left() + 24; // room for the overflow button
    };
    m_pnlSearchSetStore->setMinimumWidth(std::max(120, widestButton(m_bars[1])));
    // The fixed bar's two link buttons always fit.
    m_pnlNavigator->setMinimumWidth(std::max(120, m_tlbFull->sizeHint().width()));
    const int setMin = std::min(widestButton(m_bars[0]) + 4, m_pnlSearchSetStore->minimumWidth());
    const int resultsMin = std::min(widestButton(m_bars[2]) + 4, m_pnlNavigator->minimumWidth());
    m_splSearchSet->widget(0)->setMinimumWidth(std::max(120, setMin));
    m_splResults->widget(0)->setMinimumWidth(std::max(120, resultsMin));
    // A bar's size hint is the width of all its buttons; let the panes be
    // narrower than that.
    for (QToolBar* bar : m_bars)
        bar->setMinimumWidth(0);
}

// ---------------------------------------------------------------------------
// The search set list

void Tform_Main::BuildSetColumns() {
    TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    m_setModel->ColumnsChanged();
    QHeaderView* header = m_lsvCurrentSet->header();
    // The view shows the layout's order; moved sections go back to their place.
    const QSignalBlocker block(header);
    for (int logical = 0; logical < header->count(); ++logical) {
        const int visual = header->visualIndex(logical);
        if (visual != logical)
            header->moveSection(visual, logical);
    }
    for (std::size_t i = 0; i < layout.ShownCount(); ++i) {
        const TColumnBag* bag = layout.ShownDefinition(i);
        header->resizeSection(static_cast<int>(i), std::max(20, bag ? bag->width : 100));
    }
}

std::size_t Tform_Main::SelectedPathCount() const {
    if (!m_lsvCurrentSet || !m_setModel->Guard())
        return 0;
    return static_cast<std::size_t>(m_lsvCurrentSet->selectionModel()->selectedRows().size());
}

void Tform_Main::SaveRowStates() {
    TSearchSet& set = m_settings.currentSet;
    if (!m_setModel->Guard())
        return; // the rows are not shown: the records already hold the states
    QItemSelectionModel* selection = m_lsvCurrentSet->selectionModel();
    const QModelIndex current = selection->currentIndex();
    for (std::size_t row = 0; row < set.Count(); ++row) {
        TSearchData* path = set.Path(row);
        path->selected = selection->isRowSelected(static_cast<int>(row), QModelIndex());
        path->focused = current.isValid() && current.row() == static_cast<int>(row);
    }
}

void Tform_Main::RestoreRowStates() {
    TSearchSet& set = m_settings.currentSet;
    QItemSelectionModel* selection = m_lsvCurrentSet->selectionModel();
    const QSignalBlocker block(selection);
    selection->clearSelection();
    QItemSelection rows;
    QModelIndex focused;
    for (std::size_t row = 0; row < set.Count(); ++row) {
        const TSearchData* path = set.Path(row);
        const QModelIndex index = m_setModel->index(static_cast<int>(row), 0);
        if (path->selected)
            rows.select(index, index);
        if (path->focused)
            focused = index;
    }
    selection->select(rows, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (focused.isValid()) {
        selection->setCurrentIndex(focused, QItemSelectionModel::NoUpdate);
        m_lsvCurrentSet->scrollTo(focused);
    }
    m_lsvCurrentSet->viewport()->update();
}

void Tform_Main::SortSetList() {
    SaveRowStates();
    m_setModel->SetGuard(false);
    const TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    m_settings.currentSet.Paths().SortByColumn(layout.sortColumn, layout.ascending);
    m_setModel->SetGuard(true);
    RestoreRowStates();
    UpdateActions();
}

void Tform_Main::AdjustSetColumns() {
    // Every column gets the client width divided by the number of columns,
    // the last one the rest.
    QHeaderView* header = m_lsvCurrentSet->header();
    const int count = header->count();
    if (count == 0)
        return;
    const int width = m_lsvCurrentSet->viewport()->width();
    const int each = std::max(20, width / count);
    for (int visual = 0; visual < count; ++visual) {
        const int logical = header->logicalIndex(visual);
        header->resizeSection(
            logical, visual == count - 1 ? std::max(20, width - each * (count - 1)) : each);
    }
}

void Tform_Main::OnSetHeaderClicked(int logical) {
    const int id = m_setModel->ColumnId(logical);
    if (id < kColSearchPath || id > kColSubFolders)
        return;
    TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    if (layout.sortColumn == id)
        layout.ascending = !layout.ascending;
    else
        layout.sortColumn = id;
    SortSetList();
    m_setModel->headerDataChanged(Qt::Horizontal, 0, m_setModel->columnCount() - 1);
}

void Tform_Main::OnSetColumnsMoved() {
    TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    QHeaderView* header = m_lsvCurrentSet->header();
    std::vector<std::int32_t> order;
    std::vector<int> widths;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        order.push_back(m_setModel->ColumnId(logical));
        widths.push_back(header->sectionSize(logical));
    }
    if (order == layout.Shown())
        return;
    layout.ClearShown();
    for (std::size_t i = 0; i < order.size(); ++i) {
        layout.AddShown(order[i]);
        if (TColumnBag* bag = layout.FindDefinition(order[i]))
            bag->width = widths[i];
    }
    SaveRowStates();
    m_setModel->SetGuard(false);
    BuildSetColumns();
    m_setModel->SetGuard(true);
    RestoreRowStates();
}

void Tform_Main::ShowSetHeaderMenu(const QPoint& pos) {
    QHeaderView* header = m_lsvCurrentSet->header();
    m_headerMenuColumn = header->logicalIndexAt(pos);
    const int id = m_setModel->ColumnId(m_headerMenuColumn);
    const bool sortable = id >= kColSearchPath && id <= kColSubFolders;
    const TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    QAction* asc = Action(QStringLiteral("actSet_SortAsc"));
    QAction* des = Action(QStringLiteral("actSet_SortDes"));
    asc->setEnabled(sortable);
    des->setEnabled(sortable);
    asc->setChecked(sortable && layout.sortColumn == id && layout.ascending);
    des->setChecked(sortable && layout.sortColumn == id && !layout.ascending);
    m_pupCurrentSetColumns->popup(header->mapToGlobal(pos));
}

// ---------------------------------------------------------------------------
// Panes

void Tform_Main::ShowSetStore(bool show) {
    m_settings.bShow_SetStore = show;
    m_pnlSearchSetStore->setVisible(show);
    ApplyRatios();
    UpdateActions();
}

void Tform_Main::ShowNavigator(bool show) {
    m_settings.bShow_Navigator = show;
    m_pnlNavigator->setVisible(show);
    ApplyRatios();
    UpdateActions();
}

void Tform_Main::ApplyRatios() {
    if (!m_splMain)
        return;
    m_applyingRatios = true;
    const auto apply = [](QSplitter* splitter, int ratio, bool secondIsPane) {
        const int total =
            splitter->orientation() == Qt::Vertical ? splitter->height() : splitter->width();
        if (total <= 0 || !splitter->widget(1)->isVisibleTo(splitter))
            return;
        const int handle = splitter->handleWidth();
        const int pane = static_cast<int>(std::lround(total * static_cast<double>(ratio) / 1000.0));
        const int other = std::max(0, total - pane - handle);
        splitter->setSizes(secondIsPane ? QList<int>{other, pane} : QList<int>{pane, other});
    };
    // The results pane (second) over the main area's height; the store pane
    // and the navigator (second) over their areas' widths.
    apply(m_splMain, m_settings.sptlMain, true);
    apply(m_splSearchSet, m_settings.sptlSearchSet, true);
    apply(m_splResults, m_settings.sptlResults, true);
    m_applyingRatios = false;
}

void Tform_Main::StoreRatio(int which) {
    if (m_applyingRatios)
        return;
    QSplitter* splitters[3] = {m_splMain, m_splSearchSet, m_splResults};
    std::int32_t* ratios[3] = {&m_settings.sptlMain, &m_settings.sptlSearchSet,
                               &m_settings.sptlResults};
    QSplitter* splitter = splitters[which];
    const int total =
        splitter->orientation() == Qt::Vertical ? splitter->height() : splitter->width();
    if (total <= 0)
        return;
    const int pane = splitter->sizes().value(1);
    *ratios[which] = static_cast<std::int32_t>(std::lround(1000.0 * pane / total));
}

// ---------------------------------------------------------------------------
// Results area (the grid itself comes with its own model)

void Tform_Main::RebuildResults() {
    m_busy = true;
    UpdateTabCaptions();
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(m_currentView);
    }
    m_busy = false;
    UpdateActions();
}

void Tform_Main::UpdateTabCaptions() {
    static const char* const kCaptions[kViewCount] = {"Same &name [%1]",      "Same &size [%1]",
                                                      "S&ame name-size [%1]", "Same &content [%1]",
                                                      "&Full clones [%1]",    "&Zero size [%1]"};
    const TScanData& store = m_run.Store();
    const bool readable = !m_storeBusy;
    for (int tab = 0; tab < kViewCount; ++tab) {
        const std::uint32_t files = readable ? ViewFigures(store, ViewOfTab(tab)).m_fileRows : 0;
        m_tabs->setTabText(tab, tr(kCaptions[tab]).arg(QLocale().toString(files)));
    }
}

void Tform_Main::SelectView(int tab) {
    if (tab < 0 || tab >= kViewCount)
        return;
    m_currentView = tab;
    m_settings.ResultView = tab;
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(tab);
    }
    UpdateActions();
}

// ---------------------------------------------------------------------------
// Store notices

void Tform_Main::StoreClearing(TStoreChange) {
    // The grid and the navigator drop their rows here once they have them.
}

void Tform_Main::StoreCleared(TStoreChange) {
    if (!m_storeBusy)
        RebuildResults();
}

void Tform_Main::StoreBusy() {
    m_storeBusy = true;
}

void Tform_Main::StoreIdle() {
    m_storeBusy = false;
    RebuildResults();
}

void Tform_Main::ViewChanged(TViewKind, TViewChange) {
    if (!m_storeBusy) {
        UpdateTabCaptions();
        UpdateActions();
    }
}

// ---------------------------------------------------------------------------
// Events

bool Tform_Main::event(QEvent* event) {
    const int type = static_cast<int>(event->type());
    if (type == kMsgSetColumnsMoved) {
        OnSetColumnsMoved();
        return true;
    }
    if (type == kMsgOptionsLogPage)
        return true; // the Options window comes with its own unit
    return QMainWindow::event(event);
}

bool Tform_Main::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_lsvCurrentSet || watched == m_lbxSetsStore) {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::MouseButtonRelease:
            UpdateActions();
            break;
        case QEvent::KeyRelease:
            if (watched == m_lbxSetsStore)
                UpdateActions();
            break;
        case QEvent::KeyPress:
            // Enter in the list edits the selected path.
            if (watched == m_lsvCurrentSet) {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
                    Action(QStringLiteral("actSet_EditPath"))->isEnabled()) {
                    EditPath();
                    return true;
                }
            }
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tform_Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    m_lbxSetsStore->Refresh();
    QTimer::singleShot(0, this, [this] {
        ApplyRatios();
        if (m_settings.Columns(TColumnLayout::SearchSet).autosize)
            AdjustSetColumns();
    });
}

void Tform_Main::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    ApplyRatios();
    if (m_settings.Columns(TColumnLayout::SearchSet).autosize)
        AdjustSetColumns();
}

void Tform_Main::closeEvent(QCloseEvent* event) {
    // The column widths go into the layout.
    TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
    QHeaderView* header = m_lsvCurrentSet->header();
    for (int logical = 0; logical < header->count(); ++logical) {
        if (TColumnBag* bag = layout.FindDefinition(m_setModel->ColumnId(logical)))
            bag->width = header->sectionSize(logical);
    }
    SaveRowStates();
    CollectMainPlacement(this, m_settings.mainPlacement);
    SaveSettings(m_settings);
    event->accept();
}

} // namespace vdx
