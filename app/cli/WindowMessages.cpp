#include "app/cli/WindowMessages.h"

#include "shell/Loader.h"
#include "update/UpdateStart.h"

namespace korven::cli {

std::string explainWindowMessage(const std::string& text) {
  struct Known {
    const char* text;  // the window's message, or its beginning
    const char* what;
    const char* todo;
  };
  static const Known kKnown[] = {
      {kStartupFailure,
       "start-up failed: UDP port 2024, where the terminals answer, cannot be bound",
       "end the program that holds it (another korven-loader or korven-cli; ss -ulpn shows "
       "which) and try again"},
      {kNotReady, "the update was refused: the terminal's connection is not up",
       "check that the terminal is on and in passive mode, or give a longer --wait"},
      {kCannotReadImage, "the image cannot be read",
       "check that it is there and readable, and give its name or path"},
      {kImageTooLarge, "the image is more than 991 blocks of 64 bytes, more than a terminal takes",
       "give the image meant for these terminals"},
      {kInvalidDelay, "the delay gives a block pace the send timer cannot run",
       "give --delay from 0 to 65435"},
      {"ERROR: Only ", "not every terminal can be connected: the open-file limit is too low",
       "raise it (ulimit -n) or update in waves (--waves)"},
  };
  for (const Known& known : kKnown) {
    if (text.rfind(known.text, 0) == 0) {
      return std::string(known.what) + " (the window says \"" + text + "\"); " + known.todo;
    }
  }
  return "the window says \"" + text + "\"";
}

}  // namespace korven::cli
