// The main window's layout for the C++ side, taken from the same defines as
// the resource script's dialog template.
#pragma once

#include "resources/DialogLayout.h"

// Dialog units in pixels for the template's own font (truncated).
constexpr int DialogUnitsToPixelsX(int units) { return units * ZK_DIALOG_CELL_WIDTH / 4; }
constexpr int DialogUnitsToPixelsY(int units) { return units * ZK_DIALOG_CELL_HEIGHT / 8; }

struct ClientPoint {
  int x = 0;
  int y = 0;
};

// Where the window puts its controls and sprite buttons over the artwork.
inline constexpr ClientPoint kComboPlace{ZK_COMBO_CLIENT_X, ZK_COMBO_CLIENT_Y};
inline constexpr ClientPoint kProgressPlace{ZK_PROGRESS_CLIENT_X, ZK_PROGRESS_CLIENT_Y};
inline constexpr ClientPoint kInstallButtonPlace{ZK_INSTALL_BUTTON_X, ZK_INSTALL_BUTTON_Y};
inline constexpr ClientPoint kCloseButtonPlace{ZK_CLOSE_BUTTON_X, ZK_CLOSE_BUTTON_Y};
