// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PageScriptus.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/ListPage.h"
#include "ui/StatusPanels.h"
#include "ui/TreeSplitter.h"

namespace {

const QString kNotAvailable = QStringLiteral("Information nicht verfügbar");

const std::vector<TListColumn> kScriptusColumns = {
    {"Titel", 120}, {"Klasse", 75}, {"Kommando", 150}, {"Parameter", 0}, {"Beschreibung", 100}};

} // namespace

TPageScriptus::TPageScriptus(QWidget* parent)
    : TPageFrame(QStringLiteral("Skriptus"), 14,
                 QStringLiteral("Hier zeichnen Sie Skripte auf, die Installationsprogramme auf den Clients "
                                "unbeaufsichtigt bedienen. Links stehen die Kontrollelemente der laufenden Anwendungen."),
                 QStringLiteral("topicSkriptus.html"), parent)
{
    setObjectName(QStringLiteral("TabSheetScriptus"));
    m_splitter = new TTreeSplitter(QStringLiteral("Skriptus - Teiler"), 220, this);
    auto* tree = new QTreeView(m_splitter);
    tree->setHeaderHidden(true);
    tree->setAccessibleName(QStringLiteral("Kontrollelemente"));
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
    m_inner->addTab(m_sequence, QStringLiteral("Sequenz"));
    m_inner->addTab(m_events, QStringLiteral("Ereignisse"));
    for (QAbstractItemView* view : {m_tree, m_sequence, m_events})
        OfferContextMenu(view);
    column->addWidget(m_inner, 1);

    ContentLayout()->addWidget(m_splitter, 1);
    m_status = new TStatusPanels(QStringLiteral("Skriptus"), 2, this);
    ContentLayout()->addWidget(m_status);
}

void TPageScriptus::Replace(QAbstractItemView*& slot, QAbstractItemView* view)
{
    QAbstractItemView* old = slot;
    slot = view;
    OfferContextMenu(view);
    if (&slot == &m_tree) {
        m_splitter->replaceWidget(0, view);
        m_splitter->SetLeftWidth(m_splitter->LeftWidth());
    } else {
        const int index = m_inner->indexOf(old);
        const QString caption = m_inner->tabText(index);
        m_inner->removeTab(index);
        m_inner->insertTab(index, view, caption);
    }
    old->deleteLater();
}

void TPageScriptus::SetTree(QAbstractItemView* tree)
{
    Replace(m_tree, tree);
}

void TPageScriptus::SetSequenceList(QAbstractItemView* list)
{
    Replace(m_sequence, list);
}

void TPageScriptus::SetEventList(QAbstractItemView* list)
{
    Replace(m_events, list);
}

void TPageScriptus::SetControlInfo(const QString& identification, const QString& title, const QString& className,
                                   const QString& position)
{
    const QString values[4] = {identification, title, className, position};
    for (int row = 0; row < 4; ++row)
        m_info[row]->setText(values[row].isEmpty() ? kNotAvailable : values[row]);
}
