// The window's Tab order: the language list, Install, Close, and round
// again; whatever is disabled is passed over.
#pragma once

#include <array>
#include <cstdint>

#include "SelectLanguage/Messages.h"

struct FocusChoices {
  bool language = true;
  bool install = true;
  bool close = true;
};

// The next place after `from` (the one before it with `backwards`); `from`
// itself when nothing else can take the focus. A `from` outside the order
// starts at its beginning (or its end).
constexpr uint64_t NextFocus(uint64_t from, bool backwards, FocusChoices enabled) {
  constexpr std::array<uint64_t, 3> order{kFocusLanguage, kFocusInstall, kFocusClose};
  const std::array<bool, 3> usable{enabled.language, enabled.install, enabled.close};
  int at = backwards ? 0 : 2;  // so that the first step lands on an end
  for (int i = 0; i < 3; ++i) {
    if (order[i] == from) at = i;
  }
  for (int step = 1; step <= 3; ++step) {
    const int i = ((at + (backwards ? -step : step)) % 3 + 3) % 3;
    if (usable[i]) return order[i];
  }
  return from;
}
