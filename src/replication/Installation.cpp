// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/Installation.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include "catalogue/SyncObject.h"
#include "foundation/ListenerControl.h"
#include "foundation/MainConfig.h"
#include "foundation/PendingMoves.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolSystem.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"
#include "platform/EventLog.h"
#include "platform/ProgramPaths.h"
#include "platform/ServiceManager.h"
#include "platform/ShellOpen.h"
#include "platform/VersionInfo.h"
#include "replication/Broadcast.h"
#include "replication/ClientBase.h"
#include "replication/Protocol.h"
#include "replication/ScriptusReports.h"
#include "replication/StagingFile.h"
#include "replication/Transfer.h"
#include "scriptus/ScriptusRunner.h"

namespace {

constexpr qsizetype kCopyPiece = 256 * 1024;

struct TRunState {
    bool restartRequested = false;
    bool replaceRequested = false;
    std::vector<TSyncObject*> toStart;
};

bool ConfigFlag(const char* name)
{
    return MainConfig().GetBoolean(QString::fromLatin1(name));
}

// The catalogue in list order, taken without holding the lock while working:
// every step below logs, and logging under the object lock could deadlock
// with the main client. A client never removes objects while it runs.
std::vector<TSyncObject*> CatalogueSnapshot()
{
    std::vector<TSyncObject*> objects;
    TReadGuard guard(ObjectLock());
    for (TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
        objects.push_back(object);
    return objects;
}

bool IsOwnExecutable(const QString& targetPath)
{
    const QFileInfo target(targetPath);
    const QString folder = QFileInfo(target.absolutePath()).canonicalFilePath();
    return !folder.isEmpty() && folder + QLatin1Char('/') + target.fileName() == ExecutablePath();
}

// A deletion is reported in the overview and, for a service, in the system log.
void Report(TClientBase& client, const QString& message)
{
    client.Log(message);
    ClientMessage(message);
    if (RunningAsService())
        WriteEventLog(message, 1);
}

void DeleteTarget(TClientBase& client, const TSyncObject& object)
{
    const QString target = object.TargetPath();
    if (!QFile::remove(target)) {
        Report(client,
               QStringLiteral("Objekt \"%1\" konnte nicht gelöscht werden. Ist es schreibgeschützt?").arg(target));
        return;
    }
    Confirm(client, object);
    QFile::remove(BackupFilePath(target));
    const QString folder = object.TargetFolder();
    if (ConfigFlag("ClientDeleteEmptyDirs") && QDir().rmdir(folder))
        client.Log(QStringLiteral("Ordner \"%1\" wurde gelöscht").arg(folder));
    Report(client, QStringLiteral("Objekt \"%1\" wurde gelöscht").arg(target));
}

bool EnsureTargetFolder(TClientBase& client, const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    client.Log(QStringLiteral("Erstelle Ordner \"%1\"").arg(folder));
    if (QDir().mkpath(folder))
        return true;
    client.Log(QStringLiteral("Der Ordner \"%1\" konnte nicht erstellt werden").arg(folder));
    return false;
}

// Bytes from any source count only when they are what the master server
// vouches for; without its digest the local copy is not used.
bool CopyLocally(TClientBase& client, const TSyncObject& object, TStagingFile& staging, const TContentDigest& digest)
{
    const QString source = object.ResolvedSourcePath();
    client.Log(QStringLiteral("Objekt \"%1\" existiert bereits lokal").arg(source));
    try {
        staging.Start();
        QFile in(source);
        if (!in.open(QIODevice::ReadOnly))
            throw EStagingError(in.errorString());
        QByteArray piece(kCopyPiece, Qt::Uninitialized);
        for (qint64 read; (read = in.read(piece.data(), piece.size())) != 0;) {
            if (read < 0)
                throw EStagingError(in.errorString());
            staging.Write(piece.constData(), read);
        }
        staging.Finish();
    } catch (const EStagingError&) {
        staging.Discard();
        client.Log(QStringLiteral("Objekt \"%1\" konnte nicht kopiert werden").arg(object.SourceName()));
        return false;
    }
    if (!AcceptStaged(staging, digest, object.SourceName(), source))
        return false;
    client.Log(QStringLiteral("Objekt \"%1\" wurde installiert").arg(staging.Path()));
    return true;
}

bool MakeEmpty(TClientBase& client, TStagingFile& staging)
{
    try {
        staging.Start();
        staging.Finish();
        return true;
    } catch (const EStagingError& error) {
        client.Log(error.Message());
        return false;
    }
}

// The bytes the master server sends, checked against its digest when it
// gives one. A count of 0 is an empty file only for an object that is
// empty: for any other it is a negative answer, which must never replace
// the target.
bool FromMaster(TClientBase& client, TSyncObject& object, TStagingFile& staging, std::optional<TContentDigest>& digest,
                qint32 count)
{
    const qint64 expected = digest ? digest->size : object.Size();
    if (count < 0 || (count == 0 && expected != 0))
        return false;
    if (count == 0)
        return MakeEmpty(client, staging);
    client.Log(QStringLiteral("Schreibe Objekt \"%1\" (%2 Bytes)").arg(staging.Path()).arg(count));
    // An older master server sends no digest: its own bytes are taken as
    // they come, as far as the size of its object line.
    return !digest || AcceptStaged(staging, *digest, object.SourceName(), client.ConnectInfo().host);
}

// The longest a client waits for its peers, beyond which the master sends
// the object whatever it holds: long enough for a fleet on slow links, short
// enough that a peer that only ever says it is busy cannot hold a client.
QDeadlineTimer Patience(qint64 size)
{
    constexpr qint64 kBaseMs = 60 * 1000;
    constexpr qint64 kBytesPerMs = 256; // 256 KB/s
    return QDeadlineTimer(kBaseMs + size / kBytesPerMs);
}

// Rounds in which the master says it sent copies but no peer answers: the
// peers cannot be reached from here, and waiting for them is in vain.
constexpr int kFruitlessRounds = 3;

// A pause before asking the peers again, spread so that the waiting clients
// do not all ask in the same moment, and longer than the broadcast filter's
// interval. False when the client is to end meanwhile.
bool PauseForPeers(TClientBase& client)
{
    const int ms = QRandomGenerator::global()->bounded(1000, 2500);
    client.Log(QStringLiteral("Warte %1 ms, dann werden die Provider erneut gefragt").arg(ms));
    const QDeadlineTimer pause(ms);
    while (!pause.hasExpired()) {
        if (client.TerminateRequested())
            return false;
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(100, pause.remainingTime())));
    }
    return !client.TerminateRequested();
}

