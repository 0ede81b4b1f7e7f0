#include "KVFCameraWindow.h"

#include <uuids.h>
#include <dvdmedia.h>

#include <algorithm>
#include <cstring>

#include "Dialogs.h"
#include "KVFCameraSource.h"
#include "KVMessage.h"
#include "KVProcessorList.h"
#include "KVShared.h"
#include "Threads.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TCameraWindow)

namespace {
// The system's Colour Space Converter in the DirectShow filter category.
constexpr wchar_t kConverterMoniker[] =
    L"@device:sw:{083863F1-70DE-11D0-BD40-00A0C911CE86}\\{1643E180-90F5-11CE-97D5-00AA0055595A}";
constexpr DWORD kRunStateWaitMs = 3000;

// A frame of width x height at 24 bits, bottom-up, from the output format's header.
TOutputFormat FrameFormat(std::int32_t width, std::int32_t height) {
  TOutputFormat f = OutputFormat;
  f.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  f.bmiHeader.biWidth = width;
  f.bmiHeader.biHeight = height;
  f.bmiHeader.biPlanes = 1;
  f.bmiHeader.biBitCount = 24;
  f.bmiHeader.biCompression = BI_RGB;
  f.bmiHeader.biSizeImage = static_cast<DWORD>(PaddedFrameBytes(width, height));
  return f;
}
}  // namespace

bool TFrameCanvas::Make(HDC screen, std::int32_t width, std::int32_t height) {
  Reset();
  TMemDCOwner dc(::CreateCompatibleDC(screen));
  TBitmapOwner bitmap(::CreateCompatibleBitmap(screen, std::max(width, 1), std::max(height, 1)));
  if (!dc || !bitmap) return false;
  ::SelectObject(dc.Get(), bitmap.Get());
  ::SetStretchBltMode(dc.Get(), COLORONCOLOR);
  Bitmap = std::move(bitmap);
  DC = std::move(dc);
  Width = width;
  Height = height;
  return true;
}

void TFrameCanvas::Reset() {
  DC.Reset();
  Bitmap.Reset();
  Width = Height = 0;
}

std::wstring CameraOpenErrorText(HRESULT code) {
  return Format(L"不能开启摄像头（错误：%8x），请检查摄像头是否插好，并且没有被其他程序占用。",
                static_cast<unsigned long>(code));
}

TCameraWindow::TCameraWindow(TComponent* owner, const wchar_t* name) : TSourceWindowAbs(owner) {
  SetName(name);
  Font()->SetName(L"宋体");
  Font()->SetHeight(-12);
  Font()->SetCharset(GB2312_CHARSET);
  ScaleBuffer.resize(kMaxFrameBytes);

  Graph = new TFilterGraph(this);
  Graph->SetName(L"Graph");
  Graph->SetMode(TGraphMode::gmCapture);
  Graph->SetGraphEdit(true);
  Graph->SetLinearVolume(true);
  Graph->OnDSEvent = Method(this, &TCameraWindow::GraphDSEvent);

  Window = new TVideoWindow(this);
  Window->SetName(L"Window");
  Window->SetColor(clBlack);
  Window->SetAlign(TAlign::alClient);
  Window->SetParent(this);
  Window->SetFilterGraph(Graph);
  Window->OnDblClick = Method(this, &TCameraWindow::WindowDblClick);

  SourceFilter = new TFilter(this);
  SourceFilter->SetName(L"SourceFilter");
  SourceFilter->SetFilterGraph(Graph);

  Sample = new TSampleGrabber(this);
  Sample->SetName(L"Sample");
  {
    TMediaType type(MEDIATYPE_Video);
    type.SetSubtype(MEDIASUBTYPE_RGB24);
    type.SetFormatType(FORMAT_VideoInfo);
    AM_MEDIA_TYPE* t = type.AMType();
    t->bFixedSizeSamples = TRUE;
    t->bTemporalCompression = FALSE;
    t->lSampleSize = 1;
    Sample->SetMediaType(&type);
  }
  Sample->SetFilterGraph(Graph);
  Sample->OnBuffer = Method(this, &TCameraWindow::SampleBuffer);

  ConvertFilter = new TFilter(this);
  ConvertFilter->SetName(L"ConvertFilter");
  if (TComPtr<IMoniker> m = ParseDisplayName(kConverterMoniker)) ConvertFilter->BaseFilter()->SetMoniker(m.Get());
  ConvertFilter->SetFilterGraph(Graph);

  pnlPlayControl->BringToFront();
}

TCameraWindow::~TCameraWindow() = default;

void TCameraWindow::BeforeDestruction() {
  // the graph goes before the buffers its streaming thread uses
  try {
    Graph->SetActive(false);
  } catch (...) {
  }
  TSourceWindowAbs::BeforeDestruction();
}

std::int32_t TCameraWindow::State() { return Graph ? Graph->State() : kStateNone; }

bool TCameraWindow::IsFullScreen() { return Window->FullScreen(); }

void TCameraWindow::SetFullScreen(bool value) {
  TSourceWindowAbs::SetFullScreen(value);
  Window->SetFullScreen(value);
}

