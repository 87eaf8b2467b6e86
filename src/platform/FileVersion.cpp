// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileVersion.h"

#include <optional>

#include <QFile>
#include <QtEndian>

namespace {

const QString kNoVersion = QStringLiteral("?");
constexpr quint32 kFixedInfoSignature = 0xFEEF04BD;
constexpr quint32 kResourceTypeVersion = 16;
constexpr quint32 kSubdirectoryBit = 0x80000000u;
constexpr quint32 kNamedEntryBit = 0x80000000u;
// A version block's length is a 16-bit field.
constexpr quint32 kMaxVersionResource = 0x10000;
constexpr quint32 kSectionHeaderSize = 40;
constexpr quint32 kMaxSections = 96;

/// Random access to the bytes of a file or an image; every read is checked
/// against the size.
class TSource
{
public:
    virtual ~TSource() = default;
    virtual bool Read(quint64 offset, quint64 length, QByteArray& out) const = 0;
};

class TMemorySource : public TSource
{
public:
    explicit TMemorySource(const QByteArray& image) : m_image(image) {}
    bool Read(quint64 offset, quint64 length, QByteArray& out) const override
    {
        const auto size = static_cast<quint64>(m_image.size());
        if (offset > size || length > size - offset)
            return false;
        out = m_image.mid(static_cast<qsizetype>(offset), static_cast<qsizetype>(length));
        return true;
    }

private:
    const QByteArray& m_image;
};

class TFileSource : public TSource
{
public:
    explicit TFileSource(QFile& file) : m_file(file), m_size(static_cast<quint64>(file.size())) {}
    bool Read(quint64 offset, quint64 length, QByteArray& out) const override
    {
        if (offset > m_size || length > m_size - offset || !m_file.seek(static_cast<qint64>(offset)))
            return false;
        out = m_file.read(static_cast<qint64>(length));
        return static_cast<quint64>(out.size()) == length;
    }

private:
    QFile& m_file;
    quint64 m_size;
};

quint16 U16(const QByteArray& data, qsizetype offset)
{
    return qFromLittleEndian<quint16>(data.constData() + offset);
}

quint32 U32(const QByteArray& data, qsizetype offset)
{
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

/// The headers of a PE image as far as the resource lookup needs them.
class TImage
{
public:
    explicit TImage(const TSource& source) : m_source(source) {}

    bool ReadHeaders()
    {
        QByteArray dos;
        if (!m_source.Read(0, 64, dos) || dos[0] != 'M' || dos[1] != 'Z')
            return false;
        const quint64 peOffset = U32(dos, 0x3C);
        QByteArray pe;
        if (!m_source.Read(peOffset, 24, pe) || !pe.startsWith(QByteArray("PE\0\0", 4)))
            return false;
        const quint32 sectionCount = U16(pe, 6);
        const quint32 optionalSize = U16(pe, 20);
        QByteArray optional;
        if (sectionCount > kMaxSections || !m_source.Read(peOffset + 24, optionalSize, optional) || optionalSize < 2)
            return false;
        quint32 countOffset = 0;
        switch (U16(optional, 0)) {
        case 0x10B:
            countOffset = 92;
            break; // PE32
        case 0x20B:
            countOffset = 108;
            break; // PE32+
        default:
            return false;
        }
        const quint32 directories = countOffset + 4;
        const quint32 resourceEntry = directories + 2 * 8;
        if (optionalSize < resourceEntry + 8 || U32(optional, countOffset) < 3)
            return false;
        m_resourceRva = U32(optional, resourceEntry);
        m_resourceSize = U32(optional, resourceEntry + 4);
        if (m_resourceRva == 0 || m_resourceSize == 0)
            return false;
        return m_source.Read(peOffset + 24 + optionalSize, quint64(sectionCount) * kSectionHeaderSize, m_sections);
    }

    /// The file offset of length bytes at a virtual address, if they lie in the
    /// raw data of one section.
    std::optional<quint64> FileOffset(quint32 rva, quint32 length) const
    {
        for (qsizetype s = 0; s + qsizetype(kSectionHeaderSize) <= m_sections.size(); s += kSectionHeaderSize) {
            const quint32 address = U32(m_sections, s + 12);
            const quint32 rawSize = U32(m_sections, s + 16);
            const quint32 rawPointer = U32(m_sections, s + 20);
            if (rva < address || rva - address >= rawSize)
                continue;
            const quint32 into = rva - address;
            if (length > rawSize - into)
                return std::nullopt;
            return quint64(rawPointer) + into;
        }
        return std::nullopt;
    }

    /// The bytes of the first version resource.
    std::optional<QByteArray> VersionResource() const
    {
        const auto byType = Entry(0, kResourceTypeVersion);
        if (!byType || !(*byType & kSubdirectoryBit))
            return std::nullopt;
        const auto byName = Entry(*byType & ~kSubdirectoryBit);
        if (!byName || !(*byName & kSubdirectoryBit))
            return std::nullopt;
        const auto byLanguage = Entry(*byName & ~kSubdirectoryBit);
        if (!byLanguage || (*byLanguage & kSubdirectoryBit))
            return std::nullopt;
        QByteArray dataEntry;
        if (!ReadResource(*byLanguage, 16, dataEntry))
            return std::nullopt;
        const quint32 dataRva = U32(dataEntry, 0);
        const quint32 size = std::min(U32(dataEntry, 4), kMaxVersionResource);
        const auto offset = FileOffset(dataRva, size);
        QByteArray data;
        if (!offset || !m_source.Read(*offset, size, data))
            return std::nullopt;
        return data;
    }

private:
    /// Reads bytes at an offset into the resource directory, which must lie
    /// within its declared size.
    bool ReadResource(quint32 offset, quint32 length, QByteArray& out) const
    {
        if (offset > m_resourceSize || length > m_resourceSize - offset ||
            quint64(m_resourceRva) + offset > 0xFFFFFFFFu)
            return false;
        const auto file = FileOffset(m_resourceRva + offset, length);
        return file && m_source.Read(*file, length, out);
    }

    /// The OffsetToData of the first entry of a resource directory, or of the
    /// first one with a wanted numeric id.
    std::optional<quint32> Entry(quint32 directory, std::optional<quint32> wantedId = std::nullopt) const
    {
        QByteArray header;
        if (!ReadResource(directory, 16, header))
            return std::nullopt;
        const quint32 count = quint32(U16(header, 12)) + U16(header, 14);
        QByteArray entries;
        if (!ReadResource(directory + 16, count * 8, entries))
            return std::nullopt;
        for (quint32 i = 0; i < count; ++i) {
            const quint32 name = U32(entries, i * 8);
            if (wantedId && ((name & kNamedEntryBit) || name != *wantedId))
                continue;
            return U32(entries, i * 8 + 4);
        }
        return std::nullopt;
    }

    const TSource& m_source;
    quint32 m_resourceRva = 0;
    quint32 m_resourceSize = 0;
    QByteArray m_sections;
};

qsizetype Align4(qsizetype offset)
{
    return (offset + 3) & ~qsizetype(3);
}

/// One block of the version resource tree: length, value length, type, key,
/// value, children; all offsets checked against the parent's end.
struct TBlock {
    qsizetype end = 0;
    QString key;
    qsizetype value = 0;
    qsizetype valueBytes = 0;
    qsizetype children = 0;
};

std::optional<TBlock> ReadBlock(const QByteArray& data, qsizetype offset, qsizetype limit)
{
    if (offset + 6 > limit)
        return std::nullopt;
    const qsizetype length = U16(data, offset);
    if (length < 6 || offset + length > limit)
        return std::nullopt;
    TBlock block;
    block.end = offset + length;
    const quint16 valueLength = U16(data, offset + 2);
    const bool text = U16(data, offset + 4) == 1;
    qsizetype pos = offset + 6;
    bool terminated = false;
    for (; pos + 2 <= block.end; pos += 2) {
        const QChar c(U16(data, pos));
        if (c.isNull()) {
            terminated = true;
            pos += 2;
            break;
        }
        block.key.append(c);
    }
    if (!terminated)
        return std::nullopt;
    block.value = std::min(Align4(pos), block.end);
    block.valueBytes = std::min<qsizetype>(text ? valueLength * 2 : valueLength, block.end - block.value);
    block.children = std::min(Align4(block.value + block.valueBytes), block.end);
    return block;
}

/// Calls visit for each child block until it returns false.
template <class TVisit>
void ForEachChild(const QByteArray& data, const TBlock& parent, TVisit visit)
{
    qsizetype pos = parent.children;
    while (const auto child = ReadBlock(data, pos, parent.end)) {
        if (!visit(*child))
            return;
        pos = Align4(child->end);
    }
}

std::optional<QByteArray> VersionResourceOf(const TSource& source)
{
    TImage image(source);
    if (!image.ReadHeaders())
        return std::nullopt;
    return image.VersionResource();
}

QString VersionOf(const TSource& source)
{
    const auto data = VersionResourceOf(source);
    if (!data)
        return kNoVersion;
    const auto root = ReadBlock(*data, 0, data->size());
    if (!root || root->valueBytes < 52 || U32(*data, root->value) != kFixedInfoSignature)
        return kNoVersion;
    const quint32 most = U32(*data, root->value + 8);
    const quint32 least = U32(*data, root->value + 12);
    return QStringLiteral("%1.%2.%3.%4").arg(most >> 16).arg(most & 0xFFFF).arg(least >> 16).arg(least & 0xFFFF);
}

QString VersionStringOf(const TSource& source, const QString& name)
{
    const auto data = VersionResourceOf(source);
    if (!data)
        return QString();
    const auto root = ReadBlock(*data, 0, data->size());
    if (!root)
        return QString();
    QString table;
    ForEachChild(*data, *root, [&](const TBlock& var) {
        if (var.key != QLatin1String("VarFileInfo"))
            return true;
        ForEachChild(*data, var, [&](const TBlock& translation) {
            if (translation.key != QLatin1String("Translation") || translation.valueBytes < 4)
                return true;
            table = QString::asprintf("%04x%04x", U16(*data, translation.value), U16(*data, translation.value + 2));
            return false;
        });
        return table.isEmpty();
    });
    if (table.isEmpty())
        return QString();
    QString result;
    ForEachChild(*data, *root, [&](const TBlock& info) {
        if (info.key != QLatin1String("StringFileInfo"))
            return true;
        ForEachChild(*data, info, [&](const TBlock& strings) {
            if (strings.key.compare(table, Qt::CaseInsensitive) != 0)
                return true;
            ForEachChild(*data, strings, [&](const TBlock& entry) {
                if (entry.key.compare(name, Qt::CaseInsensitive) != 0)
                    return true;
                QString text;
                for (qsizetype p = entry.value; p + 2 <= entry.value + entry.valueBytes; p += 2) {
                    const QChar c(U16(*data, p));
                    if (c.isNull())
                        break;
                    text.append(c);
                }
                result = text;
                return false;
            });
            return false;
        });
        return false;
    });
    return result;
}

} // namespace

QString FileVersion(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return kNoVersion;
    return VersionOf(TFileSource(file));
}

QString FileVersionString(const QString& path, const QString& name)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return VersionStringOf(TFileSource(file), name);
}

QString ImageVersion(const QByteArray& image)
{
    return VersionOf(TMemorySource(image));
}

QString ImageVersionString(const QByteArray& image, const QString& name)
{
    return VersionStringOf(TMemorySource(image), name);
}
