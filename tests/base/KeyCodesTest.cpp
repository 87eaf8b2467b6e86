// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "base/KeyCodes.h"

namespace {

// A small map laid out like the X server's evdev key codes: two keysyms a key.
struct TMapBuilder {
    std::vector<std::uint32_t> keysyms = std::vector<std::uint32_t>(2 * (256 - 8), 0);
    TMapBuilder& Key(std::uint8_t keycode, std::uint32_t plain, std::uint32_t shifted = 0)
    {
        keysyms[(keycode - 8) * 2] = plain;
        keysyms[(keycode - 8) * 2 + 1] = shifted;
        return *this;
    }
    TKeyboardMap Map() const { return TKeyboardMap(8, 2, keysyms); }
};

TMapBuilder UsKeys()
{
    TMapBuilder map;
    map.Key(29, 'y', 'Y').Key(52, 'z', 'Z').Key(47, ';', ':').Key(59, ',', '<');
    map.Key(50, 0xffe1).Key(62, 0xffe2).Key(127, 0xff13).Key(90, 0xff9e, 0xffb0);
    return map;
}

TMapBuilder GermanKeys()
{
    TMapBuilder map;
    map.Key(29, 'z', 'Z').Key(52, 'y', 'Y').Key(34, 0xfc, 0xdc).Key(59, ',', ';');
    map.Key(49, 0xfe52, 0xb0).Key(94, '<', '>');
    return map;
}

} // namespace

TEST(KeyCodesTest, KeystrokeDataCarriesScanCodeExtendedFlagAndRelease)
{
    // The Pause key's first press is what opens the recording menu: exact value.
    EXPECT_EQ(KeyEventOf(0xff13, false).VirtualKey, 0x13);
    EXPECT_EQ(KeyEventOf(0xff13, false).Keystroke, 0x00450001u);
    EXPECT_EQ(KeyEventOf(0xff13, true).Keystroke, 0x80450001u);
    // Num Lock shares the scan code and differs only by the extended flag.
    EXPECT_EQ(KeyEventOf(0xff7f, false).Keystroke, 0x01450001u);
    EXPECT_EQ(KeyEventOf(0xff0d, false).Keystroke, 0x001c0001u); // Return
    EXPECT_EQ(KeyEventOf(0xff8d, false).Keystroke, 0x011c0001u); // KP_Enter
    EXPECT_EQ(KeyEventOf(0xff52, false).Keystroke, 0x01480001u); // Up
    EXPECT_EQ(KeyEventOf(0xff97, false).Keystroke, 0x00480001u); // KP_Up
    // A key the table does not know is still reported, as virtual key 0.
    EXPECT_EQ(KeyEventOf(0x1008ff12, false).VirtualKey, 0);
    EXPECT_EQ(KeyEventOf(0x1008ff12, true).Keystroke, 0x80000001u);
}

TEST(KeyCodesTest, KeysymsGiveTheVirtualKeysAHookReports)
{
    for (std::uint32_t c = 'a'; c <= 'z'; ++c) {
        EXPECT_EQ(KeyEventOf(c, false).VirtualKey, c - 'a' + 'A');
        EXPECT_EQ(KeyEventOf(c - 'a' + 'A', false).VirtualKey, c - 'a' + 'A');
    }
    for (std::uint32_t c = '0'; c <= '9'; ++c)
        EXPECT_EQ(KeyEventOf(c, false).VirtualKey, c);
    EXPECT_EQ(KeyEventOf(0xffbe, false).VirtualKey, 0x70); // F1
    EXPECT_EQ(KeyEventOf(0xffc9, false).VirtualKey, 0x7b); // F12
    // Left and right modifiers report the generic code; the right side is extended.
    EXPECT_EQ(KeyEventOf(0xffe2, false).VirtualKey, 0x10);
    EXPECT_EQ(KeyEventOf(0xffe4, false).VirtualKey, 0x11);
    EXPECT_EQ(KeyEventOf(0xffe4, false).Keystroke, 0x011d0001u);
    EXPECT_EQ(KeyEventOf(0xfe03, false).VirtualKey, 0x12);
    // Upper-case umlauts count as their lower-case keys.
    EXPECT_EQ(KeyEventOf(0xdc, false).VirtualKey, 0xba);
    EXPECT_EQ(KeyEventOf(0xd7, false).VirtualKey, 0); // multiply sign is no letter
}

TEST(KeyCodesTest, EveryVirtualKeyReplaysAsAKeysymThatRecordsItBack)
{
    std::set<std::pair<int, std::uint32_t>> seen;
    for (const TKeyCode& row : kKeyCodeTable) {
        EXPECT_TRUE(seen.insert({row.VirtualKey, row.Keysym}).second) << "duplicate row " << int(row.VirtualKey);
        const TKeyCode* first = KeyByVirtualKey(row.VirtualKey);
        ASSERT_NE(first, nullptr);
        const int recorded = KeyEventOf(first->Keysym, false).VirtualKey;
        const bool sided = row.VirtualKey >= 0xa0 && row.VirtualKey <= 0xa5;
        if (sided)
            EXPECT_EQ(recorded, 0x10 + (row.VirtualKey - 0xa0) / 2);
        else
            EXPECT_EQ(recorded, row.VirtualKey) << "virtual key " << int(row.VirtualKey);
    }
    EXPECT_EQ(KeyByVirtualKey(0xa1)->Keysym, 0xffe2u);
    EXPECT_EQ(KeyByVirtualKey(0x07), nullptr);
}

TEST(KeyCodesTest, KeyboardMapFindsTheKeyOfTheLayoutInUse)
{
    const TKeyboardMap us = UsKeys().Map();
    const TKeyboardMap de = GermanKeys().Map();
    EXPECT_EQ(us.KeycodeOf('Z'), 52);
    EXPECT_EQ(de.KeycodeOf('Z'), 29);
    // The key right of L: ';' on a US map, 'ü' position's own key on a German one,
    // never the German comma key that has ';' only shifted.
    EXPECT_EQ(us.KeycodeOf(0xba), 47);
    EXPECT_EQ(de.KeycodeOf(0xba), 34);
    EXPECT_EQ(de.KeycodeOf(0xdc), 49);
    EXPECT_EQ(us.KeycodeOf(0x13), 127);
    EXPECT_EQ(us.KeycodeOf(0xa1), 62);
    EXPECT_EQ(us.KeycodeOf(0x10), 50);
    // Num Lock on: the digit sits in the shifted place of the pad key.
    EXPECT_EQ(us.KeycodeOf(0x60), 90);
    EXPECT_EQ(us.KeycodeOf(0x2d), 90);
    EXPECT_EQ(de.KeycodeOf(0x13), std::nullopt);

    EXPECT_EQ(us.KeysymOf(29), std::uint32_t('y'));
    EXPECT_EQ(us.KeysymOf(7), 0u);   // below the first key code
    EXPECT_EQ(us.KeysymOf(255), 0u); // an empty place
    EXPECT_EQ(TKeyboardMap().KeysymOf(38), 0u);
    EXPECT_EQ(TKeyboardMap().KeycodeOf('A'), std::nullopt);
    // A key with only a shifted keysym still types something.
    EXPECT_EQ(TMapBuilder().Key(100, 0, 0xff13).Map().KeysymOf(100), 0xff13u);
}
