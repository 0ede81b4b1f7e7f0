#include "SkinDispatch.h"

#include <algorithm>
#include <array>
#include <cwctype>

#include "Forms.h"
#include "Menus.h"
#include "SkinControl.h"
#include "SkinData.h"
#include "SkinDraw.h"
#include "SkinManager.h"
#include "SkinMessages.h"
#include "SkinnedForm.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TSkinSpy)

namespace {

std::array<TSkinnerCreator, static_cast<std::size_t>(TSkinnerKind::Count)>& Creators() {
  static std::array<TSkinnerCreator, static_cast<std::size_t>(TSkinnerKind::Count)> table{};
  return table;
}

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}
std::wstring Upper(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

bool Has(TSkinData* d, TSkinControlType t) { return d && (d->SkinControls() & SkinBit(t)) != 0; }

bool HasTabs(TSkinData* d) { return Has(d, xcTab) && d->Tabs && d->Tabs->HasPicture(); }

TSkinChoice Make(TSkinnerKind kind, int mode = 0, bool recolor = false, unsigned steps = 0) {
  TSkinChoice c;
  c.Kind = kind;
  c.Mode = mode;
  c.Recolor = recolor;
  c.Steps = steps;
  c.Decided = true;
  return c;
}

TSkinChoice Nothing() {
  TSkinChoice c;
  c.Decided = true;
  return c;
}

HWND HandleOf(TControl* c) {
  auto* w = dynamic_cast<TWinControl*>(c);
  return w ? w->HandleIfAllocated() : nullptr;
}

LONG_PTR StyleOf(TControl* c) {
  HWND h = HandleOf(c);
  return h ? ::GetWindowLongPtrW(h, GWL_STYLE) : 0;
}

// A Skin3rd kind turned into a choice (Decided in every case: the line alone decides).
TSkinChoice ChooseBy3rd(TSkinData* d, TControl* control, const std::wstring& kind, const std::wstring& cls) {
  const std::wstring k = Lower(kind);
  if (k == L"combobox") return Has(d, xcCombo) ? Make(TSkinnerKind::ComBox) : Nothing();
  if (k == L"comboboxex") return Has(d, xcCombo) ? Make(TSkinnerKind::ComBox, kComboExtended) : Nothing();
  if (k == L"edit") {
    if (!Has(d, xcEdit)) return Nothing();
    HWND h = HandleOf(control);
    RECT wr{}, cr{};
    if (!h || !::GetWindowRect(h, &wr) || !::GetClientRect(h, &cr)) return Nothing();
    if (wr.right - wr.left == cr.right && wr.bottom - wr.top == cr.bottom) return Nothing();
    return Make(TSkinnerKind::Edit);
  }
  if (k == L"radiobutton") return Has(d, xcRadioButton) ? Make(TSkinnerKind::RadioButton) : Nothing();
  if (k == L"panel") return Has(d, xcPanel) ? Make(TSkinnerKind::Box, 0, true, kSetTransparent) : Nothing();
  if (k == L"trackbar") return Has(d, xcButton) ? Make(TSkinnerKind::TrackBar, 0, false, kSetTransparent) : Nothing();
  if (k == L"button") return Has(d, xcButton) ? Make(TSkinnerKind::Button) : Nothing();
  if (k == L"datetimepicker") return Has(d, xcCombo) ? Make(TSkinnerKind::DateTime) : Nothing();
  if (k == L"mediaplayer") return Has(d, xcButton) ? Make(TSkinnerKind::MediaPlayer) : Nothing();
  if (k == L"bitbtn") {
    if (!Has(d, xcButton)) return Nothing();
    if (Upper(cls) == L"TCXBUTTON" && IsPublishedProp(control, L"Kind") &&
        GetPropInfo(control, L"Kind")->Kind == TTypeKind::tkEnumeration &&
        GetEnumProp(control, L"Kind") == L"cxbkDropDownButton")
      return Make(TSkinnerKind::MenuButton);
    return Make(TSkinnerKind::BitButton);
  }
  if (k == L"pngbitbtn" || k == L"pngspeedbutton") {
    if (!Has(d, xcButton)) return Nothing();
    TSkinChoice c = Make(k == L"pngbitbtn" ? TSkinnerKind::BitButton : TSkinnerKind::SpeedButton);
    c.GraphicProperty = L"PngImage";
    return c;
  }
  if (k == L"menubtn") return Has(d, xcButton) ? Make(TSkinnerKind::MenuButton) : Nothing();
  if (k == L"speedbutton") return Has(d, xcSpeedButton) ? Make(TSkinnerKind::SpeedButton) : Nothing();
  if (k == L"tab") return HasTabs(d) ? Make(TSkinnerKind::Tab) : Nothing();
  if (k == L"progress") return Has(d, xcProgress) ? Make(TSkinnerKind::Progress) : Nothing();
  if (k == L"scrollbar")
    return Has(d, xcScrollbar) ? Make(TSkinnerKind::Scrollbar, 0, false, kChildrenAfter) : Nothing();
  if (k == L"singlescrollbar") return Has(d, xcScrollbar) ? Make(TSkinnerKind::Scrollbar, kScrollbarSingle) : Nothing();
  if (k == L"embedscrollbar")
    return Has(d, xcScrollbar) ? Make(TSkinnerKind::None, 0, false, kScrollChildren) : Nothing();
  if (k == L"container") return Make(TSkinnerKind::None, 0, false, kChildrenAfter);
  if (k == L"groupbox") return Has(d, xcGroupBox) ? Make(TSkinnerKind::GroupBox, 0, true) : Nothing();
  if (k == L"advpagecontrol") return Has(d, xcTab) ? Make(TSkinnerKind::AdvPage, kAdvPageMode, true) : Nothing();
  const bool rz = Upper(cls).find(L"TRZ") != std::wstring::npos;
  if (k == L"radiogroup") {
    if (!Has(d, xcGroupBox)) return Nothing();
    TSkinChoice c = Make(TSkinnerKind::GroupBox, 0, true);
    if (Has(d, xcRadioButton)) {
      c.Steps |= kGroupChildren;
      c.GroupChildKind = rz ? TSkinnerKind::ObjImage : TSkinnerKind::RadioButton;
      c.GroupChildMode = rz ? kObjImageRadio : 0;
    }
    return c;
  }
  if (k == L"checkgroup") {
    if (!Has(d, xcPanel)) return Nothing();
    TSkinChoice c = Has(d, xcGroupBox) ? Make(TSkinnerKind::GroupBox, 0, true) : Nothing();
    if (Has(d, xcRadioButton)) {
      c.Steps |= kGroupChildren;
      c.GroupChildKind = rz ? TSkinnerKind::ObjImage : TSkinnerKind::CheckBox;
      c.GroupChildMode = rz ? kObjImageCheck : 0;
    }
    return c;
  }
  if (k == L"checkbox") return Has(d, xcCheckBox) ? Make(TSkinnerKind::CheckBox) : Nothing();
  return Nothing();  // "nil" and kinds this engine does not know
}

}  // namespace

