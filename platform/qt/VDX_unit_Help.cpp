#include "platform/qt/VDX_unit_Help.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <utility>

namespace vdx {

namespace {

struct THelpTopic {
    int context;
    const char* file;
};

constexpr THelpTopic kTopics[] = {
    {1, "current_search_set.html"},
    {2, "sets_store.html"},
    {3, "wnd_add_path.html"},
    {4, "wnd_columns.html"},
    {5, "wnd_set_save.html"},
    {6, "wnd_set_rename.html"},
    {7, "v_same_name.html"},
    {8, "v_same_size.html"},
    {9, "v_same_name_size.html"},
    {10, "v_same_content.html"},
    {11, "v_full_clones.html"},
    {12, "v_zero_size.html"},
    {13, "n_same_name.html"},
    {14, "n_same_size.html"},
    {15, "n_same_name_size.html"},
    {16, "n_same_content.html"},
    {17, "n_full_clones.html"},
    {18, "n_zero_size.html"},
    {19, "wnd_delete_preview.html"},
    {20, "wnd_security_alert.html"},
    {21, "wnd_delete_confirm.html"},
    {22, "wnd_delete_info.html"},
    {23, "wnd_copy_to.html"},
    {24, "wnd_move_to.html"},
    {25, "scan_info_1.html"},
    {26, "scan_info_2.html"},
    {27, "wnd_copy_info.html"},
    {28, "wnd_move_info.html"},
    {29, "wnd_smart_mark.html"},
    {30, "options.html"},
    {31, "wnd_remove_empty.html"},
    {32, "wnd_folder_tree.html"},
    {33, "wnd_customize_tlb_store.html"},
    {34, "wnd_customize_tlb_set.html"},
    {35, "wnd_customize_tlb_results.html"},
    {36, "opt_general.html"},
    {37, "opt_report.html"},
    {38, "opt_log.html"},
    {41, "tutorials.html"},
    {42, "tutorial_1.html"},
    {43, "tutorial_2.html"},
    {44, "tutorial_3.html"},
    {45, "tutorial_4.html"},
    {46, "tutorial_5.html"},
    {47, "faq.html"},
    {48, "wnd_Variables.html"},
    {50, "wnd_AlertFiles.html"},
    {51, "wnd_LogViewer.html"},
};

QString& FolderOverride() {
    static QString folder;
    return folder;
}

// The help window: one for the whole program, created on the first request.
// It belongs to the modal dialog that was open when it was last asked for
// (a window outside that dialog could not be used), else to no window.
class THelpWindow : public QWidget {
public:
    THelpWindow() {
        setObjectName(QStringLiteral("form_Help"));
        setWindowTitle(tr("Vardex Help"));
        // An open help window must not keep the program running once the
        // main window has closed.
        setAttribute(Qt::WA_QuitOnClose, false);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* tools = new QToolBar(this);
        tools->setObjectName(QStringLiteral("tlbHelp"));
        m_browser = new QTextBrowser(this);
        m_browser->setObjectName(QStringLiteral("txtTopic"));
        m_browser->setAccessibleName(tr("Help topic"));
        m_browser->setOpenExternalLinks(true);
        QAction* back = tools->addAction(tr("&Back"), m_browser, &QTextBrowser::backward);
        back->setObjectName(QStringLiteral("actHelp_Back"));
        back->setShortcut(QKeySequence::Back);
        back->setEnabled(false);
        QAction* forward = tools->addAction(tr("&Forward"), m_browser, &QTextBrowser::forward);
        forward->setObjectName(QStringLiteral("actHelp_Forward"));
        forward->setShortcut(QKeySequence::Forward);
        forward->setEnabled(false);
        QAction* contents = tools->addAction(
            tr("&Contents"), this, [this] { Show(QString::fromLatin1(kHelpContentsTopic)); });
        contents->setObjectName(QStringLiteral("actHelp_Contents"));
        connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
        connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
        layout->addWidget(tools);
        layout->addWidget(m_browser);
        resize(760, 560);
    }

    void Show(const QString& file) {
        const QString folder = HelpFolder();
        m_browser->setSearchPaths({folder});
        m_browser->setSource(QUrl::fromLocalFile(QDir(folder).filePath(file)));
    }

