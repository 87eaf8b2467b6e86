// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "base/Base64.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/TextFields.h"
#include "support/QtPrinters.h"

TEST(TextFieldsTest, SplitFieldsKeepsQuotedStretchesAndDropsEmptyFields)
{
    EXPECT_EQ(SplitFields(QStringLiteral("1,\"a,b\",,c,"), QLatin1Char(',')), (QStringList{"1", "\"a,b\"", "c"}));
    EXPECT_EQ(SplitFields(QStringLiteral("LOGIN  'x y'  \"a b\"\r\n"), QLatin1Char(' ')),
              (QStringList{"LOGIN", "'x y'", "\"a b\""}));
    // An unclosed quote swallows the rest rather than losing it.
    EXPECT_EQ(SplitFields(QStringLiteral("a,\"b,c"), QLatin1Char(',')), (QStringList{"a", "\"b,c"}));
    EXPECT_EQ(SplitFields(QStringLiteral("\"\",x"), QLatin1Char(',')), (QStringList{"\"\"", "x"}));
}

TEST(TextFieldsTest, QuotedFieldsAndDequote)
{
    EXPECT_EQ(UnquoteField(QStringLiteral("\"\"")), QString());
    EXPECT_EQ(UnquoteField(QStringLiteral("\"a\"\"b\"")), QStringLiteral("a\"b"));
    EXPECT_EQ(UnquoteField(QStringLiteral("bare")), QStringLiteral("bare"));
    EXPECT_EQ(Dequote(QStringLiteral("\"\"")), QString());
    EXPECT_EQ(Dequote(QStringLiteral("\"/tmp/a b\"")), QStringLiteral("/tmp/a b"));
    EXPECT_EQ(Dequote(QStringLiteral("\"half")), QStringLiteral("\"half"));
}

TEST(TextFieldsTest, AQuotedFieldDoublesItsQuotesAndSplitsBackWhole)
{
    for (const QString& text : {QStringLiteral("a\"b.txt"), QStringLiteral("\""), QStringLiteral("\"\" x, 'y' \""),
                                QString(), QStringLiteral("plain")}) {
        const QString quoted = QuoteField(text);
        for (const QChar separator : {QLatin1Char(','), QLatin1Char(' ')}) {
            const QStringList fields =
                SplitFields(QStringLiteral("A") + separator + quoted + separator + QStringLiteral("B"), separator);
            ASSERT_EQ(fields.size(), 3) << text.toStdString();
            EXPECT_EQ(UnquoteField(fields[1]), text);
        }
    }
    EXPECT_EQ(QuoteField(QStringLiteral("a\"b")), QStringLiteral("\"a\"\"b\""));
    EXPECT_EQ(WithoutLineBreaks(QStringLiteral("a\r\nb\rc\nd")), QStringLiteral("a b c d"));
    EXPECT_EQ(ShownLineBreaks(QStringLiteral("a\r\nb")), QStringLiteral("a\\r\\nb"));
}

TEST(TextFieldsTest, DecimalReaderWrapsAndRejectsNonDigits)
{
    EXPECT_EQ(NumberFromDigits(QString()), 0u);
    EXPECT_EQ(NumberFromDigits(QStringLiteral("18446744073709551615")), ~quint64(0));
    EXPECT_EQ(NumberFromDigits(QStringLiteral("18446744073709551616")), 0u); // modulo 2^64
    try {
        NumberFromDigits(QStringLiteral("12a"));
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Konvertierung des Strings in eine Zahl nicht möglich."));
    }
    EXPECT_THROW(NumberFromDigits(QStringLiteral("-1")), EConvertError);
}

TEST(TextFieldsTest, SplitLinesHandlesCrLfAndLastLine)
{
    EXPECT_EQ(SplitLines("a\r\nb\nc"), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (QStringList{"a", ""}));
    EXPECT_EQ(JoinLines({"x", "ü"}), QByteArray("x\r\n\xc3\xbc\r\n"));
}

TEST(TextFieldsTest, Base64IsStrict)
{
    EXPECT_EQ(Base64Encode("anonymous"), QByteArray("YW5vbnltb3Vz"));
    EXPECT_EQ(Base64Decode("YW5vbnltb3Vz").value(), QByteArray("anonymous"));
    EXPECT_FALSE(Base64Decode("blueheron").has_value());
    EXPECT_FALSE(Base64Decode("YW5v*nltb3Vz").has_value());
    EXPECT_EQ(Base64Decode("").value(), QByteArray());
}

TEST(TextFieldsTest, DateTimeFormatsAndFixedReader)
{
    const TDateTime t = DateTimeFromQt(QDateTime(QDate(2026, 12, 8), QTime(7, 5, 9, 42)));
    EXPECT_NEAR(t, 46364.0 + (7 * 3600 + 5 * 60 + 9.042) / 86400.0, 1e-9);
    EXPECT_EQ(FormatDateTime(t), QStringLiteral("08.12.26 07:05:09"));
    EXPECT_EQ(FormatDateTimeMs(t), QStringLiteral("08.12.26 07:05:09.042"));
    EXPECT_EQ(FormatDateTimeLong(t), QStringLiteral("08.12.2026 07:05:09"));
    EXPECT_EQ(FormatDateTime(*ParseDateTime(QStringLiteral("08.12.26 07:05:09"))), QStringLiteral("08.12.26 07:05:09"));
    EXPECT_EQ(DateTimeToQt(*ParseDateTime(QStringLiteral("01.01.70 00:00:00"))).date().year(), 1970);
    EXPECT_FALSE(ParseDateTime(QStringLiteral("31.02.26 00:00:00")).has_value());
    EXPECT_FALSE(ParseDateTime(QStringLiteral("12/08/26 10:00:00")).has_value());
    EXPECT_EQ(UnixTime(kUnixEpochDays + 1.0), 86400);
    EXPECT_EQ(MillisecondsBetween(1.0, 1.0 + 90.5 / 1440.0), 5430000);
}
