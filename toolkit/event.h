#pragma once

#include <cstdint>

namespace Vy {

enum EventKind : int {
  kMouseMove = 1,
  kMouseDown = 2,
  kMouseUp = 3,
  kDoubleClick = 4,
  kWheel = 5,
  kKeyPressed = 6,
  kKeyReleased = 7,
  kCharacter = 8,
  kFocusGained = 9,
  kFocusLost = 10,
};

enum MouseButton : uint8_t { kLeftButton = 0, kRightButton = 1 };

enum Modifier : uint32_t { kModShift = 1, kModControl = 2, kModAlt = 4, kModSuper = 8 };

// Toolkit key codes. Keys not listed arrive as 0; their text comes as character events.
enum Key : uint16_t {
  kKeyBackspace = 8,
  kKeyTab = 9,
  kKeyEnter = 13,
  kKeyEscape = 27,
  kKeySpace = 32,
  // The zoom keys: "+" (also "=" and the keypad's), "-" (also the keypad's) and "0".
  kKeyPlus = 43,
  kKeyMinus = 45,
  kKey0 = 48,
  kKeyDelete = 127,
  kKeyUp = 256,
  kKeyDown = 257,
  kKeyLeft = 258,
  kKeyRight = 259,
  kKeyHome = 260,
  kKeyEnd = 261,
  kKeyPageUp = 262,
  kKeyPageDown = 263,
  kKeyF1 = 282,
  kKeyF12 = 293,
  kKeyShift = 340,
  kKeyControl = 341,
  kKeyAlt = 342,
  kKeySuper = 343,
};

// Event is one input event for a window, in client pixels.
struct Event {
  int kind = 0;  // EventKind
  int x = 0;
  int y = 0;
  uint8_t button = kLeftButton;
  uint16_t key = 0;  // key code (key kinds) or UTF-16 code unit (kCharacter)
  uint32_t modifiers = 0;
  int wheelSteps = 0;  // positive away from the user
  bool handled = false;

  bool IsMouse() const { return kind >= kMouseMove && kind <= kWheel; }
};

// NormalizeWheelSteps uses small counts as they are and divides larger ones (raw deltas) by
// 120; a raw delta below one notch keeps its direction as one step, and 0 stays 0.
inline int NormalizeWheelSteps(int steps) {
  if (steps == 0) return 0;
  int d = steps >= -100 && steps <= 100 ? steps : steps / 120;
  if (d == 0) d = steps > 0 ? 1 : -1;
  return d;
}

}  // namespace Vy
