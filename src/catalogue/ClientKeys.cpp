// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ClientKeys.h"

#include <map>
#include <mutex>

#include "base/AtomicFile.h"
#include "base/TextFields.h"
#include "platform/ProgramPaths.h"

namespace {

struct TClientKeys {
    std::mutex lock;
    QString loadedFrom;
    std::map<QString, QString> keys; // by lower-case computer name
};

TClientKeys& Store()
{
    static TClientKeys keys;
    return keys;
}

// Read again when the program folder moved (tests do so between cases); the
// caller holds the lock.
void LoadFor(TClientKeys& keys)
{
    const QString path = ProgramFile(QStringLiteral(".clientkeys"));
    if (keys.loadedFrom != path) {
        keys.keys.clear();
        keys.loadedFrom = path;
        QByteArray content;
        if (ReadWholeFile(path, content)) {
            for (const QString& line : SplitLines(content)) {
                const QStringList fields = SplitFields(line, QLatin1Char(','));
                if (fields.size() == 2)
                    keys.keys[UnquoteField(fields[0]).toLower()] = fields[1];
            }
        }
    }
}

void Save(const TClientKeys& keys)
{
    QStringList lines;
    for (const auto& [computer, fingerprint] : keys.keys)
        lines << QuoteField(computer) + QLatin1Char(',') + fingerprint;
    WriteFileAtomically(keys.loadedFrom, JoinLines(lines), TFileAccess::Group);
}

} // namespace

std::optional<QString> RecordedClientKey(const QString& computer)
{
    TClientKeys& keys = Store();
    std::lock_guard guard(keys.lock);
    LoadFor(keys);
    const auto found = keys.keys.find(computer.toLower());
    if (found == keys.keys.end())
        return std::nullopt;
    return found->second;
}

void RecordClientKey(const QString& computer, const QString& fingerprint)
{
    TClientKeys& keys = Store();
    std::lock_guard guard(keys.lock);
    LoadFor(keys);
    const auto [entry, added] = keys.keys.emplace(computer.toLower(), fingerprint);
    if (!added)
        return;
    try {
        Save(keys);
    } catch (const std::exception&) {
        keys.keys.erase(entry);
        throw;
    }
}

void ForgetClientKey(const QString& computer)
{
    TClientKeys& keys = Store();
    std::lock_guard guard(keys.lock);
    LoadFor(keys);
    if (keys.keys.erase(computer.toLower()) > 0)
        Save(keys);
}
