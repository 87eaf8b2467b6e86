// SPDX-License-Identifier: GPL-3.0-or-later
#include <optional>
#include <variant>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/ContentDigest.h"
#include "foundation/PendingMoves.h"
#include "foundation/PoolInterlocked.h"
#include "platform/Autostart.h"
#include "platform/ProgramPaths.h"
#include "platform/RegistryStore.h"
#include "replication/Broadcast.h"
#include "replication/Installation.h"
#include "replication/ReplicationFixture.h"
#include "replication/ReplicationSetup.h"
#include "replication/ScriptusReports.h"
#include "replication/StagingFile.h"
#include "replication/Transfer.h"
#include "scriptus/ScriptusRunner.h"

namespace {

// Stands in for a desktop of the run's own: its steps leave entries of
// category "Test"; programs stay on it for the given number of looks.
class TFakeOwnDesktop : public TOwnDesktop
{
public:
    explicit TFakeOwnDesktop(int looksWithPrograms) : m_looksWithPrograms(looksWithPrograms)
    {
        Log(QStringLiteral("Test"), QStringLiteral("eigene Anzeige an"));
    }
    ~TFakeOwnDesktop() override { Log(QStringLiteral("Test"), QStringLiteral("eigene Anzeige aus")); }
    QString Name() const override { return QStringLiteral(":99"); }
    TScriptusOutcome Run(const QString& commandFile, const std::function<bool()>& /*stop*/) override
    {
        Log(QStringLiteral("Test"), QStringLiteral("auf eigener Anzeige: ") + QFileInfo(commandFile).fileName());
        return commandFile.contains(QStringLiteral("falsch")) ? TScriptusOutcome::Failed : TScriptusOutcome::Completed;
    }
    int ProgramsOnIt() const override { return m_looksWithPrograms-- > 0 ? 1 : 0; }

private:
    mutable int m_looksWithPrograms;
};

// Stands in for the desktop: each call leaves a protocol entry of category
// "Test", so its order among the client's entries shows. A file whose name
// holds "kaputt" does not load; a run of a file whose name holds "lang" lasts
// until it is asked to stop.
class TFakeScriptus : public TScriptusRunner
{
public:
    bool DesktopReady(QString* reason) override
    {
        *reason = QStringLiteral("keine Anzeige im Test");
        return ready;
    }
    void EnableAccessibility() override { Log(QStringLiteral("Test"), QStringLiteral("Barrierefreiheit an")); }
    std::unique_ptr<TOwnDesktop> StartOwnDesktop(QString* reason) override
    {
        if (ownDesktopLooks < 0) {
            *reason = QStringLiteral("keine eigene Anzeige im Test");
            return nullptr;
        }
        return std::make_unique<TFakeOwnDesktop>(ownDesktopLooks);
    }
    bool LoadCommandFile(const QString& path, TScriptusFile& script) override
    {
        Log(QStringLiteral("Test"), QStringLiteral("lade ") + QFileInfo(path).fileName());
        script.Sequence.resize(1);
        m_path = path;
        return !path.contains(QStringLiteral("kaputt"));
    }
    TScriptusOutcome Run(const TScriptusFile& script, const std::function<bool()>& stop) override
    {
        Log(QStringLiteral("Test"), QStringLiteral("führe %1 Zeilen aus").arg(script.Sequence.size()));
        if (failing && m_path.contains(QStringLiteral("falsch")))
            return TScriptusOutcome::Failed;
        if (!m_path.contains(QStringLiteral("lang")))
            return TScriptusOutcome::Completed;
        stopped = WaitForStop(stop);
        return stopped ? TScriptusOutcome::Terminated : TScriptusOutcome::Completed;
    }

