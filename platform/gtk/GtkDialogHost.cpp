// The GTK 3 host of the installer's window.
// Implements every DialogHost service: the window "Select language" with the
// language combo box and the progress bar over a drawing area that shows the
// page; messages posted from any thread, run in order on the window's
// thread; timers, mouse, Escape and Enter, closing; the About item and box,
// message boxes, the icon and the minimised state; Tab, Shift+Tab and Space
// for the window's own Tab order, and the sprite buttons' accessibles
// (GtkAccessibleButtons.h).
// Where it differs from the Win32 host:
//  - no template: the controls are made here at the template's places
//    (WindowLayout.h), and colours go in once as CSS, not per query;
//  - posted messages wait for the first paint (a second at most), where
//    Win32 paints once synchronously before its loop;
//  - no system menu: the About item is in a right-click menu, and the About
//    box is a message box built here;
//  - the icon is the image given to SetIcons, not the resource icon group;
//  - a drag goes to the window manager with the press's position and time;
//  - the progress bar shows a fraction (Win32 scales totals past 31 bits);
//  - a later start reaches the window through BringGtkHostToFront, where
//    on Windows the later start raises the window itself;
//  - the display's scale is GTK's window scale factor: the window's places
//    are GTK's unscaled pixels, and the page goes to the surface with its
//    device scale set.
// The state and the signal handlers are in GtkHostState.h and
// GtkHostEvents.cpp; this file makes the window and offers the services.
#include "platform/gtk/GtkDialogHost.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "SelectLanguage/DisplayScale.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/WindowLayout.h"
#include "net/Text.h"
#include "platform/gtk/GtkAccessibleButtons.h"
#include "platform/gtk/GtkHostConversions.h"
#include "platform/gtk/GtkHostState.h"
#include "resources/ProgramVersion.h"

#include <gdk/gdkx.h>

namespace {

using namespace gtk_host;

// The window template in pixels for its font.
constexpr int kTemplateWidth = DialogUnitsToPixelsX(ZK_DIALOG_WIDTH);
constexpr int kTemplateHeight = DialogUnitsToPixelsY(ZK_DIALOG_HEIGHT);
constexpr int kComboWidth = DialogUnitsToPixelsX(ZK_COMBO_WIDTH);
constexpr int kProgressWidth = DialogUnitsToPixelsX(ZK_PROGRESS_WIDTH);
constexpr int kProgressHeight = DialogUnitsToPixelsY(ZK_PROGRESS_HEIGHT);

std::string ToUtf8(const std::u16string& text) { return Utf16ToUtf8(text); }

class GtkDialogHost final : public DialogHost {
 public:
  GtkDialogHost() : state_(std::make_unique<GtkHostState>()) {
    GtkHostState* s = state_.get();
    s->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(s->window), "Select language");
    gtk_window_set_resizable(GTK_WINDOW(s->window), FALSE);
    gtk_window_set_skip_taskbar_hint(GTK_WINDOW(s->window), FALSE);

    s->fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(s->window), s->fixed);

