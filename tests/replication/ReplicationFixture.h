// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "catalogue/CatalogueFixture.h"
#include "replication/LoopbackServer.h"
#include "replication/Protocol.h"
#include "replication/TransferPacing.h"

/// A real server on a free loopback port over a catalogue in the test's
/// program folder, client threads run against it, and a scripted peer for
/// answers no sound server gives.
class TReplicationTest : public TCatalogueTest
{
protected:
    void SetUp() override
    {
        TCatalogueTest::SetUp();
        MainConfig().Set(QStringLiteral("ClientFindObjectsOverBroadcast"), false);
        m_server = StartLoopbackServer(500);
        ASSERT_GT(m_server->Port(), 0);
    }
    void TearDown() override
    {
        // After a failed wait a client thread may still run; it must not
        // outlive the lists and options it reads.
        if (!TerminateAllClientThreads()) {
            EXPECT_TRUE(RunEventsUntil([] { return !AnyClientThreadRunning(); }, 60000));
        }
        m_server.reset();
        if (m_scripted.joinable())
            m_scripted.join();
        ClearTransferPacing();
        TCatalogueTest::TearDown();
    }

    /// A source file in the object folder and its object in the list.
    TSyncObject* MakeObject(const QString& name, const QByteArray& content)
    {
        MakeFile(Home("Objects/") + name, content, SomeDate());
        return AppendObject(std::make_unique<TSyncObject>(name, QString(), static_cast<qint32>(content.size()),
                                                          SomeDate(), Home("Target/")));
    }

    /// Runs one Update client thread with the sequence to the end.
    void RunClient(const TConversationSequence& sequence, int port = 0, int timeoutMs = 10000)
    {
        m_ui.Clear();
        StartLoopbackClient(port != 0 ? port : m_server->Port(), TConnectKind::Update, sequence);
        ASSERT_TRUE(RunEventsUntil([&] { return m_ui.Messages(QStringLiteral("Client")).contains("Beende Thread"); },
                                   timeoutMs));
        // Lines without reply (DOWNLOAD_OK) may still be on their way: the
        // server is done once its session has ended.
        ASSERT_TRUE(RunEventsUntil([&] { return m_server->ActiveSessionCount() == 0; }));
    }

    /// A peer on its own port that accepts one connection, accepts the login,
    /// reads one request and answers it with the raw bytes, after a delay.
    /// With a trickle, everything after the first line goes a byte at a time,
    /// one every trickleMs.
    int StartScriptedServer(const QByteArray& answer, int delayMs = 0, int trickleMs = 0)
    {
        int port = 0;
        m_scripted = StartScriptedPeer(port, [answer, delayMs, trickleMs](TLineConnection& connection) {
            connection.ReadLine();
            connection.WriteLine(QStringLiteral("LOGIN ok noelevate  "));
            connection.ReadLine();
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            if (trickleMs == 0) {
                connection.WriteBytes(answer);
            } else {
                const qsizetype line = answer.indexOf('\n') + 1;
                connection.WriteBytes(answer.left(line));
                for (qsizetype i = line; i < answer.size() && connection.IsOpen(); ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(trickleMs));
                    connection.WriteBytes(answer.mid(i, 1));
                }
            }
            while (!connection.ReadLine().isEmpty()) {
            }
        });
        return port;
    }

    bool Logged(const QString& category, const QString& message) const
    {
        return m_ui.Messages(category).contains(message);
    }

    std::unique_ptr<TServerBase> m_server;
    std::thread m_scripted;
};
