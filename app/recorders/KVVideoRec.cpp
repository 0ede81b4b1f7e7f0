#include "KVVideoRec.h"

#include <uuids.h>

#include <cwctype>

#include "KVShared.h"
#include "SysUtils.h"
#include "KVFilterId.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TVideoRecForm)

namespace {

TVideoRecForm* gVideoRecForm = nullptr;

// The Xvid codec as the video compressor category lists it.
constexpr wchar_t kXvidMoniker[] = L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\xvid";

TComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction) {
  TPinList pins(filter);
  for (int i = 0; i < pins.Count(); ++i) {
    PIN_DIRECTION d = PINDIR_INPUT;
    if (SUCCEEDED(pins.GetPin(i)->QueryDirection(&d)) && d == direction) return TComPtr<IPin>(pins.GetPin(i));
  }
  return {};
}
}  // namespace

TVideoRecForm::TVideoRecForm(TComponent* owner) : TRecFormAbs(owner) {
  SetName(L"VideoRecForm");
  btnStart->SetCaption(L"录像");
  btnPause->SetVisible(true);
  fltVideoCapture = new TFilter(this);
  fltVideoCapture->SetName(L"fltVideoCapture");
  fltVideoCapture->SetFilterGraph(Graph);
  fltCompress = new TFilter(this);
  fltCompress->SetName(L"fltCompress");
  if (TComPtr<IMoniker> m = ParseDisplayName(kXvidMoniker)) fltCompress->BaseFilter()->SetMoniker(m.Get());
  fltCompress->SetFilterGraph(Graph);
  // The sound joins the graph only when a device is chosen (StartRecord).
  fltAudioCapture->SetFilterGraph(nullptr);
  fltLAME->SetFilterGraph(nullptr);
  Folder = ProgramDir + L"VideoRec\\";
  Extension = L".avi";
}

void TVideoRecForm::AddExtraItems() { cmbDevList->Items()->Add(kNoAudioItem); }

void TVideoRecForm::SelectVirtualCamera() {
  SelectVideoCategory(kVideoInputDeviceCategory);
  TComPtr<IMoniker> moniker;
  for (int i = 0; i < VideoEnum->FilterCount() && !moniker; ++i)
    if (VideoEnum->GetFilterEntry(i).CLSID == CLSID_KivoFilterSource) moniker = VideoEnum->GetMoniker(i);
  fltVideoCapture->BaseFilter()->SetMoniker(moniker.Get());
}

void TVideoRecForm::SelectCompressor(const std::wstring& name) {
  SelectVideoCategory(kVideoCompressorCategory);
  const std::wstring wanted = LowerCase(name);
  TComPtr<IMoniker> moniker;
  for (int i = 0; i < VideoEnum->FilterCount() && !moniker; ++i)
    if (LowerCase(VideoEnum->GetFilterEntry(i).FriendlyName).find(wanted) != std::wstring::npos)
      moniker = VideoEnum->GetMoniker(i);
  fltCompress->BaseFilter()->SetMoniker(moniker.Get());
}

TComPtr<IBaseFilter> TVideoRecForm::MakeAviOutput() {
  const std::wstring name = edtFileName->Text();
  TComPtr<ICaptureGraphBuilder2> builder = CaptureBuilder();
  TComPtr<IBaseFilter> mux;
  TComPtr<IFileSinkFilter> sink;
  const HRESULT hr = builder->SetOutputFileName(&MEDIASUBTYPE_Avi, name.c_str(), mux.Put(), sink.Put());
  if (hr != E_NOTIMPL) {
    CheckDSError(hr);
    return mux;
  }
  // A builder without file output (Wine's): the same two filters, put in by hand.
  TComPtr<IGraphBuilder> graph = Graph->Query<IGraphBuilder>();
  if (!graph) throw EDirectShowException(L"No filter graph", E_NOINTERFACE);
  TComPtr<IBaseFilter> writer;
  CheckDSError(::CoCreateInstance(CLSID_AviDest, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, mux.PutVoid()));
  CheckDSError(::CoCreateInstance(CLSID_FileWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, writer.PutVoid()));
  CheckDSError(writer->QueryInterface(IID_IFileSinkFilter, sink.PutVoid()));
  CheckDSError(sink->SetFileName(name.c_str(), nullptr));
  CheckDSError(graph->AddFilter(mux.Get(), L"AVI Mux"));
  CheckDSError(graph->AddFilter(writer.Get(), L"File Writer"));
  TComPtr<IPin> out = FirstPin(mux.Get(), PINDIR_OUTPUT), in = FirstPin(writer.Get(), PINDIR_INPUT);
  if (!out || !in) throw EDirectShowException(L"No pins to connect the file writer", VFW_E_NOT_FOUND);
  CheckDSError(graph->ConnectDirect(out.Get(), in.Get(), nullptr));
  TComPtr<IConfigInterleaving> interleaving;
  if (SUCCEEDED(mux->QueryInterface(IID_IConfigInterleaving, interleaving.PutVoid())))
    CheckDSError(interleaving->put_Mode(INTERLEAVE_FULL));
  return mux;
}

void TVideoRecForm::StartRecord() {
  Graph->ClearGraph();
  Graph->SetActive(false);
  // The sound and its encoder are in the graph only when a device is chosen.
  const bool withSound = SelectAudioDevice();
  fltAudioCapture->SetFilterGraph(withSound ? Graph : nullptr);
  fltLAME->SetFilterGraph(withSound ? Graph : nullptr);
  SelectVirtualCamera();
  SelectCompressor(L"xvid");
  Graph->SetActive(true);
  IBaseFilter* sound = nullptr;
  IBaseFilter* encoder = nullptr;
  if (withSound) {
    sound = RequireFilter(fltAudioCapture, kNoAudioDeviceText);
    encoder = RequireFilter(fltLAME, kNoAudioEncoderText);
    ConfigureAudio(sound);
  }
  IBaseFilter* compressor = RequireFilter(fltCompress, kNoVideoCompressorText);
  IBaseFilter* camera = fltVideoCapture->QueryFilter();
  if (!camera) throw EDirectShowException(L"Kivo Filter Source is not registered", REGDB_E_CLASSNOTREG);
  DeleteExisting();
  TComPtr<IBaseFilter> mux = MakeAviOutput();
  TComPtr<ICaptureGraphBuilder2> builder = CaptureBuilder();
  CheckDSError(builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, camera, compressor, mux.Get()));
  if (sound) CheckDSError(builder->RenderStream(nullptr, nullptr, sound, encoder, mux.Get()));
  RunGraph();
  TRecFormAbs::StartRecord();
}

TVideoRecForm* VideoRecorder() { return gVideoRecForm; }

TVideoRecForm* ShowVideoRecorder(TwButton* recordButton) {
  if (!gVideoRecForm) gVideoRecForm = Create<TVideoRecForm>(nullptr);
  gVideoRecForm->RecordButton = recordButton;
  gVideoRecForm->FollowMainWindow();
  gVideoRecForm->Show();
  return gVideoRecForm;
}

void HideVideoRecorder() {
  if (gVideoRecForm) gVideoRecForm->Hide();
}

void FreeVideoRecorder() { FreeAndNil(gVideoRecForm); }
}  // namespace kivo
