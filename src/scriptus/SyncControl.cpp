// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptus/SyncControl.h"

#include <set>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"

namespace {

const QString kCategory = QStringLiteral("SyncControl");
constexpr int kImage = 21;
// Owner chains of broken programs may loop.
constexpr int kMaxAncestors = 256;

TChainList& ControlList()
{
    static TChainList list;
    return list;
}

bool OptionOn(const char* name)
{
    return OptionsRegistered() && MainConfig().GetBoolean(QLatin1String(name));
}

// Programs already reported as showing no controls, so each is logged once.
std::set<QString>& ReportedSilent()
{
    static std::set<QString> names;
    return names;
}

} // namespace

TSyncControl* TSyncControl::ParentElement()
{
    if (!m_parentResolved) {
        m_parentResolved = true;
        if (m_control.parent != 0)
            for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
                if (c->Handle() == m_control.parent) {
                    m_parent = c;
                    break;
                }
    }
    return m_parent;
}

QString TSyncControl::ComputeNameElement(bool fromDesktop)
{
    // The desktop's name now, or the one of the last read.
    auto nameOf = [fromDesktop](TSyncControl* c) {
        return fromDesktop ? DesktopAutomation::CurrentName(c->Handle()) : c->m_control.name;
    };
    const QString own = nameOf(this);
    if (!own.isEmpty())
        return own;
    QString name;
    TSyncControl* parent = this;
    QString suffix;
    // An untitled control inherits its parent's name; the identifiers of every
    // untitled step follow it.
    for (int depth = 0; depth < kMaxAncestors; ++depth) {
        if (OptionOn("ScriptusControlIdInPath"))
            suffix.prepend(QStringLiteral("<%1>").arg(parent->ControlId()));
        parent = parent->ParentElement();
        if (!parent)
            break;
        const QString inherited = nameOf(parent);
        if (!inherited.isEmpty()) {
            name = inherited;
            break;
        }
    }
    return name + suffix;
}

void TSyncControl::TakeDesktopNames()
{
    TSyncControl* c = this;
    for (int depth = 0; c && depth < kMaxAncestors; ++depth, c = c->ParentElement()) {
        c->m_control.name = DesktopAutomation::CurrentName(c->Handle());
        if (!c->m_control.name.isEmpty())
            break;
    }
    m_nameElement = ComputeNameElement(false);
}

TReentrantRWLock& ControlListLock()
{
    static TReentrantRWLock lock;
    return lock;
}

TSyncControl* FirstControl()
{
    TReadGuard guard(ControlListLock());
    return static_cast<TSyncControl*>(ControlList().Head());
}

TSyncControl* NextControl(TSyncControl* control)
{
    return static_cast<TSyncControl*>(control->GetNext());
}

// The desktop is read without the lock, and no log entry is written under
// it: the main thread may be waiting for the lock while it takes the entry.
void ReadControlList()
{
    Log(kCategory, QStringLiteral("Liste der Kontrollelemente wird eingelesen"), kImage);
    SetControlList(DesktopAutomation::ReadControls());
    Log(kCategory, QStringLiteral("Liste der Kontrollelemente wurde eingelesen"), kImage);
    QStringList fresh;
    for (const QString& name : DesktopAutomation::ProgramsWithoutControls())
        if (ReportedSilent().insert(name).second)
            fresh.append(name);
    if (!fresh.isEmpty())
        Log(kCategory,
            QStringLiteral("Diese laufenden Programme zeigen keine Kontrollelemente (Barrierefreiheit war bei ihrem "
                           "Start nicht eingeschaltet): %1")
                .arg(fresh.join(QStringLiteral(", "))),
            kImage);
}

void SetControlList(const std::vector<TDesktopControl>& controls)
{
    TWriteGuard guard(ControlListLock());
    FreeControlList();
    for (const TDesktopControl& control : controls)
        ControlList().Append(new TSyncControl(control));
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        c->SetNameElement(c->ComputeNameElement(false));
}

void FreeControlList()
{
    TWriteGuard guard(ControlListLock());
    ControlList().Clear();
}

void RebuildControlList()
{
    ReadControlList();
    TUiAdapter::RebuildControlTree();
}

QString ControlPath(TSyncControl* control)
{
    TReadGuard guard(ControlListLock());
    QString path;
    TSyncControl* element = control;
    for (int depth = 0; element && depth < kMaxAncestors; ++depth) {
        path.prepend(QLatin1Char('\\') + element->NameElement() + QStringLiteral(" [") + element->ClassName() +
                     QLatin1Char(']'));
        element = element->ParentElement();
    }
    const QString file =
        OptionOn("ScriptusExcludeFilenameFromPath") ? QStringLiteral("<anonymous file>") : control->FileName();
    return QStringLiteral("\\\\") + file + path;
}

QString ShortenedPath(const QString& path)
{
    return path.size() > 100 ? path.left(100) + QStringLiteral("...") : path;
}

TSyncControl* FindControlByHandle(quint64 handle)
{
    TReadGuard guard(ControlListLock());
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        if (c->Handle() == handle)
            return c;
    return nullptr;
}

TSyncControl* FindControlByPath(const QString& path)
{
    TReadGuard guard(ControlListLock());
    // A wizard keeps its other pages' controls, hidden, under the same paths:
    // the one the user sees is meant.
    TSyncControl* hidden = nullptr;
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        if (ControlPath(c).compare(path, Qt::CaseInsensitive) == 0) {
            if (c->Visible())
                return c;
            if (!hidden)
                hidden = c;
        }
    return hidden;
}

quint64 FindHandleByPath(const QString& path)
{
    TReadGuard guard(ControlListLock());
    const TSyncControl* control = FindControlByPath(path);
    return control ? control->Handle() : 0;
}

bool NameIsCurrent(TSyncControl* control)
{
    TReadGuard guard(ControlListLock());
    return control->NameElement() == control->ComputeNameElement(true);
}

void RefreshName(TSyncControl* control)
{
    TWriteGuard guard(ControlListLock());
    control->TakeDesktopNames();
}

QPoint ToControlPoint(TSyncControl* control, QPoint screen)
{
    return screen - DesktopAutomation::Rectangle(control->Handle()).topLeft();
}

QPoint ToScreenPoint(TSyncControl* control, QPoint local)
{
    return local + DesktopAutomation::Rectangle(control->Handle()).topLeft();
}
