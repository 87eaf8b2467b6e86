// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSplitter>

/// The splitter between a page's tree and the rest. It keeps the tree width
/// it was given until it is laid out (pages not yet shown have no width), and
/// the width the user drags it to afterwards.
class TTreeSplitter : public QSplitter
{
    Q_OBJECT
public:
    TTreeSplitter(const QString& accessibleName, int treeWidth, QWidget* parent);

    int LeftWidth() const { return m_left; }
    void SetLeftWidth(int width);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Apply();

    int m_left;
};
