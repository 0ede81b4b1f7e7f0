// Helpers for the effect tests: a video frame as the camera window hands it to the effects (a
// device bitmap in a memory DC with its 24-bit bottom-up description), generated GIFs, and a
// temporary folder tree.
#pragma once

#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Handles.h"
#include "PictureCodecs.h"

namespace kivo::test {

struct TRgb {
  int R, G, B;
  bool operator==(const TRgb& o) const { return R == o.R && G == o.G && B == o.B; }
};
inline std::ostream& operator<<(std::ostream& os, const TRgb& c) {
  return os << "(" << c.R << "," << c.G << "," << c.B << ")";
}

// A frame of width x height: a display-compatible bitmap selected into a memory DC.
class TTestFrame {
 public:
  TTestFrame(int width, int height) : width_(width), height_(height) {
    TWindowDC screen(nullptr);
    dc_.Reset(::CreateCompatibleDC(screen.Get()));
    bitmap_.Reset(::CreateCompatibleBitmap(screen.Get(), width, height));
    old_ = ::SelectObject(dc_.Get(), bitmap_.Get());
    info_.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info_.bmiHeader.biWidth = width;
    info_.bmiHeader.biHeight = height;
    info_.bmiHeader.biPlanes = 1;
    info_.bmiHeader.biBitCount = 24;
    info_.bmiHeader.biCompression = BI_RGB;
    info_.bmiHeader.biSizeImage = static_cast<DWORD>(Stride() * height);
  }
  ~TTestFrame() { ::SelectObject(dc_.Get(), old_); }
  TTestFrame(const TTestFrame&) = delete;
  TTestFrame& operator=(const TTestFrame&) = delete;

  HDC DC() const { return dc_.Get(); }
  HBITMAP Bitmap() const { return bitmap_.Get(); }
  BITMAPINFO* Info() { return &info_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::size_t Stride() const { return (static_cast<std::size_t>(width_) * 3 + 3) & ~std::size_t(3); }

  void Fill(TRgb c) {
    TBrushOwner b(::CreateSolidBrush(RGB(c.R, c.G, c.B)));
    RECT r{0, 0, width_, height_};
    ::FillRect(dc_.Get(), &r, b.Get());
  }
  // 24-bit bottom-up pixels, as the effects read them.
  std::vector<BYTE> Bits() {
    std::vector<BYTE> bits(Stride() * height_);
    BITMAPINFO bi = info_;
    ::GetDIBits(dc_.Get(), bitmap_.Get(), 0, height_, bits.data(), &bi, DIB_RGB_COLORS);
    return bits;
  }
  void SetBits(const std::vector<BYTE>& bits) {
    BITMAPINFO bi = info_;
    ::SetDIBits(dc_.Get(), bitmap_.Get(), 0, height_, bits.data(), &bi, DIB_RGB_COLORS);
  }
  // A pixel at (x, y), y from the top.
  TRgb At(int x, int y) {
    COLORREF c = ::GetPixel(dc_.Get(), x, y);
    return TRgb{GetRValue(c), GetGValue(c), GetBValue(c)};
  }
  void Set(int x, int y, TRgb c) { ::SetPixelV(dc_.Get(), x, y, RGB(c.R, c.G, c.B)); }

 private:
  int width_, height_;
  TMemDCOwner dc_;
  TBitmapOwner bitmap_;
  HGDIOBJ old_ = nullptr;
  BITMAPINFO info_{};
};

// A pixel of a 24-bit bottom-up buffer, y from the top.
inline TRgb BitsAt(const std::vector<BYTE>& bits, int width, int height, int x, int y) {
  std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t(3);
  const BYTE* p = bits.data() + stride * (height - 1 - y) + x * 3;
  return TRgb{p[2], p[1], p[0]};
}

// One GIF frame of solid colour index `fill` with a rectangle of index `mark`.
struct TGifFrameSpec {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  int Fill = 0;
  RECT Mark{0, 0, 0, 0};  // inside the frame
  int MarkIndex = 0;
  int Delay = 10;
  int Disposal = 1;
  int Transparent = -1;
  bool Control = true;
};
inline TGifPicture MakeGif(int width, int height, const TGifPalette& palette, const std::vector<TGifFrameSpec>& frames) {
  TGifPicture g;
  g.Width = width;
  g.Height = height;
  g.GlobalPalette = palette;
  g.LoopCount = 0;
  for (const TGifFrameSpec& s : frames) {
    TGifFrame f;
    f.Left = s.Left;
    f.Top = s.Top;
    f.Width = s.Width;
    f.Height = s.Height;
    f.Indices.assign(static_cast<std::size_t>(s.Width) * s.Height, static_cast<std::uint8_t>(s.Fill));
    for (int y = s.Mark.top; y < s.Mark.bottom; ++y)
      for (int x = s.Mark.left; x < s.Mark.right; ++x) f.Indices[static_cast<std::size_t>(y) * s.Width + x] = static_cast<std::uint8_t>(s.MarkIndex);
    f.HasControl = s.Control;
    f.Delay = s.Delay;
    f.Disposal = s.Disposal;
    f.TransparentIndex = s.Transparent;
    g.Frames.push_back(std::move(f));
  }
  return g;
}

inline void WriteFileBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  TFileOwner f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (f) ::WriteFile(f.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
inline void WriteGif(const std::wstring& path, const TGifPicture& gif) { WriteFileBytes(path, EncodeGif(gif)); }

// A temporary folder (with a trailing backslash), removed with everything in it.
class TTempTree {
 public:
  TTempTree() {
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    dir_ = std::wstring(base) + L"kivo_effects_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(c.QuadPart) + L"\\";
    ::CreateDirectoryW(dir_.c_str(), nullptr);
  }
  ~TTempTree() { Remove(dir_); }
  TTempTree(const TTempTree&) = delete;
  TTempTree& operator=(const TTempTree&) = delete;
  const std::wstring& Dir() const { return dir_; }
  std::wstring Path(const std::wstring& name) const { return dir_ + name; }
  // A sub folder (made), with a trailing backslash.
  std::wstring Sub(const std::wstring& name) const {
    std::wstring d = dir_ + name + L"\\";
    ::CreateDirectoryW(d.c_str(), nullptr);
    return d;
  }

 private:
  static void Remove(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    {
      TFindOwner find(::FindFirstFileW((dir + L"*").c_str(), &fd));
      if (find) {
        do {
          std::wstring n = fd.cFileName;
          if (n == L"." || n == L"..") continue;
          if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Remove(dir + n + L"\\");
          else
            ::DeleteFileW((dir + n).c_str());
        } while (::FindNextFileW(find.Get(), &fd));
      }
    }
    ::RemoveDirectoryW(dir.c_str());
  }
  std::wstring dir_;
};

}  // namespace kivo::test
