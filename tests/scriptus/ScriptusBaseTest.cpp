// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "scriptus/ScriptusBase.h"
#include "support/TestHome.h"

namespace {

TScriptus FullCommand()
{
    TScriptus c;
    c.Kind = ClickLeft;
    c.ControlPath = QStringLiteral("\\\\setup\\Installation, Teil 2 [frame]\\C:\\Programme: \"OK\" [push button]");
    c.Title = QStringLiteral("Ein \"Titel\", mit: Zeichen");
    c.ClassName = QStringLiteral("push button");
    c.Checked = true;
    c.Text = QStringLiteral("Text mit 'Apostroph' und \"\"");
    c.X = -12;
    c.Y = 345;
    c.HasPosition = true;
    c.Description = QStringLiteral("Beschreibung, \u00e4\u00f6\u00fc");
    return c;
}

class ScriptusFileTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        ScriptusSequence().Clear();
        ScriptusEvents().Clear();
    }
    QString File() const { return Home(QStringLiteral("test.scriptus")); }
};

TEST_F(ScriptusFileTest, RoundTripKeepsBothListsOrderFlagsAndAllFields)
{
    TScriptus second;
    second.Kind = WaitForTime;
    second.Text = QStringLiteral("3");
    TScriptus event = FullCommand();
    event.Kind = Check;
    event.Checked = false;
    event.HasPosition = false;
    ScriptusSequence().Append({true, FullCommand()});
    ScriptusSequence().Append({false, second});
    ScriptusEvents().Append({true, event});
    SaveCommandFile(File());
    ScriptusSequence().Clear();
    ASSERT_TRUE(LoadCommandFile(File()));

    ASSERT_EQ(ScriptusSequence().rowCount(), 2);
    ASSERT_EQ(ScriptusEvents().rowCount(), 1);
    EXPECT_TRUE(ScriptusSequence().Row(0).Active);
    EXPECT_EQ(ScriptusSequence().Row(0).Command, FullCommand());
    EXPECT_FALSE(ScriptusSequence().Row(1).Active);
    EXPECT_EQ(ScriptusSequence().Row(1).Command, second);
    EXPECT_EQ(ScriptusEvents().Row(0).Command, event);
}

TEST_F(ScriptusFileTest, LinesHaveTheStoredLayout)
{
    TScriptus click;
    click.Kind = ClickLeft;
    click.ControlPath = QStringLiteral("\\\\setup\\Setup [dialog]\\OK [push button]");
    click.Title = QStringLiteral("OK");
    click.ClassName = QStringLiteral("push button");
    click.X = 5;
    click.Y = -7;
    click.HasPosition = true;
    ScriptusEvents().Append({false, click});
    SaveCommandFile(File());
    EXPECT_EQ(ReadFile(File()), QByteArray("1,False:2,\"\\\\setup\\Setup [dialog]\\OK [push button]\",\"OK\","
                                           "\"push button\",\"\",5,-7,True,False,\"\"\r\n"));
}

TEST_F(ScriptusFileTest, ReaderAcceptsOtherSpellingsAndSkipsForeignLists)
{
    WriteFile(File(), "0,true:12,\"p\",\"t\",\"c\",\"x\",1,2,TRUE,0\r\n"
                      "2,True:2,\"\",\"\",\"\",\"\",0,0,False,False,\"\"\r\n"
                      "1,1:16,\"q\",\"\",\"\",\"\",0,0,1,false,\"d\"\r\n"
                      "0,False:5,\"\",\"\",\"\",\"\",0,0,False,False,\"\"\r\n");
    // The first line has only nine fields: the load stops there.
    EXPECT_FALSE(LoadCommandFile(File()));
    WriteFile(File(), "0,true:12,\"p\",\"t\",\"c\",\"x\",1,2,TRUE,0,\"\"\n"
                      "2,True:2,\"\",\"\",\"\",\"\",0,0,False,False,\"\"\r\n"
                      "1,1:16,\"q\",\"\",\"\",\"\",0,0,1,false,\"d\"\r\n");
    ASSERT_TRUE(LoadCommandFile(File()));
    ASSERT_EQ(ScriptusSequence().rowCount(), 1);
    EXPECT_TRUE(ScriptusSequence().Row(0).Command.HasPosition);
    EXPECT_EQ(ScriptusSequence().Row(0).Command.Text, QStringLiteral("x"));
    ASSERT_EQ(ScriptusEvents().rowCount(), 1);
    EXPECT_TRUE(ScriptusEvents().Row(0).Active);
    EXPECT_EQ(ScriptusEvents().Row(0).Command.Description, QStringLiteral("d"));
}

