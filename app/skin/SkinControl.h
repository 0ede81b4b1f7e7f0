// The base of the control skinners: the object that draws one control of a skinned window from
// the loaded skin. A skinner hooks its control (the control's WindowProc, or the window procedure
// of a plain window), sees every message before and after the control's own procedure, and lists
// itself with the skinned window that made it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Classes.h"
#include "Controls.h"
#include "Graphics.h"
#include "Messages.h"
#include "Pictures.h"
#include "SkinData.h"

namespace kivo {

class TSkinControl;

// What a skinner needs of the skinned window that lists it.
class TSkinnerHost {
 public:
  // Adds the skinner when absent; answers whether it was listed already.
  virtual bool AddSkinner(TSkinControl* skinner) = 0;
  // Removes the last entry equal to the skinner.
  virtual void RemoveSkinner(TSkinControl* skinner) = 0;
  // The skinned window.
  virtual HWND SkinnedWindow() const = 0;
  // The canvas lent to the skinners.
  virtual TCanvas* SharedCanvas() = 0;

 protected:
  ~TSkinnerHost() = default;
};

// The engine's messages a skinner answers.
constexpr UINT kSkinMsgEnable = 0x3506;     // WParam > 0 switches skinning on, 0 off
constexpr UINT kSkinMsgIsSkinned = 0x3523;  // answered 1 by every skinned control
constexpr UINT kSkinMsgCloseTab = 0x3507;   // to the skinned window: WParam the tab control, LParam the tab
constexpr UINT kSkinMsgReskinScroll = 0x3517;
constexpr UINT kSkinMsgPrintControl = 0xBC4A;
constexpr UINT kSkinMsgPrint = 0xBC4B;
constexpr LPARAM kSkinMsgSignature = 0x41A2;

// StateFlags bits.
constexpr std::uint8_t kSkinHover = 1;
constexpr std::uint8_t kSkinPressed = 2;

// Skinner states.
constexpr int kSkinnerCreated = 0;
constexpr int kSkinnerAttached = 1;
constexpr int kSkinnerRestored = 2;
constexpr int kSkinnerWindowGone = 6;

class TSkinControl : public TComponent {
  KIVO_CLASS(TSkinControl, TComponent)
 public:
  // Owned by the control it skins (or the control owning the window it skins).
  explicit TSkinControl(TComponent* owner);
  ~TSkinControl() override;

  // Attaches to the control that owns the skinner (its WindowProc is hooked). Nothing the second time.
  virtual void AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas);
  // Attaches to a plain window (its window procedure is replaced).
  virtual void AttachWindow(HWND handle, TSkinData* skinData, TSkinnerHost* form, TCanvas* canvas);
  // Gives the control back what skinning changed.
  virtual void Restore();
  // Answers true to hand the message on to the control.
  virtual bool BeforeMessage(TMessage& m);
  virtual void AfterMessage(TMessage& m);
  // Draws the skin over the whole window: into dc, or the window DC when dc is 0. Does nothing
  // when the window is gone; anything drawing raises is swallowed.
  virtual void PaintFrame(HDC dc);
  // Draws the skin into dc; r is the whole window with its origin at 0,0.
  virtual void Draw(HDC dc, const RECT& r);
  // The skin was changed.
  virtual void SkinChanged();
  virtual bool Accepts() { return true; }

  // Every message of the hooked control or window.
  void MessageHook(TMessage& m);
  // The control's own handling of the message.
  void CallPrevious(TMessage& m);
  // Invalidates RepaintTarget, or the window (erased and updated at once).
  void Repaint();
  // Sends the library's mouse-leave notification to the window.
  void MouseLeave();
  // ParentBackground of the control switched off while skinned (on), back on when it was (off).
  void SwitchParentBackground(bool on);
  // The Color of the control's parent, else def.
  TColor ParentColor(TColor def) const;
  // The control's MouseDown for a button-down message.
  void ForwardMouseDown(const TMessage& m);
  LONG_PTR WindowLong(HWND wnd, int index) const;
  // The skin's ButtonFace colour.
  TColor FaceColor() const;
  // False once this skinner is destroyed (handlers may free it while a message runs).
  std::shared_ptr<bool> AliveToken() const { return alive_; }
  // The control is being destroyed (its message method must not be touched any more).
  bool ControlDying() const;

  std::uint8_t StateFlags = 0;
  TCanvas* Canvas = nullptr;  // lent by the skinned window
  std::uint8_t IsEnabled = 0;
  std::uint8_t Focused = 0;
  std::wstring Text;
  WNDPROC ObjectInstance = nullptr;
  WNDPROC OldWndProc = nullptr;
  std::uint8_t Enabled = 1;
  std::uint8_t Unicode = 0;
  TSkinData* SkinData = nullptr;
  HWND Handle = nullptr;
  TWndMethod SavedWindowProc;
  TControl* Control = nullptr;
  RECT WindowRect{};
  TControl* RepaintTarget = nullptr;
  std::uint8_t Recolor = 0;
  TColor SavedColor = 0;
  std::uint8_t Attached = 0;
  int State = kSkinnerCreated;
  TSkinnerHost* Form = nullptr;
  int Mode = 0;
  std::uint8_t ParentBackgroundWasOn = 0;

 protected:
  // Puts the control's WindowProc back (when it is still alive and hooked).
  void UnhookControl();
  // Puts the plain window's procedure back.
  void UnhookWindow();
  // Hooks the control's WindowProc.
  void HookControl();
  // Subclasses Handle with a thunk calling MessageHook.
  void HookWindow();

 private:
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// ---- property access by name, for controls whose classes the skinners do not know ---------------
// An integer property; -1 when the object is nil or the property is missing or of another kind.
long long GetOrdPropByName(const TObject* obj, std::wstring_view name);
// The value name of an enumeration property; empty when missing.
std::wstring GetEnumPropByName(const TObject* obj, std::wstring_view name);
// A string property; empty when missing.
std::wstring GetStrPropByName(const TObject* obj, std::wstring_view name);
// The object of an object property when it is of the class (any class for nullptr).
TObject* GetObjectPropByName(const TObject* obj, std::wstring_view name, const TClassInfo* cls = nullptr);
// Enumeration by value name, integer from decimal text (EConvertError for malformed text), string
// as is; nothing for other kinds or a missing property.
void SetPropByName(TObject* obj, std::wstring_view name, const std::wstring& value);
bool HasProp(const TObject* obj, std::wstring_view name);

// The window's text.
std::wstring WindowTextOf(HWND wnd);
// WS_POPUP, or a parent that is the desktop window.
bool IsPopupWindow(HWND wnd);
// The destination takes the source's size and pixel format and its picture.
void CopyBitmap(TBitmap* source, TBitmap* destination);

}  // namespace kivo
