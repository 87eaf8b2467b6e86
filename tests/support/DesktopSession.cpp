// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DesktopSession.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Ends a whole process group: politely first, then for sure. The helpers a
// bus started for itself belong to the group too; as this process is their
// reaper, they are reaped here instead of lingering as zombies.
void EndGroup(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(-pid, SIGTERM);
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        ended = waitpid(pid, nullptr, WNOHANG) == pid;
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(-pid, SIGKILL);
    if (!ended)
        waitpid(pid, nullptr, 0);
    while (waitpid(-pid, nullptr, 0) > 0) {
    }
}

} // namespace

TDesktopSession::~TDesktopSession()
{
    Stop();
}

pid_t TDesktopSession::Spawn(const std::vector<std::string>& argv, int outFd)
{
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    setpgid(0, 0);
    // A crashed test must not leave a program running.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    if (outFd >= 0)
        dup2(outFd, STDOUT_FILENO);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

bool TDesktopSession::Start()
{
    if (Running()) {
        // Another desktop may have taken over the environment meanwhile.
        for (const auto& [name, value] : m_exported)
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
        return true;
    }
    m_exported.clear();
    // The bus helpers outlive the processes that start them; orphaned, they
    // come to this process, which reaps them.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    char pattern[] = "/tmp/plenwick-test-home-XXXXXX";
    if (!mkdtemp(pattern)) {
        m_error = "kein temporärer Ordner";
        return false;
    }
    m_runtime = pattern;
    for (const char* sub : {"config", "cache"})
        std::filesystem::create_directories(m_runtime + "/" + sub);
    Export("XDG_CONFIG_HOME", m_runtime + "/config");
    Export("XDG_CACHE_HOME", m_runtime + "/cache");
    try {
        m_desktop = std::make_unique<THeadlessDesktop>();
    } catch (const EHeadlessDesktop& error) {
        m_error = error.Message().toStdString();
        Stop();
        return false;
    }
    for (const auto& [name, value] : m_desktop->Changes())
        Export(name.toStdString(), value.toStdString());
    return true;
}

std::string TDesktopSession::Display() const
{
    return m_desktop ? m_desktop->Display().toStdString() : std::string();
}

void TDesktopSession::Export(const std::string& name, const std::string& value)
{
    value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    m_exported.emplace_back(name, value);
}

void TDesktopSession::Stop()
{
    for (auto it = m_programs.rbegin(); it != m_programs.rend(); ++it) {
        EndGroup((*it)->pid);
        if ((*it)->out >= 0)
            close((*it)->out);
        delete *it;
    }
    m_programs.clear();
    m_desktop.reset();
    if (!m_runtime.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_runtime, ignored);
        m_runtime.clear();
    }
}

void TDesktopSession::KillDisplay()
{
    if (!m_desktop)
        return;
    kill(m_desktop->DisplayProcess(), SIGKILL);
    waitpid(m_desktop->DisplayProcess(), nullptr, 0);
}

TDesktopSession::TProgram* TDesktopSession::Launch(const std::vector<std::string>& argv)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    auto* program = new TProgram;
    program->pid = Spawn(argv, fds[1]);
    close(fds[1]);
    program->out = fds[0];
    m_programs.push_back(program);
    return program;
}

std::vector<std::string> TDesktopSession::TakeLines(TProgram& program, int waitMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    std::vector<std::string> lines;
    lines.swap(program.unread);
    while (lines.empty()) {
        pollfd p{program.out, POLLIN, 0};
        if (program.out < 0 || poll(&p, 1, RemainingMs(deadline)) <= 0)
            break;
        char buffer[4096];
        const ssize_t got = read(program.out, buffer, sizeof buffer);
        if (got <= 0) {
            close(program.out);
            program.out = -1;
            break;
        }
        program.pending.append(buffer, static_cast<size_t>(got));
        std::size_t end = 0;
        while ((end = program.pending.find('\n')) != std::string::npos) {
            lines.push_back(program.pending.substr(0, end));
            program.pending.erase(0, end + 1);
        }
    }
    return lines;
}

std::string TDesktopSession::WaitForLine(TProgram& program, const std::string& prefix, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const int left = RemainingMs(deadline);
        std::vector<std::string> lines = TakeLines(program, left);
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(prefix, 0) == 0) {
                // Later lines stay for the next look.
                program.unread.assign(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1, lines.end());
                return lines[i];
            }
        if (RemainingMs(deadline) == 0 || program.out < 0)
            return std::string();
    }
}

bool TDesktopSession::Exited(TProgram& program, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (program.pid > 0 && waitpid(program.pid, &program.status, WNOHANG) == program.pid) {
            program.pid = -1;
            return true;
        }
        if (program.pid <= 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (RemainingMs(deadline) > 0);
    return false;
}

void TDesktopSession::End(TProgram* program)
{
    if (!program)
        return;
    if (program->pid > 0)
        EndGroup(program->pid);
    program->pid = -1;
}

TDesktopSession& TDesktopSession::Shared()
{
    static TDesktopSession session;
    return session;
}
