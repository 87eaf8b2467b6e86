// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopAutomation.h"

#include <atspi/atspi.h>
#include <gio/gio.h>
#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unordered_map>

#include <QFile>
#include <QFileInfo>

#include "base/KeyCodes.h"
#include "base/WindowProcess.h"
#include "base/WorkerThread.h"
#include "platform/AccessibleBatch.h"
#include "platform/ShellOpen.h"

namespace {

constexpr int kMaxName = 199;
constexpr int kMaxText = 99;
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxControls = 50000;
constexpr quint64 kFirstControlHandle = quint64(1) << 32;
constexpr int kMaxSearchedChildren = 4096;
// A hanging program costs this once per level of a window's tree.
constexpr int kBatchTimeoutMs = 2000;

template <typename T>
struct TGFree {
    void operator()(T* p) const { g_free(p); }
};
using TGString = std::unique_ptr<gchar, TGFree<gchar>>;

struct TUnref {
    void operator()(gpointer p) const
    {
        if (p)
            g_object_unref(p);
    }
};
template <typename T>
using TGObject = std::unique_ptr<T, TUnref>;

struct TFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using TReply = std::unique_ptr<T, TFree>;

QString OneLine(QString text)
{
    // A line break would end a command file's line.
    for (QChar& c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('\t'))
            c = QLatin1Char(' ');
    return text.left(kMaxName);
}

QString TakeString(gchar* text)
{
    TGString owner(text);
    return text ? QString::fromUtf8(text) : QString();
}

// Base name of the program that owns a process, as a user knows it.
QString ProgramName(qint64 pid)
{
    if (pid <= 0)
        return QString();
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    QFile cmdline(proc + QStringLiteral("cmdline"));
    if (cmdline.open(QIODevice::ReadOnly)) {
        const QByteArray first = cmdline.readAll().split('\0').value(0);
        if (!first.isEmpty())
            return QFileInfo(QString::fromLocal8Bit(first)).fileName();
    }
    const QString exe = QFileInfo(proc + QStringLiteral("exe")).symLinkTarget();
    if (!exe.isEmpty())
        return QFileInfo(exe).fileName();
    QFile comm(proc + QStringLiteral("comm"));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromLocal8Bit(comm.readAll().trimmed());
    return QString();
}

// A program's accessibility bridge sometimes leaves a call unanswered until
// the next message reaches it; one repeat after a short wait gets it through.
template <typename F>
gboolean Twice(F call)
{
    GError* error = nullptr;
    gboolean result = call(&error);
    if (error) {
        g_error_free(error);
        error = nullptr;
        result = call(&error);
        if (error)
            g_error_free(error);
    }
    return result;
}

// Makes sure the program answers before it is asked for more.
void Nudge(AtspiAccessible* accessible)
{
    TGObject<AtspiComponent> component(atspi_accessible_get_component_iface(accessible));
    if (component)
        Twice([&](GError** e) {
            AtspiRect* rect = atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, e);
            g_free(rect);
            return rect != nullptr;
        });
}

/// The one thread that talks to the X server and the accessibility bus.
class TDesktopThread
{
public:
    static TDesktopThread& Instance()
    {
        static TDesktopThread* thread = [] {
            auto* made = new TDesktopThread; // lives as long as the process
            s_started = true;
            return made;
        }();
        return *thread;
    }
    /// Whether Instance() was ever called; a process that never talked to
    /// the desktop holds no keys.
    static bool Started() { return s_started; }

    template <typename R>
    R Call(const std::function<R()>& work)
    {
        R result{};
        Run([&] { result = work(); });
        return result;
    }

