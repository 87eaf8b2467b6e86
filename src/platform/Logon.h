// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// An account as the elevation names it: "domain\user", or a user alone on
/// this computer (domain ".").
struct TAccountName {
    QString domain;
    QString user;
};
TAccountName SplitAccountName(const QString& account);

/// Logs the account on (PAM service "plenwick", else "login"; a domain other
/// than "." or this computer's name fails) and, when the process runs as
/// root, gives the calling thread the account's file-system identity for the
/// rest of its life. True only when the thread then has administrator rights
/// (file-system uid 0); the identity change stays in effect either way.
bool LogonAndImpersonate(const QString& account, const QString& password);
