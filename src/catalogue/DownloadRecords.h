// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "base/OpenIndex.h"

class TAtomicFile;

/// One record of the download list as its fields.
struct TDownloadFields {
    QString address;
    QString computerName;
    quint64 objectId = 0;
};

/// The records of the download list, packed: every address, computer name and
/// object id is stored once, and a record is three numbers into those stores,
/// so that a million records fit into some tens of megabytes. A computer and id
/// pair is held once at most, found in constant time with the computer name
/// compared ignoring case. Records keep the order they came in. Not locked:
/// the download list guards it.
class TDownloadRecords
{
public:
    TDownloadRecords();
    ~TDownloadRecords();
    TDownloadRecords(const TDownloadRecords&) = delete;
    TDownloadRecords& operator=(const TDownloadRecords&) = delete;

    /// Adds a record (the computer name in lower case already); false, and
    /// nothing added, when its computer and id pair is held.
    bool Add(const QString& address, quint64 objectId, const QString& computerName);
    /// Whether a record has this id and a computer name equal to this one
    /// ignoring case.
    bool Contains(const QString& computerName, quint64 objectId) const;
    /// Drops the records whose id live refuses; gives how many.
    int RemoveUnless(const std::function<bool(quint64 objectId)>& live);
    int Count() const;
    TDownloadFields At(int index) const;
    /// Appends every record's line to the file, each ended by CR LF.
    void WriteLines(TAtomicFile& file) const;
    void Clear();

private:
    struct TRecord {
        quint32 address;
        quint32 computerName;
        quint32 objectId;
    };
    class TStores;

    quint32 InternName(const QString& computerName);
    std::size_t PairHash(const TRecord& record) const;
    bool HoldsPair(std::size_t pair) const;
    void IndexAll();

    std::unique_ptr<TStores> m_stores;
    std::vector<TRecord> m_records;
    TOpenIndex<quint32, ~0u> m_pairs; // records by computer and id
};

/// "address,computername,id", the line of the download list file.
void AppendDownloadLine(QByteArray& out, QByteArrayView address, QByteArrayView computerName, quint64 objectId);
