// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

/// Days since 30 December 1899, local time, with the time of day as fraction.
using TDateTime = double;

/// Days from 30 December 1899 to 1 January 1970.
inline constexpr TDateTime kUnixEpochDays = 25569.0;

TDateTime DateTimeNow();
TDateTime DateTimeFromQt(const QDateTime& local);
QDateTime DateTimeToQt(TDateTime value);

/// "dd.mm.yy hh:nn:ss": list files, views.
QString FormatDateTime(TDateTime value);
/// FormatDateTime appended to a list line being written.
void AppendDateTime(QByteArray& out, TDateTime value);
/// "dd.mm.yy hh:nn:ss.zzz": the protocol log.
QString FormatDateTimeMs(TDateTime value);
/// "dd.mm.yyyy hh:nn:ss": overview message blocks.
QString FormatDateTimeLong(TDateTime value);

/// Fixed reader of "dd.mm.yy hh:nn:ss" (seconds optional, four-digit years
/// accepted). A two-digit year yy means 19yy from 70 on, 20yy below. Does not
/// depend on the locale.
std::optional<TDateTime> ParseDateTime(const QString& text);

/// ParseDateTime for list fields: raises EConvertError when the text is no
/// date and time.
TDateTime DateTimeFromText(const QString& text);
/// The same for a field of a UTF-8 list line.
TDateTime DateTimeFromText(QByteArrayView text);

/// Seconds since 1 January 1970, rounded (halves to even).
qint64 UnixTime(TDateTime value);
/// Absolute difference, truncated to whole milliseconds.
qint64 MillisecondsBetween(TDateTime a, TDateTime b);
