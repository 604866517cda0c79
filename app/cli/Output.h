#pragma once

#include <string>

namespace korven::cli {

// Exit codes of korven-cli.
inline constexpr int kClean = 0;       // every terminal streamed, none replied CHKERR or FULL
inline constexpr int kNotClean = 1;    // some did not, or the report could not be written
inline constexpr int kRefused = 2;     // bad usage, or the program refused
inline constexpr int kNoTerminal = 3;  // none found, or the single one not connected

// With --json, a refusal or a usage error is also one JSON object on
// stdout, {"error": "...", "exit": N}, for a script that reads only stdout.
void setJsonErrors(bool on);

// Prints "korven-cli: TEXT" on stderr and returns `code`.
int fail(int code, const std::string& text);
// The same for a message already printed (the window's own): only the JSON.
int failShown(int code, const std::string& text);

}  // namespace korven::cli
