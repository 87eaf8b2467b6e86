// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QtEndian>

#include "platform/FileVersion.h"
#include "support/PeBuilder.h"

TEST(FileVersionTest, ReadsFixedInfoOfBothImageKinds)
{
    TPeBuilder pe;
    pe.major = 10;
    pe.minor = 0;
    pe.release = 19041;
    pe.build = 65535;
    EXPECT_EQ(ImageVersion(pe.Build()), QStringLiteral("10.0.19041.65535"));
    pe.pe32Plus = true;
    EXPECT_EQ(ImageVersion(pe.Build()), QStringLiteral("10.0.19041.65535"));
}

TEST(FileVersionTest, ReadsStringsOfTheFirstTranslation)
{
    TPeBuilder pe;
    pe.strings = {{QStringLiteral("CompanyName"), QStringLiteral("Firma GmbH")},
                  {QStringLiteral("ProductName"), QStringLiteral("Plenwick")}};
    pe.language = 0x0407;
    pe.codePage = 0x04E4;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tool.exe"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pe.Build());
    file.close();
    EXPECT_EQ(FileVersionString(path, QStringLiteral("ProductName")), QStringLiteral("Plenwick"));
    EXPECT_EQ(FileVersionString(path, QStringLiteral("CompanyName")), QStringLiteral("Firma GmbH"));
    EXPECT_EQ(FileVersionString(path, QStringLiteral("Comments")), QString());
    EXPECT_EQ(FileVersion(path), QStringLiteral("1.2.3.4"));
    EXPECT_EQ(FileVersion(dir.filePath(QStringLiteral("missing.exe"))), QStringLiteral("?"));
}

TEST(FileVersionTest, DamagedImagesGiveNoVersion)
{
    const QByteArray image = TPeBuilder().Build();
    EXPECT_EQ(ImageVersion(QByteArray("plain text")), QStringLiteral("?"));
    // Everything up to the end of the fixed file info is needed.
    for (qsizetype length = 0; length < TPeBuilder::kVersionDataOffset + 92; length += 7)
        EXPECT_EQ(ImageVersion(image.left(length)), QStringLiteral("?")) << length;

    // Sizes and offsets that point past the end.
    auto lying = [&](int offset, quint32 value) {
        QByteArray damaged = image;
        qToLittleEndian(value, damaged.data() + offset);
        return ImageVersion(damaged);
    };
    EXPECT_EQ(lying(0x3C, 0xFFFFFFF0u), QStringLiteral("?"));                       // e_lfanew
    EXPECT_EQ(lying(0x200 + 0x4C, 0xFFFFFFFFu), QStringLiteral("?"));               // data entry size
    EXPECT_EQ(lying(0x200 + 0x48, 0x7FFFFFFFu), QStringLiteral("?"));               // data entry address
    EXPECT_EQ(lying(0x200 + 0x14, 0x80000000u | 0xFFFFFF00u), QStringLiteral("?")); // subdirectory offset
    QByteArray blockTooLong = image;
    qToLittleEndian<quint16>(0xFFFF, blockTooLong.data() + TPeBuilder::kVersionDataOffset);
    EXPECT_EQ(ImageVersion(blockTooLong), QStringLiteral("?"));
    EXPECT_EQ(ImageVersionString(blockTooLong, QStringLiteral("ProductName")), QString());
}
