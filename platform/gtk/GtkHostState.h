// Everything the GTK host keeps, in one place.
#pragma once

#include <gtk/gtk.h>

#include <deque>
#include <map>
#include <mutex>

#include "SelectLanguage/DialogHost.h"

struct GtkHostState;

struct GtkTimer {
  GtkHostState* state;
  uint32_t id;
  guint source;
};

struct GtkHostState {
  DialogWindow* dialog = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  GtkWidget* canvas = nullptr;
  GtkWidget* combo = nullptr;
  GtkWidget* progress = nullptr;
  GtkWidget* menu = nullptr;
  GMainLoop* loop = nullptr;
  GtkCssProvider* css = nullptr;
  gulong destroyHandler = 0;
  cairo_t* paintContext = nullptr;  // set only while the canvas draws
  bool painted = false;
  bool drawnOnce = false;
  int clientWidth = 0;
  int clientHeight = 0;
  uint64_t progressTotal = 0;
  // The last press on the canvas, for a window drag.
  guint pressButton = 0;
  gint pressRootX = 0;
  gint pressRootY = 0;
  guint32 pressTime = 0;
  std::map<uint32_t, GtkTimer*> timers;

  // Messages posted from any thread, drained on the window's thread.
  std::mutex mutex;
  std::deque<DialogMessage> queue;
  bool drainScheduled = false;
  bool ended = false;
};
