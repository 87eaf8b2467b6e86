// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include <QString>
#include <QVariant>

#include "base/Exceptions.h"
#include "platform/RegistryStore.h"

class EConfItemNotFound : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

class EConfPersistenceModeNotValid : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

class EConfCorruptXmlFile : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

class EConfNotInXmlFile : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

enum class TPersistenceMode : quint8 {
    Registry = 0,
    IniFile = 1,
    Unset = 2,
    XmlFile = 3
};
enum class TValueKind : quint8 {
    String = 0,
    Integer = 1,
    Boolean = 2,
    DateTime = 3,
    Float = 4
};

/// A read or write filter: gets the value, returns the value to use.
using TConfigFilter = std::function<QVariant(const QVariant&)>;
/// What a change of an item's value sets off; gets the new value.
using TConfigReaction = std::function<void(const QVariant&)>;

/// One registered item of a TConfig.
struct TConfItem {
    QString section;
    QString name;
    QVariant value;
    QVariant defaultValue;
    TValueKind kind = TValueKind::String;
    TConfigFilter readFilter;
    TConfigFilter writeFilter;
    TConfigReaction changeReaction;
    bool modified = false;
    bool alwaysStore = false;
    bool encoded = false;
    bool absolutePath = false;
};

/// The typed key/value store: registered items, loaded from the backing store
/// at registration, written back by SaveAll. Backed by the registry store, an
/// INI file (CR LF, foreign lines kept) or a read-only XML file.
class TConfig
{
public:
    TConfig();

    void SetRootKey(TRegistryHive root);
    void SetFileName(const QString& fileName);
    /// Raw mode byte: values above 3 are ignored.
    void SetPersistenceMode(quint8 mode);
    TPersistenceMode PersistenceMode() const;
    QString FileName() const;

    /// True when a stored value was found and loaded.
    bool Register(const QString& section, const QString& name, bool absolutePath, bool encoded, TValueKind kind,
                  const QVariant& defaultValue);
    void SetReadFilter(const QString& name, TConfigFilter filter);
    void SetWriteFilter(const QString& name, TConfigFilter filter);
    /// Runs under the lock after a Set that changed the value, so reactions
    /// come in the order of the changes; a write of the value the item has
    /// sets off nothing.
    void SetChangeReaction(const QString& name, TConfigReaction reaction);
    void SetAlwaysStore(const QString& name, bool flag);

    bool Exists(const QString& name) const;
    QVariant Get(const QString& name) const;
    void Set(const QString& name, const QVariant& value);
    void SaveAll();

    /// Typed reads through Get.
    QString GetString(const QString& name) const { return Get(name).toString(); }
    int GetInteger(const QString& name) const { return Get(name).toInt(); }
    bool GetBoolean(const QString& name) const { return Get(name).toBool(); }
    double GetFloat(const QString& name) const { return Get(name).toDouble(); }

    /// Whether an item awaits SaveAll (tests and diagnostics).
    bool IsModified(const QString& name) const;

private:
    qsizetype IndexOf(const QString& name) const;
    // Private helpers for the three backing stores are in the .cpp.

    mutable std::recursive_mutex m_lock;
    TRegistryHive m_rootKey = TRegistryHive::CurrentUser;
    QString m_baseKey;
    QString m_fileName;
    TPersistenceMode m_mode = TPersistenceMode::Unset;
    std::vector<TConfItem> m_items;
};
