// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PoolConfig.h"

#include <cstring>
#include <memory>

#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include "base/AtomicFile.h"
#include "base/Base64.h"
#include "base/DateTime.h"
#include "base/TextFields.h"
#include "foundation/RegistryCall.h"
#include "platform/ProgramPaths.h"
#include "platform/VersionInfo.h"

namespace {

QString NotFoundMessage(const QString& name)
{
    return QStringLiteral("Konfigurationseintrag \"%1\" nicht gefunden").arg(name);
}

// Values are always held in the item's own kind, so "differs" compares like with like.
QVariant AsKind(const QVariant& value, TValueKind kind)
{
    switch (kind) {
    case TValueKind::String:
        return value.toString();
    case TValueKind::Integer:
        return value.toInt();
    case TValueKind::Boolean:
        return value.toBool();
    case TValueKind::DateTime:
    case TValueKind::Float:
        return value.toDouble();
    }
    return value;
}

QString DecodedOrStored(const QString& stored)
{
    const auto decoded = Base64Decode(stored.toUtf8());
    return decoded ? QString::fromUtf8(*decoded) : stored;
}

QByteArray DoubleBytes(double value)
{
    QByteArray bytes(sizeof value, '\0');
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

// Floats and dates are written with a point; a comma, as other systems' regional format writes it, is read too.
std::optional<double> ParseFloat(const QString& text)
{
    bool ok = false;
    const double value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// --- INI file -------------------------------------------------------------

bool IsSectionLine(const QString& line, QString& section)
{
    const QString t = line.trimmed();
    if (t.size() < 2 || t.front() != QLatin1Char('[') || t.back() != QLatin1Char(']'))
        return false;
    section = t.mid(1, t.size() - 2).trimmed();
    return true;
}

// Name and value of a "Name=Value" line; comments and lines without "=" have none.
bool IsValueLine(const QString& line, QString& name, QString& value)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.front() == QLatin1Char(';') || t.front() == QLatin1Char('#'))
        return false;
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    name = t.left(eq).trimmed();
    value = t.mid(eq + 1).trimmed();
    return true;
}

std::optional<QString> IniRead(const QStringList& lines, const QString& section, const QString& name)
{
    QString current;
    bool inSection = false;
    for (const QString& line : lines) {
        QString key;
        QString value;
        if (IsSectionLine(line, current))
            inSection = current.compare(section, Qt::CaseInsensitive) == 0;
        else if (inSection && IsValueLine(line, key, value) && key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

// Replaces the item's line in place, or adds it at the end of its section (or a new section).
void IniWrite(QStringList& lines, const QString& section, const QString& name, const QString& value)
{
    const QString line = name + QLatin1Char('=') + value;
    QString current;
    bool inSection = false;
    qsizetype sectionEnd = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString key;
        QString old;
        if (IsSectionLine(lines[i], current)) {
            if (inSection)
                break;
            inSection = current.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection)
                sectionEnd = i + 1;
        } else if (inSection) {
            if (IsValueLine(lines[i], key, old) && key.compare(name, Qt::CaseInsensitive) == 0) {
                lines[i] = line;
                return;
            }
            if (!lines[i].trimmed().isEmpty())
                sectionEnd = i + 1;
        }
    }
    if (sectionEnd < 0) {
        if (!lines.isEmpty() && !lines.back().trimmed().isEmpty())
            lines.append(QString());
        lines.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines.append(line);
        return;
    }
    lines.insert(sectionEnd, line);
}

QString IniText(const TConfItem& item)
{
    switch (item.kind) {
    case TValueKind::String: {
        const QString text = item.value.toString();
        return item.encoded ? QString::fromLatin1(Base64Encode(text.toUtf8())) : text;
    }
    case TValueKind::Integer:
        return QString::number(item.value.toInt());
    case TValueKind::Boolean:
        return item.value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case TValueKind::DateTime:
        return FormatDateTimeLong(item.value.toDouble());
    case TValueKind::Float:
        return QString::number(item.value.toDouble(), 'g', 17);
    }
    return QString();
}

// A text that does not convert leaves the default, as an INI reader falls back to it.
QVariant IniValue(const QString& text, const TConfItem& item)
{
    switch (item.kind) {
    case TValueKind::String:
        return item.encoded ? DecodedOrStored(text) : text;
    case TValueKind::Integer:
    case TValueKind::Boolean: {
        bool ok = false;
        const int number = text.toInt(&ok);
        if (!ok)
            return item.defaultValue;
        return item.kind == TValueKind::Integer ? QVariant(number) : QVariant(number != 0);
    }
    case TValueKind::DateTime: {
        const auto when = ParseDateTime(text);
        if (when)
            return *when;
        const auto number = ParseFloat(text);
        return number ? QVariant(*number) : item.defaultValue;
    }
    case TValueKind::Float: {
        const auto number = ParseFloat(text);
        return number ? QVariant(*number) : item.defaultValue;
    }
    }
    return item.defaultValue;
}

QStringList ReadIniLines(const QString& fileName)
{
    QByteArray content;
    if (!ReadWholeFile(fileName, content))
        return {};
    return SplitLines(content);
}

// --- Registry -------------------------------------------------------------

std::optional<QVariant> RegistryValue(const TRegistryValue& stored, const TConfItem& item)
{
    switch (item.kind) {
    case TValueKind::String:
        if (stored.kind != TRegistryValue::TKind::String)
            return std::nullopt;
        return QVariant(item.encoded ? DecodedOrStored(stored.text) : stored.text);
    case TValueKind::Integer:
    case TValueKind::Boolean:
        if (stored.kind != TRegistryValue::TKind::Dword)
            return std::nullopt;
        if (item.kind == TValueKind::Integer)
            return QVariant(static_cast<qint32>(stored.dword));
        return QVariant(stored.dword != 0);
    case TValueKind::DateTime:
    case TValueKind::Float: {
        if (stored.kind != TRegistryValue::TKind::Binary || stored.binary.size() != sizeof(double))
            return std::nullopt;
        double value = 0;
        std::memcpy(&value, stored.binary.constData(), sizeof value);
        return QVariant(value);
    }
    }
    return std::nullopt;
}

TRegistryValue RegistryForm(const TConfItem& item)
{
    switch (item.kind) {
    case TValueKind::String: {
        const QString text = item.value.toString();
        return TRegistryValue::FromText(item.encoded ? QString::fromLatin1(Base64Encode(text.toUtf8())) : text);
    }
    case TValueKind::Integer:
        return TRegistryValue::FromDword(static_cast<quint32>(item.value.toInt()));
    case TValueKind::Boolean:
        return TRegistryValue::FromDword(item.value.toBool() ? 1 : 0);
    case TValueKind::DateTime:
    case TValueKind::Float:
        return TRegistryValue::FromBinary(DoubleBytes(item.value.toDouble()));
    }
    return TRegistryValue();
}

// --- XML file -------------------------------------------------------------

struct TXmlElement {
    QString tag;
    QString text;
    bool hasChildren = false;
    std::vector<std::pair<QString, QString>> attributes;
    std::vector<std::unique_ptr<TXmlElement>> children;

    const TXmlElement* Child(const QString& name) const
    {
        for (const auto& c : children)
            if (c->tag == name)
                return c.get();
        return nullptr;
    }
};

/// The reason a document could not be used: the class of the failure and its text.
struct EXmlFailure {
    QString className;
    QString message;
};

std::unique_ptr<TXmlElement> ParseXml(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EXmlFailure{QStringLiteral("EInOutError"), file.errorString()};
    QXmlStreamReader reader(&file);
    std::unique_ptr<TXmlElement> root;
    std::vector<TXmlElement*> open;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            auto element = std::make_unique<TXmlElement>();
            element->tag = reader.name().toString();
            for (const QXmlStreamAttribute& a : reader.attributes())
                element->attributes.emplace_back(a.name().toString(), a.value().toString());
            TXmlElement* raw = element.get();
            if (open.empty())
                root = std::move(element);
            else {
                open.back()->hasChildren = true;
                open.back()->children.push_back(std::move(element));
            }
            open.push_back(raw);
        } else if (reader.isEndElement()) {
            open.pop_back();
        } else if (reader.isCharacters() && !open.empty()) {
            open.back()->text += reader.text();
        }
    }
    if (reader.hasError() || !root)
        throw EXmlFailure{QStringLiteral("EXmlStreamError"),
                          reader.hasError() ? reader.errorString() : QStringLiteral("Kein Dokumentelement")};
    return root;
}

