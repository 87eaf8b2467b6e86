// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "foundation/PoolConfig.h"
#include "support/TestHome.h"

class PoolConfigTest : public TTestHome
{
protected:
    static void Ini(TConfig& config, const QString& file)
    {
        config.SetPersistenceMode(static_cast<quint8>(TPersistenceMode::IniFile));
        config.SetFileName(file);
    }
};

TEST_F(PoolConfigTest, IniRoundTripKeepsForeignLinesAndWritesCrLf)
{
    const QString file = Home("a.config");
    WriteFile(file, "; kept comment\r\n[Other]\r\nX=1\r\n[options]\r\nnetservername=MASTER\r\ngarbage line\r\n");
    TConfig c;
    Ini(c, file);
    EXPECT_TRUE(c.Register("Options", "NetServerName", false, false, TValueKind::String, "x"));
    EXPECT_FALSE(c.Register("Options", "NetServerPort", false, false, TValueKind::Integer, 42424));
    c.Register("Options", "Flag", false, false, TValueKind::Boolean, false);
    c.Register("Options", "Secret", false, true, TValueKind::String, "");
    EXPECT_EQ(c.GetString("NETSERVERNAME"), "MASTER");
    EXPECT_EQ(c.GetInteger("NetServerPort"), 42424);
    c.Set("NetServerPort", 4711);
    c.Set("Flag", true);
    c.Set("Secret", "geheim");
    c.SaveAll();
    const QByteArray text = ReadFile(file);
    EXPECT_TRUE(text.startsWith("; kept comment\r\n[Other]\r\nX=1\r\n[options]\r\nnetservername=MASTER\r\n"));
    EXPECT_TRUE(text.contains("garbage line\r\n"));
    EXPECT_TRUE(text.contains("NetServerPort=4711\r\n"));
    EXPECT_TRUE(text.contains("Flag=1\r\n"));
    EXPECT_TRUE(text.contains("Secret=Z2VoZWlt\r\n")); // Base64 in the file, plain in memory
    EXPECT_FALSE(text.contains("\n\n"));

    TConfig again;
    Ini(again, file);
    again.Register("Options", "NetServerPort", false, false, TValueKind::Integer, 1);
    again.Register("Options", "Flag", false, false, TValueKind::Boolean, false);
    again.Register("Options", "Secret", false, true, TValueKind::String, "");
    EXPECT_EQ(again.GetInteger("NetServerPort"), 4711);
    EXPECT_TRUE(again.GetBoolean("Flag"));
    EXPECT_EQ(again.GetString("Secret"), "geheim");
}

TEST_F(PoolConfigTest, IniFileHoldingPasswordsIsForOwnerAndGroupOnly)
{
    const auto mode = [](const QString& path) {
        struct stat status = {};
        ::stat(QFile::encodeName(path).constData(), &status);
        return status.st_mode & 07777;
    };
    const QString file = Home("plenwick.config");
    TConfig c;
    Ini(c, file);
    c.Register("Options", "Secret", false, true, TValueKind::String, "");
    const mode_t umask = ::umask(022);
    c.Set("Secret", "geheim");
    c.SaveAll();
    EXPECT_EQ(mode(file), 0660u);
    // As an earlier version left it: readable for everyone until the next save.
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0664), 0);
    c.Set("Secret", "anders");
    c.SaveAll();
    EXPECT_EQ(mode(file), 0660u);
    ::umask(umask);
}

TEST_F(PoolConfigTest, IniBadValuesFallBackToDefaultAndUndecodableTextStays)
{
    const QString file = Home("b.config");
    WriteFile(file, "[Options]\nPort=abc\nFlag=7\nSecret=not*base64\n=novalue\n[broken\n");
    TConfig c;
    Ini(c, file);
    EXPECT_TRUE(c.Register("Options", "Port", false, false, TValueKind::Integer, 9));
    c.Register("Options", "Flag", false, false, TValueKind::Boolean, false);
    c.Register("Options", "Secret", false, true, TValueKind::String, "");
    EXPECT_EQ(c.GetInteger("Port"), 9);
    EXPECT_TRUE(c.GetBoolean("Flag"));
    EXPECT_EQ(c.GetString("Secret"), "not*base64");
}

