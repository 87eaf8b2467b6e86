// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include "platform/VersionInfo.h"
#include "support/TestHome.h"

namespace {

class CommandLineHelpTest : public TTestHome
{
protected:
    QByteArray Run(const QString& parameter)
    {
        QProcess program;
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(PLENWICK_BINARY, {parameter});
        EXPECT_TRUE(program.waitForFinished(5000));
        EXPECT_EQ(program.exitCode(), 0);
        return program.readAll();
    }
};

} // namespace

TEST_F(CommandLineHelpTest, HelpAndVersionPrintAndStartNoInstance)
{
    const QString help = QString::fromUtf8(Run("--help"));
    for (const char* form :
         {"plenwick /SVC", "plenwick /SEND <Befehl> <Computer>", "TERMINATE, DEINSTALL", "plenwick /QUERYSERVER",
          "plenwick /CONTROLS", "plenwick /SCRIPTUS=<Datei>", "plenwick <Datei> <Ziel>", "plenwick --version"})
        EXPECT_TRUE(help.contains(form)) << form;
    for (const char* variable :
         {"PLENWICK_HOME", "PLENWICK_COMPUTERNAME", "PLENWICK_REGISTRY_DIR", "PLENWICK_PROTOCOL_FILE",
          "PLENWICK_SYSTEM_AUTOSTART_DIR", "PLENWICK_SYSTEMD_DIR", "PLENWICK_SYSTEMCTL", "DISPLAY"})
        EXPECT_TRUE(help.contains(variable)) << variable;
    EXPECT_FALSE(help.contains("gestartet"));

    const QByteArray version = Run("--version");
    EXPECT_TRUE(version.startsWith("Plenwick " + OwnVersionString("FileVersion").toUtf8() + "\n"))
        << version.constData();
    // Neither wrote anything beside the program.
    EXPECT_TRUE(QDir(Home()).entryList(QDir::Files).isEmpty());
}