const wchar_t* SkinnerKindName(TSkinnerKind kind) {
  static const wchar_t* const names[] = {
      L"None", L"TSkinButton", L"TSkinBitButton", L"TSkinMenuButton", L"TSkinSpeedButton", L"TSkinCheckBox",
      L"TSkinRadioButton", L"TSkinObjImage", L"TSkinTab", L"TSkinTabBtn", L"TSkinTab31", L"TSkinTabSheet",
      L"TSkinAdvPage", L"TSkinEdit", L"TSkinComBox", L"TSkinDateTime", L"TSkinUpDown", L"TSkinTrackBar",
      L"TSkinProgress", L"TSkinBox", L"TSkinBoxH", L"TSkinGroupBox", L"TSkinMP", L"TSkinScrollbar",
      L"TSkinScControl", L"TSkinListView", L"TSkinSizer"};
  const auto i = static_cast<std::size_t>(kind);
  return i < std::size(names) ? names[i] : L"?";
}

void RegisterSkinner(TSkinnerKind kind, TSkinnerCreator creator) {
  const auto i = static_cast<std::size_t>(kind);
  if (kind == TSkinnerKind::None || i >= Creators().size()) return;
  Creators()[i] = creator;
}

TSkinnerCreator FindSkinnerCreator(TSkinnerKind kind) {
  const auto i = static_cast<std::size_t>(kind);
  if (kind == TSkinnerKind::None || i >= Creators().size()) return nullptr;
  return Creators()[i];
}

