// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class TClientBase;

/// What a client thread of connect kind Update does once its login was
/// accepted: exchanges the object list, shows what changed, asks whether to
/// install (unless ClientSilentInstall) and runs the installation, which ends
/// with starting the objects and their Scriptus command files.
void RunUpdate(TClientBase& client);
