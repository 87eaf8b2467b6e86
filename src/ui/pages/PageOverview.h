// SPDX-License-Identifier: GPL-3.0-or-later
// The overview page shows the product, the clock and the latest messages of the client and the server side.
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

/// "Übersicht": the product name with its shadow, "LegalCopyright", the clock
/// label with its shadow and the two read-only panes "Client-Informationen"
/// and "Server-Informationen", newest block on top.
class TPageOverview : public QWidget
{
    Q_OBJECT
public:
    explicit TPageOverview(QWidget* parent = nullptr);

    void SetProduct(const QString& productName, const QString& copyright);
    void SetClock(const QString& text);
    QString Clock() const;
    /// Puts the block on top of the pane (client or server).
    void AddMessage(bool serverPane, const QString& block);
    /// Each pane keeps the newest lines up to this bound.
    static constexpr int kMaxPaneLines = 10000;
    QString PaneText(bool serverPane) const;

private:
    QLabel* m_product;
    QLabel* m_productShadow;
    QLabel* m_copyright;
    QLabel* m_clock;
    QLabel* m_clockShadow;
    QPlainTextEdit* m_client;
    QPlainTextEdit* m_server;
};
