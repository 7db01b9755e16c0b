// The window's keyboard and what assistive technology sees of its sprite
// buttons. Tab and Shift+Tab walk the Tab order (FocusOrder.h); Space
// presses the focused button as the mouse would, through the same press
// notification and command; a host's activation sends the command alone.
#include "SelectLanguage/FocusOrder.h"
#include "SelectLanguage/InstallerDialog.h"

namespace {

// Bright cyan: no colour of the artwork's felt, cards or gold frames is near it.
constexpr uint32_t kFocusRingColor = 0x00FFFF;

uint32_t To555(uint32_t rgb) {
  return (((rgb >> 19) & 0x1F) << 10) | (((rgb >> 11) & 0x1F) << 5) | ((rgb >> 3) & 0x1F);
}

ButtonState StateOf(const SpriteButton& button, uint64_t command, const char16_t* name) {
  ButtonState state;
  state.command = command;
  state.name = name;
  state.place = {button.X(), button.Y(), button.X() + button.Width(), button.Y() + button.Height()};
  state.enabled = button.IsEnabled();
  state.focused = button.IsFocused();
  state.pressed = button.IsPressed() || button.IsKeyHeld();
  return state;
}

}  // namespace

std::vector<ButtonState> InstallerDialog::Buttons() const {
  // Named as drawn on the artwork, which is in English for every language.
  return {StateOf(installButton_, kCmdInstall, u"Install"), StateOf(closeButton_, kCmdClose, u"Close")};
}

SpriteButton* InstallerDialog::FocusedButton() {
  if (focus_ == kFocusInstall) return &installButton_;
  if (focus_ == kFocusClose) return &closeButton_;
  return nullptr;
}

void InstallerDialog::MoveFocus(uint64_t target, bool tellHost) {
  const FrameWatch watch(*this);
  focus_ = target;
  installButton_.SetFocused(target == kFocusInstall);
  closeButton_.SetFocused(target == kFocusClose);
  if (tellHost) host_.FocusControl(target);
}

int64_t InstallerDialog::OnKeyDown(uint64_t key, int64_t flags) {
  if (key == kKeyTab) {
    const FocusChoices choices{comboEnabled_, installButton_.IsEnabled(), closeButton_.IsEnabled()};
    MoveFocus(NextFocus(focus_, (flags & kKeyShifted) != 0, choices), true);
    return 1;
  }
  SpriteButton* button = key == kKeySpace ? FocusedButton() : nullptr;
  if (button == nullptr) return 0;  // the language list keeps its own keys
  const FrameWatch watch(*this);
  return button->OnSpaceDown();
}

int64_t InstallerDialog::OnKeyUp(uint64_t key) {
  SpriteButton* button = key == kKeySpace ? FocusedButton() : nullptr;
  if (button == nullptr) return 0;
  const FrameWatch watch(*this);
  return button->OnSpaceUp();  // may close the window: the watch knows
}

int64_t InstallerDialog::OnSetFocus(uint64_t target) {
  // The host moved the focus itself (a click into the list, the system's
  // dialog navigation): the window follows without moving it again.
  if (target != kFocusLanguage && target != kFocusInstall && target != kFocusClose) return 0;
  MoveFocus(target, false);
  return 1;
}

int64_t InstallerDialog::OnButtonClick(uint64_t command) {
  SpriteButton* button = command == kCmdInstall ? &installButton_ : command == kCmdClose ? &closeButton_ : nullptr;
  if (button == nullptr) return 0;
  const FrameWatch watch(*this);
  return button->Activate();
}

std::pair<uint32_t, uint32_t> InstallerDialog::FocusRingPixels() const {
  const ContrastColors contrast = host_.HighContrast();
  if (!contrast.active) return {To555(kFocusRingColor), To555(kFocusRingColor)};
  return {To555(contrast.highlight), To555(contrast.text)};
}

std::array<int, 8> InstallerDialog::FrameWatch::Look(const InstallerDialog& d) {
  const SpriteButton& i = d.installButton_;
  const SpriteButton& c = d.closeButton_;
  return {i.CurrentFrame(), i.IsFocused(), i.IsEnabled(), i.IsKeyHeld() || i.IsPressed(),
          c.CurrentFrame(), c.IsFocused(), c.IsEnabled(), c.IsKeyHeld() || c.IsPressed()};
}

InstallerDialog::FrameWatch::FrameWatch(InstallerDialog& dialog) : dialog_(dialog), before_(Look(dialog)) {}

InstallerDialog::FrameWatch::~FrameWatch() {
  if (dialog_.closed_) return;
  const std::array<int, 8> after = Look(dialog_);
  if (after == before_) return;
  if (after[0] != before_[0] || after[1] != before_[1] || after[4] != before_[4] || after[5] != before_[5]) {
    dialog_.host_.Invalidate();
  }
  // The states a screen reader tells: focus, enabled, pressed.
  for (int i : {1, 2, 3, 5, 6, 7}) {
    if (after[i] != before_[i]) {
      dialog_.host_.ButtonsChanged();
      return;
    }
  }
}