    QString Topic() const { return QFileInfo(m_browser->source().toLocalFile()).fileName(); }

private:
    QTextBrowser* m_browser = nullptr;
};

QPointer<THelpWindow>& TheWindow() {
    static QPointer<THelpWindow> window;
    return window;
}

// The topic that is shown for a request: the named one when it exists as a
// plain file name in the folder, else the contents, else the first topic in
// name order; empty when the folder has none.
QString TopicToShow(const QDir& folder, const QString& requested) {
    const auto usable = [&folder](const QString& name) {
        return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String("..") &&
               QFileInfo(folder.filePath(name)).isFile();
    };
    if (usable(requested))
        return requested;
    const QString contents = QString::fromLatin1(kHelpContentsTopic);
    if (usable(contents))
        return contents;
    const QStringList topics = folder.entryList({QStringLiteral("*.html"), QStringLiteral("*.htm")},
                                                QDir::Files | QDir::Readable, QDir::Name);
    return topics.isEmpty() ? QString() : topics.front();
}

class THelpKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride &&
            type != QEvent::KeyRelease)
            return QObject::eventFilter(watched, event);
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1)
            return QObject::eventFilter(watched, event);
        if (type == QEvent::ShortcutOverride) {
            // Taken here so that no action bound to F1 fires as well.
            event->accept();
            return true;
        }
        if (type == QEvent::KeyPress && !key->isAutoRepeat() &&
            !(key->modifiers() & Qt::ShiftModifier)) {
            QWidget* focus = QApplication::focusWidget();
            if (!focus)
                focus = qobject_cast<QWidget*>(watched);
            if (!focus)
                focus = QApplication::activeWindow();
            ShowHelpContext(HelpContextOf(focus));
        }
        return true;
    }
};

} // namespace

void SetHelpContext(QWidget* widget, int context) {
    widget->setProperty(kHelpContextProperty, context);
}

QString HelpTopicOfContext(int context) {
    for (const THelpTopic& topic : kTopics) {
        if (topic.context == context)
            return QString::fromLatin1(topic.file);
    }
    return QString::fromLatin1(kHelpContentsTopic);
}

int HelpContextOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const int own = w->property(kHelpContextProperty).toInt();
        if (own != 0)
            return own;
        if (const auto* label = qobject_cast<const QLabel*>(w)) {
            if (const QWidget* buddy = label->buddy()) {
                const int named = buddy->property(kHelpContextProperty).toInt();
                if (named != 0)
                    return named;
            }
        }
        // A window's own context counts, but the walk ends there: a dialog
        // owned by the main window does not inherit the main window's help.
        if (w->isWindow())
            break;
    }
    return 0;
}

void ShowHelpContext(int context) {
    ShowHelpTopic(HelpTopicOfContext(context));
}

void ShowHelpTopic(const QString& topicFile) {
    const QDir folder(HelpFolder());
    if (!folder.exists())
        return;
    const QString topic = TopicToShow(folder, topicFile);
    if (topic.isEmpty())
        return;
    QPointer<THelpWindow>& window = TheWindow();
    QWidget* owner = QApplication::activeModalWidget();
    if (window && owner == window)
        owner = window->parentWidget();
    if (!window) {
        window = new THelpWindow;
        window->setParent(owner, window->windowFlags() | Qt::Window);
    } else if (window->parentWidget() != owner) {
        const QRect where = window->geometry();
        window->setParent(owner, window->windowFlags() | Qt::Window);
        window->setGeometry(where);
    }
    window->Show(topic);
    window->show();
    window->raise();
    window->activateWindow();
}

void InstallHelpKeys(QApplication& app) {
    static QPointer<THelpKeys> filter;
    if (filter && filter->parent() == &app)
        return;
    filter = new THelpKeys(&app);
    app.installEventFilter(filter);
}

QString HelpFolder() {
    const QString& folder = FolderOverride();
    if (!folder.isEmpty())
        return folder;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/help");
}

void SetHelpFolder(const QString& folder) {
    FolderOverride() = folder;
}

QWidget* HelpWindow() {
    return TheWindow().data();
}

QString HelpWindowTopic() {
    THelpWindow* window = TheWindow().data();
    return window ? window->Topic() : QString();
}

} // namespace vdx
