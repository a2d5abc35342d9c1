#include "ui/VDX_unit_SetsStore.h"
#include "ui/VDX_unit_DialogParts.h"

#include <QAbstractListModel>
#include <QAction>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "persistence/VDX_unit_Settings.h"
#include "platform/qt/VDX_unit_MessageBox.h"
#include "platform/qt/VDX_unit_QtText.h"
#include "platform/qt/VDX_unit_WindowPlacement.h"
#include "ui/VDX_form_StoreSet.h"

namespace vdx {

// The store as a list model. The line count is taken only when the list is
// redisplayed, as the view knows it: a command may change the store first
// and redisplay afterwards, and a paint in between must not read past the
// end, so data() checks the store itself.
class TSetsStoreModel : public QAbstractListModel {
public:
    TSetsStoreModel(TSettings& settings, QObject* parent)
        : QAbstractListModel(parent), m_settings(settings) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : m_count;
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() < 0 ||
            static_cast<std::size_t>(index.row()) >= m_settings.storedSets.size())
            return {};
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return StoreLineText(*m_settings.storedSets[static_cast<std::size_t>(index.row())]);
        return {};
    }

    void Reset(bool sort) {
        beginResetModel();
        if (sort)
            SortStore(m_settings);
        m_count = static_cast<int>(m_settings.storedSets.size());
        endResetModel();
    }

private:
    TSettings& m_settings;
    int m_count = 0;
};

namespace {

// Draws a line of the store: its text centred vertically, the selection in
// the settings' colours, focused or not.
class TStoreLineDelegate : public QStyledItemDelegate {
public:
    TStoreLineDelegate(const TSettings& settings, QAbstractItemView* view)
        : QStyledItemDelegate(view), m_settings(settings), m_view(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QString text = index.data(Qt::DisplayRole).toString();
        const TStartupGlobals& globals = m_settings.globals;
        const bool focused = m_view->hasFocus();
        painter->save();
        QColor textColor = option.palette.color(QPalette::Text);
        if (option.state & QStyle::State_Selected) {
            const QPalette& palette = option.palette;
            painter->fillRect(option.rect, SettingsColor(focused ? globals.selectionBack
                                                                 : globals.inactiveSelectionBack,
                                                         palette));
            textColor = SettingsColor(
                focused ? globals.selectionText : globals.inactiveSelectionText, palette);
        }
        painter->setPen(textColor);
        painter->setFont(option.font);
        const QRect textRect = option.rect.adjusted(2, 0, -2, 0);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          option.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
        if (focused && (option.state & QStyle::State_HasFocus)) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.backgroundColor = option.palette.color(QPalette::Highlight);
            m_view->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, m_view);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // The line height is the font's text height and 4 pixels.
        return {option.fontMetrics.horizontalAdvance(index.data().toString()) + 4,
                option.fontMetrics.height() + 4};
    }

private:
    const TSettings& m_settings;
    QAbstractItemView* m_view;
};

QIcon ActionIcon(QWidget* owner, const char* name) {
    QWidget* window = owner ? owner->window() : nullptr;
    QAction* action = window ? window->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
    return action ? action->icon() : QIcon();
}

int YesNo(QWidget* owner, const QString& text, std::u16string_view caption) {
    return MessageBoxCentered(owner, ToU16(text), caption, TMsgButtons::YesNo, TMsgIcon::Question);
}

// Runs the name dialog over owner's window; true on OK.
bool ExecuteName(Tform_StoreSet& dialog, QWidget* owner) {
    CenterOverOwner(&dialog, owner ? owner->window() : nullptr);
    return dialog.exec() == QDialog::Accepted && !dialog.ChosenName().empty();
}

} // namespace

QString StoreLineText(const TSearchSet& set) {
    return QStringLiteral(" [%1 paths] in %2")
        .arg(QString::number(set.Count()), ToQString(set.name));
}

void SortStore(TSettings& settings) {
    auto& sets = settings.storedSets;
    // Each name is upper-cased once, not in every comparison.
    std::vector<std::pair<std::u16string, std::unique_ptr<TSearchSet>>> keyed;
    keyed.reserve(sets.size());
    for (auto& set : sets) {
        std::u16string key = set ? UpperCaseText(set->name) : std::u16string();
        keyed.emplace_back(std::move(key), std::move(set));
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < sets.size(); ++i)
        sets[i] = std::move(keyed[i].second);
}

int FindStoredName(const TSettings& settings, std::u16string_view text) {
    const std::u16string key = UpperCaseText(text);
    const auto& sets = settings.storedSets;
    for (std::size_t i = 0; i < sets.size(); ++i)
        if (sets[i] && UpperCaseText(sets[i]->name) == key)
            return static_cast<int>(i);
    return -1;
}

TSetsStoreList::TSetsStoreList(TSettings& settings, QWidget* parent)
    : QListView(parent), m_settings(settings), m_model(new TSetsStoreModel(settings, this)) {
    setObjectName(QStringLiteral("lbxSetsStore"));
    setAccessibleName(tr("Search sets store"));
    setModel(m_model);
    setItemDelegate(new TStoreLineDelegate(settings, this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideRight);
    // Long names are cut with an ellipsis, so the list never scrolls sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit LoadRequested(index.row());
    });
    Refresh();
}

