// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/TestHome.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QTimer>

#include "foundation/MainConfig.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"

void TTestHome::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    const QString root = m_dir.path();
    for (const char* sub : {"home", "registry", "config", "autostart-system", "systemd"})
        QDir().mkpath(root + QLatin1Char('/') + QLatin1String(sub));
    qputenv("PLENWICK_HOME", (root + "/home").toUtf8());
    qputenv("PLENWICK_REGISTRY_DIR", (root + "/registry").toUtf8());
    qputenv("PLENWICK_PROTOCOL_FILE", (root + "/plenwick.protocol").toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
    qputenv("PLENWICK_SYSTEMD_DIR", (root + "/systemd").toUtf8());
    // Never the machine's systemd: a service change simply fails.
    qputenv("PLENWICK_SYSTEMCTL", "/bin/false");
    qputenv("PLENWICK_SYSTEM_AUTOSTART_DIR", (root + "/autostart-system").toUtf8());
    qputenv("PLENWICK_COMPUTERNAME", "testhost");
    // Every test starts as a plain working instance, whatever ran before.
    SetRunningAsService(false);
    SetMonitorInstance(false);
    TUiAdapter::Install(&m_ui);
    RegisterAllOptions();
}

void TTestHome::TearDown()
{
    TUiAdapter::Install(nullptr);
    // A test that ended the application outside a loop leaves Qt's quit flag
    // set, and every later event loop would return at once: one turn of the
    // main loop clears it.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

QString TTestHome::Home(const QString& name) const
{
    return m_dir.path() + QStringLiteral("/home/") + name;
}

void TTestHome::WriteFile(const QString& path, const QByteArray& content) const
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

QByteArray TTestHome::ReadFile(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void TTestHome::Restart()
{
    m_ui.Clear();
    RegisterAllOptions();
}

namespace {

bool RunEventsUntilDeadline(const std::function<bool()>& condition, const QDeadlineTimer& deadline)
{
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    // Workers do not wait for their reports: what they reported before the
    // condition came true reaches the front-end now, as the next turn of the
    // loop would deliver it.
    TUiAdapter::DeliverPending();
    return true;
}

} // namespace

bool RunEventsUntil(const std::function<bool()>& condition, int timeoutMs)
{
    // Sanitizer builds run several times slower: they stretch every wait.
    const int factor = std::max(qEnvironmentVariableIntValue("PLENWICK_TEST_SLOWDOWN"), 1);
    return RunEventsUntilDeadline(condition, QDeadlineTimer(static_cast<qint64>(timeoutMs) * factor));
}

void RunEventsFor(int milliseconds)
{
    RunEventsUntilDeadline([] { return false; }, QDeadlineTimer(milliseconds));
}
