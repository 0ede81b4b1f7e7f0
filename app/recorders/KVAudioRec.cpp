#include "KVAudioRec.h"

#include "KVShared.h"

namespace kivo {

KIVO_IMPLEMENT_CLASS(TAudioRecForm)

namespace {
TAudioRecForm* gAudioRecForm = nullptr;
}  // namespace

TAudioRecForm::TAudioRecForm(TComponent* owner) : TRecFormAbs(owner) {
  SetName(L"AudioRecForm");
  fltFileWriter = new TFilter(this);
  fltFileWriter->SetName(L"fltFileWriter");
  if (TComPtr<IMoniker> m = ParseDisplayName(kFileWriterMoniker)) fltFileWriter->BaseFilter()->SetMoniker(m.Get());
  fltFileWriter->SetFilterGraph(Graph);
  Folder = ProgramDir + L"AudioRec\\";
  Extension = L".mp3";
}

void TAudioRecForm::StartRecord() {
  Graph->ClearGraph();
  Graph->SetActive(false);
  SelectAudioDevice();
  Graph->SetActive(true);
  IBaseFilter* capture = RequireFilter(fltAudioCapture, kNoAudioDeviceText);
  IBaseFilter* encoder = RequireFilter(fltLAME, kNoAudioEncoderText);
  IBaseFilter* writer = fltFileWriter->QueryFilter();
  if (!writer) throw EDirectShowException(L"No file writer", REGDB_E_CLASSNOTREG);
  ConfigureAudio(capture);
  DeleteExisting();
  TComPtr<IFileSinkFilter> sink;
  CheckDSError(writer->QueryInterface(IID_IFileSinkFilter, sink.PutVoid()));
  CheckDSError(sink->SetFileName(edtFileName->Text().c_str(), nullptr));
  CheckDSError(CaptureBuilder()->RenderStream(nullptr, nullptr, capture, encoder, writer));
  RunGraph();
  TRecFormAbs::StartRecord();
}

TAudioRecForm* AudioRecorder() { return gAudioRecForm; }

TAudioRecForm* ShowAudioRecorder(TwButton* recordButton) {
  if (!gAudioRecForm) gAudioRecForm = Create<TAudioRecForm>(nullptr);
  gAudioRecForm->RecordButton = recordButton;
  gAudioRecForm->FollowMainWindow();
  gAudioRecForm->Show();
  return gAudioRecForm;
}

void HideAudioRecorder() {
  if (gAudioRecForm) gAudioRecForm->Hide();
}

void FreeAudioRecorder() { FreeAndNil(gAudioRecForm); }

}  // namespace kivo