void TSetsStoreList::Redisplay() {
    m_model->Reset(true);
    setEnabled(m_model->rowCount() > 0);
    int marked = -1;
    for (std::size_t i = 0; i < m_settings.storedSets.size(); ++i) {
        TSearchSet* set = m_settings.storedSets[i].get();
        if (set && set->selectAfterSort) {
            if (marked < 0)
                marked = static_cast<int>(i);
            set->selectAfterSort = false;
        }
    }
    SelectIndex(marked);
}

void TSetsStoreList::Refresh() {
    m_model->Reset(false);
    setEnabled(m_model->rowCount() > 0);
    viewport()->update();
}

int TSetsStoreList::SelectedIndex() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int row = rows.front().row();
    return row >= 0 && static_cast<std::size_t>(row) < m_settings.storedSets.size() ? row : -1;
}

void TSetsStoreList::SelectIndex(int index) {
    if (index < 0 || index >= m_model->rowCount()) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex row = m_model->index(index);
    selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
    scrollTo(row);
}

void TSetsStoreList::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (m_model->rowCount() > 0)
        return;
    // The list is disabled while empty; its note is still meant to be read,
    // so it takes the ordinary text colour on the window background.
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Active, QPalette::Window));
    painter.setPen(palette().color(QPalette::Active, QPalette::WindowText));
    const QFontMetrics metrics(font());
    const QRect line(0, metrics.height() / 2, viewport()->width(), metrics.height() + 4);
    painter.drawText(line, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                     tr("There are no stored search sets."));
}

bool StoreSave(QWidget* owner, TSettings& settings, TSetsStoreList& list) {
    TSearchSet& current = settings.currentSet;
    if (current.Count() == 0)
        return false;
    Tform_StoreSet dialog(settings, owner);
    dialog.Prepare(TStoreSetMode::Save, current, ActionIcon(owner, "actStore_Save"));
    if (!ExecuteName(dialog, owner))
        return false;
    auto& sets = settings.storedSets;
    const int target = dialog.ReplaceIndex();
    if (target >= 0 && static_cast<std::size_t>(target) < sets.size() && sets[target]) {
        TSearchSet& stored = *sets[static_cast<std::size_t>(target)];
        stored.Paths().Assign(current.Paths());
        stored.name = dialog.ChosenName();
        stored.selectAfterSort = true;
    } else {
        auto stored = std::make_unique<TSearchSet>();
        stored->Assign(current);
        stored->name = dialog.ChosenName();
        stored->selectAfterSort = true;
        sets.push_back(std::move(stored));
    }
    list.Redisplay();
    return true;
}

bool StoreLoad(QWidget* owner, TSettings& settings, TSetsStoreList& list) {
    const int index = list.SelectedIndex();
    if (index < 0)
        return false;
    const TSearchSet& stored = *settings.storedSets[static_cast<std::size_t>(index)];
    TSearchSet& current = settings.currentSet;
    if (current.Count() > 0) {
        const QString question = QObject::tr("Do you really want to replace Current search set "
                                             "with the\r\n\r\n'%1' which contains %2 path(s) for "
                                             "search?")
                                     .arg(ToQString(stored.name), QString::number(stored.Count()));
        if (YesNo(owner, question, u"Confirm loading of a stored set") != kIdYes)
            return false;
    }
    current.Assign(stored);
    current.selectAfterSort = false;
    current.ClearRowFlags();
    return true;
}

bool StoreRename(QWidget* owner, TSettings& settings, TSetsStoreList& list) {
    const int index = list.SelectedIndex();
    if (index < 0)
        return false;
    TSearchSet& stored = *settings.storedSets[static_cast<std::size_t>(index)];
    Tform_StoreSet dialog(settings, owner);
    dialog.Prepare(TStoreSetMode::Rename, stored, ActionIcon(owner, "actStore_Rename"));
    if (!ExecuteName(dialog, owner))
        return false;
    stored.name = dialog.ChosenName();
    stored.selectAfterSort = true;
    list.Redisplay();
    return true;
}

bool StoreDelete(QWidget* owner, TSettings& settings, TSetsStoreList& list) {
    const int index = list.SelectedIndex();
    if (index < 0)
        return false;
    auto& sets = settings.storedSets;
    const TSearchSet& stored = *sets[static_cast<std::size_t>(index)];
    const QString question =
        QObject::tr("The stored set '%1' has %2 path(s) for search.\r\n\r\nDo you really want "
                    "to delete it?")
            .arg(ToQString(stored.name), QString::number(stored.Count()));
    if (YesNo(owner, question, u"Confirm stored set deleting") != kIdYes)
        return false;
    sets.erase(sets.begin() + index);
    list.Refresh();
    list.SelectIndex(std::min(index, static_cast<int>(sets.size()) - 1));
    return true;
}

} // namespace vdx
