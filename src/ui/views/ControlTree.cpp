// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ControlTree.h"

#include <memory>
#include <set>

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QThread>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "platform/DesktopAutomation.h"
#include "scriptus/SyncControl.h"
#include "ui/main/IconTable.h"

namespace {

const QString kCategory = QStringLiteral("MainViews");
constexpr int kLogImage = 21;
constexpr int kVisibleImage = 23;
constexpr int kHiddenImage = 24;
// Sorting ignores letter case, as the program nodes' look-up does.
constexpr int kSortRole = Qt::UserRole + 3;

void SetImage(QStandardItem* item, int image)
{
    item->setData(image, TControlTree::kImageRole);
    item->setIcon(IconTable::Icon(image));
}

QStandardItem* MakeItem(const QString& text, int image)
{
    auto* item = new QStandardItem(text);
    item->setEditable(false);
    item->setData(text.toLower(), kSortRole);
    SetImage(item, image);
    return item;
}

QString NodeText(TSyncControl* control)
{
    const QString bracket = QStringLiteral("[%1]").arg(control->ClassName());
    return control->NameElement().isEmpty() ? bracket : control->NameElement() + QLatin1Char(' ') + bracket;
}

} // namespace

TControlTree::TControlTree(QObject* parent) : QStandardItemModel(parent)
{
    setSortRole(kSortRole);
}

void TControlTree::Build()
{
    Log(kCategory, QStringLiteral("Kontrollelemente-TreeView wird aufgebaut"), kLogImage);
    const bool visibleOnly =
        OptionsRegistered() && MainConfig().GetBoolean(QStringLiteral("MiscShowVisibleControlsOnly"));
    const qint64 ownProcess = QCoreApplication::applicationPid();
    ++m_generation;
    m_programs.clear();
    m_iconWindows.clear();
    m_nodes.clear();
    {
        TReadGuard guard(ControlListLock());
        clear();
        for (TSyncControl* c = FirstControl(); c; c = NextControl(c)) {
            if (c->Pid() == ownProcess || (visibleOnly && !c->Visible()))
                continue;
            NodeFor(c);
        }
    }
    sort(0);
    Log(kCategory, QStringLiteral("Kontrollelemente-TreeView wurde aufgebaut"), kLogImage);
    FetchIcons();
}

// Ancestors come first, whether or not they are shown by themselves: a
// visible control keeps its hidden windows above it.
QStandardItem* TControlTree::NodeFor(TSyncControl* control)
{
    std::vector<TSyncControl*> chain;
    std::set<TSyncControl*> seen;
    for (TSyncControl* c = control; c && !m_nodes.contains(c->Handle()) && seen.insert(c).second;
         c = c->ParentElement())
        chain.push_back(c);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        TSyncControl* c = *it;
        TSyncControl* parent = c->ParentElement();
        // An owner chain that loops ends at the program node.
        QStandardItem* parentNode = parent ? m_nodes.value(parent->Handle()) : nullptr;
        if (!parentNode)
            parentNode = ProgramNode(c);
        QStandardItem* node = MakeItem(NodeText(c), c->Visible() ? kVisibleImage : kHiddenImage);
        node->setData(c->Handle(), kHandleRole);
        parentNode->appendRow(node);
        m_nodes.insert(c->Handle(), node);
    }
    return m_nodes.value(control->Handle());
}

QStandardItem* TControlTree::ProgramNode(TSyncControl* control)
{
    const QString key = control->FileName().toLower();
    QStandardItem* program = m_programs.value(key);
    if (!program) {
        program = MakeItem(control->FileName(), kHiddenImage);
        appendRow(program);
        m_programs.insert(key, program);
    }
    if (control->Visible()) {
        if (program->data(kImageRole).toInt() == kHiddenImage) {
            SetImage(program, kVisibleImage);
            // The program's picture, where its window has one, replaces the image.
            m_iconWindows.emplace_back(QPersistentModelIndex(program->index()), control->Window());
        }
    }
    return program;
}

TSyncControl* TControlTree::ControlOf(const QModelIndex& node)
{
    const QVariant handle = node.data(kHandleRole);
    return handle.isValid() ? FindControlByHandle(handle.toULongLong()) : nullptr;
}

QModelIndex TControlTree::NodeOf(TSyncControl* control) const
{
    const QStandardItem* node = control ? m_nodes.value(control->Handle()) : nullptr;
    return node && node->model() == this ? node->index() : QModelIndex();
}

void TControlTree::FetchIcons()
{
    if (m_iconWindows.empty())
        return;
    std::vector<quint64> windows;
    for (const auto& [node, window] : m_iconWindows)
        windows.push_back(window);
    auto images = std::make_shared<std::vector<QImage>>();
    // The desktop thread may be busy with a list read for seconds.
    QThread* reader = QThread::create([windows, images] {
        for (const quint64 window : windows) {
            int width = 0;
            int height = 0;
            const QByteArray pixels = DesktopAutomation::WindowIcon(window, &width, &height);
            images->push_back(pixels.isEmpty() ? QImage()
                                               : QImage(reinterpret_cast<const uchar*>(pixels.constData()), width,
                                                        height, QImage::Format_ARGB32)
                                                     .copy());
        }
    });
    reader->setObjectName(QStringLiteral("ProgramIcons"));
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    connect(reader, &QThread::finished, this, [this, generation = m_generation, images] {
        if (m_generation != generation)
            return;
        for (std::size_t i = 0; i < images->size() && i < m_iconWindows.size(); ++i) {
            const QPersistentModelIndex& node = m_iconWindows[i].first;
            if (!images->at(i).isNull() && node.isValid())
                setData(node, QIcon(QPixmap::fromImage(images->at(i))), Qt::DecorationRole);
        }
    });
    reader->start();
}
