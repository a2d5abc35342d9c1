// The main window's actions, menus and their enabling rules.

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>

#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_Views.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_Help.h"
#include "ui/VDX_form_Main.h"
#include "ui/VDX_unit_SearchSetModel.h"
#include "ui/VDX_unit_SetsStore.h"

namespace vdx {

namespace {

// A theme icon name and the style's own icon where the theme has none.
struct TImage {
    const char* themeName;
    QStyle::StandardPixmap fallback;
};

// The tool image list, by image index.
constexpr TImage kImages[] = {
    {"list-add", QStyle::SP_FileDialogNewFolder},                    // 0 add path
    {"document-edit", QStyle::SP_FileDialogDetailedView},            // 1 edit path
    {"list-remove", QStyle::SP_DialogDiscardButton},                 // 2 delete path
    {"edit-select-all", QStyle::SP_DialogApplyButton},               // 3 select all
    {"system-search", QStyle::SP_FileDialogContentsView},            // 4 start search
    {"document-save", QStyle::SP_DialogSaveButton},                  // 5 save set
    {"document-open", QStyle::SP_DialogOpenButton},                  // 6 load set
    {"edit-rename", QStyle::SP_FileDialogListView},                  // 7 rename set
    {"edit-delete", QStyle::SP_TrashIcon},                           // 8 delete set
    {"folder-open", QStyle::SP_DirOpenIcon},                         // 9 explore
    {"system-run", QStyle::SP_MediaPlay},                            // 10 open file
    {"document-properties", QStyle::SP_FileDialogInfoView},          // 11 properties
    {"checkbox", QStyle::SP_DialogYesButton},                        // 12 mark all
    {"object-select", QStyle::SP_DialogApplyButton},                 // 13 mark group
    {"edit-delete", QStyle::SP_TrashIcon},                           // 14 delete files
    {"dialog-information", QStyle::SP_MessageBoxInformation},        // 15 scan information
    {"edit-find-replace", QStyle::SP_BrowserReload},                 // 16 content comparison
    {"tools-check-spelling", QStyle::SP_DialogYesButton},            // 17 smart mark
    {"zoom-fit-width", QStyle::SP_ToolBarHorizontalExtensionButton}, // 18 adjust columns
    {"view-list-tree", QStyle::SP_FileDialogListView},               // 19 navigator
    {"preferences-system", QStyle::SP_ComputerIcon},                 // 20 options
    {"x-office-spreadsheet", QStyle::SP_FileIcon},                   // 21 report
    {"view-list-details", QStyle::SP_DirIcon},                       // 22 sets store
    {"edit-copy", QStyle::SP_FileLinkIcon},                          // 23 copy
    {"go-jump", QStyle::SP_ArrowForward},                            // 24 move
    {"edit-clear", QStyle::SP_DirClosedIcon},                        // 25 remove empty
    {"text-x-generic", QStyle::SP_FileDialogDetailedView},           // 26 log viewer
    {"help-browser", QStyle::SP_DialogHelpButton},                   // 27 help
    {"application-exit", QStyle::SP_DialogCloseButton},              // 28 exit
};

// The captions of the six view actions, in tab order.
const char* const kViewActions[kViewCount] = {"actView_SN", "actView_SS", "actView_SNS",
                                              "actView_SC", "actView_FC", "actView_ZS"};

} // namespace

QIcon Tform_Main::ImageIcon(int image) const {
    if (image < 0 || image >= static_cast<int>(std::size(kImages)))
        return {};
    const TImage& entry = kImages[image];
    return QIcon::fromTheme(QString::fromLatin1(entry.themeName),
                            style()->standardIcon(entry.fallback));
}

QAction* Tform_Main::AddAction(const char* name, const QString& caption,
                               const QKeySequence& shortcut, const QString& hint, int image) {
    auto* action = new QAction(caption, this);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    // The hint is the tool tip of a tool button; without one, the caption
    // (without its mnemonic) is.
    action->setToolTip(hint.isEmpty() ? QString(caption).remove(QLatin1Char('&')) : hint);
    action->setStatusTip(action->toolTip());
    if (image >= 0)
        action->setIcon(ImageIcon(image));
    // Added to the window so that its key works with every menu closed and
    // whichever control has the focus.
    addAction(action);
    m_actions.insert(action->objectName(), action);
    return action;
}

void Tform_Main::CreateActions() {
    const QKeySequence none;
    // The search set.
    connect(AddAction("actSet_AddPath", tr("Add path for search"), Qt::Key_Insert, {}, 0),
            &QAction::triggered, this, &Tform_Main::AddPath);
    connect(AddAction("actSet_EditPath", tr("Edit selected path"),
                      QKeySequence(Qt::CTRL | Qt::Key_P), {}, 1),
            &QAction::triggered, this, &Tform_Main::EditPath);
    connect(AddAction("actSet_DeletePath", tr("Delete selected path from search set"),
                      Qt::Key_Delete, {}, 2),
            &QAction::triggered, this, &Tform_Main::DeletePath);
    connect(AddAction("actSet_SelectAll", tr("Select/Deselect all paths"),
                      QKeySequence(Qt::CTRL | Qt::Key_A), {}, 3),
            &QAction::triggered, this, &Tform_Main::SelectAllPaths);
    connect(AddAction("actStartSearch", tr("Start search"), Qt::Key_F5, {}, 4), &QAction::triggered,
            this, &Tform_Main::StartSearch);
    connect(AddAction("actSet_Columns", tr("Columns..."), none, tr("Columns settings..."), -1),
            &QAction::triggered, this, &Tform_Main::SetColumnsDialog);
    connect(AddAction("actSet_AdjustColumns", tr("Adjust search set columns"), none, {}, 18),
            &QAction::triggered, this, &Tform_Main::AdjustSetColumns);
    QAction* autosize = AddAction("actSet_Autosize", tr("Autosize columns"), none, {}, -1);
    autosize->setCheckable(true);
    connect(autosize, &QAction::triggered, this, [this](bool on) {
        m_settings.Columns(TColumnLayout::SearchSet).autosize = on;
        if (on)
            AdjustSetColumns();
    });
    QAction* sortAsc = AddAction("actSet_SortAsc", tr("Sort Ascending"), none, {}, -1);
    QAction* sortDes = AddAction("actSet_SortDes", tr("Sort Descending"), none, {}, -1);
    sortAsc->setCheckable(true);
    sortDes->setCheckable(true);
    const auto sortBy = [this](bool ascending) {
        TColumnList& layout = m_settings.Columns(TColumnLayout::SearchSet);
        const int id = m_setModel ? m_setModel->ColumnId(m_headerMenuColumn) : -1;
        if (id < kColSearchPath || id > kColSubFolders)
            return;
        layout.sortColumn = id;
        layout.ascending = ascending;
        SortSetList();
    };
    connect(sortAsc, &QAction::triggered, this, [sortBy] { sortBy(true); });
    connect(sortDes, &QAction::triggered, this, [sortBy] { sortBy(false); });

    // Tools and program.
    AddAction("actRemoveEmpty", tr("Remove empty"), QKeySequence(Qt::CTRL | Qt::Key_E),
              tr("Remove empty folders utility"), 25);
    AddAction("actEnvironmentVars", tr("Environment Variables"), none, {}, -1);
    AddAction("actLogViewer", tr("Log viewer"), Qt::Key_F11, tr("Show log files"), 26);
    AddAction("actOptions", tr("Options"), QKeySequence(Qt::CTRL | Qt::Key_O),
              tr("Program settings"), 20);
    AddAction("actOptions_Report", tr("Configure report..."), none, {}, -1);
    connect(AddAction("actExit", tr("Exit"), none, {}, 28), &QAction::triggered, this,
            &QWidget::close);

    // The sets store.
    connect(AddAction("actStore_Save", tr("Save search set to store"),
                      QKeySequence(Qt::CTRL | Qt::Key_S), {}, 5),
            &QAction::triggered, this, [this] { StoreCommand(0); });
    connect(AddAction("actStore_Load", tr("Load set from store"),
                      QKeySequence(Qt::CTRL | Qt::Key_L), {}, 6),
            &QAction::triggered, this, [this] { StoreCommand(1); });
    connect(AddAction("actStore_Rename", tr("Rename selected search set"), none, {}, 7),
            &QAction::triggered, this, [this] { StoreCommand(2); });
    connect(AddAction("actStore_Delete", tr("Delete selected set"), none, {}, 8),
            &QAction::triggered, this, [this] { StoreCommand(3); });
    QAction* showStore = AddAction("actShow_SetStore", tr("Show search set store"), none,
                                   tr("Show/hide search set store"), 22);
    showStore->setCheckable(true);
    connect(showStore, &QAction::triggered, this,
            [this](bool) { ShowSetStore(!m_settings.bShow_SetStore); });
    connect(AddAction("actHide_SetStore", tr("Hide search set store"), none, {}, -1),
            &QAction::triggered, this, [this] { ShowSetStore(false); });

    // The navigator. Both actions are bound to Ctrl+N; the show action takes
    // the key (Qt would fire neither of two actions with one key), so only
    // it carries the shortcut and the hide action shows it in its menu text.
    QAction* showNav = AddAction("actShow_Navigator", tr("Show Navigator"),
                                 QKeySequence(Qt::CTRL | Qt::Key_N), tr("Show/hide Navigator"), 19);
    showNav->setCheckable(true);
    connect(showNav, &QAction::triggered, this,
            [this](bool) { ShowNavigator(!m_settings.bShow_Navigator); });
    connect(AddAction("actHide_Navigator", tr("Hide Navigator"), none, {}, -1), &QAction::triggered,
            this, [this] { ShowNavigator(false); });

    // The views.
    const QString viewCaptions[kViewCount] = {tr("Same name"),          tr("Same size"),
                                              tr("Same name and size"), tr("Same content"),
                                              tr("Full clones"),        tr("Zero size")};
    auto* viewGroup = new QActionGroup(this);
    for (int tab = 0; tab < kViewCount; ++tab) {
        QAction* view = AddAction(kViewActions[tab], viewCaptions[tab], none, {}, -1);
        view->setCheckable(true);
        viewGroup->addAction(view);
        connect(view, &QAction::triggered, this, [this, tab] { SelectView(tab); });
    }
    AddAction("actSG_Columns", tr("Columns..."), none, tr("Columns settings..."), -1);
    AddAction("actSG_AdjustColumns", tr("Adjust result columns"), none, {}, 18);
    AddAction("actSG_Autosize", tr("Autosize columns"), none, {}, -1)->setCheckable(true);
    AddAction("actSG_SortAsc", tr("Sort Ascending"), none, {}, -1)->setCheckable(true);
    AddAction("actSG_SortDes", tr("Sort Descending"), none, {}, -1)->setCheckable(true);

    // Acting on the results.
    AddAction("actResAct_OpenFile", tr("Open file"), Qt::Key_Return, {}, 10);
    AddAction("actResAct_OpenNotepad", tr("Open with Notepad"), QKeySequence(Qt::ALT | Qt::Key_N),
              {}, -1);
    AddAction("actResAct_Explore", tr("Explore file folder"), QKeySequence(Qt::ALT | Qt::Key_E), {},
              9);
    AddAction("actResAct_Properties", tr("File properties"), QKeySequence(Qt::ALT | Qt::Key_Return),
              {}, 11);
    AddAction("actResAct_MarkGroup", tr("Mark all files in selected group"),
              QKeySequence(Qt::CTRL | Qt::Key_G), {}, 13);
    AddAction("actResAct_MarkAll", tr("Mark all files"), QKeySequence(Qt::CTRL | Qt::Key_M), {},
              12);
    AddAction("actResAct_SmartMark", tr("Smart mark files"), Qt::Key_F7, {}, 17);
    AddAction("actResAct_Report", tr("Report: export result into CSV file"),
              QKeySequence(Qt::CTRL | Qt::Key_R), tr("Save search results into CSV file"), 21);
    AddAction("actResAct_ReportMenu", tr("Report: export result into CSV file"), none,
              tr("Save search results into CSV file"), 21);
    connect(AddAction("actResAct_ContentCompare", tr("Comparing content for same size files"),
                      Qt::Key_F6, {}, 16),
            &QAction::triggered, this, &Tform_Main::ContentCompare);
    AddAction("actResAct_Delete", tr("Delete files"), Qt::Key_F8,
              tr("Open preview delete files window"), 14);
    AddAction("actResAct_CopyTo", tr("Copy files"), Qt::Key_F9,
              tr("Copy marked files to a third folder"), 23);
    AddAction("actResAct_MoveTo", tr("Move files"), Qt::Key_F10,
              tr("Move marked files to a third folder"), 24);
    connect(AddAction("actResAct_ScanInfo", tr("Scan information"),
                      QKeySequence(Qt::CTRL | Qt::Key_I), {}, 15),
            &QAction::triggered, this, &Tform_Main::ShowScanInfo);

    // Help.
    connect(AddAction("actHlp_Contents", tr("Contents"), none, {}, 27), &QAction::triggered, this,
            [] { ShowHelpTopic(QStringLiteral("what_is_vdx.html")); });
    connect(AddAction("actHlp_Tutorial", tr("Quick start tutorial"), none, {}, -1),
            &QAction::triggered, this, [] { ShowHelpTopic(QStringLiteral("tutorials.html")); });
    connect(AddAction("actHlp_Website", tr("Vardex website"), none, {}, -1), &QAction::triggered,
            this, &Tform_Main::OpenWebsite);
    connect(AddAction("actHlp_Feedback", tr("Feedback and technical support"), none, {}, -1),
            &QAction::triggered, this, &Tform_Main::OpenFeedback);
    AddAction("actHlp_About", tr("About..."), none, {}, -1);
}

void Tform_Main::CreateMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("tbMenu"));
    bar->setAccessibleName(tr("Menu"));
    const auto menu = [this, bar](const char* name, const char* menuName, const QString& title) {
        QMenu* m = bar->addMenu(title);
        m->setObjectName(QString::fromLatin1(menuName));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    const auto fill = [this](QMenu* m, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (name[0] == '-')
                m->addSeparator();
            else
                m->addAction(Action(QString::fromLatin1(name)));
        }
    };

    QMenu* searchSet = menu("Menu_SearchSet", "pupSearchSet", tr("S&earch set"));
    fill(searchSet, {"actSet_Columns", "actSet_AdjustColumns", "actSet_Autosize", "-",
                     "actSet_AddPath", "actSet_EditPath", "actSet_DeletePath", "-",
                     "actSet_SelectAll", "-", "actStartSearch", "actRemoveEmpty", "actLogViewer",
                     "-", "actEnvironmentVars", "actOptions", "-", "actExit"});

    QMenu* store = menu("Menu_SetStore", "pupSetsStore", tr("Sets s&tore"));
    fill(store, {"actShow_SetStore", "-", "actStore_Save", "actStore_Load", "actStore_Rename",
                 "actStore_Delete"});

    QMenu* results = menu("Menu_SearchResults", "pupSearchResults", tr("Search &results"));
    fill(results, {"actView_SN", "actView_SS", "actView_SNS", "actView_ZS", "actView_SC",
                   "actView_FC", "-", "actResAct_Explore", "actResAct_OpenFile",
                   "actResAct_OpenNotepad", "actResAct_Properties", "-", "actResAct_MarkAll",
                   "actResAct_MarkGroup", "actResAct_SmartMark", "-", "actResAct_ContentCompare"});
    // The report item has a caption of its own in this menu.
    QAction* report = results->addAction(Action(QStringLiteral("actResAct_Report"))->icon(),
                                         tr("Report: export search results into CSV file"));
    report->setObjectName(QStringLiteral("mnuResults_Report"));
    report->setShortcut(Action(QStringLiteral("actResAct_Report"))->shortcut());
    report->setShortcutVisibleInContextMenu(true);
    report->setShortcutContext(Qt::WidgetShortcut); // the window's action owns the key
    connect(report, &QAction::triggered, Action(QStringLiteral("actResAct_Report")),
            &QAction::trigger);
    connect(Action(QStringLiteral("actResAct_Report")), &QAction::changed, report, [this, report] {
        report->setEnabled(Action(QStringLiteral("actResAct_Report"))->isEnabled());
    });
    fill(results, {"actResAct_Delete", "actResAct_CopyTo", "actResAct_MoveTo", "-",
                   "actResAct_ScanInfo", "actShow_Navigator"});

    QMenu* help = menu("Menu_Help", "pupHelp", tr("&Help"));
    fill(help, {"actHlp_Contents", "actHlp_Tutorial"});
    QMenu* started = help->addMenu(tr("Getting started"));
    started->setObjectName(QStringLiteral("mnuGettingStarted"));
    const QString tutorials[] = {
        tr("Tutorial 1: How Vardex does work"),
        tr("Tutorial 2: Quick Start: search your computer for duplicate files"),
        tr("Tutorial 3: Clean whole drive from files which have duplicates in a given folder"),
        tr("Tutorial 4: Move duplicate files into third folder"),
        tr("Tutorial 5: Safe cleaning disk"),
        QString(),
        tr("Frequently asked questions"),
    };
    int context = 42;
    for (const QString& text : tutorials) {
        if (text.isEmpty()) {
            started->addSeparator();
            continue;
        }
        QAction* item = started->addAction(text);
        const int topic = context++;
        item->setProperty(kHelpContextProperty, topic);
        connect(item, &QAction::triggered, this, [topic] { ShowHelpContext(topic); });
    }
    fill(help, {"-", "actHlp_Website", "actHlp_Feedback", "-", "actHlp_About"});

    // Context menus of the search set list, its header and the store list.
    m_pupCurrentSetLV = new QMenu(this);
    m_pupCurrentSetLV->setObjectName(QStringLiteral("pupCurrentSetLV"));
    fill(m_pupCurrentSetLV,
         {"actSet_AddPath", "actSet_EditPath", "actSet_DeletePath", "actSet_SelectAll", "-",
          "actStartSearch", "-", "actSet_Columns", "actSet_AdjustColumns", "actSet_Autosize", "-"});
    QAction* showStore = m_pupCurrentSetLV->addAction(tr("Show search set store"));
    showStore->setObjectName(QStringLiteral("mnuLV_ShowSetStore"));
    showStore->setCheckable(true);
    showStore->setToolTip(tr("Show Search set store"));
    connect(showStore, &QAction::triggered, Action(QStringLiteral("actShow_SetStore")),
            &QAction::trigger);
    connect(m_pupCurrentSetLV, &QMenu::aboutToShow, this,
            [this, showStore] { showStore->setChecked(m_settings.bShow_SetStore); });

    m_pupCurrentSetColumns = new QMenu(this);
    m_pupCurrentSetColumns->setObjectName(QStringLiteral("pupCurrentSetColumns"));
    fill(m_pupCurrentSetColumns, {"actSet_SortAsc", "actSet_SortDes", "-", "actSet_Columns",
                                  "actSet_AdjustColumns", "actSet_Autosize"});

    m_pupReportMenu = new QMenu(this);
    m_pupReportMenu->setObjectName(QStringLiteral("pupReportMenu"));
    fill(m_pupReportMenu, {"actResAct_Report", "-", "actOptions_Report"});
}

