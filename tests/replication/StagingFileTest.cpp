// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "replication/StagingFile.h"
#include "support/Pieces.h"
#include "support/QtPrinters.h"

namespace {

QByteArray Noise(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (char& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 24);
    }
    return data;
}

QByteArray Content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// Pieces of every length, a TLS record's, an inflater's and larger than the
// write step, land in order past the write-back ranges; the digest and the
// size are those of all bytes, and a new start or a discard leaves nothing
// of what was not yet on disk.
TEST(StagingFile, PiecesOfAnyLengthLandInOrderAndAStartOrDiscardDropsTheRest)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString target = QDir(folder.path()).filePath(QStringLiteral("objekt.bin"));
    TStagingFile staging(target);

    EXPECT_FALSE(staging.Start());
    staging.Write("early", 5);
    staging.Start(); // begins anew, nothing of "early" may follow
    const QByteArray data = Noise(21 * 1024 * 1024 + 17, 4711);
    InPieces(data, {1, 16 * 1024, 64 * 1024 + 3, 3 * 1024 * 1024, 1024 * 1024, 7},
             [&](const char* piece, qsizetype size) { staging.Write(piece, size); });
    staging.Finish();
    EXPECT_EQ(staging.Size(), data.size());
    EXPECT_EQ(staging.Digest().size, data.size());
    EXPECT_EQ(staging.Digest().sha256, QCryptographicHash::hash(data, QCryptographicHash::Sha256));
    EXPECT_TRUE(Content(staging.Path()) == data);

    staging.Start();
    staging.Write("halb", 4);
    staging.Discard();
    EXPECT_FALSE(QFile::exists(staging.Path()));
    EXPECT_FALSE(QFile::exists(target));
}
