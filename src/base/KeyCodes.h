// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Plain C++ without Qt: the hooks library includes this as well as the core.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// One key: the Windows virtual-key code stored in scripts, the X keysym that
/// stands for it, and the scan code and extended flag of its keystroke data.
struct TKeyCode {
    std::uint8_t VirtualKey;
    std::uint32_t Keysym;
    std::uint8_t ScanCode;
    bool Extended;
};

/// The one table between X keysyms and virtual-key codes. Where several rows
/// share a keysym, the first gives the virtual key a key event reports (the
/// generic modifier, as a keyboard hook sees it); where several rows share a
/// virtual key, their keysyms are tried in order when a key is replayed, so a
/// German layout finds its own keys after the US ones.
inline constexpr TKeyCode kKeyCodeTable[] = {
    // Modifiers: generic codes first, so recording reports those.
    {0x10, 0xffe1, 0x2a, false}, // Shift_L
    {0x10, 0xffe2, 0x36, false}, // Shift_R
    {0x11, 0xffe3, 0x1d, false}, // Control_L
    {0x11, 0xffe4, 0x1d, true},  // Control_R
    {0x12, 0xffe9, 0x38, false}, // Alt_L
    {0x12, 0xffea, 0x38, true},  // Alt_R
    {0x12, 0xfe03, 0x38, true},  // ISO_Level3_Shift (AltGr)
    {0x12, 0xffe7, 0x38, false}, // Meta_L
    {0xa0, 0xffe1, 0x2a, false},
    {0xa1, 0xffe2, 0x36, false},
    {0xa2, 0xffe3, 0x1d, false},
    {0xa3, 0xffe4, 0x1d, true},
    {0xa4, 0xffe9, 0x38, false},
    {0xa5, 0xffea, 0x38, true},
    {0xa5, 0xfe03, 0x38, true},
    {0x5b, 0xffeb, 0x5b, true},  // Super_L
    {0x5c, 0xffec, 0x5c, true},  // Super_R
    {0x5d, 0xff67, 0x5d, true},  // Menu
    {0x14, 0xffe5, 0x3a, false}, // Caps_Lock
    {0x90, 0xff7f, 0x45, true},  // Num_Lock
    {0x91, 0xff14, 0x46, false}, // Scroll_Lock

    // Editing and navigation.
    {0x03, 0xff6b, 0x46, true},  // Break
    {0x08, 0xff08, 0x0e, false}, // BackSpace
    {0x09, 0xff09, 0x0f, false}, // Tab
    {0x09, 0xfe20, 0x0f, false}, // ISO_Left_Tab (Shift+Tab)
    {0x0c, 0xff0b, 0x4c, false}, // Clear
    {0x0d, 0xff0d, 0x1c, false}, // Return
    {0x0d, 0xff8d, 0x1c, true},  // KP_Enter
    {0x13, 0xff13, 0x45, false}, // Pause
    {0x1b, 0xff1b, 0x01, false}, // Escape
    {0x20, 0x0020, 0x39, false}, // space
    {0x21, 0xff55, 0x49, true},  // Prior
    {0x22, 0xff56, 0x51, true},  // Next
    {0x23, 0xff57, 0x4f, true},  // End
    {0x24, 0xff50, 0x47, true},  // Home
    {0x25, 0xff51, 0x4b, true},  // Left
    {0x26, 0xff52, 0x48, true},  // Up
    {0x27, 0xff53, 0x4d, true},  // Right
    {0x28, 0xff54, 0x50, true},  // Down
    {0x29, 0xff60, 0x00, false}, // Select
    {0x2b, 0xff62, 0x00, false}, // Execute
    {0x2c, 0xff61, 0x37, true},  // Print
    {0x2d, 0xff63, 0x52, true},  // Insert
    {0x2e, 0xffff, 0x53, true},  // Delete
    {0x2f, 0xff6a, 0x00, false}, // Help

    // Digits and letters: the virtual key is the character itself.
    {0x30, 0x0030, 0x0b, false},
    {0x31, 0x0031, 0x02, false},
    {0x32, 0x0032, 0x03, false},
    {0x33, 0x0033, 0x04, false},
    {0x34, 0x0034, 0x05, false},
    {0x35, 0x0035, 0x06, false},
    {0x36, 0x0036, 0x07, false},
    {0x37, 0x0037, 0x08, false},
    {0x38, 0x0038, 0x09, false},
    {0x39, 0x0039, 0x0a, false},
    {0x41, 0x0061, 0x1e, false},
    {0x42, 0x0062, 0x30, false},
    {0x43, 0x0063, 0x2e, false},
    {0x44, 0x0064, 0x20, false},
    {0x45, 0x0065, 0x12, false},
    {0x46, 0x0066, 0x21, false},
    {0x47, 0x0067, 0x22, false},
    {0x48, 0x0068, 0x23, false},
    {0x49, 0x0069, 0x17, false},
    {0x4a, 0x006a, 0x24, false},
    {0x4b, 0x006b, 0x25, false},
    {0x4c, 0x006c, 0x26, false},
    {0x4d, 0x006d, 0x32, false},
    {0x4e, 0x006e, 0x31, false},
    {0x4f, 0x006f, 0x18, false},
    {0x50, 0x0070, 0x19, false},
    {0x51, 0x0071, 0x10, false},
    {0x52, 0x0072, 0x13, false},
    {0x53, 0x0073, 0x1f, false},
    {0x54, 0x0074, 0x14, false},
    {0x55, 0x0075, 0x16, false},
    {0x56, 0x0076, 0x2f, false},
    {0x57, 0x0077, 0x11, false},
    {0x58, 0x0078, 0x2d, false},
    {0x59, 0x0079, 0x15, false},
    {0x5a, 0x007a, 0x2c, false},

    // Number pad with Num Lock on.
    {0x60, 0xffb0, 0x52, false},
    {0x61, 0xffb1, 0x4f, false},
    {0x62, 0xffb2, 0x50, false},
    {0x63, 0xffb3, 0x51, false},
    {0x64, 0xffb4, 0x4b, false},
    {0x65, 0xffb5, 0x4c, false},
    {0x66, 0xffb6, 0x4d, false},
    {0x67, 0xffb7, 0x47, false},
    {0x68, 0xffb8, 0x48, false},
    {0x69, 0xffb9, 0x49, false},
    {0x6a, 0xffaa, 0x37, false}, // KP_Multiply
    {0x6b, 0xffab, 0x4e, false}, // KP_Add
    {0x6c, 0xffac, 0x53, false}, // KP_Separator
    {0x6d, 0xffad, 0x4a, false}, // KP_Subtract
    {0x6e, 0xffae, 0x53, false}, // KP_Decimal
    {0x6f, 0xffaf, 0x35, true},  // KP_Divide
    // Number pad with Num Lock off: the navigation keys, not extended.
    {0x2d, 0xff9e, 0x52, false}, // KP_Insert
    {0x23, 0xff9c, 0x4f, false}, // KP_End
    {0x28, 0xff99, 0x50, false}, // KP_Down
    {0x22, 0xff9b, 0x51, false}, // KP_Next
    {0x25, 0xff96, 0x4b, false}, // KP_Left
    {0x0c, 0xff9d, 0x4c, false}, // KP_Begin
    {0x27, 0xff98, 0x4d, false}, // KP_Right
    {0x24, 0xff95, 0x47, false}, // KP_Home
    {0x26, 0xff97, 0x48, false}, // KP_Up
    {0x21, 0xff9a, 0x49, false}, // KP_Prior
    {0x2e, 0xff9f, 0x53, false}, // KP_Delete

    // Function keys.
    {0x70, 0xffbe, 0x3b, false},
    {0x71, 0xffbf, 0x3c, false},
    {0x72, 0xffc0, 0x3d, false},
    {0x73, 0xffc1, 0x3e, false},
    {0x74, 0xffc2, 0x3f, false},
    {0x75, 0xffc3, 0x40, false},
    {0x76, 0xffc4, 0x41, false},
    {0x77, 0xffc5, 0x42, false},
    {0x78, 0xffc6, 0x43, false},
    {0x79, 0xffc7, 0x44, false},
    {0x7a, 0xffc8, 0x57, false},
    {0x7b, 0xffc9, 0x58, false},
    {0x7c, 0xffca, 0x64, false},
    {0x7d, 0xffcb, 0x65, false},
    {0x7e, 0xffcc, 0x66, false},
    {0x7f, 0xffcd, 0x67, false},
    {0x80, 0xffce, 0x68, false},
    {0x81, 0xffcf, 0x69, false},
    {0x82, 0xffd0, 0x6a, false},
    {0x83, 0xffd1, 0x6b, false},
    {0x84, 0xffd2, 0x6c, false},
    {0x85, 0xffd3, 0x6d, false},
    {0x86, 0xffd4, 0x6e, false},
    {0x87, 0xffd5, 0x76, false},

    // Punctuation, US layout.
    {0xba, 0x003b, 0x27, false}, // semicolon
    {0xbb, 0x003d, 0x0d, false}, // equal
    {0xbc, 0x002c, 0x33, false}, // comma
    {0xbd, 0x002d, 0x0c, false}, // minus
    {0xbe, 0x002e, 0x34, false}, // period
    {0xbf, 0x002f, 0x35, false}, // slash
    {0xc0, 0x0060, 0x29, false}, // grave
    {0xdb, 0x005b, 0x1a, false}, // bracketleft
    {0xdc, 0x005c, 0x2b, false}, // backslash
    {0xdd, 0x005d, 0x1b, false}, // bracketright
    {0xde, 0x0027, 0x28, false}, // apostrophe
    {0xe2, 0x003c, 0x56, false}, // less (the key between Shift and Z)
    // The keys a German layout has in those places.
    {0xba, 0x00fc, 0x1a, false}, // udiaeresis
    {0xbb, 0x002b, 0x1b, false}, // plus
    {0xbf, 0x0023, 0x2b, false}, // numbersign
    {0xc0, 0x00f6, 0x27, false}, // odiaeresis
    {0xdb, 0x00df, 0x0c, false}, // ssharp
    {0xdc, 0xfe52, 0x29, false}, // dead_circumflex
    {0xdc, 0x005e, 0x29, false}, // asciicircum
    {0xdd, 0xfe51, 0x0d, false}, // dead_acute
    {0xdd, 0x00b4, 0x0d, false}, // acute
    {0xde, 0x00e4, 0x28, false}, // adiaeresis
};

