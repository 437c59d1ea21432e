// Our own small dialog framework layer: the class and function names of the platform's dialog
// framework, implemented on plain Win32 with 8-bit strings, holding only what this program uses.
#pragma once

#include "framework/CString.h"
#include "framework/Dialog.h"
#include "framework/WinApp.h"
#include "framework/Wnd.h"
