// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/SyncClient.h"

#include <atomic>
#include <memory>

#include "base/ReentrantRWLock.h"
#include "base/TextFields.h"
#include "catalogue/ClientKeys.h"
#include "catalogue/ListFile.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"

namespace {

const QString kCategory = QStringLiteral("SyncClient");
constexpr int kFieldCount = 6;

/// The client list. Its lock guards the clients' fields as well: server
/// connections change them while the views read them.
struct TClientList {
    TChainList list;
    TReentrantRWLock lock;
    TListFile file{".clients", "SyncClient"};
    // Set while a save has not succeeded, so that the skipped saves of
    // unchanged clients never leave an earlier change out of the file.
    std::atomic<bool> unsaved{false};
};

TClientList& Clients()
{
    static TClientList clients;
    return clients;
}

template <class T>
T ReadField(const T& field)
{
    TReadGuard guard(Clients().lock);
    return field;
}

template <class T>
void WriteField(T& field, const T& value)
{
    TWriteGuard guard(Clients().lock);
    field = value;
}

TSyncClient* FindClient(const QString& name, Qt::CaseSensitivity sensitivity)
{
    TReadGuard guard(Clients().lock);
    for (TSyncClient* client = FirstClient(); client != nullptr; client = client->Next())
        if (client->Name().compare(name, sensitivity) == 0)
            return client;
    return nullptr;
}

/// Each save is an fsync, made under the server's session lock: a connection
/// or login that leaves every stored field as it was writes nothing.
void SaveClientListIfChanged(bool changed)
{
    if (changed || Clients().unsaved)
        SaveClientList();
}

} // namespace

TSyncClient::TSyncClient(const QString& address, const QString& description, TDateTime lastContact, const QString& name)
    : m_address(address), m_name(name.toLower()), m_lastContact(lastContact), m_clientDescription(description),
      m_groupPath(DefaultGroupPath(address))
{
}

QString TSyncClient::Address() const
{
    return ReadField(m_address);
}
void TSyncClient::SetAddress(const QString& value)
{
    WriteField(m_address, value);
}
QString TSyncClient::Name() const
{
    return ReadField(m_name);
}
void TSyncClient::SetName(const QString& value)
{
    WriteField(m_name, value.toLower());
}
QString TSyncClient::LocalComputerName() const
{
    return ReadField(m_localComputerName);
}
void TSyncClient::SetLocalComputerName(const QString& value)
{
    WriteField(m_localComputerName, value);
}
TDateTime TSyncClient::LastContact() const
{
    return ReadField(m_lastContact);
}
void TSyncClient::SetLastContact(TDateTime value)
{
    WriteField(m_lastContact, value);
}
QString TSyncClient::LastContactText() const
{
    return FormatDateTime(LastContact());
}
QString TSyncClient::ClientDescription() const
{
    return ReadField(m_clientDescription);
}
// A line break becomes a space: the client line cannot hold one.
void TSyncClient::SetClientDescription(const QString& value)
{
    WriteField(m_clientDescription, WithoutLineBreaks(value));
}
QString TSyncClient::GroupPath() const
{
    return ReadField(m_groupPath);
}
void TSyncClient::SetGroupPath(const QString& value)
{
    WriteField(m_groupPath, value);
}

QString TSyncClient::DefaultGroupPath(const QString& address)
{
    const QStringList parts = address.split(QLatin1Char('.'), Qt::SkipEmptyParts).mid(0, 3);
    QString path = QStringLiteral("\\");
    for (const QString& part : parts)
        path += part + QLatin1Char('\\');
    return path;
}

QString TSyncClient::ToLine() const
{
    TReadGuard guard(Clients().lock);
    return QStringList{m_name,
                       QuoteField(m_localComputerName),
                       m_address,
                       FormatDateTime(m_lastContact),
                       QuoteField(m_clientDescription),
                       QuoteField(m_groupPath)}
        .join(QLatin1Char(','));
}

std::unique_ptr<TSyncClient> TSyncClient::FromLine(const QString& line)
{
    const QStringList f = SplitFields(line, QLatin1Char(','));
    if (f.size() != kFieldCount) {
        ShowListWarning(QStringLiteral("Die Client-Liste ist inkompatibel.\r\nZeile:") + line);
        return nullptr;
    }
    auto client = std::make_unique<TSyncClient>(f[2], UnquoteField(f[4]), DateTimeFromText(f[3]), f[0]);
    client->m_groupPath = UnquoteField(f[5]);
    client->m_localComputerName = UnquoteField(f[1]);
    return client;
}

TReentrantRWLock& ClientListLock()
{
    return Clients().lock;
}

TSyncClient* FirstClient()
{
    return static_cast<TSyncClient*>(Clients().list.Head());
}

int ClientCount()
{
    TReadGuard guard(Clients().lock);
    int count = 0;
    for (const TSyncClient* client = FirstClient(); client != nullptr; client = client->Next())
        ++count;
    return count;
}

