// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include "base/DateTime.h"
#include "base/ReentrantRWLock.h"
#include "catalogue/SyncChain.h"

/// A computer that has connected to this one: its address, its resolved name
/// (the key of the list, lower case), the computer name it reported at login
/// and its place in the client tree (a group path "\a\b\c\").
class TSyncClient : public TSyncChain
{
public:
    /// The group path starts as the first three non-empty parts of the address.
    TSyncClient(const QString& address, const QString& description, TDateTime lastContact, const QString& name);

    TSyncClient* Next() const { return static_cast<TSyncClient*>(GetNext()); }

    QString Address() const;
    void SetAddress(const QString& value);
    QString Name() const;
    /// Stored in lower case.
    void SetName(const QString& value);
    QString LocalComputerName() const;
    void SetLocalComputerName(const QString& value);
    TDateTime LastContact() const;
    void SetLastContact(TDateTime value);
    /// "dd.mm.yy hh:nn:ss"
    QString LastContactText() const;
    QString ClientDescription() const;
    void SetClientDescription(const QString& value);
    QString GroupPath() const;
    void SetGroupPath(const QString& value);

    /// The 6-field line of the client list file.
    QString ToLine() const;
    /// Reads such a line; a line without exactly 6 fields gives nullptr after the
    /// incompatible-list warning; a bad date raises EConvertError.
    static std::unique_ptr<TSyncClient> FromLine(const QString& line);

    /// "\a\b\c\" from an address a.b.c.d; fewer parts give a shorter path.
    static QString DefaultGroupPath(const QString& address);

private:
    QString m_address;
    QString m_name;
    QString m_localComputerName;
    TDateTime m_lastContact = 0;
    QString m_clientDescription;
    QString m_groupPath;
};

/// The lock of the client list and of its clients' fields. Held for reading
/// over a walk, the walk sees one state of the list; call nothing under it
/// that waits for the main thread or writes the list.
TReentrantRWLock& ClientListLock();

TSyncClient* FirstClient();
int ClientCount();
/// First client whose name equals the text, ignoring case; nullptr when none.
TSyncClient* FindClientByName(const QString& name);
/// The same, comparing exactly.
TSyncClient* FindClientByNameExact(const QString& name);
/// Records an accepted connection: updates a known client's address and last
/// contact, or appends a new client; saves the list when a stored field changed.
void RegisterClient(const QString& address, const QString& name);
/// Stores the computer name a client reported at login; saves the list when
/// the name is new to it.
void RecordLocalComputerName(TSyncClient& client, const QString& computerName);
/// Puts the clients into the group of a client-tree node and saves the list.
void MoveClientsToGroup(const QList<TSyncClient*>& clients, const QString& groupPath);
/// A group node was renamed: carries the clients' group paths and the objects'
/// client groups below the old path over to the new one, and saves what changed.
void ReassignGroupPath(const QString& oldPath, const QString& newPath);
/// Removes a client (the caller has asked for confirmation) and saves the list.
void DeleteClient(TSyncClient* client);
void LoadClientList();
void SaveClientList();
void FreeAllClients();