// A client that finds peers may wait: while the master sends the object to
// others, or once it sent a few copies, it asks such a client to come back
// shortly. The client then asks its peers again, and the master once more.
bool FromMasterOrPeers(TClientBase& client, TSyncObject& object, TStagingFile& staging,
                       std::optional<TContentDigest>& digest)
{
    const QDeadlineTimer patience = Patience(digest->size);
    int fruitless = 0;
    while (ConfigFlag("ClientFindObjectsOverBroadcast") && !patience.hasExpired() && fruitless < kFruitlessRounds) {
        const TFetchOrLater answer = FetchUnlessBusy(client, object, staging, digest);
        if (!answer.later)
            return FromMaster(client, object, staging, digest, answer.count);
        if (!PauseForPeers(client))
            return false;
        object.ClearProviders();
        QueryDownload(object);
        const TProviderOutcome outcome = FetchFromProviders(object, staging, *digest);
        if (outcome == TProviderOutcome::Delivered)
            return true;
        if (outcome == TProviderOutcome::None && answer.later->copiesOut > 0)
            ++fruitless;
    }
    return FromMaster(client, object, staging, digest, FetchFromServer(client, object, staging, digest));
}

// First the master's digest alone, then a local copy, the providers and at
// last the master server's bytes; every one judged by that digest. An older
// master answers the question for the digest with the object itself.
bool ObtainBytes(TClientBase& client, TSyncObject& object, TStagingFile& staging)
{
    std::optional<TContentDigest> digest;
    const qint32 count = FetchFromServer(client, object, staging, digest, TDownloadAsk::DigestOnly);
    if (count != 0 || !digest) {
        StopProviderCollection();
        return FromMaster(client, object, staging, digest, count);
    }
    if (digest->size == 0)
        return MakeEmpty(client, staging);
    // Only a source that really is current here is copied: on a client whose
    // program path equals the master's, the running program would otherwise
    // pass for the new version of itself.
    if (object.MatchesFile(object.ResolvedSourcePath()) && CopyLocally(client, object, staging, *digest))
        return true;
    if (FetchFromProviders(object, staging, *digest) == TProviderOutcome::Delivered)
        return true;
    return FromMasterOrPeers(client, object, staging, digest);
}

