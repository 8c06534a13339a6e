#include "settings/setting_table.h"

#include "base/bool_text.h"
#include "base/number_text.h"
#include "window/option_ip.h"

namespace rtupoll {

namespace {

// "True" while no connection is asked for on the slot (its Connect button
// is enabled); start-up keeps the text as it was stored. A saved slot is
// asked for from the start: until the operator disconnects it or the
// reload decides otherwise, a close at any moment saves it as saved.
void applyConnectState(OptionIP& w, std::size_t k, const std::string& text) {
  w.savedConnectState[k] = text;
  if (readsAsFalse(text)) w.cmdConnect[k].setEnabled(false);
}
std::string connectStateText(const OptionIP& w, std::size_t k) { return w.cmdConnect[k].enabled() ? "True" : "False"; }

void applyPort(OptionIP& w, std::size_t k, const std::string& text) { w.txtPort[k].setText(text); }
std::string portText(const OptionIP& w, std::size_t k) { return w.txtPort[k].text(); }

void applyHost(OptionIP& w, std::size_t k, const std::string& text) { w.txtIP[k].setText(text); }
std::string hostText(const OptionIP& w, std::size_t k) { return w.txtIP[k].text(); }

void applyFirstRegister(OptionIP& w, std::size_t k, const std::string& text) { w.strReg[k].setText(text); }
std::string firstRegisterText(const OptionIP& w, std::size_t k) { return w.strReg[k].text(); }

void applyRegisterCount(OptionIP& w, std::size_t k, const std::string& text) { w.LegReg[k].setText(text); }
std::string registerCountText(const OptionIP& w, std::size_t k) { return w.LegReg[k].text(); }

// A device choice that is not an integer naming an entry (or -1) falls back
// to the first entry, as for a missing key.
void applyDeviceChoice(OptionIP& w, std::size_t k, const std::string& text) {
  ComboBox& combo = w.LstIP[k];
  const auto number = wholeTextNumber(text, w.env().decimalSeparator());
  const auto index = number ? toInt16(*number) : std::nullopt;
  const int entries = static_cast<int>(combo.items().size());
  combo.setListIndex(index && *index >= -1 && *index < entries ? *index : 0);
}
std::string deviceChoiceText(const OptionIP& w, std::size_t k) { return std::to_string(w.LstIP[k].listIndex()); }

}  // namespace

const std::array<SettingGroup, 6> kSettingGroups{{
    {"Scon", kSlots, "True", applyConnectState, connectStateText},
    {"port", kSlots, "502", applyPort, portText},
    {"txtIP", kSlots, "192.168.1.1", applyHost, hostText},
    {"strreg", kReadDefs, "000", applyFirstRegister, firstRegisterText},
    {"legreg", kReadDefs, "000", applyRegisterCount, registerCountText},
    {"LstIP", kReadDefs, "000", applyDeviceChoice, deviceChoiceText},
}};

}  // namespace rtupoll
