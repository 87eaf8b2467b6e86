// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QCoreApplication>

/// Which front-end this process runs, decided before any application object.
enum class TFrontEnd {
    Window,
    Headless
};

/// The window when QT_QPA_PLATFORM is set (tests: offscreen) or when the X
/// display can really be opened; then xcb is chosen unless a platform is set,
/// since window positions, minimising, opacity and Scriptus need X11.
/// Headless otherwise.
TFrontEnd ChooseFrontEnd();

/// The application object of the front-end: QApplication for the window,
/// QCoreApplication headless. Qt takes its own parameters out of argc/argv.
std::unique_ptr<QCoreApplication> MakeApplication(TFrontEnd frontEnd, int& argc, char** argv);