void Tform_Main::UpdateActions() {
    if (m_busy || m_actions.isEmpty())
        return;
    const auto set = [this](const char* name, bool enabled) {
        if (QAction* action = Action(QString::fromLatin1(name)))
            action->setEnabled(enabled);
    };
    const std::size_t paths = m_settings.currentSet.Count();
    const std::size_t selected = SelectedPathCount();
    set("actSet_EditPath", selected == 1);
    set("actSet_DeletePath", selected >= 1);
    set("actSet_SelectAll", paths > 0);
    set("actStartSearch", paths > 0);

    const bool storeShown = m_settings.bShow_SetStore;
    const bool storeSelected = m_lbxSetsStore && m_lbxSetsStore->SelectedIndex() >= 0;
    set("actStore_Save", storeShown && paths > 0);
    set("actStore_Load", storeShown && storeSelected);
    set("actStore_Rename", storeShown && storeSelected);
    set("actStore_Delete", storeShown && storeSelected);
    Action(QStringLiteral("actShow_SetStore"))->setChecked(storeShown);
    Action(QStringLiteral("actShow_Navigator"))->setChecked(m_settings.bShow_Navigator);
    Action(QStringLiteral("actSet_Autosize"))
        ->setChecked(m_settings.Columns(TColumnLayout::SearchSet).autosize);
    Action(QStringLiteral("actSG_Autosize"))
        ->setChecked(m_settings.Columns(TColumnLayout::Results).autosize);
    Action(QString::fromLatin1(kViewActions[m_currentView]))->setChecked(true);

    // The results: nothing is read while a worker owns the store.
    const TScanData& store = m_run.Store();
    const bool resultsExist = !m_storeBusy && store.Status().m_searchDone;
    const TViewKind view = ViewOfTab(m_currentView);
    const TViewFigures figures = resultsExist ? ViewFigures(store, view) : TViewFigures{};
    const bool viewHasFiles = figures.m_fileRows > 0;
    const bool viewHasMarks = figures.m_markedFiles > 0;
    const bool sameSizeGroups = resultsExist && ViewFigures(store, kViewSameSize).m_groups > 0;
    // The results grid comes with its own model; until then no file row is
    // ever current.
    const bool fileRowCurrent = false;
    set("actResAct_OpenFile", fileRowCurrent);
    set("actResAct_OpenNotepad", fileRowCurrent);
    set("actResAct_Explore", fileRowCurrent);
    set("actResAct_Properties", fileRowCurrent);
    set("actResAct_MarkGroup", fileRowCurrent);
    // Windows that come later stay disabled until they exist.
    const bool laterWindows = false;
    set("actResAct_MarkAll", laterWindows && viewHasFiles);
    set("actResAct_SmartMark", laterWindows && viewHasFiles);
    set("actResAct_Report", laterWindows && viewHasFiles);
    set("actResAct_ReportMenu", laterWindows && viewHasFiles);
    set("actResAct_ContentCompare",
        resultsExist && !store.Status().m_contentDone && sameSizeGroups);
    set("actResAct_Delete", laterWindows && resultsExist && viewHasMarks);
    set("actResAct_CopyTo", laterWindows && resultsExist && viewHasMarks);
    set("actResAct_MoveTo", laterWindows && resultsExist && viewHasMarks);
    set("actResAct_ScanInfo", resultsExist);
    for (const char* name :
         {"actRemoveEmpty", "actEnvironmentVars", "actLogViewer", "actOptions", "actOptions_Report",
          "actHlp_About", "actSG_Columns", "actSG_AdjustColumns", "actSG_Autosize", "actSG_SortAsc",
          "actSG_SortDes"})
        set(name, laterWindows);
}

} // namespace vdx
