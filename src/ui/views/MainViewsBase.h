// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include <QAbstractTableModel>
#include <QIcon>
#include <QStandardItemModel>
#include <QStringList>

class TSyncClient;
class TSyncObject;
class TSyncUser;

/// Category and image of every protocol entry of the views.
inline const QString kViewsCategory = QStringLiteral("MainViews");
inline constexpr int kViewsIcon = 21;

/// The list styles stored in the layout configuration.
inline constexpr int kStyleSymbols = 0;
inline constexpr int kStyleDetails = 3;

/// Where the views take their pictures from (the main window's image list).
using TIconSource = std::function<QIcon(int)>;
void SetViewIconSource(TIconSource source);
QIcon ViewIcon(int index);

/// "100.000": thousands grouped, no decimals, as every count of the views shows.
QString GroupedNumber(qint64 value);

/// One row of a catalogue list: copies of its texts (caption first), its
/// image, and what its info tip needs beyond the columns.
struct TListRow {
    QStringList texts;
    int image = -1;
    QStringList tipExtra;
    quint64 id = 0;
    /// Columns whose order is that of a value, not of the text (dates,
    /// sizes), with the row's value.
    std::vector<std::pair<int, double>> values;
};

/// Whether row a comes before row b in the column: by value where both rows
/// have one, else by text regardless of case.
bool RowLess(const TListRow& a, const TListRow& b, int column);

/// Where a list's filter text is looked for: columns and tipExtra entries.
struct TRowFilterFields {
    std::vector<int> columns{0};
    std::vector<int> tipExtras;

    /// Whether one of the row's fields holds the text, regardless of case.
    bool Matches(const TListRow& row, const QString& text) const;
};

/// Rows of one catalogue list (objects, clients or users). Rows arrive in
/// batches and are only ever appended or cleared, so a list of 100 000 rows
/// costs one insert notification per batch.
class TRowListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using TTipMaker = std::function<QString(const TListRow&)>;
    using TRows = std::deque<TListRow>;

    /// The rows as they are now, for a reader on another thread. A row is
    /// never changed once appended (but for its image, which such readers
    /// leave alone), appending moves no row, and the snapshot keeps the
    /// rows alive when the list is cleared meanwhile.
    struct TSnapshot {
        std::shared_ptr<const TRows> keep;
        std::vector<const TListRow*> rows;
    };

    TRowListModel(const QStringList& headers, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

    void Clear();
    void Append(std::vector<TListRow>&& rows);
    /// New images for all rows at once (the online marks).
    void SetImages(const std::vector<int>& images);
    const TListRow& Row(int row) const { return (*m_rows)[static_cast<size_t>(row)]; }
    int Count() const { return static_cast<int>(m_rows->size()); }
    TSnapshot Snapshot() const;
    /// The texts that identify a row's entry (the object list: folder and caption).
    QString Key(int row) const;
    /// The fields the filter field searches: columns and tipExtra entries.
    void SetFilterFields(std::vector<int> columns, std::vector<int> tipExtras = {});
    const TRowFilterFields& FilterFields() const { return m_filterFields; }

    void SetKeyColumns(std::vector<int> columns) { m_keyColumns = std::move(columns); }
    void SetAlignment(int column, Qt::Alignment alignment);
    void SetTipMaker(TTipMaker maker) { m_tipMaker = std::move(maker); }
    /// Info tips show only in the symbols style.
    void SetViewStyle(int style);
    int ViewStyle() const { return m_style; }
    /// Rows dragged from this list carry their keys under this type.
    void SetDragType(const QString& type) { m_dragType = type; }

private:
    QStringList m_headers;
    std::shared_ptr<TRows> m_rows = std::make_shared<TRows>();
    std::vector<int> m_keyColumns{0};
    TRowFilterFields m_filterFields;
    QList<Qt::Alignment> m_alignments;
    TTipMaker m_tipMaker;
    int m_style = kStyleSymbols;
    QString m_dragType;
};