/// The row of an X keysym, or none. Upper-case Latin letters count as their
/// lower-case ones, which a keyboard map lists first.
inline const TKeyCode* KeyByKeysym(std::uint32_t keysym)
{
    const bool upperLatin = (keysym >= 0x41 && keysym <= 0x5a) || (keysym >= 0xc0 && keysym <= 0xde && keysym != 0xd7);
    if (upperLatin)
        keysym += 0x20;
    for (const TKeyCode& row : kKeyCodeTable) {
        if (row.Keysym == keysym)
            return &row;
    }
    return nullptr;
}

/// The first row of a virtual-key code, or none.
inline const TKeyCode* KeyByVirtualKey(std::uint8_t virtualKey)
{
    for (const TKeyCode& row : kKeyCodeTable) {
        if (row.VirtualKey == virtualKey)
            return &row;
    }
    return nullptr;
}

/// Keystroke data as a keyboard hook receives it: repeat count 1 in bits 0 to
/// 15, scan code in bits 16 to 23, extended flag in bit 24, bit 31 set on release.
inline std::uint32_t KeystrokeData(const TKeyCode& key, bool released)
{
    std::uint32_t data = 1u | (std::uint32_t(key.ScanCode) << 16);
    if (key.Extended)
        data |= 1u << 24;
    if (released)
        data |= 1u << 31;
    return data;
}

