// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ProtocolModel.h"

#include "ui/main/IconTable.h"

void TProtocolModel::Queue(const TProtocolEntry& entry, bool lastToFirst)
{
    m_queue.push_back({entry, lastToFirst});
}

bool TProtocolModel::Flush()
{
    if (m_queue.empty())
        return false;
    // Runs of one direction become one insertion each; the direction may
    // change within a batch when the order was toggled meanwhile.
    std::size_t start = 0;
    while (start < m_queue.size()) {
        const bool onTop = m_queue[start].onTop;
        std::size_t end = start;
        while (end < m_queue.size() && m_queue[end].onTop == onTop)
            ++end;
        const int count = int(end - start);
        if (onTop) {
            beginInsertRows(QModelIndex(), 0, count - 1);
            for (std::size_t i = start; i < end; ++i)
                m_rows.push_front(std::move(m_queue[i].entry));
        } else {
            const int first = int(m_rows.size());
            beginInsertRows(QModelIndex(), first, first + count - 1);
            for (std::size_t i = start; i < end; ++i)
                m_rows.push_back(std::move(m_queue[i].entry));
        }
        endInsertRows();
        start = end;
    }
    DropOldest(m_queue.back().onTop);
    m_queue.clear();
    return true;
}

void TProtocolModel::DropOldest(bool newestOnTop)
{
    const int excess = int(m_rows.size()) - kMaxRows;
    if (excess <= 0)
        return;
    if (newestOnTop) {
        beginRemoveRows(QModelIndex(), kMaxRows, int(m_rows.size()) - 1);
        m_rows.erase(m_rows.end() - excess, m_rows.end());
    } else {
        beginRemoveRows(QModelIndex(), 0, excess - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + excess);
    }
    endRemoveRows();
}

void TProtocolModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_queue.clear();
    endResetModel();
}

QByteArray TProtocolModel::ExportText() const
{
    QByteArray text;
    for (const TProtocolEntry& row : m_rows)
        text += QStringLiteral("\"%1\" \"%2\" \"%3\"\r\n").arg(row.time, row.category, row.message).toUtf8();
    return text;
}

int TProtocolModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TProtocolModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant TProtocolModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const TProtocolEntry& row = m_rows[index.row()];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (index.column()) {
        case 0:
            return row.time;
        case 1:
            return row.category;
        default:
            return row.message;
        }
    }
    if (role == Qt::DecorationRole && index.column() == 0 && row.icon >= 0)
        return IconTable::Icon(row.icon);
    return {};
}

QVariant TProtocolModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return QStringLiteral("Zeitpunkt");
    case 1:
        return QStringLiteral("Ursprung");
    default:
        return QStringLiteral("Nachricht");
    }
}
