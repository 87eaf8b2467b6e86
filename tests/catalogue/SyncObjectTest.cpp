// SPDX-License-Identifier: GPL-3.0-or-later
#include <random>

#include <QFile>

#include "base/TextFields.h"
#include "catalogue/CatalogueFixture.h"
#include "platform/FileVersion.h"
#include "platform/ProgramPaths.h"
#include "platform/RegistryStore.h"
#include "support/PeBuilder.h"

namespace {

std::unique_ptr<TSyncObject> MakeObject(const QString& name, qint32 size = 100, TDateTime date = kUnixEpochDays)
{
    return std::make_unique<TSyncObject>(name, QStringLiteral("1.0.0.0"), size, date, QStringLiteral("/opt/ziel/"));
}

const QString kRunOnce = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Runonce");

} // namespace

using ObjectIdTest = TCatalogueTest;

TEST_F(ObjectIdTest, StartAfterTransferMovesTheIdBy2To27)
{
    auto object = MakeObject(QStringLiteral("b"), 7, SomeDate());
    const quint64 before = object->ComputeId();
    object->SetStartAfterTransfer(true);
    EXPECT_EQ(object->ComputeId() - before, quint64(1) << 27);
    object->SetStartAfterTransfer(false);
    EXPECT_EQ(object->ComputeId(), before);
}

TEST_F(ObjectIdTest, OddNameWrapsToTwentyDigitsAndReadsBack)
{
    auto object = MakeObject(QStringLiteral("a"), 5, kUnixEpochDays); // byte sum 97 is odd
    const quint64 id = object->ComputeId();
    EXPECT_EQ(id, 18446744071562067973ull); // 5 - 2^31 modulo 2^64
    const QString text = object->ToLine().section(QLatin1Char(','), 0, 0);
    EXPECT_EQ(text.size(), 20);
    EXPECT_EQ(NumberFromDigits(text), id);
}

TEST_F(ObjectIdTest, EqualContentGivesEqualIds)
{
    // "ab" and "ba" have the same byte sum; "ac" differs in parity.
    EXPECT_EQ(MakeObject(QStringLiteral("ab"))->ComputeId(), MakeObject(QStringLiteral("ba"))->ComputeId());
    EXPECT_NE(MakeObject(QStringLiteral("ab"))->ComputeId(), MakeObject(QStringLiteral("ac"))->ComputeId());
    EXPECT_NE(MakeObject(QStringLiteral("ab"), 100)->ComputeId(), MakeObject(QStringLiteral("ab"), 101)->ComputeId());
}

TEST_F(ObjectIdTest, SecondsRoundHalvesToEven)
{
    // 1/256 of a day is exactly 337.5 seconds, 3/256 exactly 1012.5.
    EXPECT_EQ(MakeObject(QStringLiteral("b"), 0, kUnixEpochDays + 1.0 / 256)->ComputeId(), 338u);
    EXPECT_EQ(MakeObject(QStringLiteral("b"), 0, kUnixEpochDays + 3.0 / 256)->ComputeId(), 1012u);
}

using ObjectLineTest = TCatalogueTest;

TEST_F(ObjectLineTest, RoundTripKeepsEveryField)
{
    auto object = MakeObject(QStringLiteral("tools/setup.exe"), -3, SomeDate());
    object->SetDescription(QStringLiteral("Setup, neu"));
    object->SetReserved(9);
    object->AddClientGroup(QStringLiteral("\\10\\1\\2\\"));
    object->AddClientGroup(QStringLiteral("\\Büro\\"));
    object->SetScriptusFile(QStringLiteral("setup.scriptus"));
    object->SetSwapOnly(true);
    object->SetRegisterOcx(true);
    object->SetIncludeSubfolders(true);
    object->SetUseClientGroupRights(true);
    const QString line = object->ToLine();
    EXPECT_EQ(SplitFields(line, QLatin1Char(',')).size(), 20);
    const auto back = TSyncObject::FromLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->ToLine(), line);
    EXPECT_EQ(back->Description(), QStringLiteral("Setup, neu"));
    EXPECT_EQ(back->ClientGroups(), object->ClientGroups());
    EXPECT_EQ(back->Size(), -3);
    EXPECT_EQ(back->Reserved(), 9);
    EXPECT_EQ(back->ModifiedDate(), SomeDate());
    EXPECT_EQ(back->ComputeId(), object->ComputeId());
    EXPECT_TRUE(m_ui.messageBoxes.isEmpty());
}

