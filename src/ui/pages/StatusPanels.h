// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QStatusBar>

class QLabel;

/// A page's status bar of fixed text panels; the last one shows the clock,
/// the first takes the width the window gives it on each resize.
class TStatusPanels : public QStatusBar
{
    Q_OBJECT
public:
    TStatusPanels(const QString& pageCaption, int panels, QWidget* parent);

    void SetText(int panel, const QString& text);
    QString Text(int panel) const;
    int Count() const { return int(m_panels.size()); }
    void SetFirstWidth(int width);
    int FirstWidth() const;

private:
    std::vector<QLabel*> m_panels;
};
