// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// The TCP and UDP listeners as start-up and shutdown see them. The server
/// side implements it and plugs it in with SetListenerControl.
class TListenerControl
{
public:
    virtual ~TListenerControl() = default;
    /// Activates TCP, then UDP, on NetServerPort.
    virtual void StartListeners() = 0;
    /// Deactivates TCP first, then UDP. May raise; the caller reports it.
    virtual void StopListeners() = 0;
};

/// nullptr removes it. Not owned.
void SetListenerControl(TListenerControl* control);
/// nullptr while none is plugged in.
TListenerControl* ListenerControl();

/// Starts or stops the plugged-in listeners, if any; a failure is logged, not
/// raised: without its ports the program still serves its window and lists.
void ActivateListeners();
void DeactivateListeners();
