// SPDX-License-Identifier: GPL-3.0-or-later
#include <atspi/atspi.h>
#include <csignal>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QFile>

#include "catalogue/SyncObject.h"
#include "platform/ProgramPaths.h"
#include "support/DesktopSession.h"
#include "support/DisplayWatch.h"
#include "support/TestHome.h"

namespace {

std::string Text(gchar* owned)
{
    std::string text = owned != nullptr ? owned : "";
    g_free(owned);
    return text;
}

// The first accessible of that role and name below node, depth first (a
// new reference), or nullptr.
AtspiAccessible* Find(AtspiAccessible* node, const std::string& role, const std::string& name, int depth = 0)
{
    if (node == nullptr || depth > 40)
        return nullptr;
    if (Text(atspi_accessible_get_role_name(node, nullptr)) == role &&
        Text(atspi_accessible_get_name(node, nullptr)) == name)
        return static_cast<AtspiAccessible*>(g_object_ref(node));
    const int count = atspi_accessible_get_child_count(node, nullptr);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        AtspiAccessible* found = Find(child, role, name, depth + 1);
        if (child != nullptr)
            g_object_unref(child);
        if (found != nullptr)
            return found;
    }
    return nullptr;
}

// The names of the children of that role that take room on the screen.
std::vector<std::string> VisibleChildren(AtspiAccessible* node, const std::string& role)
{
    std::vector<std::string> names;
    const int count = atspi_accessible_get_child_count(node, nullptr);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        if (child == nullptr)
            continue;
        // A hidden tab keeps its accessible; it only has no extent.
        AtspiRect* extents = atspi_component_get_extents(ATSPI_COMPONENT(child), ATSPI_COORD_TYPE_SCREEN, nullptr);
        if (Text(atspi_accessible_get_role_name(child, nullptr)) == role && extents != nullptr && extents->width > 0)
            names.push_back(Text(atspi_accessible_get_name(child, nullptr)));
        g_free(extents);
        g_object_unref(child);
    }
    return names;
}

// The captions of the main window's visible pages.
std::vector<std::string> PageCaptions(AtspiAccessible* frame)
{
    std::vector<std::string> pages;
    AtspiAccessible* pageControl = Find(frame, "filler", "Seiten");
    const int count = pageControl != nullptr ? atspi_accessible_get_child_count(pageControl, nullptr) : 0;
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(pageControl, i, nullptr);
        if (child != nullptr && Text(atspi_accessible_get_role_name(child, nullptr)) == "page tab list")
            pages = VisibleChildren(child, "page tab");
        if (child != nullptr)
            g_object_unref(child);
    }
    if (pageControl != nullptr)
        g_object_unref(pageControl);
    return pages;
}

// The page tab list of the window's page control (a new reference), or
// nullptr. Its name is the caption of the page shown; its tabs tell the
// current one only by the focus state.
AtspiAccessible* PageTabList(AtspiAccessible* frame)
{
    AtspiAccessible* found = nullptr;
    AtspiAccessible* pageControl = Find(frame, "filler", "Seiten");
    const int count = pageControl != nullptr ? atspi_accessible_get_child_count(pageControl, nullptr) : 0;
    for (int i = 0; i < count && found == nullptr; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(pageControl, i, nullptr);
        if (child != nullptr && Text(atspi_accessible_get_role_name(child, nullptr)) == "page tab list")
            found = child;
        else if (child != nullptr)
            g_object_unref(child);
    }
    if (pageControl != nullptr)
        g_object_unref(pageControl);
    return found;
}

// The top-level frame of that name, searched among the desktop's applications.
AtspiAccessible* FindFrame(const std::string& name, std::string* seen = nullptr)
{
    AtspiAccessible* desktop = atspi_get_desktop(0);
    AtspiAccessible* found = nullptr;
    const int apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (int a = 0; a < apps && found == nullptr; ++a) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, a, nullptr);
        const int windows = app != nullptr ? atspi_accessible_get_child_count(app, nullptr) : 0;
        for (int w = 0; w < windows && found == nullptr; ++w) {
            AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, nullptr);
            const std::string windowName = window != nullptr ? Text(atspi_accessible_get_name(window, nullptr)) : "";
            if (seen != nullptr)
                *seen += "[" + windowName + "] ";
            if (window != nullptr && windowName == name)
                found = window;
            else if (window != nullptr)
                g_object_unref(window);
        }
        if (app != nullptr)
            g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