TEST_F(ObjectLineTest, QuotesInNamesAndTextsSurviveTheListFileAndLineBreaksNeverEnterIt)
{
    auto odd = MakeObject(QStringLiteral("tree/a\"b.txt"), 3, SomeDate());
    odd->SetDescription(QStringLiteral("Der \"neue\" Stand, mit 'Apostroph'"));
    odd->SetScriptusFile(QStringLiteral("x\"y.scriptus"));
    odd->AddClientGroup(QStringLiteral("\\Büro \"Nord\"\\"));
    const QString line = odd->ToLine();
    EXPECT_EQ(SplitFields(line, QLatin1Char(',')).size(), 20);
    AppendObject(std::move(odd));
    AppendObject(MakeObject(QStringLiteral("plain.txt")));

    // A description typed over several lines stays one line.
    auto typed = MakeObject(QStringLiteral("typed.txt"));
    typed->SetDescription(QStringLiteral("erste\r\nzweite\ndritte"));
    EXPECT_EQ(typed->Description(), QStringLiteral("erste zweite dritte"));
    AppendObject(std::move(typed));

    // A name with a line break is refused with a German message, and the list keeps what it had.
    for (const QString& name : {QStringLiteral("x\ny.txt"), QStringLiteral("x\ry.txt")}) {
        try {
            AppendObject(MakeObject(name));
            ADD_FAILURE() << "accepted a line break";
        } catch (const EObjectNameError& error) {
            EXPECT_TRUE(error.Message().contains(QStringLiteral("enthält einen Zeilenumbruch")))
                << error.Message().toStdString();
            EXPECT_FALSE(HasLineBreak(error.Message()));
        }
    }
    EXPECT_EQ(ObjectCount(), 3);

    SaveObjectList();
    FreeAllObjects();
    LoadObjectList();
    ASSERT_EQ(ObjectCount(), 3);
    const TSyncObject* back = FirstObject();
    EXPECT_EQ(back->SourceName(), QStringLiteral("tree/a\"b.txt"));
    EXPECT_EQ(back->Description(), QStringLiteral("Der \"neue\" Stand, mit 'Apostroph'"));
    EXPECT_EQ(back->ScriptusFile(), QStringLiteral("x\"y.scriptus"));
    EXPECT_EQ(back->ClientGroups(), QStringList{QStringLiteral("\\Büro \"Nord\"\\")});
    EXPECT_EQ(back->ToLine(), line);
    EXPECT_EQ(back->Next()->SourceName(), QStringLiteral("plain.txt"));
    EXPECT_TRUE(m_ui.messageBoxes.isEmpty());
    EXPECT_FALSE(QFile::exists(ProgramFile(QStringLiteral(".objects")) + QStringLiteral(".bad")));
}

TEST_F(ObjectLineTest, EmptyGroupFieldGivesNoGroupsAndNumbersReadAsBooleans)
{
    const QString line = QStringLiteral(
        "0,\"a.txt\",\"/t/\",01.02.03 04:05:06,\"?\",12,0,\"\",\"\",\"\",1,0,true,FALSE,0,0,0,True,False,2");
    const auto object = TSyncObject::FromLine(line);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->ClientGroupCount(), 0);
    EXPECT_TRUE(object->SwapOnly());
    EXPECT_TRUE(object->Autostart());
    EXPECT_FALSE(object->RegisterOcx());
    EXPECT_TRUE(object->UseClientGroupRights());
    EXPECT_EQ(object->ModifiedDateText(), QStringLiteral("01.02.03 04:05:06"));
    EXPECT_THROW(object->GetClientGroup(0), EListIndexError);
}

