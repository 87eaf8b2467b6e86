// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

/// Splits a list line or a request line into fields. A double or single quote
/// opens a stretch in which the separator does not split; the quotes stay part
/// of the field. Empty fields are dropped. With a space as separator, CR and LF
/// end a word as well.
QStringList SplitFields(const QString& line, QChar separator);

/// SplitFields on the UTF-8 bytes of a list line, without a copy: the first
/// max fields are stored as views into the line. Gives the number of fields,
/// counted up to max + 1 (a line with more is as wrong as one with max + 1).
qsizetype SplitFieldViews(QByteArrayView line, char separator, QByteArrayView* fields, qsizetype max);

/// Removes one pair of surrounding quote characters; exactly two quotes give "".
QString Dequote(const QString& text, QChar quote = QLatin1Char('"'));

/// Reads a field that may be quoted: a leading double quote takes the text up to
/// the matching closing quote (a doubled quote stands for one); an unquoted field
/// is returned unchanged.
QString UnquoteField(const QString& field);
/// UnquoteField on a field cut from a UTF-8 line, decoded once.
QString UnquoteField(QByteArrayView field);

/// Encloses a text in double quotes, doubling every double quote inside, so
/// that SplitFields keeps it one field and UnquoteField gives it back.
QString QuoteField(const QString& text);
/// Appends QuoteField(text) as UTF-8.
void AppendQuoted(QByteArray& out, QStringView text);

/// Appends the text as UTF-8, exactly as QString::toUtf8 gives it.
void AppendUtf8(QByteArray& out, QStringView text);

/// Whether a text holds CR or LF, which no line can carry.
bool HasLineBreak(const QString& text);

/// The text with CR and LF written as \r and \n, to name it in one log line.
QString ShownLineBreaks(const QString& text);

/// The text with every CR, LF or CR LF turned into one space.
QString WithoutLineBreaks(const QString& text);

/// Decimal text to unsigned 64-bit, modulo 2^64; "" reads as 0. Any non-digit
/// raises EConvertError "Konvertierung des Strings in eine Zahl nicht möglich.".
quint64 NumberFromDigits(const QString& text);
quint64 NumberFromDigits(QByteArrayView text);

/// Unsigned decimal text.
QString NumberToText(quint64 value);
/// Appends a decimal number.
void AppendNumber(QByteArray& out, qint64 value);
void AppendNumber(QByteArray& out, quint64 value);

/// Reads a signed 32-bit decimal integer or raises EConvertError.
qint32 IntegerFromText(const QString& text);
/// The same for a field of a UTF-8 line.
qint32 IntegerFromText(QByteArrayView text);

/// Reads "True"/"False" in any case, or a number (non-zero is true); else EConvertError.
bool BooleanFromText(const QString& text);
/// The same for a field of a UTF-8 line.
bool BooleanFromText(QByteArrayView text);

/// "True" or "False".
QString BooleanToText(bool value);
/// Appends "True" or "False".
void AppendBoolean(QByteArray& out, bool value);

/// Splits file or stream content into lines: LF ends a line and a CR before it is
/// dropped. A last line without terminator counts; the empty rest after a final LF
/// does not. Bytes are taken as UTF-8.
QStringList SplitLines(const QByteArray& content);

/// The lines of file content one by one, as views into it, split as
/// SplitLines splits them.
class TLineCursor
{
public:
    explicit TLineCursor(QByteArrayView content) : m_content(content) {}
    /// The next line; false when there is none.
    bool Next(QByteArrayView& line);

private:
    QByteArrayView m_content;
    qsizetype m_at = 0;
};

/// Joins lines, each ended by CR LF, as UTF-8.
QByteArray JoinLines(const QStringList& lines);
