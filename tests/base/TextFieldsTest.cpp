// SPDX-License-Identifier: GPL-3.0-or-later
#include <optional>

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
    // A CR elsewhere than before the LF stays in the line.
    EXPECT_EQ(SplitLines("a\rb\r\n\r"), (QStringList{"a\rb", "\r"}));
}

// The readers and writers of list lines work on UTF-8 bytes; the texts of
// requests stay QStrings. Both must read every line the same way.
TEST(TextFieldsTest, TheByteReadersAgreeWithTheTextReaders)
{
    const QStringList lines{
        QStringLiteral("1,\"a,b\",,c,"),
        QStringLiteral("a,\"b,c"),
        QStringLiteral("'x,y',\"ü \"\"q\"\" €\",𝄞,,"),
        QStringLiteral(",,,"),
        QStringLiteral("\"\",\"\"\"\",\"a\"\"\",b\"\"c"),
    };
    for (const QString& line : lines) {
        const QByteArray bytes = line.toUtf8();
        const QStringList expected = SplitFields(line, QLatin1Char(','));
        QByteArrayView views[8];
        ASSERT_EQ(SplitFieldViews(bytes, ',', views, 8), expected.size()) << line.toStdString();
        for (int i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(QString::fromUtf8(views[i]), expected[i]);
            EXPECT_EQ(UnquoteField(views[i]), UnquoteField(expected[i])) << expected[i].toStdString();
        }
    }
    // Counting stops one past the most wanted: the line is wrong either way.
    QByteArrayView two[2];
    EXPECT_EQ(SplitFieldViews("a,b,c,d,e", ',', two, 2), 3);
    EXPECT_EQ(QString::fromUtf8(two[1]), QStringLiteral("b"));

    for (const char* text : {"0", "-7", "007", " 5 ", "+5", "2147483647", "-2147483648", "2147483648", "", "-", "1x",
                             "\xc2\xa0"
                             "5",
                             "True", "tRUE", "FALSE", "falſe", "ja", "-0", "99999999999999999999"}) {
        const QByteArray bytes(text);
        const QString string = QString::fromUtf8(bytes);
        const auto same = [&](auto readBytes, auto readText) {
            std::optional<qint64> fromBytes, fromText;
            try {
                fromBytes = readBytes(QByteArrayView(bytes));
            } catch (const EConvertError&) {
            }
            try {
                fromText = readText(string);
            } catch (const EConvertError&) {
            }
            EXPECT_EQ(fromBytes, fromText) << text;
        };
        same([](QByteArrayView v) { return qint64{IntegerFromText(v)}; },
             [](const QString& v) { return qint64{IntegerFromText(v)}; });
        same([](QByteArrayView v) { return qint64{BooleanFromText(v)}; },
             [](const QString& v) { return qint64{BooleanFromText(v)}; });
        same([](QByteArrayView v) { return static_cast<qint64>(NumberFromDigits(v)); },
             [](const QString& v) { return static_cast<qint64>(NumberFromDigits(v)); });
    }
}

TEST(TextFieldsTest, TheByteWritersWriteWhatTheTextWritersGiveAsUtf8)
{
    const QChar lone[] = {QChar(u'a'), QChar(0xd834), QChar(u'"')};
    for (const QString& text : {QString(), QStringLiteral("plain"), QStringLiteral("\"\"a\"b\""),
                                QStringLiteral("Büro € 𝄞 \"Nord\""), QString(lone, 3), QString(lone, 2)}) {
        QByteArray out = "x";
        AppendUtf8(out, text);
        EXPECT_EQ(out, "x" + text.toUtf8()) << text.toStdString();
        out.clear();
        AppendQuoted(out, text);
        EXPECT_EQ(out, QuoteField(text).toUtf8()) << text.toStdString();
    }
    QByteArray numbers;
    AppendNumber(numbers, qint64{-2147483648LL});
    numbers += ',';
    AppendNumber(numbers, ~quint64(0));
    numbers += ',';
    AppendBoolean(numbers, true);
    AppendBoolean(numbers, false);
    EXPECT_EQ(numbers, "-2147483648,18446744073709551615,TrueFalse");
}

TEST(TextFieldsTest, TheLineCursorSplitsAsSplitLines)
{
    for (const QByteArray content : {QByteArray(), QByteArray("a"), QByteArray("\n"), QByteArray("a\r\n\r\nb\r"),
                                     QByteArray("a\rb\nc\r\n"), QByteArray("\r\n\n\r")}) {
        QStringList lines;
        TLineCursor cursor(content);
        for (QByteArrayView line; cursor.Next(line);)
            lines.append(QString::fromUtf8(line));
        EXPECT_EQ(lines, SplitLines(content)) << content.toStdString();
    }
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
    QByteArray line;
    AppendDateTime(line, t);
    EXPECT_EQ(line, "08.12.26 07:05:09");
    // The byte reader knows the list form itself and leaves every other form to the text reader.
    for (const char* text : {"08.12.26 07:05:09", "01.01.70 00:00:00", "31.12.69 23:59:59", " 8.12.2026 7:05",
                             "31.02.26 00:00:00", "12/08/26 10:00:00", "08.12.26 07:05:6x", ""}) {
        const std::optional<TDateTime> expected = ParseDateTime(QString::fromLatin1(text));
        if (expected)
            EXPECT_EQ(DateTimeFromText(QByteArrayView(text)), *expected) << text;
        else
            EXPECT_THROW(DateTimeFromText(QByteArrayView(text)), EConvertError) << text;
    }
    EXPECT_EQ(DateTimeToQt(*ParseDateTime(QStringLiteral("01.01.70 00:00:00"))).date().year(), 1970);
    EXPECT_FALSE(ParseDateTime(QStringLiteral("31.02.26 00:00:00")).has_value());
    EXPECT_FALSE(ParseDateTime(QStringLiteral("12/08/26 10:00:00")).has_value());
    EXPECT_EQ(UnixTime(kUnixEpochDays + 1.0), 86400);
    EXPECT_EQ(MillisecondsBetween(1.0, 1.0 + 90.5 / 1440.0), 5430000);
}
