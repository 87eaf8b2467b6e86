// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QStandardItemModel>
#include <QTreeView>

#include "UiFixture.h"
#include "ui/views/ViewStateKeeper.h"

namespace {

// A rebuild that hands its rows over in parts, as the object builders do.
class ViewStateKeeperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_view.setModel(&m_model);
        m_view.resize(300, 200);
        m_view.show();
        m_keeper.SetView(&m_view);
    }

    void AddRows(int first, int last, QStandardItem* parent = nullptr)
    {
        for (int row = first; row <= last; ++row)
            (parent != nullptr ? parent : m_model.invisibleRootItem())
                ->appendRow(new QStandardItem(QStringLiteral("row%1").arg(row)));
        Settle(0);
    }

    QStandardItem* Row(const QString& text)
    {
        const QList<QStandardItem*> found = m_model.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }

    QStringList Selected()
    {
        QStringList texts;
        for (const QModelIndex& index : m_view.selectionModel()->selectedRows())
            texts.append(index.data().toString());
        texts.sort();
        return texts;
    }

    void Select(const QString& text)
    {
        m_view.selectionModel()->setCurrentIndex(Row(text)->index(), QItemSelectionModel::ClearAndSelect);
    }

    // The view is scrolled back once it has laid the rows out.
    void Complete()
    {
        m_keeper.Complete();
        Settle(0);
    }

    QString Top() { return m_view.indexAt(QPoint(1, 1)).data().toString(); }

    QStandardItemModel m_model;
    QTreeView m_view;
    // The texts from the top down: a row's key tells it from rows of the same text elsewhere.
    TViewStateKeeper m_keeper{m_model,
                              [](const QModelIndex& index) {
                                  QString key;
                                  for (QModelIndex node = index; node.isValid(); node = node.parent())
                                      key.prepend(node.data().toString() + QLatin1Char('/'));
                                  return key;
                              },
                              true};
};

TEST_F(ViewStateKeeperTest, RowsArrivingInPartsGetTheirSelectionAndTheTopBack)
{
    AddRows(0, 99);
    Select(QStringLiteral("row10"));
    m_view.selectionModel()->setCurrentIndex(Row("row70")->index(), QItemSelectionModel::Select);
    m_view.scrollTo(Row("row40")->index(), QAbstractItemView::PositionAtTop);
    m_model.clear();
    AddRows(0, 49);
    EXPECT_EQ(Selected(), QStringList{"row10"}) << "a selected row is selected as soon as it is back";
    AddRows(50, 99);
    Complete();
    EXPECT_EQ(Selected(), (QStringList{"row10", "row70"}));
    EXPECT_EQ(m_view.currentIndex().data().toString(), "row70");
    EXPECT_EQ(Top(), "row40");
    EXPECT_FALSE(m_keeper.Restoring());
}

TEST_F(ViewStateKeeperTest, WhatThePersonDoesDuringTheRebuildWins)
{
    AddRows(0, 99);
    Select(QStringLiteral("row10"));
    m_view.scrollTo(Row("row40")->index(), QAbstractItemView::PositionAtTop);
    m_model.clear();
    AddRows(0, 19);
    Select(QStringLiteral("row5"));
    AddRows(20, 99);
    Complete();
    EXPECT_EQ(Selected(), QStringList{"row5"});
    EXPECT_NE(Top(), "row40") << "a choice of rows also ends the scrolling back";

    // Scrolling by hand ends only the scrolling back.
    m_view.scrollTo(Row("row40")->index(), QAbstractItemView::PositionAtTop);
    m_model.clear();
    AddRows(0, 9);
    m_view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
    AddRows(10, 99);
    Complete();
    EXPECT_EQ(Selected(), QStringList{"row5"});
    EXPECT_EQ(Top(), "row0");
}

TEST_F(ViewStateKeeperTest, NodesExpandAgainWithTheirChildrenAndTheSelectedNodeReturns)
{
    auto build = [this] {
        for (const char* name : {"a", "b"}) {
            auto* node = new QStandardItem(QString::fromUtf8(name));
            m_model.appendRow(node);
            AddRows(0, 2, node);
            AddRows(0, 0, node->child(1));
        }
    };
    build();
    m_view.expand(Row("a")->index());
    m_view.expand(Row("a")->child(1)->index());
    Select(QStringLiteral("row1"));
    m_model.clear();
    build();
    Complete();
    EXPECT_TRUE(m_view.isExpanded(Row("a")->index()));
    EXPECT_TRUE(m_view.isExpanded(Row("a")->child(1)->index()));
    EXPECT_FALSE(m_view.isExpanded(Row("b")->index()));
    EXPECT_EQ(m_view.currentIndex().data().toString(), "row1");

    // A node the person closes while the tree fills stays closed.
    m_model.clear();
    auto* a = new QStandardItem(QStringLiteral("a"));
    m_model.appendRow(a);
    AddRows(0, 0, a);
    m_view.collapse(a->index());
    AddRows(1, 2, a);
    Complete();
    EXPECT_FALSE(m_view.isExpanded(a->index()));
}

} // namespace
