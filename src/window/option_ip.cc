#include "window/option_ip.h"

#include "window/window_layout.h"

namespace rtupoll {

namespace {

// Puts the control where the layout says, with its first caption or text.
template <typename C>
void place(ChangeFeed& feed, C& control, const layout::Placement& p, Geometry at, const Control* parent = nullptr) {
  control.setup(&feed, p.name, at, parent);
  if constexpr (requires { control.setCaption(p.text); }) {
    if (p.text != nullptr) control.setCaption(p.text);
  } else if constexpr (requires { control.setText(std::string()); }) {
    if (p.text != nullptr) control.setText(p.text);
  }
}

template <typename C>
void place(ChangeFeed& feed, C& control, const layout::Placement& p, const Control* parent = nullptr) {
  place(feed, control, p, p.at, parent);
}

Geometry shifted(Geometry g, int right, int down) { return {g.left + right, g.top + down, g.width, g.height}; }

}  // namespace

OptionIP::OptionIP(Env& env)
    : env_(env),
      tloading(env, 5),
      Timer2(env, 1000),
      Timer3(env, 1000),
      Timer4(env, 10),
      tDataRetry(env, layout::kDataRetryInterval) {
  form.setup(&feed_, "OptionIP", layout::kClientArea);
  form.setCaption(layout::kWindowCaption);
  place(feed_, Label4, layout::kLabel4);
  place(feed_, bar[0], layout::kBar);

  for (std::size_t i = 0; i < kSlots; ++i) {
    place(feed_, frmDevice[i], layout::kFrmDevice, shifted(layout::kFrmDevice.at, 0, layout::kFrameTops[i]));
    frmDevice[i].setEnabled(false);
    const Control* frame = &frmDevice[i];
    place(feed_, Label1[i], layout::kLabel1, frame);
    place(feed_, Label2[i], layout::kLabel2, frame);
    place(feed_, txtIP[i], layout::kTxtIP, frame);
    place(feed_, txtPort[i], layout::kTxtPort, frame);
    place(feed_, lblStatus[i], layout::kLblStatus, frame);
    lblStatus[i].setBackColor(colors::kLightRed);
    place(feed_, cmdConnect[i], layout::kCmdConnect, frame);
    place(feed_, cmdDisconnect[i], layout::kCmdDisconnect, frame);
    sockets_[i] = std::make_unique<SocketSlot>(env, static_cast<int>(i));
  }

  place(feed_, lb_file, layout::kLbFile);
  place(feed_, txt_print, layout::kTxtPrint);
  place(feed_, Label5, layout::kLabel5);
  for (std::size_t k = 0; k < Label3.size(); ++k) place(feed_, Label3[k], layout::kLabel3[k]);

  for (std::size_t r = 0; r < kReadDefs; ++r) {
    const int right = layout::kReadDefStep * static_cast<int>(r);
    place(feed_, LstIP[r], layout::kLstIP, shifted(layout::kLstIP.at, right, 0));
    LstIP[r].setItems({layout::kDeviceEntries.begin(), layout::kDeviceEntries.end()});
    place(feed_, strReg[r], layout::kStrReg, shifted(layout::kStrReg.at, right, 0));
    place(feed_, LegReg[r], layout::kLegReg, shifted(layout::kLegReg.at, right, 0));
  }

  place(feed_, cmdConnectDev, layout::kCmdConnectDev);
  cmdConnectDev.setVisible(false);
  place(feed_, cmdRead, layout::kCmdRead);
  cmdRead.setVisible(false);
  place(feed_, tabel, layout::kTabel);
  place(feed_, lblFileNotice, layout::kLblFileNotice);
  lblFileNotice.setVisible(false);
  lblFileNotice.setBackColor(colors::kYellow);
}

}  // namespace rtupoll
