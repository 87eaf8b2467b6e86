// SPDX-License-Identifier: GPL-3.0-or-later
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "base/AtomicFile.h"
#include "catalogue/DownloadRecords.h"
#include "support/QtPrinters.h"

namespace {

/// The list as plain records, to hold the packed one against: a record per
/// computer and id pair, the name compared ignoring case.
struct TPlainRecords {
    std::vector<TDownloadFields> records;

    bool Contains(const QString& name, quint64 id) const
    {
        for (const TDownloadFields& record : records)
            if (record.objectId == id && record.computerName.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
    bool Add(const QString& address, quint64 id, const QString& name)
    {
        if (Contains(name, id))
            return false;
        records.push_back({address, name, id});
        return true;
    }
    int RemoveUnless(const std::set<quint64>& live)
    {
        const auto before = records.size();
        std::erase_if(records, [&](const TDownloadFields& record) { return live.count(record.objectId) == 0; });
        return static_cast<int>(before - records.size());
    }
};

} // namespace

// Random confirmations by computers whose names differ in case, also where
// lower case and case folding part ways (final sigma, dotted capital I), and
// cleans that drop ids and let them come back: the packed list holds what the
// plain one holds, in the same order, and finds what it finds.
TEST(DownloadRecordsTest, HoldsAndFindsWhatAPlainListDoesThroughAddsAndCleans)
{
    const QStringList names{QStringLiteral("pc-anna"), QStringLiteral("PC-Anna"),     QString::fromUtf8("pc-ς"),
                            QString::fromUtf8("pc-σ"), QString::fromUtf8("PC-Σ"),     QString::fromUtf8("pc-i̇"),
                            QString::fromUtf8("PC-İ"), QString::fromUtf8("pc-ärger"), QStringLiteral("")};
    std::mt19937 random(11);
    TDownloadRecords packed;
    TPlainRecords plain;
    for (int round = 0; round < 30; ++round) {
        for (int i = 0; i < 200; ++i) {
            const QString address = QStringLiteral("10.0.0.%1").arg(random() % 5);
            const quint64 id = 1000 + random() % 40;
            // The list stores names in lower case, as a record is made.
            const QString name = names[static_cast<int>(random() % names.size())].toLower();
            ASSERT_EQ(packed.Add(address, id, name), plain.Add(address, id, name));
        }
        std::set<quint64> live;
        for (quint64 id = 1000; id < 1040; ++id)
            if (random() % 3 != 0)
                live.insert(id);
        ASSERT_EQ(packed.RemoveUnless([&](quint64 id) { return live.count(id) != 0; }), plain.RemoveUnless(live));

        ASSERT_EQ(packed.Count(), static_cast<int>(plain.records.size()));
        for (int i = 0; i < packed.Count(); ++i) {
            const TDownloadFields held = packed.At(i);
            EXPECT_EQ(held.address, plain.records[i].address);
            EXPECT_EQ(held.computerName, plain.records[i].computerName);
            EXPECT_EQ(held.objectId, plain.records[i].objectId);
        }
        for (const QString& name : names)
            for (quint64 id = 999; id < 1041; ++id)
                ASSERT_EQ(packed.Contains(name, id), plain.Contains(name, id)) << name.toStdString() << " " << id;
    }
    packed.Clear();
    EXPECT_EQ(packed.Count(), 0);
    EXPECT_FALSE(packed.Contains(QStringLiteral("pc-anna"), 1000));
}