    /// Queues work for the desktop thread without waiting for it.
    void Post(std::function<void()> work)
    {
        g_main_context_invoke_full(
            m_context, G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                (*static_cast<std::function<void()>*>(data))();
                return G_SOURCE_REMOVE;
            },
            new std::function<void()>(std::move(work)),
            [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    }

    void Run(const std::function<void()>& work)
    {
        if (m_thread.IsCurrent()) {
            work();
            return;
        }
        struct TJob {
            const std::function<void()>* work;
            std::mutex mutex;
            std::condition_variable done;
            bool finished = false;
        } job{&work, {}, {}, false};
        g_main_context_invoke(
            m_context,
            [](gpointer data) -> gboolean {
                auto* job = static_cast<TJob*>(data);
                (*job->work)();
                std::lock_guard lock(job->mutex);
                job->finished = true;
                job->done.notify_all();
                return G_SOURCE_REMOVE;
            },
            &job);
        std::unique_lock lock(job.mutex);
        job.done.wait(lock, [&] { return job.finished; });
    }

    // Everything below runs on the desktop thread only.

    bool Connect(QString* reason);
    bool AccessibilityBus();
    std::vector<TDesktopControl> Read();
    QStringList Silent() const { return m_silent; }

    xcb_connection_t* X() const { return m_x; }
    xcb_window_t Root() const { return m_root; }
    xcb_atom_t Atom(const char* name);

    /// The accessible of a listed control, looked up on first use.
    AtspiAccessible* Accessible(quint64 handle);
    AtspiAccessible* TopAccessible(xcb_window_t window) const
    {
        const auto it = m_tops.find(window);
        return it == m_tops.end() ? nullptr : it->second;
    }
    xcb_window_t WindowOf(quint64 handle) const
    {
        const auto it = m_windows.find(handle);
        return it == m_windows.end() ? xcb_window_t(0) : it->second;
    }
    QString WindowTitle(xcb_window_t window);
    QRect WindowRect(xcb_window_t window);
    bool Flush();
    void Sync();
    TKeyboardMap KeyboardMap();
    DesktopAutomation::TPointControl ControlAt(QPoint point, xcb_window_t window);
    QString NameNow(quint64 handle);

    std::set<unsigned> heldKeys;
    /// The held keys were let go of for a wait; pressed again before the next row.
    bool keysLetGo = false;

private:
    TDesktopThread()
    {
        m_context = g_main_context_new();
        std::mutex mutex;
        std::condition_variable started;
        bool running = false;
        // Never joined: the thread lives as long as the process, as this object does.
        m_thread.Start("Desktop", [&] {
            g_main_context_push_thread_default(m_context);
            GMainLoop* loop = g_main_loop_new(m_context, FALSE);
            {
                std::lock_guard lock(mutex);
                running = true;
                started.notify_all();
            }
            g_main_loop_run(loop);
        });
        std::unique_lock lock(mutex);
        started.wait(lock, [&] { return running; });
    }

    struct TTopLevel {
        AtspiAccessible* accessible;
        qint64 pid;
        QString name;
        bool taken = false;
    };

    bool HasProperty(xcb_window_t window, xcb_atom_t property);
    xcb_window_t ClientWindow(xcb_window_t window, int depth);
    std::vector<TTopLevel> TopLevelAccessibles();
    AtspiAccessible* MatchAccessible(std::vector<TTopLevel>& candidates, qint64 pid, const QString& title,
                                     const QRect& rect);
    /// Where a listed control sits, to find its accessible when it is used.
    struct TPlace {
        TAccessibleRef ref;
        quint64 parent;
        int index;
    };
    /// The handles and places of one read, replacing the last read's at its end.
    struct TReadState {
        std::unordered_map<std::string, quint64> handles;
        std::unordered_map<quint64, TPlace> places;
    };
    void AddControls(AtspiAccessible* top, xcb_window_t window, const QString& fileName, qint64 pid,
                     std::vector<TDesktopControl>& out, TReadState& read);
    quint64 HandleFor(const std::string& key, const TReadState& read);

    static inline std::atomic<bool> s_started{false};
    GMainContext* m_context = nullptr;
    TWorkerThread m_thread;
    xcb_connection_t* m_x = nullptr;
    xcb_window_t m_root = 0;
    bool m_atspi = false;
    std::unordered_map<std::string, xcb_atom_t> m_atoms;
    // The controls of the last read. Their handles survive a re-read as long
    // as the accessible does; the accessible itself (holding a reference) is
    // looked up only for controls that are used.
    std::unordered_map<quint64, TPlace> m_places;
    std::unordered_map<quint64, AtspiAccessible*> m_accessibles;
    std::unordered_map<std::string, quint64> m_handles;
    std::unordered_map<quint64, xcb_window_t> m_windows;
    // The accessible of each listed top-level window, where it has one.
    std::unordered_map<xcb_window_t, AtspiAccessible*> m_tops;
    quint64 m_nextHandle = kFirstControlHandle;
    QStringList m_silent;
};

bool TDesktopThread::Connect(QString* reason)
{
    if (m_x && xcb_connection_has_error(m_x)) {
        xcb_disconnect(m_x);
        m_x = nullptr;
        m_atoms.clear();
    }
    if (!m_x) {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            if (reason)
                *reason = QStringLiteral("Keine Anzeige vorhanden (DISPLAY ist nicht gesetzt)");
            return false;
        }
        int screenNumber = 0;
        xcb_connection_t* x = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(x)) {
            xcb_disconnect(x);
            if (reason)
                *reason =
                    QStringLiteral("Die Anzeige \"%1\" ist nicht erreichbar").arg(qEnvironmentVariable("DISPLAY"));
            return false;
        }
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x));
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        m_x = x;
        m_root = screens.data->root;
    }
    if (!AccessibilityBus()) {
        if (reason)
            *reason = QStringLiteral("Kein Barrierefreiheitsbus (AT-SPI) erreichbar");
        return false;
    }
    return true;
}

bool TDesktopThread::AccessibilityBus()
{
    if (!m_atspi) {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
            qEnvironmentVariableIsEmpty("AT_SPI_BUS_ADDRESS"))
            return false;
        // The context first: initialised without one, the library attaches
        // its bus to the process's default context, which the main thread's
        // event loop turns, and replies meant for this thread get lost there.
        atspi_set_main_context(m_context);
        atspi_init();
        // A hanging program must not stall a whole list read for long.
        atspi_set_timeout(1000, 1000);
        m_atspi = true;
    }
    return atspi_get_a11y_bus() != nullptr;
}

xcb_atom_t TDesktopThread::Atom(const char* name)
{
    const auto it = m_atoms.find(name);
    if (it != m_atoms.end())
        return it->second;
    TReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(m_x, xcb_intern_atom(m_x, 0, static_cast<uint16_t>(strlen(name)), name), nullptr));
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    m_atoms[name] = atom;
    return atom;
}

bool TDesktopThread::HasProperty(xcb_window_t window, xcb_atom_t property)
{
    TReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(m_x, xcb_get_property(m_x, 0, window, property, XCB_ATOM_ANY, 0, 0), nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

QString TDesktopThread::WindowTitle(xcb_window_t window)
{
    for (const auto& [property, type] : {std::pair{Atom("_NET_WM_NAME"), Atom("UTF8_STRING")},
                                         std::pair{xcb_atom_t(XCB_ATOM_WM_NAME), xcb_atom_t(XCB_ATOM_ANY)}}) {
        TReply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(m_x, xcb_get_property(m_x, 0, window, property, type, 0, 1024), nullptr));
        if (reply && reply->type != XCB_ATOM_NONE && xcb_get_property_value_length(reply.get()) > 0)
            return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                     xcb_get_property_value_length(reply.get()));
    }
    return QString();
}

