// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ClientViews.h"

#include <QHash>

#include "base/DateTime.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "replication/ScriptusReports.h"
#include "ui/views/MainViewsThread.h"

namespace {

const QString kClientDrag = QStringLiteral("application/x-plenwick-clients");

enum TClientColumn {
    Name,
    LocalName,
    Address,
    LastContact,
    Description
};

QString ClientTip(const TListRow& row)
{
    return QStringLiteral("%1\nAdresse: %2\nLokaler Computername: %3\nLetzter Kontakt: %4")
        .arg(row.texts.value(Description), row.texts.value(Address), row.texts.value(LocalName),
             row.texts.value(LastContact));
}

struct TMarkImages {
    int online;
    int alert;
    int offline;
};

TMarkImages MarkImages(int style)
{
    return style == kStyleDetails ? TMarkImages{50, 57, 51} : TMarkImages{0, 4, 1};
}

} // namespace

TClientViews::TClientViews(QObject* parent)
    : QObject(parent), m_tree(55, 7, kClientDrag),
      m_list({QStringLiteral("Offizieller Computername"), QStringLiteral("Lokaler Computername"),
              QStringLiteral("Adresse"), QStringLiteral("Letzter Kontakt"), QStringLiteral("Beschreibung"),
              QStringLiteral("Skriptus")})
{
    m_list.SetTipMaker(&ClientTip);
    m_list.SetDragType(kClientDrag);
    m_list.SetFilterFields({Name, LocalName, Address, Description});
    m_tree.onDrop = [this](const QStringList& names, QStandardItem* node) { MoveToGroup(names, node); };
    m_tree.onRenamed = [this](QStandardItem* node, const QString& oldText) { OnRenamed(node, oldText); };
    m_tree.onRefused = [this](const QString& reason) {
        if (warning)
            warning(reason);
    };
}

