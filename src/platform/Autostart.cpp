// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Autostart.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "platform/VersionInfo.h"

namespace {

QString WithSlash(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// The string escapes every desktop entry value gets.
QString EscapeValue(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else
            out += c;
    }
    return out;
}

// Exec= quotes the program and escapes what a shell-like reader would expand;
// the string escapes are applied on top, and % is a field code unless doubled.
QString ExecValue(const QString& path)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return EscapeValue(quoted).replace(QLatin1Char('%'), QStringLiteral("%%"));
}

} // namespace

QString AutostartFolder(TAutostartPlace place)
{
    if (place == TAutostartPlace::Machine) {
        const QString forced = qEnvironmentVariable("PLENWICK_SYSTEM_AUTOSTART_DIR");
        return WithSlash(forced.isEmpty() ? QStringLiteral("/etc/xdg/autostart") : forced);
    }
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return WithSlash(config) + QStringLiteral("autostart/");
}

QString AutostartEntryPath(TAutostartPlace place, const QString& executablePath)
{
    return AutostartFolder(place) + QFileInfo(executablePath).completeBaseName() + QStringLiteral(".desktop");
}

bool MachineAutostartWritable()
{
    const QByteArray folder = QFile::encodeName(AutostartFolder(TAutostartPlace::Machine));
    // AT_EACCESS checks with the thread's own file-system identity, not the real uid.
    return faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

QByteArray DesktopEntry(const QString& executablePath)
{
    const QFileInfo exe(executablePath);
    QString text = QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=") + EscapeValue(ProductName()) + QLatin1Char('\n');
    text += QStringLiteral("Comment=") + EscapeValue(OwnVersionString(QStringLiteral("FileDescription"))) +
            QLatin1Char('\n');
    text += QStringLiteral("Exec=") + ExecValue(exe.absoluteFilePath()) + QLatin1Char('\n');
    text += QStringLiteral("Path=") + EscapeValue(exe.absolutePath()) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n");
    return text.toUtf8();
}

bool WriteAutostartEntry(TAutostartPlace place, const QString& executablePath)
{
    if (place == TAutostartPlace::User && !QDir().mkpath(AutostartFolder(place)))
        return false;
    try {
        WriteFileAtomically(AutostartEntryPath(place, executablePath), DesktopEntry(executablePath));
    } catch (const EInOutError&) {
        return false;
    }
    return true;
}

bool RemoveAutostartEntry(TAutostartPlace place, const QString& executablePath)
{
    return QFile::remove(AutostartEntryPath(place, executablePath));
}
