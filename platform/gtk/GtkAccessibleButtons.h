// The window's sprite buttons for assistive technology on GTK: a drawing
// area whose accessible holds one push button per sprite button, made from
// the window's own button states, with a "click" action.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <vector>

#include "SelectLanguage/DialogHost.h"

struct ButtonSource {
  std::function<std::vector<ButtonState>()> states;
  // The action: runs from an idle callback, never inside the bus's call.
  std::function<void(uint64_t command)> click;
};

// A drawing area for the window's page whose accessible's children are the
// buttons `source` describes; `source` outlives the widget.
GtkWidget* NewButtonCanvas(const ButtonSource* source);
// Tells assistive technology which states changed since the last call.
void NotifyButtonStates(GtkWidget* canvas);
