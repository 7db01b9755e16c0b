// The GTK host's signal handlers: posted messages drained on the window's
// thread once it has painted, timers, the page's paint, the mouse and keys,
// the close, a scale change, the About item, and the theme's colours.
#include <algorithm>
#include <string>

#include "platform/gtk/GtkHostConversions.h"
#include "platform/gtk/GtkHostState.h"

namespace gtk_host {

gboolean DrainPosted(gpointer data) {
  auto* s = static_cast<GtkHostState*>(data);
  if (!s->drawnOnce) {
    // Held back until the window has shown itself once (see OnDraw).
    std::lock_guard lock(s->mutex);
    s->drainScheduled = false;
    return G_SOURCE_REMOVE;
  }
  for (;;) {
    DialogMessage message;
    {
      std::lock_guard lock(s->mutex);
      if (s->ended || s->queue.empty()) {
        s->drainScheduled = false;
        return G_SOURCE_REMOVE;
      }
      message = s->queue.front();
      s->queue.pop_front();
    }
    DispatchTo(s, message);
  }
}

// From the window's first paint on, posted messages run.
void ReleasePosted(GtkHostState* s) {
  s->drawnOnce = true;
  std::lock_guard lock(s->mutex);
  if (!s->queue.empty() && !s->drainScheduled) {
    s->drainScheduled = true;
    g_idle_add(DrainPosted, s);
  }
}

gboolean OnTimerTick(gpointer data) {
  auto* t = static_cast<GtkTimer*>(data);
  DispatchTo(t->state, {kWmTimer, t->id, 0, {}});
  return G_SOURCE_CONTINUE;
}

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* s = static_cast<GtkHostState*>(data);
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
  s->paintContext = cr;
  s->painted = false;
  DialogMessage paint{kWmPaint, 0, 0, {}};
  const int a = s->pageScale;
  paint.area = {static_cast<int>(std::floor(x1)) * a, static_cast<int>(std::floor(y1)) * a,
                static_cast<int>(std::ceil(x2)) * a, static_cast<int>(std::ceil(y2)) * a};
  DispatchTo(s, paint);
  s->paintContext = nullptr;
  if (!s->drawnOnce) ReleasePosted(s);
  if (!s->painted) {
    // Nothing drawn yet: the dialog's own background colour.
    const ControlColors colors = s->dialog != nullptr ? s->dialog->OnCtlColor(kCtlColorDialog) : ControlColors{};
    const uint32_t bg = colors.overridden ? colors.background : 0xFFFFFF;
    cairo_set_source_rgb(cr, ((bg >> 16) & 0xFF) / 255.0, ((bg >> 8) & 0xFF) / 255.0, (bg & 0xFF) / 255.0);
    cairo_paint(cr);
  }
  return TRUE;
}

gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* s = static_cast<GtkHostState*>(data);
  if (event->type != GDK_BUTTON_PRESS) return TRUE;  // double clicks are two presses already
  if (event->button == GDK_BUTTON_SECONDARY && s->menu != nullptr) {
    gtk_menu_popup_at_pointer(GTK_MENU(s->menu), reinterpret_cast<GdkEvent*>(event));
    return TRUE;
  }
  if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
  s->pressButton = event->button;
  s->pressRootX = static_cast<gint>(event->x_root);
  s->pressRootY = static_cast<gint>(event->y_root);
  s->pressTime = event->time;
  DispatchTo(s, {kWmLButtonDown, 1, PagePoint(s, event->x, event->y), {}});
  return TRUE;
}

gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
  if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
  auto* s = static_cast<GtkHostState*>(data);
  DispatchTo(s, {kWmLButtonUp, 0, PagePoint(s, event->x, event->y), {}});
  return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  const uint64_t flags = (event->state & GDK_BUTTON1_MASK) ? 1 : 0;
  auto* s = static_cast<GtkHostState*>(data);
  DispatchTo(s, {kWmMouseMove, flags, PagePoint(s, event->x, event->y), {}});
  return TRUE;
}

// Before GTK's own handling: Escape and Enter go to the window's
// pre-translation; Tab and Space, which the window walks and presses its
// sprite buttons with, to the window, and GTK's focus chain never sees Tab.
gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* s = static_cast<GtkHostState*>(data);
  const uint32_t key = WindowKey(event->keyval);
  const int64_t flags = (event->state & GDK_SHIFT_MASK) != 0 ? kKeyShifted : 0;
  const DialogMessage message{kWmKeyDown, key, flags, {}};
  if (s->dialog == nullptr) return FALSE;
  if (s->dialog->PreTranslateMessage(message)) return TRUE;
  if (key != kKeyTab && key != kKeySpace) return FALSE;
  if ((event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) != 0) return FALSE;
  return s->dialog->Dispatch(message) != 0 ? TRUE : FALSE;
}