TEST_F(ObjectLineTest, EmptyBareFieldMakesTheLineIncompatible)
{
    const QString line = QStringLiteral(
        "0,\"a.txt\",\"/t/\",01.02.03 04:05:06,\"?\",,0,\"\",\"\",\"\",False,False,False,False,False,False,False,True,"
        "False,False");
    EXPECT_FALSE(TSyncObject::FromLine(line));
    ASSERT_EQ(m_ui.messageBoxes.size(), 1);
    EXPECT_EQ(m_ui.messageBoxes[0], QStringLiteral("Die Objektliste ist inkompatibel.\r\nZeile: ") + line);

    SetRunningAsService(true);
    EXPECT_FALSE(TSyncObject::FromLine(line));
    EXPECT_EQ(m_ui.messageBoxes.size(), 1);
}

TEST_F(ObjectLineTest, UnconvertibleFieldsRaise)
{
    EXPECT_THROW(TSyncObject::FromLine(QStringLiteral("0,a,b,31.02.03 04:05:06,v,1,0,g,d,s,0,0,0,0,0,0,0,0,0,0")),
                 EConvertError);
    EXPECT_THROW(TSyncObject::FromLine(QStringLiteral("0,a,b,01.02.03 04:05:06,v,1,0,g,d,s,0,0,0,0,0,0,0,0,0,ja")),
                 EConvertError);
}

using ObjectListTest = TCatalogueTest;

TEST_F(ObjectListTest, BadLinesAreSkippedAndTheOriginalKeptAside)
{
    auto first = MakeObject(QStringLiteral("one.txt"));
    auto second = MakeObject(QStringLiteral("two.txt"));
    const QByteArray original = first->ToLine().toUtf8() + "\r\n" + "kaputt,zeile\r\n" +
                                "0,a,b,99.99.99 04:05:06,v,1,0,g,d,s,0,0,0,0,0,0,0,0,0,0\r\n" +
                                second->ToLine().toUtf8() + "\r\n";
    const QString path = ProgramFile(QStringLiteral(".objects"));
    WriteFile(path, original);
    BecomeClient();
    LoadObjectList();
    ASSERT_EQ(ObjectCount(), 2);
    EXPECT_EQ(FirstObject()->SourceName(), QStringLiteral("one.txt"));
    EXPECT_EQ(FirstObject()->Next()->SourceName(), QStringLiteral("two.txt"));
    EXPECT_EQ(m_ui.messageBoxes.size(), 1);
    EXPECT_EQ(ReadFile(path), original); // loading alone writes nothing

    SaveObjectList();
    EXPECT_EQ(ReadFile(path + ".bad"), original);
    EXPECT_EQ(ReadFile(path), first->ToLine().toUtf8() + "\r\n" + second->ToLine().toUtf8() + "\r\n");
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("SyncObject-Liste wurde geschrieben")));

    SaveObjectList();
    EXPECT_FALSE(QFile::exists(path + ".bad.2"));
}

