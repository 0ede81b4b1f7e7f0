// The creators of the control skinners, one per skinner kind of the dispatch.
#include "SkinDispatch.h"
#include "SkinnedForm.h"
#include "Skinners.h"

namespace kivo {

namespace {

TSkinnerHost* HostOf(const TSkinnerRequest& r) { return r.Form; }

// Attached to the library control, or to the plain window.
template <class S>
TSkinControl* Attach(S* s, const TSkinnerRequest& r) {
  if (r.Control)
    s->AttachControl(HostOf(r), r.SkinData, r.Recolor, r.Canvas);
  else
    s->AttachWindow(r.Handle, r.SkinData, HostOf(r), r.Canvas);
  return s;
}

template <class S>
TSkinControl* Plain(const TSkinnerRequest& r) {
  auto* s = new S(r.Owner);
  s->Mode = r.Mode;
  return Attach(s, r);
}

TSkinControl* MakeEdit(const TSkinnerRequest& r) {
  auto* s = new TSkinEdit(r.Owner);
  if (r.Mode == kEditOnHandle && r.Control) {
    auto* wc = dynamic_cast<TWinControl*>(r.Control);
    s->AttachWindow(wc ? wc->Handle() : r.Handle, r.SkinData, HostOf(r), r.Canvas);
    return s;
  }
  return Attach(s, r);
}

TSkinControl* MakeComBox(const TSkinnerRequest& r) {
  auto* s = new TSkinComBox(r.Owner);
  s->IsComboEx = r.Mode == kComboExtended ? 1 : 0;
  if (r.Mode == kComboExChild || !r.Control) {
    s->AttachWindow(r.Handle, r.SkinData, HostOf(r), r.Canvas);
    return s;
  }
  s->AttachControl(HostOf(r), r.SkinData, r.Recolor, r.Canvas);
  return s;
}

template <class S>
TSkinControl* MakeScroll(const TSkinnerRequest& r) {
  if (!r.Control) return nullptr;
  auto* s = new S(r.Owner);
  s->Mode = r.Mode;
  s->AttachScrollControl(r.Control, r.SkinData, HostOf(r), r.Canvas);
  return s;
}

TSkinControl* MakeScControl(const TSkinnerRequest& r) {
  if (!r.Control) return nullptr;
  auto* s = new TSkinScControl(r.Owner);
  s->Attach(r.Control, r.SkinData, HostOf(r), r.Canvas);
  return s;
}

TSkinControl* MakeBox(const TSkinnerRequest& r) {
  auto* s = new TSkinBox(r.Owner);
  if (r.Control) {
    s->AttachControl(HostOf(r), r.SkinData, r.Recolor, r.Canvas);
    return s;
  }
  // a plain window behind no control: the window-level box skinner
  s->Free();
  return Plain<TSkinBoxH>(r);
}

// Skinners of library controls only.
template <class S>
TSkinControl* OnControl(const TSkinnerRequest& r) {
  if (!r.Control) return nullptr;
  auto* s = new S(r.Owner);
  s->AttachControl(HostOf(r), r.SkinData, r.Recolor, r.Canvas);
  return s;
}

TSkinControl* MakeBitButton(const TSkinnerRequest& r) {
  if (!r.Control) return nullptr;
  auto* s = new TSkinBitButton(r.Owner);
  s->GraphicProperty = r.GraphicProperty;
  s->AttachControl(HostOf(r), r.SkinData, r.Recolor, r.Canvas);
  return s;
}

TSkinControl* MakeSpeedButton(const TSkinnerRequest& r) {
  if (!r.Control) return nullptr;
  auto* s = new TSkinSpeedButton(r.Control);
  s->GraphicProperty = r.GraphicProperty;
  s->Attach(HostOf(r), r.SkinData, r.Canvas);
  return s;
}

TSkinControl* MakeObjImage(const TSkinnerRequest& r) {
  if (!r.Control) return nullptr;
  auto* s = new TSkinObjImage(r.Owner);
  s->Kind = static_cast<std::uint8_t>(r.Mode);
  s->AttachControl(HostOf(r), r.SkinData, r.Recolor, r.Canvas);
  return s;
}

TSkinControl* MakeAdvPage(const TSkinnerRequest& r) {
  if (!r.Control) return nullptr;
  auto* s = new TSkinAdvPage(r.Owner);
  s->Kind = static_cast<std::uint8_t>(r.Mode);
  s->AttachControl(HostOf(r), r.SkinData, r.Recolor, r.Canvas);
  return s;
}

}  // namespace

void RegisterControlSkinners() {
  RegisterSkinner(TSkinnerKind::Button, &Plain<TSkinButton>);
  RegisterSkinner(TSkinnerKind::CheckBox, &Plain<TSkinCheckBox>);
  RegisterSkinner(TSkinnerKind::RadioButton, &Plain<TSkinRadioButton>);
  RegisterSkinner(TSkinnerKind::Tab, &Plain<TSkinTab>);
  RegisterSkinner(TSkinnerKind::TabSheet, &Plain<TSkinTabSheet>);
  RegisterSkinner(TSkinnerKind::Edit, &MakeEdit);
  RegisterSkinner(TSkinnerKind::ComBox, &MakeComBox);
  RegisterSkinner(TSkinnerKind::UpDown, &Plain<TSkinUpDown>);
  RegisterSkinner(TSkinnerKind::TrackBar, &Plain<TSkinTrackBar>);
  RegisterSkinner(TSkinnerKind::Progress, &Plain<TSkinProgress>);
  RegisterSkinner(TSkinnerKind::Box, &MakeBox);
  RegisterSkinner(TSkinnerKind::BoxH, &Plain<TSkinBoxH>);
  RegisterSkinner(TSkinnerKind::GroupBox, &Plain<TSkinGroupBox>);
  RegisterSkinner(TSkinnerKind::Scrollbar, &MakeScroll<TSkinScrollbar>);
  RegisterSkinner(TSkinnerKind::ListView, &MakeScroll<TSkinListView>);
  RegisterSkinner(TSkinnerKind::ScControl, &MakeScControl);
  RegisterSkinner(TSkinnerKind::Sizer, &Plain<TSkinSizer>);
  RegisterSkinner(TSkinnerKind::BitButton, &MakeBitButton);
  RegisterSkinner(TSkinnerKind::MenuButton, &Plain<TSkinMenuButton>);
  RegisterSkinner(TSkinnerKind::SpeedButton, &MakeSpeedButton);
  RegisterSkinner(TSkinnerKind::ObjImage, &MakeObjImage);
  RegisterSkinner(TSkinnerKind::TabBtn, &OnControl<TSkinTabBtn>);
  RegisterSkinner(TSkinnerKind::Tab31, &OnControl<TSkinTab31>);
  RegisterSkinner(TSkinnerKind::AdvPage, &MakeAdvPage);
  RegisterSkinner(TSkinnerKind::DateTime, &OnControl<TSkinDateTime>);
  RegisterSkinner(TSkinnerKind::MediaPlayer, &OnControl<TSkinMP>);
}

}  // namespace kivo
