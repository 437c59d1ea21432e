// A windowed framework program that writes one line to each standard stream and ends: the child of
// the console tests.
#include <cstdio>

#include "framework/Framework.h"

class ConsoleChild : public CWinApp {
 public:
  BOOL InitInstance() override {
    std::fprintf(stdout, "line on stdout\n");
    std::fprintf(stderr, "line on stderr\n");
    std::fflush(stdout);
    std::fflush(stderr);
    return FALSE;
  }
};

ConsoleChild theChild;