// Lines as the list has always been written, with every odd field it can
// hold: doubled quotes, commas and single quotes inside quotes, empty texts,
// text beyond ASCII (the id adds the name's UTF-8 bytes), extreme numbers.
TEST_F(ObjectListTest, AListReadAndWrittenAgainIsTheSameByteForByte)
{
    const QByteArray lines[] = {
        "2079219947,\"tools/B\xc3\xbcro \xe2\x82\xac/setup \"\"neu\"\".exe\",\"/opt/ziel/\",03.04.25 10:20:30,"
        "\"1.2.3.4\",-3,9,\"\\B\xc3\xbcro \"\"Nord\"\"\\|\\10\\1\\2\\\",\"Setup, neu; mit 'Apostroph' und "
        "\"\"Zitat\"\"\",\"setup.scriptus\",True,False,True,False,False,False,True,True,False,True",
        "18446744071562067968,\"a.txt\",\"/t/\",01.01.70 "
        "00:00:00,\"\",0,0,\"\",\"\",\"\",False,False,False,False,False,"
        "False,False,True,False,False",
        "2691515261,\"\xf0\x9d\x84\x9e/x.bin\",\"/srv/\xc3\xa4/\",31.12.99 23:59:58,\"?\",2147483647,-2147483648,"
        "\"\\\xce\xa9\\\",\"Kommas, \xc3\xbc"
        "berall, ','\",\"\",False,True,False,True,True,False,False,True,False,False",
    };
    QByteArray file;
    for (const QByteArray& line : lines)
        file += line + "\r\n";
    const QString path = ProgramFile(QStringLiteral(".objects"));
    WriteFile(path, file);
    LoadObjectList();
    ASSERT_EQ(ObjectCount(), 3);
    const TSyncObject* first = FirstObject();
    EXPECT_EQ(first->SourceName(), QStringLiteral("tools/Büro €/setup \"neu\".exe"));
    EXPECT_EQ(first->ClientGroups(),
              (QStringList{QStringLiteral("\\Büro \"Nord\"\\"), QStringLiteral("\\10\\1\\2\\")}));
    EXPECT_EQ(first->Description(), QStringLiteral("Setup, neu; mit 'Apostroph' und \"Zitat\""));
    EXPECT_TRUE(first->SwapOnly() && first->Autostart() && first->UseClientGroupRights());
    const TSyncObject* second = first->Next();
    EXPECT_TRUE(second->Version().isEmpty() && second->Description().isEmpty() && second->ScriptusFile().isEmpty());
    EXPECT_EQ(second->ClientGroupCount(), 0);
    const TSyncObject* third = second->Next();
    EXPECT_EQ(third->Size(), 2147483647);
    EXPECT_EQ(third->Reserved(), -2147483648);
    EXPECT_EQ(third->Description(), QStringLiteral("Kommas, überall, ','"));

    SaveObjectList();
    EXPECT_EQ(ReadFile(path), file);
    // The object list exchange sends the same line.
    EXPECT_EQ(third->ToLine(), QString::fromUtf8(lines[2]));
    EXPECT_EQ(TSyncObject::FromLine(QString::fromUtf8(lines[0]))->ToLine().toUtf8(), lines[0]);
    EXPECT_TRUE(m_ui.messageBoxes.isEmpty());
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".bad")));
}

// A list longer than the blocks it is written in, and read from the mapped file.
TEST_F(ObjectListTest, ALongListComesBackWhole)
{
    for (int i = 0; i < 3000; ++i) {
        auto object = MakeObject(QStringLiteral("Abteilung%1/werkzeug%2.exe").arg(i % 7).arg(i), i, SomeDate());
        object->SetDescription(QStringLiteral("Werkzeug, Nummer %1 für \"alle\"").arg(i));
        AppendObject(std::move(object));
    }
    SaveObjectList();
    const QByteArray written = ReadFile(ProgramFile(QStringLiteral(".objects")));
    EXPECT_GT(written.size(), 300 * 1024);
    FreeAllObjects();
    LoadObjectList();
    ASSERT_EQ(ObjectCount(), 3000);
    EXPECT_EQ(FindBySourcePath(QStringLiteral("Abteilung3/werkzeug2999.exe"))->Size(), 2999);
    SaveObjectList();
    EXPECT_EQ(ReadFile(ProgramFile(QStringLiteral(".objects"))), written);

    // An empty file is an empty list.
    WriteFile(ProgramFile(QStringLiteral(".objects")), QByteArray());
    FreeAllObjects();
    LoadObjectList();
    EXPECT_EQ(ObjectCount(), 0);
}

// Only LF ends a line: a CR inside one (a list edited by hand) would bring a
// name no line can carry. That line is skipped like any bad one, not the rest.
TEST_F(ObjectListTest, ALineWithABreakInANameIsSkippedAndTheRestLoads)
{
    const QByteArray original =
        "0,\"a\rb.txt\",\"/t/\",01.02.03 04:05:06,\"?\",1,0,\"\",\"\",\"\",0,0,0,0,0,0,0,1,0,0\r\n" +
        MakeObject(QStringLiteral("two.txt"))->ToLine().toUtf8() + "\r\n";
    const QString path = ProgramFile(QStringLiteral(".objects"));
    WriteFile(path, original);
    LoadObjectList();
    ASSERT_EQ(ObjectCount(), 1);
    EXPECT_EQ(FirstObject()->SourceName(), QStringLiteral("two.txt"));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Der Name \"a\\rb.txt\" enthält einen Zeilenumbruch und kann nicht in "
                                               "die Objektliste aufgenommen werden.")));
    SaveObjectList();
    EXPECT_EQ(ReadFile(path + ".bad"), original);
}

