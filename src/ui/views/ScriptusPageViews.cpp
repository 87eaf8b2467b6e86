// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ScriptusPageViews.h"

#include <memory>
#include <utility>

#include <QAction>
#include <QFileDialog>
#include <QIdentityProxyModel>
#include <QPointer>
#include <QTabWidget>
#include <QThread>
#include <QTreeView>

#include "base/Exceptions.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "platform/DesktopAutomation.h"
#include "scriptus/ScriptusBase.h"
#include "scriptus/ScriptusThread.h"
#include "scriptus/SyncControl.h"
#include "ui/dialogs/MainEditText.h"
#include "ui/main/IconTable.h"
#include "ui/main/Main.h"
#include "ui/main/MainActions.h"
#include "ui/main/MessageBoxes.h"
#include "ui/pages/PageScriptus.h"
#include "ui/pages/ScriptusRecording.h"
#include "ui/pages/StatusPanels.h"
#include "ui/views/ControlTree.h"

namespace {

const QString kFilters[] = {QStringLiteral("Kommandodateien (*.scriptus)"), QStringLiteral("Alle Dateien (*)")};

// The kind's picture in the first column of a command list.
class TCommandIcons : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role == Qt::DecorationRole && index.column() == TScriptusList::ColumnTitle)
            return IconTable::Icon(QIdentityProxyModel::data(index, TScriptusList::kImageIndexRole).toInt());
        return QIdentityProxyModel::data(index, role);
    }
};

QString ScriptusFolder()
{
    return OptionsRegistered() ? MainConfig().GetString(QStringLiteral("ServerScriptusDir")) : QString();
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const QString& title, const char* objectName)
{
    auto dialog = std::make_unique<QFileDialog>(parent, title, ScriptusFolder());
    dialog->setObjectName(QString::fromLatin1(objectName));
    dialog->setNameFilters({kFilters[0], kFilters[1]});
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    return dialog;
}

// Where the desktop is read at start: the window of a master server, which
// records; a service has no desktop of its own.
bool ReadsDesktopAtStart()
{
    return OptionsRegistered() && IsMasterServer() && !RunningAsService();
}

} // namespace

TScriptusPageViews::TScriptusPageViews(TFormMain& form)
    : QObject(&form), m_form(form), m_page(*form.PageScriptus()), m_tree(new TControlTree(this)),
      m_treeView(qobject_cast<QTreeView*>(form.PageScriptus()->Tree())), m_recording(new TScriptusRecording(form))
{
    auto* sequence = new TCommandIcons(this);
    sequence->setSourceModel(&ScriptusSequence());
    auto* events = new TCommandIcons(this);
    events->setSourceModel(&ScriptusEvents());
    m_page.ShowModels(m_tree, sequence, events);
    for (QAbstractItemView* list : {m_page.SequenceList(), m_page.EventList()}) {
        connect(list->model(), &QAbstractItemModel::rowsInserted, list,
                [list](const QModelIndex&, int, int last) { list->scrollTo(list->model()->index(last, 0)); });
        // The run and the menu entries depend on the rows there are.
        for (auto rowsChanged : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
            connect(list->model(), rowsChanged, &form, &TFormMain::UpdateActionStates);
        connect(list->model(), &QAbstractItemModel::modelReset, &form, &TFormMain::UpdateActionStates);
    }
    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& node) { NodeSelected(node); });
    connect(m_treeView, &QAbstractItemView::pressed, this,
            [this](const QModelIndex& node) { RefreshStaleNames(node); });
    connect(m_page.InnerPages(), &QTabWidget::currentChanged, &form, &TFormMain::UpdateActionStates);
    PlugIntoRecording();
    WireActions();
    form.Actions().AddStateSource([this](TActionState& state) { FillState(state); });

    QPointer<TScriptusPageViews> self(this);
    SetListLoader(TListKind::Controls, [self] {
        if (!self || !ReadsDesktopAtStart())
            return;
        self->m_enableAccessibility = true;
        self->RereadControls();
    });
    RegisterShutdownParticipant(TShutdownStep::ScriptusThread, this);
}

TScriptusPageViews::~TScriptusPageViews()
{
    UnregisterShutdownParticipant(this);
}

bool TScriptusPageViews::IsRunning()
{
    return m_reader != nullptr;
}

// A read cannot be interrupted; it ends within seconds.
void TScriptusPageViews::RequestStop() {}

