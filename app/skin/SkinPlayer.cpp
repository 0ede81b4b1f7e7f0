// Media players: a panel over the player draws its visible buttons from the skin and hands the
// clicks on to the player.
#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "SkinDraw.h"
#include "SkinPaint.h"
#include "Skinners.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinMP)
KIVO_IMPLEMENT_CLASS(TWMediaPlayer)

namespace {
const wchar_t* const kButtonTypeNames[kMPButtonCount] = {L"btPlay", L"btPause", L"btStop", L"btNext",  L"btPrev",
                                                          L"btStep", L"btBack",  L"btRecord", L"btEject"};
const char* const kButtonResourceNames[kMPButtonCount] = {"MPPLAY", "MPPAUSE", "MPSTOP",   "MPNEXT", "MPPREV",
                                                          "MPSTEP", "MPBACK",  "MPRECORD", "MPEJECT"};
const char* const kGlyphPrefixes[3] = {"EN", "DI", "CL"};
constexpr TColor kGlyphKey = static_cast<TColor>(0x008080);

// A set property as text ("[btPlay,btStop]"); empty when the control has no such set.
std::wstring SetPropText(const TObject* o, const wchar_t* name) {
  const TPropInfo* p = GetPropInfo(o, name);
  if (!p || p->Kind != TTypeKind::tkSet) return {};
  return GetSetProp(o, name, true);
}
}  // namespace

// ---- TSkinMP ----------------------------------------------------------------------------------------

TSkinMP::~TSkinMP() {
  if (Overlay) Overlay->Free();
  Overlay = nullptr;
}

void TSkinMP::Notification(TComponent* c, TOperation op) {
  TSkinControl::Notification(c, op);
  if (op == TOperation::opRemove && c == Overlay) Overlay = nullptr;
}

void TSkinMP::AttachControl(TSkinnerHost* form, TSkinData* skinData, bool recolor, TCanvas* canvas) {
  if (Attached) return;
  TSkinControl::AttachControl(form, skinData, recolor, canvas);
  if (!Control) return;
  Overlay = new TWMediaPlayer(this);
  Overlay->Bind(this, Control);
  Overlay->SetVisible(Control->Visible());
}

void TSkinMP::Restore() {
  TSkinControl::Restore();
  if (State != kSkinnerWindowGone && Overlay) {
    Overlay->Free();
    Overlay = nullptr;
  }
}

void TSkinMP::AfterMessage(TMessage& m) {
  switch (m.Msg) {
    case WM_WINDOWPOSCHANGED:
      if (Overlay && Control) Overlay->FollowBounds(Control);
      break;
    case CM_VISIBLECHANGED:
      if (Overlay && Control) Overlay->SetVisible(Control->Visible());
      break;
    default:
      TSkinControl::AfterMessage(m);
  }
}

// ---- TWMediaPlayer ----------------------------------------------------------------------------------

TWMediaPlayer::TWMediaPlayer(TComponent* owner) : TCustomPanel(owner) {
  SetTabStop(false);
  SetBevelOuter(TBevelCut::bvNone);
  LoadGlyphs();
}

TWMediaPlayer::~TWMediaPlayer() {
  if (HandleAllocated()) DestroyHandle();
  FreeGlyphs();
}

void TWMediaPlayer::LoadGlyphs() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  for (int i = 0; i < kMPButtonCount; ++i)
    for (int k = 0; k < 3; ++k) {
      char name[32];
      std::snprintf(name, sizeof(name), "%s_%s", kGlyphPrefixes[k], kButtonResourceNames[i]);
      HBITMAP handle = ::LoadBitmapA(instance, name);
      auto& glyph = Buttons[static_cast<std::size_t>(i)].Glyphs[static_cast<std::size_t>(k)];
      glyph.reset();
      if (!handle) continue;  // the button shows its frame only
      glyph.reset(new TBitmap());
      glyph->SetHandle(handle);
    }
}

void TWMediaPlayer::FreeGlyphs() {
  for (TButtonInfo& b : Buttons)
    for (auto& g : b.Glyphs) g.reset();
}

