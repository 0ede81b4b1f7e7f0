// Stand-ins registered for the test's process in place of the system's classes: a DVD graph builder
// (with or without a graph, with or without a DVD navigator's IDvdInfo2) and a class object
// registration that is revoked at the end of its scope.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <map>

#include "GraphSupport.h"

namespace kivo::test {

// A class object registered for this process (CoRegisterClassObject), revoked when it goes.
class TClassRegistration {
 public:
  TClassRegistration(REFCLSID clsid, IClassFactory* factory) {
    Result = ::CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
  }
  ~TClassRegistration() {
    if (cookie_) ::CoRevokeClassObject(cookie_);
  }
  TClassRegistration(const TClassRegistration&) = delete;
  TClassRegistration& operator=(const TClassRegistration&) = delete;
  HRESULT Result;

 private:
  DWORD cookie_ = 0;
};

// A class factory living on the test's stack: no reference counting.
class TStackFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? static_cast<IClassFactory*>(this) : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The DVD navigator's information as a test sets it: the language of each audio and sub-picture
// stream (streams not in the maps answer E_INVALIDARG); everything else E_NOTIMPL.
class TStandInDvdInfo final : public TTestUnknown<IDvdInfo2, IID_IDvdInfo2> {
 public:
  std::map<ULONG, LCID> Audio, Subpicture;

  HRESULT STDMETHODCALLTYPE GetAudioLanguage(ULONG stream, LCID* language) override {
    return Find(Audio, stream, language);
  }
  HRESULT STDMETHODCALLTYPE GetSubpictureLanguage(ULONG stream, LCID* language) override {
    return Find(Subpicture, stream, language);
  }
  HRESULT STDMETHODCALLTYPE GetCurrentDomain(DVD_DOMAIN*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentLocation(DVD_PLAYBACK_LOCATION2*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTotalTitleTime(DVD_HMSF_TIMECODE*, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentButton(ULONG*, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentAngle(ULONG*, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentAudio(ULONG*, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentSubpicture(ULONG*, ULONG*, WINBOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentUOPS(ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAllSPRMs(SPRMARRAY*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAllGPRMs(GPRMARRAY*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTitleAttributes(ULONG, DVD_MenuAttributes*, DVD_TitleAttributes*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetVMGAttributes(DVD_MenuAttributes*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCurrentVideoAttributes(DVD_VideoAttributes*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAudioAttributes(ULONG, DVD_AudioAttributes*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetKaraokeAttributes(ULONG, DVD_KaraokeAttributes*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSubpictureAttributes(ULONG, DVD_SubpictureAttributes*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDVDVolumeInfo(ULONG*, ULONG*, DVD_DISC_SIDE*, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDVDTextNumberOfLanguages(ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDVDTextLanguageInfo(ULONG, ULONG*, LCID*, enum DVD_TextCharSet*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDVDTextStringAsNative(ULONG, ULONG, BYTE*, ULONG, ULONG*,
                                                     enum DVD_TextStringType*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDVDTextStringAsUnicode(ULONG, ULONG, WCHAR*, ULONG, ULONG*,
                                                      enum DVD_TextStringType*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetPlayerParentalLevel(ULONG*, BYTE[2]) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNumberOfChapters(ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTitleParentalLevels(ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDVDDirectory(LPWSTR, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsAudioStreamEnabled(ULONG, WINBOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDiscID(LPCWSTR, ULONGLONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(IDvdState**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMenuLanguages(LCID*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetButtonAtPosition(POINT, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetCmdFromEvent(LONG_PTR, IDvdCmd**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDefaultMenuLanguage(LCID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDefaultAudioLanguage(LCID*, DVD_AUDIO_LANG_EXT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDefaultSubpictureLanguage(LCID*, DVD_SUBPICTURE_LANG_EXT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDecoderCaps(DVD_DECODER_CAPS*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetButtonRect(ULONG, RECT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsSubpictureStreamEnabled(ULONG, WINBOOL*) override { return E_NOTIMPL; }

 private:
  static HRESULT Find(const std::map<ULONG, LCID>& map, ULONG stream, LCID* language) {
    auto it = map.find(stream);
    if (it == map.end()) return E_INVALIDARG;
    *language = it->second;
    return S_OK;
  }
};

// A DVD graph builder in place of the system's: without a graph to give (as Wine's, whose
// GetFiltergraph answers E_NOTIMPL) or with a real filter graph, and with the DVD navigator's
// information when one is given. It counts the builders alive.
class TStandInDvdBuilder final : public TTestUnknown<IDvdGraphBuilder, IID_IDvdGraphBuilder> {
 public:
  TStandInDvdBuilder(IGraphBuilder* graph, IDvdInfo2* info) : Graph(graph), Info(info) { ++Alive; }
  ~TStandInDvdBuilder() override { --Alive; }
  HRESULT STDMETHODCALLTYPE GetFiltergraph(IGraphBuilder** graph) override {
    if (!Graph) return E_NOTIMPL;
    *graph = Graph.Get();
    Graph->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDvdInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (Info && iid == IID_IDvdInfo2) return Info->QueryInterface(iid, out);
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE RenderDvdVideoVolume(LPCWSTR, DWORD, AM_DVD_RENDERSTATUS*) override { return E_NOTIMPL; }

  static inline std::atomic<int> Alive{0};

 private:
  TComPtr<IGraphBuilder> Graph;
  TComPtr<IDvdInfo2> Info;
};

class TStandInDvdFactory : public TStackFactory {
 public:
  explicit TStandInDvdFactory(IGraphBuilder* graph, IDvdInfo2* info = nullptr) : Graph(graph), Info(info) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* builder = new TStandInDvdBuilder(Graph, Info);
    HRESULT hr = builder->QueryInterface(iid, out);
    builder->Release();
    return hr;
  }

 private:
  IGraphBuilder* Graph;
  IDvdInfo2* Info;
};

}  // namespace kivo::test
