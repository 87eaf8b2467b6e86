// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/TreeSplitter.h"

TTreeSplitter::TTreeSplitter(const QString& accessibleName, int treeWidth, QWidget* parent)
    : QSplitter(Qt::Horizontal, parent), m_left(treeWidth)
{
    setObjectName(QStringLiteral("Splitter"));
    setAccessibleName(accessibleName);
    setChildrenCollapsible(false);
    connect(this, &QSplitter::splitterMoved, this, [this](int position) { m_left = position; });
}

void TTreeSplitter::SetLeftWidth(int width)
{
    m_left = qMax(0, width);
    Apply();
}

void TTreeSplitter::resizeEvent(QResizeEvent* event)
{
    QSplitter::resizeEvent(event);
    Apply();
}

void TTreeSplitter::Apply()
{
    if (count() < 2 || width() <= 0)
        return;
    const int left = qMin(m_left, qMax(0, width() - handleWidth() - 50));
    setSizes({left, qMax(0, width() - handleWidth() - left)});
}
