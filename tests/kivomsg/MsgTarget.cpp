// A process whose id KivoMsg watches: "exit" ends at once, anything else waits until killed.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "exit") == 0) return 0;
  for (;;) ::Sleep(1000);
}