/// What a key event reports: the virtual key and its keystroke data. A key the
/// table does not know reports virtual key 0, so it is still seen.
struct TKeyEvent {
    std::uint8_t VirtualKey;
    std::uint32_t Keystroke;
};

inline TKeyEvent KeyEventOf(std::uint32_t keysym, bool released)
{
    const TKeyCode* key = KeyByKeysym(keysym);
    if (!key)
        return {0, released ? 1u | (1u << 31) : 1u};
    return {key->VirtualKey, KeystrokeData(*key, released)};
}

/// The server's keyboard map as an X keyboard-mapping reply gives it: for each
/// key code from the first one, a fixed number of keysyms (0 for none).
class TKeyboardMap
{
public:
    TKeyboardMap() = default;
    TKeyboardMap(std::uint8_t firstKeycode, std::uint8_t keysymsPerKeycode, std::span<const std::uint32_t> keysyms)
        : m_first(firstKeycode), m_perKeycode(keysymsPerKeycode), m_keysyms(keysyms.begin(), keysyms.end())
    {
    }

    /// The keysym a key code types unshifted; 0 when the map has none.
    std::uint32_t KeysymOf(std::uint8_t keycode) const
    {
        for (std::size_t column = 0; column < m_perKeycode && column < 2; ++column) {
            const std::uint32_t keysym = At(keycode, column);
            if (keysym != 0)
                return keysym;
        }
        return 0;
    }

    /// The key code that types a virtual key. Each keysym of the virtual key
    /// is looked for unshifted first; only when no key has one unshifted does
    /// a shifted place count, so a German map takes its own keys.
    std::optional<std::uint8_t> KeycodeOf(std::uint8_t virtualKey) const
    {
        for (std::size_t columns : {std::size_t(1), std::size_t(m_perKeycode)}) {
            for (const TKeyCode& row : kKeyCodeTable) {
                if (row.VirtualKey != virtualKey)
                    continue;
                if (auto keycode = Find(row.Keysym, columns))
                    return keycode;
            }
        }
        return std::nullopt;
    }

private:
    std::uint32_t At(std::uint8_t keycode, std::size_t column) const
    {
        if (keycode < m_first || m_perKeycode == 0)
            return 0;
        const std::size_t index = std::size_t(keycode - m_first) * m_perKeycode + column;
        return index < m_keysyms.size() ? m_keysyms[index] : 0;
    }

    std::optional<std::uint8_t> Find(std::uint32_t keysym, std::size_t columns) const
    {
        if (m_perKeycode == 0)
            return std::nullopt;
        const std::size_t keys = m_keysyms.size() / m_perKeycode;
        for (std::size_t key = 0; key < keys && m_first + key <= 255; ++key) {
            for (std::size_t column = 0; column < columns; ++column) {
                if (m_keysyms[key * m_perKeycode + column] == keysym)
                    return std::uint8_t(m_first + key);
            }
        }
        return std::nullopt;
    }

    std::uint8_t m_first = 0;
    std::uint8_t m_perKeycode = 0;
    std::vector<std::uint32_t> m_keysyms;
};
