// KivoApp: the control program. Its units start in the order of the table below and end in the
// reverse order after the main window and every other form are gone.
#include <windows.h>

#include <exception>

#include "Forms.h"
#include "KVAxInst.h"
#include "KVCtrls.h"
#include "KVEffAniProc.h"
#include "KVEffColorProc.h"
#include "KVEffTxtProc.h"
#include "KVFAlbumSource.h"
#include "KVFMovieSource.h"
#include "KVInstance.h"
#include "KVMain.h"
#include "KVMessage.h"
#include "KVProcessorList.h"
#include "KVShared.h"
#include "KVSysConfig.h"
#include "KVUpgrade.h"

using namespace kivo;

namespace {

void StartColorAndTextEffects() {
  RegisterColorProcessor();
  RegisterTextProcessor();
}

// One unit of the program: its work at start and at end (either may be empty).
struct TUnitStep {
  const char* Unit;
  void (*Start)();
  void (*End)();
};

// Start-up steps 1 to 14 in order. A unit not yet part of the program keeps its row with empty work.
const TUnitStep kUnits[] = {
    {"wTray, wButton", nullptr, nullptr},                      // 1
    {"KVProcs", &StartProcsUnit, &EndProcsUnit},               // 2
    {"KVAxInst", &StartAxInstUnit, nullptr},                   // 3
    {"KVSysConfig", &StartSysConfigUnit, &EndSysConfigUnit},   // 4
    {"KVFWindowAbs, KVFSourceAbs, KVFAbout", nullptr, nullptr},  // 5
    {"KVCtrls", &InitAlbumCtrls, &DoneAlbumCtrls},            // 6
    {"KVFAlbumSource (album list file)", &StartAlbumSourceUnit, &EndAlbumSourceUnit},  // 7
    {"KVMessage (KivoMsg)", &StartMessageProcess, &StopMessageProcess},  // 8
    {"KVProcessorList", &InitProcessorList, &DoneProcessorList},  // 9
    {"KVFMovieSource", &StartMovieSourceUnit, &EndMovieSourceUnit},  // 10
    {"KVMain", &StartMainUnit, nullptr},                       // 11
    {"KVEffColorProc, KVEffTxtProc", &StartColorAndTextEffects, nullptr},  // 12
    {"KVUpgrade", nullptr, &StopUpdateClient},                 // 13
    {"KVEFFAniProc, KVEffBrdProc, KVEffDecProc, KVEffLigProc, KVEffMasProc", &RegisterPictureProcessors, nullptr},  // 14
};
constexpr int kUnitCount = sizeof(kUnits) / sizeof(kUnits[0]);

// The units started so far end in reverse order.
void EndUnits(int started) {
  for (int i = started - 1; i >= 0; --i)
    if (kUnits[i].End) kUnits[i].End();
}

int RunProgram() {
  int started = 0;
  try {
    for (; started < kUnitCount; ++started)
      if (kUnits[started].Start) kUnits[started].Start();
  } catch (...) {
    // a failing unit start ends start-up with the platform's report; the started units end
    EndUnits(started);
    throw;
  }
  StartUpdateClient();                                                       // 15
  if (CheckSingleInstance(TKVMainForm::StaticClass().Name(), true)) {        // 16
    Application()->Initialize();                                             // 17
    Application()->SetTitle(L"YelkKivo");
    Application()->CreateForm(KVMainForm);
    Application()->Run();
    DoneApplication();  // the main window and every form go first (sources stop)
    KVMainForm = nullptr;
    DoneSingleInstance();
  }
  EndUnits(kUnitCount);                                                      // 18
  return 0;
}

// An exception no unit caught: reported like the platform reports an unhandled error.
void ReportFatal(const std::wstring& text) {
  ::MessageBoxW(nullptr, text.c_str(), L"KivoApp", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    return RunProgram();
  } catch (const std::exception& e) {
    ReportFatal(ExceptionMessage(e));
  } catch (...) {
    ReportFatal(L"Unknown exception");
  }
  return 1;
}
