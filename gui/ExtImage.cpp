#include "ExtImage.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS_PUBLISHED(TImage)

void TImage::Publish(TPublisher<TImage>& p) {
  PublishAlign(p);
  PublishVisibility(p);
  p.Object(L"Picture", &TImage::Picture, &TImage::SetPicture);
  p.Boolean(L"Stretch", &TImage::Stretch, &TImage::SetStretch);
  p.Boolean(L"Center", &TImage::Center, &TImage::SetCenter);
  p.Boolean(L"Proportional", &TImage::Proportional, &TImage::SetProportional);
  p.Boolean(L"Transparent", &TImage::Transparent, &TImage::SetTransparent);
  p.Boolean(L"AutoSize", &TImage::AutoSize, &TImage::SetAutoSize);
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
  picture_->OnChange = [this](TObject* s) { PictureChanged(s); };
  SetBounds(Left(), Top(), 105, 105);
}
TImage::~TImage() {
  picture_->OnChange = nullptr;
}

void TImage::SetStretch(bool v) {
  if (v == stretch_) return;
  stretch_ = v;
  Invalidate();
}
void TImage::SetCenter(bool v) {
  if (v == center_) return;
  center_ = v;
  Invalidate();
}
void TImage::SetProportional(bool v) {
  if (v == proportional_) return;
  proportional_ = v;
  Invalidate();
}
void TImage::SetTransparent(bool v) {
  if (v == transparent_) return;
  transparent_ = v;
  PictureChanged(this);
}
void TImage::SetAutoSize(bool v) {
  if (v == autoSize_) return;
  autoSize_ = v;
  PictureChanged(this);
}

RECT TImage::DestRect() const {
  int w = picture_->Width(), h = picture_->Height();
  const int cw = ClientWidth(), ch = ClientHeight();
  if (stretch_ || (proportional_ && (w > cw || h > ch))) {
    if (proportional_ && w > 0 && h > 0) {
      const double aspect = double(w) / h;
      if (w > h) {
        w = cw;
        h = int(cw / aspect);
        if (h > ch) {
          h = ch;
          w = int(ch * aspect);
        }
      } else {
        h = ch;
        w = int(ch * aspect);
        if (w > cw) {
          w = cw;
          h = int(cw / aspect);
        }
      }
    } else {
      w = cw;
      h = ch;
    }
  }
  RECT r{0, 0, w, h};
  if (center_) ::OffsetRect(&r, (cw - w) / 2, (ch - h) / 2);
  return r;
}

void TImage::Paint() {
  TGraphic* g = picture_->Graphic();
  if (!g || g->Empty()) return;
  Canvas()->StretchDraw(DestRect(), g);
}

void TImage::PictureChanged(TObject*) {
  TGraphic* g = picture_->Graphic();
  if (g && !dynamic_cast<TIcon*>(g) && g->Transparent() != transparent_) {
    if (dynamic_cast<TBitmap*>(g)) {
      // quietly: this is the image's own setting, not a change of the picture
      TNotifyEvent keep = std::move(g->OnChange);
      g->OnChange = nullptr;
      g->SetTransparent(transparent_);
      g->OnChange = std::move(keep);
    }
  }
  if (g != shownGraphic_) {
    shownGraphic_ = g;
    if (auto* gif = dynamic_cast<TGIFImage*>(g))
      if (gif->FrameCount() > 1) gif->SetAnimate(true);
  }
  if (autoSize_ && g && !g->Empty()) SetBounds(Left(), Top(), g->Width(), g->Height());
  if (OnPictureChange) OnPictureChange(this);
  Invalidate();
}

}  // namespace kivo
