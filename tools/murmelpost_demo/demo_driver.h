// A user at the emulated handheld, for `make run` without a display: it works the real
// client through one message from the first start to the server's acceptance.
#pragma once

#include <chrono>
#include <string>

namespace murmel::demo {

struct DemoProfile {
  std::u16string email = u"demo.sender@example.com";
  std::u16string name = u"Dana Demo";
  std::u16string city = u"Springfield";
  std::u16string state = u"IL";
};

struct DemoOptions {
  DemoProfile profile;
  std::u16string recipient = u"listener@example.com";
  std::u16string subject = u"Hello from the handheld";
  std::u16string text = u"A short voice message, recorded and sent by the demo.";
  std::chrono::milliseconds record_time{9500};
  std::string screenshot_dir;  // empty: no screenshots
};

// Creates the driver's hidden window and its timer on this (the user-interface) thread;
// the client's message loop then runs it. False when the window cannot be made.
bool StartDemoDriver(const DemoOptions& options);
// 0 once the message was accepted and the client was asked to close; 1 otherwise.
int DemoResult();

}  // namespace murmel::demo
