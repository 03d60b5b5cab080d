#pragma once
// Key symbols of the X keyboard, as the editor needs them: the key codes the controls take
// and the characters the text-entry box types.
#include <cstdint>

// The editor key code of a key symbol (space, arrows, digits, letters of either case), or
// -1 for a key the controls do not take.
int EditorKeyCode(uint32_t keysym);

// The Latin-1 character a key symbol types (keypad digits and signs included), or 0.
char TypedCharacter(uint32_t keysym);

// Key symbols the text-entry box handles beyond typed characters.
namespace xkey {
constexpr uint32_t kBackSpace = 0xff08, kTab = 0xff09, kReturn = 0xff0d, kEscape = 0xff1b,
                   kHome = 0xff50, kLeft = 0xff51, kUp = 0xff52, kRight = 0xff53, kDown = 0xff54,
                   kEnd = 0xff57, kKpEnter = 0xff8d, kKpHome = 0xff95, kKpLeft = 0xff96,
                   kKpUp = 0xff97, kKpRight = 0xff98, kKpDown = 0xff99, kKpEnd = 0xff9c,
                   kKpDelete = 0xff9f, kDelete = 0xffff;
}  // namespace xkey
