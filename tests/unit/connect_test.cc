#include "devices/connect.h"

#include "support/window_fixture.h"

namespace rtupoll::testing {
namespace {

class ConnectTest : public WindowFixture {};

// A port text connects only to the port it names; any other text fails the
// attempt at once, rather than connecting to the slot's previous port.
TEST_F(ConnectTest, APortTextThatNamesNoPortFailsAtOnce) {
  const std::string named = std::to_string(port(0));
  const struct {
    std::string text;
    bool connects;
  } ports[] = {{named, true}, {" " + named + " ", true}, {named + ".4", true}, {"99999", false},
               {"0", false},  {"abc", false},            {"", false},          {"65535.6", false}};
  connectNow(0);  // the socket's previous port is a good one
  for (const auto& p : ports) {
    disconnectSlot(w, 0);
    const int calls = env.socket(0).connectCalls();
    w.txtPort[0].setText(p.text);
    connectSlot(w, 0);
    EXPECT_EQ(status(0), p.connects ? "Connected OK" : "Tidak bisa Connect ") << '"' << p.text << '"';
    EXPECT_EQ(env.socket(0).connectCalls(), calls + (p.connects ? 1 : 0)) << '"' << p.text << '"';
    EXPECT_FALSE(w.cmdConnect[0].enabled());
  }
}

}  // namespace
}  // namespace rtupoll::testing
