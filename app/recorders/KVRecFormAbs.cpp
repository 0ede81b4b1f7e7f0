#include "KVRecFormAbs.h"

#include <shellapi.h>
#include <mmreg.h>

#include <algorithm>

#include "KVMakeControl.h"
#include "KVShared.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TRecFormAbs)

namespace {

constexpr DWORD kRunStateWaitMs = 5000;
constexpr wchar_t kStereoMix[] = L"混音";

// A panel with a single-line border.
class TBorderPanel : public TPanel {
 public:
  using TPanel::TPanel;

 protected:
  void CreateParams(TCreateParams& p) override {
    TPanel::CreateParams(p);
    p.Style |= WS_BORDER;
  }
};

std::wstring PinName(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return {};
  if (info.pFilter) info.pFilter->Release();
  return info.achName;
}

PIN_DIRECTION DirectionOf(IPin* pin) {
  PIN_DIRECTION d = PINDIR_INPUT;
  pin->QueryDirection(&d);
  return d;
}

}  // namespace

TRecFormAbs::TRecFormAbs(TComponent* owner) : TForm(owner) {
  SetName(L"RecFormAbs");
  SetBorderStyle(TFormBorderStyle::bsNone);
  SetFormStyle(TFormStyle::fsStayOnTop);
  SetClientWidth(320);
  SetClientHeight(98);
  Font()->SetName(L"宋体");
  Font()->SetHeight(-12);
  Font()->SetCharset(GB2312_CHARSET);

  pnlBack = MakeControl<TBorderPanel>(this, this, L"pnlBack", 0, 0, 320, 98);
  pnlBack->SetAlign(TAlign::alClient);
  pnlBack->SetBevelOuter(TBevelCut::bvNone);
  Label1 = MakeControl<TLabel>(this, pnlBack, L"Label1", 6, 12, 50, 14, L"录音设备");
  cmbDevList = MakeControl<TComboBox>(this, pnlBack, L"cmbDevList", 58, 8, 175, 20);
  cmbDevList->SetStyle(TComboBoxStyle::csDropDownList);
  cmbDevList->OnChange = Method(this, &TRecFormAbs::cmbDevListChange);
  cmbInputs = MakeControl<TComboBox>(this, pnlBack, L"cmbInputs", 234, 8, 77, 20);
  cmbInputs->SetStyle(TComboBoxStyle::csDropDownList);
  Label4 = MakeControl<TLabel>(this, pnlBack, L"Label4", 6, 38, 50, 14, L"保存文件");
  edtFileName = MakeControl<TEdit>(this, pnlBack, L"edtFileName", 58, 34, 252, 20);
  btnStart = MakeControl<TButton>(this, pnlBack, L"btnStart", 52, 66, 70, 24, L"录音");
  btnStart->OnClick = Method(this, &TRecFormAbs::btnStartClick);
  btnStop = MakeControl<TButton>(this, pnlBack, L"btnStop", 125, 66, 70, 24, L"停止");
  btnStop->OnClick = Method(this, &TRecFormAbs::btnStopClick);
  btnOpenDir = MakeControl<TButton>(this, pnlBack, L"btnOpenDir", 198, 66, 70, 24, L"目录");
  btnOpenDir->OnClick = Method(this, &TRecFormAbs::btnOpenDirClick);
  btnPause = MakeControl<TButton>(this, pnlBack, L"btnPause", 271, 66, 40, 24, L"暂停");
  btnPause->SetVisible(false);
  btnPause->OnClick = Method(this, &TRecFormAbs::btnPauseClick);
  btnResume = MakeControl<TButton>(this, pnlBack, L"btnResume", 271, 66, 40, 24, L"继续");
  btnResume->SetVisible(false);
  btnResume->OnClick = Method(this, &TRecFormAbs::btnResumeClick);

  Graph = new TFilterGraph(this);
  Graph->SetName(L"Graph");
  Graph->SetMode(TGraphMode::gmCapture);
  Graph->SetGraphEdit(true);
  Graph->SetLinearVolume(true);
  fltAudioCapture = new TFilter(this);
  fltAudioCapture->SetName(L"fltAudioCapture");
  fltAudioCapture->SetFilterGraph(Graph);
  fltLAME = new TFilter(this);
  fltLAME->SetName(L"fltLAME");
  if (TComPtr<IMoniker> m = ParseDisplayName(kLameEncoderMoniker)) fltLAME->BaseFilter()->SetMoniker(m.Get());
  fltLAME->SetFilterGraph(Graph);

  OnCreate = Method(this, &TRecFormAbs::FormCreate);
  OnDestroy = Method(this, &TRecFormAbs::FormDestroy);
  OnShow = Method(this, &TRecFormAbs::FormShow);
  OnHide = Method(this, &TRecFormAbs::FormHide);
  OnClose = Method(this, &TRecFormAbs::FormClose);
}

