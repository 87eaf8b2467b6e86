// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include "platform/ProgramPaths.h"
#include "platform/VersionInfo.h"

namespace {

constexpr int kConnectMs = 1000;
const QByteArray kRaise = "raise\n";

} // namespace

TSingleInstance::TSingleInstance() : m_lock(ProgramFile(QStringLiteral(".lock")))
{
    // A lock left by a crashed instance is taken over: QLockFile checks the pid.
    m_lock.setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance()
{
    if (m_server)
        m_server->close();
}

QString TSingleInstance::SocketName() const
{
    // One name per program folder; sockets live in a flat namespace.
    const QByteArray folder = QDir(ProgramFolder()).canonicalPath().toUtf8();
    return ProductName().toLower() + QLatin1Char('-') +
           QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16));
}

bool TSingleInstance::Acquire()
{
    if (m_lock.tryLock(0)) {
        m_server = std::make_unique<QLocalServer>();
        QLocalServer::removeServer(SocketName());
        if (m_server->listen(SocketName())) {
            QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] {
                while (QLocalSocket* peer = m_server->nextPendingConnection()) {
                    QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                        if (peer->readAll().startsWith(kRaise.trimmed()) && m_raise)
                            m_raise();
                        peer->disconnectFromServer();
                    });
                    QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                }
            });
        }
        return true;
    }
    QLocalSocket socket;
    socket.connectToServer(SocketName());
    if (socket.waitForConnected(kConnectMs)) {
        socket.write(kRaise);
        m_raisedOther = socket.waitForBytesWritten(kConnectMs);
        socket.disconnectFromServer();
    }
    return false;
}

QString TSingleInstance::RefusalMessage() const
{
    return QStringLiteral("%1 läuft bereits für den Programmordner \"%2\". Eine zweite Instanz wird nicht gestartet.")
        .arg(ProductName(), QDir::toNativeSeparators(ProgramFolder()));
}