bool FindSkin3rd(TSkinData* data, const std::wstring& className, std::wstring& kind) {
  kind.clear();
  if (!data || !data->Skin3rd()) return false;
  const std::wstring prefix = Lower(className) + L"=";
  TStrings* lines = data->Skin3rd();
  for (int i = 0; i < lines->Count(); ++i) {
    const std::wstring line = lines->Strings(i);
    if (Lower(line).compare(0, prefix.size(), prefix) != 0) continue;
    kind = line.substr(line.find(L'=') + 1, 50);
    return true;
  }
  return false;
}

std::wstring Skin3rdKind(TSkinData* data, const std::wstring& className) {
  std::wstring kind;
  FindSkin3rd(data, className, kind);
  return kind;
}

bool NeedsScrollBars(TControl* control) {
  if (!control) return false;
  if (control->InheritsFrom(L"TListBox") || control->InheritsFrom(L"TMemo") || control->InheritsFrom(L"TCustomListBox"))
    return true;
  if (!dynamic_cast<TWinControl*>(control)) return false;
  return (StyleOf(control) & (WS_HSCROLL | WS_VSCROLL)) != 0;
}

TSkinChoice ChooseControlSkinner(TSkinData* d, TControl* control) {
  if (!d || !control) return TSkinChoice{};
  const std::wstring cls = Upper(control->ClassName());
  if (cls == L"TDBCOMBOBOXEH" || cls == L"TFRDESIGNERPAGE" || cls == L"TFRPBOX") return Nothing();
  std::wstring kind;
  if (FindSkin3rd(d, control->ClassName(), kind)) return ChooseBy3rd(d, control, kind, cls);
  auto is = [&](const wchar_t* name) { return control->InheritsFrom(name); };
  if (is(L"TCustomTabControl") && HasTabs(d)) {
    if (is(L"TPageControl")) {
      const bool tabs = !IsPublishedProp(control, L"Style") || GetPropValue(control, L"Style") == L"tsTabs";
      return Make(tabs ? TSkinnerKind::Tab : TSkinnerKind::TabBtn);
    }
    return Make(TSkinnerKind::Tab, kTabModePlain);
  }
  if (cls == L"TTABSET" && HasTabs(d)) return Make(TSkinnerKind::Tab31);
  if (is(L"TTabSheet") && HasTabs(d)) return Make(TSkinnerKind::TabSheet);
  if (cls == L"TTABBEDNOTEBOOK" && HasTabs(d)) return Make(TSkinnerKind::Tab);
  if (cls == L"TMVCPANEL") return Make(TSkinnerKind::None, 0, false, kChildrenAfter);
  if (is(L"TCustomCheckBox") && Has(d, xcCheckBox)) return Make(TSkinnerKind::CheckBox);
  if (is(L"TTrackBar") && Has(d, xcTrackBar)) return Make(TSkinnerKind::TrackBar);
  if ((cls == L"TUPDOWN" || cls == L"TSPINBUTTON") && Has(d, xcSpin)) return Make(TSkinnerKind::UpDown);
  if (cls == L"TMEDIAPLAYER" && Has(d, xcButton)) return Make(TSkinnerKind::MediaPlayer);
  if (cls == L"TDBNAVIGATOR" && Has(d, xcPanel))
    return Make(TSkinnerKind::Box, 0, true, kChildrenAfter | kChildrenNoParent);
  if ((cls == L"TRZDBCHECKBOX" || cls == L"TRZCHECKBOX") && Has(d, xcCheckBox))
    return Make(TSkinnerKind::ObjImage, kObjImageCheck);
  if ((cls == L"TRZRADIOBUTTON" || cls == L"TRZDBRADIOBUTTON") && Has(d, xcRadioButton))
    return Make(TSkinnerKind::ObjImage, kObjImageRadio);
  if ((cls == L"TCXDBCHECKBOX" || cls == L"TCXCHECKBOX") && Has(d, xcCheckBox))
    return Make(TSkinnerKind::ObjImage, kObjImageCxCheck);
  if (is(L"TCustomGroupBox") && Has(d, xcPanel)) return Make(TSkinnerKind::GroupBox, 0, false, kChildrenFirst);
  if (is(L"TRadioButton") && Has(d, xcRadioButton)) return Make(TSkinnerKind::RadioButton);
  if (is(L"TScrollBar") && Has(d, xcScrollbar)) return Make(TSkinnerKind::ScControl);
  if (cls == L"TTNTCOMBOBOX" && Has(d, xcCombo)) return Make(TSkinnerKind::ComBox);
  if (is(L"TCustomComboBox") && Has(d, xcCombo)) return Make(TSkinnerKind::ComBox);
  if (cls == L"TRICHEDIT" && Has(d, xcScrollbar)) return Make(TSkinnerKind::Scrollbar);
  if ((cls == L"TWWDBRICHEDIT" || cls == L"TDXDBMEMO") && Has(d, xcScrollbar)) return Make(TSkinnerKind::Scrollbar);
  if (is(L"TSpeedButton") && Has(d, xcSpeedButton)) return Make(TSkinnerKind::SpeedButton);
  if (is(L"TCustomPanel") && Has(d, xcPanel)) return Make(TSkinnerKind::Box, 0, true, kChildrenFirst);
  if ((cls == L"TDXTREELIST" || cls == L"TDXDBTREELIST" || cls == L"TDXDBGRID") && Has(d, xcScrollbar))
    return Make(TSkinnerKind::Scrollbar);
  if (is(L"TCustomListView") && Has(d, xcScrollbar)) return Make(TSkinnerKind::ListView);
  if (is(L"TCustomMemo") && Has(d, xcScrollbar)) return Make(TSkinnerKind::Scrollbar);
  if (NeedsScrollBars(control) && Has(d, xcScrollbar)) return Make(TSkinnerKind::Scrollbar);
  if (is(L"TButton") && Has(d, xcButton)) return Make(TSkinnerKind::Button);
  if (is(L"TCustomEdit") && Has(d, xcEdit)) return Make(TSkinnerKind::Edit);
  if (cls == L"TDCEDIT" || cls == L"TDCDBEDIT") {
    const TPropInfo* p = GetPropInfo(control, L"NumButtons");
    const long long buttons = p && p->Kind == TTypeKind::tkInteger ? GetOrdProp(control, L"NumButtons") : -1;
    if (buttons == 1 && Has(d, xcCombo)) return Make(TSkinnerKind::ComBox);
    if (buttons == 0 && Has(d, xcEdit)) return Make(TSkinnerKind::Edit, kEditOnHandle);
  }
  if (is(L"TCustomFrame")) return Make(TSkinnerKind::None, 0, false, kOwnedAfter);
  if (is(L"TCustomForm")) return Make(TSkinnerKind::Box, 0, true, kOwnedAfter);
  return TSkinChoice{};
}

