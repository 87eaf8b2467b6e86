// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PeBuilder.h"

#include <QtEndian>

namespace {

void Put16(QByteArray& data, int offset, quint16 value)
{
    qToLittleEndian(value, data.data() + offset);
}

void Put32(QByteArray& data, int offset, quint32 value)
{
    qToLittleEndian(value, data.data() + offset);
}

void Pad4(QByteArray& data)
{
    while (data.size() % 4 != 0)
        data.append('\0');
}

QByteArray Utf16z(const QString& text)
{
    QByteArray out;
    for (const QChar c : text) {
        out.append(char(c.unicode() & 0xFF));
        out.append(char(c.unicode() >> 8));
    }
    out.append(2, '\0');
    return out;
}

/// One version block: length, value length, type, key, value, children.
QByteArray Block(const QString& key, const QByteArray& value, quint16 valueLength, bool text,
                 const QList<QByteArray>& children = {})
{
    QByteArray data(6, '\0');
    data += Utf16z(key);
    Pad4(data);
    data += value;
    for (const QByteArray& child : children) {
        Pad4(data);
        data += child;
    }
    Put16(data, 0, quint16(data.size()));
    Put16(data, 2, valueLength);
    Put16(data, 4, text ? 1 : 0);
    return data;
}

} // namespace

QByteArray TPeBuilder::Build() const
{
    QByteArray fixed(52, '\0');
    Put32(fixed, 0, 0xFEEF04BD);
    Put32(fixed, 4, 0x00010000);
    Put32(fixed, 8, (quint32(major) << 16) | minor);
    Put32(fixed, 12, (quint32(release) << 16) | build);
    QList<QByteArray> children;
    if (!strings.isEmpty()) {
        QList<QByteArray> entries;
        for (const auto& [name, value] : strings)
            entries.append(Block(name, Utf16z(value), quint16(value.size() + 1), true));
        const QString table = QString::asprintf("%04x%04x", language, codePage);
        children.append(Block(QStringLiteral("StringFileInfo"), {}, 0, true, {Block(table, {}, 0, true, entries)}));
        QByteArray translation(4, '\0');
        Put16(translation, 0, language);
        Put16(translation, 2, codePage);
        children.append(Block(QStringLiteral("VarFileInfo"), {}, 0, true,
                              {Block(QStringLiteral("Translation"), translation, 4, false)}));
    }
    const QByteArray version = Block(QStringLiteral("VS_VERSION_INFO"), fixed, 52, false, children);

    // Resource directory: type 16 -> first name -> first language -> data entry.
    const quint32 sectionRva = 0x1000;
    QByteArray rsrc(0x58, '\0');
    auto directory = [&](int at, quint32 id, quint32 target) {
        Put16(rsrc, at + 14, 1);
        Put32(rsrc, at + 16, id);
        Put32(rsrc, at + 20, target);
    };
    directory(0x00, 16, 0x80000000u | 0x18);
    directory(0x18, 1, 0x80000000u | 0x30);
    directory(0x30, language, 0x48);
    Put32(rsrc, 0x48, sectionRva + 0x58);
    Put32(rsrc, 0x4C, quint32(version.size()));
    rsrc += version;
    const int rawSize = (int(rsrc.size()) + 0x1FF) & ~0x1FF;
    rsrc.resize(rawSize);

    const int optionalSize = pe32Plus ? 240 : 224;
    QByteArray image(0x200, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, 0x40);
    image.replace(0x40, 4, QByteArray("PE\0\0", 4));
    Put16(image, 0x44, pe32Plus ? 0x8664 : 0x14C);
    Put16(image, 0x46, 1);
    Put16(image, 0x54, quint16(optionalSize));
    const int optional = 0x58;
    Put16(image, optional, pe32Plus ? 0x20B : 0x10B);
    const int countOffset = optional + (pe32Plus ? 108 : 92);
    Put32(image, countOffset, 16);
    Put32(image, countOffset + 4 + 16, sectionRva);
    Put32(image, countOffset + 4 + 20, quint32(rsrc.size()));
    const int section = optional + optionalSize;
    image.replace(section, 5, QByteArray(".rsrc"));
    Put32(image, section + 8, quint32(rsrc.size()));
    Put32(image, section + 12, sectionRva);
    Put32(image, section + 16, quint32(rawSize));
    Put32(image, section + 20, 0x200);
    return image + rsrc;
}