AtspiAccessible* WaitForFrame(const std::string& name, std::string& seen)
{
    for (int i = 0; i < 200; ++i) {
        seen.clear();
        if (AtspiAccessible* frame = FindFrame(name, &seen))
            return frame;
        g_usleep(50000);
    }
    return nullptr;
}

// The real program on a private desktop, found through the accessibility tree.
class DesktopWindowTest : public TTestHome
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(TDesktopSession::Shared().Start()) << TDesktopSession::Shared().Error();
        atspi_init();
    }
    static void TearDownTestSuite() { TDesktopSession::Shared().Stop(); }

    std::vector<std::string> RunAndReadPages(const std::string& caption)
    {
        TDesktopSession& desktop = TDesktopSession::Shared();
        qunsetenv("QT_QPA_PLATFORM");
        TDesktopSession::TProgram* program = desktop.Launch({PLENWICK_BINARY});
        EXPECT_NE(program, nullptr);
        if (program == nullptr)
            return {};
        std::vector<std::string> pages;
        std::string seen;
        AtspiAccessible* frame = WaitForFrame(caption, seen);
        EXPECT_NE(frame, nullptr) << "no window \"" << caption << "\", only " << seen;
        if (frame != nullptr) {
            pages = PageCaptions(frame);
            AtspiAccessible* menuBar = Find(frame, "menu bar", "Hauptmenü");
            EXPECT_NE(menuBar, nullptr);
            if (menuBar != nullptr)
                g_object_unref(menuBar);
            g_object_unref(frame);
        }
        // SIGTERM asks as closing the window does: the program ends in order.
        EndBySigterm(program);
        const QByteArray protocol = ReadFile(qEnvironmentVariable("PLENWICK_PROTOCOL_FILE"));
        EXPECT_TRUE(protocol.contains("[Main] Signal SIGTERM empfangen"));
        EXPECT_TRUE(protocol.contains("[Quit] Anwendung ist bereit zum Terminieren"));
        EXPECT_TRUE(protocol.contains("[Main] Anwendung wurde beendet"));
        return pages;
    }

    static void EndBySigterm(TDesktopSession::TProgram* program)
    {
        kill(program->pid, SIGTERM);
        bool ended = false;
        for (int i = 0; i < 100 && !ended; ++i)
            ended = TDesktopSession::Exited(*program, 100);
        EXPECT_TRUE(ended) << "the program did not end after SIGTERM";
    }
};

TEST_F(DesktopWindowTest, MasterServerShowsItsPagesAndEndsOnSigterm)
{
    WriteFile(Home(QStringLiteral("plenwick.config")), "[Options]\r\nMiscWriteProtocolToFile=1\r\n");
    const std::vector<std::string> pages = RunAndReadPages("Plenwick - [testhost:42424]");
    EXPECT_EQ(pages, (std::vector<std::string>{"Übersicht", "Objekte", "Clients", "Skriptus"}));
}

TEST_F(DesktopWindowTest, ClientLacksTheMasterServersPages)
{
    WriteFile(Home(QStringLiteral("plenwick.config")),
              "[Options]\r\nNetServerName=master01\r\nMiscShowProtocol=1\r\nMiscWriteProtocolToFile=1\r\n");
    const std::vector<std::string> pages = RunAndReadPages("Plenwick - [master01:42424]");
    EXPECT_EQ(pages, (std::vector<std::string>{"Übersicht", "Objekte", "Clients", "Protokoll"}));
}

// The catalogue file of the real program, written through the catalogue's own writer.
void WriteCatalogue(const QString& path, int objects)
{
    FreeAllObjects();
    for (int i = 0; i < objects; ++i)
        AppendObject(std::make_unique<TSyncObject>(
            QStringLiteral("Abteilung%1/Programme/werkzeug%2.exe").arg(i % 97).arg(i), QStringLiteral("1.2.3.4"),
            1000 + i, 45000.0 + i / 1440.0, QStringLiteral("/opt/ziel/")));
    SaveObjectList();
    FreeAllObjects();
    QFile::remove(path);
    QFile::rename(ProgramFile(QStringLiteral(".objects")), path);
}

