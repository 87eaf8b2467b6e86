// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/HeadlessDesktop.h"

/// The program's headless desktop for tests. Start() exports what puts a
/// program on it into this process's environment, so programs started
/// afterwards (and libatspi inside the test) use this desktop. The
/// destructor ends every process it started, also after a failed test.
class TDesktopSession
{
public:
    TDesktopSession() = default;
    ~TDesktopSession();
    TDesktopSession(const TDesktopSession&) = delete;
    TDesktopSession& operator=(const TDesktopSession&) = delete;

    /// Starts the desktop; false with Error() when a part did not come up.
    /// On a running desktop, exports its environment again.
    bool Start();
    void Stop();
    bool Running() const { return m_desktop != nullptr; }
    const std::string& Error() const { return m_error; }
    std::string Display() const;
    /// Kills the X server as a crash would; the programs on it stay.
    void KillDisplay();

    /// Starts a program on this desktop in a process group of its own; its
    /// standard output can be read line by line. The program ends at Stop().
    struct TProgram {
        pid_t pid = -1;
        int out = -1;
        std::string pending;
        std::vector<std::string> unread; ///< whole lines not yet taken
        int status = 0;                  ///< wait status once it exited
    };
    TProgram* Launch(const std::vector<std::string>& argv);
    /// Reads the program's output until a line starting with `prefix` came or
    /// the time is up; returns that line, or an empty string.
    static std::string WaitForLine(TProgram& program, const std::string& prefix, int timeoutMs = 10000);
    /// Every line the program wrote so far that was not yet taken.
    static std::vector<std::string> TakeLines(TProgram& program, int waitMs = 0);
    /// Ends the program (its whole process group) and waits for it.
    void End(TProgram* program);
    /// Whether the program has exited on its own (reaps it, keeping its status).
    static bool Exited(TProgram& program, int timeoutMs = 0);

    /// The desktop shared by all tests of this process; libatspi binds to one
    /// accessibility bus per process, so a second desktop would be unseen.
    /// It ends with the process; suites must not stop it.
    static TDesktopSession& Shared();

private:
    pid_t Spawn(const std::vector<std::string>& argv, int outFd);
    void Export(const std::string& name, const std::string& value);

    std::string m_runtime;
    std::unique_ptr<THeadlessDesktop> m_desktop;
    std::vector<std::pair<std::string, std::string>> m_exported;
    std::vector<TProgram*> m_programs;
    std::string m_error;
};
