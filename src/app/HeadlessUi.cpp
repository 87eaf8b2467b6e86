// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HeadlessUi.h"

THeadlessUi::THeadlessUi(std::FILE* out) : m_out(out) {}

void THeadlessUi::SetCaption(const QString& caption)
{
    m_caption = caption;
}

// Without a window there are no pages or views to change.
void THeadlessUi::SetProtocolPageVisible(bool) {}
void THeadlessUi::RebuildObjectViews() {}
void THeadlessUi::RebuildClientViews() {}
void THeadlessUi::RefreshClientOnlineMarks() {}

// No window, layout or views: the log shows what start-up and shutdown do.
void THeadlessUi::SetWindowStart(TWindowStart) {}
void THeadlessUi::SetActivePage(int) {}
void THeadlessUi::SetListsReading(bool) {}
void THeadlessUi::BuildAllViews() {}
void THeadlessUi::UpdateActionStates() {}
void THeadlessUi::CompleteCreation() {}
void THeadlessUi::RestoreLayout() {}
void THeadlessUi::SaveLayout() {}
void THeadlessUi::ShowShutdownWindow(bool) {}
void THeadlessUi::ShowShutdownNote(const QString&) {}

// A progress text has no place without a window.
void THeadlessUi::SetObjectStatusText(const QString&) {}

// Nobody can answer here; waiting out the countdown would only delay the yes.
bool THeadlessUi::AskNewObjects(const QStringList&)
{
    return true;
}

bool THeadlessUi::AskRestart()
{
    return true;
}

void THeadlessUi::ProtocolEntry(const TProtocolEntry& entry, bool, bool)
{
    WriteLine(entry.FileLine());
}

void THeadlessUi::OverviewMessage(TOverviewPane pane, const QString& block, bool)
{
    const QString head =
        pane == TOverviewPane::Client ? QStringLiteral("Client-Informationen") : QStringLiteral("Server-Informationen");
    QString text = block;
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
    if (text.endsWith(QStringLiteral(" | ")))
        text.chop(3);
    WriteLine(head + QStringLiteral(": ") + text);
}

void THeadlessUi::ShowMessage(TMessageKind, const QString& text)
{
    // Nobody could answer a box here; the text still reaches the log reader.
    WriteLine(QStringLiteral("Meldung: ") + QString(text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
}

void THeadlessUi::WriteLine(const QString& line)
{
    std::fputs(line.toUtf8().constData(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
}