TEST_F(ObjectListTest, OnlyPersistentObjectsAreSaved)
{
    AppendObject(MakeObject(QStringLiteral("kept.txt")));
    TSyncObject* generated = AppendObject(MakeObject(QStringLiteral("generated.txt")));
    generated->SetPersistent(false);
    SaveObjectList();
    const QStringList lines = SplitLines(ReadFile(ProgramFile(QStringLiteral(".objects"))));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\"kept.txt\"")));
}

TEST_F(ObjectListTest, MasterRefreshesChangedSourcesAndSavesAtLoad)
{
    MakeFile(Home("Objects/tool.bin"), QByteArray(42, 'x'), SomeDate());
    auto stale = MakeObject(QStringLiteral("tool.bin"), 10, SomeDate());
    stale->SetDistributeFolder(true);
    WriteFile(ProgramFile(QStringLiteral(".objects")), stale->ToLine().toUtf8() + "\r\n");
    const QList<TSyncObject*> owners = LoadObjectList();
    ASSERT_EQ(ObjectCount(), 1);
    EXPECT_EQ(owners, QList<TSyncObject*>{FirstObject()}); // its import is the caller's
    EXPECT_EQ(FirstObject()->Size(), 42);
    EXPECT_EQ(FirstObject()->Version(), QStringLiteral("?"));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Größe wurde modifiziert")));
    EXPECT_TRUE(m_ui.HasMessage(
        QStringLiteral("Ein Ordnerstrukturobjekt \"%1\" wurde gefunden").arg(Home("Objects/tool.bin"))));
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".objects"))).contains(",42,"));
}

TEST_F(ObjectListTest, RemovingAnObjectTakesItsFolderStructureObjects)
{
    TSyncObject* owner = AppendObject(MakeObject(QStringLiteral("dir/main.exe")));
    TSyncObject* child = AppendObject(MakeObject(QStringLiteral("dir/a.dll")));
    child->SetParent(owner);
    AppendObject(MakeObject(QStringLiteral("other.txt")));
    owner->DeleteFolderStructureObjects();
    EXPECT_EQ(ObjectCount(), 2);
    child = AppendObject(MakeObject(QStringLiteral("dir/b.dll")));
    child->SetParent(owner);
    RemoveObject(owner);
    ASSERT_EQ(ObjectCount(), 1);
    EXPECT_EQ(FirstObject()->SourceName(), QStringLiteral("other.txt"));
}

TEST_F(ObjectListTest, AnOpenWalkKeepsRemovedObjectsReadableAndLinked)
{
    TSyncObject* owner = AppendObject(MakeObject(QStringLiteral("dir/main.exe")));
    for (const char* name : {"dir/a.dll", "dir/b.dll"})
        AppendObject(MakeObject(QString::fromLatin1(name)))->SetParent(owner);
    AppendObject(MakeObject(QStringLiteral("other.txt")));
    {
        const TObjectWalk walk;
        TSyncObject* reached = owner->Next(); // a session serving dir/a.dll
        owner->DeleteFolderStructureObjects();
        EXPECT_EQ(ObjectCount(), 2);
        EXPECT_EQ(reached->SourceName(), QStringLiteral("dir/a.dll"));
        // Its walk goes on through the removed neighbour to the live rest.
        ASSERT_EQ(reached->Next()->SourceName(), QStringLiteral("dir/b.dll"));
        EXPECT_EQ(reached->Next()->Next()->SourceName(), QStringLiteral("other.txt"));
        EXPECT_EQ(owner->Next()->SourceName(), QStringLiteral("other.txt"));
    }
    AppendObject(MakeObject(QStringLiteral("dir/c.dll")))->SetParent(owner);
    owner->DeleteFolderStructureObjects(); // no walk open: destroyed at once
    EXPECT_EQ(ObjectCount(), 2);
}

