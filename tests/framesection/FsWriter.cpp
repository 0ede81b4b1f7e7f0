// Test helper: KivoApp's frame writer in its own process, driven one command a line on stdin.
//   init | done | connected | reconnect | output | capture <0|1> | write <frame> <size|-> <force> | quit
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "KVProcs.h"
#include "TestSupport.h"

using namespace kivo;

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
      out << (ConnectFrameSection() ? 1 : 0);
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
