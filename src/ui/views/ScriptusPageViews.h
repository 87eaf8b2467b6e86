// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <vector>

#include <QObject>
#include <QString>

#include "foundation/Quit.h"

class QAbstractItemView;
class QModelIndex;
class QThread;
class QTreeView;
class TControlTree;
class TFormMain;
class TPageScriptus;
class TScriptusList;
class TScriptusRecording;
struct TActionState;

/// The Scriptus page's contents in the window: the control tree with the
/// panel of the selected control, the lists "Sequenz" and "Ereignisse" with
/// their menu, the run, opening and saving of command files, and recording.
class TScriptusPageViews : public QObject, public TShutdownParticipant
{
    Q_OBJECT
public:
    explicit TScriptusPageViews(TFormMain& form);
    ~TScriptusPageViews() override;

    /// Builds the control tree from the control list as it stands.
    void BuildTree();
    /// Reads the control list again on another thread, then builds the tree
    /// and runs `then` on the main thread. A request during a read is served
    /// by one more read after it.
    void RereadControls(std::function<void()> then = {});
    bool Rereading() const { return m_reader != nullptr; }

    /// Loads a command file into both lists and remembers its name.
    void OpenCommandFile(const QString& path);
    /// Writes both lists into the file; a failure is shown, answered false.
    bool SaveCommandFileAs(const QString& path);
    /// The file name remembered by opening ("" for none).
    const QString& CommandFile() const { return m_commandFile; }

    TControlTree& Tree() { return *m_tree; }
    TScriptusRecording& Recording() { return *m_recording; }
    void FillState(TActionState& state) const;

    /// The orderly shutdown waits for a running read of the control list.
    bool IsRunning() override;
    void RequestStop() override;

private:
    void WireActions();
    void PlugIntoRecording();
    void NodeSelected(const QModelIndex& node);
    void RefreshStaleNames(const QModelIndex& node);
    void StartRead();
    /// The list the menu acts on: that of the inner page in front.
    TScriptusList& ActiveList() const;
    QAbstractItemView* ViewOf(const TScriptusList& list) const;
    int SelectedRow() const;
    void SelectRow(const TScriptusList& list, int row);
    /// Moves the selected row within its list.
    void MoveSelected(int (TScriptusList::*move)(int));
    void EditDescription();
    void Run();
    void AskOpenFile();
    void Save();
    void AskSaveFile();
    void ToggleVisibleOnly();

    TFormMain& m_form;
    TPageScriptus& m_page;
    TControlTree* m_tree;
    QTreeView* m_treeView;
    TScriptusRecording* m_recording;
    QString m_commandFile;
    QThread* m_reader = nullptr;
    bool m_readAgain = false;
    // Set by the read at start, which switches accessibility on first.
    bool m_enableAccessibility = false;
    std::vector<std::function<void()>> m_afterRead;
    // Selections that leave the panel as it is: mouse tracking shows the
    // pointer's position there, a rebuilt tree chooses the same control again.
    bool m_quietSelection = false;
};