TRecFormAbs::~TRecFormAbs() = default;

void TRecFormAbs::BeforeDestruction() {
  // A recording still running ends here, so that its file is complete.
  if (HandleAllocated()) ::KillTimer(HandleIfAllocated(), kRecordCaptionTimer);
  AbandonGraph();
  TForm::BeforeDestruction();
}

void TRecFormAbs::FormCreate(TObject*) {
  AudioEnum = std::make_unique<TSysDevEnum>();
  VideoEnum = std::make_unique<TSysDevEnum>();
  btnPause->SetBounds(btnStart->Left(), btnStart->Top(), btnStart->Width(), btnStart->Height());
  btnResume->SetBounds(btnStart->Left(), btnStart->Top(), btnStart->Width(), btnStart->Height());
  ShowButton(btnStart);
  ListAudioDevices();
  SelectVideoCategory(kVideoInputDeviceCategory);
  if (MainWindowHandle)
    ::SendMessageW(MainWindowHandle, WM_DOCK_ATTACH, reinterpret_cast<WPARAM>(Handle()), reinterpret_cast<LPARAM>(this));
}

void TRecFormAbs::FormDestroy(TObject*) {
  AudioEnum.reset();
  VideoEnum.reset();
  if (MainWindowHandle && HandleAllocated())
    ::SendMessageW(MainWindowHandle, WM_DOCK_DETACH, reinterpret_cast<WPARAM>(HandleIfAllocated()), 0);
}

void TRecFormAbs::FormShow(TObject*) {
  if (MainWindowHandle) ::SendMessageW(MainWindowHandle, WM_RECORD_STATE, 1, reinterpret_cast<LPARAM>(RecordButton));
  if (Recording()) return;
  MakeFileName();
  edtFileName->SelectAll();
  if (edtFileName->HandleAllocated()) ::SendMessageW(edtFileName->Handle(), EM_SCROLLCARET, 0, 0);
}

void TRecFormAbs::FormHide(TObject*) {
  if (MainWindowHandle)
    ::SendMessageW(MainWindowHandle, WM_RECORD_STATE, Recording() ? 1 : 0, reinterpret_cast<LPARAM>(RecordButton));
}

void TRecFormAbs::FormClose(TObject*, TCloseAction& action) { action = TCloseAction::caHide; }

bool TRecFormAbs::Recording() { return Graph->State() > psStopped; }

void TRecFormAbs::MakeFileName() { edtFileName->SetText(Folder + MakeTimeStem() + Extension); }

void TRecFormAbs::ListAudioDevices() {
  filling_ = true;
  struct TFilled {
    bool& flag;
    ~TFilled() { flag = false; }
  } filled{filling_};
  AudioEnum->SelectCategory(kAudioInputDeviceCategory);
  audioDeviceCount_ = AudioEnum->FilterCount();
  audioDeviceNames_.clear();
  TStrings* items = cmbDevList->Items();
  items->BeginUpdate();
  try {
    items->Clear();
    for (int i = 0; i < audioDeviceCount_; ++i) {
      audioDeviceNames_.push_back(AudioEnum->GetFilterEntry(i).FriendlyName);
      items->Add(audioDeviceNames_.back());
    }
    AddExtraItems();
  } catch (...) {
    items->EndUpdate();
    throw;
  }
  items->EndUpdate();
  int chosen = items->Count() > 0 ? 0 : -1;
  for (int i = 0; i < items->Count(); ++i) {
    if (items->Strings(i).find(kStereoMix) != std::wstring::npos) {
      chosen = i;
      break;
    }
  }
  cmbDevList->SetItemIndex(chosen);
  filling_ = false;
  cmbDevListChange(cmbDevList);
}

void TRecFormAbs::SelectVideoCategory(const GUID& category) { VideoEnum->SelectCategory(category); }

