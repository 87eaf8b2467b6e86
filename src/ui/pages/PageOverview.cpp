// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/PageOverview.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace {

// A label with a darker copy behind it, offset by two pixels: the shadow.
QWidget* ShadowedLabel(QWidget* parent, QLabel*& text, QLabel*& shadow, qreal scale, const QString& accessibleName)
{
    auto* holder = new QWidget(parent);
    auto* grid = new QGridLayout(holder);
    grid->setContentsMargins(0, 0, 2, 2);
    shadow = new QLabel(holder);
    text = new QLabel(holder);
    QFont font = text->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * scale);
    text->setFont(font);
    shadow->setFont(font);
    shadow->setStyleSheet(QStringLiteral("color: rgba(0, 0, 0, 70);"));
    shadow->setContentsMargins(2, 2, 0, 0);
    text->setContentsMargins(0, 0, 2, 2);
    text->setAccessibleName(accessibleName);
    // The shadow says the same again; a screen reader need not hear it twice.
    shadow->setAccessibleName(accessibleName + QStringLiteral(" (Schatten)"));
    grid->addWidget(shadow, 0, 0);
    grid->addWidget(text, 0, 0);
    return holder;
}

QPlainTextEdit* Pane(QWidget* parent, QVBoxLayout* column, const QString& heading)
{
    auto* box = new QGroupBox(heading, parent);
    box->setAccessibleName(heading);
    auto* inner = new QVBoxLayout(box);
    auto* pane = new QPlainTextEdit(box);
    pane->setReadOnly(true);
    pane->setAccessibleName(heading);
    pane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    inner->addWidget(pane);
    column->addWidget(box, 1);
    return pane;
}

} // namespace

TPageOverview::TPageOverview(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TabSheetOverview"));
    setAccessibleName(QStringLiteral("Übersicht"));
    auto* column = new QVBoxLayout(this);
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    auto* names = new QVBoxLayout;
    names->addWidget(ShadowedLabel(header, m_product, m_productShadow, 2.2, QStringLiteral("Produktname")));
    m_copyright = new QLabel(header);
    m_copyright->setAccessibleName(QStringLiteral("Copyright"));
    names->addWidget(m_copyright);
    row->addLayout(names, 1);
    QLabel* clockShadow = nullptr;
    row->addWidget(ShadowedLabel(header, m_clock, clockShadow, 1.6, QStringLiteral("Uhrzeit")), 0,
                   Qt::AlignRight | Qt::AlignTop);
    m_clockShadow = clockShadow;
    column->addWidget(header);
    SetClock(QStringLiteral("Uhrzeit nicht verfügbar..."));
    m_client = Pane(this, column, QStringLiteral("Client-Informationen"));
    m_server = Pane(this, column, QStringLiteral("Server-Informationen"));
}

void TPageOverview::SetProduct(const QString& productName, const QString& copyright)
{
    m_product->setText(productName);
    m_productShadow->setText(productName);
    m_copyright->setText(copyright);
}

void TPageOverview::SetClock(const QString& text)
{
    m_clock->setText(text);
    m_clockShadow->setText(text);
}

QString TPageOverview::Clock() const
{
    return m_clock->text();
}

void TPageOverview::AddMessage(bool serverPane, const QString& block)
{
    QPlainTextEdit* pane = serverPane ? m_server : m_client;
    QTextCursor cursor(pane->document());
    cursor.movePosition(QTextCursor::Start);
    // The block ends in CR LF; the pane keeps plain line breaks.
    cursor.insertText(QString(block).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // The newest stand on top: the oldest lines beyond the bound go from the end.
    const QTextBlock firstDropped = pane->document()->findBlockByNumber(kMaxPaneLines);
    if (firstDropped.isValid()) {
        QTextCursor tail(pane->document());
        tail.setPosition(firstDropped.position());
        tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        tail.removeSelectedText();
    }
}

QString TPageOverview::PaneText(bool serverPane) const
{
    return (serverPane ? m_server : m_client)->toPlainText();
}