QVariant XmlValue(const QString& text, TValueKind kind)
{
    switch (kind) {
    case TValueKind::String:
        return text;
    case TValueKind::Integer:
        return IntegerFromText(text);
    case TValueKind::Boolean:
        return text.trimmed().compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
    case TValueKind::DateTime: {
        const auto when = ParseDateTime(text);
        if (!when)
            throw EConvertError(QStringLiteral("\"%1\" ist kein gültiges Datum").arg(text));
        return *when;
    }
    case TValueKind::Float: {
        const auto number = ParseFloat(text);
        if (!number)
            throw EConvertError(QStringLiteral("\"%1\" ist kein gültiger Gleitkommawert").arg(text));
        return *number;
    }
    }
    return text;
}

} // namespace

TConfig::TConfig()
    : m_baseKey(QStringLiteral("Software\\") + CompanyName() + QLatin1Char('\\') + ProductName() + QLatin1Char('\\')),
      m_fileName(ProgramFile(QStringLiteral(".ini")))
{
}

void TConfig::SetRootKey(TRegistryHive root)
{
    std::lock_guard guard(m_lock);
    m_rootKey = root;
}

void TConfig::SetFileName(const QString& fileName)
{
    std::lock_guard guard(m_lock);
    m_fileName = fileName;
}