    std::atomic<bool> ready{true};
    // Looks at the own desktop that still find programs on it; none at all when negative.
    std::atomic<int> ownDesktopLooks{-1};
    std::atomic<bool> stopped{false};
    std::atomic<bool> failing{true};

private:
    static bool WaitForStop(const std::function<bool()>& stop)
    {
        for (int i = 0; i < 1000; ++i) {
            if (stop())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    QString m_path;
};

// The server and the client share one catalogue: an object whose source file
// matches it is copied locally, one whose date differs from its source file's
// is downloaded from the server, which serves the source file.
class TInstallationTest : public TReplicationTest
{
protected:
    void TearDown() override
    {
        SetScriptusRunner(nullptr);
        TReplicationTest::TearDown();
    }

    void Install()
    {
        RunClient([](TClientBase& client) { RunInstallation(client); });
    }

    // The update sequence exactly as the program plugs it in.
    void Update() { RunClient(SequenceOf(TConnectKind::Update)); }

    // An object that is not current here, so it has to come over the wire.
    TSyncObject* MakeRemoteObject(const QString& name, const QByteArray& content)
    {
        TSyncObject* object = MakeObject(name, content);
        object->SetModifiedDate(LaterDate());
        return object;
    }

    static TDateTime LaterDate() { return SomeDate() + 1.0; }

    static TDateTime DateOf(const QString& path) { return FileLastWriteTime(path).value_or(0); }

    // Several test objects share an id, so the server's log tells them apart.
    bool Confirmed(const TSyncObject& object) const
    {
        return Logged(QStringLiteral("Server"),
                      QStringLiteral("Übertragung des Objekts \"%1\" bestätigt").arg(object.SourceName()));
    }
    // What the client sent. The master records only confirmations of objects
    // it offers, and a remote object is one whose source does not match it
    // here, so the master keeps no record of those: the client's part is the
    // confirmation it sends.
    bool ConfirmationSent(const TSyncObject& object) const
    {
        return Logged(QStringLiteral("Client"), QStringLiteral("Anfrage \"DOWNLOAD_OK \"%1\" %2\" gesendet")
                                                    .arg(object.SourceName(), NumberToText(object.ComputeId())));
    }

    bool ClientLogMentions(const QString& text) const
    {
        for (const QString& message : m_ui.Messages(QStringLiteral("Client")))
            if (message.contains(text))
                return true;
        return false;
    }

    static QString Quote(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }
};

TEST_F(TInstallationTest, FetchedObjectTakesTheTargetsPlaceAndTheOldOneBecomesTheOnlyBackup)
{
    TSyncObject* object = MakeRemoteObject(QStringLiteral("app.txt"), "die neue Fassung");
    const QString target = Home("Target/app.txt");
    WriteFile(target, "alt");
    WriteFile(Home("Target/app.backup"), "uralt");

    Install();
    EXPECT_TRUE(Logged(QStringLiteral("Server"),
                       QStringLiteral("Objekt \"") + Home("Objects/app.txt") + QStringLiteral("\" wird übertragen")));
    EXPECT_EQ(ReadFile(target), QByteArray("die neue Fassung"));
    EXPECT_EQ(DateOf(target), LaterDate());
    EXPECT_EQ(QFileInfo(target).size(), object->Size());
    EXPECT_TRUE(object->IsInstalled());
    EXPECT_EQ(ReadFile(Home("Target/app.backup")), QByteArray("alt"));
    EXPECT_FALSE(QFile::exists(StagingFilePath(target)));
    EXPECT_TRUE(ConfirmationSent(*object));
    EXPECT_TRUE(Logged(QStringLiteral("Server"), QStringLiteral("Bestätigung des Objekts \"app.txt\" abgelehnt")));
    EXPECT_EQ(DownloadCount(), 0);

    Install();
    EXPECT_FALSE(ClientLogMentions(QStringLiteral("wird übertragen")));
    EXPECT_FALSE(ClientLogMentions(QStringLiteral("DOWNLOAD_OK")));
    EXPECT_EQ(ReadFile(Home("Target/app.backup")), QByteArray("alt"));
}

TEST_F(TInstallationTest, MatchingSourceIsCopiedLocallyStampedAndRegisteredForAutostart)
{
    TSyncObject* object = MakeObject(QStringLiteral("tray.bin"), "lokal vorhanden");
    object->SetAutostart(true);
    const QString target = Home("Target/tray.bin");

    Install();
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Objekt \"") + Home("Objects/tray.bin") +
                                                     QStringLiteral("\" existiert bereits lokal")));
    EXPECT_FALSE(ClientLogMentions(QStringLiteral("wird übertragen")));
    EXPECT_EQ(ReadFile(target), QByteArray("lokal vorhanden"));
    EXPECT_EQ(DateOf(target), SomeDate());
    EXPECT_TRUE(Confirmed(*object));

    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Registriere Ziel als Autostart-Objekt")));
    EXPECT_EQ(ReadFile(AutostartEntryPath(TAutostartPlace::Machine, target)), DesktopEntry(target));
}

