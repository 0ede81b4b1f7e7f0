// Test helper: KivoApp's frame writer in its own process, driven one command a line on stdin.
//   init | done | connected | reconnect [clobber] | output | capture <0|1> | write <frame> <size|-> <force> | quit
// reconnect with a clobber changes the section's header right after the writer has read it:
//   zero (header and format area cleared, as a new reader's clearing leaves them), sizes (the area
//   sizes 0), format (the format says 640 x 480).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "KVProcs.h"
#include "KVSection.h"
#include "TestSupport.h"

using namespace kivo;

namespace {

std::string g_clobber;

void Clobber(BYTE* view) {
  if (g_clobber == "zero") {
    std::memset(view, 0, kPixelAreaOffset);
  } else if (g_clobber == "sizes") {
    std::memset(view + 4, 0, 12);
  } else if (g_clobber == "format") {
    const std::int32_t w = 640, h = 480;
    std::memcpy(view + kFormatAreaOffset + kFormatWidthOffset, &w, 4);
    std::memcpy(view + kFormatAreaOffset + kFormatHeightOffset, &h, 4);
  }
}

}  // namespace

int main() {
  std::vector<BYTE> frame(kMaxFrameBytes * 2);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    std::ostringstream out;
    if (cmd == "init") {
      InitFrameWriter();
      out << "ok";
    } else if (cmd == "done") {
      DoneFrameWriter();
      out << "ok";
    } else if (cmd == "connected") {
      out << (FrameSectionConnected() ? 1 : 0);
    } else if (cmd == "reconnect") {
      g_clobber.clear();
      in >> g_clobber;
      AfterFrameHeaderRead = g_clobber.empty() ? nullptr : &Clobber;
      out << (ConnectFrameSection() ? 1 : 0);
      AfterFrameHeaderRead = nullptr;
    } else if (cmd == "output") {
      out << OutputWidth << ' ' << OutputHeight << ' ' << OutputFormat.bmiHeader.biSizeImage;
    } else if (cmd == "capture") {
      int v = 0;
      in >> v;
      out << (SetCaptureActive(v != 0) ? 1 : 0);
    } else if (cmd == "write") {
      int number = 0, force = 0;
      std::string sizeText;
      in >> number >> sizeText >> force;
      const int w = OutputWidth, h = OutputHeight;
      test::FillPattern(frame.data(), w, h, number);
      long size = sizeText == "-" ? long(test::FrameBytes(w, h)) : std::strtol(sizeText.c_str(), nullptr, 10);
      out << WriteFrame(frame.data(), static_cast<std::int32_t>(size), force != 0);
    } else if (cmd == "quit") {
      break;
    } else {
      out << "unknown command " << cmd;
    }
    std::cout << out.str() << std::endl;
  }
  return 0;
}
