// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include "platform/ProgramPaths.h"
#include "platform/VersionInfo.h"

namespace {

constexpr int kConnectMs = 1000;
constexpr int kRetryMs = 200;
// An updated program starts its successor while it still ends in order.
constexpr int kWaitForEndingMs = 30000;
constexpr int kGraceMs = 3000;
const QByteArray kRaise = "raise\n";
const QByteArray kRunning = "running\n";
const QByteArray kEnding = "ending\n";

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
    const QDeadlineTimer deadline(kWaitForEndingMs);
    QDeadlineTimer grace(QDeadlineTimer::Forever);
    while (!m_lock.tryLock(0)) {
        // A running instance may still be about to end: the program starts
        // its successor just before it ends itself.
        if (AskRunningInstance() == TAnswer::Running && !m_raisedOther) {
            m_raisedOther = true;
            grace.setRemainingTime(kGraceMs);
        }
        if (deadline.hasExpired() || grace.hasExpired())
            return false;
        QThread::msleep(kRetryMs);
    }
    m_raisedOther = false;
    Listen();
    return true;
}

void TSingleInstance::Listen()
{
    m_server = std::make_unique<QLocalServer>();
    QLocalServer::removeServer(SocketName());
    if (!m_server->listen(SocketName()))
        return;
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                if (!peer->readAll().startsWith(kRaise))
                    return;
                const bool ending = m_ending && m_ending();
                if (!ending && m_raise)
                    m_raise();
                peer->write(ending ? kEnding : kRunning);
                peer->flush();
                peer->disconnectFromServer();
            });
        }
    });
}

TSingleInstance::TAnswer TSingleInstance::AskRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(SocketName());
    if (!socket.waitForConnected(kConnectMs))
        return TAnswer::None;
    socket.write(kRaise);
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(kConnectMs))
        reply += socket.readAll();
    if (reply.startsWith(kRunning))
        return TAnswer::Running;
    return reply.startsWith(kEnding) ? TAnswer::Ending : TAnswer::None;
}

QString TSingleInstance::RefusalMessage() const
{
    return QStringLiteral("%1 läuft bereits für den Programmordner \"%2\". Eine zweite Instanz wird nicht gestartet.")
        .arg(ProductName(), QDir::toNativeSeparators(ProgramFolder()));
}