using FindBySourcePathTest = TCatalogueTest;

TEST_F(FindBySourcePathTest, RelativeAndAbsoluteNamesMeet)
{
    TSyncObject* relative = AppendObject(MakeObject(QStringLiteral("Sub/Tool.exe")));
    EXPECT_EQ(FindBySourcePath(Home("Objects/Sub/Tool.exe")), relative);
    // File paths keep their letter case on this system.
    EXPECT_EQ(FindBySourcePath(QStringLiteral("SUB/tool.exe")), nullptr);
    EXPECT_EQ(FindBySourcePath(QStringLiteral("Sub/Other.exe")), nullptr);

    // The first in list order wins, also across the two forms of the name.
    TSyncObject* absolute = AppendObject(MakeObject(Home("Objects/Sub/Tool.exe")));
    EXPECT_EQ(FindBySourcePath(QStringLiteral("Sub/Tool.exe")), relative);
    RemoveObject(relative);
    EXPECT_EQ(FindBySourcePath(QStringLiteral("Sub/Tool.exe")), absolute);

    absolute->SetSourceName(QStringLiteral("/elsewhere/Tool.exe"));
    EXPECT_EQ(FindBySourcePath(QStringLiteral("Sub/Tool.exe")), nullptr);
    EXPECT_EQ(FindBySourcePath(QStringLiteral("/elsewhere/Tool.exe")), absolute);
    EXPECT_EQ(FindBySourcePath(QStringLiteral("/ELSEWHERE/tool.exe")), nullptr);
}

TEST_F(FindBySourcePathTest, FollowsAChangedObjectFolder)
{
    TSyncObject* object = AppendObject(MakeObject(QStringLiteral("a.txt")));
    MainConfig().Set(QStringLiteral("ServerObjectDir"), QStringLiteral("/srv/neu/"));
    EXPECT_EQ(FindBySourcePath(QStringLiteral("/srv/neu/a.txt")), object);
    EXPECT_EQ(FindBySourcePath(Home("Objects/a.txt")), nullptr);
}

TEST_F(FindBySourcePathTest, AgreesWithAListScanUnderRandomChanges)
{
    std::mt19937 random(7);
    const QStringList names{QStringLiteral("a.txt"), QStringLiteral("A.TXT"), QStringLiteral("b/c.txt"),
                            Home("Objects/a.txt"),   Home("Objects/B/C.txt"), QStringLiteral("/x/a.txt")};
    const QStringList folders{Home("Objects/"), QStringLiteral("/x/"), QString()};
    auto scan = [](const QString& path) -> TSyncObject* {
        const QString folder = MainConfig().GetString(QStringLiteral("ServerObjectDir"));
        const QString resolved = path.startsWith(QLatin1Char('/')) ? path : folder + path;
        for (TSyncObject* o = FirstObject(); o != nullptr; o = o->Next())
            if (o->ResolvedSourcePath() == resolved)
                return o;
        return nullptr;
    };
    std::vector<TSyncObject*> listed;
    for (int step = 0; step < 400; ++step) {
        const QString& name = names[random() % names.size()];
        switch (random() % 5) {
        case 0:
        case 1:
            listed.push_back(AppendObject(MakeObject(name)));
            break;
        case 2:
            if (!listed.empty()) {
                const size_t i = random() % listed.size();
                RemoveObject(listed[i]);
                listed.erase(listed.begin() + i);
            }
            break;
        case 3:
            if (!listed.empty())
                listed[random() % listed.size()]->SetSourceName(name);
            break;
        default:
            MainConfig().Set(QStringLiteral("ServerObjectDir"), folders[random() % folders.size()]);
        }
        for (const QString& query : names)
            ASSERT_EQ(FindBySourcePath(query), scan(query)) << "step " << step << " " << query.toStdString();
    }
}

using ObjectStateTest = TCatalogueTest;

