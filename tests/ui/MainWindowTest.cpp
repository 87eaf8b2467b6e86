// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QTreeView>

#include "UiFixture.h"
#include "foundation/MainConfig.h"
#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"
#include "replication/ClientBase.h"
#include "ui/main/GuiUi.h"
#include "ui/main/Main.h"
#include "ui/pages/PageClients.h"
#include "ui/pages/PageObjects.h"
#include "ui/pages/PageOverview.h"
#include "ui/pages/PageProtocol.h"
#include "ui/pages/StatusPanels.h"
#include "ui/views/MainViews.h"
#include "ui/views/MainViewsThread.h"
#include "ui/views/ProtocolModel.h"

namespace {

class MainWindowTest : public TUiTest
{
protected:
    void Start()
    {
        m_form = std::make_unique<TFormMain>();
        new TMainViews(*m_form); // owned by the form
        m_form->show();
        m_form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
        m_form->UpdateActionStates();
    }
    TMainActions& Actions() { return m_form->Actions(); }

    std::unique_ptr<TFormMain> m_form;
};

TEST_F(MainWindowTest, MasterServerMayEditObjectsAndSeesAllPages)
{
    Start();
    m_form->ShowPage(TPage::Objects);
    Actions().AddStateSource([](TActionState& s) { s.objectSelected = true; });
    m_form->UpdateActionStates();
    EXPECT_TRUE(Actions().FileAppendObject->isEnabled());
    EXPECT_TRUE(Actions().ObjectDelete->isEnabled());
    EXPECT_TRUE(Actions().ObjectProperties->isEnabled());
    EXPECT_TRUE(Actions().ViewPage[int(TPage::Users)]->isVisible());
    EXPECT_TRUE(Actions().ViewPage[int(TPage::Scriptus)]->isVisible());
    EXPECT_TRUE(m_form->PageVisible(TPage::Scriptus));
    // Delete and properties need the objects page.
    m_form->ShowPage(TPage::Clients);
    EXPECT_FALSE(Actions().ObjectDelete->isEnabled());
}

TEST_F(MainWindowTest, ClientMayNotEditObjectsAndLacksUsersAndScriptus)
{
    BecomeClient();
    Start();
    m_form->ShowPage(TPage::Objects);
    Actions().AddStateSource([](TActionState& s) { s.objectSelected = true; });
    m_form->UpdateActionStates();
    EXPECT_FALSE(Actions().FileAppendObject->isEnabled());
    EXPECT_FALSE(Actions().ObjectDelete->isEnabled());
    EXPECT_FALSE(Actions().ObjectProperties->isEnabled());
    EXPECT_FALSE(Actions().ViewPage[int(TPage::Users)]->isVisible());
    EXPECT_FALSE(Actions().ViewPage[int(TPage::Scriptus)]->isVisible());
    EXPECT_FALSE(m_form->PageVisible(TPage::Scriptus));
    EXPECT_FALSE(m_form->PageVisible(TPage::Users));
}

TEST_F(MainWindowTest, RunningSessionDisablesConnectExitAndEdits)
{
    Start();
    TActionState state;
    state.master = true;
    state.idle = false;
    state.activePage = TPage::Objects;
    state.objectSelected = true;
    state.clientSelected = true;
    Actions().Update(state);
    EXPECT_FALSE(Actions().ServerConnect->isEnabled());
    EXPECT_FALSE(Actions().FileExit->isEnabled());
    EXPECT_FALSE(Actions().ObjectDelete->isEnabled());
    EXPECT_FALSE(Actions().ClientPhoneHome->isEnabled());
    state.idle = true;
    Actions().Update(state);
    EXPECT_TRUE(Actions().ServerConnect->isEnabled());
    EXPECT_TRUE(Actions().FileExit->isEnabled());
    EXPECT_TRUE(Actions().ClientTerminate->isEnabled());
}

TEST_F(MainWindowTest, ProtocolPageFollowsItsOptionAndShiftF6)
{
    Start();
    EXPECT_FALSE(m_form->PageVisible(TPage::Protocol));
    QTest::keyClick(m_form.get(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_NE(m_form->ActivePage(), TPage::Protocol);
    EXPECT_FALSE(Actions().ViewPage[int(TPage::Protocol)]->isEnabled());

    m_form->SetProtocolPageVisible(true);
    EXPECT_TRUE(m_form->PageVisible(TPage::Protocol));
    QTest::keyClick(m_form.get(), Qt::Key_F6, Qt::ShiftModifier);
    EXPECT_EQ(m_form->ActivePage(), TPage::Protocol);
    QTest::keyClick(m_form.get(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(m_form->ActivePage(), TPage::Clients);
}

TEST_F(MainWindowTest, RemoteCommandsRefuseTheMasterServerAndAskForClients)
{
    Start();
    QStringList selected{QStringLiteral("TESTHOST")};
    m_form->PageClients()->SetSelectionSource([&selected] { return selected; });
    m_form->UpdateActionStates();
    {
        TBoxAnswerer boxes;
        Actions().ClientPhoneHome->trigger();
        Actions().ClientTerminate->trigger();
        Actions().ClientDeinstall->trigger();
        EXPECT_EQ(boxes.texts, (QStringList{QStringLiteral("Der Master-Server darf nicht zurückgerufen werden!"),
                                            QStringLiteral("Der Master-Server darf nicht beendet werden!"),
                                            QStringLiteral("Der Master-Server darf nicht deinstalliert werden!")}));
    }
    EXPECT_FALSE(AnyClientThreadRunning());

    // "Nein" leaves the client alone.
    selected = {QStringLiteral("pc7")};
    m_form->UpdateActionStates();
    TBoxAnswerer no(QStringLiteral("Nein"));
    Actions().ClientTerminate->trigger();
    Actions().ClientDeinstall->trigger();
    EXPECT_EQ(no.texts,
              (QStringList{QStringLiteral("Der Client \"pc7\" wird beendet. Möchten Sie fortfahren?"),
                           QStringLiteral("Der Client \"pc7\" wird deinstalliert. Möchten Sie fortfahren?")}));
    EXPECT_FALSE(AnyClientThreadRunning());
}

TEST_F(MainWindowTest, UnwiredActionSaysItIsNotThereYetAndWiringReplacesIt)
{
    Start();
    {
        TBoxAnswerer boxes;
        Actions().ExtrasOptions->trigger();
        ASSERT_EQ(boxes.texts.size(), 1);
        EXPECT_EQ(boxes.texts[0], QStringLiteral("Die Funktion \"Optionen...\" ist noch nicht verfügbar."));
    }
    int runs = 0;
    Actions().Handle(Actions().ExtrasOptions, [&runs] { ++runs; });
    TBoxAnswerer boxes;
    Actions().ExtrasOptions->trigger();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(MainWindowTest, EveryActionAndPageCarriesAGermanName)
{
    Start();
    for (QAction* action : Actions().All())
        EXPECT_FALSE(action->text().isEmpty()) << action->objectName().toStdString();
    for (QWidget* widget : m_form->findChildren<QWidget*>()) {
        const bool control = widget->inherits("QAbstractButton") || widget->inherits("QAbstractItemView") ||
                             widget->inherits("QLineEdit") || widget->inherits("QPlainTextEdit") ||
                             widget->inherits("QTabWidget") || widget->inherits("QMenu");
        // Column headers are read by their captions; the menu bar's overflow
        // menu is Qt's own and made late.
        if (widget->inherits("QHeaderView") ||
            (qobject_cast<QMenu*>(widget) && qobject_cast<QMenu*>(widget)->title().isEmpty()))
            continue;
        if (control && !widget->inherits("QToolButton") && widget->parent()->objectName() != "qt_scrollarea_viewport") {
            EXPECT_FALSE(widget->accessibleName().isEmpty())
                << widget->metaObject()->className() << " " << widget->objectName().toStdString();
        }
    }
    const QStringList pages{"Übersicht", "Objekte", "Clients", "Benutzer", "Skriptus", "Protokoll"};
    for (int page = 0; page < pages.size(); ++page) {
        EXPECT_EQ(m_form->Pages()->tabText(page), pages[page]);
        EXPECT_EQ(m_form->Pages()->widget(page)->accessibleName(), pages[page]);
    }
}

TEST_F(MainWindowTest, ResizeSetsTheFirstStatusPanels)
{
    Start();
    m_form->resize(1000, 700);
    Settle();
    EXPECT_EQ(m_form->PageObjects()->Status()->FirstWidth(), m_form->width() - 350);
    EXPECT_EQ(m_form->PageClients()->Status()->FirstWidth(), m_form->width() - 100);
}

TEST_F(MainWindowTest, AScreenReaderReadsTheStatusPanelsTexts)
{
    Start();
    TStatusPanels* status = m_form->PageObjects()->Status();
    status->SetText(0, QStringLiteral("12 Objekt(e)"));
    const auto* panel = status->findChild<QLabel*>(QStringLiteral("StatusPanel0"));
    ASSERT_NE(panel, nullptr);
    QAccessibleInterface* readable = QAccessible::queryAccessibleInterface(const_cast<QLabel*>(panel));
    ASSERT_NE(readable, nullptr);
    EXPECT_EQ(readable->text(QAccessible::Name), QStringLiteral("12 Objekt(e)"));
    EXPECT_EQ(readable->text(QAccessible::Description), QStringLiteral("Objekte - Statusfeld 1"));
    // The clock panels too.
    m_form->UpdateClock();
    TStatusPanels* clients = m_form->PageClients()->Status();
    EXPECT_EQ(QAccessible::queryAccessibleInterface(clients->findChild<QLabel*>(QStringLiteral("StatusPanel1")))
                  ->text(QAccessible::Name),
              clients->Text(1));
}

TEST_F(MainWindowTest, ClockWritesStatusBarsAndOverviewLabel)
{
    Start();
    EXPECT_EQ(m_form->PageOverview()->Clock(), QStringLiteral("Uhrzeit nicht verfügbar..."));
    m_form->ShowPage(TPage::Overview);
    m_form->UpdateClock();
    EXPECT_NE(m_form->PageOverview()->Clock(), QStringLiteral("Uhrzeit nicht verfügbar..."));
    EXPECT_EQ(m_form->PageObjects()->Status()->Text(2), m_form->PageOverview()->Clock());
    EXPECT_EQ(m_form->PageClients()->Status()->Text(1), m_form->PageOverview()->Clock());
}

class GuiPortTest : public TUiTest
{
protected:
    void SetUp() override
    {
        TUiTest::SetUp();
        m_gui = std::make_unique<TGuiUi>();
        TUiAdapter::Install(m_gui.get());
    }
    void TearDown() override
    {
        TUiAdapter::Install(nullptr);
        m_gui.reset();
        TUiTest::TearDown();
    }
    TFormMain& Form() { return m_gui->Form(); }

    std::unique_ptr<TGuiUi> m_gui;
};

// A large catalogue: the window shows at once at its stored size, says that
// the lists are being read and offers nothing that needs them until they are in.
TEST_F(GuiPortTest, TheWindowShowsAtOnceWhileTheListsAreRead)
{
    WriteFile(ProgramFile(QStringLiteral(".config")), "[Options]\r\nNetServerName=testhost\r\n");
    Restart();
    for (const auto& [name, value] :
         {std::pair{"MainLeft", 10}, {"MainTop", 20}, {"MainWidth", 640}, {"MainHeight", 480}})
        LayoutConfig().Set(QString::fromLatin1(name), value);
    LayoutConfig().SaveAll();
    std::atomic<bool> release{false};
    SetListLoader(TListKind::Objects, [&release] {
        const QDeadlineTimer limit(10000);
        while (!release && !limit.hasExpired())
            QThread::msleep(5);
    });
    RunMainWindowCreation();
    EXPECT_TRUE(Form().isVisible());
    EXPECT_EQ(Form().size(), QSize(640, 480)) << "the stored size before the window first shows";
    RunEventsFor(100);
    EXPECT_EQ(Form().PageObjects()->Status()->Text(0), QStringLiteral("Liste wird eingelesen…"));
    EXPECT_EQ(Form().PageClients()->Status()->Text(0), QStringLiteral("Liste wird eingelesen…"));
    TMainActions& a = Form().Actions();
    const std::initializer_list<QAction*> needLists = {a.ViewRefresh, a.FileAppendObject, a.ServerConnect,
                                                       a.ServerSearch, a.ObjectReverseSearch};
    for (QAction* action : needLists)
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_TRUE(a.ExtrasOptions->isEnabled()) << "the window answers meanwhile";

    release = true;
    ASSERT_TRUE(RunEventsUntil([] { return ListsRead(); }));
    ASSERT_TRUE(RunEventsUntil([] { return !ViewBuildRunning(TViewKind::ObjectList); }));
    Settle(30);
    for (QAction* action : needLists)
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    EXPECT_EQ(Form().PageObjects()->Status()->Text(0), QStringLiteral("0 Objekt(e)"));
    SetListLoader(TListKind::Objects, nullptr);
}

TEST_F(GuiPortTest, OverviewMessagesStackNewestFirstAndMayActivateThePage)
{
    Form().ShowPage(TPage::Clients);
    m_gui->OverviewMessage(TOverviewPane::Client, QStringLiteral("01.01.2026 10:00:00\r\nerste\r\n"), false);
    m_gui->OverviewMessage(TOverviewPane::Client, QStringLiteral("01.01.2026 10:00:01\r\nzweite\r\n"), true);
    EXPECT_EQ(Form().ActivePage(), TPage::Overview);
    EXPECT_EQ(Form().PageOverview()->PaneText(false),
              QStringLiteral("01.01.2026 10:00:01\nzweite\n01.01.2026 10:00:00\nerste\n"));
    EXPECT_TRUE(Form().PageOverview()->PaneText(true).isEmpty());
}

TEST_F(GuiPortTest, ProtocolEntriesArriveInBatchesInEitherOrder)
{
    Form().SetProtocolPageVisible(true);
    m_gui->ProtocolEntry({QStringLiteral("t1"), QStringLiteral("Main"), QStringLiteral("eins"), 46}, true, false);
    m_gui->ProtocolEntry({QStringLiteral("t2"), QStringLiteral("Main"), QStringLiteral("zwei"), -1}, true, false);
    m_gui->ProtocolEntry({QStringLiteral("t3"), QStringLiteral("Main"), QStringLiteral("nicht"), -1}, false, false);
    m_gui->ProtocolEntry({QStringLiteral("t4"), QStringLiteral("Main"), QStringLiteral("oben"), -1}, true, true);
    EXPECT_EQ(Form().PageProtocol()->RowCount(), 0); // not yet: the batch comes later
    ASSERT_TRUE(RunEventsUntil([&] { return Form().PageProtocol()->RowCount() == 3; }, 2000));
    EXPECT_EQ(Form().PageProtocol()->ExportText(),
              QByteArray("\"t4\" \"Main\" \"oben\"\r\n\"t1\" \"Main\" \"eins\"\r\n\"t2\" \"Main\" \"zwei\"\r\n"));
}

// A master that runs for weeks: the list and the panes keep the newest
// entries up to their bound, whichever end the newest stand at.
TEST_F(GuiPortTest, TheProtocolAndTheOverviewKeepOnlyTheNewestEntries)
{
    Form().SetProtocolPageVisible(true);
    const int most = TProtocolModel::kMaxRows;
    for (int i = 0; i < most + 5; ++i)
        m_gui->ProtocolEntry({QString::number(i), QStringLiteral("Main"), QStringLiteral("m"), -1}, true, false);
    ASSERT_TRUE(RunEventsUntil([&] { return !Form().PageProtocol()->ExportText().isEmpty(); }, 5000));
    EXPECT_EQ(Form().PageProtocol()->RowCount(), most);
    EXPECT_TRUE(Form().PageProtocol()->ExportText().startsWith("\"5\" "));
    m_gui->ProtocolEntry({QStringLiteral("oben"), QStringLiteral("Main"), QStringLiteral("m"), -1}, true, true);
    ASSERT_TRUE(RunEventsUntil([&] { return Form().PageProtocol()->ExportText().startsWith("\"oben\""); }, 5000));
    EXPECT_EQ(Form().PageProtocol()->RowCount(), most);
    // The row farthest from where new ones arrive left.
    EXPECT_TRUE(Form().PageProtocol()->ExportText().endsWith(QByteArray::number(most + 3) + "\" \"Main\" \"m\"\r\n"));

    const int lines = TPageOverview::kMaxPaneLines;
    for (int i = 0; i < lines + 3; ++i)
        Form().PageOverview()->AddMessage(true, QString::number(i) + QStringLiteral("\r\n"));
    const QStringList kept = Form().PageOverview()->PaneText(true).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(kept.size(), lines);
    EXPECT_EQ(kept.front(), QString::number(lines + 2));
    EXPECT_EQ(kept.back(), QStringLiteral("3"));
}

TEST_F(GuiPortTest, AHeaderClickTurnsTheProtocolRound)
{
    Form().SetProtocolPageVisible(true);
    Form().ShowPage(TPage::Protocol);
    QHeaderView* header = Form().PageProtocol()->List()->header();
    const QPoint caption(header->sectionViewportPosition(0) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, caption);
    EXPECT_TRUE(MainConfig().GetBoolean(QStringLiteral("MiscProtocolLastToFirst")));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, caption);
    EXPECT_FALSE(MainConfig().GetBoolean(QStringLiteral("MiscProtocolLastToFirst")));
}

TEST_F(GuiPortTest, ExportWritesQuotedLinesAndClearEmptiesTheList)
{
    Form().SetProtocolPageVisible(true);
    m_gui->ProtocolEntry({QStringLiteral("09.12.26 10:00:00.000"), QStringLiteral("Client"),
                          QStringLiteral("Datei \"a b.txt\" geladen"), 50},
                         true, false);
    const QString path = Home(QStringLiteral("export.protocol"));
    Form().ExportProtocol(path);
    EXPECT_EQ(ReadFile(path), QByteArray("\"09.12.26 10:00:00.000\" \"Client\" \"Datei \"a b.txt\" geladen\"\r\n"));
    Form().UpdateActionStates();
    EXPECT_TRUE(Form().Actions().ProtocolClear->isEnabled());
    Form().Actions().ProtocolClear->trigger();
    EXPECT_EQ(Form().PageProtocol()->RowCount(), 0);
    EXPECT_FALSE(Form().Actions().ProtocolClear->isEnabled());
    EXPECT_FALSE(Form().Actions().ProtocolExport->isEnabled());
}

TEST_F(GuiPortTest, ReverseOrderToggleStoresTheOption)
{
    Form().UpdateActionStates();
    EXPECT_FALSE(Form().Actions().ProtocolReverse->isChecked());
    Form().Actions().ProtocolReverse->trigger();
    EXPECT_TRUE(MainConfig().GetBoolean(QStringLiteral("MiscProtocolLastToFirst")));
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".config"))).contains("MiscProtocolLastToFirst=1"));
}

} // namespace

