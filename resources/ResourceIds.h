/* The ids of the program's resources and of the main window's controls, in
   one place for the resource script, the C++ code and the build that embeds
   the resources elsewhere (it reads the ZK_RESOURCE_* lines). Plain defines
   only: the resource compiler's preprocessor reads this file too. */
#ifndef ZK_RESOURCES_RESOURCE_IDS_H
#define ZK_RESOURCES_RESOURCE_IDS_H

#define ZK_RESOURCE_ABOUT_BOX 100
#define ZK_RESOURCE_ABOUT_STRING 101
#define ZK_RESOURCE_MAIN_DIALOG 102
#define ZK_RESOURCE_ICON 132
#define ZK_RESOURCE_LANGUAGE_LIST 133
#define ZK_RESOURCE_SPRITE_FILE 136
/* The same artwork at twice the size, for displays scaled to 150 % and more. */
#define ZK_RESOURCE_SPRITE_FILE_2X 137
/* The status line's texts: this id + 8 * text + language (resources/status.txt). */
#define ZK_RESOURCE_STATUS_STRINGS 200

/* Controls of the main window's template. */
#define ZK_CONTROL_LANGUAGE_COMBO 1000
#define ZK_CONTROL_PROGRESS_BAR 1001
#define ZK_CONTROL_STATUS_LINE 1002
#define ZK_CONTROL_LANGUAGE_LABEL 1003

#endif
