// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptus/ScriptusBase.h"

#include <QFile>

#include "base/AtomicFile.h"
#include "base/TextFields.h"
#include "foundation/PoolInterlocked.h"

namespace {

constexpr int kCommandFields = 10;

// A line break inside a text would end the command's line.
QString QuoteText(const QString& text)
{
    return QuoteField(WithoutLineBreaks(text));
}

} // namespace

QString ScriptusKindName(qint32 kind)
{
    switch (kind) {
    case ClickLeft:
        return QStringLiteral("Linke Maustaste klicken");
    case ClickDoubleLeft:
        return QStringLiteral("Linke Maustaste doppelklicken");
    case ClickRight:
        return QStringLiteral("Rechte Maustaste klicken");
    case SetText:
        return QStringLiteral("Feldtext eingeben");
    case SelectString:
        return QStringLiteral("Listentext auswählen");
    case Check:
        return QStringLiteral("Alternativschaltfläche");
    case BringToTop:
        return QStringLiteral("In den Vordergrund bringen");
    case Show:
        return QStringLiteral("Sichtbar machen");
    case Close:
        return QStringLiteral("Kontrollelement beenden");
    case StartExternalApplication:
        return QStringLiteral("Externe Anwendung starten");
    case WaitForTime:
        return QStringLiteral("Zeit in Sekunden warten");
    case KeyDown:
        return QStringLiteral("Taste gedrückt");
    case KeyUp:
        return QStringLiteral("Taste losgelassen");
    case 161:
        return QStringLiteral("WM_NCLBUTTONDOWN");
    case 513:
        return QStringLiteral("WM_LBUTTONDOWN");
    case 514:
        return QStringLiteral("WM_LBUTTONUP");
    case 516:
        return QStringLiteral("WM_RBUTTONDOWN");
    case 517:
        return QStringLiteral("WM_RBUTTONUP");
    default:
        return QStringLiteral("WM_UNKNOWN=0x%1").arg(static_cast<quint32>(kind), 0, 16);
    }
}

int ScriptusKindImage(qint32 kind)
{
    switch (kind) {
    case ClickLeft:
    case ClickRight:
    case ClickDoubleLeft:
        return 25;
    case SetText:
    case KeyDown:
    case SelectString:
        return 27;
    case Close:
        return 63;
    case Check:
        return 32;
    case 513:
    case 516:
        return 21;
    case StartExternalApplication:
        return 7;
    default:
        return -1;
    }
}

QString ScriptusParameterText(const TScriptus& command)
{
    switch (command.Kind) {
    case ClickLeft:
    case ClickRight:
    case ClickDoubleLeft:
        return command.HasPosition ? QStringLiteral("%1,%2").arg(command.X).arg(command.Y) : QString();
    case SetText:
    case SelectString:
    case StartExternalApplication:
    case WaitForTime:
        return command.Text;
    case Check:
        return command.Checked ? QStringLiteral("aktivieren") : QStringLiteral("deaktivieren");
    case KeyDown:
        if (!command.HasPosition)
            return QString();
        return QStringLiteral("0x%1,%2 ('%3')")
            .arg(static_cast<quint32>(command.Y), 0, 16)
            .arg(command.X)
            .arg(QChar(command.X & 0xFF));
    default:
        return QString();
    }
}

QString ScriptusFileLine(int list, const TScriptusRow& row)
{
    const TScriptus& c = row.Command;
    const QStringList fields{
        QString::number(c.Kind),  QuoteText(c.ControlPath), QuoteText(c.Title),   QuoteText(c.ClassName),
        QuoteText(c.Text),        QString::number(c.X),     QString::number(c.Y), BooleanToText(c.HasPosition),
        BooleanToText(c.Checked), QuoteText(c.Description)};
    return QString::number(list) + QLatin1Char(',') + BooleanToText(row.Active) + QLatin1Char(':') +
           fields.join(QLatin1Char(','));
}

bool ParseScriptusFileLine(const QString& line, int* list, TScriptusRow* row)
{
    const QStringList pieces = SplitFields(line, QLatin1Char(':'));
    if (pieces.size() < 2)
        throw EScriptusFile(QStringLiteral("Die Zeile \"%1\" enthält kein Kommando").arg(line));
    const QStringList fields = SplitFields(pieces.at(1), QLatin1Char(','));
    if (fields.size() < kCommandFields)
        throw EScriptusFile(QStringLiteral("Die Zeile \"%1\" enthält nur %2 von %3 Kommandofeldern")
                                .arg(line)
                                .arg(fields.size())
                                .arg(kCommandFields));
    TScriptus& c = row->Command;
    c.Kind = IntegerFromText(fields.at(0));
    c.ControlPath = UnquoteField(fields.at(1));
    c.Title = UnquoteField(fields.at(2));
    c.ClassName = UnquoteField(fields.at(3));
    c.Text = UnquoteField(fields.at(4));
    c.X = IntegerFromText(fields.at(5));
    c.Y = IntegerFromText(fields.at(6));
    c.HasPosition = BooleanFromText(fields.at(7));
    c.Checked = BooleanFromText(fields.at(8));
    c.Description = UnquoteField(fields.at(9));
    const QStringList prefix = SplitFields(pieces.at(0), QLatin1Char(','));
    if (prefix.size() < 2)
        throw EScriptusFile(
            QStringLiteral("Die Zeile \"%1\" hat keine Listennummer und keinen Aktiv-Schalter").arg(line));
    *list = IntegerFromText(prefix.at(0));
    row->Active = BooleanFromText(prefix.at(1));
    return *list == 0 || *list == 1;
}

