#include "KVEffAniProc.h"

#include "Graphics.h"
#include "KVProcessorList.h"
#include "SysUtils.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TAnimationProcessor)
KIVO_IMPLEMENT_CLASS(TBorderProcessor)
KIVO_IMPLEMENT_CLASS(TDecorationProcessor)
KIVO_IMPLEMENT_CLASS(TLightProcessor)
KIVO_IMPLEMENT_CLASS(TMaskProcessor)
KIVO_IMPLEMENT_CLASS(TAnimationProcForm)
KIVO_IMPLEMENT_CLASS(TBorderProcForm)
KIVO_IMPLEMENT_CLASS(TDecorationProcForm)
KIVO_IMPLEMENT_CLASS(TLightProcForm)
KIVO_IMPLEMENT_CLASS(TMaskProcForm)

namespace {

// A 24-bit bottom-up description of the frame info describes, sized from its width and height
// (never from a biSizeImage that may be 0 or too small).
bool FrameHeader(const BITMAPINFO* info, BITMAPINFO& out, std::size_t& bytes) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biWidth <= 0 || h.biHeight <= 0 || h.biBitCount != 24) return false;
  out = BITMAPINFO{};
  out.bmiHeader = DibHeader(h.biWidth, h.biHeight, 24);
  bytes = FrameByteSize(h.biWidth, h.biHeight);
  out.bmiHeader.biSizeImage = static_cast<DWORD>(bytes);
  return true;
}

// A blend over every row of two frames of the same layout (the padding left alone).
template <class Blend>
void BlendRows(BYTE* frame, const BYTE* effect, int width, int height, Blend blend) {
  const std::size_t stride = FrameByteSize(width, 1);
  for (int y = 0; y < height; ++y) blend(frame + y * stride, effect + y * stride, width);
}

}  // namespace

// ---- Animation, border, decoration --------------------------------------------------------------
TAnimationProcessor::TAnimationProcessor() : gif_(new TGIFImage()) {
  name_ = L"动画";
  formClass_ = ProcFormClass<TAnimationProcForm>;
}

TAnimationProcessor::~TAnimationProcessor() {
  TLock l(Lock());
  drawer_.reset();
  gif_.reset();
}

void TAnimationProcessor::FreeDrawer() { drawer_.reset(); }

bool TAnimationProcessor::DoStart() {
  TLock l(Lock());
  FreeDrawer();
  std::wstring file = fileName_;
  if (!file.empty() && FileExists(file)) gif_->LoadFromFile(file);
  if (drawerKind_ == TDrawerKind::Buffer)
    drawer_.reset(new TGIFDrawerBuffer(gif_.get()));
  else
    drawer_.reset(new TGIFDrawer(gif_.get()));
  drawer_->ResetClock();
  return true;
}

bool TAnimationProcessor::DoProcess(HDC dc, HBITMAP, BITMAPINFO*) {
  if (State() != TProcessorState::psRunning) return false;
  TLock l(Lock());
  if (State() != TProcessorState::psRunning || !drawer_ || drawer_->FrameCount() == 0) return false;
  drawer_->Draw(dc);
  return true;
}

TBorderProcessor::TBorderProcessor() {
  name_ = L"边框";
  formClass_ = ProcFormClass<TBorderProcForm>;
}

TDecorationProcessor::TDecorationProcessor() {
  name_ = L"饰品";
  formClass_ = ProcFormClass<TDecorationProcForm>;
}

// ---- Light --------------------------------------------------------------------------------------
TLightProcessor::TLightProcessor() {
  name_ = L"灯光";
  formClass_ = ProcFormClass<TLightProcForm>;
  drawerKind_ = TDrawerKind::Buffer;
}

bool TLightProcessor::ReadFrame(HDC dc, HBITMAP bitmap, const BITMAPINFO* info) {
  BITMAPINFO bi;
  std::size_t bytes = 0;
  if (!FrameHeader(info, bi, bytes)) return false;
  if (frame_.size() < bytes) frame_.resize(bytes);
  int rows = ::GetDIBits(dc, bitmap, 0, static_cast<UINT>(bi.bmiHeader.biHeight), frame_.data(), &bi, DIB_RGB_COLORS);
  return rows == bi.bmiHeader.biHeight;
}

void TLightProcessor::WriteFrame(HDC dc, HBITMAP bitmap, const BITMAPINFO* info) {
  BITMAPINFO bi;
  std::size_t bytes = 0;
  if (!FrameHeader(info, bi, bytes) || frame_.size() < bytes) return;
  ::SetDIBits(dc, bitmap, 0, static_cast<UINT>(bi.bmiHeader.biHeight), frame_.data(), &bi, DIB_RGB_COLORS);
}

