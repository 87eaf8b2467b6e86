// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/DateTime.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include <QRegularExpression>

#include "base/Exceptions.h"

namespace {

const qint64 kJulianDayOf18991230 = QDate(1899, 12, 30).toJulianDay();
constexpr double kMsPerDay = 86400000.0;

/// The value is local time already: date and time of day follow without any
/// time-zone lookup, which list files with many dates would pay for per line.
std::pair<QDate, QTime> SplitDateTime(TDateTime value)
{
    // Round to the millisecond first, so 0.9999999 of a day does not fall back a day.
    const qint64 totalMs = std::llround(value * kMsPerDay);
    qint64 days = totalMs / 86400000;
    qint64 ms = totalMs % 86400000;
    if (ms < 0) {
        ms += 86400000;
        --days;
    }
    return {QDate::fromJulianDay(kJulianDayOf18991230 + days), QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms))};
}

TDateTime Compose(const QDate& date, const QTime& time)
{
    return static_cast<double>(date.toJulianDay() - kJulianDayOf18991230) + time.msecsSinceStartOfDay() / kMsPerDay;
}

/// "dd.mm.yy hh:nn:ss" with a four-digit year or milliseconds on request,
/// written digit by digit into a buffer of 23 characters: list files format
/// one date per line. Gives the length.
qsizetype Format(TDateTime value, bool longYear, bool milliseconds, char* out)
{
    const auto [date, time] = SplitDateTime(value);
    int year = 0;
    int month = 0;
    int day = 0;
    date.getDate(&year, &month, &day);
    char* at = out;
    const auto put = [&at](int number, int width, char after) {
        number = std::abs(number);
        for (int i = width - 1; i >= 0; --i, number /= 10)
            at[i] = static_cast<char>('0' + number % 10);
        at += width;
        if (after != 0)
            *at++ = after;
    };
    put(day, 2, '.');
    put(month, 2, '.');
    put(longYear ? year : year % 100, longYear ? 4 : 2, ' ');
    put(time.hour(), 2, ':');
    put(time.minute(), 2, ':');
    put(time.second(), 2, milliseconds ? '.' : 0);
    if (milliseconds)
        put(time.msec(), 3, 0);
    return at - out;
}

QString Format(TDateTime value, bool longYear, bool milliseconds)
{
    char text[23];
    return QString::fromLatin1(text, Format(value, longYear, milliseconds, text));
}

} // namespace

TDateTime DateTimeFromQt(const QDateTime& local)
{
    const QDateTime t = local.toLocalTime();
    return Compose(t.date(), t.time());
}

QDateTime DateTimeToQt(TDateTime value)
{
    const auto [date, time] = SplitDateTime(value);
    return QDateTime(date, time);
}

TDateTime DateTimeNow()
{
    return DateTimeFromQt(QDateTime::currentDateTime());
}

QString FormatDateTime(TDateTime value)
{
    return Format(value, false, false);
}

void AppendDateTime(QByteArray& out, TDateTime value)
{
    char text[23];
    out.append(text, Format(value, false, false, text));
}

QString FormatDateTimeMs(TDateTime value)
{
    return Format(value, false, true);
}

QString FormatDateTimeLong(TDateTime value)
{
    return Format(value, true, false);
}

namespace {

template <class Char>
int TwoDigits(const Char* text)
{
    if (text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9')
        return -1;
    return (text[0] - '0') * 10 + (text[1] - '0');
}

/// The exact form the lists write, "dd.mm.yy hh:nn:ss", without the pattern
/// machinery: list files hold one per line.
template <class Char>
std::optional<std::pair<QDate, QTime>> ParseListForm(const Char* text, qsizetype size)
{
    if (size != 17 || text[2] != '.' || text[5] != '.' || text[8] != ' ' || text[11] != ':' || text[14] != ':')
        return std::nullopt;
    int parts[6];
    for (int i = 0; i < 6; ++i)
        if ((parts[i] = TwoDigits(text + i * 3)) < 0)
            return std::nullopt;
    const int year = parts[2] + (parts[2] >= 70 ? 1900 : 2000);
    return std::pair{QDate(year, parts[1], parts[0]), QTime(parts[3], parts[4], parts[5])};
}

std::optional<TDateTime> ComposeValid(const std::pair<QDate, QTime>& parts)
{
    if (!parts.first.isValid() || !parts.second.isValid())
        return std::nullopt;
    return Compose(parts.first, parts.second);
}

EConvertError NoDateError(const QString& text)
{
    return EConvertError(QStringLiteral("\"%1\" ist kein gültiges Datum und Uhrzeit").arg(text));
}

} // namespace

std::optional<TDateTime> ParseDateTime(const QString& text)
{
    if (const auto fast = ParseListForm(text.utf16(), text.size()))
        return ComposeValid(*fast);
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*(\d{1,2})\.(\d{1,2})\.(\d{2}|\d{4})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int year = m.captured(3).toInt();
    if (m.captured(3).size() == 2)
        year += year >= 70 ? 1900 : 2000;
    const QDate date(year, m.captured(2).toInt(), m.captured(1).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return Compose(date, time);
}

TDateTime DateTimeFromText(const QString& text)
{
    const std::optional<TDateTime> value = ParseDateTime(text);
    if (!value)
        throw NoDateError(text);
    return *value;
}

TDateTime DateTimeFromText(QByteArrayView text)
{
    const auto fast = ParseListForm(text.data(), text.size());
    if (!fast)
        return DateTimeFromText(QString::fromUtf8(text));
    const std::optional<TDateTime> value = ComposeValid(*fast);
    if (!value)
        throw NoDateError(QString::fromUtf8(text));
    return *value;
}

qint64 UnixTime(TDateTime value)
{
    return static_cast<qint64>(std::nearbyint((value - kUnixEpochDays) * 86400.0));
}

qint64 MillisecondsBetween(TDateTime a, TDateTime b)
{
    return static_cast<qint64>(std::fabs(a - b) * kMsPerDay);
}