TSyncClient* FindClientByName(const QString& name)
{
    return FindClient(name, Qt::CaseInsensitive);
}

TSyncClient* FindClientByNameExact(const QString& name)
{
    return FindClient(name, Qt::CaseSensitive);
}

void RegisterClient(const QString& address, const QString& name)
{
    QString description = QStringLiteral("Client ") + name;
    if (name.compare(MainConfig().GetString(QStringLiteral("NetServerName")), Qt::CaseInsensitive) == 0)
        description = QStringLiteral("Mein Master-Server");
    else if (name.compare(LocalComputerName(), Qt::CaseInsensitive) == 0)
        description = QStringLiteral("Loopback");
    auto record = std::make_unique<TSyncClient>(address, description, DateTimeNow(), name);
    // Logged after the lock is released: a worker's log entry waits for the
    // main thread, which may itself be waiting for this lock.
    QList<std::pair<QString, QString>> entries;
    bool known = false;
    bool changed = true;
    {
        TWriteGuard guard(Clients().lock);
        if (TSyncClient* client = FindClientByName(name)) {
            known = true;
            const QString stored = client->ToLine();
            entries.append({QStringLiteral("ServerBase"),
                            QStringLiteral("Client \"") + name + QStringLiteral("\" ist bereits bekannt")});
            if (client->Address().compare(address, Qt::CaseInsensitive) != 0) {
                client->SetAddress(address);
                entries.append(
                    {QStringLiteral("ServerBase"),
                     QStringLiteral("Client \"") + name + QStringLiteral("\" besitzt neue IP-Adresse ") + address});
            }
            client->SetLastContact(record->LastContact());
            entries.append({kCategory, QStringLiteral("Objekt \"%1\" wurde aktualisiert").arg(client->Name())});
            changed = client->ToLine() != stored;
        } else {
            Clients().list.Append(record.release());
        }
    }
    for (const auto& [category, message] : entries)
        Log(category, message, category == kCategory ? 46 : 45);
    if (known)
        TUiAdapter::RefreshClientOnlineMarks();
    else
        TUiAdapter::RebuildClientViews();
    // The last contact is stored to the second: a reconnect within the same
    // second from the same address changes nothing stored.
    SaveClientListIfChanged(changed);
}

void RecordLocalComputerName(TSyncClient& client, const QString& computerName)
{
    const bool changed = client.LocalComputerName() != computerName;
    client.SetLocalComputerName(computerName);
    SaveClientListIfChanged(changed);
}

void MoveClientsToGroup(const QList<TSyncClient*>& clients, const QString& groupPath)
{
    for (TSyncClient* client : clients)
        client->SetGroupPath(groupPath);
    SaveClientList();
    TUiAdapter::RebuildClientViews();
}

void ReassignGroupPath(const QString& oldPath, const QString& newPath)
{
    if (ReassignObjectGroupPaths(oldPath, newPath))
        SaveObjectList();
    if (oldPath.isEmpty())
        return;
    bool changed = false;
    {
        TWriteGuard guard(Clients().lock);
        for (TSyncClient* client = FirstClient(); client != nullptr; client = client->Next()) {
            const QString path = client->GroupPath();
            if (path.startsWith(oldPath, Qt::CaseInsensitive)) {
                client->SetGroupPath(newPath + path.mid(oldPath.size()));
                changed = true;
            }
        }
    }
    if (changed)
        SaveClientList();
}

void DeleteClient(TSyncClient* client)
{
    // A reinstalled computer comes with a new key: deleting its entry is how
    // the administrator lets it in again.
    if (const QString computer = client->LocalComputerName(); !computer.isEmpty())
        ForgetClientKey(computer);
    {
        TWriteGuard guard(Clients().lock);
        Clients().list.Remove(client);
    }
    SaveClientList();
    TUiAdapter::RebuildClientViews();
}

void LoadClientList()
{
    Clients().file.Load([](const QString& line) {
        std::unique_ptr<TSyncClient> client = TSyncClient::FromLine(line);
        if (!client)
            return false;
        TWriteGuard guard(Clients().lock);
        Clients().list.Append(client.release());
        return true;
    });
}

void SaveClientList()
{
    Clients().unsaved = true;
    QStringList lines;
    {
        TReadGuard guard(Clients().lock);
        for (const TSyncClient* client = FirstClient(); client != nullptr; client = client->Next())
            lines.append(client->ToLine());
    }
    const QString note = Clients().file.Write(lines);
    Clients().unsaved = false;
    if (!note.isEmpty())
        Log(kCategory, note, 46);
    Log(kCategory, QStringLiteral("SyncClient-Liste wurde geschrieben"), 46);
}

void FreeAllClients()
{
    TWriteGuard guard(Clients().lock);
    Clients().list.Clear();
}