TEST_F(ObjectStateTest, APendingRunOnceInstallationIsReportedOnce)
{
    const auto object = MakeObject(QStringLiteral("pending.exe"));
    ASSERT_TRUE(TRegistryStore::WriteValue(TRegistryHive::LocalMachine, kRunOnce, object->TargetPath(),
                                           TRegistryValue::FromText(QStringLiteral("x"))));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(object->IsInstalled());
    EXPECT_EQ(m_ui.Messages(QStringLiteral("SyncObject"))
                  .count(QStringLiteral("Objekt \"/opt/ziel/pending.exe\" in Registry-Schlüssel RunOnce gefunden")),
              1);
}

TEST_F(ObjectStateTest, NeedsInstallationTruthTable)
{
    BecomeClient();
    const QString target = Home("Target/app.bin");
    enum TTarget {
        Missing,
        Differs,
        Matches,
        PendingAtNextStart
    };
    struct TRow {
        TTarget target;
        bool deleteTarget;
        bool swapOnly;
        bool expected;
    };
    const TRow rows[] = {
        {Missing, false, false, true},
        {Missing, false, true, false},
        {Missing, true, false, false},
        {Missing, true, true, false},
        {Differs, false, false, true},
        {Differs, false, true, true},
        {Differs, true, false, true},
        {Differs, true, true, true},
        {Matches, false, false, false},
        {Matches, false, true, false},
        {Matches, true, false, true},
        {Matches, true, true, true},
        {PendingAtNextStart, false, false, false},
        {PendingAtNextStart, true, false, false},
    };
    for (const TRow& row : rows) {
        QFile::remove(target);
        TRegistryStore::DeleteValue(TRegistryHive::LocalMachine, kRunOnce, target);
        if (row.target == Differs)
            MakeFile(target, "short", SomeDate());
        if (row.target == Matches)
            MakeFile(target, QByteArray(100, 'x'), SomeDate());
        if (row.target == PendingAtNextStart)
            TRegistryStore::WriteValue(TRegistryHive::LocalMachine, kRunOnce, target,
                                       TRegistryValue::FromText(target + ".new"));
        TSyncObject object(QStringLiteral("app.bin"), QStringLiteral("?"), 100, SomeDate(), Home("Target/"));
        object.SetDeleteTarget(row.deleteTarget);
        object.SetSwapOnly(row.swapOnly);
        EXPECT_EQ(object.NeedsInstallation(), row.expected)
            << "target " << row.target << " delete " << row.deleteTarget << " swap " << row.swapOnly;
    }
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Objekt \"%1\" in Registry-Schlüssel RunOnce gefunden").arg(target)));
}

TEST_F(ObjectStateTest, ClientWithMatchingTargetIsCurrentWithoutSource)
{
    TSyncObject object(QStringLiteral("app.bin"), QStringLiteral("?"), 3, SomeDate(), Home("Target/"));
    MakeFile(Home("Target/app.bin"), "abc", SomeDate());
    EXPECT_FALSE(object.IsCurrent()); // the master server looks at the source only
    BecomeClient();
    EXPECT_TRUE(object.IsCurrent());
    ASSERT_TRUE(SetFileLastWriteTime(Home("Target/app.bin"), SomeDate() + 2.0 / 86400));
    EXPECT_FALSE(object.IsCurrent());
}

TEST_F(ObjectStateTest, NewVersionWithSameSizeAndDateKeepsTheId)
{
    TPeBuilder pe;
    const QByteArray oldImage = pe.Build();
    pe.build = 5;
    const QByteArray newImage = pe.Build();
    ASSERT_EQ(oldImage.size(), newImage.size());
    const QString source = Home("Objects/lib.dll");
    MakeFile(source, oldImage, SomeDate());
    TSyncObject object(QStringLiteral("lib.dll"), QString(), 0, 0, QStringLiteral("/t/"));
    EXPECT_TRUE(object.RefreshFromSource());
    EXPECT_EQ(object.Version(), QStringLiteral("1.2.3.4"));
    const quint64 id = object.ComputeId();

    MakeFile(source, newImage, SomeDate());
    m_ui.Clear();
    EXPECT_TRUE(object.RefreshFromSource());
    EXPECT_EQ(object.Version(), QStringLiteral("1.2.3.5"));
    EXPECT_EQ(object.ComputeId(), id);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("SyncObject")),
              (QStringList{QStringLiteral("Version wurde modifiziert"),
                           QStringLiteral("Datei \"%1\" wurde modifiziert").arg(source)}));
    EXPECT_FALSE(object.RefreshFromSource());
}

