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

// Reactions run under the configuration lock, maybe on a worker: they only post to the window.
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
    using enum TValueKind;
    reg("ClientAutoInstall", Boolean, false);
    reg("ClientUpdateIntervalInMillisecs", Integer, 1800000);
    reg("ClientSilentInstall", Boolean, false);
    reg("ClientUsername", String, QStringLiteral("anonymous"));
    reg("ClientPassword", String, QStringLiteral("blueheron"));
    reg("ClientInputWaitTimeInSecs", Integer, 60);
    reg("ClientAnonymousLogin", Boolean, true);
    reg("ClientQueryMissingObjects", Boolean, true);
    reg("ClientDeleteEmptyDirs", Boolean, true);
    reg("ClientFindObjectsOverBroadcast", Boolean, true);
    reg("ServerObjectDir", String, folder + QStringLiteral("Objects/"));
    reg("ServerScriptusDir", String, folder + QStringLiteral("Scriptus/"));
    Configs().serverConfigured = reg("NetServerName", String, LocalComputerName());
    reg("NetServerPort", Integer, 42424);
    reg("NetDNSCache", Boolean, true);
    // The master server's key fingerprint, pinned at the first login.
    reg("NetServerKey", String, QString());
    // The master also serves clients that speak no TLS yet, while a fleet moves to it.
    reg("NetAllowPlainClients", Boolean, false);
    // Bounds of the server: hundreds of clients, but no single address may take many.
    reg("NetMaxSessions", Integer, 512);
    reg("NetMaxSessionsPerAddress", Integer, 8);
    reg("ServerCompressData", Boolean, true);
    reg("ServerEncodeData", Boolean, false);
    reg("ServerOfferNewerObjects", Boolean, false);
    reg("ServerAllowAnonymousUsers", Boolean, true);
    reg("ServerAdminAccountUse", Boolean, false);
    reg("ServerAdminAccountUsername", String, QString());
    reg("ServerAdminAccountPassword", String, QString(), true);
    reg("ScriptusTimeout", Integer, 180000);
    reg("ScriptusRetries", Integer, 10);
    reg("ScriptusControlIdInPath", Boolean, false);
    reg("ScriptusExcludeFilenameFromPath", Boolean, true);
    reg("MiscStartMinimized", Boolean, false);
    reg("MiscChangeToOverview", Boolean, false);
    reg("MiscSocketTimeout", Integer, 10000);
    reg("MiscShowProtocol", Boolean, false);
    reg("MiscWriteProtocolToFile", Boolean, false);
    reg("MiscActivateSounds", Boolean, true);
    reg("MiscShowNonPersistent", Boolean, false);
    reg("MiscProtocolLastToFirst", Boolean, false);
    reg("MiscShowVisibleControlsOnly", Boolean, true);
}

// What acts on the window or the timer does so only when a value changes:
// OK in the options dialog writes every value, changed or not.
void AttachMainFilters(TConfig& c)
{
    c.SetChangeReaction(QStringLiteral("ClientAutoInstall"),
                        [](const QVariant& v) { TObjectUpdateTimer::SetEnabled(v.toBool()); });
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
    c.SetChangeReaction(QStringLiteral("NetServerName"), [&c](const QVariant& v) {
        PostCaption(v.toString(), c.GetInteger(QStringLiteral("NetServerPort")));
    });
    c.SetAlwaysStore(QStringLiteral("NetServerName"), true);
    c.SetChangeReaction(QStringLiteral("NetServerPort"), [&c](const QVariant& v) {
        PostCaption(c.GetString(QStringLiteral("NetServerName")), v.toInt());
    });
    c.SetChangeReaction(QStringLiteral("MiscShowProtocol"),
                        [](const QVariant& v) { TUiAdapter::SetProtocolPageVisible(v.toBool()); });
    c.SetChangeReaction(QStringLiteral("MiscShowNonPersistent"),
                        [](const QVariant&) { TUiAdapter::RebuildObjectViews(); });
}

void RegisterLayoutOptions(TConfig& c)
{
    const QString s = QStringLiteral("Styles");
    auto reg = [&](const char* name, TValueKind kind, const QVariant& def) {
        c.Register(s, QString::fromLatin1(name), false, false, kind, def);
    };
    using enum TValueKind;
    for (const char* name :
         {"MainListViewObjectsViewStyle", "MainListViewClientsViewStyle", "MainListViewUsersViewStyle"})
        reg(name, Integer, 0);
    for (const char* name : {"MainSplitterObjects", "MainSplitterClients", "MainSplitterUsers", "MainSplitterScriptus"})
        reg(name, Integer, kDesignTreeWidth);
    reg("MainWidth", Integer, kDesignWidth);
    reg("MainHeight", Integer, kDesignHeight);
    reg("MainLeft", Integer, kDesignScreenWidth / 2 - kDesignWidth / 2);
    reg("MainTop", Integer, kDesignScreenHeight / 2 - kDesignHeight / 2);
    reg("MainActiveTab", Integer, 0);
    for (const char* name : {"MainListViewObjects", "MainListViewClients", "MainListViewUsers",
                             "MainListViewScriptusSync", "MainListViewScriptusAsync", "MainListViewProtocol"})
        reg(name, String, QString());
    // The column a catalogue list is sorted by (-1: the order it was built in).
    for (const char* name : {"MainListViewObjects", "MainListViewClients", "MainListViewUsers"}) {
        c.Register(s, QString::fromLatin1(name) + QStringLiteral("SortColumn"), false, false, Integer, -1);
        c.Register(s, QString::fromLatin1(name) + QStringLiteral("SortDescending"), false, false, Boolean, false);
    }
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
