// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "support/DesktopSession.h"
#include "support/TestHome.h"

namespace {

// A TCP port nobody listens on now, so the program's server does not meet
// other tests' servers.
int FreePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

bool WindowShown(const std::string& title)
{
    const std::string command = "xdotool search --name '^" + title + "$' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    char buffer[64];
    const bool found = fgets(buffer, sizeof buffer, pipe) != nullptr;
    pclose(pipe);
    return found;
}

std::string Describe(int status)
{
    if (WIFSIGNALED(status))
        return std::string("killed by signal ") + strsignal(WTERMSIG(status));
    return "exit code " + std::to_string(WEXITSTATUS(status));
}

// The master server with its window on a desktop of its own, whose X server
// then dies under it.
class DisplayLossTest : public TTestHome
{
};

TEST_F(DisplayLossTest, ProgramEndsWithoutASignalWhenItsXServerDies)
{
    TDesktopSession desktop;
    ASSERT_TRUE(desktop.Start()) << desktop.Error();
    const int port = FreePort();
    WriteFile(Home(QStringLiteral("plenwick.config")),
              QStringLiteral("[Options]\r\nNetServerPort=%1\r\nMiscWriteProtocolToFile=1\r\n").arg(port).toUtf8());
    TDesktopSession::TProgram* program = desktop.Launch({PLENWICK_BINARY});
    ASSERT_NE(program, nullptr);
    const std::string title = "Plenwick - \\[testhost:" + std::to_string(port) + "\\]";
    bool shown = false;
    for (int i = 0; i < 200 && !shown && !TDesktopSession::Exited(*program); ++i) {
        shown = WindowShown(title);
        if (!shown)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(shown) << "no window";
    // Its first idle moment has passed and the views are filled.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));

    desktop.KillDisplay();
    ASSERT_TRUE(TDesktopSession::Exited(*program, 20000)) << "the program went on without its display";
    EXPECT_FALSE(WIFSIGNALED(program->status)) << Describe(program->status);
    const QByteArray protocol = ReadFile(qEnvironmentVariable("PLENWICK_PROTOCOL_FILE"));
    EXPECT_TRUE(protocol.contains(QStringLiteral("Server-Komponente hört auf TCP-Port %1").arg(port).toUtf8()));
}

} // namespace
