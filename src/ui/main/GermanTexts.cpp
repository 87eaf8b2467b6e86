// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/GermanTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallGermanTexts()
{
    const QLocale german(QLocale::German, QLocale::Germany);
    QLocale::setDefault(german);
    bool loaded = false;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : {"qtbase", "qt"}) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(german, QString::fromLatin1(catalogue), QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            loaded = true;
        } else {
            delete translator;
        }
    }
    return loaded;
}