bool ObtainFile(TClientBase& client, TSyncObject& object, TStagingFile& staging)
{
    try {
        if (staging.Start())
            client.Log(QStringLiteral("Verbliebene Datei \"%1\" wurde entfernt").arg(staging.Path()));
    } catch (const EStagingError& error) {
        client.Log(error.Message());
        return false;
    }
    const bool obtained = ObtainBytes(client, object, staging);
    if (obtained)
        staging.Stamp(object.ModifiedDate());
    return obtained;
}

bool MakeBackup(TClientBase& client, TStagingFile& staging)
{
    if (!staging.TargetExists())
        return true;
    const QString target = staging.TargetPath();
    client.Log(QStringLiteral("Erstelle Sicherungskopie \"%1\" des bisherigen Objekts \"%2\"")
                   .arg(QFileInfo(BackupFilePath(target)).fileName(), target));
    return staging.MoveTargetToBackup();
}

void RegisterTarget(TClientBase& client, const TSyncObject& object, const QString& target)
{
    if (object.Autostart()) {
        client.Log(QStringLiteral("Registriere Ziel als Autostart-Objekt"));
        try {
            if (SetAutostart(target, true) == 0)
                client.Log(QStringLiteral("Autostart-Eintrag für \"%1\" konnte nicht geschrieben werden").arg(target));
        } catch (const std::exception& error) {
            client.Log(QStringLiteral("Bei der Autostart-Registrierung ") + ExceptionSuffix(error));
        }
    }
    if (object.RegisterOcx()) {
        client.Log(QStringLiteral("Registriere Zielobjekt als OCX-Control"));
        const QString regsvr32 = FindProgramOnPath(QStringLiteral("regsvr32"));
        if (regsvr32.isEmpty())
            client.Log(QStringLiteral("regsvr32 wurde nicht gefunden, die OCX-Registrierung entfällt"));
        else
            ShellOpen(regsvr32, {QStringLiteral("/s"), target});
    }
}

// False when the new file could not take the target's place; the previous
// version, when this run moved it aside, then goes back.
bool PutInPlace(TClientBase& client, const TSyncObject& object, TStagingFile& staging, bool backedUp, TRunState& state)
{
    const QString target = object.TargetPath();
    client.Log(QStringLiteral("Benenne neues Objekt \"%1\" um in \"%2\"").arg(staging.Path(), target));
    if (!staging.PutInPlace()) {
        if (backedUp)
            staging.RestoreBackup();
        client.Log(QStringLiteral("Objekt \"%1\" konnte nicht in \"%2\" umbenannt werden").arg(staging.Path(), target));
        return false;
    }
    if (!IsOwnExecutable(target)) {
        RegisterTarget(client, object, target);
        return true;
    }
    if (ConfigFlag("ClientSilentInstall"))
        client.SetRestartConfirmed(true);
    else
        client.AskRestart();
    state.restartRequested = state.restartRequested || client.RestartConfirmed();
    return true;
}

