// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PoolSystem.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/fsuid.h>

#include <limits>

#include <QFileInfo>

#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
#include "base/ZlibStream.h"
#include "platform/Autostart.h"
#include "platform/ProgramPaths.h"

bool IsAdministrator()
{
    // An invalid id changes nothing and returns the current file-system uid.
    return setfsuid(static_cast<uid_t>(-1)) == 0;
}

QString TreePath(const QStringList& textsFromTop)
{
    QString path = QStringLiteral("\\");
    for (const QString& text : textsFromTop)
        path += text + QLatin1Char('\\');
    return path;
}

std::optional<QString> HostNameOfAddress(const QString& address)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.toLatin1().constData(), &peer.sin_addr) != 1)
        return std::nullopt;
    char host[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&peer), sizeof peer, host, sizeof host, nullptr, 0,
                    NI_NAMEREQD) != 0)
        return std::nullopt;
    return QString::fromUtf8(host);
}

QByteArray CompressText(const QByteArray& data)
{
    QByteArray out;
    const TZlibSink append = [&](const char* piece, qsizetype size) {
        out.append(piece, size);
        return true;
    };
    TZlibDeflater deflater;
    deflater.Feed(data.constData(), data.size(), append);
    deflater.Finish(append);
    return out;
}

std::optional<QByteArray> DecompressText(const QByteArray& data)
{
    QByteArray out;
    TZlibInflater inflater;
    // Transfers count bytes in signed 32 bits: nothing larger is real data.
    const bool sound = inflater.Feed(data.constData(), data.size(), [&](const char* piece, qsizetype size) {
        if (out.size() > std::numeric_limits<qint32>::max() - size)
            return false;
        out.append(piece, size);
        return true;
    });
    if (!sound || !inflater.Finished())
        return std::nullopt;
    return out;
}

TAutostartState AutostartState(const QString& executablePath)
{
    if (MachineAutostartWritable() && QFileInfo(AutostartEntryPath(TAutostartPlace::Machine, executablePath)).isFile())
        return {true, 1};
    if (QFileInfo(AutostartEntryPath(TAutostartPlace::User, executablePath)).isFile())
        return {true, 2};
    return {};
}

int SetAutostart(const QString& executablePath, bool wanted)
{
    const TAutostartState state = AutostartState(executablePath);
    if (state.registered == wanted)
        return state.place;
    // Removal goes to where the entry is: a machine-wide writer must not fail on
    // the per-user entry it finds instead.
    const TAutostartPlace place = wanted ? (MachineAutostartWritable() ? TAutostartPlace::Machine
                                                                       : TAutostartPlace::User)
                                         : static_cast<TAutostartPlace>(state.place);
    const bool done = wanted ? WriteAutostartEntry(place, executablePath)
                             : RemoveAutostartEntry(place, executablePath);
    if (place == TAutostartPlace::Machine) {
        if (!done)
            throw EAutostartInRegistryFailed(QStringLiteral("Eintrag konnte nicht in die Registry geschrieben werden"));
        return 1;
    }
    return done ? 2 : 0;
}

bool RegisterForAutomaticStart()
{
    if (ServiceInstalled())
        return false;
    if (TryInstallService()) {
        Log(QStringLiteral("MainConfig"), QStringLiteral("Anwendung wurde/ist als Systemdienst installiert"));
        return true;
    }
    switch (SetAutostart(ExecutablePath(), true)) {
    case 1:
        Log(QStringLiteral("MainConfig"), QStringLiteral("Anwendung wurde/ist in die Registrierungsdatenbank eingetragen"));
        break;
    case 2:
        Log(QStringLiteral("Options"), QStringLiteral("Anwendung wurde/ist in die Autostartgruppe eingetragen"));
        break;
    default:
        Log(QStringLiteral("Options"),
            QStringLiteral("Anwendung konnte nicht als Autostart-Anwendung eingetragen werden"));
        break;
    }
    return false;
}
