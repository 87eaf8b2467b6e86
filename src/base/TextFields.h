// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// Splits a list line or a request line into fields. A double or single quote
/// opens a stretch in which the separator does not split; the quotes stay part
/// of the field. Empty fields are dropped. With a space as separator, CR and LF
/// end a word as well.
QStringList SplitFields(const QString& line, QChar separator);

/// Removes one pair of surrounding quote characters; exactly two quotes give "".
QString Dequote(const QString& text, QChar quote = QLatin1Char('"'));

/// Reads a field that may be quoted: a leading double quote takes the text up to
/// the matching closing quote (a doubled quote stands for one); an unquoted field
/// is returned unchanged.
QString UnquoteField(const QString& field);

/// Encloses a text in double quotes, doubling every double quote inside, so
/// that SplitFields keeps it one field and UnquoteField gives it back.
QString QuoteField(const QString& text);

/// Whether a text holds CR or LF, which no line can carry.
bool HasLineBreak(const QString& text);

/// The text with CR and LF written as \r and \n, to name it in one log line.
QString ShownLineBreaks(const QString& text);

/// The text with every CR, LF or CR LF turned into one space.
QString WithoutLineBreaks(const QString& text);

/// Decimal text to unsigned 64-bit, modulo 2^64; "" reads as 0. Any non-digit
/// raises EConvertError "Konvertierung des Strings in eine Zahl nicht möglich.".
quint64 NumberFromDigits(const QString& text);

/// Unsigned decimal text.
QString NumberToText(quint64 value);

/// Reads a signed 32-bit decimal integer or raises EConvertError.
qint32 IntegerFromText(const QString& text);

/// Reads "True"/"False" in any case, or a number (non-zero is true); else EConvertError.
bool BooleanFromText(const QString& text);

/// "True" or "False".
QString BooleanToText(bool value);

/// Splits file or stream content into lines: LF ends a line and a CR before it is
/// dropped. A last line without terminator counts; the empty rest after a final LF
/// does not. Bytes are taken as UTF-8.
QStringList SplitLines(const QByteArray& content);

/// Joins lines, each ended by CR LF, as UTF-8.
QByteArray JoinLines(const QStringList& lines);