TEST_F(PoolConfigTest, ModifiedFlagAlwaysStoreAndSecondSaveWritesNothing)
{
    const QString file = Home("c.config");
    TConfig c;
    Ini(c, file);
    c.Register("Options", "A", false, false, TValueKind::String, "x");
    c.Register("Options", "B", false, false, TValueKind::String, "x");
    c.SetAlwaysStore("b", true);
    c.Set("A", "x");
    EXPECT_FALSE(c.IsModified("A"));
    c.Set("B", "x");
    EXPECT_TRUE(c.IsModified("B"));
    c.SaveAll();
    EXPECT_EQ(ReadFile(file), QByteArray("[Options]\r\nB=x\r\n"));
    EXPECT_FALSE(c.IsModified("B"));
    QFile::remove(file);
    c.SaveAll(); // nothing modified: the file is not even created
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(PoolConfigTest, WriteFilterRunsEveryTimeAndUnchangedEncodedValueStays)
{
    TConfig c;
    Ini(c, Home("d.config"));
    c.Register("Options", "Pw", false, false, TValueKind::String, "");
    int calls = 0;
    c.SetWriteFilter("Pw", [&](const QVariant& v) {
        ++calls;
        return QVariant(QString::fromLatin1(v.toString().toUtf8().toBase64()));
    });
    c.Set("Pw", "abc");
    c.SaveAll();
    c.Set("Pw", "abc");
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(c.IsModified("Pw"));
    EXPECT_EQ(c.GetString("Pw"), "YWJj");
}

TEST_F(PoolConfigTest, ChangeReactionRunsOnlyWhenTheValueChanges)
{
    TConfig c;
    Ini(c, Home("e.config"));
    c.Register("Options", "Name", false, false, TValueKind::String, "a");
    c.Register("Options", "Pw", false, false, TValueKind::String, "");
    c.SetAlwaysStore("Name", true);
    QStringList seen;
    c.SetChangeReaction("Name", [&](const QVariant& v) { seen.append(v.toString()); });
    c.Set("Name", "a");
    EXPECT_TRUE(c.IsModified("Name")) << "always stored";
    EXPECT_TRUE(seen.isEmpty()) << "yet unchanged";
    c.Set("Name", "b");
    c.Set("Name", "b");
    EXPECT_EQ(seen, QStringList{"b"});

    // The reaction sees the value as the write filter made it, and an encoded
    // value written again in plain text is no change.
    c.SetWriteFilter("Pw",
                     [](const QVariant& v) { return QVariant(QString::fromLatin1(v.toString().toUtf8().toBase64())); });
    c.SetChangeReaction("Pw", [&](const QVariant& v) { seen.append(v.toString()); });
    c.Set("Pw", "abc");
    c.Set("Pw", "abc");
    EXPECT_EQ(seen, (QStringList{"b", "YWJj"}));
}

TEST_F(PoolConfigTest, ErrorsCarryTheirGermanMessages)
{
    TConfig c;
    c.SetFileName(QString());
    try {
        c.SetPersistenceMode(static_cast<quint8>(TPersistenceMode::IniFile));
        FAIL();
    } catch (const EConfPersistenceModeNotValid& e) {
        EXPECT_EQ(e.Message(), "Name der Konfigurationsdatei nicht angegeben");
    }
    EXPECT_EQ(c.PersistenceMode(), TPersistenceMode::Unset);
    c.SetPersistenceMode(9); // ignored
    EXPECT_EQ(c.PersistenceMode(), TPersistenceMode::Unset);
    EXPECT_FALSE(c.Register("Options", "A", false, false, TValueKind::String, "x"));
    try {
        c.Get("Missing");
        FAIL();
    } catch (const EConfItemNotFound& e) {
        EXPECT_EQ(e.Message(), "Konfigurationseintrag \"Missing\" nicht gefunden");
    }
}

TEST_F(PoolConfigTest, RegistryModeRoundTripsEveryKind)
{
    TConfig c;
    c.SetPersistenceMode(static_cast<quint8>(TPersistenceMode::Registry));
    EXPECT_FALSE(c.Register("Styles", "W", false, false, TValueKind::Integer, 5));
    c.Register("Styles", "Cols", false, false, TValueKind::String, "");
    c.Register("Styles", "When", false, false, TValueKind::DateTime, 0.0);
    c.Register("Styles", "On", false, false, TValueKind::Boolean, false);
    c.Register("Styles", "Enc", false, true, TValueKind::String, "");
    c.Register("Software\\Else", "Abs", true, false, TValueKind::Integer, 0);
    c.Set("W", -3);
    c.Set("Cols", "100,60,\"q\"\\x");
    c.Set("When", 46364.25);
    c.Set("On", true);
    c.Set("Enc", "plain");
    c.Set("Abs", 7);
    c.SaveAll();
    const QByteArray reg = ReadFile(m_dir.path() + "/registry/user.reg");
    EXPECT_TRUE(reg.startsWith("REGEDIT4\r\n"));
    EXPECT_TRUE(reg.contains("[HKEY_CURRENT_USER\\Software\\Plenwick\\Plenwick\\Styles]\r\n"));
    EXPECT_TRUE(reg.contains("\"W\"=dword:fffffffd\r\n"));
    EXPECT_TRUE(reg.contains("\"Cols\"=\"100,60,\\\"q\\\"\\\\x\"\r\n"));
    EXPECT_TRUE(reg.contains("\"When\"=hex:00,00,00,00,88,a3,e6,40\r\n"));
    EXPECT_TRUE(reg.contains("\"Enc\"=\"cGxhaW4=\"\r\n"));
    EXPECT_TRUE(reg.contains("[HKEY_CURRENT_USER\\Software\\Else]\r\n\"Abs\"=dword:00000007"));

    TConfig d;
    d.SetPersistenceMode(static_cast<quint8>(TPersistenceMode::Registry));
    EXPECT_TRUE(d.Register("styles", "w", false, false, TValueKind::Integer, 5));
    d.Register("Styles", "Cols", false, false, TValueKind::String, "");
    d.Register("Styles", "When", false, false, TValueKind::DateTime, 0.0);
    d.Register("Styles", "On", false, false, TValueKind::Boolean, false);
    d.Register("Styles", "Enc", false, true, TValueKind::String, "");
    EXPECT_EQ(d.GetInteger("W"), -3);
    EXPECT_EQ(d.GetString("Cols"), "100,60,\"q\"\\x");
    EXPECT_DOUBLE_EQ(d.GetFloat("When"), 46364.25);
    EXPECT_TRUE(d.GetBoolean("On"));
    EXPECT_EQ(d.GetString("Enc"), "plain");
}

TEST_F(PoolConfigTest, XmlModeReadsElementsAndAttributesAndNeverWrites)
{
    const QString file = Home("c.xml");
    WriteFile(file, "<?xml version=\"1.0\"?><Root><Options><Port Kind=\"7\">42</Port>"
                    "<Name>abc</Name><On>TRUE</On></Options></Root>");
    TConfig c;
    c.SetFileName(file);
    c.SetPersistenceMode(static_cast<quint8>(TPersistenceMode::XmlFile));
    EXPECT_TRUE(c.Register("Options", "Port", false, false, TValueKind::Integer, 0));
    EXPECT_EQ(c.GetInteger("Port"), 42);
    EXPECT_EQ(c.GetInteger("Port.Kind"), 7);
    EXPECT_TRUE(c.Register("Options", "On", false, false, TValueKind::Boolean, false));
    EXPECT_TRUE(c.GetBoolean("On"));
    EXPECT_FALSE(c.Register("Missing\\Deeper", "Name", false, false, TValueKind::String, "d"));
    EXPECT_EQ(c.GetString("Name"), "d");
    c.Set("Port", 1);
    EXPECT_THROW(c.SaveAll(), EConfNotInXmlFile);

    WriteFile(file, "<Root><Options><Port>zwölf</Port></Options></Root>");
    TConfig bad;
    bad.SetFileName(file);
    bad.SetPersistenceMode(static_cast<quint8>(TPersistenceMode::XmlFile));
    EXPECT_THROW(bad.Register("Options", "Port", false, false, TValueKind::Integer, 0), EConfCorruptXmlFile);

    WriteFile(file, "<Root><Options><Port>1</Options>");
    try {
        bad.Register("Options", "Port", false, false, TValueKind::Integer, 0);
        FAIL();
    } catch (const EConfCorruptXmlFile& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("XML-Dokument \"%1\" ist fehlerhaft: ").arg(file)));
    }
}
