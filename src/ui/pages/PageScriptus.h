// SPDX-License-Identifier: GPL-3.0-or-later
// The Scriptus page shows the controls of the running applications and the script being recorded or edited.
#pragma once

#include <QString>

#include "ui/pages/PageFrame.h"

class QAbstractItemModel;
class QAbstractItemView;
class QLabel;
class QTabWidget;
class QTreeView;
class TStatusPanels;
class TTreeSplitter;

/// "Skriptus": control tree, splitter, the panel "Ausgewähltes
/// Kontrollelement", the inner pages "Sequenz" and "Ereignisse" with their
/// lists, and two status panels (the second shows the clock).
class TPageScriptus : public TPageFrame
{
    Q_OBJECT
public:
    explicit TPageScriptus(QWidget* parent = nullptr);

    /// Shows these models in the tree and in the lists "Sequenz" and
    /// "Ereignisse" (with their columns' widths; one row selected at a time).
    void ShowModels(QAbstractItemModel* tree, QAbstractItemModel* sequence, QAbstractItemModel* events);
    QAbstractItemView* Tree() const { return m_tree; }
    QAbstractItemView* SequenceList() const { return m_sequence; }
    QAbstractItemView* EventList() const { return m_events; }
    /// "Identifikation:", "Titel:", "Klasse:", "X,Y-Position:" values;
    /// an empty text shows "Information nicht verfügbar".
    void SetControlInfo(const QString& identification, const QString& title, const QString& className,
                        const QString& position);
    QLabel* InfoLabel(int row) const { return m_info[row]; }
    /// The panel "Ausgewähltes Kontrollelement" (PanelScriptusCurrentControl).
    QWidget* ControlPanel() const { return m_panel; }
    /// The inner pages: 0 "Sequenz", 1 "Ereignisse".
    QTabWidget* InnerPages() const { return m_inner; }

    TTreeSplitter* Splitter() const { return m_splitter; }
    TStatusPanels* Status() const { return m_status; }

private:
    TTreeSplitter* m_splitter;
    QAbstractItemView* m_tree = nullptr;
    QAbstractItemView* m_sequence = nullptr;
    QAbstractItemView* m_events = nullptr;
    QLabel* m_info[4];
    QWidget* m_panel;
    QTabWidget* m_inner;
    TStatusPanels* m_status;
};
