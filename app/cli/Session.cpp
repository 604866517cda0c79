#include "app/cli/Session.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/cli/Output.h"
#include "app/cli/WindowMessages.h"

namespace korven::cli {

Session::Session(const std::string& workingFolder) {
  if (!workingFolder.empty()) platform.setWorkingFolder(workingFolder);
  messages.onShown = [this](const std::string& text, bool) {
    if (text == kStartupNotice) {
      // The window's notice, in its words; about the window's colours, so
      // only on demand. Its lines end in CR LF; a terminal wants LF.
      if (verbosity() != Verbosity::Verbose) return;
      std::string lines = "korven-cli: the window's start-up notice:\n  " + text;
      for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;) {
        lines.replace(at, 2, "\n  ");
      }
      std::fprintf(stderr, "%s\n", lines.c_str());
      return;
    }
    lastMessage_ = explainWindowMessage(oneLine(text));
    warn(lastMessage_);
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
      "\nkorven-cli: an update is running and is not stopped: a stream cut now would leave "
      "terminals in their boot loader without an image; wait for its end (the time left is "
      "shown), or kill -9 to cut it anyway\n";
  // Only async-signal-safe calls here.
  const ssize_t ignored = ::write(STDERR_FILENO, kWarning, sizeof kWarning - 1);
  (void)ignored;
}

volatile std::sig_atomic_t noted = 0;

void noteSignal(int signal) {
  noted = signal;
}

}  // namespace

CaughtSignal::CaughtSignal() {
  std::signal(SIGINT, noteSignal);
  std::signal(SIGTERM, noteSignal);
}

CaughtSignal::~CaughtSignal() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

int CaughtSignal::caught() {
  return noted;
}

void CaughtSignal::dieOf(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);  // only if the signal was blocked
}

UninterruptedUpdate::UninterruptedUpdate() {
  std::signal(SIGINT, warnAndGoOn);
  std::signal(SIGTERM, warnAndGoOn);
}

UninterruptedUpdate::~UninterruptedUpdate() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

}  // namespace korven::cli
