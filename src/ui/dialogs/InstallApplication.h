// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/dialogs/PromptForm.h"

/// Asks whether the program may restart so that its own update takes
/// effect; answers "Ja" by itself when the countdown runs out.
class TFormInstallApplication : public TFormPrompt
{
    Q_OBJECT

public:
    explicit TFormInstallApplication(QWidget* parent = nullptr);
};
