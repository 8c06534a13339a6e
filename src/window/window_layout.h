#pragma once

// The window as it was designed: where each control sits and what it shows
// when the window is created. Positions and sizes are in twips (1/1440
// inch) from the top left corner of the client area, or of the enclosing
// frame for a frame's members.

#include <array>

#include "window/controls.h"

namespace rtupoll::layout {

struct Placement {
  const char* name;
  Geometry at;
  const char* text = nullptr;  // the first caption or text, if any
};

inline constexpr Geometry kClientArea{0, 0, 14025, 6255};
inline constexpr const char* kWindowCaption = "Form1";

inline constexpr Placement kLabel4{"Label4", {240, 240, 2655, 255}, "Label4"};
inline constexpr Placement kBar{"bar", {240, 720, 3855, 255}};

// A device slot's frame, at its slot's top, and the frame's members.
inline constexpr std::array<int, 3> kFrameTops{1080, 2640, 4320};
inline constexpr Placement kFrmDevice{"frmDevice", {240, 0, 3855, 1575}, "Device A"};
inline constexpr Placement kLabel1{"Label1", {120, 360, 975, 255}, "IP Addres :"};
inline constexpr Placement kLabel2{"Label2", {2760, 360, 735, 255}, "Port :"};
// The design-time host; start-up always replaces it.
inline constexpr Placement kTxtIP{"txtIP", {120, 600, 2535, 375}, "localhost"};
inline constexpr Placement kTxtPort{"txtPort", {2760, 600, 975, 375}, "502"};
inline constexpr Placement kLblStatus{"lblStatus", {120, 1080, 1695, 375}, "Label3"};
inline constexpr Placement kCmdConnect{"cmdConnect", {1800, 1080, 975, 375}, "Connect"};
inline constexpr Placement kCmdDisconnect{"cmdDisconnect", {2760, 1080, 975, 375}, "DisConect"};

inline constexpr Placement kLbFile{"lb_file", {4080, 240, 1455, 375}, "Label6"};
inline constexpr Placement kTxtPrint{"txt_print", {5640, 240, 5895, 405}, "Text1"};
inline constexpr Placement kLabel5{"Label5", {4320, 960, 975, 255}, "DEVICE"};
inline constexpr std::array<Placement, 2> kLabel3{{
    {"Label3", {4320, 1440, 1215, 255}, "Star Register"},
    {"Label3", {4320, 1920, 1215, 255}, "LegRegister"},
}};

// Read definition r stands in a column kReadDefStep·r to the right of the first.
inline constexpr int kReadDefStep = 960;
inline constexpr Placement kLstIP{"LstIP", {5640, 840, 855, 315}};
inline constexpr Placement kStrReg{"strReg", {5640, 1320, 855, 285}, "Text1"};
inline constexpr Placement kLegReg{"LegReg", {5640, 1800, 855, 285}, "Text2"};
inline constexpr std::array<const char*, 3> kDeviceEntries{"-A", "-B", "-C"};

// Never shown: their clicks are the poll step and the read request.
inline constexpr Placement kCmdConnectDev{"cmdConnectDev", {10560, 840, 975, 495}, "Connect"};
inline constexpr Placement kCmdRead{"cmdRead", {10560, 1440, 975, 495}, "ReadData"};

inline constexpr Placement kTabel{"tabel", {4200, 2400, 9615, 3615}};

// Not in the window as designed: right of the data line and the read
// definitions, above the table, out of every other control's way.
inline constexpr Placement kLblFileNotice{"lblFileNotice", {11640, 240, 2175, 2040}};
// Tries within one poll second, a few times, to replace a data.csv that a
// reader holds open.
inline constexpr int kDataRetryInterval = 150;  // ms

}  // namespace rtupoll::layout
