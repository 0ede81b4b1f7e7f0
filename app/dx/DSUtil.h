// DSUtil: media-type routines shared by KivoApp and both plug-ins.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <string>

namespace kivo {

// Sets the variable to null first, then frees the object it held.
template <class T>
void FreeAndNilObject(T*& object) {
  T* old = object;
  object = nullptr;
  delete old;
}

// Frees the format block (CoTaskMemFree) and releases pUnk; the record itself stays.
void FreeMediaType(AM_MEDIA_TYPE& type);
// FreeMediaType, then CoTaskMemFree of the record itself (records DirectShow hands out). Null is ignored.
void DeleteMediaType(AM_MEDIA_TYPE* type);
// Copies the record and gives the destination its own format block and pUnk reference. When the
// block cannot be allocated the destination has cbFormat 0 and no block, and E_OUTOFMEMORY comes back.
// The destination's old contents are overwritten, not freed.
// With the checks on (KivoTrans), source and destination must differ and a non-zero format size must
// come with a block; a broken check reports "Assertion failure" and answers E_INVALIDARG.
HRESULT CopyMediaType(AM_MEDIA_TYPE& destination, const AM_MEDIA_TYPE& source);

// Name of a bitmap compression code: "RGB", "RLE8", "RLE4", "BITFIELDS", else the FourCC.
std::wstring GetCompressionName(DWORD compression);

// How a broken check of the framework is reported (KivoTrans). The default handler writes the text
// to the debugger output. Text: "Assertion failure (<unit>, line <n>)".
using TAssertHandler = void (*)(const std::wstring& text);
TAssertHandler SetAssertHandler(TAssertHandler handler);
void ReportAssertion(const char* unit, int line);
// Turns the checks of CopyMediaType on for this module (KivoTrans does at load).
void EnableMediaTypeChecks(bool on);

}  // namespace kivo