TEST_F(ScriptusFileTest, BadLinesEndTheLoadWithTheirMessageAndKeepEarlierRows)
{
    const QString good = QStringLiteral("0,True:6,\"p\",\"\",\"\",\"\",0,0,False,False,\"\"\r\n");
    const struct {
        const char* line;
        const char* message;
    } cases[] = {
        {"0,True:6,\"p\",\"\",\"\",\"\",0,0,False\r\n", "Kommandofeldern"},
        {"0,True:6,\"p\",\"\",\"\",\"\",zwei,0,False,False,\"\"\r\n", "\"zwei\" ist kein gültiger Integerwert"},
        {"0,True:6,\"p\",\"\",\"\",\"\",0,0,Vielleicht,False,\"\"\r\n", "Boolescher Wert"},
        {"x,True:6,\"p\",\"\",\"\",\"\",0,0,False,False,\"\"\r\n", "\"x\" ist kein"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        m_ui.Clear();
        WriteFile(File(), (good + QString::fromUtf8(c.line) + good).toUtf8());
        EXPECT_FALSE(LoadCommandFile(File()));
        EXPECT_EQ(ScriptusSequence().rowCount(), 1);
        const QStringList messages = m_ui.Messages(QStringLiteral("ScriptusBase"));
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages.first().startsWith(
            QStringLiteral("Beim Öffnen der Skriptus-Datei \"%1\" ist eine Ausnahme des Typs \"").arg(File())));
        EXPECT_TRUE(messages.first().contains(QString::fromUtf8(c.message)));
    }
    m_ui.Clear();
    EXPECT_FALSE(LoadCommandFile(Home(QStringLiteral("fehlt.scriptus"))));
    EXPECT_EQ(ScriptusSequence().rowCount(), 0);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("ScriptusBase")).size(), 1);
}

TEST_F(ScriptusFileTest, SavingOverAFileReplacesItWhole)
{
    WriteFile(File(), QByteArray(5000, 'x'));
    ScriptusSequence().Append({true, FullCommand()});
    SaveCommandFile(File());
    ASSERT_TRUE(LoadCommandFile(File()));
    EXPECT_EQ(ScriptusSequence().rowCount(), 1);
    EXPECT_EQ(ScriptusEvents().rowCount(), 0);
}

TEST(ScriptusRowTest, ColumnsShowNamesParametersImagesAndPath)
{
    TScriptusList list;
    TScriptus key;
    key.Kind = KeyDown;
    key.X = 0x41;
    key.Y = 0x1e0001;
    key.HasPosition = true;
    list.Append({true, key});
    TScriptus check;
    check.Kind = Check;
    check.ControlPath = QStringLiteral("\\\\a\\b [c]");
    list.Append({false, check});
    TScriptus unknown;
    unknown.Kind = 0x1234;
    list.Append({true, unknown});

    EXPECT_EQ(list.data(list.index(0, TScriptusList::ColumnCommand), Qt::DisplayRole).toString(),
              QStringLiteral("Taste gedrückt"));
    EXPECT_EQ(list.data(list.index(0, TScriptusList::ColumnParameter), Qt::DisplayRole).toString(),
              QStringLiteral("0x1e0001,65 ('A')"));
    EXPECT_EQ(list.data(list.index(0, 0), TScriptusList::kImageIndexRole).toInt(), 27);
    EXPECT_FALSE(list.data(list.index(0, 0), Qt::ToolTipRole).isValid());
    EXPECT_EQ(list.data(list.index(1, TScriptusList::ColumnParameter), Qt::DisplayRole).toString(),
              QStringLiteral("deaktivieren"));
    EXPECT_EQ(list.data(list.index(1, 0), Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_EQ(list.data(list.index(1, 0), Qt::ToolTipRole).toString(), QStringLiteral("Pfad: \\\\a\\b [c]"));
    EXPECT_EQ(list.data(list.index(2, TScriptusList::ColumnCommand), Qt::DisplayRole).toString(),
              QStringLiteral("WM_UNKNOWN=0x1234"));
    EXPECT_EQ(list.data(list.index(2, 0), TScriptusList::kImageIndexRole).toInt(), -1);

    EXPECT_TRUE(list.setData(list.index(2, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(list.Row(2).Active);
}

TEST(ScriptusRowTest, MovesKeepOrderAtTheEdgesAndCarryRowsToTheOtherList)
{
    TScriptusList list;
    TScriptusList other;
    for (int i = 0; i < 4; ++i) {
        TScriptus c;
        c.Kind = i;
        list.Append({i != 2, c});
    }
    auto kinds = [&] {
        QList<int> k;
        for (const TScriptusRow& row : list.Rows())
            k.append(row.Command.Kind);
        return k;
    };
    EXPECT_EQ(list.MoveUp(0), 0);
    EXPECT_EQ(list.MoveDown(3), 3);
    EXPECT_EQ(kinds(), (QList<int>{0, 1, 2, 3}));
    EXPECT_EQ(list.MoveLast(0), 3);
    EXPECT_EQ(kinds(), (QList<int>{1, 2, 3, 0}));
    EXPECT_EQ(list.MoveFirst(2), 0);
    EXPECT_EQ(kinds(), (QList<int>{3, 1, 2, 0}));
    EXPECT_EQ(list.MoveDown(1), 2);
    EXPECT_EQ(kinds(), (QList<int>{3, 2, 1, 0}));
    EXPECT_EQ(list.MoveToOther(1, other), 0);
    EXPECT_EQ(kinds(), (QList<int>{3, 1, 0}));
    ASSERT_EQ(other.rowCount(), 1);
    EXPECT_EQ(other.Row(0).Command.Kind, 2);
    EXPECT_FALSE(other.Row(0).Active);
}

} // namespace
