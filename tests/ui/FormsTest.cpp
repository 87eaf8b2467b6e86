// SPDX-License-Identifier: GPL-3.0-or-later
#include <set>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QTreeView>

#include "UiFixture.h"
#include "foundation/PoolConfig.h"
#include "ui/dialogs/MainEditText.h"
#include "ui/dialogs/PoolAbout.h"
#include "ui/dialogs/QuitWindow.h"
#include "ui/main/IconTable.h"
#include "ui/main/MainLayout.h"
#include "ui/main/MainTray.h"
#include "ui/pages/ListPage.h"

namespace {

using FormsTest = TUiTest;

TEST_F(FormsTest, ShutdownWindowShowsItsTextsAndEndsAtOnceOnRequest)
{
    TFormQuit quit;
    int immediate = 0;
    quit.SetImmediateAction([&immediate] { ++immediate; });
    quit.show();
    EXPECT_EQ(quit.windowTitle(), QStringLiteral("Plenwick - Anwendung beenden..."));
    QStringList texts;
    for (const QLabel* label : quit.findChildren<QLabel*>())
        texts.append(label->text());
    EXPECT_TRUE(texts.contains(QStringLiteral("Bitte warten Sie, bis diese Meldung sich selbständig schließt...")));
    // Closing it does not end the wait; only the button does.
    quit.close();
    EXPECT_TRUE(quit.isVisible());
    EXPECT_EQ(quit.ButtonImmediate()->text(), QStringLiteral("Sofort beenden"));
    quit.ButtonImmediate()->click();
    EXPECT_EQ(immediate, 1);
}

TEST_F(FormsTest, AboutBoxShowsTheBuildNumber)
{
    EXPECT_EQ(BuildNumberText(QStringLiteral("1.1.0.31")), QStringLiteral("1.1.0 (Build No. 31)"));
    EXPECT_EQ(BuildNumberText(QStringLiteral("7")), QStringLiteral("7"));
    TFormAbout about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("Über Plenwick"));
    const QLabel* version = about.findChild<QLabel*>(QStringLiteral("LabelFileVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->text().contains(QStringLiteral(" (Build No. ")));
}

TEST_F(FormsTest, StartScreenFollowsTheRegistryValueAndFadesOutOnItsOwn)
{
    EXPECT_TRUE(TFormAbout::SplashWanted());
    {
        TConfig config;
        config.SetRootKey(TRegistryHive::CurrentUser);
        config.SetPersistenceMode(static_cast<quint8>(TPersistenceMode::Registry));
        config.Register(QString(), QStringLiteral("SuppressSplashScreen"), false, false, TValueKind::Boolean, false);
        config.Set(QStringLiteral("SuppressSplashScreen"), true);
        config.SaveAll();
    }
    EXPECT_FALSE(TFormAbout::SplashWanted());

    TFormAbout about;
    about.StartSplash();
    EXPECT_TRUE(about.Fading());
    ASSERT_TRUE(RunEventsUntil([&] { return about.FadeLevel() >= 250; }, 10000));
    ASSERT_TRUE(RunEventsUntil([&] { return !about.Fading(); }, 10000));
    EXPECT_FALSE(about.isVisible());
    // Closing ends a fade at once.
    about.StartSplash();
    about.close();
    EXPECT_FALSE(about.Fading());
}

TEST_F(FormsTest, EditTextReturnsTheTextOnlyWhenConfirmed)
{
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TFormEditText*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Client-Beschreibung eingeben"));
        dialog->EditDesc()->setText(QStringLiteral("Buchhaltung 2. Stock"));
        dialog->findChild<QPushButton*>(QStringLiteral("ButtonOk"))->click();
    });
    EXPECT_EQ(TFormEditText::Edit(nullptr, QStringLiteral("Client-Beschreibung eingeben"), QStringLiteral("alt")),
              std::optional<QString>(QStringLiteral("Buchhaltung 2. Stock")));
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TFormEditText*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->EditDesc()->text(), QStringLiteral("alt"));
        dialog->findChild<QPushButton*>(QStringLiteral("ButtonCancel"))->click();
    });
    EXPECT_EQ(TFormEditText::Edit(nullptr, QStringLiteral("Text"), QStringLiteral("alt")), std::nullopt);
}