void InstallAtNextStart(TClientBase& client, const TSyncObject& object, const TStagingFile& staging, TRunState& state)
{
    const QString target = object.TargetPath();
    if (!IsOwnExecutable(target)) {
        if (RecordPendingMove(target, staging.Path(), staging.Digest()))
            client.Log(QStringLiteral("Objekt-Installation erfolgt beim nächsten Rechnerstart"));
        else
            client.Log(QStringLiteral("Die Installation von \"%1\" beim nächsten Rechnerstart konnte nicht "
                                      "vorgemerkt werden")
                           .arg(target));
        return;
    }
    const QString copy = ReplaceCopyPath();
    QFile::remove(copy);
    if (!QFile::copy(ExecutablePath(), copy)) {
        client.Log(QStringLiteral("Objekt \"%1\" konnte nicht kopiert werden").arg(copy));
        return;
    }
    QFile::setPermissions(copy, QFile::permissions(ExecutablePath()));
    state.replaceRequested = true;
}

void InstallObject(TClientBase& client, TSyncObject& object, TRunState& state)
{
    // A command file may live in a subfolder of the target folder.
    const QString target = object.TargetPath();
    if (!EnsureTargetFolder(client, target.left(target.lastIndexOf(QLatin1Char('/')) + 1)))
        return;
    std::optional<TStagingFile> staging;
    try {
        staging.emplace(object.TargetPath());
    } catch (const ESafeFolderError& error) {
        client.Log(error.Message());
        return;
    }
    if (!ObtainFile(client, object, *staging))
        return;
    Confirm(client, object);
    const bool hadTarget = staging->TargetExists();
    if (!MakeBackup(client, *staging)) {
        InstallAtNextStart(client, object, *staging, state);
        return;
    }
    if (PutInPlace(client, object, *staging, hadTarget, state) &&
        (object.StartAfterTransfer() || !object.ScriptusFile().isEmpty()))
        state.toStart.push_back(&object);
}

// The command files of the objects to start, in catalogue order. An object
// remembered only for starting has none: nothing to replay. A command file
// lies in the Scriptus folder, else in the target folder under its relative
// name, else (where older clients put it) under its base name.
QStringList ScriptsToRun(TClientBase& client, const TRunState& state)
{
    QStringList scripts;
    for (const TSyncObject* object : state.toStart) {
        const QString name = object->ScriptusFile();
        if (name.isEmpty())
            continue;
        if (!TSyncObject::IsSafeScriptusName(name)) {
            client.Log(TSyncObject::ScriptusNameRefusal(name));
            continue;
        }
        QString script = object->ResolvedScriptusPath();
        if (!QFileInfo::exists(script))
            script = object->TargetFolder() + name;
        if (!QFileInfo::exists(script))
            script = object->TargetFolder() + name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
        scripts.append(script);
    }
    return scripts;
}

// Where the run's scripts replay: the desktop session of this instance, or,
// for the service and where no display can be opened, a desktop of the
// run's own.
struct TScriptsDesktop {
    bool ready = false;
    QString reason; // why not, when not ready
    std::unique_ptr<TOwnDesktop> own;
};

// Made before the run's objects start: a Qt program reads the accessibility
// switch once, as it starts, and an installer must live on the desktop its
// script replays on.
TScriptsDesktop PrepareDesktop(TClientBase& client)
{
    TScriptsDesktop desktop;
    WithScriptusRunner([&](TScriptusRunner* runner) {
        if (runner == nullptr)
            return;
        if (!RunningAsService() && runner->DesktopReady(&desktop.reason)) {
            runner->EnableAccessibility();
            desktop.ready = true;
            return;
        }
        desktop.own = runner->StartOwnDesktop(&desktop.reason);
        desktop.ready = desktop.own != nullptr;
        if (desktop.ready)
            client.Log(QStringLiteral("Eigene Anzeige %1 für die Skriptus-Kommandodateien gestartet")
                           .arg(desktop.own->Name()));
        else
            client.Log(QStringLiteral("Eigene Anzeige für die Skriptus-Kommandodateien konnte nicht gestartet "
                                      "werden: %1")
                           .arg(desktop.reason));
    });
    return desktop;
}

