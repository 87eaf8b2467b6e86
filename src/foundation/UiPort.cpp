// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/UiPort.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<TUiPort*> g_port{nullptr};
}

QString TProtocolEntry::FileLine() const
{
    return QStringLiteral("%1 [%2] %3").arg(time, category, message);
}

TUiPort& Ui()
{
    TUiPort* port = g_port.load();
    if (port == nullptr)
        std::abort(); // a front-end is always installed before the core runs
    return *port;
}

void SetUi(TUiPort* port)
{
    g_port.store(port);
}

bool HasUi()
{
    return g_port.load() != nullptr;
}