void TRecFormAbs::cmbDevListChange(TObject*) {
  if (filling_) return;
  const int i = cmbDevList->ItemIndex();
  if (i < 0 || i >= audioDeviceCount_) return;
  TComPtr<IBaseFilter> filter = AudioEnum->GetBaseFilter(i);
  TStrings* lines = cmbInputs->Items();
  lines->BeginUpdate();
  lines->Clear();
  if (filter) {
    TPinList pins(filter.Get());
    for (int j = 0; j < pins.Count(); ++j)
      if (DirectionOf(pins.GetPin(j)) == PINDIR_INPUT) lines->Add(PinName(pins.GetPin(j)));
  }
  lines->EndUpdate();
  cmbInputs->SetItemIndex(lines->Count() > 0 ? 0 : -1);
}

bool TRecFormAbs::SelectAudioDevice() {
  const int i = cmbDevList->ItemIndex();
  const bool device = i >= 0 && i < audioDeviceCount_;
  TComPtr<IMoniker> moniker;
  if (device) {
    // The device at that place now, only when it is still the one the list shows.
    TSysDevEnum now(kAudioInputDeviceCategory);
    if (i < now.FilterCount() && now.GetFilterEntry(i).FriendlyName == audioDeviceNames_[i])
      moniker = now.GetMoniker(i);
  }
  fltAudioCapture->BaseFilter()->SetMoniker(moniker.Get());
  return device;
}

void TRecFormAbs::ConfigureAudio(IBaseFilter* capture) {
  TPinList pins(capture);
  IPin* output = nullptr;
  std::vector<IPin*> inputs;
  for (int i = 0; i < pins.Count(); ++i) {
    IPin* pin = pins.GetPin(i);
    if (DirectionOf(pin) == PINDIR_OUTPUT) {
      if (!output) output = pin;
    } else {
      inputs.push_back(pin);
    }
  }
  if (!output) return;
  std::unique_ptr<TEnumMediaType> types = TEnumMediaType::CreateFromPin(output);
  DWORD bestRate = 0;
  WORD bestChannels = 0;
  const AM_MEDIA_TYPE* best = nullptr;
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; types && i < types->Count(); ++i) {
      const AM_MEDIA_TYPE* t = types->GetItem(i)->AMType();
      if (t->formattype != FORMAT_WaveFormatEx || !t->pbFormat || t->cbFormat < sizeof(WAVEFORMATEX)) continue;
      const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(t->pbFormat);
      if (pass == 0) {
        bestRate = std::max<DWORD>(bestRate, wf->nSamplesPerSec);
      } else if (wf->nSamplesPerSec == bestRate && wf->nChannels > bestChannels) {
        bestChannels = wf->nChannels;
        best = t;
      }
    }
  }
  if (best) {
    TComPtr<IAMStreamConfig> config;
    if (SUCCEEDED(output->QueryInterface(IID_IAMStreamConfig, config.PutVoid())))
      CheckDSError(config->SetFormat(const_cast<AM_MEDIA_TYPE*>(best)));
  }
  const int line = cmbInputs->ItemIndex();
  if (line >= 0 && line < static_cast<int>(inputs.size())) {
    TComPtr<IAMAudioInputMixer> mixer;
    if (SUCCEEDED(inputs[line]->QueryInterface(IID_IAMAudioInputMixer, mixer.PutVoid())))
      CheckDSError(mixer->put_Enable(TRUE));
  }
}

void TRecFormAbs::DeleteExisting() {
  const std::wstring name = edtFileName->Text();
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  if (!::DeleteFileW(name.c_str()))
    throw EDirectShowException(L"Cannot delete " + name, HRESULT_FROM_WIN32(::GetLastError()));
}

IBaseFilter* TRecFormAbs::RequireFilter(TFilter* filter, const wchar_t* missingText) {
  IBaseFilter* f = filter->FilterGraph() ? filter->QueryFilter() : nullptr;
  if (!f) throw Exception(missingText);
  return f;
}

TComPtr<ICaptureGraphBuilder2> TRecFormAbs::CaptureBuilder() {
  TComPtr<ICaptureGraphBuilder2> builder = Graph->Query<ICaptureGraphBuilder2>();
  if (!builder) throw EDirectShowException(L"No capture graph builder", E_NOINTERFACE);
  return builder;
}

