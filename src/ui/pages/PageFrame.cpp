// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/PageFrame.h"

#include <QAbstractItemView>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/main/IconTable.h"

TPageFrame::TPageFrame(const QString& caption, int headerIcon, const QString& hint, const QString& helpTopic,
                       QWidget* parent)
    : QWidget(parent), m_caption(caption), m_helpTopic(helpTopic)
{
    setAccessibleName(caption);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(4);

    auto* header = new QFrame(this);
    header->setObjectName(QStringLiteral("PanelHeader"));
    header->setFrameShape(QFrame::StyledPanel);
    header->setAccessibleName(caption + QStringLiteral(" - Kopf"));
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(6, 4, 6, 4);
    auto* picture = new QLabel(header);
    picture->setObjectName(QStringLiteral("ImageHeader"));
    picture->setPixmap(IconTable::Icon(headerIcon).pixmap(32, 32));
    picture->setAccessibleName(caption);
    row->addWidget(picture);
    auto* texts = new QVBoxLayout;
    auto* title = new QLabel(caption, header);
    title->setObjectName(QStringLiteral("LabelHeaderCaption"));
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    title->setFont(bold);
    title->setAccessibleName(caption);
    texts->addWidget(title);
    auto* hintLabel = new QLabel(hint, header);
    hintLabel->setObjectName(QStringLiteral("LabelHeaderHint"));
    hintLabel->setWordWrap(true);
    hintLabel->setAccessibleName(hint);
    texts->addWidget(hintLabel);
    row->addLayout(texts, 1);
    m_helpButton = new QPushButton(QStringLiteral("Klicken Sie hier für Hilfe..."), header);
    m_helpButton->setObjectName(QStringLiteral("ButtonHelp"));
    m_helpButton->setToolTip(QStringLiteral("Online-Hilfe"));
    m_helpButton->setAccessibleName(QStringLiteral("Klicken Sie hier für Hilfe..."));
    m_helpButton->setAccessibleDescription(QStringLiteral("Online-Hilfe"));
    m_helpButton->setFlat(true);
    m_helpButton->setCursor(Qt::PointingHandCursor);
    connect(m_helpButton, &QPushButton::clicked, this, [this] { Q_EMIT HelpRequested(m_helpTopic); });
    row->addWidget(m_helpButton, 0, Qt::AlignTop);
    outer->addWidget(header);

    m_content = new QVBoxLayout;
    m_content->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(m_content, 1);
}

void TPageFrame::OfferContextMenu(QAbstractItemView* view)
{
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& at) { Q_EMIT ContextMenuRequested(view, view->viewport()->mapToGlobal(at)); });
}
