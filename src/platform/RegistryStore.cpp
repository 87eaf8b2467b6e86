// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RegistryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <vector>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/AtomicFile.h"
#include "base/TextFields.h"

namespace {

struct TRegKey {
    QString path; // relative to the hive
    std::vector<std::pair<QString, TRegistryValue>> values;
};

using THive = std::vector<TRegKey>;

QString RootName(TRegistryHive hive)
{
    return hive == TRegistryHive::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                              : QStringLiteral("HKEY_LOCAL_MACHINE");
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Key paths may arrive with a trailing backslash (base key + "" section).
QString NormalKey(const QString& key)
{
    QString k = key;
    while (k.endsWith(QLatin1Char('\\')))
        k.chop(1);
    while (k.startsWith(QLatin1Char('\\')))
        k.remove(0, 1);
    return k;
}

/// An flock on a companion file: the hive file itself is replaced by rename.
class TFileLock
{
public:
    TFileLock(const QString& hiveFile, bool exclusive)
    {
        m_fd = ::open(QFile::encodeName(hiveFile + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                      0644);
        if (m_fd < 0 && !exclusive) // a reader without write rights on the folder reads unlocked
            m_fd = ::open(QFile::encodeName(hiveFile + QStringLiteral(".lock")).constData(), O_RDONLY | O_CLOEXEC);
        if (m_fd >= 0)
            ::flock(m_fd, exclusive ? LOCK_EX : LOCK_SH);
    }
    ~TFileLock()
    {
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_UN);
            ::close(m_fd);
        }
    }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

private:
    int m_fd = -1;
};

QString EscapeText(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

// Reads a quoted REGEDIT4 string starting at pos (on the opening quote); pos ends after the closing quote.
bool ReadQuoted(const QString& line, qsizetype& pos, QString& out)
{
    if (pos >= line.size() || line[pos] != QLatin1Char('"'))
        return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == QLatin1Char('\\') && pos + 1 < line.size()) {
            out += line[++pos];
        } else if (c == QLatin1Char('"')) {
            ++pos;
            return true;
        } else {
            out += c;
        }
    }
    return false;
}

bool ParseData(const QString& data, TRegistryValue& value)
{
    if (data.startsWith(QLatin1Char('"'))) {
        qsizetype pos = 0;
        QString text;
        if (!ReadQuoted(data, pos, text) || pos != data.size())
            return false;
        value = TRegistryValue::FromText(text);
        return true;
    }
    if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        const QString digits = data.mid(6);
        bool ok = false;
        const quint32 number = digits.toUInt(&ok, 16);
        if (!ok || digits.size() != 8)
            return false;
        value = TRegistryValue::FromDword(number);
        return true;
    }
    if (data.startsWith(QLatin1String("hex:"), Qt::CaseInsensitive)) {
        QByteArray bytes;
        for (const QString& part : SplitFields(data.mid(4), QLatin1Char(','))) {
            bool ok = false;
            const uint byte = part.trimmed().toUInt(&ok, 16);
            if (!ok || byte > 0xff)
                return false;
            bytes.append(static_cast<char>(byte));
        }
        value = TRegistryValue::FromBinary(bytes);
        return true;
    }
    return false;
}

bool ParseHive(TRegistryHive hive, const QByteArray& content, THive& keys)
{
    QStringList lines = SplitLines(content);
    // Join continuation lines of long hex values.
    QStringList joined;
    for (QString line : lines) {
        if (!joined.isEmpty() && joined.back().endsWith(QLatin1Char('\\')) &&
            joined.back().contains(QLatin1String("=hex:"), Qt::CaseInsensitive)) {
            joined.back().chop(1);
            joined.back() += line.trimmed();
            continue;
        }
        joined.append(line);
    }
    bool sawHeader = false;
    const QString rootPrefix = RootName(hive) + QLatin1Char('\\');
    TRegKey* current = nullptr;
    for (const QString& raw : joined) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (!sawHeader) {
            if (line != QLatin1String("REGEDIT4"))
                return false;
            sawHeader = true;
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                return false;
            const QString full = line.mid(1, line.size() - 2);
            if (!full.startsWith(rootPrefix, Qt::CaseInsensitive) && !SameName(full, RootName(hive)))
                return false;
            keys.push_back(TRegKey{NormalKey(full.mid(RootName(hive).size())), {}});
            current = &keys.back();
            continue;
        }
        if (current == nullptr)
            return false;
        QString name;
        qsizetype pos = 0;
        if (line.startsWith(QLatin1Char('@'))) {
            pos = 1;
        } else if (!ReadQuoted(line, pos, name)) {
            return false;
        }
        if (pos >= line.size() || line[pos] != QLatin1Char('='))
            return false;
        TRegistryValue value;
        if (!ParseData(line.mid(pos + 1), value))
            return false;
        current->values.emplace_back(name, value);
    }
    return sawHeader || keys.empty();
}

QByteArray SerializeHive(TRegistryHive hive, const THive& keys)
{
    QStringList lines{QStringLiteral("REGEDIT4"), QString()};
    for (const TRegKey& key : keys) {
        lines.append(QLatin1Char('[') + RootName(hive) +
                     (key.path.isEmpty() ? QString() : QLatin1Char('\\') + key.path) + QLatin1Char(']'));
        for (const auto& [name, value] : key.values) {
            QString line =
                name.isEmpty() ? QStringLiteral("@=") : QLatin1Char('"') + EscapeText(name) + QStringLiteral("\"=");
            switch (value.kind) {
            case TRegistryValue::TKind::String:
                line += QLatin1Char('"') + EscapeText(value.text) + QLatin1Char('"');
                break;
            case TRegistryValue::TKind::Dword:
                line += QStringLiteral("dword:%1").arg(value.dword, 8, 16, QLatin1Char('0'));
                break;
            case TRegistryValue::TKind::Binary: {
                QStringList bytes;
                for (const char b : value.binary)
                    bytes.append(QStringLiteral("%1").arg(static_cast<uchar>(b), 2, 16, QLatin1Char('0')));
                line += QStringLiteral("hex:") + bytes.join(QLatin1Char(','));
                break;
            }
            }
            lines.append(line);
        }
        lines.append(QString());
    }
    return JoinLines(lines);
}

