// A push button that is not a window of its own: it draws itself from
// consecutive sprites of a set onto its owner's page and learns about the
// mouse from its owner's messages. Frames, from the base sprite: normal,
// hover, pressed, disabled. The owner also hands it the keyboard focus and
// the Space key, which press it as the mouse does.
#pragma once

#include <cstdint>

class SpritePage;
class xSprite;

// The command that every button posts when it is pressed.
inline constexpr uint32_t kButtonPressNotification = 10725;

// What a button needs of the window that holds it.
class ButtonOwner {
 public:
  virtual ~ButtonOwner() = default;
  // Whether the owner's window still exists; commands go nowhere otherwise.
  virtual bool IsLiveWindow() const = 0;
  // Queues a command (wParam of a command message, lParam 0) for later.
  virtual void PostCommand(uint32_t wParam) = 0;
  // Delivers a command at once; the owner's handler has finished on return.
  virtual void SendCommand(uint32_t wParam) = 0;
};

class SpriteButton {
 public:
  SpriteButton() = default;
  virtual ~SpriteButton() = default;  // owner, page and set belong to others

  void Create(ButtonOwner* owner, SpritePage* page, int x, int y, const xSprite* sprites, int baseSprite,
              uint32_t commandId, int frameCount);
  void Enable(int flag);

  // Each returns 1 when the button took the event (see the .cpp), else 0.
  int OnMouseMove(int px, int py);
  int OnLButtonDown(int px, int py);
  int OnLButtonUp(int px, int py);
  // Keyboard: while focused, Space down shows the pressed frame and posts the
  // press notification, Space up sends the command, as a click does. Each
  // returns 1 when the button took the key. Losing the focus or being
  // disabled cancels a held key.
  void SetFocused(bool focused);
  int OnSpaceDown();
  int OnSpaceUp();
  // An activation without any press (a screen reader's action): the command
  // alone, at once. 1 when sent.
  int Activate();
  // Draws the current frame with PutSprAuto(opt, grade, colour 0).
  void Draw(uint32_t opt, int grade);
  // A two-pixel ring just inside the frame's edge, its outer line in
  // `outer` and its inner in `inner` (page pixels), while the button is
  // focused and enabled.
  void DrawFocusRing(uint32_t outer, uint32_t inner, int scale = 1);

  // The sprite index that Draw would use now.
  int CurrentFrame() const;
  bool IsCreated() const { return created_ != 0; }
  bool IsEnabled() const { return enabled_ != 0; }
  bool IsPressed() const { return pressed_ != 0; }
  bool IsHovered() const { return hover_ != 0; }
  bool IsFocused() const { return focused_ != 0; }
  bool IsKeyHeld() const { return keyPressed_ != 0; }
  int X() const { return x_; }
  int Y() const { return y_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  bool Contains(int px, int py) const;

  ButtonOwner* owner_ = nullptr;
  SpritePage* page_ = nullptr;
  const xSprite* sprites_ = nullptr;
  int created_ = 0;
  int enabled_ = 1;
  int baseSprite_ = 0;
  int frameCount_ = 0;
  int x_ = 0, y_ = 0;
  int width_ = 0, height_ = 0;
  int pressed_ = 0;
  int hover_ = 0;
  int focused_ = 0;
  int keyPressed_ = 0;  // Space went down on the focused button and is not up yet
  uint32_t commandId_ = 0;
};
