#include "EncoderGraphs.h"

#include <mmreg.h>

#include <algorithm>
#include <cstring>
#include <cwctype>

namespace kivo::test {

std::wstring SystemDir() {
  wchar_t dir[MAX_PATH];
  ::GetSystemDirectoryW(dir, MAX_PATH);
  return std::wstring(dir) + L"\\";
}

std::wstring LowerText(std::wstring s) {
  for (auto& c : s) c = wchar_t(std::towlower(c));
  return s;
}

namespace {

const wchar_t kDrivers32[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
const wchar_t kDriversDesc[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\drivers.desc";
const wchar_t* const kXvidFiles[] = {L"xvidvfw.dll", L"xvidcore.dll"};

bool SetString(HKEY root, const wchar_t* key, const wchar_t* name, const wchar_t* value) {
  return ::RegSetKeyValueW(root, key, name, REG_SZ, value, DWORD((std::wcslen(value) + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
}

}  // namespace

std::string InstallXvid(const std::wstring& folder) {
  for (const wchar_t* file : kXvidFiles)
    if (!::CopyFileW((folder + file).c_str(), (SystemDir() + file).c_str(), FALSE))
      return "copying " + std::to_string(::GetLastError());
  DWORD zero = 0;
  if (::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\GNU\\Xvid", L"display_status", REG_DWORD, &zero, 4) !=
          ERROR_SUCCESS ||
      !SetString(HKEY_LOCAL_MACHINE, kDrivers32, L"vidc.XVID", L"xvidvfw.dll") ||
      !SetString(HKEY_LOCAL_MACHINE, kDriversDesc, L"xvidvfw.dll", L"Xvid MPEG-4 Video Codec"))
    return "writing its registry values";
  return "";
}

void RemoveXvid() {
  ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kDrivers32, L"vidc.XVID");
  ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kDriversDesc, L"xvidvfw.dll");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\GNU");
  for (const wchar_t* file : kXvidFiles) ::DeleteFileW((SystemDir() + file).c_str());
}

std::optional<TListedFilter> FindXvidCompressor() {
  return FindListedFilter(CLSID_VideoCompressorCategory,
                          [](const TListedFilter& f) { return LowerText(f.Name).find(L"xvid") != std::wstring::npos; });
}

TComPtr<IBaseFilter> BindLame() {
  TComPtr<IBaseFilter> filter;
  TComPtr<IMoniker> moniker = ParseMoniker(kLameMoniker);
  if (moniker) moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid());
  return filter;
}

std::string RunToCompletion(TGraph& g, DWORD timeoutMs) {
  HRESULT hr = g.Control->Run();
  if (FAILED(hr)) return "Run " + Hex(hr);
  const double deadline = NowMs() + timeoutMs;
  while (NowMs() < deadline) {
    long code;
    LONG_PTR p1, p2;
    if (g.Events->GetEvent(&code, &p1, &p2, 100) != S_OK) continue;
    g.Events->FreeEventParams(code, p1, p2);
    if (code == EC_COMPLETE) {
      g.Control->Stop();
      return "";
    }
    if (code == EC_ERRORABORT || code == EC_USERABORT || code == EC_STREAM_ERROR_STOPPED)
      return "graph event " + std::to_string(code) + " " + Hex(HRESULT(p1));
  }
  g.Control->Stop();
  return "no completion in time";
}

namespace {

// What a grabber saw of a decoded stream.
struct TVideoSink : TGrabberCallback {
  using TFrame = TDecodedFrame;
  TRecordLog<TFrame> Frames;
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) return S_OK;
    TFrame f;
    f.Bits.assign(data, data + sample->GetActualDataLength());
    REFERENCE_TIME stop;
    if (FAILED(sample->GetTime(&f.Start, &stop))) f.Start = -1;
    Frames.Add(std::move(f));
    return S_OK;
  }
};

struct TAudioSink : TGrabberCallback {
  TRecordLog<std::vector<BYTE>> Buffers;
  HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override {
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) return S_OK;
    Buffers.Add(std::vector<BYTE>(data, data + sample->GetActualDataLength()));
    return S_OK;
  }
};

}  // namespace

