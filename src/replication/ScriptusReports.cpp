// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ScriptusReports.h"

#include <map>
#include <mutex>
#include <vector>

#include "base/DateTime.h"
#include "base/TextFields.h"
#include "foundation/PoolInterlocked.h"
#include "replication/ClientBase.h"
#include "replication/Session.h"

namespace {

// A file name is a field of one line; a longer one is cut for the master's memory.
constexpr qsizetype kMaxFileName = 255;

struct TReportWord {
    TScriptusReport report;
    const char* word;
    const char* text;
};

constexpr TReportWord kWords[] = {
    {TScriptusReport::Failed, "failed", "fehlgeschlagen"},
    {TScriptusReport::NotFound, "notfound", "Kontrollelement nicht gefunden"},
    {TScriptusReport::Stopped, "stopped", "abgebrochen"},
    {TScriptusReport::Skipped, "skipped", "nicht ausgeführt"},
};

const TReportWord* WordOf(TScriptusReport report)
{
    for (const TReportWord& entry : kWords)
        if (entry.report == report)
            return &entry;
    return nullptr;
}

const TReportWord* EntryOf(const QString& word)
{
    for (const TReportWord& entry : kWords)
        if (word == QLatin1String(entry.word))
            return &entry;
    return nullptr;
}

struct TPending {
    std::mutex lock;
    std::vector<std::pair<QString, TScriptusReport>> reports;
};

TPending& Pending()
{
    static TPending pending;
    return pending;
}

struct TReceived {
    std::mutex lock;
    std::map<QString, QString> last; // by lower-case computer name
};

TReceived& Received()
{
    static TReceived received;
    return received;
}

} // namespace

std::optional<TScriptusReport> ReportOf(TScriptusOutcome outcome)
{
    switch (outcome) {
    case TScriptusOutcome::Completed:
        return std::nullopt;
    case TScriptusOutcome::NotFound:
        return TScriptusReport::NotFound;
    case TScriptusOutcome::Failed:
        return TScriptusReport::Failed;
    case TScriptusOutcome::Terminated:
        return TScriptusReport::Stopped;
    }
    return TScriptusReport::Failed;
}

void NoteScriptusReport(const QString& commandFile, TScriptusReport report)
{
    TPending& pending = Pending();
    std::lock_guard guard(pending.lock);
    pending.reports.emplace_back(commandFile, report);
}

QStringList PendingScriptusReports()
{
    TPending& pending = Pending();
    std::lock_guard guard(pending.lock);
    QStringList lines;
    for (const auto& [file, report] : pending.reports)
        lines << QStringLiteral("SCRIPTUSRESULT %1 %2").arg(QuoteField(file), QLatin1String(WordOf(report)->word));
    return lines;
}

void SendScriptusReports(TClientBase& client)
{
    if (!client.Connection().Encrypted())
        return;
    TPending& pending = Pending();
    for (const QString& line : PendingScriptusReports()) {
        try {
            client.Send(line);
        } catch (const std::exception&) {
            return; // kept for the next session; Send logged why
        }
        std::lock_guard guard(pending.lock);
        pending.reports.erase(pending.reports.begin());
    }
}

void HandleScriptusResult(TSession& session, const QStringList& words)
{
    const QString computer = session.LocalComputerName();
    const TReportWord* entry = EntryOf(words.value(2));
    if (computer.isEmpty() || words.size() < 3 || entry == nullptr) {
        session.Log(QStringLiteral("Skriptus-Ergebnis ohne Anmeldung oder in unbekannter Form verworfen"));
        return;
    }
    const QString file = UnquoteField(words.at(1)).left(kMaxFileName);
    const QString text = QStringLiteral("Skriptus-Kommandodatei \"%1\" auf \"%2\": %3")
                             .arg(file, computer, QString::fromUtf8(entry->text));
    session.Log(text);
    ServerMessage(session.PeerName(), text);
    TReceived& received = Received();
    std::lock_guard guard(received.lock);
    received.last[computer.toLower()] =
        FormatDateTime(DateTimeNow()) + QLatin1Char(' ') + file + QStringLiteral(": ") + QString::fromUtf8(entry->text);
}

QString LastScriptusReport(const QString& computer)
{
    TReceived& received = Received();
    std::lock_guard guard(received.lock);
    const auto found = received.last.find(computer.toLower());
    return found == received.last.end() ? QString() : found->second;
}
