// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>
#include <QStringList>

class TFormAppendObject;
class TFormConfigServer;
class TFormInstallApplication;
class TFormMain;
class TFormNewObjects;
class TPagesDlgOptions;

/// The dialogs of the main window: created once with it, opened by their
/// actions, and the two installation prompts behind the UI port.
class TMainDialogs : public QObject
{
    Q_OBJECT

public:
    explicit TMainDialogs(TFormMain& form);

    /// The source path of the object selected in the objects list ("" for
    /// none); the objects page plugs it in.
    std::function<QString()> selectedObject;
    /// The window's switch to the service control window.
    std::function<void()> switchToMonitor;

    bool AskNewObjects(const QStringList& objects);
    bool AskRestart();
    /// The first start: the quiet search, then the connection dialog.
    void CompleteCreation();
    /// NetServerName changed from the network: an open connection dialog
    /// shows the new name, so its OK cannot write the old one back.
    void RefreshConnectionSettings();

    TFormAppendObject& AppendObject();
    TPagesDlgOptions& Options();
    TFormConfigServer& ConfigServer();

private:
    void OpenObjectDialog(const std::function<bool()>& prepare);

    TFormMain& m_form;
    TFormAppendObject* m_appendObject = nullptr;
    TPagesDlgOptions* m_options = nullptr;
    TFormConfigServer* m_configServer = nullptr;
    TFormNewObjects* m_newObjects = nullptr;
    TFormInstallApplication* m_installApplication = nullptr;
};
