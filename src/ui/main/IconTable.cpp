// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/IconTable.h"

#include <map>

#include <QApplication>

// Outside any namespace: the macro declares the resource's global function.
static void InitIconResources()
{
    Q_INIT_RESOURCE(Icons);
}

namespace {

// Names differ per index where the theme allows it, so a themed desktop keeps
// the indices apart too.
const std::map<int, const char*> kThemeNames = {
    {0, "network-workgroup"},         // client online
    {1, "network-offline"},           // client offline
    {2, "document-new"},              // object, current
    {3, "accessories-text-editor"},   // protocol
    {4, "dialog-warning"},            // client alert
    {5, "system-users"},              // users
    {6, "avatar-default"},            // one user
    {7, "folder-open"},               // selected group, current folder tree
    {8, "text-x-generic-template"},   // generated object
    {9, "document-save"},             // object to fetch
    {10, "folder-download"},          // folder tree to fetch
    {11, "edit-delete"},              // object to delete on the clients
    {12, "user-trash"},               // folder tree to delete on the clients
    {14, "text-x-script"},            // Scriptus
    {19, "user-group-new"},           // user group
    {20, "user-info"},                // user, details
    {21, "view-refresh"},             // view building
    {22, "applications-development"}, // Scriptus page
    {23, "window-new"},               // visible window
    {24, "window-close"},             // hidden window
    {25, "input-mouse"},              // click commands
    {27, "input-keyboard"},           // text commands
    {29, "text-x-generic"},           // generated object, details
    {32, "appointment-soon"},         // wait
    {41, "drive-harddisk"},           // all folders
    {42, "folder-remote"},            // folder tree, details
    {45, "network-wired"},            // network, protocol page
    {46, "system-software-install"},  // the application
    {50, "network-transmit-receive"}, // online, details
    {51, "network-idle"},             // offline, details
    {52, "package-x-generic"},        // objects
    {53, "user-home"},                // standard folder
    {55, "folder"},                   // group, folder
    {57, "network-error"},            // alert, details
    {63, "system-run"},               // start a program
};

// The pictures live in a static library, whose resource registration the
// linker would otherwise drop.
void EnsureResources()
{
    static const bool loaded = (InitIconResources(), true);
    (void)loaded;
}

QString ResourcePath(int index)
{
    return QStringLiteral(":/icons/%1.svg").arg(index, 2, 10, QLatin1Char('0'));
}

} // namespace

namespace IconTable {

QIcon OwnIcon(int index)
{
    if (kThemeNames.find(index) == kThemeNames.end())
        return QIcon();
    EnsureResources();
    return QIcon(ResourcePath(index));
}

void InstallProgramIcon()
{
    QApplication::setWindowIcon(OwnIcon(46));
}

QIcon Icon(int index)
{
    const auto found = kThemeNames.find(index);
    if (found == kThemeNames.end())
        return QIcon();
    static std::map<int, QIcon> cache; // main thread only, like every widget
    auto cached = cache.find(index);
    if (cached == cache.end())
        cached = cache.emplace(index, QIcon::fromTheme(QString::fromLatin1(found->second), OwnIcon(index))).first;
    return cached->second;
}

QString ThemeName(int index)
{
    const auto found = kThemeNames.find(index);
    return found == kThemeNames.end() ? QString() : QString::fromLatin1(found->second);
}

QList<int> Indices()
{
    QList<int> indices;
    for (const auto& [index, name] : kThemeNames)
        indices.append(index);
    return indices;
}

} // namespace IconTable
