#include "editor/x11/x11_keys.h"

#include "editor/types.h"

int EditorKeyCode(uint32_t keysym) {
  switch (keysym) {
    case 0x20:
      return kKeySpace;
    case xkey::kUp:
    case xkey::kKpUp:
      return kKeyUp;
    case xkey::kDown:
    case xkey::kKpDown:
      return kKeyDown;
    case xkey::kLeft:
    case xkey::kKpLeft:
      return kKeyLeft;
    case xkey::kRight:
    case xkey::kKpRight:
      return kKeyRight;
    default:
      break;
  }
  if (keysym >= '0' && keysym <= '9') return kKeyDigit0 + static_cast<int>(keysym - '0');
  if (keysym >= 0xffb0 && keysym <= 0xffb9) return kKeyDigit0 + static_cast<int>(keysym - 0xffb0);
  if (keysym >= 'A' && keysym <= 'Z') return kKeyLetterA + static_cast<int>(keysym - 'A');
  if (keysym >= 'a' && keysym <= 'z') return kKeyLetterA + static_cast<int>(keysym - 'a');
  return -1;
}

char TypedCharacter(uint32_t keysym) {
  // Latin-1 key symbols are their own character codes.
  if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
    return static_cast<char>(keysym);
  if (keysym >= 0xffb0 && keysym <= 0xffb9) return static_cast<char>('0' + (keysym - 0xffb0));
  switch (keysym) {
    case 0xff80:  // KP_Space
      return ' ';
    case 0xffaa:
      return '*';
    case 0xffab:
      return '+';
    case 0xffac:  // KP_Separator
      return ',';
    case 0xffad:
      return '-';
    case 0xffae:
      return '.';
    case 0xffaf:
      return '/';
    case 0xffbd:
      return '=';
    default:
      return 0;
  }
}