bool TLightProcessor::DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) {
  if (State() != TProcessorState::psRunning) return false;
  TLock l(Lock());
  if (State() != TProcessorState::psRunning || !drawer_ || drawer_->FrameCount() == 0) return false;
  auto* buffered = static_cast<TGIFDrawerBuffer*>(drawer_.get());
  buffered->Prepare(info);
  const BYTE* light = buffered->CurrentBuffer();
  if (!light || buffered->BufferWidth() != info->bmiHeader.biWidth || buffered->BufferHeight() != info->bmiHeader.biHeight)
    return false;
  if (!ReadFrame(dc, bitmap, info)) return false;
  BlendRows(frame_.data(), light, info->bmiHeader.biWidth, info->bmiHeader.biHeight, LightenBlend);
  WriteFrame(dc, bitmap, info);
  return true;
}

// ---- Mask ---------------------------------------------------------------------------------------
TMaskProcessor::TMaskProcessor() {
  name_ = L"遮罩";
  formClass_ = ProcFormClass<TMaskProcForm>;
}

TMaskProcessor::~TMaskProcessor() {
  TLock l(Lock());
  picture_.reset();
}

void TMaskProcessor::FreeDrawer() {
  TLightProcessor::FreeDrawer();
  picture_.reset();
}

bool TMaskProcessor::DoStart() {
  std::wstring file = FileName();
  if (file.empty() || !FileExists(file)) return false;
  TLock l(Lock());
  FreeDrawer();
  if (SameText(ExtractFileExt(file), L".gif")) return TLightProcessor::DoStart();
  TObjectPtr<TPicture> picture(new TPicture());
  picture->LoadFromFile(file);
  picture_ = std::move(picture);
  maskWidth_ = maskHeight_ = 0;
  return true;
}

void TMaskProcessor::ScaleStillMask(const BITMAPINFO* info) {
  const int w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight;
  if (w == maskWidth_ && h == maskHeight_ && !mask_.empty()) return;
  BITMAPINFO bi;
  std::size_t bytes = 0;
  if (!FrameHeader(info, bi, bytes)) return;
  maskWidth_ = maskHeight_ = 0;
  TWindowDC display(nullptr);
  TMemDCOwner dc(::CreateCompatibleDC(display.Get()));
  TBitmapOwner bmp(::CreateCompatibleBitmap(display.Get(), w, h));
  if (!dc || !bmp) return;
  ::SetStretchBltMode(dc.Get(), COLORONCOLOR);
  {
    TSelectObject sel(dc.Get(), bmp.Get());
    TCanvas canvas;
    TCanvasBinding bind(&canvas, dc.Get());
    canvas.StretchDraw(RECT{0, 0, w, h}, picture_->Graphic());
  }
  mask_.assign(bytes, 0);
  if (::GetDIBits(dc.Get(), bmp.Get(), 0, static_cast<UINT>(h), mask_.data(), &bi, DIB_RGB_COLORS) != h) {
    mask_.clear();
    return;
  }
  maskWidth_ = w;
  maskHeight_ = h;
}

void TMaskProcessor::MaskBlend(HDC dc, HBITMAP bitmap, const BITMAPINFO* info, const BYTE* mask) {
  if (!ReadFrame(dc, bitmap, info)) return;
  BlendRows(frame_.data(), mask, info->bmiHeader.biWidth, info->bmiHeader.biHeight, MultiplyBlend);
  WriteFrame(dc, bitmap, info);
}

bool TMaskProcessor::DoProcess(HDC dc, HBITMAP bitmap, BITMAPINFO* info) {
  if (State() != TProcessorState::psRunning) return false;
  TLock l(Lock());
  if (State() != TProcessorState::psRunning) return false;
  const int w = info->bmiHeader.biWidth, h = info->bmiHeader.biHeight;
  const BYTE* mask = nullptr;
  if (drawer_) {
    if (drawer_->FrameCount() == 0) return false;
    auto* buffered = static_cast<TGIFDrawerBuffer*>(drawer_.get());
    buffered->Prepare(info);
    if (buffered->BufferWidth() == w && buffered->BufferHeight() == h) mask = buffered->CurrentBuffer();
  } else {
    if (!picture_ || !picture_->Graphic()) return false;
    ScaleStillMask(info);
    if (maskWidth_ == w && maskHeight_ == h) mask = MaskBuffer();
  }
  if (!mask) return false;
  MaskBlend(dc, bitmap, info, mask);
  return true;
}

TMaskProcForm::TMaskProcForm(TImageProcessorAbs* p) : TImageProcForm(p, L"mask", GraphicFileMask(TGraphic::StaticClass())) {}

namespace {
template <class P>
void Register() {
  TComPtr<IImageProcessor> ref(new P());
  RegisterImageProcessor(ref.Get());
}
}  // namespace

void RegisterPictureProcessors() {
  Register<TAnimationProcessor>();
  Register<TBorderProcessor>();
  Register<TDecorationProcessor>();
  Register<TLightProcessor>();
  Register<TMaskProcessor>();
}

}  // namespace kivo