void TRecFormAbs::RunGraph() {
  Graph->Play();
  // Run may answer S_FALSE while the filters start: the graph's state tells how it ended.
  if (auto control = Graph->Query<IMediaControl>()) {
    OAFilterState state = State_Stopped;
    const HRESULT hr = control->GetState(kRunStateWaitMs, &state);
    if (FAILED(hr)) CheckDSError(hr);
  }
}

void TRecFormAbs::AbandonGraph() noexcept {
  try {
    Graph->ClearGraph();
  } catch (...) {
    // released below whatever the stop answered
  }
  try {
    Graph->SetActive(false);
  } catch (...) {
  }
}

void TRecFormAbs::StartRecord() {
  if (!MainWindowHandle || !::SendMessageW(MainWindowHandle, WM_GET_VIDEO_WINDOW, 0, 0)) return;
  StartTime = Now();
  ::SetTimer(Handle(), kRecordCaptionTimer, 1000, nullptr);
  ::SendMessageW(MainWindowHandle, WM_RECORD_STATE, Graph->State() == psPlaying ? 1 : 0,
                 reinterpret_cast<LPARAM>(RecordButton));
}

void TRecFormAbs::btnStartClick(TObject*) {
  try {
    StartRecord();
  } catch (...) {
    AbandonGraph();
    throw;
  }
  if (Graph->State() == psPlaying) ShowButton(btnPause);
}

void TRecFormAbs::PauseRecord() {
  if (Graph->State() == psPlaying) Graph->Pause();
  if (Graph->State() == psPaused) ShowButton(btnResume);
}

void TRecFormAbs::ResumeRecord() {
  if (Graph->State() == psPaused) Graph->Play();
  if (Graph->State() == psPlaying) ShowButton(btnPause);
}

void TRecFormAbs::StopRecord() {
  if (MainWindowHandle) ::SetWindowTextW(MainWindowHandle, MainCaption.c_str());
  if (HandleAllocated()) ::KillTimer(HandleIfAllocated(), kRecordCaptionTimer);
  // The graph goes whatever its stop answers; a failure to stop is reported afterwards.
  std::exception_ptr failure;
  try {
    Graph->Stop();
  } catch (...) {
    failure = std::current_exception();
  }
  AbandonGraph();
  if (Graph->State() < psPaused) ShowButton(btnStart);
  MakeFileName();
  if (failure) std::rethrow_exception(failure);
}

void TRecFormAbs::btnPauseClick(TObject*) { PauseRecord(); }
void TRecFormAbs::btnResumeClick(TObject*) { ResumeRecord(); }
void TRecFormAbs::btnStopClick(TObject*) { StopRecord(); }

void TRecFormAbs::btnOpenDirClick(TObject*) {
  ::ShellExecuteW(Handle(), L"open", Folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TRecFormAbs::ShowButton(TButton* button) {
  for (TButton* b : {btnStart, btnPause, btnResume}) {
    if (b == button) continue;
    b->SetVisible(false);
  }
  button->SetVisible(true);
  button->BringToFront();
}

void TRecFormAbs::FollowMainWindow() {
  if (!MainWindowHandle) return;
  const auto* r = reinterpret_cast<const RECT*>(::SendMessageW(MainWindowHandle, WM_GET_PREVIEW_RECT, 0, 0));
  if (!r) return;
  SetLeft(r->left);
  SetTop(r->bottom - Height());
}

void TRecFormAbs::ShowElapsedTime() {
  if (!MainWindowHandle) return;
  const std::wstring caption = MainCaption + FormatDateTime(CaptionFormat(), Now() - StartTime);
  ::SetWindowTextW(MainWindowHandle, caption.c_str());
}

void TRecFormAbs::WndProc(TMessage& m) {
  switch (m.Msg) {
    case WM_TIMER:
      if (m.WParam == kRecordCaptionTimer) {
        ShowElapsedTime();
        return;
      }
      break;
    case WM_DOCK_FOLLOW: {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(m.LParam);
      if (!pos) return;
      if (pos->flags & SWP_HIDEWINDOW) {
        ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
        return;
      }
      FollowMainWindow();
      if ((pos->flags & SWP_SHOWWINDOW) && Visible())
        ::SetWindowPos(Handle(), MainWindowHandle, 0, 0, 0, 0, SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE);
      return;
    }
    default:
      break;
  }
  TForm::WndProc(m);
}

}  // namespace kivo