TEST_F(FormsTest, EveryIconIndexHasItsOwnDistinctPicture)
{
    std::set<QByteArray> seen;
    for (const int index : IconTable::Indices()) {
        const QImage image = IconTable::OwnIcon(index).pixmap(32, 32).toImage();
        ASSERT_FALSE(image.isNull()) << index;
        const QByteArray bytes(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
        EXPECT_TRUE(seen.insert(bytes).second) << "index " << index << " looks like another";
        EXPECT_FALSE(IconTable::ThemeName(index).isEmpty());
        EXPECT_FALSE(IconTable::Icon(index).isNull());
    }
    for (const int used : {0, 2, 3, 5, 7, 14, 19, 21, 22, 42, 45, 46, 50, 52, 55})
        EXPECT_TRUE(IconTable::Indices().contains(used)) << used;
    EXPECT_TRUE(IconTable::Icon(-1).isNull());
}

TEST_F(FormsTest, ColumnWidthTextsRoundTripAndSkipWhatIsNoWidth)
{
    QTreeView* list = MakeColumnList(QStringLiteral("Liste"), {{"A", 100}, {"B", 60}, {"C", 55}, {"D", 0}}, nullptr);
    list->header()->setStretchLastSection(false);
    EXPECT_EQ(ColumnWidthsText(list), QStringLiteral("100,60,55,200"));
    ApplyColumnWidthsText(list, QStringLiteral("80,-1,x"));
    EXPECT_EQ(ColumnWidthsText(list), QStringLiteral("80,60,55,200"));
    ApplyColumnWidthsText(list, QString());
    EXPECT_EQ(ColumnWidthsText(list), QStringLiteral("80,60,55,200"));
    ApplyColumnWidthsText(list, QStringLiteral("31,32,33,34,35,36"));
    EXPECT_EQ(ColumnWidthsText(list), QStringLiteral("31,32,33,34"));
    delete list;
}

TEST_F(FormsTest, GeometryOffEveryScreenIsCentred)
{
    const QRect kept = RestoredGeometry(10, 20, 400, 300, true);
    EXPECT_EQ(kept, QRect(10, 20, 400, 300));
    const QRect lost = RestoredGeometry(-5000, 9000, 400, 300, true);
    EXPECT_EQ(lost.size(), QSize(400, 300));
    EXPECT_EQ(lost.center(), QGuiApplication::primaryScreen()->availableGeometry().center());
    EXPECT_EQ(RestoredGeometry(10, 20, 400, 300, false).center(), lost.center());
}

TEST_F(FormsTest, WithoutNotificationAreaMinimisingKeepsTheWindowReachable)
{
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Plenwick - [testhost:42424]"));
    QMenu menu;
    TMainTray tray(&window, &menu);
    window.show();
    TMainTray::SetAvailabilityForTests(0);
    tray.GoToTray();
    Settle();
    EXPECT_FALSE(tray.IconVisible());
    EXPECT_FALSE(window.isHidden());
    EXPECT_TRUE(
        m_ui.HasMessage(QStringLiteral("Kein Infobereich vorhanden: das Fenster wird minimiert statt ausgeblendet")));

    // The panel appears later: the refresh puts the icon there and hides the window.
    TMainTray::SetAvailabilityForTests(1);
    tray.Refresh();
    Settle();
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Das Systray-Symbol wurde erneuert")));
    EXPECT_EQ(window.isHidden(), tray.IconVisible());

    tray.RestoreWindow();
    EXPECT_FALSE(tray.InTray());
    EXPECT_FALSE(tray.IconVisible());
    EXPECT_TRUE(window.isVisible());
}

} // namespace
