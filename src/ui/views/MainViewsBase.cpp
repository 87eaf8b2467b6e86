// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/MainViewsBase.h"

#include <QApplication>
#include <QLocale>
#include <QMimeData>
#include <QPalette>
#include <QThreadPool>
#include <QWidget>

#include "catalogue/ImportChilds.h"
#include "catalogue/SyncObject.h"
#include "platform/ProgramPaths.h"

namespace {

TIconSource& IconSource()
{
    static TIconSource source;
    return source;
}

// Texts many rows share: one copy each instead of one per row.
const QString& Yes()
{
    static const QString text = QStringLiteral("Ja");
    return text;
}
const QString& No()
{
    static const QString text = QStringLiteral("Nein");
    return text;
}
const QString& Restart()
{
    static const QString text = QStringLiteral("Neustart");
    return text;
}

// Objects of one folder stand together in the list: their rows share one
// copy of the folder texts instead of holding one each.
const QString& Shared(QString& last, const QString& text)
{
    if (text != last)
        last = text;
    return last;
}

enum TObjectColumn {
    Caption,
    Loaded,
    Installed,
    Attributes,
    Date,
    Size,
    Version,
    SourceFolder,
    TargetFolder
};

} // namespace

void SetViewIconSource(TIconSource source)
{
    IconSource() = std::move(source);
}

QIcon ViewIcon(int index)
{
    if (index < 0 || !IconSource())
        return QIcon();
    return IconSource()(index);
}

QString GroupedNumber(qint64 value)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(value);
}

TRowListModel::TRowListModel(const QStringList& headers, QObject* parent)
    : QAbstractTableModel(parent), m_headers(headers)
{
    m_alignments.fill(Qt::AlignLeft | Qt::AlignVCenter, headers.size());
}

int TRowListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TRowListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant TRowListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    const TListRow& row = Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.texts.value(index.column());
    case Qt::DecorationRole:
        return index.column() == 0 ? QVariant(ViewIcon(row.image)) : QVariant();
    case Qt::ToolTipRole:
        // The details style shows everything in its columns already.
        if (m_style == kStyleSymbols && m_tipMaker)
            return m_tipMaker(row);
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_alignments.value(index.column()));
    case Qt::UserRole:
        return Key(index.row());
    case kRowImageRole:
        return row.image;
    default:
        return {};
    }
}

QVariant TRowListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return m_headers.value(section);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_alignments.value(section));
    return {};
}

Qt::ItemFlags TRowListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && !m_dragType.isEmpty())
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

QStringList TRowListModel::mimeTypes() const
{
    return m_dragType.isEmpty() ? QStringList() : QStringList{m_dragType};
}

QMimeData* TRowListModel::mimeData(const QModelIndexList& indexes) const
{
    if (m_dragType.isEmpty())
        return nullptr;
    QStringList keys;
    QList<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid() && !rows.contains(index.row()))
            rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    for (int row : rows)
        keys.append(Key(row));
    auto* data = new QMimeData;
    data->setData(m_dragType, keys.join(QLatin1Char('\n')).toUtf8());
    return data;
}

void TRowListModel::Clear()
{
    if (m_rows->empty())
        return;
    beginResetModel();
    std::shared_ptr<TRows> old = std::exchange(m_rows, std::make_shared<TRows>());
    endResetModel();
    // A million texts take a while to free: not on the main thread.
    QThreadPool::globalInstance()->start([old]() mutable { old.reset(); });
}

