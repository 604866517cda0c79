#include "app/LoaderArguments.h"

#include <algorithm>
#include <iterator>

#include "app/cli/Suggest.h"

namespace korven::app {
namespace {

// The options the toolkit takes out of the command line itself, with one
// dash or two, as its documentation lists them for widgets programs and
// their display servers. They are let through untouched: the toolkit reads
// them when it starts.
const char* const kToolkitOptionsWithValue[] = {"platform",
                                                "platformpluginpath",
                                                "platformtheme",
                                                "plugin",
                                                "qwindowgeometry",
                                                "qwindowicon",
                                                "qwindowtitle",
                                                "session",
                                                "display",
                                                "geometry",
                                                "title",
                                                "icon",
                                                "name",
                                                "visual",
                                                "style",
                                                "stylesheet",
                                                "qmljsdebugger"};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb",
                                     "sync",    "testability", "qdevel", "qdebug"};
// Taken as -style=NAME too.
const char* const kToolkitJoined[] = {"style=", "stylesheet=", "qmljsdebugger="};

template <typename List>
bool listed(const List& list, const std::string& name) {
  return std::find(std::begin(list), std::end(list), name) != std::end(list);
}

const std::string kHelpHint = "korven-loader --help shows the options";

std::string unexpected(const std::string& argument) {
  return "unexpected '" + argument + "'; " + kHelpHint;
}

std::string unknownOption(const std::string& argument, const std::string& name) {
  const auto near = cli::nearMiss(name, {"interface", "help", "version"});
  return "unknown option " + argument + "; " + (near ? "did you mean --" + *near + "?" : kHelpHint);
}

}  // namespace

LoaderArguments readLoaderArguments(const std::vector<std::string>& arguments) {
  LoaderArguments result;
  bool help = false;
  bool version = false;
  const auto refuse = [&](std::string problem) {
    result.action = LoaderArguments::Action::Refuse;
    result.problem = std::move(problem);
    return result;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--help" || a == "-h" || a == "-?" || a == "--help-all") {
      help = true;
      continue;
    }
    if (a == "--version") {
      version = true;
      continue;
    }
    if (a == "--interface" || a.rfind("--interface=", 0) == 0) {
      std::string names;
      if (a == "--interface") {
        if (i + 1 >= arguments.size()) return refuse("--interface needs NAME[,NAME...]");
        names = arguments[++i];
      } else {
        names = a.substr(a.find('=') + 1);
      }
      if (names.empty()) return refuse("--interface needs NAME[,NAME...]");
      for (std::size_t from = 0; from <= names.size();) {
        const std::size_t comma = std::min(names.find(',', from), names.size());
        result.interfaces.push_back(names.substr(from, comma - from));
        from = comma + 1;
      }
      continue;
    }
    if (a.size() < 2 || a[0] != '-' || a == "--") {
      return refuse(unexpected(a));
    }
    const std::string name = a.substr(a[1] == '-' ? 2 : 1);
    if (listed(kToolkitFlags, name)) continue;
    if (std::any_of(std::begin(kToolkitJoined), std::end(kToolkitJoined),
                    [&](const char* joined) { return name.rfind(joined, 0) == 0; })) {
      continue;
    }
    if (listed(kToolkitOptionsWithValue, name)) {
      if (i + 1 >= arguments.size()) return refuse(a + " needs a value");
      ++i;
      result.platformGiven = result.platformGiven || name == "platform";
      continue;
    }
    return refuse(unknownOption(a, name));
  }
  if (help) {
    result.action = LoaderArguments::Action::Help;
  } else if (version) {
    result.action = LoaderArguments::Action::Version;
  }
  return result;
}

const char* loaderUsage() {
  return R"(Usage: korven-loader [--interface NAME,...] [QT-OPTION]...

The firmware loader's window: it finds the KORVEN terminals on the network
with a broadcast query, switches their modes, and streams a firmware image
(a *.BIN file of the current folder) to one terminal or to every terminal of
a range. It talks to the real network as soon as it starts.

  --interface NAME,...  broadcasts (the query, the frames to all terminals)
                        go out on these interfaces only; default: every
                        interface that is up and can broadcast (korven-cli
                        interfaces lists them)
  --help, --version

It takes the options every Qt program takes too, such as -platform NAME and
-style NAME. It needs a display; without one (over SSH, in a script),
korven-cli does the same work.
)";
}

}  // namespace korven::app
