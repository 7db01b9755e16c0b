// AtkObjects rather than GtkButtons: the buttons stay sprites that the page
// draws and that the window's mouse handling presses, so nothing about their
// drawing or the mouse changes; the accessible side only reads their states
// and asks the window for an activation.
#include "platform/gtk/GtkAccessibleButtons.h"

#include <gtk/gtk-a11y.h>

#include <memory>
#include <string>

#include "net/Text.h"

struct ZkButtonAccessible;

namespace {

// What the canvas keeps for its accessible: the source and the children.
struct CanvasButtons {
  const ButtonSource* source = nullptr;
  std::vector<ZkButtonAccessible*> children;  // owned references, made when first asked for
  std::vector<ButtonState> last;              // what assistive technology was last told
  ~CanvasButtons();
};

constexpr char kDataKey[] = "zk-canvas-buttons";

CanvasButtons* ButtonsOf(GtkWidget* canvas) {
  return canvas != nullptr ? static_cast<CanvasButtons*>(g_object_get_data(G_OBJECT(canvas), kDataKey)) : nullptr;
}

}  // namespace

// The button's accessible: a push button that knows its canvas and place.
struct ZkButtonAccessible {
  AtkObject parent;
  GtkWidget* canvas;  // cleared when the canvas goes
  int index;
};
struct ZkButtonAccessibleClass {
  AtkObjectClass parent_class;
};

// The drawing area and its accessible.
struct ZkCanvas {
  GtkDrawingArea parent;
};
struct ZkCanvasClass {
  GtkDrawingAreaClass parent_class;
};
struct ZkCanvasAccessible {
  GtkWidgetAccessible parent;
};
struct ZkCanvasAccessibleClass {
  GtkWidgetAccessibleClass parent_class;
};

static void zk_button_component_init(AtkComponentIface* iface);
static void zk_button_action_init(AtkActionIface* iface);

G_DEFINE_TYPE_WITH_CODE(ZkButtonAccessible, zk_button_accessible, ATK_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_COMPONENT, zk_button_component_init)
                            G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, zk_button_action_init))
G_DEFINE_TYPE(ZkCanvasAccessible, zk_canvas_accessible, GTK_TYPE_WIDGET_ACCESSIBLE)
G_DEFINE_TYPE(ZkCanvas, zk_canvas, GTK_TYPE_DRAWING_AREA)

namespace {

CanvasButtons::~CanvasButtons() {
  for (ZkButtonAccessible* child : children) {
    child->canvas = nullptr;  // a screen reader may hold it longer: it is defunct from now on
    g_object_unref(child);
  }
}

bool StateOf(ZkButtonAccessible* button, ButtonState& state) {
  CanvasButtons* buttons = ButtonsOf(button->canvas);
  if (buttons == nullptr) return false;
  const std::vector<ButtonState> states = buttons->source->states();
  if (button->index < 0 || static_cast<std::size_t>(button->index) >= states.size()) return false;
  state = states[button->index];
  return true;
}

void EnsureChildren(GtkWidget* canvas, AtkObject* parent) {
  CanvasButtons* buttons = ButtonsOf(canvas);
  if (buttons == nullptr || !buttons->children.empty()) return;
  const std::vector<ButtonState> states = buttons->source->states();
  for (std::size_t i = 0; i < states.size(); ++i) {
    auto* child = static_cast<ZkButtonAccessible*>(g_object_new(zk_button_accessible_get_type(), nullptr));
    child->canvas = canvas;
    child->index = static_cast<int>(i);
    AtkObject* object = ATK_OBJECT(child);
    atk_object_set_role(object, ATK_ROLE_PUSH_BUTTON);
    atk_object_set_name(object, Utf16ToUtf8(states[i].name).c_str());
    atk_object_set_parent(object, parent);
    buttons->children.push_back(child);
  }
  buttons->last = states;
}

gint CanvasChildCount(AtkObject* accessible) {
  GtkWidget* canvas = gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
  EnsureChildren(canvas, accessible);
  CanvasButtons* buttons = ButtonsOf(canvas);
  return buttons != nullptr ? static_cast<gint>(buttons->children.size()) : 0;
}

AtkObject* CanvasChild(AtkObject* accessible, gint index) {
  GtkWidget* canvas = gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
  EnsureChildren(canvas, accessible);
  CanvasButtons* buttons = ButtonsOf(canvas);
  if (buttons == nullptr || index < 0 || static_cast<std::size_t>(index) >= buttons->children.size()) return nullptr;
  return ATK_OBJECT(g_object_ref(buttons->children[index]));
}

gint ButtonIndex(AtkObject* accessible) { return reinterpret_cast<ZkButtonAccessible*>(accessible)->index; }

AtkStateSet* ButtonStates(AtkObject* accessible) {
  AtkStateSet* set = atk_state_set_new();
  auto* button = reinterpret_cast<ZkButtonAccessible*>(accessible);
  ButtonState state;
  if (!StateOf(button, state)) {
    atk_state_set_add_state(set, ATK_STATE_DEFUNCT);
    return set;
  }
  atk_state_set_add_state(set, ATK_STATE_FOCUSABLE);
  atk_state_set_add_state(set, ATK_STATE_VISIBLE);
  if (gtk_widget_get_mapped(button->canvas)) atk_state_set_add_state(set, ATK_STATE_SHOWING);
  if (state.enabled) {
    atk_state_set_add_state(set, ATK_STATE_ENABLED);
    atk_state_set_add_state(set, ATK_STATE_SENSITIVE);
  }
  if (state.focused) atk_state_set_add_state(set, ATK_STATE_FOCUSED);
  if (state.pressed) atk_state_set_add_state(set, ATK_STATE_PRESSED);
  return set;
}

void ButtonExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height, AtkCoordType coords) {
  auto* button = reinterpret_cast<ZkButtonAccessible*>(component);
  ButtonState state;
  *x = *y = *width = *height = 0;
  if (!StateOf(button, state)) return;
  gint left = state.place.left, top = state.place.top;
  GtkWidget* top_level = gtk_widget_get_toplevel(button->canvas);
  if (coords == ATK_XY_WINDOW || coords == ATK_XY_SCREEN) {
    gtk_widget_translate_coordinates(button->canvas, top_level, left, top, &left, &top);
  }
  if (coords == ATK_XY_SCREEN) {
    gint originX = 0, originY = 0;
    if (GdkWindow* window = gtk_widget_get_window(top_level)) gdk_window_get_origin(window, &originX, &originY);
    left += originX, top += originY;
  }
  *x = left, *y = top;
  *width = state.place.right - state.place.left;
  *height = state.place.bottom - state.place.top;
}

