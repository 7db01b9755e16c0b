// The main window's layout for the C++ side, taken from the same defines as
// the resource script's dialog template.
#pragma once

#include <algorithm>

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
inline constexpr ClientPoint kStatusPlace{ZK_STATUS_CLIENT_X, ZK_STATUS_CLIENT_Y};
inline constexpr ClientPoint kStatusBelowButtons{ZK_STATUS_CLIENT_X, ZK_STATUS_BELOW_BUTTONS_Y};
inline constexpr ClientPoint kInstallButtonPlace{ZK_INSTALL_BUTTON_X, ZK_INSTALL_BUTTON_Y};
inline constexpr ClientPoint kCloseButtonPlace{ZK_CLOSE_BUTTON_X, ZK_CLOSE_BUTTON_Y};

// The pixel width of a control placed at x over artwork that wide: its
// template width in the template's own font, as the artwork was drawn for,
// whatever font the system substitutes (few systems have the template's),
// and never past the artwork's right edge. With no artwork right of x there
// is no edge to keep to.
constexpr int ControlWidthOverArtwork(int x, int templateUnits, int artworkWidth) {
  const int designed = DialogUnitsToPixelsX(templateUnits);
  return artworkWidth > x ? std::min(designed, artworkWidth - x) : designed;
}
