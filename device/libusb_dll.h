// libusb on Windows without an import library: libusb-1.0.dll is loaded at
// run time and the libusb functions the program calls are forwarded to it
// (device/libusb_dll.cpp). Elsewhere libusb is linked and nothing is loaded.
#pragma once

#include <string>

// Loads libusb-1.0.dll if it is not loaded yet. Empty when libusb can be
// used; otherwise the pane's text saying which file is missing, where it was
// looked for and where to get it. Always empty off Windows.
std::string charge_libusb();
