/* The main window's layout, in one place for the resource script (dialog
   template 102) and the C++ code. Plain defines only: the resource
   compiler's preprocessor reads this file too. UTF-8. */
#ifndef ZK_RESOURCES_DIALOG_LAYOUT_H
#define ZK_RESOURCES_DIALOG_LAYOUT_H

/* Template 102, in dialog units of its font. */
#define ZK_DIALOG_FONT_POINTS 10
#define ZK_DIALOG_FONT_NAME "굴림체"
#define ZK_DIALOG_WIDTH 163
#define ZK_DIALOG_HEIGHT 77

#define ZK_COMBO_LEFT 34
#define ZK_COMBO_TOP 25
#define ZK_COMBO_WIDTH 110
#define ZK_COMBO_HEIGHT 87 /* with its drop-down list */

#define ZK_PROGRESS_LEFT 34
#define ZK_PROGRESS_TOP 41
#define ZK_PROGRESS_WIDTH 110
#define ZK_PROGRESS_HEIGHT 11

#define ZK_STATUS_LEFT 34
#define ZK_STATUS_TOP 53
#define ZK_STATUS_WIDTH 110
#define ZK_STATUS_HEIGHT 13

/* The template font's character cell in pixels at 96 DPI: a dialog unit is
   a quarter of its width and an eighth of its height. */
#define ZK_DIALOG_CELL_WIDTH 7
#define ZK_DIALOG_CELL_HEIGHT 14

/* Where initialisation puts the controls over the artwork, in client pixels. */
#define ZK_COMBO_CLIENT_X 115
#define ZK_COMBO_CLIENT_Y 59
#define ZK_PROGRESS_CLIENT_X 115
#define ZK_PROGRESS_CLIENT_Y 85
/* The status line: up to two lines of text, centred in its height, in the
   progress bar's row while the bar is hidden; while the bar shows, one line
   in the band below the sprite buttons. */
#define ZK_STATUS_CLIENT_X 115
#define ZK_STATUS_CLIENT_Y 85
#define ZK_STATUS_BELOW_BUTTONS_Y 133
#define ZK_STATUS_CLIENT_WIDTH 192
#define ZK_STATUS_CLIENT_HEIGHT 22
#define ZK_STATUS_FONT_PIXELS 10
#define ZK_STATUS_TEXT_COLOUR 0xF4ECD0 /* light on the artwork's green */

/* The sprite buttons' top-left corners, in client pixels. */
#define ZK_INSTALL_BUTTON_X 121
#define ZK_INSTALL_BUTTON_Y 109
#define ZK_CLOSE_BUTTON_X 219
#define ZK_CLOSE_BUTTON_Y 109

#endif