TEST_F(TInstallationTest, DeletionRemovesTargetAndBackupAndOnlyAnEmptyFolder)
{
    auto deletion = [this](const QString& name, const QString& folder) {
        TSyncObject* object = MakeObject(name, "x");
        object->SetTargetFolder(folder);
        object->SetDeleteTarget(true);
        QDir().mkpath(folder);
        return object;
    };
    const QString alone = Home("Alone/");
    TSyncObject* last = deletion(QStringLiteral("last.txt"), alone);
    WriteFile(alone + "last.txt", "weg");
    WriteFile(alone + "last.backup", "auch weg");
    const QString shared = Home("Shared/");
    const TSyncObject* one = deletion(QStringLiteral("one.txt"), shared);
    WriteFile(shared + "one.txt", "weg");
    WriteFile(shared + "other.txt", "bleibt");
    TSyncObject* missing = deletion(QStringLiteral("missing.txt"), Home("Missing/"));

    Install();
    EXPECT_FALSE(QFileInfo::exists(alone));
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Ordner %1 wurde gelöscht").arg(Quote(alone))));
    EXPECT_TRUE(
        m_ui.clientPane.join('\n').contains(QStringLiteral("Objekt %1 wurde gelöscht").arg(Quote(alone + "last.txt"))));
    EXPECT_TRUE(Confirmed(*last));
    EXPECT_FALSE(QFile::exists(shared + "one.txt"));
    EXPECT_TRUE(QFile::exists(shared + "other.txt"));
    EXPECT_FALSE(ClientLogMentions(QStringLiteral("Ordner %1").arg(Quote(shared))));
    EXPECT_FALSE(ClientLogMentions(QStringLiteral("missing.txt")));
    EXPECT_FALSE(Confirmed(*missing));
    EXPECT_TRUE(Confirmed(*one));
    // Their ids are alike (date, size and flags): one record answers for both.
    ASSERT_EQ(one->ComputeId(), last->ComputeId());
    EXPECT_EQ(DownloadCount(), 1);

    MainConfig().Set(QStringLiteral("ClientDeleteEmptyDirs"), false);
    const QString kept = Home("Kept/");
    deletion(QStringLiteral("kept.txt"), kept);
    WriteFile(kept + "kept.txt", "weg");
    Install();
    EXPECT_FALSE(QFile::exists(kept + "kept.txt"));
    EXPECT_TRUE(QFileInfo(kept).isDir());
    EXPECT_FALSE(ClientLogMentions(QStringLiteral("Ordner ")));
}

TEST_F(TInstallationTest, TargetThatCannotBeBackedUpIsInstalledAtTheNextStart)
{
    TSyncObject* object = MakeRemoteObject(QStringLiteral("lib.so"), "neue Bibliothek");
    const QString target = Home("Target/lib.so");
    const QString staging = StagingFilePath(target);
    WriteFile(target, "alte Bibliothek");
    // A non-empty folder under the backup's name: the rename fails even for root.
    const QString blocker = Home("Target/lib.backup");
    QDir().mkpath(blocker);
    WriteFile(blocker + "/inside", "x");

    Install();
    EXPECT_TRUE(
        Logged(QStringLiteral("Client"), QStringLiteral("Objekt-Installation erfolgt beim nächsten Rechnerstart")));
    EXPECT_EQ(ReadFile(target), QByteArray("alte Bibliothek"));
    EXPECT_EQ(ReadFile(staging), QByteArray("neue Bibliothek"));
    EXPECT_EQ(DateOf(staging), LaterDate());
    const auto pending = TRegistryStore::ReadValue(TRegistryHive::LocalMachine, RunOnceKey(), target);
    ASSERT_TRUE(pending.has_value());
    EXPECT_EQ(pending->text, staging);
    EXPECT_TRUE(ConfirmationSent(*object));
    EXPECT_FALSE(object->NeedsInstallation());

    QDir(blocker).removeRecursively();
    CarryOutPendingMoves();
    EXPECT_EQ(ReadFile(target), QByteArray("neue Bibliothek"));
    EXPECT_EQ(ReadFile(Home("Target/lib.backup")), QByteArray("alte Bibliothek"));
    EXPECT_FALSE(QFile::exists(staging));
    EXPECT_FALSE(TRegistryStore::ReadValue(TRegistryHive::LocalMachine, RunOnceKey(), target).has_value());
    EXPECT_TRUE(object->IsInstalled());
}

