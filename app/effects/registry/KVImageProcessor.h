// IImageProcessor: one frame effect of KivoApp behind a COM-style interface. The registry and the
// effect pane know the effects only through it.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace kivo {

// The values of a processor's state byte (TProcessorState::psRunning, ...).
struct TProcessorState {
  enum : BYTE {
    psDisabled = 0,
    psRunning = 1,
    psStopped = 2,  // enabled, not running
    psPaused = 3,
  };
};

// No method lets an exception out.
MIDL_INTERFACE("723340F3-D105-4296-AF38-0F7F6B64251A")
IImageProcessor : public IUnknown {
  // Copies the display name (code page 936) zero-terminated into a buffer of `length` bytes,
  // shortened to fit; answers the bytes copied without the zero.
  virtual int STDMETHODCALLTYPE GetName(char* buffer, int length) = 0;
  // Embeds the settings form into `parent` (made on the first call); its window, or 0 when the
  // processor has no form.
  virtual HWND STDMETHODCALLTYPE ShowForm(HWND parent) = 0;
  virtual void STDMETHODCALLTYPE CloseForm() = 0;
  virtual void STDMETHODCALLTYPE FitForm(HWND parent) = 0;
  virtual void STDMETHODCALLTYPE NotifyForm() = 0;
  // True unless TProcessorState::psDisabled.
  virtual BOOL STDMETHODCALLTYPE GetEnabled() = 0;
  virtual void STDMETHODCALLTYPE SetEnabled(BOOL value) = 0;
  virtual BYTE STDMETHODCALLTYPE GetState() = 0;
  virtual BOOL STDMETHODCALLTYPE Start() = 0;
  virtual BOOL STDMETHODCALLTYPE Pause() = 0;
  virtual BOOL STDMETHODCALLTYPE Resume() = 0;
  virtual BOOL STDMETHODCALLTYPE Stop() = 0;
  virtual BOOL STDMETHODCALLTYPE Restart() = 0;
  virtual BOOL STDMETHODCALLTYPE Reload() = 0;
  // One frame: `bitmap` (selected into the memory DC `dc`) holds it at the source size, described
  // by `info` as a 24-bit bottom-up DIB. True when the processor drew on it. Runs on the video
  // streaming thread.
  virtual BOOL STDMETHODCALLTYPE Process(HDC dc, HBITMAP bitmap, BITMAPINFO* info) = 0;
};

}  // namespace kivo

__CRT_UUID_DECL(kivo::IImageProcessor, 0x723340f3, 0xd105, 0x4296, 0xaf, 0x38, 0x0f, 0x7f, 0x6b, 0x64, 0x25, 0x1a)