TEST_F(ObjectStateTest, CopyPropertiesReportsRealChangesOnly)
{
    TSyncObject received(QStringLiteral("a.txt"), QStringLiteral("2"), 5, SomeDate(), QStringLiteral("/T/"));
    received.SetAutostart(true);
    received.SetDescription(QStringLiteral("neu"));
    TSyncObject known(QStringLiteral("a.txt"), QStringLiteral("2"), 5, SomeDate(), QStringLiteral("/t/"));
    known.AddClientGroup(QStringLiteral("\\g\\"));
    EXPECT_TRUE(received.CopyPropertiesTo(known)); // target folders differ in case: another folder here
    EXPECT_TRUE(known.Autostart());
    EXPECT_EQ(known.Description(), QStringLiteral("neu"));
    EXPECT_EQ(known.ClientGroupCount(), 1);
    EXPECT_FALSE(received.CopyPropertiesTo(known)); // nothing differs any more
    received.SetSize(6);
    EXPECT_TRUE(received.CopyPropertiesTo(known));
    EXPECT_EQ(known.Size(), 6);
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Objekt \"a.txt\" wurde aktualisiert")));
}

TEST_F(ObjectStateTest, ScriptusCompanionComesFromAnExistingFile)
{
    TSyncObject owner(QStringLiteral("setup.exe"), QStringLiteral("?"), 1, SomeDate(), QStringLiteral("/t/"));
    owner.SetScriptusFile(QStringLiteral("setup.scriptus"));
    EXPECT_FALSE(owner.GenerateScriptusCompanion());
    MakeFile(Home("Scriptus/setup.scriptus"), "Klick", SomeDate());
    const auto companion = owner.GenerateScriptusCompanion();
    ASSERT_TRUE(companion);
    EXPECT_EQ(companion->SourceName(), QStringLiteral("setup.scriptus"));
    EXPECT_EQ(companion->Size(), 5);
    EXPECT_EQ(companion->ModifiedDate(), SomeDate());
    EXPECT_EQ(companion->TargetFolder(), QStringLiteral("/t/"));
    EXPECT_FALSE(companion->Persistent());
    EXPECT_TRUE(companion->ScriptusCompanion());
    EXPECT_EQ(owner.AttributeLetters(), QStringLiteral("S"));
}

TEST_F(ObjectStateTest, GroupRightsHoldBelowTheGroupAndFollowTheParent)
{
    TSyncObject owner(QStringLiteral("a.exe"), QStringLiteral("?"), 1, SomeDate(), QStringLiteral("/t/"));
    EXPECT_TRUE(owner.ClientEntitled(QStringLiteral("\\irgendwo\\")));
    owner.SetUseClientGroupRights(true);
    owner.AddClientGroup(QStringLiteral("\\Firma\\Büro\\"));
    EXPECT_TRUE(owner.ClientEntitled(QStringLiteral("\\firma\\büro\\")));
    EXPECT_TRUE(owner.ClientEntitled(QStringLiteral("\\Firma\\Büro\\Etage 2\\")));
    EXPECT_FALSE(owner.ClientEntitled(QStringLiteral("\\Firma\\Büro2\\")));
    EXPECT_TRUE(m_ui.HasMessage(
        QStringLiteral("Objekt \"a.exe\" darf nicht übertragen werden, da Client-Gruppe nicht berechtigt")));
    TSyncObject child(QStringLiteral("a.dll"), QStringLiteral("?"), 1, SomeDate(), QStringLiteral("/t/"));
    child.SetParent(&owner);
    EXPECT_FALSE(child.ClientEntitled(QStringLiteral("\\Firma\\")));
    EXPECT_TRUE(child.ClientEntitled(QStringLiteral("\\Firma\\Büro\\")));
}
