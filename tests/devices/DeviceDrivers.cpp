// kivotestdev.dll: the drivers of the test devices (the pattern camera, the test microphone) and the
// Colour Space Converter, File Writer and AVI Mux stand-ins. DllRegisterServer enters the converter,
// the writer and the multiplexer in the DirectShow filter category under the system filters' classes
// and names, and the two drivers in a category of their own (clients find the devices through the
// device list, not as software devices).
#include "AviMux.h"
#include "ColourConverter.h"
#include "FileWriter.h"
#include "PatternCamera.h"
#include "TestDevices.h"
#include "TestMicrophone.h"

namespace kivo::testdev {

namespace {

const REGPINTYPES kVideoAny = {&MEDIATYPE_Video, &GUID_NULL};
const REGPINTYPES kAudioAny = {&MEDIATYPE_Audio, &GUID_NULL};
const REGPINTYPES kAnyType = {&GUID_NULL, &GUID_NULL};
const REGPINTYPES kAviStream = {&MEDIATYPE_Stream, &MEDIASUBTYPE_Avi};
REGFILTERPINS kCameraPins[] = {
    {const_cast<LPWSTR>(L"Capture"), FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, &kVideoAny},
};
REGFILTERPINS kMicrophonePins[] = {
    {const_cast<LPWSTR>(L"Capture"), FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, &kAudioAny},
};
REGFILTERPINS kConverterPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kVideoAny},
    {const_cast<LPWSTR>(L"XForm Out"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kVideoAny},
};

// The factories belong to the process's factory list.
TBCClassFactory* const g_camera =
    new TBCClassFactory(&TPatternCamera::CreateByFactory, kCameraPins, 1, MERIT_DO_NOT_USE, kTestDriverCategory,
                        CLSID_PatternCamera, L"Kivo Pattern Camera");
TBCClassFactory* const g_microphone =
    new TBCClassFactory(&TTestMicrophone::CreateByFactory, kMicrophonePins, 1, MERIT_DO_NOT_USE, kTestDriverCategory,
                        CLSID_TestMicrophone, L"Kivo Test Microphone");
REGFILTERPINS kFileWriterPins[] = {
    {const_cast<LPWSTR>(L"in"), TRUE, FALSE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kAnyType},
};
TBCClassFactory* const g_fileWriter =
    new TBCClassFactory(&TFileWriter::CreateByFactory, kFileWriterPins, 1, MERIT_DO_NOT_USE,
                        CLSID_LegacyAmFilterCategory, CLSID_FileWriter, kFileWriterName);
REGFILTERPINS kAviMuxPins[] = {
    {const_cast<LPWSTR>(L"Input 01"), FALSE, FALSE, FALSE, TRUE, &GUID_NULL, nullptr, 1, &kAnyType},
    {const_cast<LPWSTR>(L"AVI Out"), FALSE, TRUE, FALSE, FALSE, &GUID_NULL, nullptr, 1, &kAviStream},
};
TBCClassFactory* const g_aviMux = new TBCClassFactory(&TAviMux::CreateByFactory, kAviMuxPins, 2, MERIT_DO_NOT_USE,
                                                      CLSID_LegacyAmFilterCategory, CLSID_AviDest, kAviMuxName);
TBCClassFactory* const g_converter =
    new TBCClassFactory(&TColourConverter::CreateByFactory, kConverterPins, 2, kConverterMerit,
                        CLSID_LegacyAmFilterCategory, CLSID_ColourConverter, kConverterName);

}  // namespace

}  // namespace kivo::testdev
