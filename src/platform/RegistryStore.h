// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "base/Exceptions.h"

/// The two hives the program uses.
enum class TRegistryHive {
    CurrentUser,
    LocalMachine
};

/// One registry value: text, a 32-bit number or bytes (doubles are 8 bytes).
struct TRegistryValue {
    enum class TKind {
        String,
        Dword,
        Binary
    };
    TKind kind = TKind::String;
    QString text;
    quint32 dword = 0;
    QByteArray binary;

    static TRegistryValue FromText(const QString& text);
    static TRegistryValue FromDword(quint32 value);
    static TRegistryValue FromBinary(const QByteArray& bytes);
    bool operator==(const TRegistryValue&) const = default;
};

/// A hive file that cannot be parsed; it has been moved aside, so the same
/// call made again sees an empty hive. The store cannot log: its caller does.
class ERegistryDamaged : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The file-backed registry: one REGEDIT4 text file per hive. Key paths are
/// relative to the hive ("Software\\Plenwick\\Plenwick\\Styles") and compared
/// without regard to case, like value names. Every call reads the file anew
/// under a shared flock; writes hold an exclusive flock and replace the file
/// atomically, so several processes may use one hive. Each call throws
/// ERegistryDamaged when it met (and moved aside) a damaged hive file.
class TRegistryStore
{
public:
    /// HKEY_CURRENT_USER: $XDG_CONFIG_HOME/plenwick/user.reg; HKEY_LOCAL_MACHINE:
    /// /var/lib/plenwick/system.reg; PLENWICK_REGISTRY_DIR puts both in one folder.
    static QString HiveFile(TRegistryHive hive);

    /// "Opened with full access": the hive file (or its folder) is writable.
    static bool HiveWritable(TRegistryHive hive);

    static bool KeyExists(TRegistryHive hive, const QString& key);
    static std::optional<TRegistryValue> ReadValue(TRegistryHive hive, const QString& key, const QString& name);
    static QStringList ValueNames(TRegistryHive hive, const QString& key);

    /// Creates the key when missing. False when the hive cannot be written.
    static bool WriteValue(TRegistryHive hive, const QString& key, const QString& name, const TRegistryValue& value);
    /// False when the value did not exist or the hive cannot be written.
    static bool DeleteValue(TRegistryHive hive, const QString& key, const QString& name);
};