QRect TDesktopThread::WindowRect(xcb_window_t window)
{
    TReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(m_x, xcb_get_geometry(m_x, window), nullptr));
    if (!geometry)
        return QRect();
    TReply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(m_x, xcb_translate_coordinates(m_x, window, m_root, 0, 0), nullptr));
    if (!origin)
        return QRect();
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

// Below a window manager's frame the client is the window with WM_STATE;
// without a window manager the root's child itself is the client.
xcb_window_t TDesktopThread::ClientWindow(xcb_window_t window, int depth)
{
    if (HasProperty(window, Atom("WM_STATE")))
        return window;
    if (depth > 4)
        return 0;
    TReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_x, xcb_query_tree(m_x, window), nullptr));
    if (!tree)
        return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i)
        if (const xcb_window_t client = ClientWindow(children[i], depth + 1))
            return client;
    return 0;
}

std::vector<TDesktopThread::TTopLevel> TDesktopThread::TopLevelAccessibles()
{
    std::vector<TTopLevel> result;
    TGObject<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop)
        return result;
    const int apps = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (int a = 0; a < apps; ++a) {
        TGObject<AtspiAccessible> app(atspi_accessible_get_child_at_index(desktop.get(), a, nullptr));
        if (!app)
            continue;
        const qint64 pid = atspi_accessible_get_process_id(app.get(), nullptr);
        const int windows = atspi_accessible_get_child_count(app.get(), nullptr);
        for (int w = 0; w < windows; ++w)
            if (AtspiAccessible* top = atspi_accessible_get_child_at_index(app.get(), w, nullptr)) {
                Nudge(top);
                result.push_back({top, pid, TakeString(atspi_accessible_get_name(top, nullptr))});
            }
    }
    return result;
}

AtspiAccessible* TDesktopThread::MatchAccessible(std::vector<TTopLevel>& candidates, qint64 pid, const QString& title,
                                                 const QRect& rect)
{
    auto extentsMatch = [&](AtspiAccessible* accessible) {
        TGObject<AtspiComponent> component(atspi_accessible_get_component_iface(accessible));
        if (!component)
            return false;
        std::unique_ptr<AtspiRect, TGFree<AtspiRect>> extents(
            atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, nullptr));
        return extents && QRect(extents->x, extents->y, extents->width, extents->height) == rect;
    };
    TTopLevel* found = nullptr;
    // By title first (two windows of one title: the extents decide), then by
    // extents alone: a message box may name its accessible after its text.
    for (TTopLevel& top : candidates) {
        if (top.taken || top.pid != pid || top.name != title)
            continue;
        if (!found)
            found = &top;
        if (extentsMatch(top.accessible)) {
            found = &top;
            break;
        }
    }
    for (std::size_t i = 0; !found && i < candidates.size(); ++i)
        if (!candidates[i].taken && candidates[i].pid == pid && extentsMatch(candidates[i].accessible))
            found = &candidates[i];
    if (!found)
        return nullptr;
    found->taken = true;
    return found->accessible;
}

quint64 TDesktopThread::HandleFor(const std::string& key, const TReadState& read)
{
    if (const auto it = read.handles.find(key); it != read.handles.end())
        return it->second;
    if (const auto it = m_handles.find(key); it != m_handles.end())
        return it->second;
    return m_nextHandle++;
}

TAccessibleRef RefOf(AtspiAccessible* accessible)
{
    const AtspiObject* object = ATSPI_OBJECT(accessible);
    return TAccessibleRef{object->app && object->app->bus_name ? object->app->bus_name : "",
                          object->path ? object->path : ""};
}

// Level by level: each level's questions go to the program in one batch, so
// a window costs as many round trips as its tree is deep, not one per control.
void TDesktopThread::AddControls(AtspiAccessible* top, xcb_window_t window, const QString& fileName, qint64 pid,
                                 std::vector<TDesktopControl>& out, TReadState& read)
{
    struct TNode {
        TAccessibleRef ref;
        TDesktopControl control;
        std::vector<std::size_t> children;
    };
    DBusConnection* connection = ATSPI_OBJECT(top)->app ? ATSPI_OBJECT(top)->app->bus : nullptr;
    std::vector<TNode> nodes(1);
    nodes[0].ref = RefOf(top);
    nodes[0].control.handle = window;
    std::size_t budget = kMaxControls > out.size() ? kMaxControls - out.size() : 0;
    std::vector<std::size_t> level{0};
    for (int depth = 0; depth <= kMaxDepth + 1 && !level.empty(); ++depth) {
        std::vector<TAccessibleRef> refs;
        for (std::size_t n : level)
            refs.push_back(nodes[n].ref);
        const std::vector<TAccessibleFacts> facts = AskAccessibles(connection, refs, kBatchTimeoutMs);
        std::vector<std::size_t> next;
        for (std::size_t i = 0; i < level.size(); ++i) {
            const std::size_t n = level[i];
            if (n != 0) {
                TDesktopControl& control = nodes[n].control;
                control.name = OneLine(QString::fromStdString(facts[i].name));
                control.className = QString::fromStdString(facts[i].roleName);
                control.visible = facts[i].states & (std::uint64_t(1) << ATSPI_STATE_SHOWING);
            }
            if (depth > kMaxDepth)
                continue;
            for (std::size_t c = 0; c < facts[i].children.size() && budget > 0; ++c) {
                const TAccessibleRef& ref = facts[i].children[c];
                if (ref.path.empty())
                    continue;
                const quint64 handle = HandleFor(ref.Key(), read);
                if (read.places.count(handle)) // a cycle in a broken tree
                    continue;
                --budget;
                TNode child;
                child.ref = ref;
                child.control.handle = handle;
                child.control.parent = nodes[n].control.handle;
                child.control.window = window;
                child.control.controlId = static_cast<int>(c) + 1;
                child.control.fileName = fileName;
                child.control.pid = pid;
                read.places[handle] = TPlace{ref, child.control.parent, static_cast<int>(c)};
                read.handles[ref.Key()] = handle;
                nodes[n].children.push_back(nodes.size());
                next.push_back(nodes.size());
                nodes.push_back(std::move(child));
            }
        }
        level = std::move(next);
    }
    // The list has every window's controls depth first in child order.
    std::vector<std::size_t> stack(nodes[0].children.rbegin(), nodes[0].children.rend());
    while (!stack.empty()) {
        const std::size_t n = stack.back();
        stack.pop_back();
        out.push_back(nodes[n].control);
        stack.insert(stack.end(), nodes[n].children.rbegin(), nodes[n].children.rend());
    }
}

