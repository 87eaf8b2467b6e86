// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLineHelp.h"

#include "platform/VersionInfo.h"

QString HelpText()
{
    return QStringLiteral(
        "Aufruf: plenwick [Form]\n"
        "\n"
        "Plenwick verteilt Dateien und Ordner vom Master-Server an alle Clients und hält sie aktuell.\n"
        "\n"
        "Formen:\n"
        "  plenwick                    startet das Programm: mit Anzeige das Fenster, ohne Anzeige\n"
        "                              ohne Fenster mit dem Protokoll im Terminal; ist der Systemdienst\n"
        "                              installiert, nur den Monitor des Dienstes\n"
        "  plenwick /SVC               läuft als Systemdienst (so startet systemd das Programm)\n"
        "  plenwick /SEND <Befehl> <Computer>\n"
        "                              sendet einem Client einen Fernbefehl: TERMINATE, DEINSTALL,\n"
        "                              PHONEHOME oder SETSERVER\n"
        "  plenwick /QUERYSERVER       fragt beim Start im Netz nach dem Master-Server\n"
        "  plenwick /CONTROLS          listet die Kontrollelemente der Anzeige mit ihren Pfaden\n"
        "  plenwick /SCRIPTUS=<Datei>  führt eine Skriptus-Befehlsdatei ohne Fenster aus; Rückgabe 0:\n"
        "                              alles ausgeführt, 1: Kontrollelement nicht gefunden, 2: Datei\n"
        "                              nicht lesbar, 3: keine Anzeige\n"
        "  plenwick <Datei> <Ziel>     benennt nach drei Sekunden die Datei in das Ziel um (so ersetzt\n"
        "                              eine Aktualisierung das laufende Programm)\n"
        "  plenwick --help             zeigt diese Hilfe\n"
        "  plenwick --version          zeigt die Version\n"
        "  plenwick --fingerprint      zeigt den Fingerabdruck des Schlüssels dieses Computers (legt\n"
        "                              den Schlüssel an, wenn er fehlt)\n"
        "\n"
        "Umgebungsvariablen:\n"
        "  PLENWICK_HOME                  Programmordner (Optionen, Listen) statt des Ordners des Programms\n"
        "  PLENWICK_COMPUTERNAME          Name dieses Computers statt des Hostnamens\n"
        "  PLENWICK_REGISTRY_DIR          ein Ordner für beide Registrierungsdateien\n"
        "  PLENWICK_PROTOCOL_FILE         Protokolldatei statt /var/log/Plenwick.protocol\n"
        "  PLENWICK_SYSTEM_AUTOSTART_DIR  Ordner des Autostarts für alle statt /etc/xdg/autostart\n"
        "  PLENWICK_SYSTEMD_DIR           Ordner der systemd-Units statt /etc/systemd/system\n"
        "  PLENWICK_SYSTEMCTL             Programm, das statt systemctl aufgerufen wird\n"
        "  DISPLAY, WAYLAND_DISPLAY       ohne beide läuft das Programm ohne Fenster\n");
}

QString VersionText()
{
    return QStringLiteral("%1 %2\n%3\n")
        .arg(ProductName(), OwnVersionString(QStringLiteral("FileVersion")),
             OwnVersionString(QStringLiteral("LegalCopyright")));
}