TSkinChoice ChooseWindowSkinner(TSkinData* d, HWND wnd) {
  if (!d || !wnd) return TSkinChoice{};
  const std::wstring cls = Lower(WindowClassName(wnd));
  const auto s = static_cast<DWORD>(::GetWindowLongPtrW(wnd, GWL_STYLE));
  if (cls == L"button") {
    if ((s & 0xB) == 0xB) return Nothing();
    if ((s & 7) == 7 || (s & 0x80)) return Nothing();
    if ((s & 3) == 3 || (s & 2) == 2 || (s & 5) == 5) return Has(d, xcCheckBox) ? Make(TSkinnerKind::CheckBox) : Nothing();
    if ((s & 9) == 9 || (s & 4) == 4) return Has(d, xcRadioButton) ? Make(TSkinnerKind::RadioButton) : Nothing();
    return Has(d, xcButton) ? Make(TSkinnerKind::Button) : Nothing();
  }
  if (cls == L"combobox") return Has(d, xcCombo) && (s & 3) != 1 ? Make(TSkinnerKind::ComBox) : Nothing();
  if (cls == L"comboboxex32")
    return Has(d, xcCombo) ? Make(TSkinnerKind::ComBox, kComboExChild, false, kFirstChildWindow) : Nothing();
  // only a size grip: a plain scroll bar is no sizer
  if (cls == L"scrollbar") return (s & SBS_SIZEGRIP) && !(s & 0x10000) ? Make(TSkinnerKind::Sizer) : Nothing();
  if (cls == L"systreeview32") return Nothing();
  if (cls == L"#32770") return !(s & 0x10000) ? Make(TSkinnerKind::BoxH, 0, false, kChildWindowsFirst) : Nothing();
  if (cls == L"tpanel" || cls == L"ttntpanel.unicodeclass" || cls == L"ttntsilentpaintpanel.unicodeclass")
    return Make(TSkinnerKind::None, 0, false, kChildWindowsFirst | kFaceColor);
  if (cls == L"tcheckbox") return Has(d, xcCheckBox) ? Make(TSkinnerKind::CheckBox) : Nothing();
  if (cls == L"tcombobox") return Has(d, xcCombo) ? Make(TSkinnerKind::ComBox) : Nothing();
  if (cls == L"tbutton") return Has(d, xcButton) ? Make(TSkinnerKind::Button) : Nothing();
  if (cls == L"tprogressbar") return Make(TSkinnerKind::Progress);
  if (cls == L"tsilentpaintpanel") return Make(TSkinnerKind::None, 0, false, kFaceColor);
  if (cls == L"systabcontrol32") return Has(d, xcTab) && !(s & 0x2000) ? Make(TSkinnerKind::Tab) : Nothing();
  if (cls == L"toolbarwindow32") return Make(TSkinnerKind::BoxH);
  if (cls == L"edit") return Has(d, xcEdit) ? Make(TSkinnerKind::Edit) : Nothing();
  return TSkinChoice{};
}