std::vector<TDesktopControl> TDesktopThread::Read()
{
    std::vector<TDesktopControl> out;
    if (!Connect(nullptr))
        return out;
    TReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_x, xcb_query_tree(m_x, m_root), nullptr));
    if (!tree)
        return out;
    std::vector<TTopLevel> tops = TopLevelAccessibles();
    TReadState read;
    std::unordered_map<quint64, xcb_window_t> windows;
    std::unordered_map<xcb_window_t, AtspiAccessible*> windowAccessibles;
    std::set<QString> withWindows;
    std::set<QString> withControls;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    // The server lists the root's children bottom first.
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
        xcb_window_t window = ClientWindow(children[i], 0);
        if (!window && HasProperty(children[i], XCB_ATOM_WM_CLASS))
            window = children[i];
        if (!window)
            continue;
        TReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(m_x, xcb_get_window_attributes(m_x, children[i]), nullptr));
        if (!attributes)
            continue; // gone meanwhile
        TDesktopControl element;
        element.handle = window;
        element.window = window;
        element.name = OneLine(WindowTitle(window));
        element.pid = WindowProcess(m_x, window, Atom("_NET_WM_PID"));
        element.fileName = ProgramName(element.pid);
        element.visible = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        TReply<xcb_get_property_reply_t> owner(xcb_get_property_reply(
            m_x, xcb_get_property(m_x, 0, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 0, 1), nullptr));
        if (owner && xcb_get_property_value_length(owner.get()) >= 4)
            element.parent = *static_cast<const xcb_window_t*>(xcb_get_property_value(owner.get()));
        AtspiAccessible* accessible = MatchAccessible(tops, element.pid, WindowTitle(window), WindowRect(window));
        if (accessible) {
            element.className = TakeString(atspi_accessible_get_role_name(accessible, nullptr));
        } else {
            TReply<xcb_get_property_reply_t> wmClass(xcb_get_property_reply(
                m_x, xcb_get_property(m_x, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr));
            if (wmClass) {
                // WM_CLASS holds instance and class, each ended by a NUL.
                const QByteArray both(static_cast<const char*>(xcb_get_property_value(wmClass.get())),
                                      xcb_get_property_value_length(wmClass.get()));
                element.className = QString::fromLocal8Bit(both.split('\0').value(1));
            }
        }
        out.push_back(element);
        windows[window] = window;
        if (accessible)
            windowAccessibles[window] = static_cast<AtspiAccessible*>(g_object_ref(accessible));
        if (element.visible && !element.fileName.isEmpty())
            withWindows.insert(element.fileName);
        if (accessible && out.size() < kMaxControls) {
            const std::size_t before = out.size();
            AddControls(accessible, window, element.fileName, element.pid, out, read);
            if (out.size() > before)
                withControls.insert(element.fileName);
        }
    }
    for (TTopLevel& top : tops)
        g_object_unref(top.accessible);
    for (const TDesktopControl& control : out)
        windows[control.handle] = control.window;
    // Accessibles already looked up stay while their control is listed.
    for (auto it = m_accessibles.begin(); it != m_accessibles.end();) {
        if (read.places.count(it->first)) {
            ++it;
        } else {
            g_object_unref(it->second);
            it = m_accessibles.erase(it);
        }
    }
    for (const auto& [window, accessible] : m_tops)
        g_object_unref(accessible);
    m_tops = std::move(windowAccessibles);
    m_handles = std::move(read.handles);
    m_places = std::move(read.places);
    m_windows = std::move(windows);
    m_silent.clear();
    for (const QString& name : withWindows)
        if (!withControls.count(name))
            m_silent.append(name);
    return out;
}

bool TDesktopThread::Flush()
{
    return xcb_flush(m_x) > 0;
}

TKeyboardMap TDesktopThread::KeyboardMap()
{
    const xcb_setup_t* setup = xcb_get_setup(m_x);
    const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    TReply<xcb_get_keyboard_mapping_reply_t> reply(
        xcb_get_keyboard_mapping_reply(m_x, xcb_get_keyboard_mapping(m_x, setup->min_keycode, count), nullptr));
    if (!reply)
        return TKeyboardMap();
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
    return TKeyboardMap(setup->min_keycode, reply->keysyms_per_keycode,
                        std::span<const std::uint32_t>(keysyms, xcb_get_keyboard_mapping_keysyms_length(reply.get())));
}

