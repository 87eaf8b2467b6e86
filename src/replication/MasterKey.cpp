// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/MasterKey.h"

#include "base/AtomicFile.h"
#include "foundation/MainConfig.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"
#include "replication/HostKey.h"

QString PinnedMasterKey()
{
    const QString option = NormalizedFingerprint(MainConfig().GetString(QStringLiteral("NetServerKey")));
    if (!option.isEmpty())
        return option;
    QByteArray content;
    if (!ReadWholeFile(ProgramFile(QStringLiteral(".serverkey")), content))
        return QString();
    return NormalizedFingerprint(QString::fromLatin1(content).trimmed());
}

void PinMasterKey(const QString& fingerprint)
{
    TConfig& config = MainConfig();
    if (config.GetString(QStringLiteral("NetServerKey")) == fingerprint)
        return;
    config.Set(QStringLiteral("NetServerKey"), fingerprint);
    config.SaveAll();
    TUiAdapter::RefreshConnectionSettings();
}

QString MasterKeyTrustedText(const QString& fingerprint, const QString& server)
{
    return QStringLiteral("Dem Schlüssel %1 des Master-Servers \"%2\" wird ab jetzt vertraut").arg(fingerprint, server);
}

void CheckMasterKey(const QString& server, const QString& presented)
{
    const QString pinned = PinnedMasterKey();
    if (pinned.isEmpty() || pinned == presented)
        return;
    throw EMasterKeyRefused(
        QStringLiteral("Der Master-Server \"%1\" legt den Schlüssel %2 vor, vertraut wird aber %3: Verbindung "
                       "abgelehnt. Ist der neue Schlüssel echt, die Option NetServerKey entfernen oder auf %2 setzen")
            .arg(server, presented.isEmpty() ? QStringLiteral("(keinen)") : presented, pinned));
}

QString NamedMasterKey()
{
    if (IsMasterServer()) {
        try {
            return OwnIdentity()->Fingerprint();
        } catch (const EHostKeyError&) {
            return QString();
        }
    }
    return PinnedMasterKey();
}
