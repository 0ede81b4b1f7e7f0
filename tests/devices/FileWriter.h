// The File Writer stand-in (see FileWriter.cpp).
#pragma once

#include <windows.h>
#include <dshow.h>

#include <string>

#include "BaseClass.h"
#include "Handles.h"

namespace kivo::testdev {

class TFileWriter;

// The input pin: any media type; each sample is written at its start time taken as a byte offset
// (where the last write ended when it has none). It is also the IStream through which a
// multiplexer writes and seeks.
class TFileWriterPin : public TBCBaseInputPin, public IStream {
 public:
  TFileWriterPin(TFileWriter* filter, TBCCritSec* lock, HRESULT& hr);

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
  HRESULT VerifyType(const AM_MEDIA_TYPE&) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;

  // ISequentialStream, IStream
  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG count, ULONG* written) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

 private:
  TFileWriter* Writer;
};

class TFileWriter : public TBCBaseFilter, public IFileSinkFilter2, public IAMFilterMiscFlags {
 public:
  static TBCUnknown* CreateByFactory(TBCClassFactory& factory, IUnknown* outer, HRESULT& hr);
  TFileWriter(const wchar_t* name, IUnknown* outer, HRESULT& hr);
  ~TFileWriter() override;

  KIVO_BC_FORWARD_IUNKNOWN
  HRESULT STDMETHODCALLTYPE InnerQueryInterface(REFIID iid, void** out) override;
  int PinCount() override { return 1; }
  TBCBasePin* PinAt(int index) override { return index == 0 ? &Pin : nullptr; }
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

  // IFileSinkFilter, IFileSinkFilter2
  HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE SetMode(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetMode(DWORD* flags) override;
  // IAMFilterMiscFlags: a renderer (its end of stream completes the graph).
  ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

  // The file, under FileLock: made afresh when the graph pauses from stopped and closed when it
  // stops, so that others can read it. A multiplexer finishes its file when it stops itself, after
  // the writer stopped: its late writes open the file again (kept, not made afresh) until the next
  // start, another name or the graph is left.
  HRESULT WriteAt(const LARGE_INTEGER* at, const void* data, ULONG count, ULONG* written);
  HRESULT SeekTo(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position);
  void CloseFile();
  TBCCritSec FileLock;

 private:
  HRESULT OpenFile(DWORD disposition);
  bool Written = false;  // the file was made by a run (late writes may open it again)
  TFileWriterPin Pin;
  std::wstring FileName;
  DWORD Mode = 0;
  TFileOwner File;
};

}  // namespace kivo::testdev
