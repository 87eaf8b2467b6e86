// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/RecordingUi.h"

void TRecordingUi::SetCaption(const QString& text)
{
    caption = text;
}

void TRecordingUi::SetProtocolPageVisible(bool visible)
{
    protocolPageVisible = visible;
    windowCalls.append(QStringLiteral("SetProtocolPageVisible %1").arg(visible ? 1 : 0));
}

void TRecordingUi::RebuildObjectViews()
{
    ++objectViewRebuilds;
}

void TRecordingUi::RebuildClientViews()
{
    ++clientViewRebuilds;
}

void TRecordingUi::RefreshClientOnlineMarks()
{
    ++onlineMarkRefreshes;
}

void TRecordingUi::ProtocolEntry(const TProtocolEntry& entry, bool showInList, bool lastToFirst)
{
    std::lock_guard guard(m_lock);
    m_entries.push_back(entry);
    if (!showInList)
        return;
    if (lastToFirst)
        listRows.prepend(entry.message);
    else
        listRows.append(entry.message);
}

void TRecordingUi::OverviewMessage(TOverviewPane pane, const QString& block, bool)
{
    (pane == TOverviewPane::Client ? clientPane : serverPane).prepend(block);
}

void TRecordingUi::ShowMessage(TMessageKind, const QString& text)
{
    messageBoxes.append(text);
}

void TRecordingUi::SetWindowStart(TWindowStart start)
{
    static const char* const kNames[] = {"Shown", "Hidden", "InTray"};
    windowCalls.append(QStringLiteral("SetWindowStart ") + QLatin1String(kNames[static_cast<int>(start)]));
}

void TRecordingUi::SetActivePage(int index)
{
    windowCalls.append(QStringLiteral("SetActivePage %1").arg(index));
}

void TRecordingUi::SetListsReading(bool reading)
{
    windowCalls.append(QStringLiteral("SetListsReading %1").arg(reading ? 1 : 0));
}

void TRecordingUi::BuildAllViews()
{
    windowCalls.append(QStringLiteral("BuildAllViews"));
}

void TRecordingUi::UpdateActionStates()
{
    windowCalls.append(QStringLiteral("UpdateActionStates"));
}

void TRecordingUi::CompleteCreation()
{
    windowCalls.append(QStringLiteral("CompleteCreation"));
}

void TRecordingUi::RestoreLayout()
{
    windowCalls.append(QStringLiteral("RestoreLayout"));
}

void TRecordingUi::SaveLayout()
{
    windowCalls.append(QStringLiteral("SaveLayout"));
}

void TRecordingUi::ShowShutdownWindow(bool visible)
{
    windowCalls.append(QStringLiteral("ShowShutdownWindow %1").arg(visible ? 1 : 0));
}

void TRecordingUi::ShowShutdownNote(const QString& note)
{
    windowCalls.append(QStringLiteral("ShowShutdownNote ") + note);
}

void TRecordingUi::SetObjectStatusText(const QString& text)
{
    objectStatusTexts.append(text);
}

bool TRecordingUi::AskNewObjects(const QStringList& objects)
{
    newObjectPrompts.push_back(objects);
    return newObjectsAnswer;
}

bool TRecordingUi::AskRestart()
{
    ++restartPrompts;
    return restartAnswer;
}

void TRecordingUi::Clear()
{
    std::lock_guard guard(m_lock);
    m_entries.clear();
    listRows.clear();
    messageBoxes.clear();
    clientPane.clear();
    serverPane.clear();
    windowCalls.clear();
    objectStatusTexts.clear();
    objectViewRebuilds = clientViewRebuilds = onlineMarkRefreshes = 0;
}

QStringList TRecordingUi::Messages(const QString& category) const
{
    std::lock_guard guard(m_lock);
    QStringList out;
    for (const auto& e : m_entries)
        if (category.isEmpty() || e.category == category)
            out.append(e.message);
    return out;
}

std::vector<TProtocolEntry> TRecordingUi::Entries() const
{
    std::lock_guard guard(m_lock);
    return m_entries;
}

bool TRecordingUi::HasMessage(const QString& message) const
{
    return Messages().contains(message);
}
