// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PoolSystem.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/fsuid.h>

#include <limits>

#include <zlib.h>

#include <QFileInfo>

#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
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
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                             reinterpret_cast<const Bytef*>(data.constData()), static_cast<uLong>(data.size()), 9);
    if (rc != Z_OK)
        throw std::bad_alloc(); // compressBound makes the buffer large enough: only memory can fail
    out.truncate(static_cast<qsizetype>(size));
    return out;
}

std::optional<QByteArray> DecompressText(const QByteArray& data)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    QByteArray out;
    constexpr qsizetype kChunk = 64 * 1024;
    int rc = Z_OK;
    while (rc == Z_OK) {
        // Transfers count bytes in signed 32 bits: nothing larger is real data.
        if (out.size() > std::numeric_limits<qint32>::max() - kChunk) {
            rc = Z_MEM_ERROR;
            break;
        }
        const qsizetype done = out.size();
        out.resize(done + kChunk);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + done);
        stream.avail_out = static_cast<uInt>(kChunk);
        rc = inflate(&stream, Z_NO_FLUSH);
        out.resize(done + kChunk - static_cast<qsizetype>(stream.avail_out));
    }
    const bool complete = rc == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    if (!complete)
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
