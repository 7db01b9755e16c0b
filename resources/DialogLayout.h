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

/* The template font's character cell in pixels at 96 DPI: a dialog unit is
   a quarter of its width and an eighth of its height. */
#define ZK_DIALOG_CELL_WIDTH 7
#define ZK_DIALOG_CELL_HEIGHT 14

/* Where initialisation puts the controls over the artwork, in client pixels. */
#define ZK_COMBO_CLIENT_X 115
#define ZK_COMBO_CLIENT_Y 59
#define ZK_PROGRESS_CLIENT_X 115
#define ZK_PROGRESS_CLIENT_Y 85

/* The sprite buttons' top-left corners, in client pixels. */
#define ZK_INSTALL_BUTTON_X 121
#define ZK_INSTALL_BUTTON_Y 109
#define ZK_CLOSE_BUTTON_X 219
#define ZK_CLOSE_BUTTON_Y 109

#endif
