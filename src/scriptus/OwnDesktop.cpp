// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptus/OwnDesktop.h"

#include <QProcess>

#include "platform/HeadlessDesktop.h"
#include "platform/ProgramPaths.h"
#include "platform/ShellOpen.h"

namespace {

// How long a replay that was asked to stop may take to release its keys.
constexpr int kStopGraceMs = 5000;
constexpr int kStopCheckMs = 100;

class THeadlessOwnDesktop : public TOwnDesktop
{
public:
    // Programs the run starts from now on live on this desktop.
    THeadlessOwnDesktop() { StartProgramsIn(m_desktop.Environment()); }
    ~THeadlessOwnDesktop() override { StartProgramsIn({}); }

    QString Name() const override { return m_desktop.Display(); }

    // The replay's own protocol lines go where this process's go: to the
    // terminal or the journal of a program without a window.
    TScriptusOutcome Run(const QString& commandFile, const std::function<bool()>& stop) override
    {
        QProcess replay;
        replay.setProcessEnvironment(m_desktop.Environment());
        replay.setProcessChannelMode(QProcess::ForwardedChannels);
        replay.start(ExecutablePath(), {QStringLiteral("/SCRIPTUS=") + commandFile});
        if (!replay.waitForStarted())
            return TScriptusOutcome::Failed;
        bool stopped = false;
        while (replay.state() != QProcess::NotRunning && !replay.waitForFinished(kStopCheckMs)) {
            if (!stopped && stop()) {
                // It releases every key it holds on SIGTERM.
                replay.terminate();
                stopped = true;
                if (!replay.waitForFinished(kStopGraceMs))
                    replay.kill();
            }
        }
        if (stopped)
            return TScriptusOutcome::Terminated;
        return replay.exitStatus() == QProcess::NormalExit && replay.exitCode() == 0 ? TScriptusOutcome::Completed
                                                                                     : TScriptusOutcome::Failed;
    }

    int ProgramsOnIt() const override { return m_desktop.ForeignClients(); }

private:
    THeadlessDesktop m_desktop;
};

} // namespace

std::unique_ptr<TOwnDesktop> StartHeadlessDesktop(QString* reason)
{
    try {
        return std::make_unique<THeadlessOwnDesktop>();
    } catch (const EHeadlessDesktop& error) {
        *reason = error.Message();
        return nullptr;
    }
}
