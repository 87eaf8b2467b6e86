// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QAbstractTableModel>
#include <QString>

#include "base/Exceptions.h"

/// Command kinds; the numbers are stored in command files and never change.
enum TScriptusKind : qint32 {
    ClickLeft = 2,
    Show = 5,
    BringToTop = 6,
    ClickRight = 8,
    SetText = 12,
    Close = 16,
    Check = 241,
    KeyDown = 256,
    KeyUp = 257,
    SelectString = 333,
    ClickDoubleLeft = 515,
    StartExternalApplication = 1025,
    WaitForTime = 1026,
};

/// One Scriptus command.
struct TScriptus {
    qint32 Kind = 0;
    QString ControlPath;
    QString Title;
    QString ClassName;
    bool Checked = false;
    QString Text;
    qint32 X = 0;
    qint32 Y = 0;
    bool HasPosition = false;
    QString Description;

    bool operator==(const TScriptus&) const = default;
};

/// A command with its active flag, as one row of a command list.
struct TScriptusRow {
    bool Active = true;
    TScriptus Command;
};

/// A command file line that cannot be read.
class EScriptusFile : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The name the "Kommando" column shows for a kind.
QString ScriptusKindName(qint32 kind);
/// Index in the main window's small image list; -1 for none.
int ScriptusKindImage(qint32 kind);
/// The "Parameter" column.
QString ScriptusParameterText(const TScriptus& command);

/// One command file line (without terminator): prefix, colon, ten fields.
/// Double quotes inside a text are doubled so the line reads back.
QString ScriptusFileLine(int list, const TScriptusRow& row);
/// Reads one line; false for a list number other than 0 and 1 (the line is
/// skipped). Raises EScriptusFile or EConvertError.
bool ParseScriptusFileLine(const QString& line, int* list, TScriptusRow* row);

/// One of the two command lists as an item model: the check box of column 0
/// is the row's active flag; columns "Titel", "Klasse", "Kommando",
/// "Parameter", "Beschreibung". Lives on the main thread.
class TScriptusList : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum TColumn {
        ColumnTitle,
        ColumnClass,
        ColumnCommand,
        ColumnParameter,
        ColumnDescription,
        ColumnCount
    };
    /// Column 0: the image index of the row's kind.
    static constexpr int kImageIndexRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const std::vector<TScriptusRow>& Rows() const { return m_rows; }
    const TScriptusRow& Row(int row) const { return m_rows.at(static_cast<std::size_t>(row)); }
    /// Appends a row and returns its index.
    int Append(const TScriptusRow& row);
    void Clear();
    void Remove(int row);
    /// Moves a row to another position of this list; returns where it went.
    int Move(int from, int to);
    int MoveFirst(int row) { return Move(row, 0); }
    int MoveUp(int row) { return Move(row, row - 1); }
    int MoveDown(int row) { return Move(row, row + 1); }
    int MoveLast(int row) { return Move(row, rowCount() - 1); }
    /// Moves a row to the end of the other list; returns its index there.
    int MoveToOther(int row, TScriptusList& other);
    void SetDescription(int row, const QString& text);

private:
    std::vector<TScriptusRow> m_rows;
};

/// The sequence list ("Sequenz") and the event list ("Ereignisse").
TScriptusList& ScriptusSequence();
TScriptusList& ScriptusEvents();

/// The two command lists of a command file, apart from the window's.
struct TScriptusFile {
    std::vector<TScriptusRow> Sequence;
    std::vector<TScriptusRow> Events;
};

/// Reads a command file, on any thread. On failure the rows read so far
/// stay, the error goes to the protocol and the result is false.
bool ReadCommandFile(const QString& path, TScriptusFile& file);

/// Empties both lists and reads the file into them. On failure the rows read
/// so far stay, the error goes to the protocol and the result is false.
bool LoadCommandFile(const QString& path);
/// Writes both lists (sequence first) to the file, replacing it whole.
/// Raises EInOutError.
void SaveCommandFile(const QString& path);
