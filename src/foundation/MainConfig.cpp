// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/MainConfig.h"

#include <memory>

#include "base/Base64.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"
#include "platform/VersionInfo.h"

namespace {

// Design sizes of the main window, its trees and the screen assumed for the
// centred default position (the GUI stores the real ones at shutdown).
constexpr int kDesignWidth = 800;
constexpr int kDesignHeight = 600;
constexpr int kDesignTreeWidth = 200;
constexpr int kDesignScreenWidth = 1024;
constexpr int kDesignScreenHeight = 768;

struct TConfigs {
    std::unique_ptr<TConfig> main;
    std::unique_ptr<TConfig> layout;
    bool serverConfigured = false;
};

TConfigs& Configs()
{
    static TConfigs configs;
    return configs;
}

QString CaptionFor(const QString& serverName, int port)
{
    const QString bracket =
        IsMonitorInstance() ? QStringLiteral("Monitor") : QStringLiteral("%1:%2").arg(serverName).arg(port);
    return QStringLiteral("%1 - [%2]").arg(ProductName(), bracket);
}

// Filters run under the configuration lock, maybe on a worker: they only post to the window.
void PostCaption(const QString& serverName, int port)
{
    const QString caption = CaptionFor(serverName, port);
    TUiAdapter::SetCaption(caption);
}

void RegisterMainOptions(TConfig& c)
{
    const QString s = QStringLiteral("Options");
    const QString folder = ProgramFolder();
    auto reg = [&](const char* name, TValueKind kind, const QVariant& def, bool encoded = false) {
        return c.Register(s, QString::fromLatin1(name), false, encoded, kind, def);
    };
    using K = TValueKind;
    reg("ClientAutoInstall", K::Boolean, false);
    reg("ClientUpdateIntervalInMillisecs", K::Integer, 1800000);
    reg("ClientSilentInstall", K::Boolean, false);
    reg("ClientUsername", K::String, QStringLiteral("anonymous"));
    reg("ClientPassword", K::String, QStringLiteral("blueheron"));
    reg("ClientInputWaitTimeInSecs", K::Integer, 60);
    reg("ClientAnonymousLogin", K::Boolean, true);
    reg("ClientQueryMissingObjects", K::Boolean, true);
    reg("ClientDeleteEmptyDirs", K::Boolean, true);
    reg("ClientFindObjectsOverBroadcast", K::Boolean, true);
    reg("ServerObjectDir", K::String, folder + QStringLiteral("Objects/"));
    reg("ServerScriptusDir", K::String, folder + QStringLiteral("Scriptus/"));
    Configs().serverConfigured = reg("NetServerName", K::String, LocalComputerName());
    reg("NetServerPort", K::Integer, 42424);
    reg("NetDNSCache", K::Boolean, true);
    reg("ServerCompressData", K::Boolean, true);
    reg("ServerEncodeData", K::Boolean, false);
    reg("ServerOfferNewerObjects", K::Boolean, false);
    reg("ServerAllowAnonymousUsers", K::Boolean, true);
    reg("ServerAdminAccountUse", K::Boolean, false);
    reg("ServerAdminAccountUsername", K::String, QString());
    reg("ServerAdminAccountPassword", K::String, QString(), true);
    reg("ScriptusTimeout", K::Integer, 180000);
    reg("ScriptusRetries", K::Integer, 10);
    reg("ScriptusControlIdInPath", K::Boolean, false);
    reg("ScriptusExcludeFilenameFromPath", K::Boolean, true);
    reg("MiscStartMinimized", K::Boolean, false);
    reg("MiscChangeToOverview", K::Boolean, false);
    reg("MiscSocketTimeout", K::Integer, 10000);
    reg("MiscShowProtocol", K::Boolean, false);
    reg("MiscWriteProtocolToFile", K::Boolean, false);
    reg("MiscActivateSounds", K::Boolean, true);
    reg("MiscShowNonPersistent", K::Boolean, false);
    reg("MiscProtocolLastToFirst", K::Boolean, false);
    reg("MiscShowVisibleControlsOnly", K::Boolean, true);
}

void AttachMainFilters(TConfig& c)
{
    c.SetWriteFilter(QStringLiteral("ClientAutoInstall"), [](const QVariant& v) {
        TObjectUpdateTimer::SetEnabled(v.toBool());
        return v;
    });
    const auto interval = [](const QVariant& v) {
        TObjectUpdateTimer::SetInterval(v.toInt());
        return v;
    };
    c.SetReadFilter(QStringLiteral("ClientUpdateIntervalInMillisecs"), interval);
    c.SetWriteFilter(QStringLiteral("ClientUpdateIntervalInMillisecs"), interval);
    c.SetReadFilter(QStringLiteral("ClientPassword"), [](const QVariant& v) {
        const auto plain = Base64Decode(v.toString().toUtf8());
        return plain ? QVariant(QString::fromUtf8(*plain)) : v;
    });
    c.SetWriteFilter(QStringLiteral("ClientPassword"), [](const QVariant& v) {
        return QVariant(QString::fromLatin1(Base64Encode(v.toString().toUtf8())));
    });
    c.SetWriteFilter(QStringLiteral("NetServerName"), [&c](const QVariant& v) {
        PostCaption(v.toString(), c.GetInteger(QStringLiteral("NetServerPort")));
        return v;
    });
    c.SetAlwaysStore(QStringLiteral("NetServerName"), true);
    c.SetWriteFilter(QStringLiteral("NetServerPort"), [&c](const QVariant& v) {
        PostCaption(c.GetString(QStringLiteral("NetServerName")), v.toInt());
        return v;
    });
    c.SetWriteFilter(QStringLiteral("MiscShowProtocol"), [](const QVariant& v) {
        TUiAdapter::SetProtocolPageVisible(v.toBool());
        return v;
    });
    c.SetWriteFilter(QStringLiteral("MiscShowNonPersistent"), [](const QVariant& v) {
        TUiAdapter::RebuildObjectViews();
        return v;
    });
}

void RegisterLayoutOptions(TConfig& c)
{
    const QString s = QStringLiteral("Styles");
    auto reg = [&](const char* name, TValueKind kind, const QVariant& def) {
        c.Register(s, QString::fromLatin1(name), false, false, kind, def);
    };
    using K = TValueKind;
    for (const char* name :
         {"MainListViewObjectsViewStyle", "MainListViewClientsViewStyle", "MainListViewUsersViewStyle"})
        reg(name, K::Integer, 0);
    for (const char* name : {"MainSplitterObjects", "MainSplitterClients", "MainSplitterUsers", "MainSplitterScriptus"})
        reg(name, K::Integer, kDesignTreeWidth);
    reg("MainWidth", K::Integer, kDesignWidth);
    reg("MainHeight", K::Integer, kDesignHeight);
    reg("MainLeft", K::Integer, kDesignScreenWidth / 2 - kDesignWidth / 2);
    reg("MainTop", K::Integer, kDesignScreenHeight / 2 - kDesignHeight / 2);
    reg("MainActiveTab", K::Integer, 0);
    for (const char* name : {"MainListViewObjects", "MainListViewClients", "MainListViewUsers",
                             "MainListViewScriptusSync", "MainListViewScriptusAsync", "MainListViewProtocol"})
        reg(name, K::String, QString());
}

} // namespace

