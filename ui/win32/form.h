// TForm: what every launcher window on Windows shares. A top-level window of fixed client size with
// the designed font, its controls as named child windows, and a modal run of its own: the owner is
// disabled, messages are dispatched until a modal result is set and the close query agrees, and the
// keyboard works as in a dialog (Tab between controls, Return presses the focused button or else the
// default one, Escape acts as the close box).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vn {

class TForm {
 public:
  TForm();
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return handle_; }
  // Creates the window (hidden) with this client size, centred on the desktop.
  void CreateForm(HWND owner, const std::wstring& caption, int client_width, int client_height);
  void SetClientSize(int width, int height);  // keeps the window centred where it was centred
  // Centres the window's client area on another window's client area.
  void CenterOn(HWND other);
  void SetCaption(const std::wstring& caption);

  // Shows the window and runs its messages until it closes; returns the modal result.
  int ShowModal();
  virtual int FormResult() const { return modal_result_; }
  virtual void SetFormResult(int result) { modal_result_ = result; }

  // A control, a child window of this one: class, caption, styles and its place in the client area.
  HWND AddControl(const char* name, const wchar_t* window_class, const std::wstring& caption, DWORD style,
                  int left, int top, int width, int height);
  // Every control by name, in creation order (the tab order).
  struct Control {
    std::string name;
    HWND handle;
  };
  const std::vector<Control>& Controls() const { return controls_; }
  // The button that Return presses when the focus is on no button.
  void SetDefaultButton(HWND button) { default_button_ = button; }
  // Lines for the layout of pictures (see SavePicture) describing what the window draws itself
  // (paint boxes, windowless labels), in the same form as its controls' lines.
  virtual std::vector<std::string> WindowlessLayout() const { return {}; }
  // Lets pending messages of every window run once (the engines' "process messages").
  static void ProcessMessages();

  // Called when the window has shown itself and painted, once per modal run (screenshots use it).
  std::function<void(TForm&)> OnShown;

 protected:
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  // A control's notification (BN_CLICKED, LBN_DBLCLK, ...).
  virtual void ControlCommand(HWND /*control*/, int /*code*/) {}
  // Paints the client area behind the controls; the face colour unless overridden.
  virtual void PaintBackground(HDC dc, const RECT& client);
  // Whether the window may close with the present modal result.
  virtual bool CloseQuery() { return true; }
  // The close box and Escape: the modal result Cancel.
  virtual void CloseBox();
  // True while an event handler of this window runs: the modal run closes the window only between
  // handlers, as a long procedure inside one polls the modal result itself.
  int handler_depth_ = 0;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  bool HandleKeyboard(MSG& msg);
  void FocusFirstControl();
  // The focus ring: a frame in the highlight colour just outside the control that has the keyboard
  // focus, drawn with the window's background (the system's dotted focus marks are faint, and a list
  // shows its focus only by the tint of its selection). Called after messages ran: moves the ring
  // when the focus moved.
  void UpdateFocusRing();
  RECT FocusRingRect(HWND control) const;

  HWND handle_ = nullptr;
  HWND default_button_ = nullptr;
  std::vector<Control> controls_;
  int modal_result_ = 0;
  bool shown_ = false;
  HWND focus_ring_ = nullptr;  // the control the ring was last drawn around
};

}  // namespace vn
