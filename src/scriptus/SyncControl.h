// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <vector>

#include <QPoint>
#include <QString>

#include "base/ReentrantRWLock.h"
#include "catalogue/SyncChain.h"
#include "platform/DesktopAutomation.h"

/// One window or control of the desktop, an element of the control list.
class TSyncControl : public TSyncChain
{
public:
    explicit TSyncControl(const TDesktopControl& control) : m_control(control) {}

    quint64 Handle() const { return m_control.handle; }
    quint64 ParentHandle() const { return m_control.parent; }
    /// The first element whose handle equals the parent handle; resolved on
    /// first use.
    TSyncControl* ParentElement();
    const QString& NameElement() const { return m_nameElement; }
    const QString& ClassName() const { return m_control.className; }
    const QString& FileName() const { return m_control.fileName; }
    int ControlId() const { return m_control.controlId; }
    bool Visible() const { return m_control.visible; }
    qint64 Pid() const { return m_control.pid; }
    /// The top-level window the element lies in.
    quint64 Window() const { return m_control.window; }

    /// The name element from the names of the last read, or from the
    /// desktop's names now (a window retitled since gives another).
    QString ComputeNameElement(bool fromDesktop);
    void SetNameElement(const QString& name) { m_nameElement = name; }
    /// The element's own name as last read (empty: it inherits).
    const QString& Name() const { return m_control.name; }
    /// Takes the desktop's names now for the element and the ancestors its
    /// name comes from, and computes the name element again.
    void TakeDesktopNames();

private:
    TDesktopControl m_control;
    TSyncControl* m_parent = nullptr;
    bool m_parentResolved = false;
    QString m_nameElement;
};

/// The lock of the control list and of its elements' fields.
TReentrantRWLock& ControlListLock();
/// The first element of the list (under the read lock), or nullptr.
TSyncControl* FirstControl();
TSyncControl* NextControl(TSyncControl* control);

/// Reads every window and control of the desktop into the list, replacing
/// what it held, with its log entries. Takes seconds on a busy desktop: never
/// on the main thread.
void ReadControlList();
/// Replaces the list by these elements, as a read of the desktop does.
void SetControlList(const std::vector<TDesktopControl>& controls);
void FreeControlList();
/// Frees and reads the list again, then has the window rebuild its tree.
void RebuildControlList();

/// The full path: "\\file\name [class]\name [class]..." from the top.
QString ControlPath(TSyncControl* control);
/// Paths longer than 100 characters cut to 100 and "...".
QString ShortenedPath(const QString& path);
/// The element of this window or control, or nullptr (under the read lock).
TSyncControl* FindControlByHandle(quint64 handle);
/// The first visible element whose path equals this one, ignoring case; the
/// first hidden one only when no visible one matches.
TSyncControl* FindControlByPath(const QString& path);
/// The handle of that element, 0 when there is none. For callers without the
/// read lock: a handle stays valid across a new read of the list, an element
/// does not.
quint64 FindHandleByPath(const QString& path);

/// Whether the stored name element still equals one computed from the
/// desktop's names now.
bool NameIsCurrent(TSyncControl* control);
void RefreshName(TSyncControl* control);

/// Screen point to the control's own coordinates and back, by the control's
/// current rectangle.
QPoint ToControlPoint(TSyncControl* control, QPoint screen);
QPoint ToScreenPoint(TSyncControl* control, QPoint local);