HRESULT MakeAudioGrabber(TComPtr<IBaseFilter>& grabber, TComPtr<IBaseFilter>& renderer, ISampleGrabberCB* callback,
                         REFGUID subtype) {
  HRESULT hr = ::CoCreateInstance(kCLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  grabber.PutVoid());
  if (FAILED(hr)) return hr;
  TComPtr<ISampleGrabber> sg;
  hr = grabber->QueryInterface(IID_ISampleGrabber, sg.PutVoid());
  if (FAILED(hr)) return hr;
  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Audio;
  type.subtype = subtype;
  if (FAILED(hr = sg->SetMediaType(&type)) || FAILED(hr = sg->SetCallback(callback, 0))) return hr;
  return ::CoCreateInstance(kCLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, renderer.PutVoid());
}

TDecoded Decode(const std::wstring& path, bool video, bool audio) {
  TDecoded out;
  TGraph g;
  TComPtr<IBaseFilter> source;
  HRESULT hr = g.Graph->AddSourceFilter(path.c_str(), L"file", source.Put());
  if (FAILED(hr)) return {"AddSourceFilter " + Hex(hr)};
  g.Filters.emplace_back(source);
  TComPtr<ICaptureGraphBuilder2> builder;
  ::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                     builder.PutVoid());
  if (!builder || FAILED(builder->SetFiltergraph(g.Graph.Get()))) return {"no capture graph builder"};
  TVideoSink videoSink;
  TAudioSink audioSink;
  TComPtr<IBaseFilter> vGrab, vNull, aGrab, aNull;
  if (video) {
    if (FAILED(hr = MakeGrabberAndRenderer(vGrab, vNull, &videoSink))) return {"video grabber " + Hex(hr)};
    g.Add(vGrab.Get(), L"video grabber");
    g.Add(vNull.Get(), L"video null");
    if (FAILED(hr = builder->RenderStream(nullptr, nullptr, source.Get(), vGrab.Get(), vNull.Get())))
      return {"video RenderStream " + Hex(hr)};
  }
  if (audio) {
    if (FAILED(hr = MakeAudioGrabber(aGrab, aNull, &audioSink))) return {"audio grabber " + Hex(hr)};
    g.Add(aGrab.Get(), L"audio grabber");
    g.Add(aNull.Get(), L"audio null");
    // With the video taken, the file's parser is connected already: its other stream goes here.
    IBaseFilter* from = source.Get();
    TComPtr<IBaseFilter> parser;
    if (video) {
      TComPtr<IPin> sourceOut = FindPinOf(source.Get(), PINDIR_OUTPUT), peer;
      PIN_INFO info{};
      if (sourceOut && SUCCEEDED(sourceOut->ConnectedTo(peer.Put())) && SUCCEEDED(peer->QueryPinInfo(&info))) {
        parser = TComPtr<IBaseFilter>::Attach(info.pFilter);
        from = parser.Get();
      }
    }
    if (FAILED(hr = builder->RenderStream(nullptr, nullptr, from, aGrab.Get(), aNull.Get())))
      return {"audio RenderStream " + Hex(hr)};
  }
  out.Error = RunToCompletion(g, 60000);
  if (!out.Error.empty()) return out;
  if (video) {
    TComPtr<ISampleGrabber> sg;
    vGrab->QueryInterface(IID_ISampleGrabber, sg.PutVoid());
    AM_MEDIA_TYPE type{};
    if (sg && SUCCEEDED(sg->GetConnectedMediaType(&type))) {
      if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        out.Width = vih->bmiHeader.biWidth;
        out.Height = vih->bmiHeader.biHeight;
      }
      FreeMediaType(type);
    }
    out.Frames = videoSink.Frames.All();
  }
  if (audio) {
    TComPtr<ISampleGrabber> sg;
    aGrab->QueryInterface(IID_ISampleGrabber, sg.PutVoid());
    AM_MEDIA_TYPE type{};
    WAVEFORMATEX wf{};
    if (sg && SUCCEEDED(sg->GetConnectedMediaType(&type))) {
      if (type.formattype == FORMAT_WaveFormatEx && type.cbFormat >= sizeof(WAVEFORMAT) + 2)
        std::memcpy(&wf, type.pbFormat, std::min<std::size_t>(type.cbFormat, sizeof(wf)));
      FreeMediaType(type);
    }
    out.Rate = wf.nSamplesPerSec;
    out.Channels = wf.nChannels;
    if (wf.wBitsPerSample != 16 || wf.nChannels == 0) {
      out.Error = "decoded sound is not 16-bit PCM: " + std::to_string(wf.wBitsPerSample) + " bits";
      return out;
    }
    for (const auto& buffer : audioSink.Buffers.All())
      for (std::size_t i = 0; i + 2 * wf.nChannels <= buffer.size(); i += 2 * wf.nChannels) {
        short s;
        std::memcpy(&s, &buffer[i], 2);
        out.Sound.push_back(s / 32768.0f);
      }
  }
  return out;
}

