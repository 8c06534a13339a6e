#include "ui/option_ip.h"

#include "datalog/data_log.h"
#include "devices/connect.h"
#include "devices/reload.h"
#include "polling/poll_cycle.h"
#include "polling/read_request.h"
#include "polling/reply.h"
#include "settings/settings.h"
#include "ui/startup.h"

namespace rtupoll {

namespace {
// The design-time host text; start-up always replaces it.
constexpr const char* kDesignHost = "localhost";
}  // namespace

OptionIP::OptionIP(Env& env)
    : env_(env), tloading(env, 5), Timer2(env, 1000), Timer3(env, 1000), Timer4(env, 10) {
  ChangeFeed* f = &feed_;
  form.setup(f, "OptionIP", {0, 0, Form::kClientWidth, Form::kClientHeight});
  form.setCaption("Form1");

  Label4.setup(f, "Label4", {240, 240, 2655, 255});
  Label4.setCaption("Label4");
  bar[0].setup(f, "bar", {240, 720, 3855, 255});

  for (int i = 0; i < kSlots; ++i) {
    const std::size_t k = static_cast<std::size_t>(i);
    static constexpr int kFrameTops[kSlots] = {1080, 2640, 4320};
    frmDevice[k].setup(f, "frmDevice", {240, kFrameTops[i], 3855, 1575});
    frmDevice[k].setCaption("Device A");
    frmDevice[k].setEnabled(false);
    const Control* frame = &frmDevice[k];
    Label1[k].setup(f, "Label1", {120, 360, 975, 255}, frame);
    Label1[k].setCaption("IP Addres :");
    Label2[k].setup(f, "Label2", {2760, 360, 735, 255}, frame);
    Label2[k].setCaption("Port :");
    txtIP[k].setup(f, "txtIP", {120, 600, 2535, 375}, frame);
    txtIP[k].setText(kDesignHost);
    txtPort[k].setup(f, "txtPort", {2760, 600, 975, 375}, frame);
    txtPort[k].setText("502");
    lblStatus[k].setup(f, "lblStatus", {120, 1080, 1695, 375}, frame);
    lblStatus[k].setCaption("Label3");
    lblStatus[k].setBackColor(colors::kLightRed);
    cmdConnect[k].setup(f, "cmdConnect", {1800, 1080, 975, 375}, frame);
    cmdConnect[k].setCaption("Connect");
    cmdDisconnect[k].setup(f, "cmdDisconnect", {2760, 1080, 975, 375}, frame);
    cmdDisconnect[k].setCaption("DisConect");

    sockets_[k] = std::make_unique<SocketSlot>(env, i);
    sockets_[k]->setOnDataArrival([this](int index, std::int32_t bytes) { handleReply(*this, index, bytes); });
    cmdConnect[k].setOnClick([this, i] { connectSlot(*this, i); });
    cmdDisconnect[k].setOnClick([this, i] { disconnectSlot(*this, i); });
  }

  lb_file.setup(f, "lb_file", {4080, 240, 1455, 375});
  lb_file.setCaption("Label6");
  txt_print.setup(f, "txt_print", {5640, 240, 5895, 405});
  txt_print.setText("Text1");
  Label5.setup(f, "Label5", {4320, 960, 975, 255});
  Label5.setCaption("DEVICE");
  Label3[0].setup(f, "Label3", {4320, 1440, 1215, 255});
  Label3[0].setCaption("Star Register");
  Label3[1].setup(f, "Label3", {4320, 1920, 1215, 255});
  Label3[1].setCaption("LegRegister");

  for (int r = 0; r < kReadDefs; ++r) {
    const std::size_t k = static_cast<std::size_t>(r);
    const int left = 5640 + 960 * r;
    LstIP[k].setup(f, "LstIP", {left, 840, 855, 315});
    LstIP[k].setItems({"-A", "-B", "-C"});
    strReg[k].setup(f, "strReg", {left, 1320, 855, 285});
    strReg[k].setText("Text1");
    LegReg[k].setup(f, "LegReg", {left, 1800, 855, 285});
    LegReg[k].setText("Text2");
  }

  cmdConnectDev.setup(f, "cmdConnectDev", {10560, 840, 975, 495});
  cmdConnectDev.setCaption("Connect");
  cmdConnectDev.setVisible(false);
  cmdConnectDev.setOnClick([this] { pollStep(*this); });
  cmdRead.setup(f, "cmdRead", {10560, 1440, 975, 495});
  cmdRead.setCaption("ReadData");
  cmdRead.setVisible(false);
  cmdRead.setOnClick([this] { sendReadRequest(*this); });

  tabel.setup(f, "tabel", {4200, 2400, 9615, 3615});

  tloading.setOnTick([this] { reloadStep(*this); });
  Timer2.setOnTick([this] { countdownStep(*this); });
  Timer3.setOnTick([this] {
    pollStep(*this);
    print_click();
  });
  Timer4.setOnTick([this] { pollStep(*this); });
}

void OptionIP::load() { startUp(*this); }

void OptionIP::unload() {
  if (unloaded_) return;
  unloaded_ = true;
  shutDown(*this);
}

void OptionIP::print_click() { rtupoll::print_click(*this); }
void OptionIP::save() { rtupoll::save(*this); }

}  // namespace rtupoll
