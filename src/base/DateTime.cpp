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

void AppendDigits(QString& out, int value, int width)
{
    QChar digits[4];
    value = std::abs(value);
    for (int i = width - 1; i >= 0; --i, value /= 10)
        digits[i] = QChar(u'0' + value % 10);
    out.append(digits, width);
}

/// "dd.mm.yy hh:nn:ss" with a four-digit year or milliseconds on request,
/// written digit by digit: list files format one date per line.
QString Format(TDateTime value, bool longYear, bool milliseconds)
{
    const auto [date, time] = SplitDateTime(value);
    QString out;
    out.reserve(23);
    AppendDigits(out, date.day(), 2);
    out.append(QLatin1Char('.'));
    AppendDigits(out, date.month(), 2);
    out.append(QLatin1Char('.'));
    AppendDigits(out, longYear ? date.year() : date.year() % 100, longYear ? 4 : 2);
    out.append(QLatin1Char(' '));
    AppendDigits(out, time.hour(), 2);
    out.append(QLatin1Char(':'));
    AppendDigits(out, time.minute(), 2);
    out.append(QLatin1Char(':'));
    AppendDigits(out, time.second(), 2);
    if (milliseconds) {
        out.append(QLatin1Char('.'));
        AppendDigits(out, time.msec(), 3);
    }
    return out;
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

QString FormatDateTimeMs(TDateTime value)
{
    return Format(value, false, true);
}

QString FormatDateTimeLong(TDateTime value)
{
    return Format(value, true, false);
}

namespace {

int TwoDigits(const QString& text, qsizetype at)
{
    const QChar high = text[at];
    const QChar low = text[at + 1];
    if (!high.isDigit() || !low.isDigit() || high.unicode() > '9' || low.unicode() > '9')
        return -1;
    return (high.unicode() - '0') * 10 + (low.unicode() - '0');
}

/// The exact form the lists write, "dd.mm.yy hh:nn:ss", without the pattern
/// machinery: list files hold one per line.
std::optional<std::pair<QDate, QTime>> ParseListForm(const QString& text)
{
    if (text.size() != 17 || text[2] != QLatin1Char('.') || text[5] != QLatin1Char('.') ||
        text[8] != QLatin1Char(' ') || text[11] != QLatin1Char(':') || text[14] != QLatin1Char(':'))
        return std::nullopt;
    int parts[6];
    for (int i = 0; i < 6; ++i)
        if ((parts[i] = TwoDigits(text, i * 3)) < 0)
            return std::nullopt;
    const int year = parts[2] + (parts[2] >= 70 ? 1900 : 2000);
    return std::pair{QDate(year, parts[1], parts[0]), QTime(parts[3], parts[4], parts[5])};
}

} // namespace

std::optional<TDateTime> ParseDateTime(const QString& text)
{
    if (const auto fast = ParseListForm(text)) {
        if (!fast->first.isValid() || !fast->second.isValid())
            return std::nullopt;
        return Compose(fast->first, fast->second);
    }
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
        throw EConvertError(QStringLiteral("\"%1\" ist kein gültiges Datum und Uhrzeit").arg(text));
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