void TCameraWindow::WindowDblClick(TObject*) { SetFullScreen(!IsFullScreen()); }

void TCameraWindow::GraphDSEvent(TObject*, long, LONG_PTR, LONG_PTR) { UpdateButtons(); }

void TCameraWindow::ShowErrorBox(const std::wstring& text) { MessageDlg(text, TMsgDlgType::mtError, MsgDlgButton(mbOK)); }

void TCameraWindow::ShowOpenError(HRESULT code) { ShowErrorBox(CameraOpenErrorText(code)); }

HRESULT TCameraWindow::BindResult(TFilter* filter) {
  TComPtr<IMoniker> moniker = filter->BaseFilter()->RestoreMoniker();
  if (!moniker) return VFW_E_NOT_FOUND;
  TComPtr<IBaseFilter> bound;
  const HRESULT hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, bound.PutVoid());
  return FAILED(hr) ? hr : E_NOINTERFACE;
}

bool TCameraWindow::Play(std::int32_t index, bool automatic) {
  bool result = TSourceWindowAbs::Play(index, automatic);
  if (::GetCurrentThreadId() == MainThreadID()) Application()->ProcessMessages();

  // KivoMsg keeps a busy overlay painted over the video while this thread builds the graph; it
  // goes on every way out
  ShowWaitMessage(Window->Handle(), 0, L"正在开启视频");
  struct THideWait {
    ~THideWait() { HideWaitMessage(); }
  } hideWait;

  auto* page = dynamic_cast<TCameraSource*>(Source);
  if (!page || page->cmbCameras->Items()->Count() == 0) return result;
  if (index == kPlayCurrent) {
    index = page->cmbCameras->ItemIndex();
    if (index < 0) return result;
  }
  if (index < 0 || index >= static_cast<std::int32_t>(page->DeviceIds.size())) return result;
  const std::wstring device = page->DeviceIds[index];
  if (device == CurrentDevice && State() != kStateNone) return result;

  Stop();
  // the device is bound by its display name as it is listed now, never by an older list position
  TComPtr<IMoniker> moniker = FindVideoDevice(device);
  Graph->ClearGraph();
  Graph->SetActive(false);
  if (!moniker) {
    ShowOpenError(VFW_E_NOT_FOUND);
    Abort();
  }
  SourceFilter->BaseFilter()->SetMoniker(moniker.Get());
  Graph->SetActive(true);
  // a filter that could not be made (a device gone, a machine without the converter) is reported
  // with the HRESULT its binding gives
  for (TFilter* f : {SourceFilter, ConvertFilter}) {
    if (!f->QueryFilter()) {
      const HRESULT hr = BindResult(f);
      Graph->SetActive(false);
      ShowOpenError(hr);
      Abort();
    }
  }
  ConfigureSource(SourceFilter->QueryFilter());
  if (auto builder = Graph->Query<ICaptureGraphBuilder2>()) {
    builder->RenderStream(nullptr, nullptr, SourceFilter->QueryFilter(), nullptr, ConvertFilter->QueryFilter());
    builder->RenderStream(nullptr, nullptr, ConvertFilter->QueryFilter(), Sample->QueryFilter(), Window->QueryFilter());
  }
  PrepareBuffers();
  RunGraph();
  result = State() == kStatePlaying;
  if (result) StartImageProcessors();
  CurrentDevice = device;
  return result;
}

void TCameraWindow::RunGraph() {
  HRESULT code = S_OK;
  try {
    Graph->Play();
    // Run may answer S_FALSE although a filter failed to start: the graph's state tells
    if (auto control = Graph->Query<IMediaControl>()) {
      OAFilterState state = State_Stopped;
      const HRESULT hr = control->GetState(kRunStateWaitMs, &state);
      if (FAILED(hr)) code = hr;
    }
  } catch (const EDirectShowException& e) {
    code = e.ResultCode;
  }
  if (SUCCEEDED(code)) return;
  ShowOpenError(code);
  Abort();
}

bool TCameraWindow::Stop() {
  TSourceWindowAbs::Stop();
  try {
    Graph->Stop();
  } catch (const EDirectShowException&) {
    // the graph is released below whatever its stop answered
  }
  const std::int32_t state = State();
  Graph->SetActive(false);
  UpdateButtons();
  return state == kStateStopped;
}

bool TCameraWindow::Pause() {
  if (State() != kStatePlaying) return true;
  Graph->Pause();
  return State() == kStatePaused;
}

bool TCameraWindow::Resume(bool) {
  if (State() != kStatePaused) return false;
  Graph->Play();
  return State() == kStatePlaying;
}

void TCameraWindow::ConfigureSource(IBaseFilter* filter) {
  if (!filter) return;
  TPinList pins(filter);
  if (pins.Count() > 0) SelectFormat(pins.FirstPin());
}

