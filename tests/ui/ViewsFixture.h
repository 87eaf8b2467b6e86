// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QStandardItemModel>

#include "catalogue/CatalogueFixture.h"
#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "catalogue/SyncUser.h"
#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "support/TestHome.h"
#include "ui/views/MainViewsThread.h"

/// A master server's program folder with empty lists, and the object views'
/// targets recorded: the tree and list models, status panels and boxes.
class TViewsTest : public TCatalogueTest
{
protected:
    void SetUp() override
    {
        TCatalogueTest::SetUp();
        MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("testhost"));
        TObjectViewTargets targets;
        targets.tree = &m_tree;
        targets.list = &m_list;
        targets.status = [this](int panel, const QString& text) { m_status[panel] = text; };
        targets.information = [this](const QString& text) { m_information.append(text); };
        targets.filtered = [this](bool filtered) { m_filtered = filtered; };
        targets.selectedNode = [this] { return m_selectedNode; };
        SetObjectViewTargets(targets);
        SetupObjectListModel(m_list);
    }

    void TearDown() override
    {
        CancelObjectViewBuilds();
        StopFolderThreads();
        RunEventsFor(20);
        SetObjectViewTargets({});
        SetObjectListClientFilter(nullptr);
        SetClientListObjectFilter(nullptr);
        SetObjectListFilterNegated(false);
        SetClientListFilterNegated(false);
        TCatalogueTest::TearDown();
    }

    /// A persistent object of that source name (relative to the object folder or absolute).
    static TSyncObject* Add(const QString& sourceName, const QString& target = QStringLiteral("/opt/app/"))
    {
        return AppendObject(std::make_unique<TSyncObject>(sourceName, QStringLiteral("?"), 10, 45000.0, target));
    }

    /// Starts a build and runs events until it has ended and shown everything.
    bool Build(TViewKind kind)
    {
        StartViewBuild(kind);
        return RunEventsUntil([kind] { return !ViewBuildRunning(kind); }) && (RunEventsFor(30), true);
    }

    /// The list's keys (folder and caption) in row order.
    QStringList ListKeys() const
    {
        QStringList keys;
        for (int row = 0; row < m_list.Count(); ++row)
            keys.append(m_list.Key(row));
        return keys;
    }

    /// The tree's texts, depth first, indented by level.
    QStringList TreeLines() const
    {
        QStringList lines;
        std::function<void(QStandardItem*, int)> walk = [&](QStandardItem* item, int level) {
            for (int row = 0; row < item->rowCount(); ++row) {
                lines.append(QString(level * 2, QLatin1Char(' ')) + item->child(row)->text());
                walk(item->child(row), level + 1);
            }
        };
        walk(m_tree.invisibleRootItem(), 0);
        return lines;
    }

    QStandardItem* TreeNode(const QStringList& path) const
    {
        QStandardItem* node = m_tree.invisibleRootItem();
        for (const QString& text : path) {
            QStandardItem* found = nullptr;
            for (int row = 0; row < node->rowCount() && found == nullptr; ++row)
                if (node->child(row)->text() == text)
                    found = node->child(row);
            if (found == nullptr)
                return nullptr;
            node = found;
        }
        return node;
    }

    int CountMessages(const QString& message) const { return static_cast<int>(m_ui.Messages().count(message)); }

    QStandardItemModel m_tree;
    TRowListModel m_list{ObjectListHeaders()};
    QString m_status[2];
    QStringList m_information;
    bool m_filtered = false;
    QString m_selectedNode;
};