// The own desktop ends once the programs on it have gone too, at the latest
// after the Scriptus time-out or when the client is to end.
void EndOwnDesktop(TClientBase& client, std::unique_ptr<TOwnDesktop> desktop)
{
    if (!desktop)
        return;
    const QDeadlineTimer limit(MainConfig().GetInteger(QStringLiteral("ScriptusTimeout")));
    int programs = desktop->ProgramsOnIt();
    while (programs > 0 && !limit.hasExpired() && !client.TerminateRequested()) {
        QThread::msleep(200);
        programs = desktop->ProgramsOnIt();
    }
    const QString name = desktop->Name();
    desktop.reset();
    if (programs > 0)
        client.Log(QStringLiteral("Eigene Anzeige %1 beendet, %2 Programm(e) darauf wurden mit ihr beendet")
                       .arg(name)
                       .arg(programs));
    else
        client.Log(QStringLiteral("Eigene Anzeige %1 beendet").arg(name));
}

void StartObjects(TClientBase& client, const TRunState& state)
{
    for (const TSyncObject* object : state.toStart) {
        if (!object->StartAfterTransfer())
            continue;
        const QString target = object->TargetPath();
        client.Log(QStringLiteral("Starte Zielobjekt \"%1\"").arg(target));
        if (!ShellOpen(target))
            client.Log(QStringLiteral("Zielobjekt \"%1\" konnte nicht gestartet werden").arg(target));
    }
}

void CloseConnection(TClientBase& client)
{
    if (!client.Connection().IsOpen())
        return;
    client.Log(QStringLiteral("Verbindung wird beendet"));
    client.Connection().Disconnect();
}

// One after the other, each waiting for the end of the one before; a file
// that does not load is reported by the reader and passed over.
void RunScripts(TClientBase& client, const QStringList& scripts, const TScriptsDesktop& desktop)
{
    const auto stop = [&client] { return client.TerminateRequested(); };
    WithScriptusRunner([&](TScriptusRunner* runner) {
        for (const QString& script : scripts) {
            if (client.TerminateRequested())
                return;
            const QString file = QFileInfo(script).fileName();
            if (runner == nullptr) {
                client.Log(
                    QStringLiteral("Kein Skriptus-Ausführer verfügbar, \"%1\" wird nicht ausgeführt").arg(script));
                NoteScriptusReport(file, TScriptusReport::Skipped);
                continue;
            }
            if (!desktop.ready) {
                client.Log(QStringLiteral("Skriptus-Kommandodatei \"%1\" wird nicht ausgeführt: %2")
                               .arg(script, desktop.reason));
                NoteScriptusReport(file, TScriptusReport::Skipped);
                continue;
            }
            TScriptusFile commands;
            if (!desktop.own && !runner->LoadCommandFile(script, commands)) {
                NoteScriptusReport(file, TScriptusReport::Failed);
                continue;
            }
            client.Log(QStringLiteral("Installiere Zielobjekt \"%1\"").arg(script));
            const TScriptusOutcome outcome = desktop.own ? desktop.own->Run(script, stop) : runner->Run(commands, stop);
            if (const auto report = ReportOf(outcome))
                NoteScriptusReport(file, *report);
        }
    });
}

// A service is restarted by systemd: a process it did not start would die
// with the service's processes.
bool RestartProgram()
{
    if (RunningAsService())
        return RunSystemctl({QStringLiteral("--no-block"), QStringLiteral("restart"), ServiceUnitName()}).exitCode == 0;
    return ShellOpen(ExecutablePath());
}

void SetListenersRunning(bool running)
{
    TPoolInterlocked::Synchronize([running] { running ? ActivateListeners() : DeactivateListeners(); });
}

