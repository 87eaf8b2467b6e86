// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace {

TStartForm Form(const QStringList& parameters)
{
    return ParseCommandLine(parameters).form;
}

TEST(CommandLineTest, OnlyThreeWordsWithAKnownCommandMakeASendingInstance)
{
    const TCommandLine send = ParseCommandLine({"/SEND", "TERMINATE", "pc7"});
    EXPECT_EQ(send.form, TStartForm::Send);
    EXPECT_EQ(send.sendKind, TConnectKind::Terminate);
    EXPECT_EQ(send.sendHost, QStringLiteral("pc7"));
    EXPECT_EQ(ParseCommandLine({"/send", "SetServer", "pc7"}).sendKind, TConnectKind::SetServer);
    EXPECT_EQ(Form({"/SEND", "TERMINATE"}), TStartForm::FileMove); // two parameters stay a file move
    EXPECT_EQ(Form({"/SEND", "LOGIN", "pc7"}), TStartForm::Working);
    EXPECT_EQ(Form({"a", "TERMINATE", "pc7"}), TStartForm::Working);
}

TEST(CommandLineTest, ExactlyTwoParametersMakeAFileMoveInstance)
{
    const TCommandLine move = ParseCommandLine({"\"/a b/x\"", "/SVC"});
    EXPECT_EQ(move.form, TStartForm::FileMove);
    EXPECT_EQ(move.moveFrom, QStringLiteral("\"/a b/x\""));
    EXPECT_EQ(move.moveTo, QStringLiteral("/SVC"));
    EXPECT_EQ(Form({"a", "b", "c"}), TStartForm::Working);
    EXPECT_EQ(Form({"/SVC"}), TStartForm::Working);
    EXPECT_EQ(Form({}), TStartForm::Working);
}

TEST(CommandLineTest, ServiceSwitchInAnyPlaceAndCase)
{
    EXPECT_TRUE(ParseCommandLine({"-x", "/sVc"}).serviceSwitch);
    EXPECT_TRUE(ParseCommandLine({"/svc"}).serviceSwitch);
    EXPECT_FALSE(ParseCommandLine({"-x"}).serviceSwitch);
    EXPECT_FALSE(ParseCommandLine({"/SVCX"}).serviceSwitch);
}

TEST(CommandLineTest, QueryServerHelpAndVersionOnlyAlone)
{
    EXPECT_EQ(Form({"/queryserver"}), TStartForm::QueryServer);
    EXPECT_EQ(Form({"/QUERYSERVER", "/SVC", "x"}), TStartForm::Working);
    EXPECT_EQ(Form({"--help"}), TStartForm::Help);
    EXPECT_EQ(Form({"--version"}), TStartForm::Version);
    EXPECT_EQ(Form({"--HELP"}), TStartForm::Working); // a terminal convention: exact
    EXPECT_EQ(Form({"--help", "x", "y"}), TStartForm::Working);
}

TEST(CommandLineTest, ScriptusFormsOnlyAloneAndInAnyCase)
{
    EXPECT_EQ(Form({"/controls"}), TStartForm::Controls);
    const TCommandLine run = ParseCommandLine({"/Scriptus=/tmp/a b.txt"});
    EXPECT_EQ(run.form, TStartForm::Scriptus);
    EXPECT_EQ(run.scriptusFile, QStringLiteral("/tmp/a b.txt"));
    EXPECT_EQ(Form({"/SCRIPTUS"}), TStartForm::Working);
    EXPECT_EQ(Form({"/CONTROLS", "/SVC", "x"}), TStartForm::Working);
    EXPECT_EQ(Form({"/CONTROLSX"}), TStartForm::Working);
}

} // namespace
