// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/PageProtocol.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/views/ProtocolModel.h"

namespace {

// Often enough to look immediate, seldom enough that a flood of entries
// costs the view a few updates a second.
constexpr int kBatchMs = 100;

} // namespace

TPageProtocol::TPageProtocol(QWidget* parent)
    : TPageFrame(QStringLiteral("Protokoll"), 3,
                 QStringLiteral("Hier sehen Sie, was die Anwendung seit ihrem Start getan hat: Verbindungen, "
                                "Übertragungen, Installationen und Fehler."),
                 QStringLiteral("topicProtokoll.html"), parent)
{
    setObjectName(QStringLiteral("TabSheetProtocol"));
    m_model = new TProtocolModel(this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("ListViewProtocol"));
    m_list->setAccessibleName(QStringLiteral("Protokoll - Liste"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setModel(m_model);
    m_list->header()->setStretchLastSection(true);
    // 140 and 80 at the least, wider where this font needs it for a whole
    // time stamp with its picture and for the longest category.
    const QFontMetrics metrics(m_list->font());
    m_list->header()->resizeSection(0,
                                    qMax(140, metrics.horizontalAdvance(QStringLiteral("00.00.00 00:00:00.000")) + 40));
    m_list->header()->resizeSection(1, qMax(80, metrics.horizontalAdvance(QStringLiteral("ChangeNotifyThread")) + 12));
    OfferContextMenu(m_list);
    ContentLayout()->addWidget(m_list, 1);

    m_batch = new QTimer(this);
    m_batch->setSingleShot(true);
    m_batch->setInterval(kBatchMs);
    connect(m_batch, &QTimer::timeout, this, &TPageProtocol::FlushNow);
}

void TPageProtocol::AddEntry(const TProtocolEntry& entry, bool lastToFirst)
{
    m_model->Queue(entry, lastToFirst);
    if (!m_batch->isActive())
        m_batch->start();
}

void TPageProtocol::FlushNow()
{
    m_batch->stop();
    m_model->Flush();
}

void TPageProtocol::Clear()
{
    m_batch->stop();
    m_model->Clear();
}

int TPageProtocol::RowCount() const
{
    return m_model->rowCount();
}

QByteArray TPageProtocol::ExportText()
{
    FlushNow();
    return m_model->ExportText();
}
