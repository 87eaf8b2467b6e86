// SPDX-License-Identifier: GPL-3.0-or-later
#include <QFile>
#include <QHash>

#include "catalogue/ImportChilds.h"

#include "base/TextFields.h"
#include "replication/Broadcast.h"
#include "replication/Login.h"
#include "replication/ObjectList.h"
#include "replication/ReplicationFixture.h"
#include "replication/ServerThread.h"
#include "replication/Transfer.h"

namespace {

class TObjectListTest : public TReplicationTest
{
protected:
    void TearDown() override
    {
        SetDatagramSender({});
        StopProviderCollection();
        TReplicationTest::TearDown();
    }

    // The object lines the server offers to this computer.
    QStringList OfferedLines()
    {
        QStringList lines;
        std::mutex lock;
        RunClient([&](TClientBase& client) {
            client.Send(QStringLiteral("OBJLIST"));
            if (client.ReceiveReply() != QLatin1String("OBJLIST start"))
                return;
            for (QString line = client.ReceiveReply(); !line.isEmpty() && line != QLatin1String("end");
                 line = client.ReceiveReply()) {
                std::lock_guard guard(lock);
                lines.append(line);
            }
        });
        return lines;
    }

    static QStringList Names(const QStringList& lines)
    {
        QStringList names;
        for (const QString& line : lines)
            names.append(TSyncObject::FromLine(line)->SourceName());
        return names;
    }

    // Runs the client side against a scripted list; gives the work flag.
    bool Exchange(const QStringList& lines)
    {
        QByteArray answer = "OBJLIST start\r\n";
        for (const QString& line : lines)
            answer += line.toUtf8() + "\r\n";
        const int port = StartScriptedServer(answer);
        std::atomic<bool> work{false};
        RunClient([&](TClientBase& client) { work = ExchangeObjectList(client); }, port);
        return work;
    }

