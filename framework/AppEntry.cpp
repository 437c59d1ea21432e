// The program entry of a framework application (linked as an object, so the linker always sees it).
#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) { return AfxWinMain(instance, show); }