TEST_F(TInstallationTest, EmptyObjectArrivesEmptyWhileANegativeAnswerLeavesTheTargetAlone)
{
    // Uncompressed, an empty object and a refusal both come as a count of 0.
    MainConfig().Set(QStringLiteral("ServerCompressData"), false);
    TSyncObject* empty = MakeRemoteObject(QStringLiteral("empty.txt"), QByteArray());
    WriteFile(Home("Target/empty.txt"), "bisheriger Inhalt");
    TSyncObject* lost = MakeRemoteObject(QStringLiteral("lost.txt"), "fuenf");
    QFile::remove(Home("Objects/lost.txt"));
    WriteFile(Home("Target/lost.txt"), "bleibt");

    Install();
    EXPECT_TRUE(
        Logged(QStringLiteral("Server"), QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort")));
    EXPECT_TRUE(QFile::exists(Home("Target/empty.txt")));
    EXPECT_EQ(ReadFile(Home("Target/empty.txt")), QByteArray());
    EXPECT_TRUE(empty->IsInstalled());
    EXPECT_TRUE(ConfirmationSent(*empty));

    EXPECT_EQ(ReadFile(Home("Target/lost.txt")), QByteArray("bleibt"));
    EXPECT_FALSE(QFile::exists(StagingFilePath(Home("Target/lost.txt"))));
    EXPECT_FALSE(QFile::exists(Home("Target/lost.backup")));
    EXPECT_FALSE(ConfirmationSent(*lost));
}

TEST_F(TInstallationTest, AProvidersNegativeAnswerFallsBackToTheMasterServerInTheSameRun)
{
    TSyncObject* object = MakeRemoteObject(QStringLiteral("shared.txt"), "vom Master-Server");
    // The provider offered the object, but its copy changed since: it answers with 0.
    const int provider = StartScriptedServer("DOWNLOAD \"shared.txt\" 0\r\n");
    MainConfig().Set(QStringLiteral("NetServerPort"), provider);
    object->AddProvider(QStringLiteral("127.0.0.1"));

    Install();
    EXPECT_TRUE(
        Logged(QStringLiteral("Client"), QStringLiteral("Provider \"127.0.0.1\" bietet das Objekt \"shared.txt\" an")));
    EXPECT_EQ(ReadFile(Home("Target/shared.txt")), QByteArray("vom Master-Server"));
    EXPECT_TRUE(object->IsInstalled());
    EXPECT_TRUE(ConfirmationSent(*object));
}

// A provider is an untrusted cache: whatever it serves, a program of its
// own, the previous version, or bytes trickled to hold the installer, only
// the bytes the master server vouches for are installed, confirmed and made
// runnable.
TEST_F(TInstallationTest, ProviderBytesThatAreNotTheMastersNeverTakeTheTargetsPlace)
{
    const QByteArray genuine = "echo echt\n";
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 300);
    // The master's session waits while the providers are tried.
    MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 5);
    const std::vector<std::pair<QByteArray, int>> providers = {
        {"DOWNLOAD \"tool.sh\" 10\r\n#!/bin/id\n\n", 0},
        {"DOWNLOAD \"tool.sh\" 10\r\necho alt\n\n", 0},
        {"DOWNLOAD \"tool.sh\" 10\r\necho echt\n", 250},
    };
    for (const auto& [answer, trickleMs] : providers) {
        SCOPED_TRACE(answer.left(30).toStdString());
        QFile::remove(Home("Target/tool.sh"));
        FreeAllObjects();
        TSyncObject* object = MakeRemoteObject(QStringLiteral("tool.sh"), genuine);
        MainConfig().Set(QStringLiteral("NetServerPort"), StartScriptedServer(answer, 0, trickleMs));
        object->AddProvider(QStringLiteral("127.0.0.1"));

        Install();
        EXPECT_EQ(ReadFile(Home("Target/tool.sh")), genuine);
        EXPECT_FALSE(QFileInfo(Home("Target/tool.sh")).isExecutable());
        EXPECT_TRUE(ConfirmationSent(*object));
        if (trickleMs == 0)
            EXPECT_TRUE(ClientLogMentions(QStringLiteral("Objekt \"tool.sh\" von \"127.0.0.1\" stimmt nicht mit Größe "
                                                         "und Prüfsumme des Master-Servers überein")));
        else
            EXPECT_TRUE(ClientLogMentions(QStringLiteral("Die Übertragung dauert zu lange")));
        m_scripted.join();
    }
}

// A client that finds peers waits while the master sends the object to
// another, asks the peers again each round, and gets the object from the
// master once that is free; when the master has sent copies but no peer ever
// answers, it stops waiting after a few rounds and is served.
TEST_F(TInstallationTest, AClientToldToComeBackAsksThePeersAgainAndIsServedInTheEnd)
{
    MainConfig().Set(QStringLiteral("ClientFindObjectsOverBroadcast"), true);
    // The master's session waits while the client pauses and asks its peers.
    MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 10);
    std::atomic<int> queries{0};
    SetDatagramSender([&](const QByteArray& datagram, const QString& address) {
        if (datagram.startsWith("QUERYDOWNLOAD") && address.isEmpty())
            ++queries;
    });
    const QByteArray content(2 * 1024 * 1024, 'p');
    TSyncObject* object = MakeRemoteObject(QStringLiteral("big.bin"), content);
    std::optional<std::variant<TSendSlot, TComeBackLater>> underWay;
    underWay.emplace(TakeSendSlot(object->ComputeId(), content.size(), false));
    std::thread freeing([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        underWay.reset();
    });
    RunClient([](TClientBase& client) { RunInstallation(client); }, 0, 30000);
    freeing.join();
    EXPECT_TRUE(ReadFile(Home("Target/big.bin")) == content);
    EXPECT_TRUE(ClientLogMentions(QStringLiteral("Objekt \"big.bin\" wird gerade an andere übertragen")));
    EXPECT_GE(queries.load(), 1);
    EXPECT_TRUE(ConfirmationSent(*object));

    // Three copies out, no peer answers: three rounds, then without waiting.
    QFile::remove(Home("Target/big.bin"));
    for (int i = 0; i < 2; ++i)
        std::get<TSendSlot>(TakeSendSlot(object->ComputeId(), content.size(), false)).Sent();
    queries = 0;
    RunClient([](TClientBase& client) { RunInstallation(client); }, 0, 30000);
    EXPECT_TRUE(ReadFile(Home("Target/big.bin")) == content);
    EXPECT_EQ(queries.load(), 3);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Server")).filter(QStringLiteral("der Client fragt später wieder")).size(),
              3);
    EXPECT_TRUE(
        Logged(QStringLiteral("Client"),
               QStringLiteral("Anfrage \"DOWNLOAD \"big.bin\" %1\" gesendet").arg(NumberToText(object->ComputeId()))));
    SetDatagramSender({});
}