void TScriptusPageViews::PlugIntoRecording()
{
    TScriptusRecording::TPageParts parts;
    parts.selectedControl = [this](bool* nodeSelected) {
        const QModelIndex node = m_treeView->currentIndex();
        *nodeSelected = node.isValid();
        return TControlTree::ControlOf(node);
    };
    parts.selectNode = [this](TSyncControl* control) {
        const QModelIndex node = m_tree->NodeOf(control);
        if (!node.isValid())
            return false;
        // The node first: a view without a current node makes its first
        // node current when it gets the focus, and that file node would
        // empty the panel tracking has just filled.
        if (m_treeView->currentIndex() != node) {
            m_quietSelection = true;
            m_treeView->setCurrentIndex(node);
            m_quietSelection = false;
        }
        m_treeView->scrollTo(node);
        m_treeView->setFocus();
        return true;
    };
    parts.rebuildTree = [this] { BuildTree(); };
    parts.rereadControls = [this] { RereadControls(); };
    m_recording->SetPageParts(std::move(parts));
}

void TScriptusPageViews::BuildTree()
{
    const QVariant selected = m_treeView->currentIndex().data(TControlTree::kHandleRole);
    m_tree->Build();
    // Each program opens onto its windows.
    m_treeView->expandToDepth(0);
    if (selected.isValid()) {
        // The same control stays chosen; the panel already shows it.
        TReadGuard guard(ControlListLock());
        const QModelIndex again = m_tree->NodeOf(FindControlByHandle(selected.toULongLong()));
        m_quietSelection = true;
        m_treeView->setCurrentIndex(again);
        m_quietSelection = false;
        m_treeView->scrollTo(again);
    }
    m_form.UpdateActionStates();
}

void TScriptusPageViews::RereadControls(std::function<void()> then)
{
    if (then)
        m_afterRead.push_back(std::move(then));
    if (m_reader) {
        m_readAgain = true;
        return;
    }
    StartRead();
}

void TScriptusPageViews::StartRead()
{
    m_readAgain = false;
    // A running script reads the list itself when it needs to; a read of ours
    // meanwhile may catch a program mid-update and lose the control the
    // script's next row acts on.
    const bool read = !ScriptusRunning();
    // Programs started from here on show their controls; those already
    // running stay as they are.
    const bool enable = std::exchange(m_enableAccessibility, false);
    m_reader = QThread::create([read, enable] {
        if (enable)
            DesktopAutomation::EnableAccessibility();
        if (read)
            ReadControlList();
    });
    m_reader->setObjectName(QStringLiteral("ControlList"));
    connect(m_reader, &QThread::finished, m_reader, &QObject::deleteLater);
    connect(m_reader, &QThread::finished, this, [this] {
        m_reader = nullptr;
        if (m_readAgain) {
            StartRead();
            return;
        }
        BuildTree();
        const std::vector<std::function<void()>> after = std::move(m_afterRead);
        m_afterRead.clear();
        for (const std::function<void()>& then : after)
            then();
    });
    m_reader->start();
}

void TScriptusPageViews::NodeSelected(const QModelIndex& node)
{
    if (!m_quietSelection) {
        TReadGuard guard(ControlListLock());
        TSyncControl* control = TControlTree::ControlOf(node);
        m_recording->ShowControl(control);
        m_page.Status()->SetText(0, control ? ShortenedPath(ControlPath(control)) : QString());
    }
    m_form.UpdateActionStates();
}

// A name that changed since the list was read (the options of the path
// changed, say) is taken over before the user acts on the node.
void TScriptusPageViews::RefreshStaleNames(const QModelIndex& node)
{
    const QVariant handle = node.data(TControlTree::kHandleRole);
    if (!handle.isValid())
        return;
    {
        TWriteGuard guard(ControlListLock());
        TSyncControl* control = FindControlByHandle(handle.toULongLong());
        if (!control)
            return;
        TSyncControl* parent = control->ParentElement();
        if (NameIsCurrent(control) && (!parent || NameIsCurrent(parent)))
            return;
        RefreshName(control);
        if (parent)
            RefreshName(parent);
    }
    BuildTree();
    NodeSelected(m_treeView->currentIndex());
}

TScriptusList& TScriptusPageViews::ActiveList() const
{
    return m_page.InnerPages()->currentIndex() == 0 ? ScriptusSequence() : ScriptusEvents();
}

QAbstractItemView* TScriptusPageViews::ViewOf(const TScriptusList& list) const
{
    return &list == &ScriptusSequence() ? m_page.SequenceList() : m_page.EventList();
}

int TScriptusPageViews::SelectedRow() const
{
    const QModelIndexList rows = ViewOf(ActiveList())->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TScriptusPageViews::SelectRow(const TScriptusList& list, int row)
{
    QAbstractItemView* view = ViewOf(list);
    const QModelIndex index = view->model()->index(row, 0);
    view->setCurrentIndex(index);
    view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view->scrollTo(index);
}

void TScriptusPageViews::MoveSelected(int (TScriptusList::*move)(int))
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    TScriptusList& list = ActiveList();
    SelectRow(list, (list.*move)(row));
    m_form.UpdateActionStates();
}

