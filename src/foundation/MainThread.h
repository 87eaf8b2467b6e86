// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

/// Whether the caller runs on the main thread (also true before the Qt
/// application exists).
bool IsMainThread();

/// Runs the procedure on the main thread and returns when it has finished:
/// at once on the main thread, else queued to the Qt event loop while the
/// caller blocks. An exception of the procedure is raised again in the caller.
void RunOnMainThread(const std::function<void()>& proc);

/// Runs the procedure on the main thread without waiting for it: at once on
/// the main thread, else queued.
void PostToMainThread(std::function<void()> proc);
