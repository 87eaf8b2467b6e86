// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/CatalogueCommands.h"
#include "ui/ViewsFixture.h"

namespace {

class TCatalogueCommandsTest : public TViewsTest
{
protected:
    TAsk Answer(bool yes)
    {
        return [this, yes](const QString& text) {
            m_questions.append(text);
            return yes;
        };
    }
    TWarn Warn()
    {
        return [this](const QString& text) { m_warnings.append(text); };
    }

    QStringList m_questions;
    QStringList m_warnings;
};

TEST_F(TCatalogueCommandsTest, FolderStructureObjectIsRefusedAndItsOwnerGoesWithItsChildren)
{
    TSyncObject* owner = Add(QStringLiteral("tree/setup.exe"));
    owner->SetDistributeFolder(true);
    TSyncObject* child = Add(QStringLiteral("tree/readme.txt"));
    child->SetParent(owner);
    child->SetPersistent(false);
    Add(QStringLiteral("other.exe"));
    SaveObjectList();

    EXPECT_EQ(DeleteObjects({"tree/readme.txt"}, Answer(true), Warn()), 0);
    EXPECT_EQ(m_warnings, QStringList{"Dieses Quellobjekt ist abhängig vom Objekt \"tree/setup.exe\".\r\n"
                                      "Es darf nicht gelöscht werden."});
    EXPECT_TRUE(m_questions.isEmpty());

    EXPECT_EQ(DeleteObjects({"tree/setup.exe"}, Answer(false), Warn()), 0);
    EXPECT_EQ(ObjectCount(), 3) << "\"Nein\" keeps the object";

    m_ui.Clear();
    EXPECT_EQ(DeleteObjects({"tree/setup.exe", "gone.exe"}, Answer(true), Warn()), 1);
    EXPECT_TRUE(m_questions.last().startsWith("Das Quellobjekt \"tree/setup.exe\" wird aus der Objektliste entfernt."));
    EXPECT_EQ(ObjectCount(), 1) << "the generated object goes with its owner";
    EXPECT_FALSE(ReadFile(ProgramFile(".objects")).contains("setup.exe"));
    ASSERT_TRUE(RunEventsUntil(
        [] { return !ViewBuildRunning(TViewKind::ObjectList) && !ViewBuildRunning(TViewKind::ObjectTree); }));
    RunEventsFor(30);
    EXPECT_EQ(ListKeys(), QStringList{"other.exe"}) << "the views are rebuilt";
}

TEST_F(TCatalogueCommandsTest, DeletingClientsAsksForEachAndSaves)
{
    RegisterClient(QStringLiteral("192.0.2.5"), QStringLiteral("alpha"));
    RegisterClient(QStringLiteral("192.0.2.6"), QStringLiteral("beta"));
    EXPECT_EQ(DeleteClients({"alpha", "nobody"}, Answer(false)), 0);
    EXPECT_EQ(DeleteClients({"ALPHA"}, Answer(true)), 1);
    EXPECT_EQ(m_questions.last(), "Der Client \"alpha\" wird aus der Client-Liste entfernt. Möchten Sie fortfahren?");
    EXPECT_EQ(FindClientByName("alpha"), nullptr);
    EXPECT_FALSE(ReadFile(ProgramFile(".clients")).contains("alpha"));
}

} // namespace