void TConfig::SetPersistenceMode(quint8 mode)
{
    std::lock_guard guard(m_lock);
    if (mode > static_cast<quint8>(TPersistenceMode::XmlFile))
        return;
    const auto wanted = static_cast<TPersistenceMode>(mode);
    if ((wanted == TPersistenceMode::IniFile || wanted == TPersistenceMode::XmlFile) && m_fileName.isEmpty())
        throw EConfPersistenceModeNotValid(QStringLiteral("Name der Konfigurationsdatei nicht angegeben"));
    m_mode = wanted;
}

TPersistenceMode TConfig::PersistenceMode() const
{
    std::lock_guard guard(m_lock);
    return m_mode;
}

QString TConfig::FileName() const
{
    std::lock_guard guard(m_lock);
    return m_fileName;
}

qsizetype TConfig::IndexOf(const QString& name) const
{
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<qsizetype>(i);
    throw EConfItemNotFound(NotFoundMessage(name));
}

bool TConfig::Register(const QString& section, const QString& name, bool absolutePath, bool encoded, TValueKind kind,
                       const QVariant& defaultValue)
{
    std::lock_guard guard(m_lock);
    if (m_mode == TPersistenceMode::Unset)
        return false;

    TConfItem fresh;
    fresh.section = section;
    fresh.name = name;
    fresh.kind = kind;
    fresh.defaultValue = AsKind(defaultValue, kind);
    fresh.value = fresh.defaultValue;
    fresh.encoded = encoded;
    fresh.absolutePath = absolutePath;

    size_t index = m_items.size();
    if (m_mode == TPersistenceMode::IniFile) {
        for (size_t i = 0; i < m_items.size(); ++i)
            if (m_items[i].name.compare(name, Qt::CaseInsensitive) == 0)
                index = i;
    }
    if (index == m_items.size())
        m_items.push_back(fresh);
    else
        m_items[index] = fresh;
    TConfItem& item = m_items[index];

    switch (m_mode) {
    case TPersistenceMode::Registry: {
        const QString key = absolutePath ? section : m_baseKey + section;
        const auto stored = RegistryCall([&] { return TRegistryStore::ReadValue(m_rootKey, key, name); });
        if (!stored)
            return false;
        const auto value = RegistryValue(*stored, item);
        if (!value)
            return false;
        item.value = *value;
        return true;
    }
    case TPersistenceMode::IniFile: {
        const auto text = IniRead(ReadIniLines(m_fileName), section, name);
        if (!text)
            return false;
        item.value = IniValue(*text, item);
        return true;
    }
    case TPersistenceMode::XmlFile: {
        if (!QFileInfo::exists(m_fileName))
            return false;
        try {
            const auto root = ParseXml(m_fileName);
            const TXmlElement* node = root.get();
            for (const QString& part : section.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
                if (!node->hasChildren)
                    continue;
                node = node->Child(part);
                if (node == nullptr)
                    return false;
            }
            const TXmlElement* element = node->Child(name);
            if (element == nullptr)
                return false;
            if (!element->hasChildren)
                item.value = XmlValue(element->text, kind);
            // Appending may move the vector: read everything needed from the element, not from item.
            for (const auto& [attribute, text] : element->attributes) {
                TConfItem extra = fresh;
                extra.name = name + QLatin1Char('.') + attribute;
                extra.value = XmlValue(text, kind);
                m_items.push_back(extra);
            }
            return true;
        } catch (const EXmlFailure& failure) {
            throw EConfCorruptXmlFile(QStringLiteral("XML-Dokument \"%1\" ist fehlerhaft: %2 \"%3\"")
                                          .arg(m_fileName, failure.className, failure.message));
        } catch (const EConvertError& error) {
            throw EConfCorruptXmlFile(QStringLiteral("XML-Dokument \"%1\" ist fehlerhaft: %2 \"%3\"")
                                          .arg(m_fileName, QStringLiteral("EConvertError"), error.Message()));
        }
    }
    case TPersistenceMode::Unset:
        break;
    }
    return false;
}