void TCameraWindow::SelectFormat(IPin* pin) {
  TComPtr<IAMStreamConfig> config;
  if (!pin || FAILED(pin->QueryInterface(IID_IAMStreamConfig, config.PutVoid()))) return;
  AM_MEDIA_TYPE* current = nullptr;
  if (SUCCEEDED(config->GetFormat(&current))) DeleteMediaType(current);
  std::unique_ptr<TEnumMediaType> types = TEnumMediaType::CreateFromPin(pin);
  if (!types) return;
  const LONG width = OutputWidth.load(), height = OutputHeight.load();
  for (int i = 0; i < types->Count(); ++i) {
    AM_MEDIA_TYPE* t = types->GetItem(i)->AMType();
    if (t->majortype != MEDIATYPE_Video || !t->pbFormat) continue;
    const BITMAPINFOHEADER* header = nullptr;
    if (t->formattype == FORMAT_VideoInfo && t->cbFormat >= sizeof(VIDEOINFOHEADER))
      header = &reinterpret_cast<const VIDEOINFOHEADER*>(t->pbFormat)->bmiHeader;
    else if (t->formattype == FORMAT_VideoInfo2 && t->cbFormat >= sizeof(VIDEOINFOHEADER2))
      header = &reinterpret_cast<const VIDEOINFOHEADER2*>(t->pbFormat)->bmiHeader;
    if (!header || header->biWidth != width || header->biHeight != height) continue;
    config->SetFormat(t);
    if (SUCCEEDED(config->GetFormat(&current))) DeleteMediaType(current);
    return;
  }
}

void TCameraWindow::ReadVideoSize() {
  // the size the grabber's input negotiated: the frames the callback gets
  if (ISampleGrabber* grabber = Sample->SampleGrabber()) {
    AM_MEDIA_TYPE type{};
    if (SUCCEEDED(grabber->GetConnectedMediaType(&type))) {
      const bool known = type.formattype == FORMAT_VideoInfo && type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER);
      if (known) {
        const BITMAPINFOHEADER& h = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
        VideoWidth = h.biWidth;
        VideoHeight = std::abs(h.biHeight);
      }
      FreeMediaType(type);
      if (known) return;
    }
  }
  TComPtr<IBasicVideo> video;
  if (SUCCEEDED(Window->QueryInterface(__uuidof(IBasicVideo), video.PutVoid()))) {
    long w = 0, h = 0;
    if (SUCCEEDED(video->GetVideoSize(&w, &h))) {
      VideoWidth = w;
      VideoHeight = h;
    }
  }
}

void TCameraWindow::PrepareBuffers() {
  ReadVideoSize();
  const std::int32_t outW = OutputWidth.load(), outH = OutputHeight.load();
  TWindowDC screen(nullptr);
  SourceCanvas.Make(screen.Get(), VideoWidth, VideoHeight);
  OutputCanvas.Make(screen.Get(), outW, outH);
  FrameInfo = FrameFormat(VideoWidth, VideoHeight);
  ScaleInfo = FrameFormat(outW, outH);
  if (ScaleBuffer.size() < ScaleInfo.bmiHeader.biSizeImage) ScaleBuffer.resize(ScaleInfo.bmiHeader.biSizeImage);
}

void TCameraWindow::SampleBuffer(TObject*, double, BYTE* buffer, long length) {
  const std::int32_t frameBytes = static_cast<std::int32_t>(FrameInfo.bmiHeader.biSizeImage);
  // every copy is bounded by the frame the graph negotiated: a shorter sample is no frame of it
  if (!buffer || VideoWidth <= 0 || VideoHeight <= 0 || length < frameBytes) return;
  const bool effects = AnyImageProcessorEnabled();
  const bool sameSize = VideoWidth == ScaleInfo.bmiHeader.biWidth && VideoHeight == ScaleInfo.bmiHeader.biHeight;
  if (sameSize && !effects) {
    if (IsCaptureTarget()) WriteFrame(buffer, frameBytes, false);
    return;
  }
  if (effects && SourceCanvas.DC) {
    ::SetDIBits(SourceCanvas.DC.Get(), SourceCanvas.Bitmap.Get(), 0, VideoHeight, buffer, FrameInfo.Info(),
                DIB_RGB_COLORS);
    ApplyImageProcessors(SourceCanvas.DC.Get(), SourceCanvas.Bitmap.Get(), FrameInfo.Info());
    ::GetDIBits(SourceCanvas.DC.Get(), SourceCanvas.Bitmap.Get(), 0, VideoHeight, buffer, FrameInfo.Info(),
                DIB_RGB_COLORS);
  }
  if (!IsCaptureTarget()) return;
  if (!sameSize) {
    if (!OutputCanvas.DC) return;
    ::StretchDIBits(OutputCanvas.DC.Get(), 0, 0, OutputCanvas.Width, OutputCanvas.Height, 0, 0, VideoWidth,
                    VideoHeight, buffer, FrameInfo.Info(), DIB_RGB_COLORS, SRCCOPY);
    const std::int32_t n = GetFrameBits(OutputCanvas.DC.Get(), ScaleInfo, OutputCanvas.Bitmap.Get(), ScaleBuffer.data());
    if (n > 0) WriteFrame(ScaleBuffer.data(), n, false);
    return;
  }
  WriteFrame(buffer, frameBytes, false);
}

}  // namespace kivo
