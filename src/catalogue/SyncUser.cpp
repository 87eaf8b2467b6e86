// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/SyncUser.h"

#include <mutex>

#include "base/TextFields.h"
#include "catalogue/ListFile.h"
#include "foundation/PoolInterlocked.h"

namespace {

const QString kCategory = QStringLiteral("SyncUser");

struct TUserList {
    TChainList list;
    std::recursive_mutex lock;
    TListFile file{".users", "SyncUser"};
};

TUserList& Users()
{
    static TUserList users;
    return users;
}

} // namespace

TSyncUser::TSyncUser(const QString& userName, const QString& userGroup, quint64 userId)
    : m_userId(userId), m_userName(userName), m_userGroup(userGroup)
{
    Log(kCategory, QStringLiteral("Benutzer \"%1\" erstellt").arg(userName), 19);
}

QString TSyncUser::ToLine() const
{
    QString line;
    for (const QString& field : {NumberToText(m_userId), QuoteField(m_userName), QuoteField(m_firstName),
                                 QuoteField(m_lastName), QuoteField(m_userExtra), QuoteField(m_userGroup)})
        line += field + QLatin1Char(',');
    return line;
}

std::unique_ptr<TSyncUser> TSyncUser::FromLine(const QString& line)
{
    const QStringList f = SplitFields(line, QLatin1Char(','));
    if (f.size() != 6)
        return nullptr;
    auto user = std::make_unique<TSyncUser>(UnquoteField(f[1]), UnquoteField(f[5]), NumberFromDigits(f[0]));
    user->m_firstName = UnquoteField(f[2]);
    user->m_lastName = UnquoteField(f[3]);
    user->m_userExtra = UnquoteField(f[4]);
    return user;
}

TSyncUser* FirstUser()
{
    return static_cast<TSyncUser*>(Users().list.Head());
}

TSyncUser* FindUserByName(const QString& name)
{
    std::lock_guard guard(Users().lock);
    for (TSyncUser* user = FirstUser(); user != nullptr; user = user->Next())
        if (user->UserName().compare(name, Qt::CaseInsensitive) == 0)
            return user;
    return nullptr;
}

void SetUserGroup(TSyncUser* user, const QString& groupName)
{
    user->SetUserGroup(groupName);
    SaveUserList();
}

void LoadUserList()
{
    Users().file.Load([](const QString& line) {
        std::unique_ptr<TSyncUser> user = TSyncUser::FromLine(line);
        if (!user)
            return false;
        if (user->UserDescription().isEmpty())
            user->SetUserDescription(QStringLiteral("Benutzer(in) %1, %2").arg(user->LastName(), user->FirstName()));
        std::lock_guard guard(Users().lock);
        Users().list.Append(user.release());
        return true;
    });
}

void SaveUserList()
{
    QString note;
    {
        std::lock_guard guard(Users().lock);
        QStringList lines;
        for (const TSyncUser* user = FirstUser(); user != nullptr; user = user->Next())
            lines.append(user->ToLine());
        note = Users().file.Write(lines);
    }
    if (!note.isEmpty())
        Log(kCategory, note, 46);
    Log(kCategory, QStringLiteral("SyncUser-Liste wurde geschrieben"), 46);
}

void FreeAllUsers()
{
    std::lock_guard guard(Users().lock);
    Users().list.Clear();
}