// An older master server gives no digest: asked for it, it sends the object
// itself, which is taken as it comes, and no provider is asked.
TEST_F(TInstallationTest, AnOlderMasterSendsTheObjectWholeAndNoProviderIsAsked)
{
    TSyncObject* object = MakeRemoteObject(QStringLiteral("first.txt"), "erstes");
    object->AddProvider(QStringLiteral("127.0.0.1"));
    MainConfig().Set(QStringLiteral("NetServerPort"), 1); // nobody listens there
    RunClient([](TClientBase& client) { RunInstallation(client); },
              StartScriptedServer("DOWNLOAD \"first.txt\" 6\r\nerstes"));
    EXPECT_EQ(ReadFile(Home("Target/first.txt")), QByteArray("erstes"));
    EXPECT_FALSE(ClientLogMentions(QStringLiteral("bietet das Objekt")));
    EXPECT_TRUE(ClientLogMentions(QStringLiteral(" digest\" gesendet")));
}

// Root installs into folders that ordinary users may write to: links planted
// under the staging or backup name are removed, never written through.
TEST_F(TInstallationTest, LinksPlantedInTheTargetFolderAreRemovedNotFollowed)
{
    TSyncObject* object = MakeRemoteObject(QStringLiteral("tool.sh"), "neu");
    MakeFile(Home("Target/tool.sh"), "alt", SomeDate());
    WriteFile(Home("victim.txt"), "geheim");
    QFile::setPermissions(Home("victim.txt"), QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(QFile::link(Home("victim.txt"), Home("Target/~$tool.sh")));
    ASSERT_TRUE(QFile::link(Home("victim.txt"), Home("Target/tool.backup")));

    Install();
    EXPECT_EQ(ReadFile(Home("victim.txt")), QByteArray("geheim"));
    EXPECT_FALSE(QFile::permissions(Home("victim.txt")) & QFile::ReadOther);
    EXPECT_EQ(ReadFile(Home("Target/tool.sh")), QByteArray("neu"));
    EXPECT_EQ(ReadFile(Home("Target/tool.backup")), QByteArray("alt"));
    EXPECT_TRUE(
        ClientLogMentions(QStringLiteral("Verbliebene Datei \"%1\" wurde entfernt").arg(Home("Target/~$tool.sh"))));
    EXPECT_TRUE(ConfirmationSent(*object));
}

TEST_F(TInstallationTest, ALeftoverStagingFileGoesOnceItsObjectIsDoneButNotWhileItsMoveIsPending)
{
    // Installed long ago; a broken run left its staging file.
    TSyncObject* done = MakeObject(QStringLiteral("done.txt"), "fertig");
    MakeFile(Home("Target/done.txt"), "fertig", SomeDate());
    WriteFile(StagingFilePath(Home("Target/done.txt")), "halb");
    // Waiting for the next start: its staging file is the new version.
    TSyncObject* pending = MakeObject(QStringLiteral("pending.txt"), "neu");
    pending->SetSwapOnly(true); // no target here: nothing to install in this run
    WriteFile(StagingFilePath(Home("Target/pending.txt")), "neu");
    ASSERT_TRUE(RecordPendingMove(Home("Target/pending.txt"), StagingFilePath(Home("Target/pending.txt")),
                                  DigestOfFile(StagingFilePath(Home("Target/pending.txt")))));
    ASSERT_FALSE(done->NeedsInstallation());

    Install();
    EXPECT_FALSE(QFile::exists(StagingFilePath(Home("Target/done.txt"))));
    EXPECT_EQ(ReadFile(Home("Target/done.txt")), QByteArray("fertig"));
    EXPECT_EQ(ReadFile(StagingFilePath(Home("Target/pending.txt"))), QByteArray("neu"));
}

TEST_F(TInstallationTest, ScriptsRunOneAfterTheOtherOnceTheObjectsAreStartedAndTheConnectionIsClosed)
{
    TFakeScriptus runner;
    SetScriptusRunner(&runner);
    const QString list = ProgramFile(QStringLiteral(".objects"));
    const QString marker = Home("marker.txt");
    ASSERT_FALSE(QFile::exists(list));
    // The marker appears whole, and also when the list is missing.
    const QByteArray script = "#!/bin/sh\ncat '" + list.toUtf8() + "' > '" + marker.toUtf8() +
                              ".tmp' 2>/dev/null; mv '" + marker.toUtf8() + ".tmp' '" + marker.toUtf8() + "'\n";
    TSyncObject* starter = MakeRemoteObject(QStringLiteral("start.sh"), script);
    starter->SetStartAfterTransfer(true);
    MakeFile(Home("Scriptus/a.scriptus"), "", SomeDate());
    std::vector<TSyncObject*> objects{starter};
    for (const char* name : {"a", "kaputt", "c"}) {
        objects.push_back(MakeObject(QString::fromLatin1(name) + QStringLiteral(".bin"), "MZ"));
        // c.scriptus is not in the Scriptus folder: the one beside the object is meant.
        objects.back()->SetScriptusFile(QString::fromLatin1(name) + QStringLiteral(".scriptus"));
    }

    Install();
    ASSERT_TRUE(RunEventsUntil([&] { return QFile::exists(marker); }));
    EXPECT_TRUE(ReadFile(marker).contains(starter->ToLine().toUtf8()));
    const QString started = QStringLiteral("Starte Zielobjekt %1").arg(Quote(Home("Target/start.sh")));
    const QStringList expected = {
        QStringLiteral("Barrierefreiheit an"),
        started,
        QStringLiteral("Verbindung wird beendet"),
        QStringLiteral("lade a.scriptus"),
        QStringLiteral("Installiere Zielobjekt %1").arg(Quote(Home("Scriptus/a.scriptus"))),
        QStringLiteral("führe 1 Zeilen aus"),
        QStringLiteral("lade kaputt.scriptus"),
        QStringLiteral("lade c.scriptus"),
        QStringLiteral("Installiere Zielobjekt %1").arg(Quote(Home("Target/c.scriptus"))),
        QStringLiteral("führe 1 Zeilen aus"),
    };
    QStringList seen;
    for (const QString& message : m_ui.Messages())
        if (expected.contains(message))
            seen.append(message);
    EXPECT_EQ(seen, expected);
    for (const TSyncObject* object : objects)
        EXPECT_TRUE(ConfirmationSent(*object)) << object->SourceName().toStdString();
    EXPECT_TRUE(m_ui.clientPane.join(QLatin1Char('\n'))
                    .contains(QStringLiteral("Synchronisation mit Server erfolgreich abgeschlossen")));
}

TEST_F(TInstallationTest, ACommandFileInASubfolderIsInstalledThereAndLookedUpThereFirst)
{
    TFakeScriptus runner;
    SetScriptusRunner(&runner);
    MakeObject(QStringLiteral("setup.bin"), "MZ")->SetScriptusFile(QStringLiteral("office/x.scriptus"));
    QDir().mkpath(Home("Scriptus/office"));
    MakeFile(Home("Scriptus/office/x.scriptus"), "0,True:1026,\"\",\"\",\"\",\"1\",0,0,False,False,\"\"\r\n",
             SomeDate());
    Update();
    EXPECT_TRUE(QFile::exists(Home("Target/office/x.scriptus")));
    EXPECT_FALSE(QFile::exists(Home("Target/x.scriptus")));
}

TEST_F(TInstallationTest, ACommandFileIsLookedUpUnderItsRelativeNameThenItsBaseNameAndAnEscapingNameIsRefused)
{
    TFakeScriptus runner;
    SetScriptusRunner(&runner);
    // Not in the Scriptus folder, as on a client: the target folder holds it
    // under the relative name, or, as older clients left it, the base name.
    MakeObject(QStringLiteral("a.bin"), "MZ")->SetScriptusFile(QStringLiteral("office/neu.scriptus"));
    QDir().mkpath(Home("Target/office"));
    MakeFile(Home("Target/office/neu.scriptus"), "", SomeDate());
    MakeObject(QStringLiteral("b.bin"), "MZ")->SetScriptusFile(QStringLiteral("office/alt.scriptus"));
    MakeFile(Home("Target/alt.scriptus"), "", SomeDate());
    MakeObject(QStringLiteral("c.bin"), "MZ")->SetScriptusFile(QStringLiteral("../weg.scriptus"));
    MakeObject(QStringLiteral("d.bin"), "MZ")->SetScriptusFile(QStringLiteral("/tmp/weg.scriptus"));
    Install();
    EXPECT_TRUE(
        m_ui.HasMessage(QStringLiteral("Installiere Zielobjekt %1").arg(Quote(Home("Target/office/neu.scriptus")))));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Installiere Zielobjekt %1").arg(Quote(Home("Target/alt.scriptus")))));
    EXPECT_TRUE(ClientLogMentions(TSyncObject::ScriptusNameRefusal(QStringLiteral("../weg.scriptus"))));
    EXPECT_TRUE(ClientLogMentions(TSyncObject::ScriptusNameRefusal(QStringLiteral("/tmp/weg.scriptus"))));
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("lade weg.scriptus")));
}

