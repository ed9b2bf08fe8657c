// One window per session: a second start of `fennick` hands its file to the
// window already open and ends, over a session bus of the test's own and,
// without a bus, over the local socket. Two processes, as the desktop
// starts them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "test_support.h"

namespace fennick {
namespace {

using test::RunCommand;
using test::ShellQuote;

const std::string kWindow = std::string(FENNICK_BIN_DIR) + "/fennick";

TEST(SingleInstance, ASecondStartHandsItsFileToTheOpenWindowAndEnds) {
  for (const bool bus : {true, false}) {
    SCOPED_TRACE(bus ? "session bus" : "local socket");
    test::TempDir dir;
    ASSERT_TRUE(test::MakeMedia(dir.file("clip.mp4"), "-f lavfi -i testsrc=s=160x120:d=1 -c:v mpeg4"));
    const std::string d = ShellQuote(dir.path().string());
    const std::string ready =
        bus ? "dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
              "org.freedesktop.DBus.NameHasOwner string:org.quarvel.Fennick 2>/dev/null | grep -q true"
            : "[ -S run/fennick-" + std::to_string(getuid()) + ".socket ]";
    const auto r = RunCommand(
        "cd " + d + " && mkdir -p cfg data run && chmod 700 run && " +
        (bus ? "eval $(dbus-daemon --session --fork --print-address=1 --print-pid=1 | "
               "{ read a; read p; echo export DBUS_SESSION_BUS_ADDRESS=$a BUS=$p; }) && "
             : "export DBUS_SESSION_BUS_ADDRESS=unix:path=" + d + "/nobus && ") +
        "export XDG_CONFIG_HOME=$PWD/cfg XDG_DATA_HOME=$PWD/data XDG_RUNTIME_DIR=$PWD/run QT_QPA_PLATFORM=offscreen; " +
        ShellQuote(kWindow) + " >first.log 2>&1 & first=$!; " +
        "for i in $(seq 1 100); do " + ready + " && break; sleep 0.1; done; " +
        "timeout 20 " + ShellQuote(kWindow) + " clip.mp4 >second.log 2>&1; echo second=$?; " +
        "for i in $(seq 1 100); do grep -q '\"source\":\"'$PWD/clip.mp4 data/fennick/queue.json 2>/dev/null && "
        "echo queued && break; sleep 0.1; done; "
        "kill -0 $first && echo first-running; kill $first; wait $first; [ -n \"${BUS:-}\" ] && kill $BUS; true");
    EXPECT_NE(r.output.find("second=0"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("queued"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("first-running"), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace fennick
