// XvidVfw: the Xvid compressor as a Video for Windows driver (xvidvfw.dll). It answers the messages a
// video compressor answers (formats, begin/compress/end, information, state, key frames, quality)
// and compresses with xvidcore.dll. It does not decompress.
#include <windows.h>
#include <mmsystem.h>
#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>

#include "XvidVfw.h"

namespace {

constexpr DWORD kFourCC = mmioFOURCC('X', 'V', 'I', 'D');
constexpr DWORD kHandlerLower = mmioFOURCC('x', 'v', 'i', 'd');

// The settings a program can read and set through ICGetState / ICSetState.
struct TXvidState {
  DWORD Size = sizeof(TXvidState);
  DWORD Quality = kXvidDefaultQuality;
  DWORD KeyInterval = kXvidDefaultKeyInterval;
};

struct TXvidInstance {
  TXvidState State;
  DWORD RateNum = 25;
  DWORD RateDen = 1;
  XvidEncoder* Encoder = nullptr;
  BITMAPINFOHEADER Input{};
  bool KeyDue = true;  // the next frame starts the sequence

  ~TXvidInstance() { EndCompress(); }
  void EndCompress() {
    if (Encoder) XvidEncoderClose(Encoder);
    Encoder = nullptr;
  }
};

LONG AbsHeight(const BITMAPINFOHEADER& bi) { return bi.biHeight < 0 ? -bi.biHeight : bi.biHeight; }

bool InputFits(const BITMAPINFO* in) {
  if (!in) return false;
  const BITMAPINFOHEADER& bi = in->bmiHeader;
  if (bi.biSize < sizeof(BITMAPINFOHEADER) || bi.biPlanes != 1 || bi.biCompression != BI_RGB) return false;
  if (bi.biBitCount != 24 && bi.biBitCount != 32) return false;
  return XvidEncoderMaxFrameBytes(bi.biWidth, AbsHeight(bi)) != 0;
}

bool OutputFits(const BITMAPINFO* in, const BITMAPINFO* out) {
  if (!out) return true;
  const BITMAPINFOHEADER& bo = out->bmiHeader;
  return bo.biSize >= sizeof(BITMAPINFOHEADER) && (bo.biCompression == kFourCC || bo.biCompression == kHandlerLower) &&
         bo.biWidth == in->bmiHeader.biWidth && AbsHeight(bo) == AbsHeight(in->bmiHeader);
}

void FillOutputFormat(const BITMAPINFOHEADER& in, BITMAPINFOHEADER& out) {
  std::memset(&out, 0, sizeof(out));
  out.biSize = sizeof(BITMAPINFOHEADER);
  out.biWidth = in.biWidth;
  out.biHeight = AbsHeight(in);
  out.biPlanes = 1;
  out.biBitCount = 24;
  out.biCompression = kFourCC;
  out.biSizeImage = DWORD(XvidEncoderMaxFrameBytes(in.biWidth, AbsHeight(in)));
}

LRESULT GetInfo(ICINFO* info, LPARAM size) {
  if (!info || size < LPARAM(sizeof(ICINFO))) return 0;
  std::memset(info, 0, sizeof(ICINFO));
  info->dwSize = sizeof(ICINFO);
  info->fccType = ICTYPE_VIDEO;
  info->fccHandler = kFourCC;
  info->dwFlags = VIDCF_QUALITY | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC;
  info->dwVersion = 1;
  info->dwVersionICM = ICVERSION;
  std::wcsncpy(info->szName, kXvidName, std::size(info->szName) - 1);
  std::wcsncpy(info->szDescription, kXvidDescription, std::size(info->szDescription) - 1);
  return sizeof(ICINFO);
}

// Quality 10000 is the finest quantizer (2), 0 the coarsest (31).
int QuantizerFor(DWORD quality) {
  if (quality > 10000) quality = kXvidDefaultQuality;
  return 2 + int((10000 - quality) * 29 / 10000);
}

LRESULT BeginCompress(TXvidInstance& inst, const BITMAPINFO* in, const BITMAPINFO* out) {
  if (!InputFits(in) || !OutputFits(in, out)) return ICERR_BADFORMAT;
  inst.EndCompress();
  XvidEncoderSettings settings{};
  settings.Width = in->bmiHeader.biWidth;
  settings.Height = AbsHeight(in->bmiHeader);
  settings.RateNum = int(std::min<DWORD>(inst.RateNum, 0x7FFFFFFF));
  settings.RateDen = int(std::min<DWORD>(inst.RateDen, 0x7FFFFFFF));
  settings.Quantizer = QuantizerFor(inst.State.Quality);
  settings.KeyInterval = int(std::clamp<DWORD>(inst.State.KeyInterval, 1, 100000));
  const int result = XvidEncoderOpen(&settings, &inst.Encoder);
  if (result == XVID_ENC_NO_MEMORY) return ICERR_MEMORY;
  if (result != XVID_ENC_OK) return ICERR_BADFORMAT;
  inst.Input = in->bmiHeader;
  inst.KeyDue = true;
  return ICERR_OK;
}

LRESULT Compress(TXvidInstance& inst, ICCOMPRESS* ic, LPARAM size) {
  if (!ic || size < LPARAM(sizeof(ICCOMPRESS)) || !ic->lpbiInput || !ic->lpInput || !ic->lpbiOutput || !ic->lpOutput)
    return ICERR_BADPARAM;
  const BITMAPINFOHEADER& in = *ic->lpbiInput;
  BITMAPINFOHEADER& out = *ic->lpbiOutput;
  // Without a begin, or with another input format than begun with: begin with these formats.
  if (!inst.Encoder || in.biWidth != inst.Input.biWidth || in.biHeight != inst.Input.biHeight ||
      in.biBitCount != inst.Input.biBitCount) {
    const LRESULT begun = BeginCompress(inst, reinterpret_cast<const BITMAPINFO*>(ic->lpbiInput),
                                        reinterpret_cast<const BITMAPINFO*>(ic->lpbiOutput));
    if (begun != ICERR_OK) return begun;
  }
  // A quality of its own for this frame; 0 is taken as "none given" since callers that do not
  // know about quality pass 0 (ICQUALITY_DEFAULT, -1, says the same).
  const DWORD quality = ic->dwQuality >= 1 && ic->dwQuality <= 10000 ? ic->dwQuality : inst.State.Quality;
  XvidEncoderSetQuantizer(inst.Encoder, QuantizerFor(quality));
  const bool forceKey = inst.KeyDue || (ic->dwFlags & ICCOMPRESS_KEYFRAME) != 0;
  std::size_t written = 0;
  int isKey = 0;
  const std::size_t room = XvidEncoderMaxFrameBytes(in.biWidth, AbsHeight(in));
  const int result = XvidEncoderEncode(inst.Encoder, static_cast<const unsigned char*>(ic->lpInput), in.biBitCount,
                                       in.biHeight < 0, forceKey, static_cast<unsigned char*>(ic->lpOutput), room,
                                       &written, &isKey);
  if (result == XVID_ENC_NO_MEMORY || result == XVID_ENC_BUFFER_TOO_SMALL) return ICERR_MEMORY;
  if (result != XVID_ENC_OK) return ICERR_INTERNAL;
  inst.KeyDue = false;
  out.biSizeImage = DWORD(written);
  if (ic->lpckid) *ic->lpckid = MAKEAVICKID(cktypeDIBcompressed, 0);
  if (ic->lpdwFlags) *ic->lpdwFlags = isKey ? AVIIF_KEYFRAME : 0;
  return ICERR_OK;
}

LRESULT GetState(const TXvidInstance& inst, void* data, LPARAM size) {
  if (!data) return sizeof(TXvidState);
  if (size < LPARAM(sizeof(TXvidState))) return ICERR_BADSIZE;
  std::memcpy(data, &inst.State, sizeof(TXvidState));
  return ICERR_OK;
}

// Answers the bytes taken (0 when the block is not ours).
LRESULT SetState(TXvidInstance& inst, const void* data, LPARAM size) {
  if (!data) {
    inst.State = TXvidState{};
    return 0;
  }
  if (size < LPARAM(sizeof(TXvidState))) return 0;
  TXvidState state;
  std::memcpy(&state, data, sizeof(state));
  if (state.Size != sizeof(TXvidState) || state.Quality > 10000 || state.KeyInterval < 1) return 0;
  inst.State = state;
  return sizeof(TXvidState);
}

LRESULT Message(TXvidInstance& inst, UINT msg, LPARAM p1, LPARAM p2) {
  const auto* in = reinterpret_cast<const BITMAPINFO*>(p1);
  switch (msg) {
    case ICM_GETINFO:
      return GetInfo(reinterpret_cast<ICINFO*>(p1), p2);
    case ICM_CONFIGURE:
    case ICM_ABOUT:
      return ICERR_UNSUPPORTED;  // no dialogs
    case ICM_GETSTATE:
      return GetState(inst, reinterpret_cast<void*>(p1), p2);
    case ICM_SETSTATE:
      return SetState(inst, reinterpret_cast<const void*>(p1), p2);
    case ICM_GETDEFAULTQUALITY:
      if (!p1) return ICERR_BADPARAM;
      *reinterpret_cast<DWORD*>(p1) = kXvidDefaultQuality;
      return ICERR_OK;
    case ICM_GETQUALITY:
      if (!p1) return ICERR_BADPARAM;
      *reinterpret_cast<DWORD*>(p1) = inst.State.Quality;
      return ICERR_OK;
    case ICM_SETQUALITY: {
      const DWORD quality = DWORD(p1);
      if (quality == DWORD(ICQUALITY_DEFAULT)) {
        inst.State.Quality = kXvidDefaultQuality;
        return ICERR_OK;
      }
      if (quality > 10000) return ICERR_BADPARAM;
      inst.State.Quality = quality;
      return ICERR_OK;
    }
    case ICM_GETDEFAULTKEYFRAMERATE:
      if (!p1) return ICERR_BADPARAM;
      *reinterpret_cast<DWORD*>(p1) = kXvidDefaultKeyInterval;
      return ICERR_OK;
    case ICM_COMPRESS_QUERY:
      return InputFits(in) && OutputFits(in, reinterpret_cast<const BITMAPINFO*>(p2)) ? ICERR_OK : ICERR_BADFORMAT;
    case ICM_COMPRESS_GET_FORMAT:
      if (!InputFits(in)) return ICERR_BADFORMAT;
      if (!p2) return sizeof(BITMAPINFOHEADER);
      FillOutputFormat(in->bmiHeader, reinterpret_cast<BITMAPINFO*>(p2)->bmiHeader);
      return ICERR_OK;
    case ICM_COMPRESS_GET_SIZE:
      return InputFits(in) ? LRESULT(XvidEncoderMaxFrameBytes(in->bmiHeader.biWidth, AbsHeight(in->bmiHeader))) : 0;
    case ICM_COMPRESS_FRAMES_INFO: {
      const auto* frames = reinterpret_cast<const ICCOMPRESSFRAMES*>(p1);
      if (!frames) return ICERR_BADPARAM;
      if (frames->dwRate && frames->dwScale) {
        inst.RateNum = frames->dwRate;
        inst.RateDen = frames->dwScale;
      }
      if (frames->lKeyRate > 0) inst.State.KeyInterval = DWORD(frames->lKeyRate);
      if (frames->lQuality >= 0 && frames->lQuality <= 10000) inst.State.Quality = DWORD(frames->lQuality);
      return ICERR_OK;
    }
    case ICM_COMPRESS_BEGIN:
      return BeginCompress(inst, in, reinterpret_cast<const BITMAPINFO*>(p2));
    case ICM_COMPRESS:
      return Compress(inst, reinterpret_cast<ICCOMPRESS*>(p1), p2);
    case ICM_COMPRESS_END:
      inst.EndCompress();
      return ICERR_OK;
    case ICM_DECOMPRESS_QUERY:
    case ICM_DECOMPRESS_GET_FORMAT:
    case ICM_DECOMPRESS_BEGIN:
    case ICM_DECOMPRESS:
    case ICM_DECOMPRESSEX_QUERY:
    case ICM_DECOMPRESSEX_BEGIN:
    case ICM_DECOMPRESSEX:
      return ICERR_BADFORMAT;
    case ICM_DECOMPRESS_END:
    case ICM_DECOMPRESSEX_END:
      return ICERR_OK;
    default:
      return ICERR_UNSUPPORTED;
  }
}

}  // namespace

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2) {
  auto* inst = reinterpret_cast<TXvidInstance*>(id);
  switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_INSTALL:
    case DRV_REMOVE:
      return DRV_OK;
    case DRV_OPEN: {
      // A compressor of video only; opened without ICOPEN (as a plain driver) it still answers.
      auto* open = reinterpret_cast<ICOPEN*>(p2);
      if (open && open->fccType != ICTYPE_VIDEO) return 0;
      auto* created = new (std::nothrow) TXvidInstance;
      if (open) open->dwError = created ? ICERR_OK : ICERR_MEMORY;
      return reinterpret_cast<LRESULT>(created);
    }
    case DRV_CLOSE:
      delete inst;
      return DRV_OK;
    case DRV_QUERYCONFIGURE:
      return 0;
    case DRV_CONFIGURE:
      return DRV_CANCEL;
    default:
      break;
  }
  if (msg < DRV_USER) return DefDriverProc(id, driver, msg, p1, p2);
  if (!inst) return ICERR_BADHANDLE;
  return Message(*inst, msg, p1, p2);
}
