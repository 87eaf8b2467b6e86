// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/TextFields.h"

#include "base/Exceptions.h"

namespace {

const char* const kConvertMessage = "Konvertierung des Strings in eine Zahl nicht möglich.";

EConvertError ConvertError()
{
    return EConvertError(QString::fromUtf8(kConvertMessage));
}

} // namespace

QStringList SplitFields(const QString& line, QChar separator)
{
    // Every field is a stretch of the line between separators, so it is cut out
    // whole rather than built character by character (list files have many).
    const bool words = separator == QLatin1Char(' ');
    QStringList fields;
    qsizetype start = 0;
    QChar openQuote;
    const qsizetype size = line.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = line[i];
        if (!openQuote.isNull()) {
            if (c == openQuote)
                openQuote = QChar();
            continue;
        }
        const bool ends = c == separator || (words && (c == QLatin1Char('\r') || c == QLatin1Char('\n')));
        if (ends) {
            if (i > start)
                fields.append(line.mid(start, i - start));
            start = i + 1;
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\''))
            openQuote = c;
    }
    if (size > start)
        fields.append(line.mid(start, size - start));
    return fields;
}

QString Dequote(const QString& text, QChar quote)
{
    if (text.size() >= 2 && text.front() == quote && text.back() == quote)
        return text.mid(1, text.size() - 2);
    return text;
}

QString UnquoteField(const QString& field)
{
    const QChar quote = QLatin1Char('"');
    if (field.isEmpty() || field.front() != quote)
        return field;
    // Usually the first quote after the opening one closes the field.
    const qsizetype close = field.indexOf(quote, 1);
    if (close < 0)
        return field.mid(1);
    if (close + 1 >= field.size() || field[close + 1] != quote)
        return field.mid(1, close - 1);
    QString result;
    for (qsizetype i = 1; i < field.size(); ++i) {
        if (field[i] != quote) {
            result.append(field[i]);
            continue;
        }
        if (i + 1 < field.size() && field[i + 1] == quote) {
            result.append(quote);
            ++i;
            continue;
        }
        break;
    }
    return result;
}

QString QuoteField(const QString& text)
{
    const QChar quote = QLatin1Char('"');
    QString inner = text;
    inner.replace(quote, QStringLiteral("\"\""));
    return quote + inner + quote;
}

bool HasLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

QString ShownLineBreaks(const QString& text)
{
    QString shown = text;
    return shown.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
}

QString WithoutLineBreaks(const QString& text)
{
    if (!HasLineBreak(text))
        return text;
    QString result = text;
    result.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    result.replace(QLatin1Char('\r'), QLatin1Char(' '));
    result.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return result;
}

quint64 NumberFromDigits(const QString& text)
{
    quint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            throw ConvertError();
        value = value * 10 + static_cast<quint64>(c.unicode() - u'0');
    }
    return value;
}

QString NumberToText(quint64 value)
{
    return QString::number(value);
}

qint32 IntegerFromText(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("\"%1\" ist kein gültiger Integerwert").arg(text));
    return value;
}

bool BooleanFromText(const QString& text)
{
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const qlonglong number = text.trimmed().toLongLong(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("\"%1\" ist kein gültiger Boolescher Wert").arg(text));
    return number != 0;
}

QString BooleanToText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QStringList SplitLines(const QByteArray& content)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        const bool terminated = end >= 0;
        if (!terminated)
            end = content.size();
        qsizetype length = end - start;
        if (terminated && length > 0 && content[end - 1] == '\r')
            --length;
        lines.append(QString::fromUtf8(content.constData() + start, length));
        start = end + 1;
    }
    return lines;
}

QByteArray JoinLines(const QStringList& lines)
{
    QByteArray out;
    for (const QString& line : lines) {
        out += line.toUtf8();
        out += "\r\n";
    }
    return out;
}