namespace {

TEST_F(MainWindowTest, HelpOpensTheTopicPageOrSaysItIsMissing)
{
    Start();
    const QString folder = Home(QStringLiteral("plenwick.help"));
    QDir().mkpath(folder);
    WriteFile(folder + QStringLiteral("/topicAllgemein.html"), "<html></html>");
    WriteFile(folder + QStringLiteral("/topicClients.html"), "<html></html>");
    const QString opened = Home(QStringLiteral("opened.txt"));
    const QString standIn = Home(QStringLiteral("open.sh"));
    WriteFile(standIn, QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(opened).toUtf8());
    QFile::setPermissions(standIn, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PLENWICK_OPEN", standIn.toUtf8());
    m_form->SetHelpFolder(folder);

    QTest::keyClick(m_form.get(), Qt::Key_F1);
    m_form->ShowPage(TPage::Clients);
    m_form->PageClients()->HelpButton()->click();
    ASSERT_TRUE(RunEventsUntil([&] { return ReadFile(opened).count('\n') == 2; }, 5000));
    EXPECT_EQ(
        ReadFile(opened),
        (folder + QStringLiteral("/topicAllgemein.html\n") + folder + QStringLiteral("/topicClients.html\n")).toUtf8());
    TBoxAnswerer boxes;
    m_form->ShowPage(TPage::Objects);
    m_form->PageObjects()->HelpButton()->click();
    qunsetenv("PLENWICK_OPEN");
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].startsWith(QStringLiteral("Die Hilfeseite \"")));
    EXPECT_TRUE(boxes.texts[0].endsWith(QStringLiteral("topicObjekte.html\" wurde nicht gefunden.")));
}

