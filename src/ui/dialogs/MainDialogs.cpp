// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/MainDialogs.h"

#include <QAction>
#include <QTimer>

#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "ui/dialogs/AppendObject.h"
#include "ui/dialogs/InstallApplication.h"
#include "ui/dialogs/MainConfigServer.h"
#include "ui/dialogs/NewObjects.h"
#include "ui/dialogs/Options.h"
#include "ui/main/Main.h"
#include "ui/main/MainTray.h"

TMainDialogs::TMainDialogs(TFormMain& form) : QObject(&form), m_form(form)
{
    TMainActions& actions = form.Actions();
    actions.Handle(actions.FileAppendObject, [this] {
        OpenObjectDialog([this] {
            AppendObject().PrepareNew();
            return true;
        });
    });
    actions.Handle(actions.EditPaste, [this] { OpenObjectDialog([this] { return AppendObject().PreparePaste(); }); });
    actions.Handle(actions.ObjectProperties, [this] {
        const QString source = selectedObject ? selectedObject() : QString();
        if (!source.isEmpty())
            OpenObjectDialog([this, source] { return AppendObject().PrepareEdit(source); });
    });
    actions.Handle(actions.ExtrasOptions, [this] { Options().exec(); });
    actions.Handle(actions.ExtrasConnection, [this] { ConfigServer().exec(); });
}

void TMainDialogs::OpenObjectDialog(const std::function<bool()>& prepare)
{
    if (prepare())
        AppendObject().exec();
}

TFormAppendObject& TMainDialogs::AppendObject()
{
    if (m_appendObject == nullptr) {
        m_appendObject = new TFormAppendObject(&m_form);
        m_appendObject->SetShowObjectsPage([this] { m_form.ShowPage(TPage::Objects); });
    }
    return *m_appendObject;
}

TPagesDlgOptions& TMainDialogs::Options()
{
    if (m_options == nullptr) {
        m_options = new TPagesDlgOptions(&m_form);
        m_options->SetServiceSwitch([this] {
            if (switchToMonitor)
                switchToMonitor();
        });
    }
    return *m_options;
}

TFormConfigServer& TMainDialogs::ConfigServer()
{
    if (m_configServer == nullptr) {
        m_configServer = new TFormConfigServer(&m_form);
        m_configServer->SetServiceSwitch([this] {
            if (switchToMonitor)
                switchToMonitor();
        });
        m_configServer->SetMinimizeWindow([this] { m_form.Tray().GoToTray(); });
    }
    return *m_configServer;
}

bool TMainDialogs::AskNewObjects(const QStringList& objects)
{
    if (m_newObjects == nullptr)
        m_newObjects = new TFormNewObjects(&m_form);
    return m_newObjects->AskFor(objects);
}

bool TMainDialogs::AskRestart()
{
    if (m_installApplication == nullptr)
        m_installApplication = new TFormInstallApplication(&m_form);
    return m_installApplication->Ask();
}

void TMainDialogs::CompleteCreation()
{
    // Only a first start needs the dialog now: making it reads this
    // computer's key, while the window has just been shown.
    if (InstanceKind() == TInstanceKind::Working && TFormConfigServer::IsFirstStart())
        ConfigServer().RunFirstStart();
}

// Later, not at once: on the main thread the caption is set from the
// option's write filter, before the new name is stored.
void TMainDialogs::RefreshConnectionSettings()
{
    QTimer::singleShot(0, this, [this] {
        if (m_configServer != nullptr)
            m_configServer->ServerNameChanged();
    });
}
