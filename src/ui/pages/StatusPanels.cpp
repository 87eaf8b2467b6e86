// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/StatusPanels.h"

#include <QLabel>

TStatusPanels::TStatusPanels(const QString& pageCaption, int panels, QWidget* parent) : QStatusBar(parent)
{
    setSizeGripEnabled(false);
    setAccessibleName(pageCaption + QStringLiteral(" - Statusleiste"));
    for (int panel = 0; panel < panels; ++panel) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(panel));
        label->setFrameShape(QFrame::StyledPanel);
        // No fixed name: a screen reader reads a label's text as its name.
        label->setAccessibleDescription(pageCaption + QStringLiteral(" - Statusfeld %1").arg(panel + 1));
        // A bar of one panel has no clock beside it.
        addWidget(label, panel == panels - 1 && panels > 1 ? 0 : 1);
        m_panels.push_back(label);
    }
}

void TStatusPanels::SetText(int panel, const QString& text)
{
    if (panel >= 0 && panel < Count())
        m_panels[panel]->setText(text);
}

QString TStatusPanels::Text(int panel) const
{
    return panel >= 0 && panel < Count() ? m_panels[panel]->text() : QString();
}

// An upper bound, not a fixed width: a fixed one wider than the room left by
// the other panels would widen the window, and the next resize the panel again.
void TStatusPanels::SetFirstWidth(int width)
{
    if (m_panels.empty())
        return;
    m_panels.front()->setMinimumWidth(0);
    m_panels.front()->setMaximumWidth(qMax(0, width));
}

int TStatusPanels::FirstWidth() const
{
    return m_panels.empty() ? 0 : m_panels.front()->maximumWidth();
}