int TScriptusList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TScriptusList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TScriptusList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const TScriptusRow& row = Row(index.row());
    const TScriptus& c = row.Command;
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        switch (index.column()) {
        case ColumnTitle:
            return c.Title;
        case ColumnClass:
            return c.ClassName;
        case ColumnCommand:
            return ScriptusKindName(c.Kind);
        case ColumnParameter:
            return ScriptusParameterText(c);
        case ColumnDescription:
            return c.Description;
        default:
            return QVariant();
        }
    }
    if (role == Qt::CheckStateRole && index.column() == ColumnTitle)
        return row.Active ? Qt::Checked : Qt::Unchecked;
    if (role == kImageIndexRole && index.column() == ColumnTitle)
        return ScriptusKindImage(c.Kind);
    if (role == Qt::ToolTipRole && !c.ControlPath.isEmpty())
        return QStringLiteral("Pfad: ") + c.ControlPath;
    return QVariant();
}

bool TScriptusList::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= rowCount())
        return false;
    if (role == Qt::CheckStateRole && index.column() == ColumnTitle) {
        m_rows[static_cast<std::size_t>(index.row())].Active = value.toInt() == Qt::Checked;
        Q_EMIT dataChanged(index, index, {role});
        return true;
    }
    if (role == Qt::EditRole && index.column() == ColumnDescription) {
        SetDescription(index.row(), value.toString());
        return true;
    }
    return false;
}

Qt::ItemFlags TScriptusList::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ColumnTitle)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant TScriptusList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    static const char* const names[] = {"Titel", "Klasse", "Kommando", "Parameter", "Beschreibung"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(names[section]) : QVariant();
}

int TScriptusList::Append(const TScriptusRow& row)
{
    const int at = rowCount();
    beginInsertRows(QModelIndex(), at, at);
    m_rows.push_back(row);
    endInsertRows();
    return at;
}

void TScriptusList::Clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void TScriptusList::Remove(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
}

int TScriptusList::Move(int from, int to)
{
    if (from < 0 || from >= rowCount())
        return from;
    to = std::clamp(to, 0, rowCount() - 1);
    if (to == from)
        return from;
    // Qt counts the destination before the move takes the row out.
    beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
    const TScriptusRow moved = m_rows[static_cast<std::size_t>(from)];
    m_rows.erase(m_rows.begin() + from);
    m_rows.insert(m_rows.begin() + to, moved);
    endMoveRows();
    return to;
}

int TScriptusList::MoveToOther(int row, TScriptusList& other)
{
    if (row < 0 || row >= rowCount() || &other == this)
        return -1;
    const TScriptusRow moved = Row(row);
    Remove(row);
    return other.Append(moved);
}

void TScriptusList::SetDescription(int row, const QString& text)
{
    if (row < 0 || row >= rowCount())
        return;
    m_rows[static_cast<std::size_t>(row)].Command.Description = text;
    const QModelIndex cell = index(row, ColumnDescription);
    Q_EMIT dataChanged(cell, cell);
}

TScriptusList& ScriptusSequence()
{
    static TScriptusList list;
    return list;
}

TScriptusList& ScriptusEvents()
{
    static TScriptusList list;
    return list;
}

bool ReadCommandFile(const QString& path, TScriptusFile& file)
{
    try {
        QByteArray content;
        if (!ReadWholeFile(path, content))
            throw EInOutError(QStringLiteral("Die Datei \"%1\" kann nicht geöffnet werden").arg(path));
        for (const QString& line : SplitLines(content)) {
            if (line.trimmed().isEmpty())
                continue;
            int list = 0;
            TScriptusRow row;
            if (!ParseScriptusFileLine(line, &list, &row))
                continue;
            (list == 0 ? file.Sequence : file.Events).push_back(row);
        }
        return true;
    } catch (const std::exception& error) {
        Log(QStringLiteral("ScriptusBase"),
            QStringLiteral("Beim Öffnen der Skriptus-Datei \"%1\" ist eine Ausnahme des Typs \"%2\" aufgetreten")
                .arg(path, ExceptionText(error)));
        return false;
    }
}

bool LoadCommandFile(const QString& path)
{
    ScriptusSequence().Clear();
    ScriptusEvents().Clear();
    TScriptusFile file;
    const bool read = ReadCommandFile(path, file);
    for (const TScriptusRow& row : file.Sequence)
        ScriptusSequence().Append(row);
    for (const TScriptusRow& row : file.Events)
        ScriptusEvents().Append(row);
    return read;
}

void SaveCommandFile(const QString& path)
{
    QStringList lines;
    for (const TScriptusRow& row : ScriptusSequence().Rows())
        lines.append(ScriptusFileLine(0, row));
    for (const TScriptusRow& row : ScriptusEvents().Rows())
        lines.append(ScriptusFileLine(1, row));
    WriteFileAtomically(path, JoinLines(lines));
}
