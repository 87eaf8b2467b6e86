// SPDX-License-Identifier: GPL-3.0-or-later
// One side of an object transfer over loopback, so that bench/transfer.sh can
// time each side and read its peak memory on its own:
//   TransferBench serve <object file> <compress 0|1> <encode 0|1>
//     serves the file as an object, to any number of clients, and prints
//     the port; ends on stdin EOF.
//   TransferBench fetch <port> <object file> <destination>
//     fetches the object of that file once (its version, as the server
//     sees it, is named in the request) and prints the result.
//   TransferBench wire <port> <object name> <tls 0|1> [destination]
//     takes the object's bytes off the wire as they come, in TLS or in
//     clear text, and prints the seconds from the request to the last byte:
//     what the encryption costs. With a destination they are unpacked,
//     written, hashed and synced through a staging file as a client does;
//     only the comparison with the master's digest is left out.
#include <iostream>
#include <string>
#include <thread>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include "base/ZlibStream.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "replication/ClientThread.h"
#include "replication/ServerBase.h"
#include "replication/StagingFile.h"
#include "replication/TlsChannel.h"
#include "replication/Transfer.h"
#include "support/BenchHome.h"

namespace {

int Serve(QCoreApplication& app, const QString& file, bool compress, bool encode)
{
    MainConfig().Set(QStringLiteral("ServerCompressData"), compress);
    MainConfig().Set(QStringLiteral("ServerEncodeData"), encode);
    const QFileInfo info(file);
    MainConfig().Set(QStringLiteral("ServerObjectDir"), info.absolutePath() + QLatin1Char('/'));
    AppendObject(std::make_unique<TSyncObject>(info.fileName(), QString(), 0, 0, QStringLiteral("/nonexistent/")))
        ->RefreshFromSource();
    // The wire mode compares TLS with clear text.
    MainConfig().Set(QStringLiteral("NetAllowPlainClients"), true);
    TServerBase server;
    server.StartListeners();
    std::cout << server.Port() << std::endl;
    std::thread waiter([&] {
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    const int rc = app.exec();
    waiter.join();
    return rc;
}

// Every fetching process is a computer of its own, with a key of its own:
// under one name the master would take the second for an impostor.
void BecomeAComputerOfItsOwn()
{
    qputenv("PLENWICK_COMPUTERNAME", QByteArray("fetch-") + QByteArray::number(QCoreApplication::applicationPid()));
}

int Fetch(QCoreApplication& app, int port, const QString& file, const QString& destination)
{
    BecomeAComputerOfItsOwn();
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 60000);
    qint32 result = -2;
    const QFileInfo source(file);
    const QString name = source.fileName();
    MainConfig().Set(QStringLiteral("ServerObjectDir"), source.absolutePath() + QLatin1Char('/'));
    TSyncObject wanted(name, QString(), 0, 0, QStringLiteral("/nonexistent/"));
    wanted.RefreshFromSource();
    const TConversationSequence fetch = [&](TClientBase& client) {
        // The staging file beside the destination, as an installation writes it.
        TStagingFile staging(destination);
        std::optional<TContentDigest> digest;
        result = FetchFromServer(client, wanted, staging, digest);
        if (result >= 0 &&
            !(digest && AcceptStaged(staging, *digest, name, client.ConnectInfo().host) && staging.PutInPlace()))
            result = -1;
    };
    auto info = std::make_unique<TConnectInfo>();
    info->host = QStringLiteral("127.0.0.1");
    info->port = port;
    // Ends also when the login is refused and the fetch never runs.
    StartClientThread(std::move(info), fetch, [&app] {
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    while (AnyClientThreadRunning())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::cout << result << std::endl;
    return result >= 0 ? 0 : 1;
}

// The bytes as they come off the wire, clear text or TLS. With a
// destination, they are taken as the client takes them, up to the digest
// check: inflated when compressed, written through a staging file and synced.
int Wire(int port, const QString& name, bool tls, const QString& destination)
{
    BecomeAComputerOfItsOwn();
    auto connection = TLineConnection::Connect(QStringLiteral("127.0.0.1"), port);
    connection->SetReadTimeout(60000);
    if (tls)
        connection->StartTls(TTlsRole::Client, 60000);
    connection->WriteLine(QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 ") + LocalComputerName());
    connection->ReadLine();
    QElapsedTimer clock;
    clock.start();
    connection->WriteLine(QStringLiteral("DOWNLOAD \"%1\"").arg(name));
    const std::optional<TDownloadHeader> header = ParseDownloadHeader(connection->ReadLine());
    if (!header)
        return 1;
    std::optional<TStagingFile> staging;
    if (!destination.isEmpty()) {
        staging.emplace(destination);
        staging->Start();
    }
    TZlibInflater inflater;
    const TZlibSink write = [&](const char* data, qsizetype size) {
        staging->Write(data, size);
        return true;
    };
    constexpr qsizetype kPiece = 1024 * 1024;
    for (qint64 left = header->count; left > 0;) {
        const QByteArray piece = connection->ReadSome(std::min<qint64>(left, kPiece), QDeadlineTimer::Forever);
        if (staging && !(header->compressed ? inflater.Feed(piece.constData(), piece.size(), write)
                                            : write(piece.constData(), piece.size())))
            return 1;
        left -= piece.size();
    }
    if (staging) {
        if (header->compressed && !inflater.Finished())
            return 1;
        staging->Finish();
        if (!staging->PutInPlace())
            return 1;
    }
    std::cout << clock.nsecsElapsed() / 1e9 << std::endl;
    return 0;
}

// With PLENWICK_BENCH_MEMORY set, appends "<peak RSS> <library pages now>"
// in KiB to that file: the difference is about the process's own peak.
void ReportMemory()
{
    const QByteArray target = qgetenv("PLENWICK_BENCH_MEMORY");
    QFile out(QString::fromLocal8Bit(target));
    if (!target.isEmpty() && out.open(QIODevice::Append))
        out.write(QByteArray::number(StatusKiB("VmHWM")) + ' ' + QByteArray::number(StatusKiB("RssFile")) + '\n');
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5 && argc != 6)
        return 2;
    QCoreApplication app(argc, argv);
    const TBenchHome home;
    MainConfig().Set(QStringLiteral("NetServerPort"), 0);
    MainConfig().Set(QStringLiteral("MiscShowProtocol"), false);
    MainConfig().Set(QStringLiteral("MiscWriteProtocolToFile"), false);
    const std::string mode = argv[1];
    int rc = 2;
    if (mode == "serve")
        rc = Serve(app, QString::fromLocal8Bit(argv[2]), std::string(argv[3]) == "1", std::string(argv[4]) == "1");
    else if (mode == "wire")
        rc = Wire(std::atoi(argv[2]), QString::fromLocal8Bit(argv[3]), std::string(argv[4]) == "1",
                  argc == 6 ? QString::fromLocal8Bit(argv[5]) : QString());
    else if (mode == "fetch")
        rc = Fetch(app, std::atoi(argv[2]), QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));
    ReportMemory();
    return rc;
}
