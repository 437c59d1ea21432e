// Saves a picture of the running dialog: app_screenshot <out.bmp> (under Xvfb; see screenshot.sh).
#include <cstdio>

#include "gui_driver.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: app_screenshot out.bmp\n");
    return 2;
  }
  gui::App app;
  if (!app.start()) {
    std::fprintf(stderr, "the dialog did not appear\n");
    return 1;
  }
  ::SetForegroundWindow(app.dialog);
  ::Sleep(1500);  // a refresh or two
  gui::Capture cap(gui::window_rect(app.dialog));
  bool saved = cap.save_bmp(argv[1]);
  app.close();
  return saved ? 0 : 1;
}