void TDesktopThread::Sync()
{
    free(xcb_get_input_focus_reply(m_x, xcb_get_input_focus(m_x), nullptr));
}

// Finds the action of one of these names (toolkits name them differently).
bool DoNamedAction(AtspiAccessible* accessible, std::initializer_list<const char*> names)
{
    TGObject<AtspiAction> action(atspi_accessible_get_action_iface(accessible));
    if (!action)
        return false;
    const int count = atspi_action_get_n_actions(action.get(), nullptr);
    for (const char* wanted : names)
        for (int i = 0; i < count; ++i) {
            const QString name = TakeString(atspi_action_get_action_name(action.get(), i, nullptr));
            if (name.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0)
                return Twice([&](GError** e) { return atspi_action_do_action(action.get(), i, e); });
        }
    return false;
}

QString EntryName(AtspiAccessible* entry, int depth = 0)
{
    QString name = TakeString(atspi_accessible_get_name(entry, nullptr));
    // GTK list rows carry no name; their label does.
    if (name.isEmpty() && depth < 3) {
        const int count = atspi_accessible_get_child_count(entry, nullptr);
        for (int i = 0; i < count && name.isEmpty(); ++i) {
            TGObject<AtspiAccessible> child(atspi_accessible_get_child_at_index(entry, i, nullptr));
            if (child)
                name = EntryName(child.get(), depth + 1);
        }
    }
    return name;
}

// The accessible whose children are the entries: a combo box keeps them in
// a menu or list of its own.
TGObject<AtspiAccessible> EntryContainer(AtspiAccessible* control)
{
    const int count = atspi_accessible_get_child_count(control, nullptr);
    for (int i = 0; i < count; ++i) {
        TGObject<AtspiAccessible> child(atspi_accessible_get_child_at_index(control, i, nullptr));
        if (!child)
            continue;
        const AtspiRole role = atspi_accessible_get_role(child.get(), nullptr);
        if (role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_LIST || role == ATSPI_ROLE_LIST_BOX)
            return child;
    }
    return TGObject<AtspiAccessible>(ATSPI_ACCESSIBLE(g_object_ref(control)));
}

int FindEntry(AtspiAccessible* container, const QString& text, TGObject<AtspiAccessible>* entry)
{
    const int count = atspi_accessible_get_child_count(container, nullptr);
    for (int i = 0; i < count; ++i) {
        TGObject<AtspiAccessible> child(atspi_accessible_get_child_at_index(container, i, nullptr));
        if (child && EntryName(child.get()).startsWith(text, Qt::CaseInsensitive)) {
            *entry = std::move(child);
            return i;
        }
    }
    return -1;
}

// What the program says is selected now: the selection of the control or
// of its entries' container, else the entry's own state.
bool EntrySelected(AtspiAccessible* control, AtspiAccessible* container, int index, AtspiAccessible* entry)
{
    for (AtspiAccessible* owner : {control, container}) {
        atspi_accessible_clear_cache(owner);
        if (TGObject<AtspiSelection> selection{atspi_accessible_get_selection_iface(owner)})
            if (atspi_selection_is_child_selected(selection.get(), index, nullptr))
                return true;
    }
    atspi_accessible_clear_cache(entry);
    TGObject<AtspiStateSet> states(atspi_accessible_get_state_set(entry));
    return states && (atspi_state_set_contains(states.get(), ATSPI_STATE_SELECTED) ||
                      atspi_state_set_contains(states.get(), ATSPI_STATE_CHECKED));
}

QRect Extents(AtspiAccessible* accessible)
{
    TGObject<AtspiComponent> component(atspi_accessible_get_component_iface(accessible));
    if (!component)
        return QRect();
    GError* error = nullptr;
    std::unique_ptr<AtspiRect, TGFree<AtspiRect>> rect(
        atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, &error));
    // A control that is gone answers with an error and (-1, -1, -1, -1).
    if (error) {
        g_error_free(error);
        return QRect();
    }
    return rect && rect->width > 0 && rect->height > 0 ? QRect(rect->x, rect->y, rect->width, rect->height) : QRect();
}

// Whether the program still has this accessible: a destroyed one answers
// with an error, which the library reports as the defunct state.
bool Alive(AtspiAccessible* accessible)
{
    atspi_accessible_clear_cache(accessible);
    TGObject<AtspiStateSet> states(atspi_accessible_get_state_set(accessible));
    return states && !atspi_state_set_contains(states.get(), ATSPI_STATE_DEFUNCT);
}

AtspiAccessible* TDesktopThread::Accessible(quint64 handle)
{
    if (const auto known = m_accessibles.find(handle); known != m_accessibles.end()) {
        if (Alive(known->second))
            return known->second;
        // Destroyed since: its handle names nothing any more, never its window.
        g_object_unref(known->second);
        m_accessibles.erase(known);
        m_places.erase(handle);
        return nullptr;
    }
    const auto place = m_places.find(handle);
    if (place == m_places.end())
        return nullptr;
    AtspiAccessible* parent = nullptr;
    if (const auto top = m_tops.find(xcb_window_t(place->second.parent)); top != m_tops.end())
        parent = top->second;
    else if (place->second.parent >= kFirstControlHandle)
        parent = Accessible(place->second.parent);
    if (!parent)
        return nullptr;
    // Its place first; when the parent's children changed since, among them.
    // The library's own record of the children may lag behind the program
    // (a list read in one batch bypasses it): it is asked afresh then.
    const std::string wanted = place->second.ref.Key();
    AtspiAccessible* found = atspi_accessible_get_child_at_index(parent, place->second.index, nullptr);
    if (!found || RefOf(found).Key() != wanted) {
        if (found)
            g_object_unref(found);
        found = nullptr;
        atspi_accessible_clear_cache(parent);
        const int count = std::min(atspi_accessible_get_child_count(parent, nullptr), kMaxSearchedChildren);
        for (int n = 0; n < count && !found; ++n) {
            // Its place again first, then the others.
            const int i = n == 0 ? std::min(place->second.index, count - 1) : (n <= place->second.index ? n - 1 : n);
            found = atspi_accessible_get_child_at_index(parent, i, nullptr);
            if (found && RefOf(found).Key() != wanted) {
                g_object_unref(found);
                found = nullptr;
            }
        }
    }
    // The library's record of the children may still name a destroyed one.
    if (found && !Alive(found)) {
        g_object_unref(found);
        found = nullptr;
    }
    if (found)
        m_accessibles[handle] = found;
    return found;
}

