// The GTK host's state and its signal handlers, shared by the host
// (GtkDialogHost.cpp) and the handlers (GtkHostEvents.cpp): the state the
// handlers reach through one pointer, the mapping of the page's pixels to
// the window's, and the handlers the host connects.
#pragma once

#include <gtk/gtk.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "SelectLanguage/DialogHost.h"
#include "SelectLanguage/DisplayScale.h"
#include "SelectLanguage/Messages.h"
#include "platform/gtk/GtkAccessibleButtons.h"

namespace gtk_host {

struct GtkHostState;

struct GtkTimer {
  GtkHostState* state;
  uint32_t id;
  guint source;
};

// Everything the host keeps, reached by the signal handlers through one pointer.
struct GtkHostState {
  DialogWindow* dialog = nullptr;
  GtkWidget* window = nullptr;
  GtkWidget* fixed = nullptr;
  GtkWidget* canvas = nullptr;
  GtkWidget* combo = nullptr;
  GtkWidget* progress = nullptr;
  GtkWidget* status = nullptr;
  GtkWidget* menu = nullptr;
  GMainLoop* loop = nullptr;
  GtkCssProvider* css = nullptr;
  gulong destroyHandler = 0;
  cairo_t* paintContext = nullptr;  // set only while the canvas draws
  bool painted = false;
  bool drawnOnce = false;
  int clientWidth = 0;
  int clientHeight = 0;
  int pageScale = 1;        // page pixels per unscaled window pixel
  int reportedScale = 100;  // the scale the window last heard of
  uint64_t progressTotal = 0;
  // The last press on the canvas, for a window drag.
  guint pressButton = 0;
  gint pressRootX = 0;
  gint pressRootY = 0;
  guint32 pressTime = 0;
  std::map<uint32_t, std::unique_ptr<GtkTimer>> timers;
  ButtonSource buttonSource;  // what the canvas's accessible reads

  // Messages posted from any thread, drained on the window's thread.
  std::mutex mutex;
  std::deque<DialogMessage> queue;
  bool drainScheduled = false;
  bool ended = false;
};

// GTK's places are unscaled pixels; the page's are the artwork's.
inline int ToWindow(const GtkHostState* s, int page) { return PageToWindow(page, 100, s->pageScale); }
inline int ToPage(const GtkHostState* s, double window) {
  return WindowToPage(static_cast<int>(std::floor(window)), 100, s->pageScale);
}
inline int64_t PagePoint(const GtkHostState* s, double x, double y) { return PackPoint(ToPage(s, x), ToPage(s, y)); }

inline int64_t DispatchTo(GtkHostState* s, const DialogMessage& m) {
  return s->dialog != nullptr ? s->dialog->Dispatch(m) : 0;
}

// The signal handlers (GtkHostEvents.cpp); `data` is the GtkHostState.
gboolean DrainPosted(gpointer data);
void ReleasePosted(GtkHostState* s);
gboolean OnTimerTick(gpointer data);
gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data);
gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data);
gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data);
gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data);
gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data);
gboolean OnKeyRelease(GtkWidget*, GdkEventKey* event, gpointer data);
void OnFocusWidget(GtkWindow*, GtkWidget* widget, gpointer data);
gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data);
void OnDestroyed(GtkWidget*, gpointer data);
void OnScaleFactor(GObject*, GParamSpec*, gpointer data);
void OnAboutActivated(GtkMenuItem*, gpointer data);
// The window's work ends: nothing posted runs any more and no timer ticks.
void StopDispatching(GtkHostState* s);
// The theme's colours when it is a high-contrast one (HighContrast,
// HighContrastInverse), which the ring and the status line follow.
ContrastColors ThemeContrast(GtkWidget* window);
// The dialog's colours, and the theme's where it is a high-contrast one, as CSS.
void ApplyColours(GtkHostState* s);

}  // namespace gtk_host
