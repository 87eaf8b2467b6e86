// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include "base/Exceptions.h"

/// A desktop that could not be made; the message says which part failed.
class EHeadlessDesktop : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// A desktop without a screen for a computer without a desktop session: an X
/// server (Xvfb) on a free display, a session bus and the accessibility bus,
/// in a runtime folder of its own. This process's environment stays as it
/// is (other threads read it); programs meant to live on the desktop are
/// started with Environment(). Everything it started ends with it.
class THeadlessDesktop
{
public:
    /// Starts the desktop and returns once its accessibility registry
    /// answers; raises EHeadlessDesktop otherwise.
    THeadlessDesktop();
    ~THeadlessDesktop();
    THeadlessDesktop(const THeadlessDesktop&) = delete;
    THeadlessDesktop& operator=(const THeadlessDesktop&) = delete;

    /// ":<number>".
    QString Display() const { return QStringLiteral(":%1").arg(m_display); }
    /// The X server's process.
    pid_t DisplayProcess() const { return m_daemons.empty() ? -1 : m_daemons.front(); }
    /// What changes in a program's environment to put it on this desktop;
    /// an empty value removes the variable.
    const std::vector<std::pair<QString, QString>>& Changes() const { return m_changes; }
    /// This process's environment with the changes.
    QProcessEnvironment Environment() const;
    /// Programs connected to the X server beyond those the desktop had when
    /// it was ready: the installers and scripts living on it.
    int ForeignClients() const;

private:
    pid_t Spawn(const QString& program, const QStringList& arguments, int keepFd);
    QString SpawnReporting(const QString& program, const std::function<QStringList(int fd)>& arguments,
                           std::chrono::steady_clock::time_point deadline);
    bool WaitForAccessibilityBus();
    void Stop();

    QString m_runtime;
    int m_display = -1;
    int m_ownClients = 0;
    std::vector<pid_t> m_daemons;
    std::vector<std::pair<QString, QString>> m_changes;
};