TEST_F(TInstallationTest, ACompanionWhoseNameLeavesTheTargetFolderIsNeverWritten)
{
    TSyncObject* owner = MakeObject(QStringLiteral("setup.bin"), "MZ");
    owner->SetScriptusFile(QStringLiteral("../weg.scriptus"));
    MakeFile(Home("weg.scriptus"), "", SomeDate());
    Update();
    EXPECT_TRUE(QFile::exists(Home("Target/setup.bin")));
    EXPECT_FALSE(QFile::exists(Home("weg.backup")));
    EXPECT_FALSE(QFile::exists(Home("Target/weg.scriptus")));
    EXPECT_TRUE(ClientLogMentions(TSyncObject::ScriptusNameRefusal(QStringLiteral("../weg.scriptus"))));
}

TEST_F(TInstallationTest, WithoutADesktopOrARunnerEachScriptIsOneLineAndNothingRuns)
{
    TFakeScriptus runner;
    runner.ready = false;
    SetScriptusRunner(&runner);
    MakeFile(Home("Scriptus/setup.scriptus"), "", SomeDate());
    MakeObject(QStringLiteral("setup.bin"), "MZ")->SetScriptusFile(QStringLiteral("setup.scriptus"));
    const QString command = Quote(Home("Scriptus/setup.scriptus"));

    Install();
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Eigene Anzeige für die Skriptus-Kommandodateien "
                                                                "konnte nicht gestartet werden: keine eigene Anzeige "
                                                                "im Test")));
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Skriptus-Kommandodatei %1 wird nicht ausgeführt: "
                                                                "keine eigene Anzeige im Test")
                                                     .arg(command)));
    EXPECT_TRUE(m_ui.Messages(QStringLiteral("Test")).isEmpty());
    EXPECT_FALSE(Logged(QStringLiteral("Client"), QStringLiteral("Verbindung wird beendet")));

    SetScriptusRunner(nullptr);
    QFile::remove(Home("Target/setup.bin"));
    Install();
    EXPECT_TRUE(Logged(QStringLiteral("Client"),
                       QStringLiteral("Kein Skriptus-Ausführer verfügbar, %1 wird nicht ausgeführt").arg(command)));
}