QString TDesktopThread::NameNow(quint64 handle)
{
    if (handle >= kFirstControlHandle) {
        AtspiAccessible* accessible = Accessible(handle);
        return accessible ? OneLine(TakeString(atspi_accessible_get_name(accessible, nullptr))) : QString();
    }
    return m_x && WindowOf(handle) ? OneLine(WindowTitle(WindowOf(handle))) : QString();
}

DesktopAutomation::TPointControl TDesktopThread::ControlAt(QPoint point, xcb_window_t window)
{
    DesktopAutomation::TPointControl found;
    if (!window || !Connect(nullptr))
        return found;
    found.handle = window;
    found.rect = WindowRect(window);
    found.windowName = NameNow(window);
    found.name = found.windowName;
    const auto top = m_tops.find(window);
    if (top == m_tops.end())
        return found;
    // Downward from the window's accessible; the deepest one the list knows wins.
    TGObject<AtspiAccessible> current(static_cast<AtspiAccessible*>(g_object_ref(top->second)));
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        TGObject<AtspiComponent> component(atspi_accessible_get_component_iface(current.get()));
        if (!component)
            break;
        AtspiAccessible* child = atspi_component_get_accessible_at_point(component.get(), point.x(), point.y(),
                                                                         ATSPI_COORD_TYPE_SCREEN, nullptr);
        if (!child || child == current.get()) {
            if (child)
                g_object_unref(child);
            break;
        }
        current.reset(child);
        const std::string key = RefOf(child).Key();
        const auto known = m_handles.find(key);
        if (known == m_handles.end()) {
            // Made after the window was read: only a new read knows its path.
            found.unknownBelow = std::hash<std::string>()(key) | 1;
            continue;
        }
        found.unknownBelow = 0;
        found.handle = known->second;
        found.rect = Extents(child);
        atspi_accessible_clear_cache(child);
        found.name = OneLine(TakeString(atspi_accessible_get_name(child, nullptr)));
        if (!m_accessibles.count(known->second))
            m_accessibles[known->second] = static_cast<AtspiAccessible*>(g_object_ref(child));
    }
    return found;
}

void FakeInput(TDesktopThread& d, uint8_t type, uint8_t detail, int x = 0, int y = 0)
{
    const xcb_window_t root = type == XCB_MOTION_NOTIFY ? d.Root() : xcb_window_t(XCB_NONE);
    xcb_test_fake_input(d.X(), type, detail, XCB_CURRENT_TIME, root, static_cast<int16_t>(x), static_cast<int16_t>(y),
                        0);
}

