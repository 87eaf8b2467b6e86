// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// The system service is a systemd unit; this is the only place that knows it.
/// The unit folder is PLENWICK_SYSTEMD_DIR when set, else /etc/systemd/system.
QString ServiceUnitName();
QString ServiceUnitPath();

/// The unit file exists and is not masked (a link to /dev/null or an empty
/// file, which systemd treats alike); masked is what "disabled" means here.
bool ServiceUnitInstalled();

/// What one systemctl call gave: its exit code (-1 when it could not run or
/// did not end in time) and its standard output.
struct TSystemctlResult {
    int exitCode = -1;
    QByteArray output;
};

/// The one runner of systemctl. PLENWICK_SYSTEMCTL names a replacement program
/// (tests). Blocks up to timeoutMs: not for the main thread's busy paths.
TSystemctlResult RunSystemctl(const QStringList& arguments, int timeoutMs = 10000);

/// "systemctl is-active" of the unit succeeds.
bool ServiceUnitActive();