// Without a desktop session the run makes a desktop of its own before its
// objects start, replays each script there, reports what failed, and ends the
// desktop once the programs on it have gone, or when the time-out is up.
TEST_F(TInstallationTest, WithoutADesktopTheRunMakesOneOfItsOwnBeforeItsObjectsStartAndEndsItAfterTheirPrograms)
{
    TFakeScriptus runner;
    runner.ready = false;
    runner.ownDesktopLooks = 3;
    SetScriptusRunner(&runner);
    TSyncObject* starter = MakeRemoteObject(QStringLiteral("start.sh"), "#!/bin/sh\n");
    starter->SetStartAfterTransfer(true);
    for (const char* name : {"falsch", "gut"}) {
        MakeFile(Home("Scriptus/%1.scriptus").arg(QLatin1String(name)), "", SomeDate());
        MakeObject(QString::fromLatin1(name) + QStringLiteral(".bin"), "MZ")
            ->SetScriptusFile(QString::fromLatin1(name) + QStringLiteral(".scriptus"));
    }
    Install();
    const QStringList expected = {
        QStringLiteral("eigene Anzeige an"),
        QStringLiteral("Eigene Anzeige :99 für die Skriptus-Kommandodateien gestartet"),
        QStringLiteral("Starte Zielobjekt %1").arg(Quote(Home("Target/start.sh"))),
        QStringLiteral("Verbindung wird beendet"),
        QStringLiteral("auf eigener Anzeige: falsch.scriptus"),
        QStringLiteral("auf eigener Anzeige: gut.scriptus"),
        QStringLiteral("eigene Anzeige aus"),
        QStringLiteral("Eigene Anzeige :99 beendet"),
    };
    QStringList seen;
    for (const QString& message : m_ui.Messages())
        if (expected.contains(message))
            seen.append(message);
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(m_ui.Messages(QStringLiteral("Test")).filter(QStringLiteral("lade")).isEmpty());
    EXPECT_EQ(PendingScriptusReports(), QStringList{QStringLiteral("SCRIPTUSRESULT \"falsch.scriptus\" failed")});

    // Programs that never leave: the desktop ends with them after the time-out.
    MainConfig().Set(QStringLiteral("ScriptusTimeout"), 300);
    runner.ownDesktopLooks = 1000;
    for (const char* name : {"start.sh", "falsch.bin", "gut.bin"})
        QFile::remove(Home("Target/") + QLatin1String(name));
    Install();
    EXPECT_TRUE(Logged(QStringLiteral("Client"),
                       QStringLiteral("Eigene Anzeige :99 beendet, 1 Programm(e) darauf wurden mit ihr beendet")));
}

