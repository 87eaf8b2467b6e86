// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include "ui/views/MainViewsBase.h"

class QStandardItem;
class QStandardItemModel;
class TSyncClient;
class TSyncObject;

enum class TViewKind {
    ObjectTree = 0,
    ObjectList = 1
};

/// What the object views show on the main thread; the objects page sets it.
/// A build whose target is missing runs, but nothing shows.
struct TObjectViewTargets {
    QStandardItemModel* tree = nullptr;
    TRowListModel* list = nullptr;
    /// A panel of the objects page's status bar (0 first, 1 second).
    std::function<void(int panel, const QString& text)> status;
    /// The list's style changed to that of the starting build.
    std::function<void(int style)> listStyle;
    /// The list shows a client-filtered selection (or no longer does).
    std::function<void(bool filtered)> filtered;
    /// The information box with OK.
    std::function<void(const QString& text)> information;
    /// The tree holds its root again.
    std::function<void(QStandardItem* root)> treeStarted;
    /// A build has handed over everything it found.
    std::function<void(TViewKind kind)> built;
    /// The key of the selected tree node; empty for none or "Alle Ordner".
    std::function<QString()> selectedNode;
};

void SetObjectViewTargets(const TObjectViewTargets& targets);
const TObjectViewTargets& ObjectViewTargets();

/// Everything one build needs to know from the window, copied when it starts.
struct TViewBuildParams {
    QString nodeKey;      ///< the selected tree node's key, empty: no node filter
    QString filterClient; ///< the client filter's name, empty: none
    bool negated = false; ///< "Suche umkehren"
    int style = kStyleSymbols;
};

/// One run of the object tree or the object list builder. It walks the object
/// list on its own thread and hands rows to the main thread in batches that
/// carry its build generation and copies of the texts; it never waits for
/// the main thread, so stopping it from there cannot deadlock. A newer build
/// first stops and destroys its predecessor.
class TMainViewsInThread : public QThread
{
public:
    TMainViewsInThread(TViewKind kind, TMainViewsInThread* previous, quint64 generation, TViewBuildParams params);

    /// What one hand-over to the main thread carries.
    struct TBatch;

    TViewKind ViewKind() const { return m_kind; }
    void SetClearSlotAtEnd(bool clear) { m_clearSlotAtEnd = clear; }

protected:
    void run() override;

private:
    void StopPrevious();
    void BuildTree();
    void BuildList();
    /// The list successor; with wait, sleeps while imports may still append one.
    TSyncObject* Advance(TSyncObject* current, bool wait);
    /// Hands what has gathered to the main thread: at once with force, else
    /// when enough rows gathered or enough time passed.
    void Flush(bool force);
    void Status(int panel, const QString& text);
    void PostLog(const QString& message);
    const char* Name() const;

    TViewKind m_kind;
    TMainViewsInThread* m_previous;
    quint64 m_generation;
    TViewBuildParams m_params;
    std::atomic<bool> m_clearSlotAtEnd{true};
    int m_objectCount = 0;
    int m_shownCount = 0;
    int m_folderCount = 0;
    std::shared_ptr<TBatch> m_batch;
    QElapsedTimer m_sinceFlush;
};

/// Starts a build of the view; a running one is replaced.
void StartViewBuild(TViewKind kind);
/// Stops the view's build and waits until it, any predecessor and any build
/// a cancel made at the same time is stopping have ended; rows it had not yet
/// handed over are dropped. Call before removing
/// or regenerating objects, without holding the object lock.
void CancelViewBuild(TViewKind kind);
/// Both builds.
void CancelObjectViewBuilds();
/// For the shutdown: true when no build of the kind runs; otherwise asks it
/// to end (it disposes of itself) and returns false.
bool RequestViewStop(TViewKind kind);
/// Whether a build of the kind is in its slot.
bool ViewBuildRunning(TViewKind kind);
/// Lets the orderly shutdown wait for the two builders.
void RegisterViewShutdown();

/// The object list's client filter (kept by the client's name, so a removed
/// client cannot leave a dangling filter); nullptr clears it.
void SetObjectListClientFilter(const TSyncClient* client);
TSyncClient* ObjectListClientFilter();
/// The client list's object filter (kept by the object's source name).
void SetClientListObjectFilter(const TSyncObject* object);
TSyncObject* ClientListObjectFilter();
/// "Suche umkehren" of the object list and of the client list.
void SetObjectListFilterNegated(bool negated);
bool ObjectListFilterNegated();
void SetClientListFilterNegated(bool negated);
bool ClientListFilterNegated();