gboolean OnKeyRelease(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* s = static_cast<GtkHostState*>(data);
  if (s->dialog == nullptr || WindowKey(event->keyval) != kKeySpace) return FALSE;
  return s->dialog->Dispatch({kWmKeyUp, kKeySpace, 0, {}}) != 0 ? TRUE : FALSE;
}

// A click into the language list takes the focus there: the window follows.
void OnFocusWidget(GtkWindow*, GtkWidget* widget, gpointer data) {
  auto* s = static_cast<GtkHostState*>(data);
  if (widget != nullptr && (widget == s->combo || gtk_widget_is_ancestor(widget, s->combo))) {
    DispatchTo(s, {kWmSetFocus, kFocusLanguage, 0, {}});
  }
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  DispatchTo(static_cast<GtkHostState*>(data), {kWmClose, 0, 0, {}});
  return TRUE;  // the host destroys the window itself once the loop has ended
}

// The window was destroyed from outside (not through its close button): end
// the loop as a close would, without touching the window again.
void OnDestroyed(GtkWidget*, gpointer data) {
  auto* s = static_cast<GtkHostState*>(data);
  s->window = nullptr;
  DispatchTo(s, {kWmClose, 0, 0, {}});
  if (g_main_loop_is_running(s->loop)) g_main_loop_quit(s->loop);
}

// The window moved to a monitor of another scale (or the scale changed).
void OnScaleFactor(GObject*, GParamSpec*, gpointer data) {
  auto* s = static_cast<GtkHostState*>(data);
  const int scale = gtk_widget_get_scale_factor(s->window) * 100;
  if (scale == s->reportedScale) return;
  s->reportedScale = scale;
  DispatchTo(s, {kWmDpiChanged, 0, 0, {}});
}

void OnAboutActivated(GtkMenuItem*, gpointer data) {
  DispatchTo(static_cast<GtkHostState*>(data), {kWmSysCommand, kSysCmdAbout, 0, {}});
}

// The window's work ends: nothing posted runs any more and no timer ticks.
void StopDispatching(GtkHostState* s) {
  {
    std::lock_guard lock(s->mutex);
    s->ended = true;
    s->queue.clear();
  }
  for (const auto& [id, timer] : s->timers) g_source_remove(timer->source);
  s->timers.clear();
}

// The theme's colours when it is a high-contrast one (HighContrast,
// HighContrastInverse), which the ring and the status line follow.
ContrastColors ThemeContrast(GtkWidget* window) {
  // GTK_THEME, when set, is the theme GTK draws with, whatever the settings say.
  const char* forced = g_getenv("GTK_THEME");
  gchar* theme = nullptr;
  if (forced == nullptr) g_object_get(gtk_settings_get_default(), "gtk-theme-name", &theme, nullptr);
  const char* name = forced != nullptr ? forced : theme;
  const bool high = name != nullptr && std::string(name).find("HighContrast") != std::string::npos;
  g_free(theme);
  if (!high || window == nullptr) return {};
  GtkStyleContext* style = gtk_widget_get_style_context(window);
  const auto look = [style](const char* name, uint32_t fallback) {
    GdkRGBA c{};
    if (!gtk_style_context_lookup_color(style, name, &c)) return fallback;
    const auto byte = [](double v) { return static_cast<uint32_t>(std::clamp(v, 0.0, 1.0) * 255.0 + 0.5); };
    return byte(c.red) << 16 | byte(c.green) << 8 | byte(c.blue);
  };
  return {true, look("theme_fg_color", 0x000000), look("theme_bg_color", 0xFFFFFF),
          look("theme_selected_bg_color", 0x0000FF)};
}

void ApplyColours(GtkHostState* s) {
  const std::string css =
      HostCss(s->dialog->OnCtlColor(kCtlColorDialog), s->dialog->OnCtlColor(kCtlColorStatic), ThemeContrast(s->window));
  gtk_css_provider_load_from_data(s->css, css.c_str(), -1, nullptr);
}

}  // namespace gtk_host