    // The sprite buttons' accessibles read the window's states; an
    // activation reaches the window as any message does.
    // The page's pixels in the window's (unscaled) ones, as the bus counts.
    s->buttonSource.states = [s] {
      std::vector<ButtonState> states = s->dialog != nullptr ? s->dialog->Buttons() : std::vector<ButtonState>{};
      for (ButtonState& state : states) {
        const PixelRect r = state.place;
        state.place = {ToWindow(s, r.left), ToWindow(s, r.top), ToWindow(s, r.right), ToWindow(s, r.bottom)};
      }
      return states;
    };
    s->buttonSource.click = [s](uint64_t command) { DispatchTo(s, {kWmButtonClick, command, 0, {}}); };
    s->canvas = NewButtonCanvas(&s->buttonSource);
    gtk_widget_set_can_focus(s->canvas, TRUE);  // holds the focus while a sprite button has it
    s->clientWidth = kTemplateWidth;
    s->clientHeight = kTemplateHeight;
    gtk_widget_set_size_request(s->canvas, s->clientWidth, s->clientHeight);
    gtk_widget_add_events(s->canvas, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
    gtk_fixed_put(GTK_FIXED(s->fixed), s->canvas, 0, 0);

    // The template's controls at their template positions until the window places them.
    s->combo = gtk_combo_box_text_new();
    gtk_widget_set_size_request(s->combo, kComboWidth, -1);
    gtk_widget_set_name(s->combo, "language");
    gtk_fixed_put(GTK_FIXED(s->fixed), s->combo, DialogUnitsToPixelsX(ZK_COMBO_LEFT),
                  DialogUnitsToPixelsY(ZK_COMBO_TOP));
    // The artwork has no label beside the list: its accessible name is the label.
    atk_object_set_name(gtk_widget_get_accessible(s->combo), "Language");

    s->progress = gtk_progress_bar_new();
    gtk_widget_set_size_request(s->progress, kProgressWidth, kProgressHeight);
    gtk_widget_set_name(s->progress, "progress");
    atk_object_set_name(gtk_widget_get_accessible(s->progress), "Progress");
    gtk_fixed_put(GTK_FIXED(s->fixed), s->progress, DialogUnitsToPixelsX(ZK_PROGRESS_LEFT),
                  DialogUnitsToPixelsY(ZK_PROGRESS_TOP));

    // The status line: a label over the artwork, which screen readers read.
    s->status = gtk_label_new("");
    gtk_widget_set_name(s->status, "status");
    gtk_label_set_xalign(GTK_LABEL(s->status), 0.0F);
    gtk_label_set_yalign(GTK_LABEL(s->status), 0.5F);
    gtk_label_set_line_wrap(GTK_LABEL(s->status), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(s->status), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_lines(GTK_LABEL(s->status), 2);
    gtk_label_set_ellipsize(GTK_LABEL(s->status), PANGO_ELLIPSIZE_END);
    gtk_label_set_max_width_chars(GTK_LABEL(s->status), 1);  // the size request decides the width
    gtk_widget_set_size_request(s->status, ZK_STATUS_CLIENT_WIDTH, ZK_STATUS_CLIENT_HEIGHT);
    gtk_fixed_put(GTK_FIXED(s->fixed), s->status, ZK_STATUS_CLIENT_X, ZK_STATUS_CLIENT_Y);

    s->css = gtk_css_provider_new();
    gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(s->window), GTK_STYLE_PROVIDER(s->css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);

    g_signal_connect(s->canvas, "draw", G_CALLBACK(OnDraw), s);
    g_signal_connect(s->canvas, "button-press-event", G_CALLBACK(OnButtonPress), s);
    g_signal_connect(s->canvas, "button-release-event", G_CALLBACK(OnButtonRelease), s);
    g_signal_connect(s->canvas, "motion-notify-event", G_CALLBACK(OnMotion), s);
    g_signal_connect(s->window, "key-press-event", G_CALLBACK(OnKeyPress), s);
    g_signal_connect(s->window, "key-release-event", G_CALLBACK(OnKeyRelease), s);
    g_signal_connect(s->window, "set-focus", G_CALLBACK(OnFocusWidget), s);
    g_signal_connect(s->window, "delete-event", G_CALLBACK(OnDelete), s);
    s->destroyHandler = g_signal_connect(s->window, "destroy", G_CALLBACK(OnDestroyed), s);
    s->loop = g_main_loop_new(nullptr, FALSE);
  }

  ~GtkDialogHost() override {
    GtkHostState* s = state_.get();
    StopDispatching(s);
    if (s->menu != nullptr) gtk_widget_destroy(s->menu);
    if (s->window != nullptr) {
      g_signal_handler_disconnect(s->window, s->destroyHandler);
      gtk_widget_destroy(s->window);
    }
    g_object_unref(s->css);
    g_main_loop_unref(s->loop);
    // Let GTK finish the destruction before the state goes.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  }

  void RunModal(DialogWindow& window) override {
    GtkHostState* s = state_.get();
    s->dialog = &window;
    ApplyColours(s);
    s->reportedScale = DisplayScale();
    window.OnInitDialog();
    g_signal_connect(s->window, "notify::scale-factor", G_CALLBACK(OnScaleFactor), s);
    gtk_widget_show(s->fixed);
    gtk_widget_show(s->canvas);
    gtk_widget_show(s->combo);
    gtk_widget_show(s->status);
    gtk_widget_show(s->window);  // the progress bar stays hidden until progress arrives
    // Let the window appear with its artwork before the first posted message
    // runs, so that its first picture never waits on the workflow.
    const gint64 giveUpAt = g_get_monotonic_time() + G_USEC_PER_SEC;
    while (!s->drawnOnce && s->window != nullptr && g_get_monotonic_time() < giveUpAt) {
      if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    // Without a first paint (a minimised start) the messages run anyway.
    if (!s->drawnOnce) ReleasePosted(s);
    bool ended = false;
    {
      std::lock_guard lock(s->mutex);
      ended = s->ended;
    }
    if (!ended) g_main_loop_run(s->loop);
    if (s->window != nullptr) gtk_widget_hide(s->window);
    s->dialog = nullptr;
  }

  void Post(uint32_t message, uint64_t wParam, int64_t lParam) override {
    GtkHostState* s = state_.get();
    std::lock_guard lock(s->mutex);
    if (s->ended) return;
    s->queue.push_back({message, wParam, lParam, {}});
    if (!s->drainScheduled) {
      s->drainScheduled = true;
      g_idle_add(DrainPosted, s);
    }
  }

  bool IsLive() const override {
    std::lock_guard lock(state_->mutex);
    return !state_->ended && state_->dialog != nullptr;
  }

  void EndDialog() override {
    GtkHostState* s = state_.get();
    StopDispatching(s);
    if (g_main_loop_is_running(s->loop)) g_main_loop_quit(s->loop);
  }

  void StartTimer(uint32_t id, uint32_t periodMs) override {
    StopTimer(id);
    auto timer = std::make_unique<GtkTimer>(GtkTimer{state_.get(), id, 0});
    timer->source = g_timeout_add(periodMs, OnTimerTick, timer.get());
    state_->timers[id] = std::move(timer);
  }

  void StopTimer(uint32_t id) override {
    auto it = state_->timers.find(id);
    if (it == state_->timers.end()) return;
    g_source_remove(it->second->source);
    state_->timers.erase(it);
  }

  void ComboAddString(const std::u16string& text) override {
    gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(state_->combo), ToUtf8(text).c_str());
  }

  void ComboSetSelection(int index) override { gtk_combo_box_set_active(GTK_COMBO_BOX(state_->combo), index); }

  int ComboGetSelection() const override { return gtk_combo_box_get_active(GTK_COMBO_BOX(state_->combo)); }

  void ComboEnable(bool enabled) override { gtk_widget_set_sensitive(state_->combo, enabled); }

  void ProgressSetRange(uint64_t total) override { state_->progressTotal = total; }

  void ProgressSetPosition(uint64_t done) override {
    const uint64_t total = state_->progressTotal;
    const double fraction = total == 0 ? 0.0 : static_cast<double>(std::min(done, total)) / static_cast<double>(total);
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(state_->progress), fraction);
  }

  void ProgressShow(bool visible) override { gtk_widget_set_visible(state_->progress, visible); }

  void SetStatusText(const std::u16string& text) override {
    gtk_label_set_text(GTK_LABEL(state_->status), ToUtf8(text).c_str());
  }

  void MoveControl(int controlId, int x, int y, int width) override {
    GtkWidget* control = controlId == kComboLanguage ? state_->combo
                         : controlId == kProgressBar ? state_->progress
                         : controlId == kStatusLine  ? state_->status
                                                     : nullptr;
    if (control == nullptr) return;
    const GtkHostState* s = state_.get();
    gint height = -1;
    gtk_widget_get_size_request(control, nullptr, &height);
    gtk_widget_set_size_request(control, ToWindow(s, width), height);
    gtk_fixed_move(GTK_FIXED(state_->fixed), control, ToWindow(s, x), ToWindow(s, y));
  }

  int DisplayScale() const override { return gtk_widget_get_scale_factor(state_->window) * 100; }

  void SetPageScale(int artworkScale) override { state_->pageScale = std::max(artworkScale, 1); }

  void SetClientSize(int pageWidth, int pageHeight) override {
    const int width = ToWindow(state_.get(), pageWidth);
    const int height = ToWindow(state_.get(), pageHeight);
    state_->clientWidth = std::max(width, 0);
    state_->clientHeight = std::max(height, 0);
    gtk_widget_set_size_request(state_->canvas, state_->clientWidth, state_->clientHeight);
    gtk_window_resize(GTK_WINDOW(state_->window), std::max(width, 1), std::max(height, 1));
  }

  void CentreWindow() override { gtk_window_set_position(GTK_WINDOW(state_->window), GTK_WIN_POS_CENTER); }

  void Invalidate() override { gtk_widget_queue_draw(state_->canvas); }

  void CopyToWindow(const uint16_t* pixels, int pitch, int width, int height, const PixelRect& area) override {
    GtkHostState* s = state_.get();
    if (s->paintContext == nullptr || pixels == nullptr || width <= 0 || height <= 0) return;
    const PageBlock block =
        CopyScaledPageBlock(pixels, pitch, width, height, area, s->pageScale, gtk_widget_get_scale_factor(s->canvas));
    if (!block.image) return;
    const double scale = block.deviceScale;
    cairo_set_source_surface(s->paintContext, block.image.get(), block.left / scale, block.top / scale);
    cairo_paint(s->paintContext);
    s->painted = true;
  }

  void ShowMessageBox(const std::u16string& text, const std::u16string& caption) override {
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(state_->window), GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                            GTK_BUTTONS_OK, "%s", ToUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(box), ToUtf8(caption).c_str());
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
  }