/// Roles of the tree nodes.
inline constexpr int kNodeKeyRole = Qt::UserRole + 1;   ///< folded texts from the top, joined by "\n"
inline constexpr int kNodeLevelRole = Qt::UserRole + 2; ///< 0 for top-level nodes
inline constexpr int kNodeAddedRole = Qt::UserRole + 3; ///< made by "Knoten hinzufügen"
inline constexpr int kNodeTextRole = Qt::UserRole + 4;  ///< the name before an edit
inline constexpr int kRowImageRole = Qt::UserRole + 5;  ///< a list row's image index

/// The key of a node path: its texts folded, so letter case never tells nodes apart.
QString NodeKey(const QStringList& pieces);
/// The texts from the top down to the node.
QStringList NodePath(const QStandardItem* item);
/// Why a group node may not get this name ("" when it may): an empty name,
/// a backslash (it separates the groups of a path) or a sibling's name.
QString NodeNameRefusal(const QStandardItem* item, const QString& name);

/// The object tree's path of an object's folder below "Alle Ordner":
/// "Standardordner" and the pieces of a relative folder, or the pieces of an
/// absolute one.
QStringList ObjectFolderPieces(const QString& folder);
/// The folder the object tree files an object under: its stored source
/// folder on the master server, its target folder on a client.
QString ObjectViewFolder(const TSyncObject& object, bool master);

/// The object list's row, with the columns of the given list style.
TListRow ObjectListRow(const TSyncObject& object, int style);
/// The info tip of an object row.
QString ObjectTip(const TListRow& row);
/// The object list's headers and the column content alignments.
QStringList ObjectListHeaders();
void SetupObjectListModel(TRowListModel& model);

/// The object list's status texts.
QString ObjectCountText(int objectCount);
QString ObjectFilterText(bool negated, const QString& clientName, int shown, int counted);
QString ObjectReadingText(int objectCount);
QString FolderReadingText(int folderCount);

/// The information when a filter needs downloads and there are none.
QString NoDownloadsText();

/// Paints a view's background in the colour of inactive caption text, or
/// back in the window colour.
void ShowGreyBackground(QWidget& view, bool grey);
/// Paints a filtered list in the colour of inactive caption text.
void ShowFilterColour(QWidget& view, bool filtered);

/// A tree of group nodes (client groups, user groups) that a rebuild merges
/// into instead of clearing: nodes still needed and nodes just added by hand
/// survive with their expansion and an open name editor.
class TGroupTreeModel : public QStandardItemModel
{
    Q_OBJECT
public:
    /// dropType: the list rows this tree accepts; onDrop gets their keys and
    /// the target node.
    TGroupTreeModel(int image, int selectedImage, const QString& dropType, QObject* parent = nullptr);

    /// Starts a rebuild: every node is a candidate for removal.
    void BeginMerge();
    /// A path that the rebuild needs; returns its last node (nullptr for none).
    QStandardItem* Need(const QStringList& pieces);
    /// Ends a rebuild: removes nodes that were not needed, except hand-made ones.
    void EndMerge();
    /// Adds "Neuer Knoten" below a node (or at the top); it survives rebuilds
    /// until renamed or the tree is rebuilt from scratch.
    QStandardItem* AddHandNode(QStandardItem* parent);
    QStandardItem* FindNode(const QString& key) const;

    std::function<void(const QStringList& keys, QStandardItem* target)> onDrop;
    /// A node got a new name by editing; oldText is the name it had.
    std::function<void(QStandardItem* node, const QString& oldText)> onRenamed;
    /// An edit was undone; the German reason.
    std::function<void(const QString& reason)> onRefused;

    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    QStandardItem* MakeNode(const QString& text, int level);
    void Sweep(QStandardItem* parent);
    void OnItemChanged(QStandardItem* item);

    bool m_quiet = false; // changes of our own are no edits

    int m_image;
    int m_selectedImage;
    QString m_dropType;
    QSet<QStandardItem*> m_needed;
};