std::vector<BYTE> ReadFileBytes(const std::wstring& path) {
  std::vector<BYTE> bytes;
  THandleOwner file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file.Valid() || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 64 * 1024 * 1024) return bytes;
  bytes.resize(std::size_t(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty() && (!::ReadFile(file.Get(), bytes.data(), DWORD(bytes.size()), &read, nullptr) || read != bytes.size()))
    bytes.clear();
  return bytes;
}


int Mp3Version(const std::vector<BYTE>& file) {
  if (file.size() < 4 || file[0] != 0xFF || (file[1] & 0xE0) != 0xE0 || ((file[1] >> 1) & 3) != 1) return -1;
  return (file[1] >> 3) & 3;
}

TMp3Recording::TMp3Recording(TComPtr<IBaseFilter> source, const std::wstring& path) {
    TComPtr<IBaseFilter> lame = BindLame(), writer;
    TComPtr<IFileSinkFilter> sink;
    TComPtr<ICaptureGraphBuilder2> builder;
    HRESULT hr = E_FAIL;
    if (!source || !lame) {
      Error = "no source or no encoder";
    } else if (FAILED(hr = ::CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                              writer.PutVoid())) ||
               FAILED(hr = writer->QueryInterface(IID_IFileSinkFilter, sink.PutVoid())) ||
               FAILED(hr = sink->SetFileName(path.c_str(), nullptr)) || FAILED(hr = G.Add(source.Get(), L"sound")) ||
               FAILED(hr = G.Add(lame.Get(), L"lame")) || FAILED(hr = G.Add(writer.Get(), L"writer")) ||
               FAILED(hr = ::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_ICaptureGraphBuilder2, builder.PutVoid())) ||
               FAILED(hr = builder->SetFiltergraph(G.Graph.Get())) ||
               FAILED(hr = builder->RenderStream(nullptr, nullptr, source.Get(), lame.Get(), writer.Get()))) {
      Error = "building the graph: " + Hex(hr);
    }
}



TAviRecording::TAviRecording(TComPtr<IBaseFilter> source, const std::wstring& path) {
  auto compressor = FindXvidCompressor();
  TComPtr<IBaseFilter> xvid, mux, writer = MakeStreamFileSink(path);
  TComPtr<IConfigInterleaving> interleaving;
  TComPtr<ICaptureGraphBuilder2> builder;
  HRESULT hr = E_FAIL;
  if (!compressor) {
    Error = "no video compressor named ...xvid...";
  } else if (!source || !writer) {
    Error = "no source or no file sink";
  } else if (FAILED(hr = compressor->Bind(xvid)) || FAILED(hr = G.Add(source.Get(), L"camera")) ||
             FAILED(hr = G.Add(xvid.Get(), L"xvid")) ||
             FAILED(hr = ::CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                            mux.PutVoid())) ||
             FAILED(hr = mux->QueryInterface(IID_IConfigInterleaving, interleaving.PutVoid())) ||
             FAILED(hr = interleaving->put_Mode(INTERLEAVE_FULL)) || FAILED(hr = G.Add(mux.Get(), L"mux")) ||
             FAILED(hr = G.Add(writer.Get(), L"writer")) || FAILED(hr = G.Link(mux.Get(), writer.Get())) ||
             FAILED(hr = ::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_ICaptureGraphBuilder2, builder.PutVoid())) ||
             FAILED(hr = builder->SetFiltergraph(G.Graph.Get())) ||
             FAILED(hr = builder->RenderStream(nullptr, nullptr, source.Get(), xvid.Get(), mux.Get()))) {
    Error = "building the graph: " + Hex(hr);
  }
}

double WorstFramePsnr(const TDecoded& decoded, int width, int height, int offset) {
  std::vector<BYTE> original(FrameBytes(width, height));
  double worst = 1000;
  for (std::size_t i = 0; i < decoded.Frames.size(); ++i) {
    const std::vector<BYTE>& bits = decoded.Frames[i].Bits;
    if (bits.size() != original.size()) return 0;
    DrawTestPicture(original.data(), width, height, int(i) + offset);
    worst = std::min(worst, Psnr(bits.data(), original.data(), original.size()));
  }
  return worst;
}

}  // namespace kivo::test
