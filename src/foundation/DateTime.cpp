// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/DateTime.h"

#include <cmath>

#include <QRegularExpression>

#include "foundation/Exceptions.h"

namespace {

const qint64 kJulianDayOf18991230 = QDate(1899, 12, 30).toJulianDay();
constexpr double kMsPerDay = 86400000.0;

} // namespace

TDateTime DateTimeFromQt(const QDateTime& local)
{
    const QDateTime t = local.toLocalTime();
    const double days = static_cast<double>(t.date().toJulianDay() - kJulianDayOf18991230);
    return days + t.time().msecsSinceStartOfDay() / kMsPerDay;
}

QDateTime DateTimeToQt(TDateTime value)
{
    // Round to the millisecond first, so 0.9999999 of a day does not fall back a day.
    const qint64 totalMs = std::llround(value * kMsPerDay);
    qint64 days = totalMs / 86400000;
    qint64 ms = totalMs % 86400000;
    if (ms < 0) {
        ms += 86400000;
        --days;
    }
    const QDate date = QDate::fromJulianDay(kJulianDayOf18991230 + days);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)));
}

TDateTime DateTimeNow()
{
    return DateTimeFromQt(QDateTime::currentDateTime());
}

QString FormatDateTime(TDateTime value)
{
    return DateTimeToQt(value).toString(QStringLiteral("dd.MM.yy HH:mm:ss"));
}

QString FormatDateTimeMs(TDateTime value)
{
    return DateTimeToQt(value).toString(QStringLiteral("dd.MM.yy HH:mm:ss.zzz"));
}

QString FormatDateTimeLong(TDateTime value)
{
    return DateTimeToQt(value).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

std::optional<TDateTime> ParseDateTime(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^\s*(\d{1,2})\.(\d{1,2})\.(\d{2}|\d{4})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
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
    return DateTimeFromQt(QDateTime(date, time));
}

TDateTime DateTimeFromText(const QString& text)
{
    const std::optional<TDateTime> value = ParseDateTime(text);
    if (!value)
        throw EConvertError(QStringLiteral("\"%1\" ist kein gültiges Datum und Uhrzeit").arg(text));
    return *value;
}

qint64 UnixTime(TDateTime value)
{
    return static_cast<qint64>(std::nearbyint((value - kUnixEpochDays) * 86400.0));
}

qint64 MinutesBetween(TDateTime a, TDateTime b)
{
    return static_cast<qint64>(std::fabs(a - b) * 1440.0);
}

qint64 MillisecondsBetween(TDateTime a, TDateTime b)
{
    return static_cast<qint64>(std::fabs(a - b) * kMsPerDay);
}