// The entry of a list just opened is laid out a moment later.
bool ClickWhenLaidOut(TDesktopThread& d, AtspiAccessible* entry)
{
    for (int i = 0; i < 50; ++i) {
        atspi_accessible_clear_cache(entry);
        const QRect rect = Extents(entry);
        if (rect.width() > 0 && rect.height() > 0) {
            FakeInput(d, XCB_MOTION_NOTIFY, 0, rect.center().x(), rect.center().y());
            FakeInput(d, XCB_BUTTON_PRESS, 1);
            FakeInput(d, XCB_BUTTON_RELEASE, 1);
            d.Flush();
            d.Sync();
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool Raise(TDesktopThread& d, xcb_window_t window)
{
    if (!window)
        return false;
    TReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(d.X(), xcb_get_window_attributes(d.X(), window), nullptr));
    if (!attributes)
        return false;
    TReply<xcb_get_property_reply_t> wm(xcb_get_property_reply(
        d.X(), xcb_get_property(d.X(), 0, d.Root(), d.Atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1),
        nullptr));
    if (wm && xcb_get_property_value_length(wm.get()) >= 4) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = d.Atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2; // from a pager-like tool: the manager obeys
        xcb_send_event(d.X(), 0, d.Root(), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
    } else {
        xcb_map_window(d.X(), window);
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(d.X(), window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        if (attributes->map_state == XCB_MAP_STATE_VIEWABLE)
            xcb_set_input_focus(d.X(), XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    }
    d.Flush();
    d.Sync();
    return true;
}

void SendHeldKeys(TDesktopThread& d, uint8_t type)
{
    for (unsigned held : d.heldKeys)
        FakeInput(d, type, static_cast<uint8_t>(held));
    d.Flush();
    d.Sync();
}

// A process that never talked to the desktop holds no keys: the desktop
// thread is not started for it (a signal or "Sofort beenden" may ask).
void WithHeldKeys(const std::function<void(TDesktopThread&)>& work)
{
    if (!TDesktopThread::Started())
        return;
    TDesktopThread& d = TDesktopThread::Instance();
    d.Run([&] {
        if (d.X() && !d.heldKeys.empty())
            work(d);
    });
}

bool IsControl(quint64 handle)
{
    return handle >= kFirstControlHandle;
}

// A control counts only while its own accessible is there: its window stays
// when the control is destroyed, and clicking the window would hit another.
bool Exists(TDesktopThread& d, quint64 handle)
{
    if (IsControl(handle))
        return d.Accessible(handle) != nullptr;
    return d.WindowOf(handle) && d.WindowRect(d.WindowOf(handle)).isValid();
}

// The program has taken what was sent before once it answers a call: its
// bridge runs on the thread that handles the input.
void AwaitProgram(TDesktopThread& d, quint64 handle)
{
    if (const auto top = d.TopAccessible(d.WindowOf(handle)))
        Nudge(top);
}

// A state set a moment ago may need the program's next turn to show.
template <typename F>
bool ReadsBack(F check)
{
    for (int i = 0; i < 25; ++i) {
        if (check())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

} // namespace

namespace DesktopAutomation {

void ControlAtAsync(QPoint point, quint64 window, std::function<void(TPointControl)> done)
{
    TDesktopThread& d = TDesktopThread::Instance();
    d.Post([&d, point, window, done = std::move(done)] { done(d.ControlAt(point, xcb_window_t(window))); });
}

bool Available(QString* reason)
{
    TDesktopThread& d = TDesktopThread::Instance();
    QString why;
    const bool available = d.Call<bool>([&] { return d.Connect(&why); });
    if (reason)
        *reason = why;
    return available;
}

void EnableAccessibility()
{
    StartProgramsAccessible();
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus)
        return;
    GVariant* reply =
        g_dbus_connection_call_sync(bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                                    g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
                                    nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
    if (reply)
        g_variant_unref(reply);
    g_object_unref(bus);
}

std::vector<TDesktopControl> ReadControls()
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<std::vector<TDesktopControl>>([&] { return d.Read(); });
}

QStringList ProgramsWithoutControls()
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<QStringList>([&] { return d.Silent(); });
}

QString CurrentName(quint64 handle)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<QString>([&] { return d.NameNow(handle); });
}

QRect Rectangle(quint64 handle)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<QRect>([&] {
        if (IsControl(handle)) {
            AtspiAccessible* accessible = d.Accessible(handle);
            return accessible ? Extents(accessible) : QRect();
        }
        if (d.X() && d.WindowOf(handle))
            return d.WindowRect(d.WindowOf(handle));
        return QRect();
    });
}

QString WindowText(quint64 handle)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<QString>([&] {
        AtspiAccessible* accessible = d.Accessible(handle);
        if (!accessible)
            return d.X() && d.WindowOf(handle) ? d.WindowTitle(d.WindowOf(handle)).left(kMaxText) : QString();
        if (TGObject<AtspiText> text{atspi_accessible_get_text_iface(accessible)}) {
            QString content = TakeString(atspi_text_get_text(text.get(), 0, kMaxText, nullptr));
            if (!content.isEmpty())
                return content;
        }
        return TakeString(atspi_accessible_get_name(accessible, nullptr));
    });
}

QByteArray WindowIcon(quint64 handle, int* width, int* height)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<QByteArray>([&] {
        const xcb_window_t window = d.WindowOf(handle);
        if (!d.X() || !window)
            return QByteArray();
        TReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            d.X(), xcb_get_property(d.X(), 0, window, d.Atom("_NET_WM_ICON"), XCB_ATOM_CARDINAL, 0, 1 << 20), nullptr));
        if (!reply)
            return QByteArray();
        const auto* data = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
        const std::size_t words = xcb_get_property_value_length(reply.get()) / 4;
        std::size_t best = words;
        int bestDistance = 1 << 30;
        // The property holds several sizes: width, height, then the pixels.
        for (std::size_t at = 0; at + 2 <= words;) {
            const std::size_t w = data[at];
            const std::size_t h = data[at + 1];
            if (w == 0 || h == 0 || w * h > words - at - 2)
                break;
            const int distance = std::abs(static_cast<int>(w) - 16);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = at;
            }
            at += 2 + w * h;
        }
        if (best >= words)
            return QByteArray();
        *width = static_cast<int>(data[best]);
        *height = static_cast<int>(data[best + 1]);
        return QByteArray(reinterpret_cast<const char*>(data + best + 2), qsizetype{*width} * *height * 4);
    });
}

bool Click(quint64 handle, QPoint point, TMouseButton button, int count)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<bool>([&] {
        if (!d.X() || !Exists(d, handle) || !Raise(d, d.WindowOf(handle)))
            return false;
        TReply<xcb_query_pointer_reply_t> pointer(
            xcb_query_pointer_reply(d.X(), xcb_query_pointer(d.X(), d.Root()), nullptr));
        const uint8_t detail = button == TMouseButton::Left ? 1 : 3;
        FakeInput(d, XCB_MOTION_NOTIFY, 0, point.x(), point.y());
        for (int i = 0; i < count; ++i) {
            FakeInput(d, XCB_BUTTON_PRESS, detail);
            FakeInput(d, XCB_BUTTON_RELEASE, detail);
        }
        d.Flush();
        d.Sync();
        // Returned sooner, a window manager may lose the click.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (pointer)
            FakeInput(d, XCB_MOTION_NOTIFY, 0, pointer->root_x, pointer->root_y);
        d.Flush();
        d.Sync();
        AwaitProgram(d, handle);
        return true;
    });
}