QStringList TClientViews::GroupPieces(const TSyncClient& client)
{
    const QString path = client.GroupPath();
    if (path == QStringLiteral("\\")) {
        QStringList parts = client.Address().split(QLatin1Char('.'), Qt::SkipEmptyParts);
        if (!parts.isEmpty())
            parts.removeLast();
        return parts;
    }
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QString TClientViews::GroupPathOf(const QStandardItem* node)
{
    QString path = QStringLiteral("\\");
    for (const QString& piece : NodePath(node))
        path += piece + QLatin1Char('\\');
    return path;
}

void TClientViews::BuildClientTree()
{
    int ungrouped = 0;
    std::vector<QStringList> groups;
    {
        // Server sessions register clients meanwhile; the tree's own signals
        // are sent after the walk.
        TReadGuard guard(ClientListLock());
        for (TSyncClient* client = FirstClient(); client != nullptr; client = client->Next()) {
            QStringList pieces = GroupPieces(*client);
            if (pieces.isEmpty())
                ++ungrouped;
            else
                groups.push_back(std::move(pieces));
        }
    }
    m_tree.BeginMerge();
    for (const QStringList& pieces : groups)
        m_tree.Need(pieces);
    m_tree.EndMerge();
    if (ungrouped > 0)
        Log(kViewsCategory,
            QStringLiteral("%1 Client(s) ohne Client-Gruppe erscheinen nur in der ungefilterten Client-Liste")
                .arg(ungrouped),
            kViewsIcon);
}

void TClientViews::BuildClientList()
{
    m_list.Clear();
    TSyncObject* object = ClientListObjectFilter();
    if (filtered)
        filtered(object != nullptr);
    if (object != nullptr && DownloadCount() == 0) {
        if (rowsComplete)
            rowsComplete();
        if (information)
            information(NoDownloadsText());
        return;
    }
    const int style = LayoutConfig().GetInteger(QStringLiteral("MainListViewClientsViewStyle"));
    m_list.SetViewStyle(style);
    if (listStyle)
        listStyle(style);
    const QString node = selectedNode ? selectedNode() : QString();
    const bool negated = ClientListFilterNegated();

    std::vector<std::pair<const TSyncClient*, TListRow>> candidates;
    {
        TReadGuard guard(ClientListLock());
        for (TSyncClient* client = FirstClient(); client != nullptr; client = client->Next()) {
            if (!node.isEmpty() && NodeKey(GroupPieces(*client)) != node)
                continue;
            TListRow row;
            // What the computer last reported of a command file that did not
            // complete (kept in memory by this master only).
            row.texts << client->Name() << client->LocalComputerName() << client->Address() << client->LastContactText()
                      << client->ClientDescription() << LastScriptusReport(client->LocalComputerName());
            row.values = {{LastContact, client->LastContact()}};
            candidates.emplace_back(client, std::move(row));
        }
    }
    // The download filter takes the object and download locks, so it runs
    // after the walk; only the main thread removes clients.
    const int counted = static_cast<int>(candidates.size());
    std::vector<TListRow> rows;
    for (auto& [client, row] : candidates) {
        if (object == nullptr || HasDownloaded(*client, *object) != negated)
            rows.push_back(std::move(row));
    }
    const int shown = static_cast<int>(rows.size());
    m_list.Append(std::move(rows));
    if (rowsComplete)
        rowsComplete();
    RefreshClientOnlineMarks();
    if (!status)
        return;
    if (object != nullptr)
        status(QStringLiteral("Alle Clients mit %1aktuellem Quellobjekt \"%2\" werden gezeigt (%3 von insgesamt %4 "
                              "Clients)")
                   .arg(negated ? QStringLiteral("nicht-") : QString(), object->SourceName())
                   .arg(shown)
                   .arg(counted));
    else
        status(QStringLiteral("%1 Client(s)").arg(counted));
}

void TClientViews::RefreshClientOnlineMarks()
{
    const qint64 interval = MainConfig().GetInteger(QStringLiteral("ClientUpdateIntervalInMillisecs")) + 60000;
    const TMarkImages images = MarkImages(m_list.ViewStyle());
    QHash<QString, TDateTime> contacts;
    {
        TReadGuard guard(ClientListLock());
        for (TSyncClient* client = FirstClient(); client != nullptr; client = client->Next())
            contacts.insert(client->Name(), client->LastContact());
    }
    const TDateTime now = DateTimeNow();
    bool alerted = false;
    std::vector<int> marks;
    marks.reserve(static_cast<size_t>(m_list.Count()));
    for (int row = 0; row < m_list.Count(); ++row) {
        const TListRow& item = m_list.Row(row);
        const auto contact = contacts.constFind(item.texts.value(Name));
        if (contact == contacts.constEnd()) {
            marks.push_back(images.offline);
            continue;
        }
        const qint64 elapsed = MillisecondsBetween(now, *contact);
        const bool wasOnline = item.image == images.online || item.image < 0;
        if (elapsed <= interval) {
            marks.push_back(images.online);
        } else if (wasOnline && elapsed < 2 * interval) {
            marks.push_back(images.alert);
            alerted = true;
        } else {
            marks.push_back(images.offline);
        }
    }
    m_list.SetImages(marks);
    // One sound per refresh, however many clients went quiet.
    if (alerted && MainConfig().GetBoolean(QStringLiteral("MiscActivateSounds")) && (!soundAllowed || soundAllowed()) &&
        alertSound)
        alertSound();
}

void TClientViews::MoveToGroup(const QStringList& names, QStandardItem* node)
{
    if (node == nullptr)
        return;
    QList<TSyncClient*> clients;
    for (const QString& name : names)
        if (TSyncClient* client = FindClientByName(name))
            clients.append(client);
    if (clients.isEmpty())
        return;
    // Dropped on a hand-made node: it holds clients now and is saved with them.
    node->setData(false, kNodeAddedRole);
    MoveClientsToGroup(clients, GroupPathOf(node));
}

QStandardItem* TClientViews::AddNode(QStandardItem* parent)
{
    return m_tree.AddHandNode(parent);
}

void TClientViews::OnRenamed(QStandardItem* node, const QString& oldText)
{
    const QString newPath = GroupPathOf(node);
    const QString oldPath = GroupPathOf(node->parent()) + oldText + QLatin1Char('\\');
    ReassignGroupPath(oldPath, newPath);
    BuildClientList();
}
