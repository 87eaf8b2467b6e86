// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ServiceManager.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "base/AtomicFile.h"
#include "platform/VersionInfo.h"

namespace {

QString SystemctlProgram()
{
    const QString program = qEnvironmentVariable("PLENWICK_SYSTEMCTL");
    return program.isEmpty() ? QStringLiteral("systemctl") : program;
}

// A replacement systemctl (tests) needs no rights of its own.
bool NeedsRoot()
{
    return ::geteuid() != 0 && qEnvironmentVariableIsEmpty("PLENWICK_SYSTEMCTL");
}

struct TRun {
    int exitCode = -1;
    QByteArray output;
    QString error;
};

// No time limit: pkexec waits for a person, systemctl for a unit's stop.
TRun Run(const QString& program, const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    if (input.isEmpty())
        process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    TRun result;
    if (!process.waitForStarted(-1))
        return result;
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    process.waitForFinished(-1);
    result.output = process.readAllStandardOutput();
    result.error = QString::fromUtf8(process.readAllStandardError()).trimmed().section(QLatin1Char('\n'), 0, 0);
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

QString CallFailure(const QString& what, const TRun& run)
{
    if (run.exitCode < 0)
        return QStringLiteral("\"%1\" konnte nicht ausgeführt werden").arg(what);
    QString text = QStringLiteral("\"%1\" ist gescheitert (Code %2)").arg(what).arg(run.exitCode);
    if (!run.error.isEmpty())
        text += QStringLiteral(": ") + run.error;
    return text;
}

// systemd expands specifiers (%) and variables ($) in ExecStart=; inside double
// quotes backslash and quote need their C escapes.
QString UnitQuoted(const QString& path)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%') || c == QLatin1Char('$'))
            quoted += c;
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString Specifiers(QString text)
{
    return text.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

QString ShellQuoted(const QString& word)
{
    return QLatin1Char('\'') + QString(word).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
}

QString ShellCall(const QStringList& arguments)
{
    QString line = ShellQuoted(SystemctlProgram());
    for (const QString& argument : arguments)
        line += QLatin1Char(' ') + ShellQuoted(argument);
    return line;
}

void RunCallsDirectly(const QList<QStringList>& calls)
{
    for (const QStringList& call : calls) {
        const TSystemctlResult result = RunSystemctl(call);
        if (result.exitCode != 0)
            throw EServiceControlFailed(CallFailure(QStringLiteral("systemctl ") + call.join(QLatin1Char(' ')),
                                                    TRun{result.exitCode, result.output, result.error}));
    }
}

void ChangeDirectly(const TServiceChange& change)
{
    RunCallsDirectly(change.before);
    const QString unit = ServiceUnitPath();
    if (!change.unitText.isEmpty()) {
        try {
            WriteFileAtomically(unit, change.unitText);
        } catch (const EPlenwick& error) {
            throw EServiceControlFailed(QStringLiteral("Die Dienstdatei \"%1\" konnte nicht geschrieben werden: %2")
                                            .arg(unit, error.Message()));
        }
        // Whatever the umask: systemd and every user read units.
        QFile::setPermissions(unit, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    if (change.removeUnit && QFileInfo(unit).exists() && !QFile::remove(unit))
        throw EServiceControlFailed(QStringLiteral("Die Dienstdatei \"%1\" konnte nicht gelöscht werden").arg(unit));
    RunCallsDirectly(change.after);
}

// One script for the whole change, so pkexec asks for the password once.
void ChangeAsRoot(const TServiceChange& change)
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty())
        throw EServiceControlFailed(QStringLiteral("Dafür sind root-Rechte nötig, und pkexec ist nicht vorhanden"));
    QStringList steps;
    for (const QStringList& call : change.before)
        steps += ShellCall(call);
    const QString unit = ShellQuoted(ServiceUnitPath());
    const QString staging = ShellQuoted(ServiceUnitPath() + QStringLiteral(".new"));
    if (!change.unitText.isEmpty())
        steps += QStringLiteral("cat > %1 && chmod 644 %1 && mv -f %1 %2").arg(staging, unit);
    if (change.removeUnit)
        steps += QStringLiteral("rm -f %1").arg(unit);
    for (const QStringList& call : change.after)
        steps += ShellCall(call);
    const TRun run = Run(pkexec, {QStringLiteral("/bin/sh"), QStringLiteral("-c"), steps.join(QStringLiteral(" && "))},
                         change.unitText);
    // pkexec's own codes: the dialog was dismissed, or the user is not allowed.
    if (run.exitCode == 126 || run.exitCode == 127)
        throw EServiceControlFailed(QStringLiteral("Die Rechte von root wurden nicht erteilt (pkexec)"));
    if (run.exitCode != 0)
        throw EServiceControlFailed(CallFailure(QStringLiteral("pkexec"), run));
}

} // namespace

QString ServiceUnitName()
{
    // The service name is the product name without spaces; unit names are lower case by custom.
    return ProductName().remove(QLatin1Char(' ')).toLower() + QStringLiteral(".service");
}

QString ServiceUnitPath()
{
    QString folder = qEnvironmentVariable("PLENWICK_SYSTEMD_DIR");
    if (folder.isEmpty())
        folder = QStringLiteral("/etc/systemd/system");
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + ServiceUnitName();
}

bool ServiceUnitMasked()
{
    const QFileInfo unit(ServiceUnitPath());
    if (unit.isSymLink())
        return unit.symLinkTarget() == QLatin1String("/dev/null");
    return unit.isFile() && unit.size() == 0;
}

bool ServiceUnitInstalled()
{
    return QFileInfo(ServiceUnitPath()).isFile() && !ServiceUnitMasked();
}

TSystemctlResult RunSystemctl(const QStringList& arguments)
{
    const TRun run = Run(SystemctlProgram(), arguments);
    return {run.exitCode, run.output, run.error};
}

void RequireSystemd()
{
    if (qEnvironmentVariableIsEmpty("PLENWICK_SYSTEMCTL") && !QFileInfo(QStringLiteral("/run/systemd/system")).isDir())
        throw EServiceControlFailed(QStringLiteral("Auf diesem Computer läuft kein systemd"));
}

QString ServiceUnitActiveState()
{
    const TSystemctlResult result = RunSystemctl({QStringLiteral("is-active"), ServiceUnitName()});
    if (result.exitCode < 0)
        return QString();
    return QString::fromUtf8(result.output).trimmed().section(QLatin1Char('\n'), 0, 0);
}

QByteArray ServiceUnitText(const QString& executable, const QString& description, const QString& workingFolder)
{
    // A line break would end the line early and leave the rest as a setting of its own.
    for (const QString& value : {executable, description, workingFolder})
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
            throw EServiceControlFailed(QStringLiteral("Ein Pfad mit Zeilenumbruch kann kein Systemdienst werden"));
    QString folder = workingFolder;
    if (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return QStringLiteral("[Unit]\n"
                          "Description=%1\n"
                          "\n"
                          "[Service]\n"
                          "ExecStart=%2 /SVC\n"
                          "WorkingDirectory=%3\n"
                          "KillMode=process\n"
                          "Restart=on-failure\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=multi-user.target\n")
        .arg(Specifiers(description), UnitQuoted(executable), Specifiers(folder))
        .toUtf8();
}

void RunServiceChange(const TServiceChange& change)
{
    if (NeedsRoot())
        ChangeAsRoot(change);
    else
        ChangeDirectly(change);
}
