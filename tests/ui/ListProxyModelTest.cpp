// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include <QPersistentModelIndex>
#include <QSignalSpy>

#include "UiFixture.h"
#include "ui/views/ListProxyModel.h"

namespace {

// Rows "n<number>" with the size <number> in column 1 as their value, and
// the text "tag<number % 7>" in column 2 that the filter looks at.
class ListProxyModelTest : public ::testing::Test
{
protected:
    // Above the rows a pass does on the main thread at once.
    static constexpr int kLarge = 12000;

    void SetUp() override { m_rows.SetFilterFields({0, 2}); }

    static TListRow Row(int number)
    {
        TListRow row;
        row.texts << QStringLiteral("n%1").arg(number) << QString::number(number)
                  << QStringLiteral("tag%1").arg(number % 7);
        row.values = {{1, double(number)}};
        return row;
    }

    void Append(int first, int count, int step = 1)
    {
        std::vector<TListRow> rows;
        for (int n = 0; n < count; ++n)
            rows.push_back(Row(first + n * step));
        m_rows.Append(std::move(rows));
    }

    std::unique_ptr<TListProxyModel> MakeProxy() { return std::make_unique<TListProxyModel>(m_rows); }

    static int Number(const QAbstractItemModel& model, int row)
    {
        return model.index(row, 1).data().toString().toInt();
    }

    static void Passed(TListProxyModel& proxy)
    {
        ASSERT_TRUE(RunEventsUntil([&] { return !proxy.PassPending(); }));
    }

    TRowListModel m_rows{{QStringLiteral("Name"), QStringLiteral("Größe"), QStringLiteral("Etikett")}};
};

TEST_F(ListProxyModelTest, ALargeSortRunsAsideAndShowsTheOldOrderUntilItIsDone)
{
    // Built in descending order: the sort has to turn every row round.
    Append(kLarge, kLarge, -1);
    auto proxy = MakeProxy();
    QSignalSpy layouts(proxy.get(), &QAbstractItemModel::layoutChanged);
    proxy->SortBy(1, Qt::AscendingOrder);
    EXPECT_TRUE(proxy->PassPending());
    EXPECT_EQ(Number(*proxy, 0), kLarge) << "the old order until the pass is done";
    Passed(*proxy);
    EXPECT_EQ(layouts.count(), 1);
    ASSERT_EQ(proxy->rowCount(), kLarge);
    for (int row = 0; row < kLarge; ++row)
        ASSERT_EQ(Number(*proxy, row), row + 1) << "by value, not by text: 9 before 10";
    EXPECT_EQ(m_rows.Row(proxy->SourceRow(proxy->index(0, 0))).texts.value(0), "n1");

    proxy->SortBy(-1, Qt::DescendingOrder);
    EXPECT_FALSE(proxy->PassPending()) << "the build order needs no pass";
    EXPECT_EQ(Number(*proxy, 0), kLarge);
}

TEST_F(ListProxyModelTest, EqualRowsKeepTheBuildOrderEitherWay)
{
    std::vector<TListRow> rows;
    for (int n = 0; n < kLarge; ++n) {
        TListRow row = Row(n);
        row.texts[1] = QString::number(n % 3);
        row.values = {{1, double(n % 3)}};
        rows.push_back(row);
    }
    m_rows.Append(std::move(rows));
    auto proxy = MakeProxy();
    proxy->SortBy(1, Qt::DescendingOrder);
    Passed(*proxy);
    EXPECT_EQ(proxy->index(0, 0).data().toString(), "n2");
    EXPECT_EQ(proxy->index(1, 0).data().toString(), "n5");
    EXPECT_EQ(proxy->index(kLarge - 1, 0).data().toString(), QStringLiteral("n%1").arg(kLarge - 3));
}

TEST_F(ListProxyModelTest, RowsThatArriveDuringAPassAreFilteredAndSortedIn)
{
    Append(0, kLarge);
    auto proxy = MakeProxy();
    proxy->SortBy(1, Qt::DescendingOrder);
    proxy->SetFilterText(QStringLiteral("TAG3"));
    ASSERT_TRUE(RunEventsUntil([&] { return !proxy->Filtering() && proxy->PassPending(); }));
    // A batch of the build arrives while the filter waits or runs.
    Append(kLarge, 700);
    Passed(*proxy);
    ASSERT_TRUE(proxy->Filtering());
    const int expected = (kLarge + 700 + 3) / 7;
    ASSERT_EQ(proxy->rowCount(), expected);
    for (int row = 0; row < proxy->rowCount(); ++row) {
        ASSERT_EQ(Number(*proxy, row) % 7, 3) << row;
        if (row > 0) {
            ASSERT_GT(Number(*proxy, row - 1), Number(*proxy, row)) << "new rows sorted in, at row " << row;
        }
    }

    // Without a sort, new rows are filtered as they come and need no pass.
    proxy->SortBy(-1, Qt::AscendingOrder);
    Passed(*proxy);
    Append(kLarge + 700, 7);
    EXPECT_FALSE(proxy->PassPending());
    EXPECT_EQ(proxy->rowCount(), expected + 1);
    EXPECT_EQ(Number(*proxy, expected), kLarge + 701);
}

TEST_F(ListProxyModelTest, SelectedRowsFollowTheirEntriesAndRowsFilteredAwayLeaveIt)
{
    Append(0, kLarge);
    auto proxy = MakeProxy();
    const QPersistentModelIndex kept(proxy->index(10, 0)); // "n10", tag3
    const QPersistentModelIndex dropped(proxy->index(11, 0));
    proxy->SortBy(1, Qt::DescendingOrder);
    Passed(*proxy);
    ASSERT_TRUE(kept.isValid());
    EXPECT_EQ(kept.row(), kLarge - 11);
    EXPECT_EQ(kept.data().toString(), "n10");
    proxy->SetFilterText(QStringLiteral("tag3"));
    Passed(*proxy);
    EXPECT_EQ(kept.data().toString(), "n10");
    EXPECT_FALSE(dropped.isValid());
}

TEST_F(ListProxyModelTest, AClearedListDropsTheRunningPass)
{
    Append(0, kLarge);
    auto proxy = MakeProxy();
    proxy->SortBy(0, Qt::DescendingOrder);
    ASSERT_TRUE(proxy->PassPending());
    m_rows.Clear();
    EXPECT_FALSE(proxy->PassPending());
    EXPECT_EQ(proxy->rowCount(), 0);
    Append(0, 3);
    Settle(50);
    ASSERT_EQ(proxy->rowCount(), 3) << "nothing of the pass over the old rows";
    EXPECT_EQ(proxy->index(0, 0).data().toString(), "n2") << "small lists are sorted at once";

    // A model that goes while its pass runs gets no result.
    Append(3, kLarge);
    proxy->SortBy(0, Qt::AscendingOrder);
    ASSERT_TRUE(proxy->PassPending());
    proxy.reset();
    Settle(50);
}

TEST_F(ListProxyModelTest, TheHeadersAreTheListsAlsoWithoutRows)
{
    auto proxy = MakeProxy();
    EXPECT_EQ(proxy->columnCount(), 3);
    EXPECT_EQ(proxy->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Größe");
    EXPECT_FALSE(proxy->hasChildren(QModelIndex()));
}

} // namespace