    // An object line as the master server would send it, not in our list.
    QString LineOf(const QString& name, const std::function<void(TSyncObject&)>& adjust = {})
    {
        TSyncObject object(name, QStringLiteral("1.0"), 5, SomeDate(), Home("Target/"));
        if (adjust)
            adjust(object);
        return object.ToLine();
    }
};

TEST_F(TObjectListTest, PrivateObjectIsHeldBackWhileItsDeleteMarkedTwinIsOffered)
{
    MakeObject(QStringLiteral("gone.txt"), "aaaaa");
    MakeObject(QStringLiteral("remove.txt"), "bbbbb")->SetDeleteTarget(true);
    QFile::remove(Home("Objects/gone.txt"));
    QFile::remove(Home("Objects/remove.txt"));
    EXPECT_EQ(Names(OfferedLines()), QStringList{QStringLiteral("remove.txt")});
    EXPECT_TRUE(
        Logged(QStringLiteral("Server"), QStringLiteral("Objekt \"gone.txt\" ist privat und wird nicht verteilt")));
    EXPECT_TRUE(Logged(QStringLiteral("Server"), QStringLiteral("Anforderung der Objektliste")));
}

TEST_F(TObjectListTest, ScriptusCompanionLinePrecedesItsOwner)
{
    MakeFile(Home("Scriptus/setup.scriptus"), "Klick\r\n", SomeDate());
    MakeObject(QStringLiteral("setup.exe"), "MZ...")->SetScriptusFile(QStringLiteral("setup.scriptus"));
    const QStringList lines = OfferedLines();
    ASSERT_EQ(Names(lines), (QStringList{QStringLiteral("setup.scriptus"), QStringLiteral("setup.exe")}));
    EXPECT_EQ(lines.at(1), FindBySourcePath(QStringLiteral("setup.exe"))->ToLine());
}

TEST_F(TObjectListTest, FolderStructureObjectFollowsItsParentsGroups)
{
    TSyncObject* parent = MakeObject(QStringLiteral("tree.txt"), "root");
    parent->SetUseClientGroupRights(true);
    parent->AddClientGroup(QStringLiteral("\\10\\"));
    TSyncObject* child = MakeObject(QStringLiteral("leaf.txt"), "leaf");
    child->SetParent(parent);
    EXPECT_TRUE(OfferedLines().isEmpty());
    EXPECT_TRUE(
        Logged(QStringLiteral("Server"), QStringLiteral("Übertragung des Objekts \"leaf.txt\" nicht erforderlich")));
    EXPECT_TRUE(
        Logged(QStringLiteral("Client"),
               QStringLiteral("Objekt \"leaf.txt\" darf nicht übertragen werden, da Client-Gruppe nicht berechtigt")));

    parent->SetClientGroup(0, QStringLiteral("\\127\\"));
    EXPECT_EQ(Names(OfferedLines()), (QStringList{QStringLiteral("tree.txt"), QStringLiteral("leaf.txt")}));
}

TEST_F(TObjectListTest, ConfirmedObjectIsNotOfferedAgainUntilItsIdChanges)
{
    MainConfig().Set(QStringLiteral("ServerOfferNewerObjects"), true);
    TSyncObject* object = MakeObject(QStringLiteral("app.bin"), "first");
    RunClient([&](TClientBase& client) { Confirm(client, *object); });
    EXPECT_TRUE(RunEventsUntil([&] {
        return Logged(QStringLiteral("Server"), QStringLiteral("Übertragung des Objekts \"app.bin\" bestätigt"));
    }));
    EXPECT_EQ(DownloadCount(), 1);
    EXPECT_TRUE(OfferedLines().isEmpty());

    MakeFile(Home("Objects/app.bin"), "second", SomeDate() + 1);
    ASSERT_TRUE(object->RefreshFromSource());
    EXPECT_EQ(Names(OfferedLines()), QStringList{QStringLiteral("app.bin")});
}

TEST_F(TObjectListTest, UnknownComputerGetsNoListAndNoWork)
{
    MakeObject(QStringLiteral("a.txt"), "aaaaa");
    FreeAllClients();
    SetCommandHandler(TCommandIndex::Login, [](TSession& session, const QStringList&) {
        FreeAllClients(); // the session registered us; forget it again
        session.Reply(QStringLiteral("LOGIN ok noelevate  "));
    });
    std::atomic<bool> work{true};
    RunClient([&](TClientBase& client) { work = ExchangeObjectList(client); });
    SetCommandHandler(TCommandIndex::Login, &HandleLogin);
    EXPECT_FALSE(work);
    EXPECT_TRUE(
        Logged(QStringLiteral("Server"), QStringLiteral("Der anfragende Client konnte nicht ermittelt werden")));
}

TEST_F(TObjectListTest, ClientMergesSkipsABadLineAndStopsAtUpperCaseEnd)
{
    BecomeClient();
    // Every new object is asked for among the peers.
    QStringList queried;
    std::mutex lock;
    SetDatagramSender([&](const QByteArray& datagram, const QString& /*address*/) {
        const QStringList words = SplitFields(QString::fromUtf8(datagram), QLatin1Char(' '));
        std::lock_guard guard(lock);
        if (words.size() >= 2 && words[0] == QLatin1String("QUERYDOWNLOAD"))
            queried.append(UnquoteField(words[1]));
    });
    MainConfig().Set(QStringLiteral("ClientFindObjectsOverBroadcast"), true);
    QString bad = LineOf(QStringLiteral("bad.txt"));
    bad.replace(QStringLiteral("10:20:30"), QStringLiteral("99:99:99"));
    const bool work =
        Exchange({LineOf(QStringLiteral("one.txt")), QStringLiteral("kaputt"), bad, LineOf(QStringLiteral("two.txt")),
                  QStringLiteral("END"), LineOf(QStringLiteral("late.txt"))});
    EXPECT_TRUE(work);
    ASSERT_NE(FindBySourcePath(QStringLiteral("one.txt")), nullptr);
    ASSERT_NE(FindBySourcePath(QStringLiteral("two.txt")), nullptr);
    EXPECT_EQ(FindBySourcePath(QStringLiteral("bad.txt")), nullptr);
    EXPECT_EQ(FindBySourcePath(QStringLiteral("late.txt")), nullptr);
    EXPECT_EQ(queried, (QStringList{QStringLiteral("one.txt"), QStringLiteral("two.txt")}));
    const QStringList client = m_ui.Messages(QStringLiteral("Client"));
    EXPECT_TRUE(std::any_of(client.begin(), client.end(), [](const QString& m) {
        return m.startsWith(QStringLiteral("Bei der Bearbeitung der Objektliste ist eine Ausnahme des Typs"));
    }));
    EXPECT_TRUE(client.contains(QStringLiteral("Zielobjekt \"two.txt\" ist aktueller")));
    EXPECT_FALSE(client.contains(QStringLiteral("Keine Antwort empfangen")));
}

TEST_F(TObjectListTest, ClientMissingASwapOnlyTargetNeitherAddsNorInstallsIt)
{
    BecomeClient();
    const QString line = LineOf(QStringLiteral("swap.dll"), [](TSyncObject& o) { o.SetSwapOnly(true); });
    EXPECT_FALSE(Exchange({line, QStringLiteral("end")}));
    EXPECT_EQ(FindBySourcePath(QStringLiteral("swap.dll")), nullptr);
    EXPECT_TRUE(Logged(
        QStringLiteral("Client"),
        QStringLiteral(
            "Zielobjekt \"swap.dll\" ignoriert; darf nur getauscht werden, ist aber lokal gar nicht vorhanden")));
}

TEST_F(TObjectListTest, KnownObjectTakesTheReceivedPropertiesAndMissingTargetMeansWork)
{
    BecomeClient();
    AppendObject(TSyncObject::FromLine(LineOf(QStringLiteral("tool.exe"))));
    // Unchanged, but the target file is missing: still work to do.
    // Providers of an earlier exchange may hold an older version by now.
    FindBySourcePath(QStringLiteral("tool.exe"))->AddProvider(QStringLiteral("alt"));
    EXPECT_TRUE(Exchange({LineOf(QStringLiteral("tool.exe")), QStringLiteral("end")}));
    EXPECT_EQ(FindBySourcePath(QStringLiteral("tool.exe"))->ProviderCount(), 0);
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Quellobjekt \"tool.exe\" ist bereits bekannt")));
    EXPECT_TRUE(Logged(QStringLiteral("Client"),
                       QStringLiteral("Zielobjekt \"") + Home("Target/tool.exe") +
                           QStringLiteral("\" ist bereits installiert (oder darf nur getauscht werden)")));
    m_scripted.join();
    EXPECT_TRUE(
        Exchange({LineOf(QStringLiteral("tool.exe"), [](TSyncObject& o) { o.SetVersion(QStringLiteral("2.0")); }),
                  QStringLiteral("end")}));
    EXPECT_EQ(FindBySourcePath(QStringLiteral("tool.exe"))->Version(), QStringLiteral("2.0"));
    EXPECT_TRUE(Logged(QStringLiteral("Client"),
                       QStringLiteral("Zielobjekt \"") + Home("Target/tool.exe") + QStringLiteral("\" ist aktueller")));
}

