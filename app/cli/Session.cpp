#include "app/cli/Session.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace korven::cli {

Session::Session(const std::string& workingFolder) {
  if (!workingFolder.empty()) platform.setWorkingFolder(workingFolder);
  messages.onShown = [](const std::string& text, bool) {
    std::string lines = text;
    // The notice's lines end in CR LF; a terminal wants LF.
    for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;) lines.erase(at, 1);
    std::fprintf(stderr, "%s\n", lines.c_str());
  };
}

bool Session::start(bool startupQuery) {
  startedAt_ = platform.clock().now();
  if (!op.start()) return false;
  if (!startupQuery) w().TIM_UDP_CALL->setInterval(0);
  return true;
}

void Session::settle() {
  // The query goes out half a second after start-up; terminals on a LAN
  // answer within milliseconds.
  op.waitUntil([this] { return w().TIM_UDP_CALL->interval() == 0; }, Micros(2'000'000));
  op.wait(Micros(300'000));
}

void Session::waitSinceStart(double seconds) {
  const Micros until = startedAt_ + Micros(static_cast<long long>(seconds * 1e6));
  const Micros now = platform.clock().now();
  if (until > now) op.wait(until - now);
}

namespace {

void warnAndGoOn(int) {
  static const char kWarning[] =
      "\nkorven-cli: an update is running; it is not stopped, since a cut stream leaves a terminal "
      "without an image. It ends by itself.\n";
  // Only async-signal-safe calls here.
  const ssize_t ignored = ::write(STDERR_FILENO, kWarning, sizeof kWarning - 1);
  (void)ignored;
}

}  // namespace

UninterruptedUpdate::UninterruptedUpdate() {
  std::signal(SIGINT, warnAndGoOn);
  std::signal(SIGTERM, warnAndGoOn);
}

UninterruptedUpdate::~UninterruptedUpdate() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

}  // namespace korven::cli
