// TImage: a windowless control showing a picture.
#pragma once

#include <memory>

#include "Controls.h"
#include "Pictures.h"

namespace kivo {

// A multi-frame GIF the picture receives starts animating; each step is a picture change.
class TImage : public TGraphicControl {
  KIVO_CLASS(TImage, TGraphicControl)
  static void Publish(TPublisher<TImage>& p);
  explicit TImage(TComponent* owner);
  ~TImage() override;

  TPicture* Picture() const { return picture_.get(); }
  void SetPicture(TPicture* p) { picture_->Assign(p); }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);
  bool Center() const { return center_; }
  void SetCenter(bool v);
  // Keeps the picture's aspect when it is stretched, or when it is larger than the control.
  bool Proportional() const { return proportional_; }
  void SetProportional(bool v);
  // Sets the picture's graphic transparent (a bitmap's key colour shows the parent through).
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  // Where the picture is drawn, in client coordinates.
  RECT DestRect() const;

  TNotifyEvent OnPictureChange;

 protected:
  void Paint() override;
  void PictureChanged(TObject* sender);

 private:
  std::unique_ptr<TPicture> picture_;
  const TGraphic* shownGraphic_ = nullptr;  // the graphic last seen in PictureChanged
  bool stretch_ = false, center_ = false, proportional_ = false, transparent_ = false, autoSize_ = false;
};

}  // namespace kivo