void TConfig::SetReadFilter(const QString& name, TConfigFilter filter)
{
    std::lock_guard guard(m_lock);
    m_items[IndexOf(name)].readFilter = std::move(filter);
}

void TConfig::SetWriteFilter(const QString& name, TConfigFilter filter)
{
    std::lock_guard guard(m_lock);
    m_items[IndexOf(name)].writeFilter = std::move(filter);
}

void TConfig::SetChangeReaction(const QString& name, TConfigReaction reaction)
{
    std::lock_guard guard(m_lock);
    m_items[IndexOf(name)].changeReaction = std::move(reaction);
}

void TConfig::SetAlwaysStore(const QString& name, bool flag)
{
    std::lock_guard guard(m_lock);
    m_items[IndexOf(name)].alwaysStore = flag;
}

bool TConfig::Exists(const QString& name) const
{
    std::lock_guard guard(m_lock);
    for (const TConfItem& item : m_items)
        if (item.name.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QVariant TConfig::Get(const QString& name) const
{
    std::lock_guard guard(m_lock);
    const TConfItem& item = m_items[IndexOf(name)];
    const QVariant copy = item.value;
    return item.readFilter ? AsKind(item.readFilter(copy), item.kind) : copy;
}

void TConfig::Set(const QString& name, const QVariant& value)
{
    std::lock_guard guard(m_lock);
    TConfItem& item = m_items[IndexOf(name)];
    const QVariant result = AsKind(item.writeFilter ? item.writeFilter(value) : value, item.kind);
    const bool changed = result != item.value;
    if (changed || item.alwaysStore) {
        item.value = result;
        item.modified = true;
    }
    if (changed && item.changeReaction)
        item.changeReaction(result);
}

bool TConfig::IsModified(const QString& name) const
{
    std::lock_guard guard(m_lock);
    return m_items[IndexOf(name)].modified;
}

void TConfig::SaveAll()
{
    std::lock_guard guard(m_lock);
    switch (m_mode) {
    case TPersistenceMode::Unset:
        return;
    case TPersistenceMode::XmlFile:
        throw EConfNotInXmlFile(QStringLiteral("Speichern eines XML-Dokuments wird nicht unterstützt"));
    case TPersistenceMode::Registry:
        for (TConfItem& item : m_items) {
            if (!item.modified)
                continue;
            const QString key = item.absolutePath ? item.section : m_baseKey + item.section;
            // a key that cannot be opened is skipped
            RegistryCall([&] { return TRegistryStore::WriteValue(m_rootKey, key, item.name, RegistryForm(item)); });
            item.modified = false;
        }
        return;
    case TPersistenceMode::IniFile: {
        bool any = false;
        QStringList lines = ReadIniLines(m_fileName);
        for (const TConfItem& item : m_items)
            if (item.modified) {
                IniWrite(lines, item.section, item.name, IniText(item));
                any = true;
            }
        if (!any)
            return;
        WriteFileAtomically(m_fileName, JoinLines(lines), TFileAccess::Group);
        for (TConfItem& item : m_items)
            item.modified = false;
        return;
    }
    }
}