bool SetText(quint64 handle, const QString& text)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<bool>([&] {
        AtspiAccessible* accessible = d.Accessible(handle);
        if (accessible)
            Nudge(accessible);
        TGObject<AtspiEditableText> editable(accessible ? atspi_accessible_get_editable_text_iface(accessible)
                                                        : nullptr);
        const QByteArray utf8 = text.toUtf8();
        if (!editable || !Twice([&](GError** e) {
                return atspi_editable_text_set_text_contents(editable.get(), utf8.constData(), e);
            }))
            return false;
        TGObject<AtspiText> content(atspi_accessible_get_text_iface(accessible));
        return content && ReadsBack([&] {
                   atspi_accessible_clear_cache(accessible);
                   return TakeString(atspi_text_get_text(content.get(), 0, -1, nullptr)) == text;
               });
    });
}

bool SelectString(quint64 handle, const QString& text)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<bool>([&] {
        AtspiAccessible* control = d.Accessible(handle);
        if (!control)
            return false;
        Nudge(control);
        TGObject<AtspiAccessible> container = EntryContainer(control);
        TGObject<AtspiAccessible> entry;
        const int index = FindEntry(container.get(), text, &entry);
        if (index < 0)
            return false;
        auto select = [&] {
            if (atspi_accessible_get_role(control, nullptr) == ATSPI_ROLE_COMBO_BOX) {
                // GTK selects through the combo box itself; Qt only by its open list.
                if (TGObject<AtspiSelection> selection{atspi_accessible_get_selection_iface(control)})
                    if (Twice([&](GError** e) { return atspi_selection_select_child(selection.get(), index, e); }))
                        return true;
                if (DoNamedAction(control, {"ShowMenu", "press"}))
                    return ClickWhenLaidOut(d, entry.get());
            } else {
                if (TGObject<AtspiSelection> selection{atspi_accessible_get_selection_iface(container.get())})
                    if (Twice([&](GError** e) { return atspi_selection_select_child(selection.get(), index, e); }))
                        return true;
                if (TGObject<AtspiTable> table{atspi_accessible_get_table_iface(container.get())})
                    if (Twice([&](GError** e) { return atspi_table_add_row_selection(table.get(), index, e); }))
                        return true;
            }
            return DoNamedAction(entry.get(), {"Toggle", "click", "activate", "Press"});
        };
        return select() && ReadsBack([&] { return EntrySelected(control, container.get(), index, entry.get()); });
    });
}

bool SetChecked(quint64 handle, bool checked)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<bool>([&] {
        AtspiAccessible* accessible = d.Accessible(handle);
        if (!accessible)
            return false;
        Nudge(accessible);
        auto isChecked = [&] {
            atspi_accessible_clear_cache(accessible);
            TGObject<AtspiStateSet> states(atspi_accessible_get_state_set(accessible));
            return states && atspi_state_set_contains(states.get(), ATSPI_STATE_CHECKED);
        };
        if (isChecked() == checked)
            return true;
        return DoNamedAction(accessible, {"Toggle", "Press", "click", "activate"}) &&
               ReadsBack([&] { return isChecked() == checked; });
    });
}

bool BringToTop(quint64 handle)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<bool>([&] { return d.X() && Exists(d, handle) && Raise(d, d.WindowOf(handle)); });
}

bool Close(quint64 handle)
{
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<bool>([&] {
        const xcb_window_t window = d.WindowOf(handle);
        // A window gone since the read would take the message without a word.
        if (!d.X() || !window || !Exists(d, handle))
            return false;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = d.Atom("WM_PROTOCOLS");
        event.data.data32[0] = d.Atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(d.X(), 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        d.Flush();
        d.Sync();
        return true;
    });
}

bool Key(quint8 virtualKey, bool down)
{
    const bool modifier = (virtualKey >= 0x10 && virtualKey <= 0x12) || (virtualKey >= 0xa0 && virtualKey <= 0xa5) ||
                          virtualKey == 0x5b || virtualKey == 0x5c;
    TDesktopThread& d = TDesktopThread::Instance();
    return d.Call<bool>([&] {
        if (!d.Connect(nullptr))
            return false;
        const std::optional<std::uint8_t> keyCode = d.KeyboardMap().KeycodeOf(virtualKey);
        if (!keyCode)
            return false;
        const uint8_t code = *keyCode;
        if (!down) {
            // Only a key this run holds is released; presses already were.
            if (d.heldKeys.erase(code) && !d.keysLetGo)
                FakeInput(d, XCB_KEY_RELEASE, code);
        } else if (modifier) {
            FakeInput(d, XCB_KEY_PRESS, code);
            d.heldKeys.insert(code);
        } else {
            FakeInput(d, XCB_KEY_PRESS, code);
            FakeInput(d, XCB_KEY_RELEASE, code);
            SendHeldKeys(d, XCB_KEY_RELEASE);
            d.heldKeys.clear();
        }
        d.Flush();
        d.Sync();
        return true;
    });
}

void LetGoOfKeys()
{
    WithHeldKeys([](TDesktopThread& d) {
        if (!d.keysLetGo)
            SendHeldKeys(d, XCB_KEY_RELEASE);
        d.keysLetGo = true;
    });
}

void PressHeldKeysAgain()
{
    WithHeldKeys([](TDesktopThread& d) {
        if (d.keysLetGo)
            SendHeldKeys(d, XCB_KEY_PRESS);
        d.keysLetGo = false;
    });
}

void ReleaseKeys()
{
    WithHeldKeys([](TDesktopThread& d) {
        if (!d.keysLetGo)
            SendHeldKeys(d, XCB_KEY_RELEASE);
        d.heldKeys.clear();
        d.keysLetGo = false;
    });
}

} // namespace DesktopAutomation