void RegisterAllOptions()
{
    TConfigs& configs = Configs();
    configs.main = std::make_unique<TConfig>();
    configs.main->SetRootKey(TRegistryHive::LocalMachine);
    configs.main->SetPersistenceMode(static_cast<quint8>(TPersistenceMode::IniFile));
    configs.main->SetFileName(ProgramFile(QStringLiteral(".config")));
    RegisterMainOptions(*configs.main);
    AttachMainFilters(*configs.main);
    SetProtocolSwitch([](const char* name) { return MainConfig().GetBoolean(QString::fromLatin1(name)); });

    configs.layout = std::make_unique<TConfig>();
    configs.layout->SetRootKey(TRegistryHive::CurrentUser);
    configs.layout->SetPersistenceMode(static_cast<quint8>(TPersistenceMode::Registry));
    RegisterLayoutOptions(*configs.layout);
}

TConfig& MainConfig()
{
    return *Configs().main;
}

TConfig& LayoutConfig()
{
    return *Configs().layout;
}

bool OptionsRegistered()
{
    return Configs().main != nullptr;
}

bool IsMasterServer()
{
    return MainConfig().GetString(QStringLiteral("NetServerName")).compare(LocalComputerName(), Qt::CaseInsensitive) ==
           0;
}

bool ServerConfigured()
{
    return Configs().serverConfigured;
}

QString MainCaption()
{
    return CaptionFor(MainConfig().GetString(QStringLiteral("NetServerName")),
                      MainConfig().GetInteger(QStringLiteral("NetServerPort")));
}