// When the successor cannot be started, this instance stays: ending it would
// leave the computer without the program.
void EndOfRun(TClientBase& client, const TRunState& state)
{
    if (!state.restartRequested && !state.replaceRequested)
        return;
    CloseConnection(client);
    SetListenersRunning(false);
    // Exactly two parameters make the copy a file-move instance: the new
    // program's staging file and the place it is to take.
    const bool started = state.restartRequested
                             ? RestartProgram()
                             : ShellOpen(ReplaceCopyPath(), {StagingFilePath(ExecutablePath()), ExecutablePath()});
    if (!started) {
        client.Log(QStringLiteral("Das Programm konnte nicht neu gestartet werden und läuft weiter"));
        SetListenersRunning(true);
        return;
    }
    client.RequestApplicationEnd();
}

// A staging file outlives its object when a run broke off or the object was
// withdrawn: once no installation needs it, it goes. One that a pending
// installation at the next start names stays, as does the program's own,
// which its replace copy takes over.
void RemoveLeftoverStagingFiles(const std::vector<TSyncObject*>& objects)
{
    for (const TSyncObject* object : objects) {
        const QString target = object->TargetPath();
        const QString staging = StagingFilePath(target);
        if (!QFileInfo::exists(staging) || IsOwnExecutable(target) || object->NeedsInstallation() ||
            object->PendingInRunOnce())
            continue;
        QFile::remove(staging);
    }
}

// The walk over the catalogue up to its saving; true when the connection
// broke meanwhile.
bool InstallObjects(TClientBase& client, TRunState& state)
{
    // A remote call-back may start an update while one is installing: two
    // walks at once would write the same staging files. The later one finds
    // the work done. Scripts run outside: a session waiting here that long
    // would lose its connection.
    static std::mutex running;
    std::lock_guard guard(running);
    const std::vector<TSyncObject*> objects = CatalogueSnapshot();
    for (TSyncObject* object : objects) {
        // Nothing in the walk closes the connection on purpose: closed means
        // broken, and nothing more can be fetched or confirmed on it.
        if (!client.Connection().IsOpen())
            break;
        if (!object->NeedsInstallation())
            continue;
        if (object->DeleteTarget())
            DeleteTarget(client, *object);
        else
            InstallObject(client, *object, state);
    }
    const bool broken = !client.Connection().IsOpen();
    RemoveLeftoverStagingFiles(objects);
    SaveObjectList();
    return broken;
}

} // namespace

QString ReplaceCopyPath()
{
    return ProgramFolder() + ProductName() + QStringLiteral("Replace");
}

QStringList NewObjectLines()
{
    QStringList lines;
    for (const TSyncObject* object : CatalogueSnapshot()) {
        if (!object->NeedsInstallation())
            continue;
        QString line = object->TargetPath();
        if (const QString description = object->Description(); !description.isEmpty())
            line += QStringLiteral(" (%1)").arg(description);
        if (object->DeleteTarget())
            line += QStringLiteral(" löschen");
        lines.append(line);
    }
    return lines;
}

bool AskNewObjects()
{
    const QStringList lines = NewObjectLines();
    if (lines.isEmpty()) {
        Log(QStringLiteral("Main"),
            QStringLiteral("Die Liste mit den zu installierenden Objekten sollte eigentlich nicht angezeigt werden"));
        return false;
    }
    return TUiAdapter::AskNewObjects(lines);
}

void RunInstallation(TClientBase& client)
{
    TRunState state;
    const bool broken = InstallObjects(client, state);
    const QStringList scripts = ScriptsToRun(client, state);
    TScriptsDesktop desktop;
    if (!scripts.isEmpty())
        desktop = PrepareDesktop(client);
    StartObjects(client, state);
    // A script may take minutes: the server would end a session that long
    // without a request, so the conversation ends before they run.
    if (desktop.ready)
        CloseConnection(client);
    RunScripts(client, scripts, desktop);
    EndOwnDesktop(client, std::move(desktop.own));
    EndOfRun(client, state);
    // The run must not pass for a synchronisation that went well.
    if (broken)
        throw ESocketError(QStringLiteral("Die Verbindung zum Server ist abgebrochen"));
}