// A command file that failed or was skipped is told to the master in the next
// session, which logs it and keeps the last one per computer; one that went
// well is not.
TEST_F(TInstallationTest, AScriptThatFailedOrWasSkippedIsReportedToTheMasterInTheNextSession)
{
    TFakeScriptus runner;
    SetScriptusRunner(&runner);
    for (const char* name : {"falsch", "gut"}) {
        MakeFile(Home("Scriptus/%1.scriptus").arg(QLatin1String(name)), "", SomeDate());
        MakeObject(QString::fromLatin1(name) + QStringLiteral(".bin"), "MZ")
            ->SetScriptusFile(QString::fromLatin1(name) + QStringLiteral(".scriptus"));
    }
    Install();
    EXPECT_EQ(PendingScriptusReports(), QStringList{QStringLiteral("SCRIPTUSRESULT \"falsch.scriptus\" failed")});
    EXPECT_TRUE(LastScriptusReport(QStringLiteral("testhost")).isEmpty());

    runner.failing = false; // should the next session run it again
    Update();
    EXPECT_TRUE(PendingScriptusReports().isEmpty());
    EXPECT_TRUE(Logged(QStringLiteral("Server"),
                       QStringLiteral("Skriptus-Kommandodatei \"falsch.scriptus\" auf \"testhost\": fehlgeschlagen")));
    EXPECT_TRUE(
        LastScriptusReport(QStringLiteral("TESTHOST")).endsWith(QStringLiteral("falsch.scriptus: fehlgeschlagen")));

    // Without a login, or with a word it does not know, the master keeps nothing.
    auto stranger = Converse(m_server->Port(), "SCRIPTUSRESULT \"gut.scriptus\" failed\r\n", -1, 1000);
    Await(stranger);
    auto odd = Converse(
        m_server->Port(),
        "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 testhost\r\nSCRIPTUSRESULT \"gut.scriptus\" kaputt\r\n", -1, 1000);
    Await(odd);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Server"))
                  .count(QStringLiteral("Skriptus-Ergebnis ohne Anmeldung oder in unbekannter Form verworfen")),
              2);
    EXPECT_TRUE(
        LastScriptusReport(QStringLiteral("testhost")).endsWith(QStringLiteral("falsch.scriptus: fehlgeschlagen")));
}

TEST_F(TInstallationTest, AShutdownEndsTheRunningScriptAndRunsNoFurtherOne)
{
    TFakeScriptus runner;
    SetScriptusRunner(&runner);
    MakeObject(QStringLiteral("a.bin"), "MZ")->SetScriptusFile(QStringLiteral("lang.scriptus"));
    MakeObject(QStringLiteral("b.bin"), "MZ")->SetScriptusFile(QStringLiteral("danach.scriptus"));
    StartLoopbackClient(m_server->Port(), TConnectKind::Update, &RunInstallation);
    ASSERT_TRUE(RunEventsUntil([&] { return m_ui.HasMessage(QStringLiteral("führe 1 Zeilen aus")); }));

    EXPECT_FALSE(TerminateAllClientThreads());
    ASSERT_TRUE(RunEventsUntil([] { return !AnyClientThreadRunning(); }));
    EXPECT_TRUE(runner.stopped);
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("lade danach.scriptus")));
}

TEST_F(TInstallationTest, UpdateInstallsOnlyWhatTheUserConfirmed)
{
    TSyncObject* app = MakeObject(QStringLiteral("a.txt"), "neu");
    app->SetDescription(QStringLiteral("Werkzeug"));
    MakeObject(QStringLiteral("old.txt"), "x")->SetDeleteTarget(true);
    WriteFile(Home("Target/old.txt"), "veraltet");
    const QStringList expected = {Home("Target/a.txt") + QStringLiteral(" (Werkzeug)"),
                                  Home("Target/old.txt") + QStringLiteral(" löschen")};

    m_ui.newObjectsAnswer = false;
    Update();
    ASSERT_EQ(m_ui.newObjectPrompts.size(), 1u);
    EXPECT_EQ(m_ui.newObjectPrompts.front(), expected);
    EXPECT_FALSE(QFile::exists(Home("Target/a.txt")));
    EXPECT_TRUE(QFile::exists(Home("Target/old.txt")));
    EXPECT_EQ(DownloadCount(), 0);

    m_ui.newObjectsAnswer = true;
    Update();
    ASSERT_EQ(m_ui.newObjectPrompts.size(), 2u);
    EXPECT_EQ(ReadFile(Home("Target/a.txt")), QByteArray("neu"));
    EXPECT_FALSE(QFile::exists(Home("Target/old.txt")));
    EXPECT_EQ(DownloadCount(), 2);
}

TEST_F(TInstallationTest, NothingToInstallIsNeverShownAndCountsAsNo)
{
    MakeObject(QStringLiteral("done.txt"), "fertig");
    MakeFile(Home("Target/done.txt"), "fertig", SomeDate());
    EXPECT_FALSE(AskNewObjects());
    EXPECT_TRUE(m_ui.newObjectPrompts.empty());
    EXPECT_TRUE(Logged(
        QStringLiteral("Main"),
        QStringLiteral("Die Liste mit den zu installierenden Objekten sollte eigentlich nicht angezeigt werden")));
}

} // namespace