  void BeginWindowDrag(int, int) override {
    GtkHostState* s = state_.get();
    if (s->pressButton == 0) return;
    gtk_window_begin_move_drag(GTK_WINDOW(s->window), static_cast<gint>(s->pressButton), s->pressRootX, s->pressRootY,
                               s->pressTime);
  }

  bool AddAboutItem(const std::u16string& text) override {
    // GTK windows have no system menu: the item lives in the window's
    // right-click menu, after a separator as on Windows.
    GtkHostState* s = state_.get();
    if (s->menu == nullptr) {
      s->menu = gtk_menu_new();
      gtk_menu_attach_to_widget(GTK_MENU(s->menu), s->window, nullptr);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(s->menu), gtk_separator_menu_item_new());
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(GtkMnemonic(text).c_str());
    g_signal_connect(item, "activate", G_CALLBACK(OnAboutActivated), s);
    gtk_menu_shell_append(GTK_MENU_SHELL(s->menu), item);
    gtk_widget_show_all(s->menu);
    return true;
  }

  void RunAboutBox() override {
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(state_->window), GTK_DIALOG_MODAL, GTK_MESSAGE_INFO,
                                            GTK_BUTTONS_OK, "ZK Zirod Installer");
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "Version %s\nInstalls the game and starts it.",
                                             ZK_VERSION_STRING);
    gtk_window_set_title(GTK_WINDOW(box), "About");
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
  }

  void SetIcons(std::span<const uint8_t> image) override {
    if (image.empty()) return;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    if (gdk_pixbuf_loader_write(loader, image.data(), image.size(), nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
      if (GdkPixbuf* icon = gdk_pixbuf_loader_get_pixbuf(loader)) gtk_window_set_icon(GTK_WINDOW(state_->window), icon);
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
  }

  bool IsIconic() const override {
    GdkWindow* w = gtk_widget_get_window(state_->window);
    return w != nullptr && (gdk_window_get_state(w) & GDK_WINDOW_STATE_ICONIFIED) != 0;
  }

  void FocusControl(uint64_t target) override {
    // A sprite button's focus is the canvas's; the window knows which button.
    gtk_widget_grab_focus(target == kFocusLanguage ? state_->combo : state_->canvas);
  }

  void ButtonsChanged() override { NotifyButtonStates(state_->canvas); }

  ContrastColors HighContrast() const override { return ThemeContrast(state_->window); }

  bool BringToFront(const std::string& activationToken) {
    GtkHostState* s = state_.get();
    if (s->window == nullptr || !gtk_widget_get_visible(s->window)) return false;
    GtkWindow* window = GTK_WINDOW(s->window);
    // The launcher's token lets the compositor (Wayland) or the window
    // manager (startup notification) accept the activation.
    if (!activationToken.empty()) gtk_window_set_startup_id(window, activationToken.c_str());
    gtk_window_deiconify(window);
    // On X11 the request carries the server's present time: the user has just
    // started the program again, which is the interaction that asks for it.
    GdkWindow* native = gtk_widget_get_window(s->window);
    const guint32 time =
        native != nullptr && GDK_IS_X11_WINDOW(native) ? gdk_x11_get_server_time(native) : GDK_CURRENT_TIME;
    gtk_window_present_with_time(window, time);
    return true;
  }

 private:
  std::unique_ptr<GtkHostState> state_;
};

}  // namespace

std::unique_ptr<DialogHost> CreateGtkDialogHost() { return std::make_unique<GtkDialogHost>(); }

bool BringGtkHostToFront(DialogHost& host, const std::string& activationToken) {
  auto* gtk = dynamic_cast<GtkDialogHost*>(&host);
  return gtk != nullptr && gtk->BringToFront(activationToken);
}
