// SPDX-License-Identifier: GPL-3.0-or-later
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "foundation/MainConfig.h"
#include "scriptus/ScriptusDesktop.h"
#include "scriptus/SyncControl.h"

namespace {

using SyncControlTest = TScriptusDesktopTest;

TSyncControl* Find(const QString& name, const QString& className)
{
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        if (c->NameElement() == name && c->ClassName() == className)
            return c;
    return nullptr;
}

TEST_P(SyncControlTest, ControlsHaveTheirPathAndAreFoundByItIgnoringCase)
{
    StartProbe();
    ReadControlList();
    TSyncControl* next = Find(QStringLiteral("Weiter"), QStringLiteral("push button"));
    ASSERT_NE(next, nullptr);
    const QString path = ControlPath(next);
    EXPECT_TRUE(path.startsWith(QStringLiteral("\\\\") + ProbeName() + QLatin1Char('\\'))) << path.toStdString();
    EXPECT_TRUE(path.endsWith(QStringLiteral("-Testanwendung [filler]\\Weiter [push button]"))) << path.toStdString();
    EXPECT_EQ(FindControlByPath(path.toUpper()), next);
    EXPECT_EQ(FindControlByPath(path.chopped(1)), nullptr);
    EXPECT_TRUE(next->Visible());
    EXPECT_EQ(next->FileName(), ProbeName());

    // The window's own element stands at the top of the chain.
    TSyncControl* top = next;
    while (top->ParentElement())
        top = top->ParentElement();
    EXPECT_EQ(top->Handle(), next->Window());
    EXPECT_EQ(top->ControlId(), 0);
    EXPECT_TRUE(top->NameElement().endsWith(QStringLiteral("-Testanwendung")));
}

TEST_P(SyncControlTest, AnonymousFileNameMatchesWhateverTheProgramIsCalled)
{
    StartProbe();
    MainConfig().Set(QStringLiteral("ScriptusExcludeFilenameFromPath"), true);
    ReadControlList();
    TSyncControl* option = Find(QStringLiteral("Option"), QStringLiteral("check box"));
    ASSERT_NE(option, nullptr);
    const QString path = ControlPath(option);
    EXPECT_TRUE(path.startsWith(QStringLiteral("\\\\<anonymous file>\\"))) << path.toStdString();
    EXPECT_EQ(FindControlByPath(path), option);
    EXPECT_EQ(FindControlByPath(QStringLiteral("\\\\") + ProbeName() + path.mid(18)), nullptr);
}

TEST_P(SyncControlTest, UntitledControlsTakeTheParentsNameAndTheirIdentifierWhenAsked)
{
    StartProbe();
    ReadControlList();
    // Untitled entries share their list's path; the search returns the first.
    std::vector<TSyncControl*> untitled;
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        if (c->NameElement() == QStringLiteral("Liste") && c->ClassName() != QStringLiteral("list") &&
            c->ClassName() != QStringLiteral("list box"))
            untitled.push_back(c);
    if (untitled.size() < 2)
        GTEST_SKIP() << "this toolkit names its list entries";
    EXPECT_EQ(ControlPath(untitled[0]), ControlPath(untitled[1]));
    EXPECT_EQ(FindControlByPath(ControlPath(untitled[1])), untitled[0]);
    const QString rowClass = untitled[0]->ClassName();

    FreeControlList();
    MainConfig().Set(QStringLiteral("ScriptusControlIdInPath"), true);
    ReadControlList();
    TSyncControl* second = Find(QStringLiteral("Liste<2>"), rowClass);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(FindControlByPath(ControlPath(second)), second);
    EXPECT_NE(Find(QStringLiteral("Liste<1>"), rowClass), nullptr);
    // The named window keeps its name without an identifier.
    EXPECT_NE(Find(QStringLiteral("Weiter"), QStringLiteral("push button")), nullptr);
}

TEST_P(SyncControlTest, StoredNamesStayUntilRefreshedAndClosedProgramsLeaveTheList)
{
    TDesktopSession::TProgram* program = StartProbe();
    ReadControlList();
    TSyncControl* name = Find(QStringLiteral("Name"), QStringLiteral("text"));
    ASSERT_NE(name, nullptr);
    EXPECT_TRUE(NameIsCurrent(name));
    const QString path = ControlPath(name);

    TDesktopSession::Shared().End(program);
    RunEventsUntil([&] {
        RebuildControlList();
        return FindControlByPath(path) == nullptr;
    });
    EXPECT_EQ(FindControlByPath(path), nullptr);
}

TEST_P(SyncControlTest, ManyControlsAreListedOnceDepthFirstInChildOrder)
{
    constexpr int kButtons = 300;
    StartProbe({"--controls=" + std::to_string(kButtons)});
    TSyncControl* last = nullptr;
    RunEventsUntil([&] {
        FreeControlList();
        ReadControlList();
        last = Find(QStringLiteral("Knopf %1").arg(kButtons), QStringLiteral("push button"));
        return last != nullptr;
    });
    ASSERT_NE(last, nullptr);
    // The buttons share one parent and follow it, in the order of their place
    // among its children, each listed once.
    TSyncControl* grid = last->ParentElement();
    ASSERT_NE(grid, nullptr);
    std::vector<int> places;
    std::set<QString> names;
    bool afterGrid = false;
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c)) {
        afterGrid = afterGrid || c == grid;
        if (c->ParentElement() != grid)
            continue;
        EXPECT_TRUE(afterGrid);
        places.push_back(c->ControlId());
        if (c->ClassName() == QStringLiteral("push button")) {
            EXPECT_TRUE(names.insert(c->NameElement()).second) << c->NameElement().toStdString();
        }
    }
    EXPECT_EQ(static_cast<int>(names.size()), kButtons);
    ASSERT_FALSE(places.empty());
    for (std::size_t i = 0; i < places.size(); ++i)
        EXPECT_EQ(places[i], static_cast<int>(i) + 1);
    EXPECT_EQ(FindControlByPath(ControlPath(last)), last);
}

INSTANTIATE_TEST_SUITE_P(Toolkits, SyncControlTest, ::testing::Values(SCRIPTUS_QT_PROBE, SCRIPTUS_GTK_PROBE));

} // namespace