void TWMediaPlayer::Bind(TSkinMP* skinner, TControl* player) {
  Player = player;
  Skinner = skinner;
  SkinData = skinner ? skinner->SkinData : nullptr;
  if (SkinData) SetTag(SkinData->DisableTag());  // the dispatch never skins the overlay
  FollowBounds(player);
  SetParent(player->Parent());
  if (HandleAllocated()) ::SetWindowPos(Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TWMediaPlayer::FollowBounds(TControl* player) {
  if (!player) return;
  SetBounds(player->Left(), player->Top(), player->Width(), player->Height());
}

void TWMediaPlayer::ReadButtons() {
  const std::wstring visible = SetPropText(Player, L"VisibleButtons");
  const std::wstring enabled = SetPropText(Player, L"EnabledButtons");
  const std::wstring colored = SetPropText(Player, L"ColoredButtons");
  VisibleCount = 0;
  for (int i = 0; i < kMPButtonCount; ++i) {
    // each name is whole: "[btPlay,btPause]" holds no name inside another
    const std::wstring name = kButtonTypeNames[i];
    auto has = [&](const std::wstring& text) {
      for (std::size_t at = text.find(name); at != std::wstring::npos; at = text.find(name, at + 1)) {
        const std::size_t end = at + name.size();
        if (end == text.size() || !std::iswalnum(text[end])) return true;
      }
      return false;
    };
    TButtonInfo& b = Buttons[static_cast<std::size_t>(i)];
    b.Visible = has(visible) ? 1 : 0;
    b.Enabled = has(enabled) ? 1 : 0;
    b.Colored = has(colored) ? 1 : 0;
    VisibleCount += b.Visible;
  }
}

int TWMediaPlayer::HitTest(int x) {
  int answer = kMPButtonCount, sum = 0;
  for (int i = 0; i < kMPButtonCount; ++i) {
    if (!Buttons[static_cast<std::size_t>(i)].Visible) continue;
    if (sum <= x && x <= sum + ButtonWidth) {
      answer = i;
      break;
    }
    sum += ButtonWidth;
  }
  HitIndex = static_cast<std::uint8_t>(answer);
  return answer;
}

void TWMediaPlayer::Paint() {
  ReadButtons();
  RECT client;
  ::GetClientRect(Handle(), &client);
  const TColor face = SkinData ? SkinData->Color(scButtonFace) : clBtnFace;
  TCanvas* canvas = Canvas();
  if (VisibleCount == 0 || client.right <= 0 || client.bottom <= 0) {
    canvas->Brush()->SetStyle(TBrushStyle::bsSolid);
    canvas->Brush()->SetColor(face);
    canvas->FillRect(client);
    return;
  }
  ButtonWidth = client.right / VisibleCount;
  TBitmap buffer;
  buffer.SetPixelFormat(TPixelFormat::pf24bit);
  buffer.SetSize(client.right, client.bottom);
  TCanvas* c = buffer.Canvas();
  FillColor(c->Handle(), client, face);
  int x = 0;
  for (int i = 0; i < kMPButtonCount; ++i) {
    if (!Buttons[static_cast<std::size_t>(i)].Visible) continue;
    DrawButton(c, i, RECT{x, 0, x + ButtonWidth, client.bottom});
    x += ButtonWidth;
  }
  ::GdiFlush();
  canvas->CopyRect(client, c, client);
}

void TWMediaPlayer::DrawButton(TCanvas* canvas, int i, const RECT& b) {
  const TButtonInfo& info = Buttons[static_cast<std::size_t>(i)];
  TBitmap* glyph = info.Enabled ? (info.Colored ? info.Glyphs[2].get() : info.Glyphs[0].get()) : info.Glyphs[1].get();
  int frame = 1;
  if (MouseDown && i == PressedIndex) frame = 2;
  if (!info.Enabled) frame = 3;
  TDataSkinButton* buttons = SkinData ? SkinData->Buttons.get() : nullptr;
  if (buttons && buttons->HasPicture())
    DrawSliced(canvas->Handle(), b, buttons->Bitmap.get(), false, buttons->Tile != 0, buttons->Trans != 0,
               std::max(1, buttons->Frame), frame, buttons->Margins());
  if (!glyph || glyph->Empty()) return;
  const int gw = glyph->Width(), gh = glyph->Height();
  const int shift = frame == 2 ? 1 : 0;
  const int x = b.left + (b.right - b.left - gw) / 2 + shift, y = (b.bottom - b.top - gh) / 2 + shift;
  canvas->BrushCopy(RECT{x, y, x + gw, y + gh}, glyph, RECT{0, 0, gw, gh}, kGlyphKey);
}

void TWMediaPlayer::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_LBUTTONDOWN: {
      MouseDown = 1;
      TCustomPanel::WndProc(m);
      if (Player) Player->Perform(WM_LBUTTONDOWN, m.WParam, m.LParam);
      ::ReleaseCapture();
      PressedIndex = static_cast<std::uint8_t>(HitTest(static_cast<short>(LOWORD(m.LParam))));
      Invalidate();
      return;
    }
    case WM_LBUTTONUP: {
      MouseDown = 0;
      TCustomPanel::WndProc(m);
      HitTest(static_cast<short>(LOWORD(m.LParam)));
      if (HitIndex == PressedIndex && Player) Player->Perform(WM_LBUTTONUP, m.WParam, m.LParam);
      PressedIndex = HitIndex;
      Invalidate();
      return;
    }
    default:
      TCustomPanel::WndProc(m);
  }
}

}  // namespace kivo
