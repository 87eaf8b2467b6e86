// SPDX-License-Identifier: GPL-3.0-or-later
#include <map>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "base/OpenIndex.h"

namespace {

// Keys of a few values only, so that many entries share a key and runs of
// the table grow long and wrap around its end.
struct TKeyedEntries {
    std::vector<unsigned> keyOf;

    std::size_t Hash(unsigned entry) const { return keyOf[entry]; }
    std::multiset<unsigned> Found(const TOpenIndex<unsigned, ~0u>& index, unsigned key) const
    {
        std::multiset<unsigned> found;
        index.ForEach(key, [&](unsigned entry) {
            if (keyOf[entry] == key)
                found.insert(entry);
            return true;
        });
        return found;
    }
};

} // namespace

// Every entry stays findable under its key through insertions, growth and
// removals from anywhere in a run, as a plain multimap holds them.
TEST(OpenIndexTest, FindsWhatAMultimapHoldsThroughInsertsGrowthAndRemovals)
{
    std::mt19937 random(7);
    TKeyedEntries entries;
    TOpenIndex<unsigned, ~0u> index;
    std::multimap<unsigned, unsigned> expected;
    const auto hashOf = [&entries](unsigned entry) { return entries.Hash(entry); };
    for (int step = 0; step < 20000; ++step) {
        if (expected.empty() || random() % 3 != 0) {
            const auto entry = static_cast<unsigned>(entries.keyOf.size());
            entries.keyOf.push_back(random() % 97);
            index.Insert(entries.Hash(entry), entry, hashOf);
            expected.emplace(entries.keyOf[entry], entry);
        } else {
            auto victim = expected.begin();
            std::advance(victim, random() % expected.size());
            index.Remove(victim->first, victim->second, hashOf);
            expected.erase(victim);
        }
        if (step % 997 == 0)
            for (unsigned key = 0; key < 97; ++key) {
                std::multiset<unsigned> held;
                for (auto [it, end] = expected.equal_range(key); it != end; ++it)
                    held.insert(it->second);
                ASSERT_EQ(entries.Found(index, key), held) << "step " << step << " key " << key;
            }
    }
    EXPECT_EQ(index.Size(), expected.size());

    // Removing what is not there changes nothing; a cleared index finds nothing.
    index.Remove(5, 123456, hashOf);
    EXPECT_EQ(index.Size(), expected.size());
    index.Clear();
    EXPECT_EQ(index.Size(), 0u);
    EXPECT_TRUE(entries.Found(index, 5).empty());
}
