// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "scriptus/ScriptusThread.h"

class TClientBase;
class TSession;

/// How a command file of an installation run ended, when not well: the word
/// of the report to the master server.
enum class TScriptusReport {
    Failed,
    NotFound,
    Stopped,
    Skipped
};

/// The report for a run's outcome; none for a completed run.
std::optional<TScriptusReport> ReportOf(TScriptusOutcome outcome);

/// Keeps the report of a command file until the next session with the master
/// server (a failure there must not pass for an installation that went well).
void NoteScriptusReport(const QString& commandFile, TScriptusReport report);
/// Reports not yet sent.
QStringList PendingScriptusReports();

/// Sends the kept reports, SCRIPTUSRESULT "<file>" <word>, one each, no reply.
/// Only inside TLS: a master that speaks it knows the request, an older one
/// would end the session at the unknown word.
void SendScriptusReports(TClientBase& client);

/// The master's handler: logs the report of a logged-in computer and keeps
/// the last one per computer in memory.
void HandleScriptusResult(TSession& session, const QStringList& words);
/// "<time> <file>: <outcome>" as the computer last reported it; "" when none.
QString LastScriptusReport(const QString& computer);