struct PendingClick {
  ZkButtonAccessible* button;  // a reference
  uint64_t command;
};

gboolean ClickLater(gpointer data) {
  std::unique_ptr<PendingClick> click(static_cast<PendingClick*>(data));
  if (CanvasButtons* buttons = ButtonsOf(click->button->canvas)) buttons->source->click(click->command);
  g_object_unref(click->button);
  return G_SOURCE_REMOVE;
}

gboolean ButtonDoAction(AtkAction* action, gint index) {
  auto* button = reinterpret_cast<ZkButtonAccessible*>(action);
  ButtonState state;
  if (index != 0 || !StateOf(button, state) || !state.enabled) return FALSE;
  g_object_ref(button);
  g_idle_add(ClickLater, new PendingClick{button, state.command});
  return TRUE;
}

gint ButtonActionCount(AtkAction*) { return 1; }
const gchar* ButtonActionName(AtkAction*, gint index) { return index == 0 ? "click" : nullptr; }

}  // namespace

static void zk_button_accessible_init(ZkButtonAccessible* button) {
  button->canvas = nullptr;
  button->index = -1;
}

static void zk_button_accessible_class_init(ZkButtonAccessibleClass* klass) {
  AtkObjectClass* object = ATK_OBJECT_CLASS(klass);
  object->get_index_in_parent = ButtonIndex;
  object->ref_state_set = ButtonStates;
}

static void zk_button_component_init(AtkComponentIface* iface) { iface->get_extents = ButtonExtents; }

static void zk_button_action_init(AtkActionIface* iface) {
  iface->do_action = ButtonDoAction;
  iface->get_n_actions = ButtonActionCount;
  iface->get_name = ButtonActionName;
  iface->get_localized_name = ButtonActionName;
}

static void zk_canvas_accessible_init(ZkCanvasAccessible*) {}

static void zk_canvas_accessible_class_init(ZkCanvasAccessibleClass* klass) {
  AtkObjectClass* object = ATK_OBJECT_CLASS(klass);
  object->get_n_children = CanvasChildCount;
  object->ref_child = CanvasChild;
}

static void zk_canvas_init(ZkCanvas*) {}

static void zk_canvas_class_init(ZkCanvasClass* klass) {
  gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), zk_canvas_accessible_get_type());
  gtk_widget_class_set_accessible_role(GTK_WIDGET_CLASS(klass), ATK_ROLE_DRAWING_AREA);
}

GtkWidget* NewButtonCanvas(const ButtonSource* source) {
  GtkWidget* canvas = GTK_WIDGET(g_object_new(zk_canvas_get_type(), nullptr));
  auto* buttons = new CanvasButtons;
  buttons->source = source;
  g_object_set_data_full(G_OBJECT(canvas), kDataKey, buttons,
                         [](gpointer data) { delete static_cast<CanvasButtons*>(data); });
  return canvas;
}

void NotifyButtonStates(GtkWidget* canvas) {
  CanvasButtons* buttons = ButtonsOf(canvas);
  if (buttons == nullptr) return;
  const std::vector<ButtonState> now = buttons->source->states();
  if (buttons->children.empty() || now.size() != buttons->last.size()) {
    buttons->last = now;
    return;  // nobody has asked for the buttons yet
  }
  for (std::size_t i = 0; i < now.size() && i < buttons->children.size(); ++i) {
    AtkObject* child = ATK_OBJECT(buttons->children[i]);
    const ButtonState& was = buttons->last[i];
    if (now[i].enabled != was.enabled) {
      atk_object_notify_state_change(child, ATK_STATE_ENABLED, now[i].enabled);
      atk_object_notify_state_change(child, ATK_STATE_SENSITIVE, now[i].enabled);
    }
    if (now[i].pressed != was.pressed) atk_object_notify_state_change(child, ATK_STATE_PRESSED, now[i].pressed);
    if (now[i].focused != was.focused) atk_object_notify_state_change(child, ATK_STATE_FOCUSED, now[i].focused);
  }
  buttons->last = now;
}
