// The camera source's preview window: the capture graph of the chosen device (device, colour
// space converter, sample grabber, video renderer), shown in the window; every frame runs through
// the image effects and, while the camera is the capture target, into the frame section. The movie
// window is built on it and shares its frame path.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "DSGraph.h"
#include "Handles.h"
#include "KVFWindowAbs.h"
#include "KVProcs.h"

namespace kivo {

// A display-compatible bitmap selected into its own memory DC (stretch mode COLORONCOLOR).
struct TFrameCanvas {
  TBitmapOwner Bitmap;  // declared first: the DC goes before its bitmap
  TMemDCOwner DC;
  std::int32_t Width = 0, Height = 0;
  // Replaces both; false when the DC or the bitmap could not be made.
  bool Make(HDC screen, std::int32_t width, std::int32_t height);
  void Reset();
};

// The error box of a camera that cannot be opened (the HRESULT in hexadecimal, 8 places).
std::wstring CameraOpenErrorText(HRESULT code);

class TCameraWindow : public TSourceWindowAbs {
  KIVO_CLASS(TCameraWindow, TSourceWindowAbs)
  explicit TCameraWindow(TComponent* owner) : TCameraWindow(owner, L"CameraWindowA") {}
  ~TCameraWindow() override;
  void BeforeDestruction() override;

  TVideoWindow* Window;
  TFilterGraph* Graph;
  TFilter* SourceFilter;
  TSampleGrabber* Sample;
  TFilter* ConvertFilter;

  // The display name of the device whose graph was built last (empty before the first build).
  std::wstring CurrentDevice;
  std::int32_t VideoWidth = 0, VideoHeight = 0;
  TFrameCanvas SourceCanvas;  // the frame at the source size, for the effects
  TFrameCanvas OutputCanvas;  // the frame stretched to the output size
  TOutputFormat FrameInfo{};  // the source frames (24-bit, bottom-up)
  TOutputFormat ScaleInfo{};  // the output frames as OutputCanvas was made for them
  std::vector<BYTE> ScaleBuffer;

  std::int32_t State() override;
  bool IsFullScreen() override;
  void SetFullScreen(bool value) override;
  bool Play(std::int32_t index, bool automatic) override;
  bool Stop() override;
  bool Pause() override;
  bool Resume(bool automatic) override;
  virtual void ShowOpenError(HRESULT code);
  virtual void ConfigureSource(IBaseFilter* filter);
  virtual void SelectFormat(IPin* pin);

  // The frame size the graph negotiated, then the buffers of the frame path.
  void PrepareBuffers();
  void ReadVideoSize();
  // Runs the graph; a failure to start (raised, or reported by the graph's state afterwards) shows
  // the error box and ends the operation silently.
  void RunGraph();

  void WindowDblClick(TObject* sender);
  void GraphDSEvent(TObject* sender, long event, LONG_PTR param1, LONG_PTR param2);
  // The frame path, on the graph's streaming thread.
  void SampleBuffer(TObject* sender, double sampleTime, BYTE* buffer, long length);

 protected:
  // Descendants give their own component name (names are unique within the owner).
  TCameraWindow(TComponent* owner, const wchar_t* name);
  // The error box (modal) with the text given.
  void ShowErrorBox(const std::wstring& text);
  // The HRESULT binding the filter's stored moniker gives.
  static HRESULT BindResult(TFilter* filter);
};

}  // namespace kivo
