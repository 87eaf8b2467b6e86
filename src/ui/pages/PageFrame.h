// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

class QAbstractItemView;
class QLabel;
class QPushButton;
class QVBoxLayout;

/// The common frame of the pages: a header with picture, caption, hint text
/// and the help button, and below it the page's own content.
class TPageFrame : public QWidget
{
    Q_OBJECT
public:
    /// headerIcon is an index of the image list; helpTopic a page name such
    /// as "topicObjekte.html".
    TPageFrame(const QString& caption, int headerIcon, const QString& hint, const QString& helpTopic,
               QWidget* parent = nullptr);

    QString Caption() const { return m_caption; }
    QString HelpTopic() const { return m_helpTopic; }
    QPushButton* HelpButton() const { return m_helpButton; }

Q_SIGNALS:
    /// The help button was clicked.
    void HelpRequested(const QString& topic);
    /// The right mouse button on one of the page's views; the window shows
    /// the view's menu there.
    void ContextMenuRequested(QAbstractItemView* view, const QPoint& globalPosition);

protected:
    /// Lets the view's right mouse button reach ContextMenuRequested.
    void OfferContextMenu(QAbstractItemView* view);
    /// Where a page puts its content, below the header.
    QVBoxLayout* ContentLayout() const { return m_content; }

private:
    QString m_caption;
    QString m_helpTopic;
    QPushButton* m_helpButton;
    QVBoxLayout* m_content;
};
