// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/MainLayout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTabWidget>
#include <QTreeView>

#include "foundation/MainConfig.h"
#include "ui/main/Main.h"
#include "ui/pages/PageClients.h"
#include "ui/pages/PageObjects.h"
#include "ui/pages/PageProtocol.h"
#include "ui/pages/PageScriptus.h"
#include "ui/pages/PageUsers.h"
#include "ui/pages/TreeSplitter.h"

namespace {

// A catalogue page keeps its widths while its list shows symbols; the other lists always have columns.
struct TListSlot {
    const char* option;
    TListPage* page;
    QAbstractItemView* list;
};

std::vector<TListSlot> Lists(TFormMain& form)
{
    return {{"MainListViewObjects", form.PageObjects(), nullptr},
            {"MainListViewClients", form.PageClients(), nullptr},
            {"MainListViewUsers", form.PageUsers(), nullptr},
            {"MainListViewScriptusSync", nullptr, form.PageScriptus()->SequenceList()},
            {"MainListViewScriptusAsync", nullptr, form.PageScriptus()->EventList()},
            {"MainListViewProtocol", nullptr, form.PageProtocol()->List()}};
}

QString SortOption(const TListSlot& slot, const char* suffix)
{
    return QString::fromLatin1(slot.option) + QString::fromLatin1(suffix);
}

struct TSplitterSlot {
    const char* option;
    TTreeSplitter* splitter;
};

std::vector<TSplitterSlot> Splitters(TFormMain& form)
{
    return {{"MainSplitterObjects", form.PageObjects()->Splitter()},
            {"MainSplitterClients", form.PageClients()->Splitter()},
            {"MainSplitterUsers", form.PageUsers()->Splitter()},
            {"MainSplitterScriptus", form.PageScriptus()->Splitter()}};
}

// Whether the layout store holds the value, as opposed to its default: a
// fresh registration of the name alone tells.
bool LayoutValueStored(const QString& name)
{
    TConfig probe;
    probe.SetRootKey(TRegistryHive::CurrentUser);
    probe.SetPersistenceMode(static_cast<quint8>(TPersistenceMode::Registry));
    return probe.Register(QStringLiteral("Styles"), name, false, false, TValueKind::Integer, 0);
}

} // namespace

QRect RestoredGeometry(int left, int top, int width, int height, bool positionStored)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect area = primary != nullptr ? primary->availableGeometry() : QRect(0, 0, 1024, 768);
    width = qBound(200, width, qMax(200, area.width()));
    height = qBound(150, height, qMax(150, area.height()));
    QRect wanted(left, top, width, height);
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen = onScreen || screen->availableGeometry().intersects(wanted);
    if (!positionStored || !onScreen)
        wanted.moveCenter(area.center());
    return wanted;
}

void RestoreMainLayout(TFormMain& form)
{
    TConfig& layout = LayoutConfig();
    const bool stored = LayoutValueStored(QStringLiteral("MainLeft")) && LayoutValueStored(QStringLiteral("MainTop"));
    form.setGeometry(RestoredGeometry(
        layout.GetInteger(QStringLiteral("MainLeft")), layout.GetInteger(QStringLiteral("MainTop")),
        layout.GetInteger(QStringLiteral("MainWidth")), layout.GetInteger(QStringLiteral("MainHeight")), stored));
    for (const TSplitterSlot& slot : Splitters(form))
        slot.splitter->SetLeftWidth(layout.GetInteger(QString::fromLatin1(slot.option)));
    for (const TListSlot& slot : Lists(form)) {
        const QString widths = layout.GetString(QString::fromLatin1(slot.option));
        if (slot.page != nullptr) {
            slot.page->SetColumnWidths(widths);
            slot.page->SetSort(layout.GetInteger(SortOption(slot, "SortColumn")),
                               layout.GetBoolean(SortOption(slot, "SortDescending")) ? Qt::DescendingOrder
                                                                                     : Qt::AscendingOrder);
        } else
            ApplyColumnWidthsText(slot.list, widths);
    }
}

void SaveMainLayout(TFormMain& form)
{
    TConfig& layout = LayoutConfig();
    // The normal geometry, also while minimised or in the notification area.
    const QRect geometry = form.isMaximized() || form.isMinimized() ? form.normalGeometry() : form.geometry();
    layout.Set(QStringLiteral("MainWidth"), geometry.width());
    layout.Set(QStringLiteral("MainHeight"), geometry.height());
    for (const TSplitterSlot& slot : Splitters(form))
        layout.Set(QString::fromLatin1(slot.option), slot.splitter->LeftWidth());
    layout.Set(QStringLiteral("MainLeft"), geometry.left());
    layout.Set(QStringLiteral("MainTop"), geometry.top());
    layout.Set(QStringLiteral("MainActiveTab"), form.Pages()->currentIndex());
    for (const TListSlot& slot : Lists(form)) {
        layout.Set(QString::fromLatin1(slot.option),
                   slot.page != nullptr ? slot.page->ColumnWidths() : ColumnWidthsText(slot.list));
        if (slot.page != nullptr) {
            layout.Set(SortOption(slot, "SortColumn"), slot.page->SortColumn());
            layout.Set(SortOption(slot, "SortDescending"), slot.page->SortOrder() == Qt::DescendingOrder);
        }
    }
}