void TRowListModel::Append(std::vector<TListRow>&& rows)
{
    if (rows.empty())
        return;
    const int first = Count();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    m_rows->insert(m_rows->end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
}

TRowListModel::TSnapshot TRowListModel::Snapshot() const
{
    TSnapshot snapshot{m_rows, {}};
    snapshot.rows.reserve(m_rows->size());
    for (const TListRow& row : *m_rows)
        snapshot.rows.push_back(&row);
    return snapshot;
}

QString TRowListModel::Key(int row) const
{
    if (row < 0 || row >= Count())
        return {};
    QString key;
    // Folder first, then caption: the object list's key is its stored source name.
    for (auto it = m_keyColumns.rbegin(); it != m_keyColumns.rend(); ++it)
        key += Row(row).texts.value(*it);
    return key;
}

void TRowListModel::SetFilterFields(std::vector<int> columns, std::vector<int> tipExtras)
{
    m_filterFields = {std::move(columns), std::move(tipExtras)};
}

bool RowLess(const TListRow& a, const TListRow& b, int column)
{
    const auto value = [column](const TListRow& row) -> const double* {
        for (const auto& [valueColumn, number] : row.values)
            if (valueColumn == column)
                return &number;
        return nullptr;
    };
    const double* first = value(a);
    const double* second = value(b);
    if (first != nullptr && second != nullptr)
        return *first < *second;
    return a.texts.value(column).compare(b.texts.value(column), Qt::CaseInsensitive) < 0;
}

bool TRowFilterFields::Matches(const TListRow& row, const QString& text) const
{
    for (int column : columns)
        if (row.texts.value(column).contains(text, Qt::CaseInsensitive))
            return true;
    for (int extra : tipExtras)
        if (row.tipExtra.value(extra).contains(text, Qt::CaseInsensitive))
            return true;
    return false;
}

void TRowListModel::SetImages(const std::vector<int>& images)
{
    const size_t count = std::min(images.size(), m_rows->size());
    for (size_t row = 0; row < count; ++row)
        (*m_rows)[row].image = images[row];
    if (count > 0)
        Q_EMIT dataChanged(index(0, 0), index(static_cast<int>(count) - 1, 0), {Qt::DecorationRole, kRowImageRole});
}

void TRowListModel::SetAlignment(int column, Qt::Alignment alignment)
{
    if (column >= 0 && column < m_alignments.size())
        m_alignments[column] = alignment | Qt::AlignVCenter;
}

void TRowListModel::SetViewStyle(int style)
{
    m_style = style;
}

QString NodeKey(const QStringList& pieces)
{
    return pieces.join(QLatin1Char('\n')).toCaseFolded();
}

QStringList NodePath(const QStandardItem* item)
{
    QStringList pieces;
    for (; item != nullptr; item = item->parent())
        pieces.prepend(item->text());
    return pieces;
}

QString NodeNameRefusal(const QStandardItem* item, const QString& name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("Der Name eines Knotens darf nicht leer sein.");
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("Der Name eines Knotens darf keinen umgekehrten Schrägstrich (\\) enthalten.");
    const QStandardItem* parent = item->parent();
    const QStandardItemModel* model = item->model();
    const int count = parent != nullptr ? parent->rowCount() : (model != nullptr ? model->rowCount() : 0);
    for (int row = 0; row < count; ++row) {
        const QStandardItem* sibling = parent != nullptr ? parent->child(row) : model->item(row);
        if (sibling != item && sibling->text().compare(name, Qt::CaseInsensitive) == 0)
            return QStringLiteral("Auf dieser Ebene gibt es bereits einen Knoten \"%1\".").arg(name);
    }
    return {};
}

QStringList ObjectFolderPieces(const QString& folder)
{
    if (folder.isEmpty())
        return {QStringLiteral("Standardordner")};
    QStringList pieces = folder.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    // A relative folder lies in the object folder; an absolute one (where
    // the root "/" is the whole drive part) directly below "Alle Ordner".
    if (!HasDrivePart(folder))
        pieces.prepend(QStringLiteral("Standardordner"));
    return pieces;
}

QString ObjectViewFolder(const TSyncObject& object, bool master)
{
    return master ? FolderOfPath(object.SourceName()) : object.TargetFolder();
}

TListRow ObjectListRow(const TSyncObject& object, int style)
{
    thread_local QString lastFolder;
    thread_local QString lastTarget;
    const QString source = object.SourceName();
    const QString folder = Shared(lastFolder, FolderOfPath(source));
    const bool details = style == kStyleDetails;
    const bool current = object.IsCurrent();
    const bool deleteTarget = object.DeleteTarget();
    const bool persistent = object.Persistent();

    TListRow row;
    row.texts.reserve(9);
    row.texts << source.mid(folder.size());
    if (details) {
        const bool installed = current && object.IsInstalled();
        row.texts << (current ? Yes() : No()) << (installed ? (object.PendingInRunOnce() ? Restart() : Yes()) : No());
    } else {
        row.texts << QString() << QString();
    }
    row.texts << object.AttributeLetters() << object.ModifiedDateText() << QString::number(object.Size())
              << object.Version() << folder << Shared(lastTarget, FolderOfPath(object.TargetFolder()));

    if (object.DistributeFolder())
        row.image = details ? 42 : (deleteTarget ? 12 : current ? 7 : 10);
    else if (details)
        row.image = persistent ? 52 : 29;
    else
        row.image = !persistent ? 8 : deleteTarget ? 11 : current ? 2 : 9;

    QString heading;
    if (object.DistributeFolder()) {
        heading = QStringLiteral("Ordnerstruktur (%1 Unterordner):\n")
                      .arg(object.IncludeSubfolders() ? QStringLiteral("mit") : QStringLiteral("ohne"));
    } else if (const TSyncObject* parent = object.Parent()) {
        heading = QStringLiteral("Ordnerstrukturobjekt (von \"%1\"):\n").arg(parent->SourceName());
    }
    row.tipExtra << heading << object.Description();
    row.id = object.ComputeId();
    row.values = {{Date, object.ModifiedDate()}, {Size, double(object.Size())}};
    return row;
}

QString ObjectTip(const TListRow& row)
{
    const QString description = row.tipExtra.value(1);
    return QStringLiteral("%1%2\nBeschreibung: %3\nGröße: %4 Bytes\nGeändert am: %5\nAttribute: [%6]\nVersion: "
                          "%7\nZielordner: %8\n______\nObjekt-Id: %9")
        .arg(row.tipExtra.value(0), row.texts.value(SourceFolder) + row.texts.value(Caption),
             description.isEmpty() ? QStringLiteral("(unbenannt)") : description,
             GroupedNumber(row.texts.value(Size).toLongLong()), row.texts.value(Date), row.texts.value(Attributes),
             row.texts.value(Version), row.texts.value(TargetFolder), QString::number(row.id));
}

QStringList ObjectListHeaders()
{
    return {QStringLiteral("Objekt"),           QStringLiteral("Geladen"),
            QStringLiteral("Installiert"),      QStringLiteral("Attribute"),
            QStringLiteral("Dateidatum"),       QStringLiteral("Dateigröße"),
            QStringLiteral("Version"),          QStringLiteral("Server-Quellordner"),
            QStringLiteral("Client-Zielordner")};
}

void SetupObjectListModel(TRowListModel& model)
{
    model.SetKeyColumns({Caption, SourceFolder});
    // Name, description (second tip extra) and target folder.
    model.SetFilterFields({Caption, TargetFolder}, {1});
    model.SetAlignment(Attributes, Qt::AlignHCenter);
    model.SetAlignment(Size, Qt::AlignRight);
    model.SetTipMaker(&ObjectTip);
}

QString ObjectCountText(int objectCount)
{
    return QStringLiteral("%1 Objekt(e)").arg(objectCount);
}

QString ObjectFilterText(bool negated, const QString& clientName, int shown, int counted)
{
    return QStringLiteral("Alle %1aktuellen Objekte des Clients \"%2\" werden gezeigt (%3 von insgesamt %4 Objekten)")
        .arg(negated ? QStringLiteral("nicht-") : QString(), clientName)
        .arg(shown)
        .arg(counted);
}

QString ObjectReadingText(int objectCount)
{
    return QStringLiteral("%1 Objekte eingelesen, noch nicht beendet...").arg(GroupedNumber(objectCount));
}

QString FolderReadingText(int folderCount)
{
    return QStringLiteral("%1 Ordner eingelesen").arg(folderCount);
}

QString NoDownloadsText()
{
    return QStringLiteral("Es liegen keine Informationen über heruntergeladene Objekte vor.");
}

void ShowGreyBackground(QWidget& view, bool grey)
{
    // From the application's palette: the view's own was overwritten by the last call.
    const QPalette system = QApplication::palette();
    QPalette palette = view.palette();
    palette.setColor(QPalette::Base,
                     grey ? system.color(QPalette::Inactive, QPalette::Midlight) : system.color(QPalette::Base));
    view.setPalette(palette);
}

void ShowFilterColour(QWidget& view, bool filtered)
{
    // The light grey of inactive captions: a filtered list must not pass for the whole one.
    ShowGreyBackground(view, filtered);
    view.setProperty("plenwickFiltered", filtered);
}

TGroupTreeModel::TGroupTreeModel(int image, int selectedImage, const QString& dropType, QObject* parent)
    : QStandardItemModel(parent), m_image(image), m_selectedImage(selectedImage), m_dropType(dropType)
{
    connect(this, &QStandardItemModel::itemChanged, this, &TGroupTreeModel::OnItemChanged);
}

void TGroupTreeModel::OnItemChanged(QStandardItem* item)
{
    if (m_quiet || item == nullptr)
        return;
    const QString oldText = item->data(kNodeTextRole).toString();
    const QString newText = item->text();
    if (newText == oldText)
        return;
    const QString refusal = NodeNameRefusal(item, newText);
    const bool quiet = std::exchange(m_quiet, true);
    item->setText(refusal.isEmpty() ? newText : oldText);
    item->setData(refusal.isEmpty() ? newText : oldText, kNodeTextRole);
    m_quiet = quiet;
    if (!refusal.isEmpty()) {
        if (onRefused)
            onRefused(refusal);
    } else if (onRenamed) {
        onRenamed(item, oldText);
    }
}

QStandardItem* TGroupTreeModel::MakeNode(const QString& text, int level)
{
    auto* item = new QStandardItem(text);
    QIcon icon = ViewIcon(m_image);
    if (m_selectedImage >= 0) {
        const QIcon selected = ViewIcon(m_selectedImage);
        for (const QSize& size : selected.availableSizes())
            icon.addPixmap(selected.pixmap(size), QIcon::Selected);
    }
    item->setIcon(icon);
    item->setData(level, kNodeLevelRole);
    item->setData(text, kNodeTextRole);
    item->setEditable(true);
    item->setDropEnabled(true);
    item->setDragEnabled(false);
    return item;
}

void TGroupTreeModel::BeginMerge()
{
    m_needed.clear();
    m_quiet = true;
}

QStandardItem* TGroupTreeModel::Need(const QStringList& pieces)
{
    QStandardItem* node = invisibleRootItem();
    QStandardItem* last = nullptr;
    bool created = false;
    for (int level = 0; level < pieces.size(); ++level) {
        const QString& piece = pieces[level];
        QStandardItem* found = nullptr;
        if (!created) {
            for (int row = 0; row < node->rowCount() && found == nullptr; ++row) {
                QStandardItem* child = node->child(row);
                if (child->text().compare(piece, Qt::CaseInsensitive) == 0)
                    found = child;
            }
        }
        if (found == nullptr) {
            found = MakeNode(piece, level);
            node->appendRow(found);
            created = true;
        }
        m_needed.insert(found);
        node = found;
        last = found;
    }
    // A node that now holds entries is no longer only hand-made.
    if (last != nullptr)
        last->setData(false, kNodeAddedRole);
    return last;
}

void TGroupTreeModel::EndMerge()
{
    Sweep(invisibleRootItem());
    m_needed.clear();
    m_quiet = false;
}

void TGroupTreeModel::Sweep(QStandardItem* parent)
{
    for (int row = parent->rowCount() - 1; row >= 0; --row) {
        QStandardItem* child = parent->child(row);
        Sweep(child);
        const bool keep = m_needed.contains(child) || child->data(kNodeAddedRole).toBool() || child->rowCount() > 0;
        if (!keep)
            parent->removeRow(row);
    }
}

QStandardItem* TGroupTreeModel::AddHandNode(QStandardItem* parent)
{
    QStandardItem* under = parent != nullptr ? parent : invisibleRootItem();
    const int level = parent != nullptr ? parent->data(kNodeLevelRole).toInt() + 1 : 0;
    const bool quiet = std::exchange(m_quiet, true);
    QStandardItem* node = MakeNode(QStringLiteral("Neuer Knoten"), level);
    node->setData(true, kNodeAddedRole);
    under->appendRow(node);
    m_quiet = quiet;
    return node;
}

QStandardItem* TGroupTreeModel::FindNode(const QString& key) const
{
    std::function<QStandardItem*(QStandardItem*)> search = [&](QStandardItem* parent) -> QStandardItem* {
        for (int row = 0; row < parent->rowCount(); ++row) {
            QStandardItem* child = parent->child(row);
            if (NodeKey(NodePath(child)) == key)
                return child;
            if (QStandardItem* deeper = search(child))
                return deeper;
        }
        return nullptr;
    };
    return search(invisibleRootItem());
}

QStringList TGroupTreeModel::mimeTypes() const
{
    return {m_dropType};
}

Qt::DropActions TGroupTreeModel::supportedDropActions() const
{
    return Qt::MoveAction | Qt::CopyAction;
}

bool TGroupTreeModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) const
{
    return data != nullptr && data->hasFormat(m_dropType) && parent.isValid();
}

bool TGroupTreeModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                   const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent) || !onDrop)
        return false;
    const QStringList keys = QString::fromUtf8(data->data(m_dropType)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    onDrop(keys, itemFromIndex(parent));
    // The rows stay in their list: only their group changed.
    return false;
}