// Reads the hive; a damaged file is moved aside (never emptied in place) and reported to the caller.
THive LoadHive(TRegistryHive hive, const QString& file)
{
    THive keys;
    QByteArray content;
    if (!ReadWholeFile(file, content))
        return keys;
    if (ParseHive(hive, content, keys))
        return keys;
    const QString aside =
        file + QStringLiteral(".damaged-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile::rename(file, aside);
    throw ERegistryDamaged(
        QStringLiteral("Registrierungsdatei \"%1\" ist beschädigt und wurde als \"%2\" beiseitegelegt")
            .arg(file, aside));
}

TRegKey* FindKey(THive& keys, const QString& key)
{
    const QString wanted = NormalKey(key);
    for (TRegKey& k : keys)
        if (SameName(k.path, wanted))
            return &k;
    return nullptr;
}

// Read-modify-write under the exclusive lock.
template <typename Change>
bool ModifyHive(TRegistryHive hive, Change change)
{
    if (!TRegistryStore::HiveWritable(hive))
        return false;
    const QString file = TRegistryStore::HiveFile(hive);
    QDir().mkpath(QFileInfo(file).absolutePath());
    TFileLock lock(file, true);
    THive keys = LoadHive(hive, file);
    if (!change(keys))
        return false;
    try {
        WriteFileAtomically(file, SerializeHive(hive, keys));
    } catch (const EInOutError&) {
        return false;
    }
    return true;
}

THive ReadHive(TRegistryHive hive)
{
    const QString file = TRegistryStore::HiveFile(hive);
    if (!QFileInfo::exists(file))
        return THive();
    TFileLock lock(file, false);
    return LoadHive(hive, file);
}

} // namespace

TRegistryValue TRegistryValue::FromText(const QString& text)
{
    TRegistryValue v;
    v.kind = TKind::String;
    v.text = text;
    return v;
}

TRegistryValue TRegistryValue::FromDword(quint32 value)
{
    TRegistryValue v;
    v.kind = TKind::Dword;
    v.dword = value;
    return v;
}

TRegistryValue TRegistryValue::FromBinary(const QByteArray& bytes)
{
    TRegistryValue v;
    v.kind = TKind::Binary;
    v.binary = bytes;
    return v;
}

QString TRegistryStore::HiveFile(TRegistryHive hive)
{
    const bool user = hive == TRegistryHive::CurrentUser;
    const QString name = user ? QStringLiteral("user.reg") : QStringLiteral("system.reg");
    const QString dir = qEnvironmentVariable("PLENWICK_REGISTRY_DIR");
    if (!dir.isEmpty())
        return QDir(dir).filePath(name);
    if (!user)
        return QStringLiteral("/var/lib/plenwick/system.reg");
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/plenwick/user.reg");
}

bool TRegistryStore::HiveWritable(TRegistryHive hive)
{
    const QFileInfo file(HiveFile(hive));
    if (file.exists())
        return ::access(QFile::encodeName(file.absoluteFilePath()).constData(), W_OK) == 0 &&
               ::access(QFile::encodeName(file.absolutePath()).constData(), W_OK) == 0;
    // The folder may not exist yet: the nearest existing ancestor decides.
    QString dir = file.absolutePath();
    while (!QFileInfo::exists(dir) && dir != QLatin1String("/"))
        dir = QFileInfo(dir).absolutePath();
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

bool TRegistryStore::KeyExists(TRegistryHive hive, const QString& key)
{
    THive keys = ReadHive(hive);
    return FindKey(keys, key) != nullptr;
}

std::optional<TRegistryValue> TRegistryStore::ReadValue(TRegistryHive hive, const QString& key, const QString& name)
{
    THive keys = ReadHive(hive);
    if (const TRegKey* k = FindKey(keys, key))
        for (const auto& [valueName, value] : k->values)
            if (SameName(valueName, name))
                return value;
    return std::nullopt;
}

QStringList TRegistryStore::ValueNames(TRegistryHive hive, const QString& key)
{
    QStringList names;
    THive keys = ReadHive(hive);
    if (const TRegKey* k = FindKey(keys, key))
        for (const auto& entry : k->values)
            names.append(entry.first);
    return names;
}

bool TRegistryStore::WriteValue(TRegistryHive hive, const QString& key, const QString& name,
                                const TRegistryValue& value)
{
    return ModifyHive(hive, [&](THive& keys) {
        TRegKey* k = FindKey(keys, key);
        if (k == nullptr) {
            keys.push_back(TRegKey{NormalKey(key), {}});
            k = &keys.back();
        }
        for (auto& entry : k->values)
            if (SameName(entry.first, name)) {
                entry.second = value;
                return true;
            }
        k->values.emplace_back(name, value);
        return true;
    });
}

bool TRegistryStore::DeleteValue(TRegistryHive hive, const QString& key, const QString& name)
{
    return ModifyHive(hive, [&](THive& keys) {
        TRegKey* k = FindKey(keys, key);
        if (k == nullptr)
            return false;
        for (auto it = k->values.begin(); it != k->values.end(); ++it)
            if (SameName(it->first, name)) {
                k->values.erase(it);
                return true;
            }
        return false;
    });
}