void TScriptusPageViews::WireActions()
{
    TMainActions& a = m_form.Actions();
    a.Handle(a.ScriptusEntryFirst, [this] { MoveSelected(&TScriptusList::MoveFirst); });
    a.Handle(a.ScriptusEntryUp, [this] { MoveSelected(&TScriptusList::MoveUp); });
    a.Handle(a.ScriptusEntryDown, [this] { MoveSelected(&TScriptusList::MoveDown); });
    a.Handle(a.ScriptusEntryLast, [this] { MoveSelected(&TScriptusList::MoveLast); });
    a.Handle(a.ScriptusEntryMove, [this] {
        const int row = SelectedRow();
        if (row < 0)
            return;
        TScriptusList& from = ActiveList();
        TScriptusList& to = &from == &ScriptusSequence() ? ScriptusEvents() : ScriptusSequence();
        SelectRow(to, from.MoveToOther(row, to));
        m_form.UpdateActionStates();
    });
    a.Handle(a.ScriptusListClear, [this] {
        ActiveList().Clear();
        m_form.UpdateActionStates();
    });
    a.Handle(a.ScriptusEntryDelete, [this] {
        ActiveList().Remove(SelectedRow());
        m_form.UpdateActionStates();
    });
    a.Handle(a.ScriptusEntryProperties, [this] { EditDescription(); });
    a.Handle(a.ScriptusRun, [this] { Run(); });
    a.Handle(a.FileOpenScriptus, [this] { AskOpenFile(); });
    a.Handle(a.FileSaveScriptus, [this] { Save(); });
    a.Handle(a.FileSaveScriptusAs, [this] { AskSaveFile(); });
    a.Handle(a.ScriptusVisibleOnly, [this] { ToggleVisibleOnly(); });
}

void TScriptusPageViews::EditDescription()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    TScriptusList& list = ActiveList();
    const std::optional<QString> text = TFormEditText::Edit(&m_form, QStringLiteral("Skriptus-Beschreibung eingeben"),
                                                            list.Row(row).Command.Description);
    // The row may have gone while the dialog was open (a load, a clear).
    if (text && row < list.rowCount())
        list.SetDescription(row, *text);
}

void TScriptusPageViews::Run()
{
    if (StartScriptus())
        return;
    if (AskYesNo(&m_form, QStringLiteral("Die Skriptus-Ausführung läuft bereits. Möchten Sie diese beenden?")))
        RequestScriptusTermination();
}

void TScriptusPageViews::OpenCommandFile(const QString& path)
{
    m_commandFile = path;
    LoadCommandFile(path);
    m_form.UpdateActionStates();
}

bool TScriptusPageViews::SaveCommandFileAs(const QString& path)
{
    try {
        SaveCommandFile(path);
        return true;
    } catch (const std::exception& error) {
        ShowMessageBox(&m_form, QMessageBox::Critical,
                       QStringLiteral("Die Skriptus-Datei \"%1\" konnte nicht gespeichert werden: %2")
                           .arg(path, ExceptionText(error)));
        return false;
    }
}

void TScriptusPageViews::AskOpenFile()
{
    const auto dialog = MakeFileDialog(&m_form, QStringLiteral("Skriptus-Kommandodatei öffnen"), "OpenDialogScriptus");
    dialog->setFileMode(QFileDialog::ExistingFile);
    const bool chosen = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    const QString file = chosen ? dialog->selectedFiles().constFirst() : QString();
    if (chosen)
        OpenCommandFile(file);
    m_form.ShowPage(TPage::Scriptus);
}

void TScriptusPageViews::Save()
{
    if (m_commandFile.isEmpty())
        AskSaveFile();
    else
        SaveCommandFileAs(m_commandFile);
}

void TScriptusPageViews::AskSaveFile()
{
    const auto dialog =
        MakeFileDialog(&m_form, QStringLiteral("Skriptus-Kommandodatei speichern"), "SaveDialogScriptus");
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("scriptus"));
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        SaveCommandFileAs(dialog->selectedFiles().constFirst());
}

void TScriptusPageViews::ToggleVisibleOnly()
{
    const QString option = QStringLiteral("MiscShowVisibleControlsOnly");
    MainConfig().Set(option, !MainConfig().GetBoolean(option));
    MainConfig().SaveAll();
    BuildTree();
}

void TScriptusPageViews::FillState(TActionState& state) const
{
    const QModelIndex node = m_treeView->currentIndex();
    state.scriptusControlSelected = node.isValid() && node.parent().isValid();
    state.scriptusListHasRows = ScriptusSequence().rowCount() > 0 || ScriptusEvents().rowCount() > 0;
    state.scriptusActiveListRows = ActiveList().rowCount();
    state.scriptusActiveListSelection = SelectedRow() >= 0;
}