// ---- TSkinnedForm: the skinner list -------------------------------------------------------------
bool TSkinnedForm::AddSkinner(TSkinControl* skinner) {
  if (!skinner) return false;
  if (std::find(skinners_.begin(), skinners_.end(), skinner) != skinners_.end()) return true;
  skinners_.push_back(skinner);
  return false;
}

void TSkinnedForm::RemoveSkinner(TSkinControl* skinner) {
  for (std::size_t i = skinners_.size(); i-- > 0;)
    if (skinners_[i] == skinner) {
      skinners_.erase(skinners_.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  if (hoverControl_ == skinner) hoverControl_ = nullptr;
}

TSkinControl* TSkinnedForm::FindSkinner(HWND handle) const {
  if (!handle) return nullptr;
  for (TSkinControl* s : skinners_)
    if (s->Handle == handle) return s;
  return nullptr;
}

TSkinControl* TSkinnedForm::FindSkinnerOf(const TControl* control) const {
  if (!control) return nullptr;
  for (TSkinControl* s : skinners_)
    if (s->Control == control) return s;
  return nullptr;
}

void TSkinnedForm::PurgeSkinners() {
  for (std::size_t i = skinners_.size(); i-- > 0;) {
    if (i >= skinners_.size()) continue;
    TSkinControl* s = skinners_[i];
    if (s->State != 6) continue;
    skinners_.erase(skinners_.begin() + static_cast<std::ptrdiff_t>(i));
    if (hoverControl_ == s) hoverControl_ = nullptr;
    s->Form = nullptr;
    s->Free();
  }
}

// ---- TSkinnedForm: dispatch ---------------------------------------------------------------------
namespace {

TSkinControl* CreateSkinner(TSkinnedForm* form, TSkinnerKind kind, int mode, bool recolor,
                            const std::wstring& graphic, TControl* control, HWND handle) {
  TSkinnerCreator create = FindSkinnerCreator(kind);
  if (!create) return nullptr;  // no skinner of this kind in the program
  TSkinnerRequest r;
  r.Kind = kind;
  r.Form = form;
  r.SkinData = form->SkinData;
  r.Canvas = form->Canvas();
  r.Control = control;
  r.Handle = handle ? handle : HandleOf(control);
  r.Owner = control ? static_cast<TComponent*>(control) : static_cast<TComponent*>(FindControl(handle));
  r.Recolor = recolor;
  r.Mode = mode;
  r.GraphicProperty = graphic;
  return create(r);
}

void OwnedPopupsOwnerDraw(TSkinnedForm* form, TComponent* c) {
  if (Has(form->SkinData, xcPopupMenu)) form->SetPopupMenusOwnerDraw(c, true);
}

}  // namespace

void TSkinnedForm::SkinAllControls(TComponent* component) {
  if (!component || !SkinData) return;
  PurgeSkinners();
  const std::vector<TComponent*> owned = component->ComponentList();
  for (TComponent* c : owned)
    if (auto* ctl = dynamic_cast<TControl*>(c)) SkinControl(ctl, component);
  OwnedPopupsOwnerDraw(this, component);
  if (auto* w = dynamic_cast<TWinControl*>(component)) {
    std::vector<TWinControl*> tabs;
    w->GetTabOrderList(tabs);
    for (TWinControl* c : tabs)
      if (c->HandleAllocated() && c->Tag() != SkinData->DisableTag() && c->Perform(SKM_ISSKINNED) != 1)
        SkinControl(c, component);
  }
}

void TSkinnedForm::SkinPart(TComponent* component) {
  if (!component || !SkinData) return;
  PurgeSkinners();
  if (auto* ctl = dynamic_cast<TControl*>(component))
    if (!FindSkinnerOf(ctl)) CreateSkinner(this, TSkinnerKind::Box, 0, true, L"", ctl, nullptr);
  const std::vector<TComponent*> owned = component->ComponentList();
  for (TComponent* c : owned)
    if (auto* ctl = dynamic_cast<TControl*>(c)) SkinControl(ctl, component);
  OwnedPopupsOwnerDraw(this, component);
}

void TSkinnedForm::SkinControl(TControl* control, TComponent* parent) {
  if (!control || !SkinData) return;
  const int disableTag = SkinData->DisableTag();
  auto* win = dynamic_cast<TWinControl*>(control);
  if (control->Tag() == disableTag) {
    const std::wstring lower = Lower(control->ClassName());
    if (win && (lower.find(L"radiogroup") != std::wstring::npos || lower.find(L"checkgroup") != std::wstring::npos))
      for (TControl* child : win->ControlList()) child->SetTag(disableTag);
    return;
  }
  if (!control->Parent() || control->Perform(SKM_ISSKINNED) == 1 || FindSkinnerOf(control)) return;
  const std::wstring cls = Upper(control->ClassName());
  if (win) {
    try {
      win->HandleNeeded();
    } catch (const std::exception&) {
      return;  // a control without a window is left alone
    }
    if (!win->HandleAllocated()) return;
  }
  auto alive = alive_;
  if (SkinData->OnSkinControl) {
    TSkinControl* own = nullptr;
    auto* parentControl = dynamic_cast<TWinControl*>(parent);
    SkinData->OnSkinControl(this, SkinData, parentControl, control, cls, own);
    if (!*alive) return;
    if (own) {
      if (std::find(skinners_.begin(), skinners_.end(), own) == skinners_.end()) {
        own->AttachControl(this, SkinData, own->Recolor != 0, Canvas());
        if (win && control->InheritsFrom(L"TCustomPanel"))
          for (TControl* child : std::vector<TControl*>(win->ControlList())) SkinControl(child, control);
      }
      return;
    }
  }
  const TSkinChoice choice = ChooseControlSkinner(SkinData, control);
  auto children = [&](TComponent* argument) {
    if (!win) return;
    for (TControl* child : std::vector<TControl*>(win->ControlList())) {
      SkinControl(child, argument);
      if (!*alive) return;
    }
  };
  if (choice.Steps & kChildrenFirst) children(control);
  if ((choice.Steps & kGroupChildren) && win)
    for (TControl* child : std::vector<TControl*>(win->ControlList()))
      if (!FindSkinnerOf(child)) CreateSkinner(this, choice.GroupChildKind, choice.GroupChildMode, false, L"", child, nullptr);
  if ((choice.Steps & kScrollChildren) && win)
    for (TControl* child : std::vector<TControl*>(win->ControlList())) {
      if (FindSkinnerOf(child)) continue;
      if (child->InheritsFrom(L"TScrollBar")) CreateSkinner(this, TSkinnerKind::ScControl, 0, false, L"", child, nullptr);
      else if (NeedsScrollBars(child)) CreateSkinner(this, TSkinnerKind::Scrollbar, 0, false, L"", child, nullptr);
    }
  if ((choice.Steps & kSetTransparent) && IsPublishedProp(control, L"Transparent"))
    SetPropValue(control, L"Transparent", L"True");
  if (choice.Kind != TSkinnerKind::None)
    CreateSkinner(this, choice.Kind, choice.Mode, choice.Recolor, choice.GraphicProperty, control,
                  choice.Mode == kEditOnHandle ? HandleOf(control) : nullptr);
  if (!*alive) return;
  if (choice.Steps & kChildrenAfter) children((choice.Steps & kChildrenNoParent) ? nullptr : control);
  if (choice.Steps & kOwnedAfter) {
    for (TComponent* c : std::vector<TComponent*>(control->ComponentList()))
      if (auto* ctl = dynamic_cast<TControl*>(c)) SkinControl(ctl, control);
    OwnedPopupsOwnerDraw(this, control);
  }
}

void TSkinnedForm::SkinChildWindows(HWND handle) {
  std::vector<HWND> children;
  for (HWND c = ::GetTopWindow(handle); c; c = ::GetWindow(c, GW_HWNDNEXT))
    if (::GetWindowLongPtrW(c, GWL_STYLE) & WS_CHILD) children.push_back(c);
  for (HWND c : children)
    if (::IsWindow(c)) SkinChildWindow(c);
}

void TSkinnedForm::SkinChildWindow(HWND handle) {
  if (!handle || FindSkinner(handle) || !SkinData) return;
  const TSkinChoice choice = ChooseWindowSkinner(SkinData, handle);
  if (choice.Steps & kChildWindowsFirst) SkinChildWindows(handle);
  if (choice.Steps & kFaceColor)
    if (TWinControl* c = FindControl(handle)) c->SetColor(SkinData->Color(scButtonFace));
  if (choice.Kind == TSkinnerKind::None) return;
  HWND target = handle;
  if (choice.Steps & kFirstChildWindow) {
    target = ::GetTopWindow(handle);
    if (!target) return;
  }
  CreateSkinner(this, choice.Kind, choice.Mode, choice.Recolor, choice.GraphicProperty, nullptr, target);
}

// ---- the skin data's entry points for forms placed later ----------------------------------------
void TSkinData::SkinComponent(TWinControl* hostForm, TComponent* component) {
  if (!component || !hostForm) return;
  TSkinManage* m = SkinManager();
  if (!m) return;
  TSkinnedForm* form = hostForm->HandleAllocated() ? m->FindWindow(hostForm->HandleIfAllocated()) : nullptr;
  if (!form) return;
  auto* spy = new TSkinSpy(component);
  spy->Form = form;
  form->SkinPart(component);
}

void TSkinData::UpdateSkinControl(TWinControl* hostForm, TControl* control) {
  if (!hostForm) return;
  TSkinManage* m = SkinManager();
  if (!m || !hostForm->HandleAllocated()) return;
  if (TSkinnedForm* form = m->FindWindow(hostForm->HandleIfAllocated()))
    form->SkinAllControls(control ? static_cast<TComponent*>(control) : hostForm);
}

}  // namespace kivo
