// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "catalogue/SyncObject.h"
#include "foundation/ListenerControl.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "replication/MonitorSwitch.h"
#include "support/TestHome.h"

namespace {

class TCountingListeners : public TListenerControl
{
public:
    void StartListeners() override { ++starts; }
    void StopListeners() override { ++stops; }
    int starts = 0;
    int stops = 0;
};

class MonitorSwitchTest : public TTestHome
{
protected:
    void TearDown() override
    {
        SetListenerControl(m_previous);
        TObjectUpdateTimer::SetEnabled(false);
        TTestHome::TearDown();
    }
    TListenerControl* m_previous = ListenerControl();
};

} // namespace

TEST_F(MonitorSwitchTest, StopsTheWorkAndWritesNoListAfterwards)
{
    TCountingListeners listeners;
    SetListenerControl(&listeners);
    TObjectUpdateTimer::SetEnabled(true);
    SaveObjectList();
    const QStringList written = QDir(Home()).entryList({"*.objects"});
    ASSERT_EQ(written.size(), 1);
    QFile::remove(Home(written[0]));

    EnterMonitorMode();

    EXPECT_TRUE(IsMonitorInstance());
    EXPECT_EQ(listeners.stops, 1);
    EXPECT_FALSE(TObjectUpdateTimer::IsEnabled());
    EXPECT_TRUE(m_ui.caption.endsWith("[Monitor]")) << m_ui.caption.toStdString();
    SaveObjectList();
    EXPECT_TRUE(QDir(Home()).entryList({"*.objects"}).isEmpty());
    StartUpdateSession();
    EXPECT_FALSE(m_ui.HasMessage("Starte Synchronisation mit Server testhost:42424"));
}
