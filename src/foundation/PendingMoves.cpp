// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PendingMoves.h"

#include <exception>

#include <QFile>
#include <QFileInfo>

#include "foundation/PoolInterlocked.h"
#include "foundation/RegistryCall.h"
#include "platform/FileMove.h"

namespace {

const QString kCategory = QStringLiteral("PendingMoves");
constexpr int kIcon = 46;

// Beside the moves, under the same value names: the digest each staging file
// was checked against. Moves recorded by an older program have none.
QString DigestKey()
{
    return QStringLiteral("Software\\Plenwick\\PendingDigests");
}

// The staging file must still be the bytes that were checked: in a folder an
// ordinary user can write to, it may have been swapped since.
bool StillAsChecked(const QString& target, const QString& staging)
{
    const auto word =
        RegistryCall([&] { return TRegistryStore::ReadValue(TRegistryHive::LocalMachine, DigestKey(), target); });
    if (!word)
        return true;
    const std::optional<TContentDigest> digest = TContentDigest::FromWord(word->text);
    if (digest && !QFileInfo(staging).isSymLink()) {
        try {
            if (DigestOfFile(staging) == *digest)
                return true;
        } catch (const EDigestError&) {
        }
    }
    Log(kCategory,
        QStringLiteral("Ausstehende Installation von \"%1\" entfällt: \"%2\" wurde seit der Prüfung verändert")
            .arg(target, staging),
        kIcon);
    QFile::remove(staging);
    return false;
}

// True when the value may go: the move is done, or there is nothing left to move.
bool MoveOne(const QString& target, const QString& staging)
{
    if (!QFileInfo::exists(staging)) {
        Log(kCategory,
            QStringLiteral("Ausstehende Installation von \"%1\" entfällt: \"%2\" existiert nicht").arg(target, staging),
            kIcon);
        return true;
    }
    if (!StillAsChecked(target, staging))
        return true;
    const QString backup = BackupFilePath(target);
    const bool hadTarget = QFileInfo::exists(target);
    if (hadTarget) {
        QFile::remove(backup);
        if (!MoveFileReplacing(target, backup)) {
            Log(kCategory,
                QStringLiteral("Sicherungskopie \"%1\" des bisherigen Objekts \"%2\" konnte nicht erstellt werden")
                    .arg(backup, target),
                kIcon);
            return false;
        }
    }
    if (!MoveFileReplacing(staging, target)) {
        if (hadTarget)
            MoveFileReplacing(backup, target);
        Log(kCategory, QStringLiteral("Objekt \"%1\" konnte nicht in \"%2\" umbenannt werden").arg(staging, target),
            kIcon);
        return false;
    }
    Log(kCategory, QStringLiteral("Ausstehende Installation von \"%1\" wurde ausgeführt").arg(target), kIcon);
    return true;
}

} // namespace

QString RunOnceKey()
{
    return QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Runonce");
}

QString BackupFilePath(const QString& targetPath)
{
    const qsizetype slash = targetPath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = targetPath.lastIndexOf(QLatin1Char('.'));
    // A leading dot names a hidden file, not an extension.
    const bool hasExtension = dot > slash + 1;
    return (hasExtension ? targetPath.left(dot) : targetPath) + QStringLiteral(".backup");
}

bool RecordPendingMove(const QString& targetPath, const QString& stagingPath, const TContentDigest& digest)
{
    return RegistryCall([&] {
        return TRegistryStore::WriteValue(TRegistryHive::LocalMachine, DigestKey(), targetPath,
                                          TRegistryValue::FromText(digest.ToWord())) &&
               TRegistryStore::WriteValue(TRegistryHive::LocalMachine, RunOnceKey(), targetPath,
                                          TRegistryValue::FromText(stagingPath));
    });
}

bool HasPendingMove(const QString& targetPath)
{
    return RegistryCall(
        [&] { return TRegistryStore::ReadValue(TRegistryHive::LocalMachine, RunOnceKey(), targetPath).has_value(); });
}

void CarryOutPendingMoves()
{
    try {
        const QStringList targets =
            RegistryCall([] { return TRegistryStore::ValueNames(TRegistryHive::LocalMachine, RunOnceKey()); });
        if (targets.isEmpty())
            return;
        // Moving without being able to delete the value would repeat it at every start.
        if (!TRegistryStore::HiveWritable(TRegistryHive::LocalMachine)) {
            Log(kCategory, QStringLiteral("Ausstehende Installationen benötigen Administratorrechte"), kIcon);
            return;
        }
        for (const QString& target : targets) {
            const auto staging = RegistryCall(
                [&] { return TRegistryStore::ReadValue(TRegistryHive::LocalMachine, RunOnceKey(), target); });
            if (!staging || staging->kind != TRegistryValue::TKind::String || MoveOne(target, staging->text))
                RegistryCall([&] {
                    TRegistryStore::DeleteValue(TRegistryHive::LocalMachine, DigestKey(), target);
                    return TRegistryStore::DeleteValue(TRegistryHive::LocalMachine, RunOnceKey(), target);
                });
        }
    } catch (const std::exception& error) {
        Log(kCategory, QStringLiteral("Bei den ausstehenden Installationen ") + ExceptionSuffix(error), kIcon);
    }
}
