// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <optional>

#include "replication/RemoteCommands.h"

namespace {

const QLatin1String kScriptus("/SCRIPTUS=");

bool IsSwitch(const QString& parameter, QLatin1String name)
{
    return parameter.compare(name, Qt::CaseInsensitive) == 0;
}

std::optional<TConnectKind> SendKind(const QString& word)
{
    for (const TConnectKind kind :
         {TConnectKind::Terminate, TConnectKind::Deinstall, TConnectKind::PhoneHome, TConnectKind::SetServer})
        if (word.compare(RemoteCommandWord(kind), Qt::CaseInsensitive) == 0)
            return kind;
    return std::nullopt;
}

} // namespace

QStringList CommandLineParameters(int argc, char* argv[])
{
    QStringList parameters;
    for (int i = 1; i < argc; ++i)
        parameters.append(QString::fromLocal8Bit(argv[i]));
    return parameters;
}

TCommandLine ParseCommandLine(const QStringList& parameters)
{
    TCommandLine line;
    for (const QString& parameter : parameters)
        if (IsSwitch(parameter, QLatin1String("/SVC")))
            line.serviceSwitch = true;

    // The forms by their number of parameters, so none is taken for another:
    // "/SEND" has three words, a file move exactly two.
    if (parameters.size() == 3 && IsSwitch(parameters[0], QLatin1String("/SEND"))) {
        if (const auto kind = SendKind(parameters[1])) {
            line.form = TStartForm::Send;
            line.sendKind = *kind;
            line.sendHost = parameters[2];
        }
    } else if (parameters.size() == 2) {
        line.form = TStartForm::FileMove;
        line.moveFrom = parameters[0];
        line.moveTo = parameters[1];
    } else if (parameters.size() == 1 && IsSwitch(parameters[0], QLatin1String("/QUERYSERVER"))) {
        line.form = TStartForm::QueryServer;
    } else if (parameters.size() == 1 && IsSwitch(parameters[0], QLatin1String("/CONTROLS"))) {
        line.form = TStartForm::Controls;
    } else if (parameters.size() == 1 && parameters[0].startsWith(kScriptus, Qt::CaseInsensitive)) {
        line.form = TStartForm::Scriptus;
        line.scriptusFile = parameters[0].mid(kScriptus.size());
    } else if (parameters.size() == 1 && parameters[0] == QLatin1String("--help")) {
        line.form = TStartForm::Help;
    } else if (parameters.size() == 1 && parameters[0] == QLatin1String("--version")) {
        line.form = TStartForm::Version;
    } else if (parameters.size() == 1 && parameters[0] == QLatin1String("--fingerprint")) {
        line.form = TStartForm::Fingerprint;
    }
    return line;
}
