#pragma once

#include <string>

namespace korven::cli {

// Exit codes of korven-cli.
inline constexpr int kClean = 0;       // every terminal streamed, none replied CHKERR or FULL
inline constexpr int kNotClean = 1;    // some did not, or the report could not be written
inline constexpr int kRefused = 2;     // bad usage, or the program refused
inline constexpr int kNoTerminal = 3;  // none found, or the single one not connected

// How much goes to stderr besides errors and the closing tally: Quiet
// nothing more, Normal the progress and what each step did, Verbose the
// window's start-up notice too.
enum class Verbosity { Quiet, Normal, Verbose };
void setVerbosity(Verbosity level);
Verbosity verbosity();

// With --json, a refusal or a usage error is also one JSON object on
// stdout, {"error": "...", "exit": N}, for a script that reads only stdout.
void setJsonErrors(bool on);

// Every message of korven-cli is one line "korven-cli: TEXT" on stderr,
// TEXT saying what is wrong and then, after "; ", what to do. Prints it and
// returns `code`.
int fail(int code, const std::string& text);
// The same for a message already printed: only the JSON.
int failShown(int code, const std::string& text);
// "2.5 s"
std::string secondsText(double seconds);

// "korven-cli: TEXT" on stderr: a problem that does not end the program.
void warn(const std::string& text);
// The same unless quiet: what is being done.
void note(const std::string& text);

}  // namespace korven::cli