TEST(HelpPages, EveryTopicIsInstalledBesideTheProgram)
{
    const QString folder =
        QFileInfo(QStringLiteral(PLENWICK_BINARY)).absolutePath() + QStringLiteral("/plenwick.help/");
    for (const char* topic : {"topicAllgemein.html", "topicObjekte.html", "topicClients.html", "topicBenutzer.html",
                              "topicSkriptus.html", "topicProtokoll.html"}) {
        QFile page(folder + QLatin1String(topic));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << topic;
        EXPECT_TRUE(page.readAll().contains("lang=\"de\"")) << topic;
    }
}

} // namespace

namespace {

TEST_F(MainWindowTest, ConnectToServerStartsAnUpdateSessionToTheMasterServer)
{
    BecomeClient();
    Start();
    EXPECT_TRUE(Actions().ServerConnect->isEnabled());
    QTest::keyClick(m_form.get(), Qt::Key_F9);
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Starte Synchronisation mit Server master01:42424")));
    ASSERT_TRUE(RunEventsUntil([] { return !AnyClientThreadRunning(); }, 20000));
}

TEST_F(MainWindowTest, ExitInTheServiceProcessOnlyWarns)
{
    Start();
    SetRunningAsService(true);
    TBoxAnswerer boxes;
    Actions().FileExit->trigger();
    SetRunningAsService(false);
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].startsWith(QStringLiteral("Diese Anwendung läuft als Systemdienst.")));
    EXPECT_TRUE(m_ui.Messages(QStringLiteral("Quit")).isEmpty());
}

TEST_F(MainWindowTest, QtsOwnTextsAreGermanWhateverTheLanguage)
{
    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Abbrechen"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text().remove(QLatin1Char('&')), QStringLiteral("Speichern"));
    EXPECT_EQ(QLocale().toString(1234567.5, 'f', 1), QStringLiteral("1.234.567,5"));
}

} // namespace
