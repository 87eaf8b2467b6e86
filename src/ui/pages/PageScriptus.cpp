// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/PageScriptus.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/pages/ListPage.h"
#include "ui/pages/StatusPanels.h"
#include "ui/pages/TreeSplitter.h"

namespace {

const QString kNotAvailable = QStringLiteral("Information nicht verfügbar");

const std::vector<TListColumn> kScriptusColumns = {
    {"Titel", 120}, {"Klasse", 75}, {"Kommando", 150}, {"Parameter", 0}, {"Beschreibung", 100}};

} // namespace

TPageScriptus::TPageScriptus(QWidget* parent)
    : TPageFrame(
          QStringLiteral("Skriptus"), 14,
          QStringLiteral("Hier zeichnen Sie Skripte auf, die Installationsprogramme auf den Clients "
                         "unbeaufsichtigt bedienen. Links stehen die Kontrollelemente der laufenden Anwendungen."),
          QStringLiteral("topicSkriptus.html"), parent)
{
    setObjectName(QStringLiteral("TabSheetScriptus"));
    m_splitter = new TTreeSplitter(QStringLiteral("Skriptus - Teiler"), 220, this);
    auto* tree = new QTreeView(m_splitter);
    tree->setHeaderHidden(true);
    tree->setAccessibleName(QStringLiteral("Kontrollelemente"));
    tree->setObjectName(QStringLiteral("TreeViewScriptus"));
    m_tree = tree;

    auto* right = new QWidget(m_splitter);
    auto* column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    auto* panel = new QGroupBox(QStringLiteral("Ausgewähltes Kontrollelement"), right);
    panel->setAccessibleName(QStringLiteral("Ausgewähltes Kontrollelement"));
    panel->setObjectName(QStringLiteral("PanelScriptusCurrentControl"));
    m_panel = panel;
    auto* form = new QFormLayout(panel);
    const char* const captions[4] = {"Identifikation:", "Titel:", "Klasse:", "X,Y-Position:"};
    for (int row = 0; row < 4; ++row) {
        m_info[row] = new QLabel(kNotAvailable, panel);
        m_info[row]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_info[row]->setAccessibleName(QString::fromUtf8(captions[row]));
        form->addRow(QString::fromUtf8(captions[row]), m_info[row]);
    }
    column->addWidget(panel);
    m_inner = new QTabWidget(right);
    m_inner->setAccessibleName(QStringLiteral("Skriptus-Listen"));
    m_sequence = MakeColumnList(QStringLiteral("Sequenz"), kScriptusColumns, m_inner);
    m_events = MakeColumnList(QStringLiteral("Ereignisse"), kScriptusColumns, m_inner);
    m_sequence->setObjectName(QStringLiteral("ListViewScriptusCommandsSync"));
    m_events->setObjectName(QStringLiteral("ListViewScriptusCommandsAsync"));
    m_inner->addTab(m_sequence, QStringLiteral("Sequenz"));
    m_inner->addTab(m_events, QStringLiteral("Ereignisse"));
    for (QAbstractItemView* view : {m_tree, m_sequence, m_events})
        OfferContextMenu(view);
    column->addWidget(m_inner, 1);

    ContentLayout()->addWidget(m_splitter, 1);
    m_status = new TStatusPanels(QStringLiteral("Skriptus"), 2, this);
    ContentLayout()->addWidget(m_status);
}

void TPageScriptus::ShowModels(QAbstractItemModel* tree, QAbstractItemModel* sequence, QAbstractItemModel* events)
{
    const std::pair<QAbstractItemView*, QAbstractItemModel*> views[] = {
        {m_tree, tree}, {m_sequence, sequence}, {m_events, events}};
    for (const auto& [view, model] : views) {
        QAbstractItemModel* old = view->model();
        view->setModel(model);
        if (old && old->parent() == view)
            old->deleteLater();
    }
    for (QAbstractItemView* list : {m_sequence, m_events}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        if (auto* columns = qobject_cast<QTreeView*>(list))
            ApplyColumnWidths(columns, kScriptusColumns);
    }
}

void TPageScriptus::SetControlInfo(const QString& identification, const QString& title, const QString& className,
                                   const QString& position)
{
    const QString values[4] = {identification, title, className, position};
    for (int row = 0; row < 4; ++row)
        m_info[row]->setText(values[row].isEmpty() ? kNotAvailable : values[row]);
}
