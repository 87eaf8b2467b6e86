// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/TextFields.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

#include <QStringEncoder>

#include "base/Exceptions.h"

namespace {

const char* const kConvertMessage = "Konvertierung des Strings in eine Zahl nicht möglich.";

EConvertError ConvertError()
{
    return EConvertError(QString::fromUtf8(kConvertMessage));
}

// One splitting rule for the UTF-16 text of requests and the UTF-8 bytes of
// list files: quotes and separators are ASCII, so both cut a line at the same
// places. emit(start, length) returns false to stop.
template <class Char, class Emit>
void ForEachField(const Char* text, qsizetype size, char separator, Emit emit)
{
    const bool words = separator == ' ';
    qsizetype start = 0;
    Char openQuote = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const Char c = text[i];
        if (openQuote != 0) {
            if (c == openQuote)
                openQuote = 0;
            continue;
        }
        if (c == separator || (words && (c == '\r' || c == '\n'))) {
            if (i > start && !emit(start, i - start))
                return;
            start = i + 1;
            continue;
        }
        if (c == '"' || c == '\'')
            openQuote = c;
    }
    if (size > start)
        emit(start, size - start);
}

// The stretches that make up the text of a field that may be quoted: the
// whole field when it is not, else the inner text cut after each doubled
// quote's first half (its second half begins the next stretch).
template <class Char, class Append>
void ForEachUnquotedPiece(const Char* field, qsizetype size, Append append)
{
    if (size == 0 || field[0] != '"') {
        append(0, size);
        return;
    }
    qsizetype start = 1;
    for (qsizetype i = 1; i < size; ++i) {
        if (field[i] != '"')
            continue;
        append(start, i - start);
        if (i + 1 >= size || field[i + 1] != '"')
            return;
        start = ++i;
    }
    append(start, size - start);
}

template <class Char>
quint64 DigitsValue(const Char* text, qsizetype size)
{
    quint64 value = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (text[i] < '0' || text[i] > '9')
            throw ConvertError();
        value = value * 10 + static_cast<quint64>(text[i] - '0');
    }
    return value;
}

// The form the lists write numbers in: an optional minus and digits. Any
// other form goes to the text readers, which decide about it as they always did.
std::optional<qint64> PlainInteger(QByteArrayView text)
{
    if (text.isEmpty() || text.front() == '+')
        return std::nullopt;
    qint64 value = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || at != end)
        return std::nullopt;
    return value;
}

// The word as the lists write it first: ten flags a line.
bool IsWord(QByteArrayView text, QByteArrayView word)
{
    return text.size() == word.size() && (text == word || qstrnicmp(text.data(), word.data(), word.size()) == 0);
}

const char* BooleanWord(bool value)
{
    return value ? "True" : "False";
}

template <class Number>
void AppendDecimal(QByteArray& out, Number value)
{
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, end - digits);
}

} // namespace

QStringList SplitFields(const QString& line, QChar separator)
{
    // Every field is a stretch of the line between separators, so it is cut out
    // whole rather than built character by character (list files have many).
    QStringList fields;
    ForEachField(line.utf16(), line.size(), static_cast<char>(separator.unicode()), [&](qsizetype at, qsizetype n) {
        fields.append(line.mid(at, n));
        return true;
    });
    return fields;
}

qsizetype SplitFieldViews(QByteArrayView line, char separator, QByteArrayView* fields, qsizetype max)
{
    qsizetype count = 0;
    ForEachField(line.data(), line.size(), separator, [&](qsizetype at, qsizetype n) {
        if (count < max)
            fields[count] = line.sliced(at, n);
        return ++count <= max;
    });
    return count;
}

QString Dequote(const QString& text, QChar quote)
{
    if (text.size() >= 2 && text.front() == quote && text.back() == quote)
        return text.mid(1, text.size() - 2);
    return text;
}

QString UnquoteField(const QString& field)
{
    QString result;
    ForEachUnquotedPiece(field.utf16(), field.size(), [&](qsizetype at, qsizetype n) {
        // A field without doubled quotes is one stretch: shared, not copied, when it is the whole field.
        if (result.isNull())
            result = at == 0 && n == field.size() ? field : field.mid(at, n);
        else
            result.append(QStringView(field).sliced(at, n));
    });
    return result;
}

