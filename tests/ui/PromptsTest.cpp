// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include "foundation/Quit.h"
#include "ui/DialogFixture.h"
#include "ui/dialogs/Countdown.h"
#include "ui/dialogs/InstallApplication.h"
#include "ui/dialogs/NewObjects.h"

namespace {

class PromptsTest : public TDialogTest
{
protected:
    void SetWaitTime(int seconds) { MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), seconds); }
    QByteArray OptionsFile() const { return ReadFile(MainConfig().FileName()); }
};

TEST_F(PromptsTest, SilenceMeansYesForBothPrompts)
{
    SetWaitTime(1);
    TFormNewObjects prompt;
    QStringList shown;
    QString remaining;
    WhenShown([&] {
        for (int row = 0; row < prompt.ListBoxNewObjects()->model()->rowCount(); ++row)
            shown << prompt.ListBoxNewObjects()->model()->index(row, 0).data().toString();
        remaining = prompt.EditRemainingTime()->text();
    });
    const QStringList lines = {QStringLiteral("/opt/a.bin (Werkzeug)"), QStringLiteral("/opt/b.txt löschen")};
    EXPECT_TRUE(prompt.AskFor(lines));
    EXPECT_EQ(shown, lines);
    EXPECT_EQ(remaining, QStringLiteral("1 Sekunden"));
    EXPECT_EQ(prompt.EditRemainingTime()->text(), QStringLiteral("0 Sekunden"));

    TFormInstallApplication restart;
    EXPECT_EQ(restart.windowTitle(), QStringLiteral("Plenwick"));
    for (QDialog* form : {static_cast<QDialog*>(&prompt), static_cast<QDialog*>(&restart)}) {
        const auto* logo = form->findChild<QLabel*>(QStringLiteral("ImageLogo"));
        ASSERT_NE(logo, nullptr);
        EXPECT_FALSE(logo->pixmap().isNull()) << "the program's icon";
    }
    EXPECT_TRUE(restart.Ask());
}

TEST_F(PromptsTest, NothingToAskOrNoTimeToAnswerDecidesWithoutShowing)
{
    SetWaitTime(30);
    TFormNewObjects prompt;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(prompt.AskFor({}));
    EXPECT_FALSE(prompt.isVisible());

    // An unattended client must not wait forever for nobody.
    SetWaitTime(0);
    EXPECT_TRUE(prompt.AskFor({QStringLiteral("/opt/a.bin")}));
    SetWaitTime(-5);
    TFormInstallApplication restart;
    EXPECT_TRUE(restart.Ask());
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(PromptsTest, DontAskAgainWithYesOrNo)
{
    SetWaitTime(30);
    MainConfig().Set(QStringLiteral("ClientSilentInstall"), false);
    MainConfig().Set(QStringLiteral("ClientAutoInstall"), true);
    {
        TFormNewObjects prompt;
        WhenShown([&] {
            prompt.CheckBoxDontAskAgain()->setChecked(true);
            prompt.ButtonYes()->click();
        });
        EXPECT_TRUE(prompt.AskFor({QStringLiteral("/opt/a.bin")}));
        EXPECT_TRUE(MainConfig().GetBoolean(QStringLiteral("ClientSilentInstall")));
        EXPECT_TRUE(OptionsFile().contains("ClientSilentInstall=1")) << OptionsFile().toStdString();

        // Asked again, the box starts unchecked: "Nein" alone changes nothing.
        WhenShown([&] { prompt.ButtonNo()->click(); });
        EXPECT_FALSE(prompt.AskFor({QStringLiteral("/opt/a.bin")}));
        EXPECT_TRUE(MainConfig().GetBoolean(QStringLiteral("ClientAutoInstall")));

        WhenShown([&] {
            prompt.CheckBoxDontAskAgain()->setChecked(true);
            prompt.ButtonNo()->click();
        });
        EXPECT_FALSE(prompt.AskFor({QStringLiteral("/opt/a.bin")}));
    }
    EXPECT_FALSE(MainConfig().GetBoolean(QStringLiteral("ClientAutoInstall")));
    EXPECT_TRUE(OptionsFile().contains("ClientAutoInstall=0")) << OptionsFile().toStdString();
}

TEST_F(PromptsTest, AKeyPressOrClickInsideStopsTheCountdown)
{
    SetWaitTime(1);
    TFormNewObjects prompt;
    bool stoppedByKey = false;
    WhenShown([&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(prompt.ListBoxNewObjects(), &press);
        stoppedByKey = !prompt.Countdown().IsRunning();
    });
    bool stillOpen = false;
    QTimer::singleShot(1600, [&] {
        stillOpen = prompt.isVisible();
        prompt.ButtonNo()->click();
    });
    EXPECT_FALSE(prompt.AskFor({QStringLiteral("/opt/a.bin")}));
    EXPECT_TRUE(stoppedByKey);
    EXPECT_TRUE(stillOpen);

    // A click anywhere in the form counts as well; one outside does not.
    TFormInstallApplication restart;
    QWidget outside;
    bool outsideKeptRunning = false;
    bool stoppedByClick = false;
    WhenShown([&] {
        QMouseEvent click(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&outside, &click);
        outsideKeptRunning = restart.Countdown().IsRunning();
        QApplication::sendEvent(restart.EditRemainingTime(), &click);
        stoppedByClick = !restart.Countdown().IsRunning();
        restart.ButtonYes()->click();
    });
    EXPECT_TRUE(restart.Ask());
    EXPECT_TRUE(outsideKeptRunning);
    EXPECT_TRUE(stoppedByClick);
}

TEST_F(PromptsTest, OrderlyShutdownAnswersAnOpenPromptNo)
{
    SetWaitTime(60);
    TFormInstallApplication restart;
    bool waited = false;
    WhenShown([&] { waited = !RequestShutdown(); });
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(restart.Ask());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(waited);
    // With the prompt answered nothing holds the program any more.
    EXPECT_TRUE(RunEventsUntil([] { return !ShutdownWaiting(); }));
}

} // namespace
