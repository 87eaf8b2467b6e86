// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptus/ScriptusRunner.h"

#include <mutex>

namespace {

std::mutex g_lock;
TScriptusRunner* g_runner = nullptr;

} // namespace

void SetScriptusRunner(TScriptusRunner* runner)
{
    std::lock_guard guard(g_lock);
    g_runner = runner;
}

void WithScriptusRunner(const std::function<void(TScriptusRunner*)>& use)
{
    std::lock_guard guard(g_lock);
    use(g_runner);
}