QString UnquoteField(QByteArrayView field)
{
    QString result;
    ForEachUnquotedPiece(field.data(), field.size(), [&](qsizetype at, qsizetype n) {
        // Stretches end at ASCII quotes, so each is whole UTF-8 on its own.
        if (result.isNull())
            result = QString::fromUtf8(field.sliced(at, n));
        else
            result.append(QString::fromUtf8(field.sliced(at, n)));
    });
    return result;
}

QString QuoteField(const QString& text)
{
    const QChar quote = QLatin1Char('"');
    QString inner = text;
    inner.replace(quote, QStringLiteral("\"\""));
    return quote + inner + quote;
}

void AppendUtf8(QByteArray& out, QStringView text)
{
    // Encoded straight into the buffer. A lone surrogate, which the encoder
    // writes otherwise than toUtf8, has the text written again by toUtf8.
    QStringEncoder encoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    const qsizetype at = out.size();
    out.resize(at + encoder.requiredSpace(text.size()));
    const char* end = encoder.appendToBuffer(out.data() + at, text);
    out.truncate(end - out.constData());
    if (encoder.hasError()) {
        out.truncate(at);
        out += text.toUtf8();
    }
}

void AppendQuoted(QByteArray& out, QStringView text)
{
    out.append('"');
    for (qsizetype quote = text.indexOf(QLatin1Char('"')); quote >= 0; quote = text.indexOf(QLatin1Char('"'))) {
        AppendUtf8(out, text.first(quote + 1));
        out.append('"');
        text = text.sliced(quote + 1);
    }
    AppendUtf8(out, text);
    out.append('"');
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
    return DigitsValue(text.utf16(), text.size());
}

quint64 NumberFromDigits(QByteArrayView text)
{
    return DigitsValue(text.data(), text.size());
}

QString NumberToText(quint64 value)
{
    return QString::number(value);
}

void AppendNumber(QByteArray& out, qint64 value)
{
    AppendDecimal(out, value);
}

void AppendNumber(QByteArray& out, quint64 value)
{
    AppendDecimal(out, value);
}

qint32 IntegerFromText(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("\"%1\" ist kein gültiger Integerwert").arg(text));
    return value;
}

qint32 IntegerFromText(QByteArrayView text)
{
    const std::optional<qint64> value = PlainInteger(text);
    if (value && *value >= std::numeric_limits<qint32>::min() && *value <= std::numeric_limits<qint32>::max())
        return static_cast<qint32>(*value);
    return IntegerFromText(QString::fromUtf8(text));
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

bool BooleanFromText(QByteArrayView text)
{
    if (IsWord(text, BooleanWord(true)))
        return true;
    if (IsWord(text, BooleanWord(false)))
        return false;
    if (const std::optional<qint64> number = PlainInteger(text))
        return *number != 0;
    return BooleanFromText(QString::fromUtf8(text));
}

QString BooleanToText(bool value)
{
    return QLatin1String(BooleanWord(value));
}

void AppendBoolean(QByteArray& out, bool value)
{
    out.append(BooleanWord(value));
}

bool TLineCursor::Next(QByteArrayView& line)
{
    if (m_at >= m_content.size())
        return false;
    // memchr itself: a list has a line per object, and Qt's search around it costs as much again.
    const auto* feed = static_cast<const char*>(std::memchr(m_content.data() + m_at, '\n', m_content.size() - m_at));
    const bool terminated = feed != nullptr;
    const qsizetype end = terminated ? feed - m_content.data() : m_content.size();
    qsizetype length = end - m_at;
    if (terminated && length > 0 && m_content[end - 1] == '\r')
        --length;
    line = m_content.sliced(m_at, length);
    m_at = end + 1;
    return true;
}

QStringList SplitLines(const QByteArray& content)
{
    QStringList lines;
    TLineCursor cursor(content);
    for (QByteArrayView line; cursor.Next(line);)
        lines.append(QString::fromUtf8(line));
    return lines;
}

QByteArray JoinLines(const QStringList& lines)
{
    QByteArray out;
    for (const QString& line : lines) {
        AppendUtf8(out, line);
        out += "\r\n";
    }
    return out;
}
