// SPDX-License-Identifier: GPL-3.0-or-later
// The Scriptus page against the Qt test program on a private desktop: the
// tree read by "Listen aktualisieren", the panel of a chosen control, and
// command actions that act on the program and append their rows.
#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

#include "UiFixture.h"
#include "scriptus/Hooks.h"
#include "scriptus/ScriptusBase.h"
#include "scriptus/SyncControl.h"
#include "support/DesktopSession.h"
#include "ui/dialogs/MainEditText.h"
#include "ui/main/Main.h"
#include "ui/pages/PageScriptus.h"
#include "ui/views/MainViews.h"

namespace {

// The first node, depth first, with this text.
QModelIndex FindNode(const QAbstractItemModel* model, const QString& text, const QModelIndex& parent = {})
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex node = model->index(row, 0, parent);
        if (node.data().toString() == text)
            return node;
        if (const QModelIndex below = FindNode(model, text, node); below.isValid())
            return below;
    }
    return {};
}

class ScriptusPageDesktopTest : public TUiTest
{
protected:
    void SetUp() override
    {
        TUiTest::SetUp();
        TDesktopSession& desktop = TDesktopSession::Shared();
        ASSERT_TRUE(desktop.Running() || desktop.Start()) << desktop.Error();
        m_probe = Launch("Seite");
        FreeControlList();
        ScriptusSequence().Clear();
        RecordingTemplate() = TScriptus();
        SetRecordingHeld(false);
        m_form = std::make_unique<TFormMain>();
        new TMainViews(*m_form); // owned by the form
        m_form->show();
        m_form->ShowPage(TPage::Scriptus);
    }
    void TearDown() override
    {
        m_form.reset();
        for (TDesktopSession::TProgram* program : m_programs)
            TDesktopSession::Shared().End(program);
        FreeControlList();
        ScriptusSequence().Clear();
        TUiTest::TearDown();
    }

    TDesktopSession::TProgram* Launch(const char* title)
    {
        TDesktopSession::TProgram* program =
            TDesktopSession::Shared().Launch({SCRIPTUS_QT_PROBE, std::string("--title=") + title});
        m_programs.push_back(program);
        EXPECT_FALSE(TDesktopSession::WaitForLine(*program, "ready").empty());
        return program;
    }

    QTreeView* Tree() const { return qobject_cast<QTreeView*>(m_form->PageScriptus()->Tree()); }
    QModelIndex Node(const QString& text) const { return FindNode(Tree()->model(), text); }
    QString Info(int row) const { return m_form->PageScriptus()->InfoLabel(row)->text(); }
    TMainActions& Actions() { return m_form->Actions(); }

    // F5 on the Scriptus page, until the node shows.
    void RefreshUntil(const QString& text)
    {
        Actions().ViewRefresh->trigger();
        ASSERT_TRUE(RunEventsUntil([&] { return Node(text).isValid(); }, 20000)) << text.toStdString();
    }

    bool Saw(const char* line) { return !TDesktopSession::WaitForLine(*m_probe, line).empty(); }

    TDesktopSession::TProgram* m_probe = nullptr;
    std::vector<TDesktopSession::TProgram*> m_programs;
    std::unique_ptr<TFormMain> m_form;
};

TEST_F(ScriptusPageDesktopTest, RefreshReadsTheDesktopOffTheMainThreadIntoTheTree)
{
    Actions().ViewRefresh->trigger();
    // The read has not happened on this thread: the tree is still empty.
    EXPECT_EQ(Tree()->model()->rowCount(), 0);
    RefreshUntil(QStringLiteral("Weiter [push button]"));
    const QModelIndex program = Node(QFileInfo(QStringLiteral(SCRIPTUS_QT_PROBE)).fileName());
    ASSERT_TRUE(program.isValid());
    EXPECT_FALSE(program.parent().isValid());
    // Qt's windows are "filler"s to the accessibility bus.
    EXPECT_EQ(Node(QStringLiteral("Seite [filler]")).parent(), program);

    // A window that came later shows after the next refresh.
    Launch("Zweite");
    EXPECT_FALSE(Node(QStringLiteral("Zweite [filler]")).isValid());
    RefreshUntil(QStringLiteral("Zweite [filler]"));
}

TEST_F(ScriptusPageDesktopTest, ChosenControlFillsThePanelAndItsActionsActAndAppend)
{
    RefreshUntil(QStringLiteral("Weiter [push button]"));
    Tree()->setCurrentIndex(Node(QStringLiteral("Weiter [push button]")));
    EXPECT_EQ(Info(2), QStringLiteral("push button"));
    EXPECT_TRUE(Info(1).startsWith(QStringLiteral("Weiter (in \"scriptus_qt_probe\")"))) << Info(1).toStdString();
    EXPECT_TRUE(Info(0).contains(QStringLiteral(" / Control Id="))) << Info(0).toStdString();
    ASSERT_TRUE(Actions().ScriptusLeftClick->isEnabled());

    // As if the pointer had rested on the button.
    RecordingTemplate().HasPosition = true;
    RecordingTemplate().X = 5;
    RecordingTemplate().Y = 5;
    Actions().ScriptusLeftClick->trigger();
    EXPECT_TRUE(Saw("click Weiter"));
    ASSERT_EQ(ScriptusSequence().rowCount(), 1);
    const TScriptus& click = ScriptusSequence().Row(0).Command;
    EXPECT_EQ(click.Kind, ClickLeft);
    EXPECT_TRUE(click.ControlPath.endsWith(QStringLiteral("\\Weiter [push button]")))
        << click.ControlPath.toStdString();
    EXPECT_EQ(click.Title, QStringLiteral("Weiter"));

    Tree()->setCurrentIndex(Node(QStringLiteral("Name [text]")));
    QTimer::singleShot(50, [] {
        if (auto* dialog = qobject_cast<TFormEditText*>(QApplication::activeModalWidget())) {
            dialog->EditDesc()->setText(QStringLiteral("Hallo"));
            dialog->accept();
        }
    });
    Actions().ScriptusSetText->trigger();
    EXPECT_TRUE(Saw("text Name Hallo"));
    ASSERT_EQ(ScriptusSequence().rowCount(), 2);
    EXPECT_EQ(ScriptusSequence().Row(1).Command.Kind, SetText);
    EXPECT_EQ(ScriptusSequence().Row(1).Command.Text, QStringLiteral("Hallo"));
}

} // namespace
