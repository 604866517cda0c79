#pragma once

#include <string>
#include <vector>

namespace korven::app {

// What korven-loader's command line asks for, read before the window's
// toolkit starts: the toolkit aborts where there is no display (over SSH),
// so --help, --version and a wrong option are answered without it.
struct LoaderArguments {
  enum class Action { Run, Help, Version, Refuse };
  Action action = Action::Run;
  std::vector<std::string> interfaces;  // --interface, split at its commas
  bool platformGiven = false;           // the toolkit's -platform is among them
  std::string problem;                  // with Refuse: what is wrong, one line
};

// Reads argv[1..]. The toolkit's own options (-platform NAME, -style NAME,
// -reverse, ...) are let through for it to take; anything else unknown is
// refused.
LoaderArguments readLoaderArguments(const std::vector<std::string>& arguments);

// korven-loader --help
const char* loaderUsage();

}  // namespace korven::app
