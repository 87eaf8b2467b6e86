// SPDX-License-Identifier: GPL-3.0-or-later
// Holds the layering of src/: no file includes a header of a higher layer, no
// two units of one folder include each other in a circle, and the core never
// includes a Qt GUI or Widgets header. Plain C++ so it runs before Qt matters.
//
// usage: check_layers <src folder> <Qt header folder>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Bottom up; a folder may include its own and lower ranks only. hooks hangs
// off base alone, so it ranks between base and platform.
const std::map<std::string, int> kRank = {
    {"base", 0},     {"hooks", 1},       {"platform", 2}, {"foundation", 3}, {"catalogue", 4},
    {"scriptus", 5}, {"replication", 6}, {"ui", 7},       {"app", 8},
};

// Folders that link Qt Core only (hooks links no Qt at all).
const std::set<std::string> kCore = {"base", "hooks", "platform", "foundation", "catalogue", "scriptus", "replication"};

const std::vector<std::string> kGuiModules = {"QtGui", "QtWidgets",    "QtOpenGL", "QtOpenGLWidgets", "QtPrintSupport",
                                              "QtSvg", "QtSvgWidgets", "QtQuick",  "QtQml",           "QtQuickWidgets"};

struct TInclude {
    std::string target; // as written between the delimiters
    bool angled = false;
    int line = 0;
};

std::vector<TInclude> IncludesOf(const fs::path& file)
{
    static const std::regex pattern(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    std::vector<TInclude> result;
    std::ifstream in(file);
    std::string text;
    int line = 0;
    std::smatch match;
    while (std::getline(in, text)) {
        ++line;
        if (std::regex_search(text, match, pattern))
            result.push_back({match[2].str(), match[1].str() == "<", line});
    }
    return result;
}

std::set<std::string> GuiClassHeaders(const fs::path& qtHeaders)
{
    std::set<std::string> names;
    for (const std::string& module : kGuiModules) {
        const fs::path dir = qtHeaders / module;
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file() || entry.is_symlink())
                names.insert(entry.path().filename().string());
    }
    return names;
}

bool IsGuiInclude(const std::string& target, const std::set<std::string>& guiHeaders)
{
    const auto slash = target.find('/');
    const std::string head = target.substr(0, slash);
    if (std::find(kGuiModules.begin(), kGuiModules.end(), head) != kGuiModules.end())
        return true;
    if (slash != std::string::npos)
        return false;
    // The class headers known to the installed Qt, and any widget even when a module is missing.
    return guiHeaders.count(target) > 0 || target.starts_with("QWidget") || target == "QApplication" ||
           target == "QGuiApplication";
}

std::string Unit(const fs::path& file)
{
    return file.stem().string();
}

// Reports each circle once, as "a -> b -> a".
void FindCircles(const std::map<std::string, std::set<std::string>>& edges, std::vector<std::string>& circles)
{
    std::map<std::string, int> state; // 0 new, 1 on the path, 2 done
    std::vector<std::string> path;
    std::function<void(const std::string&)> visit = [&](const std::string& unit) {
        state[unit] = 1;
        path.push_back(unit);
        if (const auto it = edges.find(unit); it != edges.end())
            for (const std::string& next : it->second) {
                if (state[next] == 1) {
                    std::string text;
                    for (auto p = std::find(path.begin(), path.end(), next); p != path.end(); ++p)
                        text += *p + " -> ";
                    circles.push_back(text + next);
                } else if (state[next] == 0) {
                    visit(next);
                }
            }
        path.pop_back();
        state[unit] = 2;
    };
    for (const auto& [unit, targets] : edges)
        if (state[unit] == 0)
            visit(unit);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: check_layers <src folder> <Qt header folder>\n";
        return 2;
    }
    const fs::path source = argv[1];
    const std::set<std::string> guiHeaders = GuiClassHeaders(argv[2]);
    if (guiHeaders.empty()) {
        std::cerr << "no Qt GUI headers below " << argv[2] << "\n";
        return 2;
    }

    int faults = 0;
    for (const auto& [folder, rank] : kRank) {
        const fs::path dir = source / folder;
        if (!fs::is_directory(dir))
            continue;
        std::map<std::string, std::set<std::string>> edges;
        // Subfolders, such as the rooms of ui/, rank as their folder.
        for (const auto& entry : fs::recursive_directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp"))
                continue;
            const std::string where = fs::relative(entry.path(), source).string();
            for (const TInclude& include : IncludesOf(entry.path())) {
                if (include.angled) {
                    if (folder == "hooks" && include.target.starts_with("Q")) {
                        std::cout << where << ":" << include.line << ": the hooks library includes Qt <"
                                  << include.target << ">\n";
                        ++faults;
                    } else if (kCore.count(folder) && IsGuiInclude(include.target, guiHeaders)) {
                        std::cout << where << ":" << include.line << ": core file includes GUI header <"
                                  << include.target << ">\n";
                        ++faults;
                    }
                    continue;
                }
                const auto slash = include.target.find('/');
                const std::string head = slash == std::string::npos ? folder : include.target.substr(0, slash);
                const auto other = kRank.find(head);
                if (other == kRank.end())
                    continue;
                const bool hooksRule = (folder == "hooks" && head != "base" && head != "hooks");
                if (other->second > rank || hooksRule) {
                    std::cout << where << ":" << include.line << ": " << folder << " includes \"" << include.target
                              << "\" of a higher layer\n";
                    ++faults;
                }
                if (head == folder) {
                    const std::string from = Unit(entry.path()), to = Unit(include.target);
                    if (from != to)
                        edges[from].insert(to);
                }
            }
        }
        std::vector<std::string> circles;
        FindCircles(edges, circles);
        for (const std::string& circle : circles) {
            std::cout << folder << ": units include each other: " << circle << "\n";
            ++faults;
        }
    }
    if (faults > 0)
        std::cout << faults << " layering fault(s)\n";
    return faults > 0 ? 1 : 0;
}
