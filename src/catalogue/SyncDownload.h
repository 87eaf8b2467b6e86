// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QString>

class TSyncClient;
class TSyncObject;

/// One confirmed transfer: which computer received which form (id) of an
/// object. The list keeps its records packed, not as such objects.
class TSyncDownload
{
public:
    /// The computer name is stored in lower case.
    TSyncDownload(const QString& address, quint64 objectId, const QString& computerName);

    QString DownloadAddress() const { return m_address; }
    QString DownloadComputerName() const { return m_computerName; }
    quint64 DownloadObjectId() const { return m_objectId; }

    /// "address,computername,id"
    QString ToLine() const;
    /// Reads such a line; nullptr unless it has exactly 3 fields; a non-digit id
    /// raises EConvertError.
    static std::unique_ptr<TSyncDownload> FromLine(const QString& line);

private:
    QString m_address;
    QString m_computerName;
    quint64 m_objectId = 0;
};

/// The record at this place of the list, in the order of the file.
TSyncDownload DownloadAt(int index);
int DownloadCount();
/// Appends a record for a confirmation and its line to the file, on disk
/// before it returns; false, and nothing written, when the computer has a
/// record for the id already. Raises EInOutError.
bool RecordDownload(const QString& address, quint64 objectId, const QString& computerName);
/// Whether the client's login computer name has a record for the object's present id.
bool HasDownloaded(const TSyncClient& client, const TSyncObject& object);
/// Drops the records whose id is the present id of no object; gives how many.
int CleanDownloads();
/// Reads the list; false when there was no file to read.
bool ReadDownloadList();
/// Writes the list just read anew, which drops repeated pairs of earlier
/// versions; cleaned unless an import still runs or the object list is
/// empty. At start once every list is in.
void RewriteDownloadList();
/// Both at once, for a list read when the object list is in already.
void LoadDownloadList();
/// Cleans, then writes the remaining records atomically; after every change
/// of the object list.
void SaveDownloadList();
/// Writes every record atomically, without cleaning.
void WriteDownloadList();
/// After a change of the object list: cleans, and rewrites the file when
/// that removed records or an append had failed.
void TidyDownloadList();
void FreeAllDownloads();
