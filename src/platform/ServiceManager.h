// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "base/Exceptions.h"

/// A service change failed; the message says why, in German.
class EServiceControlFailed : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The system service is a systemd unit; this is the only place that knows it.
/// The unit folder is PLENWICK_SYSTEMD_DIR when set, else /etc/systemd/system.
QString ServiceUnitName();
QString ServiceUnitPath();

/// The unit file exists and is not masked (a link to /dev/null or an empty
/// file, which systemd treats alike); masked is what "disabled" means here.
bool ServiceUnitInstalled();
bool ServiceUnitMasked();

/// What one systemctl call gave: its exit code (-1 when it could not run),
/// its standard output and the first line of its error output.
struct TSystemctlResult {
    int exitCode = -1;
    QByteArray output;
    QString error;
};

/// The one runner of systemctl. PLENWICK_SYSTEMCTL names a replacement program
/// (tests). No time limit: a password prompt may take long. Never call it on
/// the main thread.
TSystemctlResult RunSystemctl(const QStringList& arguments);

/// Raises EServiceControlFailed when systemd does not run this computer
/// (no /run/systemd/system); a replacement systemctl always counts as running.
void RequireSystemd();

/// The unit's state as "systemctl is-active" names it ("active", "inactive",
/// "activating", ...); "" when systemctl cannot tell.
QString ServiceUnitActiveState();

/// The unit file: runs the executable with "/SVC" in the program folder.
/// KillMode=process lets the replace copy of a self-update outlive the stop.
QByteArray ServiceUnitText(const QString& executable, const QString& description, const QString& workingFolder);

/// One change of the service, done with root's rights: the systemctl calls of
/// before, then the unit file written (unitText not empty) or removed
/// (removeUnit), then the calls of after; the first failure ends it. As root
/// (or with a replacement systemctl) it runs directly, else as one pkexec call,
/// so the user is asked once. Raises EServiceControlFailed.
struct TServiceChange {
    QList<QStringList> before;
    QByteArray unitText;
    bool removeUnit = false;
    QList<QStringList> after;
};
void RunServiceChange(const TServiceChange& change);
