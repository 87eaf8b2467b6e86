// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QString>

#include "catalogue/SyncChain.h"

/// A user account carried in the user list file; the main window only groups
/// users, it never creates or deletes them.
class TSyncUser : public TSyncChain
{
public:
    /// Logs "Benutzer "<name>" erstellt".
    TSyncUser(const QString& userName, const QString& userGroup, quint64 userId);

    TSyncUser* Next() const { return static_cast<TSyncUser*>(GetNext()); }

    quint64 UserId() const { return m_userId; }
    void SetUserId(quint64 value) { m_userId = value; }
    QString UserName() const { return m_userName; }
    void SetUserName(const QString& value) { m_userName = value; }
    QString UserExtra() const { return m_userExtra; }
    void SetUserExtra(const QString& value) { m_userExtra = value; }
    QString FirstName() const { return m_firstName; }
    void SetFirstName(const QString& value) { m_firstName = value; }
    QString LastName() const { return m_lastName; }
    void SetLastName(const QString& value) { m_lastName = value; }
    QString UserGroup() const { return m_userGroup; }
    void SetUserGroup(const QString& value) { m_userGroup = value; }
    QString UserDescription() const { return m_userDescription; }
    void SetUserDescription(const QString& value) { m_userDescription = value; }

    /// The 6-field line, each field followed by a comma.
    QString ToLine() const;
    /// Reads such a line; nullptr unless it has exactly 6 fields; a non-digit id
    /// raises EConvertError.
    static std::unique_ptr<TSyncUser> FromLine(const QString& line);

private:
    quint64 m_userId = 0;
    QString m_userName;
    QString m_userExtra;
    QString m_firstName;
    QString m_lastName;
    QString m_userGroup;
    QString m_userDescription;
};

TSyncUser* FirstUser();
/// First user whose name equals the text, ignoring case; nullptr when none.
TSyncUser* FindUserByName(const QString& name);
/// Gives the user a group (a users-tree node's text) and saves the list.
void SetUserGroup(TSyncUser* user, const QString& groupName);
void LoadUserList();
void SaveUserList();
void FreeAllUsers();