// The selected page as the accessibility bus shows it, read over and over on
// a thread of its own, so that a slow answer never holds up the keys.
class TPageReader
{
public:
    struct TRead {
        qint64 begun;
        qint64 ended;
        std::string page;
    };

    TPageReader(const TDisplayWatch& watch, const std::string& caption)
        : m_thread([this, &watch, caption] { Run(watch, caption); })
    {
    }
    ~TPageReader()
    {
        m_stop = true;
        m_thread.join();
    }

    std::vector<TRead> Reads()
    {
        std::lock_guard guard(m_lock);
        return m_reads;
    }

private:
    void Run(const TDisplayWatch& watch, const std::string& caption)
    {
        AtspiAccessible* tabs = nullptr;
        while (!m_stop) {
            if (tabs == nullptr) {
                if (AtspiAccessible* frame = FindFrame(caption)) {
                    // What the library keeps of earlier reads would be out of
                    // date: the tab list announces no change of its name.
                    AtspiAccessible* application = atspi_accessible_get_application(frame, nullptr);
                    if (application != nullptr) {
                        atspi_accessible_set_cache_mask(application, ATSPI_CACHE_NONE);
                        g_object_unref(application);
                    }
                    tabs = PageTabList(frame);
                    g_object_unref(frame);
                }
                if (tabs == nullptr)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            const qint64 begun = watch.Now();
            std::string page = Text(atspi_accessible_get_name(tabs, nullptr));
            {
                std::lock_guard guard(m_lock);
                m_reads.push_back({begun, watch.Now(), std::move(page)});
            }
            // A read a turn of the window's own, not a load on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (tabs != nullptr)
            g_object_unref(tabs);
    }

    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<TRead> m_reads;
    std::thread m_thread;
};

// From the window's first map on, while the program reads and shows a
// catalogue of 100 000 objects, a page is switched every 100 ms by its key;
// a ping sent after each key is answered once the program has handled it,
// and each switch must be answered within 300 ms. The selected page read
// back through the accessibility bus must always be the one last switched to.
TEST_F(DesktopWindowTest, EveryPageSwitchIsAnsweredWithin300MsWhileALargeCatalogueIsRead)
{
    constexpr int kObjects = 100000;
    constexpr qint64 kPeriodUs = 100000;
    constexpr qint64 kAnswerUs = 300000;
    WriteCatalogue(Home(QStringLiteral("plenwick.objects")), kObjects);
    WriteFile(Home(QStringLiteral("plenwick.config")),
              "[Options]\r\nNetServerName=testhost\r\nMiscWriteProtocolToFile=1\r\n");
    // The start screen would take the keys while it fades. The objects page
    // shows, in the details style and sorted by name, as much as it can.
    WriteFile(
        qEnvironmentVariable("PLENWICK_REGISTRY_DIR") + QStringLiteral("/user.reg"),
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Plenwick\\Plenwick]\r\n"
        "\"SuppressSplashScreen\"=dword:00000001\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Plenwick\\Plenwick\\Styles]\r\n"
        "\"MainActiveTab\"=dword:00000001\r\n\"MainListViewObjectsViewStyle\"=dword:00000003\r\n"
        "\"MainListViewObjectsSortColumn\"=dword:00000000\r\n\"MainListViewObjectsSortDescending\"=dword:00000001\r\n");
    struct TKey {
        uint32_t keysym;
        const char* page;
    };
    // Shift+F2, F3, F5, F1: the objects page with its 100 000 rows among them.
    const std::vector<TKey> keys = {
        {0xffbf, "Objekte"}, {0xffc0, "Clients"}, {0xffc2, "Skriptus"}, {0xffbe, "Übersicht"}};
    constexpr uint32_t kShift = 0xffe1;
    const QString protocolFile = qEnvironmentVariable("PLENWICK_PROTOCOL_FILE");
    const auto built = [&protocolFile] {
        QFile file(protocolFile);
        const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        return text.contains("TreeView wurde aufgebaut") && text.contains("ListView wurde aufgebaut");
    };

    TDesktopSession& desktop = TDesktopSession::Shared();
    qunsetenv("QT_QPA_PLATFORM");
    TDisplayWatch watch; // made first: it sees the first map
    TDesktopSession::TProgram* program = desktop.Launch({PLENWICK_BINARY});
    ASSERT_NE(program, nullptr);
    const xcb_window_t window = watch.WaitForWindow("Plenwick - [", 30000);
    ASSERT_NE(window, 0u) << "the window was not shown";
    watch.Focus(window);

    struct TSwitch {
        qint64 sent;
        qint64 answered = -1;
        const char* page;
    };
    std::vector<TSwitch> switches;
    std::vector<int> switchOfPing;
    {
        TPageReader reader(watch, "Plenwick - [testhost:42424]");
        qint64 builtAt = -1;
        qint64 lastCheck = 0;
        const qint64 end = watch.Now() + 60000000;
        // On until a second after both object views are built.
        while (watch.Now() < end && (builtAt < 0 || watch.Now() < builtAt + 1000000)) {
            if (switches.empty() || watch.Now() >= switches.back().sent + kPeriodUs) {
                const TKey& key = keys[switches.size() % keys.size()];
                const qint64 sent = watch.Now();
                watch.TypeKeys({kShift, key.keysym});
                switchOfPing.resize(static_cast<size_t>(watch.SendPing(window)) + 1, -1);
                switchOfPing.back() = static_cast<int>(switches.size());
                switches.push_back({sent, -1, key.page});
            }
            for (const TDisplayWatch::TAnswer& answer : watch.TakeAnswers())
                switches[static_cast<size_t>(switchOfPing[static_cast<size_t>(answer.ping)])].answered =
                    answer.answered;
            if (builtAt < 0 && watch.Now() >= lastCheck + 100000) {
                lastCheck = watch.Now();
                if (built())
                    builtAt = watch.Now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        // The last answers.
        const qint64 last = watch.Now() + kAnswerUs;
        while (watch.Now() < last)
            for (const TDisplayWatch::TAnswer& answer : watch.TakeAnswers())
                switches[static_cast<size_t>(switchOfPing[static_cast<size_t>(answer.ping)])].answered =
                    answer.answered;
        ASSERT_GE(builtAt, 0) << "the object views were not built within a minute";

        qint64 slowest = 0;
        for (size_t n = 0; n < switches.size(); ++n) {
            const TSwitch& change = switches[n];
            const qint64 delay = change.answered >= 0 ? change.answered - change.sent : last - change.sent;
            slowest = std::max(slowest, delay);
            EXPECT_LE(delay, kAnswerUs) << "switch " << n << " to \"" << change.page << "\", sent "
                                        << (change.sent - switches.front().sent) / 1000 << " ms after the map";
        }
        std::printf("%zu page switches, the slowest answered after %lld ms\n", switches.size(),
                    static_cast<long long>(slowest / 1000));

        // A read begun after a switch was answered and ended before the next
        // was sent shows that switch's page.
        std::vector<std::string> verified;
        for (const TPageReader::TRead& read : reader.Reads()) {
            const auto next = std::find_if(switches.begin(), switches.end(),
                                           [&read](const TSwitch& change) { return change.sent > read.begun; });
            if (next == switches.begin() || (next != switches.end() && next->sent < read.ended))
                continue;
            const TSwitch& shown = *(next - 1);
            if (shown.answered < 0 || shown.answered > read.begun)
                continue;
            EXPECT_EQ(read.page, shown.page)
                << "read " << (read.begun - switches.front().sent) / 1000 << " ms after the map";
            if (std::find(verified.begin(), verified.end(), read.page) == verified.end())
                verified.push_back(read.page);
        }
        EXPECT_EQ(verified.size(), keys.size()) << "each page was seen selected after its key";
    }
    EndBySigterm(program);
}

} // namespace
