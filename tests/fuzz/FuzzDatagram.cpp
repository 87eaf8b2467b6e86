// SPDX-License-Identifier: GPL-3.0-or-later
// The datagram handler with every command reachable: a query pending, provider
// answers taken, one object in the list. Nothing leaves the process.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QByteArray>
#include <QDir>
#include <QString>

#include "catalogue/SyncClient.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "replication/Broadcast.h"

namespace {

const QString kSender = QStringLiteral("127.0.0.9");

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const QString home = QDir::tempPath() + QStringLiteral("/plenwick-fuzz-datagram");
    QDir().mkpath(home);
    qputenv("PLENWICK_HOME", home.toUtf8());
    qputenv("PLENWICK_PROTOCOL_FILE", "/dev/null");
    qputenv("PLENWICK_COMPUTERNAME", "fuzzhost");
    RegisterAllOptions();
    MainConfig().Set(QStringLiteral("MiscWriteProtocolToFile"), false);
    SetDatagramSender([](const QByteArray&, const QString&) {});
    RegisterClient(kSender, kSender); // the sender's name comes from the list, never from a lookup
    AppendObject(std::make_unique<TSyncObject>(QStringLiteral("app.bin"), QStringLiteral("?"), 7, 45000.5,
                                               home + QStringLiteral("/target/")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ClearBroadcastFilter();
    QueryDownload(*FirstObject());
    // A pending query lets SETSERVER through; a known name keeps the options file unwritten.
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("fuzzhost"));
    QueryServer(true);
    OnDatagram(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), kSender,
               [](const QString&) { return false; });
    return 0;
}
