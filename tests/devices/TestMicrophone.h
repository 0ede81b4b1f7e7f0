// The test microphone: an audio capture source whose input pins are its mixer lines ("Line 1" to
// "Line 3", each with IAMAudioInputMixer, never connected), as a sound card's capture filter has
// them. It records the line that is enabled (one at a time; line 1 at first): line n plays a sine
// of n times the device's ToneHz, at the line's mix level (ToneSample in TestDevices.h), 16-bit PCM
// in buffers of 40 ms. Its formats, in this order: 44100 Hz stereo, 22050 Hz mono, 48000 Hz mono,
// 48000 Hz stereo, 8000 Hz mono.
#pragma once

#include <memory>
#include <vector>

#include "LiveSource.h"

namespace kivo::testdev {

class TTestMicrophone;

class TMicrophonePin : public TLiveStream {
 public:
  TMicrophonePin(HRESULT& hr, TTestMicrophone* filter);
  HRESULT FillSample(IMediaSample* sample) override;

 protected:
  int FormatCount() override;
  HRESULT MakeFormat(int index, AM_MEDIA_TYPE& type) override;
  int MatchFormat(const AM_MEDIA_TYPE& type) override;
  int CapsSize() override;
  void MakeCaps(int index, BYTE* caps) override;
  long BufferBytes(const AM_MEDIA_TYPE& type) override;
  void RunStarts() override { Position = 0; }

 private:
  TTestMicrophone* Mic;
  unsigned long long Position = 0;  // samples of the run delivered so far (the streaming thread's)
};

class TMixerLine : public TBCBasePin, public IAMAudioInputMixer {
 public:
  TMixerLine(HRESULT& hr, TTestMicrophone* filter, int index, const wchar_t* name);

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
  HRESULT VerifyType(const AM_MEDIA_TYPE&) override { return VFW_E_TYPE_NOT_ACCEPTED; }
  HRESULT ProposeType(int, AM_MEDIA_TYPE&) override { return VFW_S_NO_MORE_ITEMS; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }

  // IAMAudioInputMixer
  HRESULT STDMETHODCALLTYPE put_Enable(BOOL enable) override;
  HRESULT STDMETHODCALLTYPE get_Enable(BOOL* enable) override;
  HRESULT STDMETHODCALLTYPE put_Mono(BOOL mono) override;
  HRESULT STDMETHODCALLTYPE get_Mono(BOOL* mono) override;
  HRESULT STDMETHODCALLTYPE put_MixLevel(double level) override;
  HRESULT STDMETHODCALLTYPE get_MixLevel(double* level) override;
  HRESULT STDMETHODCALLTYPE put_Pan(double pan) override;
  HRESULT STDMETHODCALLTYPE get_Pan(double* pan) override;
  HRESULT STDMETHODCALLTYPE put_Loudness(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Loudness(BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Treble(double) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Treble(double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_TrebleRange(double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Bass(double) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Bass(double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_BassRange(double*) override { return E_NOTIMPL; }

 private:
  TTestMicrophone* Mic;
  const int Index;
};

class TTestMicrophone : public TLiveSource {
 public:
  static TBCUnknown* CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TTestMicrophone(const wchar_t* name, HRESULT& hr, IUnknown* outer);

  int PinCount() override;
  TBCBasePin* PinAt(int index) override;

  struct TFormat {
    DWORD Rate;
    WORD Channels;
  };
  static const std::vector<TFormat>& Formats();

  // The mixer (MixerLock): the enabled line (-1: none) and each line's settings.
  struct TLine {
    double Level = 1.0;
    double Pan = 0.0;
    bool Mono = false;
  };
  TCriticalSection MixerLock;
  int Enabled = 0;
  std::vector<TLine> Lines;
  DWORD ToneHz = 440;

 protected:
  HRESULT LoadDevice(IPropertyBag* bag) override;

 private:
  std::vector<std::unique_ptr<TMixerLine>> LinePins;
};

}  // namespace kivo::testdev