TEST_F(TObjectListTest, ClientImportAtStartAndFirstExchangeLeaveOneObjectPerNameWithTheMastersFlags)
{
    BecomeClient();
    // The owner as stored at the last sync; the master has since marked the
    // whole tree for deletion.
    const auto owner = [](bool deleteTarget) {
        return [deleteTarget](TSyncObject& o) {
            o.SetDistributeFolder(true);
            o.SetIncludeSubfolders(true);
            o.SetDeleteTarget(deleteTarget);
        };
    };
    TSyncObject* stored = AppendObject(TSyncObject::FromLine(LineOf(QStringLiteral("pkg/setup.exe"), owner(false))));
    // The installed copy the client's import walks, large enough for the two
    // to overlap, and the master's lines for it in the opposite order.
    QStringList lines{LineOf(QStringLiteral("pkg/setup.exe"), owner(true))};
    for (int file = 0; file < 1500; ++file) {
        const QString name = QStringLiteral("f%1.txt").arg(file, 4, 10, QLatin1Char('0'));
        MakeFile(Home("Target/") + name, "12345", SomeDate());
        TSyncObject child(QStringLiteral("pkg/") + name, QStringLiteral("1.0"), 5, SomeDate(), Home("Target/"));
        child.SetDeleteTarget(true);
        child.SetPersistent(false);
        lines.insert(1, child.ToLine());
    }
    lines.append(QStringLiteral("end"));

    StartImport(stored);
    // Under way, with the owner's old flags, before the list arrives.
    ASSERT_TRUE(RunEventsUntil([] { return ImportedFolderCount() > 0; }));
    EXPECT_TRUE(Exchange(lines));
    ASSERT_TRUE(RunEventsUntil([] { return !IsImportRunning(); }));

    QHash<QString, int> seen;
    int notDeleted = 0;
    for (const TSyncObject* object = FirstObject(); object != nullptr; object = object->Next()) {
        ++seen[object->SourceName()];
        notDeleted += object->DeleteTarget() ? 0 : 1;
    }
    EXPECT_EQ(seen.size(), 1501);
    EXPECT_EQ(ObjectCount(), 1501);
    EXPECT_EQ(notDeleted, 0);
}

} // namespace
