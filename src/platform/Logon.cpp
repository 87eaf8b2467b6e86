// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Logon.h"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <security/pam_appl.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <QFileInfo>

#include "platform/ProgramPaths.h"

namespace {

struct TConversationData {
    QByteArray user;
    QByteArray password;
};

// Answers PAM's prompts: the password for hidden ones, the user name otherwise.
int Converse(int count, const pam_message** messages, pam_response** responses, void* data)
{
    const auto* credentials = static_cast<const TConversationData*>(data);
    auto* answers = static_cast<pam_response*>(std::calloc(static_cast<size_t>(count), sizeof(pam_response)));
    if (answers == nullptr)
        return PAM_BUF_ERR;
    for (int i = 0; i < count; ++i) {
        switch (messages[i]->msg_style) {
        case PAM_PROMPT_ECHO_OFF:
            answers[i].resp = ::strdup(credentials->password.constData());
            break;
        case PAM_PROMPT_ECHO_ON:
            answers[i].resp = ::strdup(credentials->user.constData());
            break;
        default:
            break;
        }
    }
    *responses = answers;
    return PAM_SUCCESS;
}

const char* PamService()
{
    return QFileInfo::exists(QStringLiteral("/etc/pam.d/plenwick")) ? "plenwick" : "login";
}

bool Authenticate(const TAccountName& name, const QString& password)
{
    TConversationData data{name.user.toUtf8(), password.toUtf8()};
    const pam_conv conversation{&Converse, &data};
    pam_handle_t* handle = nullptr;
    if (::pam_start(PamService(), data.user.constData(), &conversation, &handle) != PAM_SUCCESS)
        return false;
    int rc = ::pam_authenticate(handle, PAM_SILENT);
    if (rc == PAM_SUCCESS)
        rc = ::pam_acct_mgmt(handle, PAM_SILENT);
    ::pam_end(handle, rc);
    return rc == PAM_SUCCESS;
}

uid_t CurrentFsUid()
{
    // An invalid id changes nothing and returns the current one.
    return static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1)));
}

} // namespace

TAccountName SplitAccountName(const QString& account)
{
    const qsizetype backslash = account.indexOf(QLatin1Char('\\'));
    if (backslash < 0)
        return {QStringLiteral("."), account};
    return {account.left(backslash), account.mid(backslash + 1)};
}

bool LogonAndImpersonate(const QString& account, const QString& password)
{
    const TAccountName name = SplitAccountName(account);
    if (name.domain != QLatin1String(".") && name.domain.compare(LocalComputerName(), Qt::CaseInsensitive) != 0)
        return false;
    if (name.user.isEmpty() || !Authenticate(name, password))
        return false;
    if (::geteuid() == 0) {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[4096];
        if (::getpwnam_r(name.user.toUtf8().constData(), &entry, buffer, sizeof buffer, &found) != 0 ||
            found == nullptr)
            return false;
        // Group first: once the uid is no longer 0 the gid cannot change.
        ::setfsgid(found->pw_gid);
        ::setfsuid(found->pw_uid);
    }
    return CurrentFsUid() == 0;
}
