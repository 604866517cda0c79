// korven-cli discover and mode.
#include "app/cli/Commands.h"

#include <cstdio>
#include <map>

#include "app/cli/Output.h"
#include "app/cli/ReportJson.h"
#include "app/cli/Session.h"
#include "discovery/ModeCommands.h"
#include "platform/Ipv4.h"
#include "platform/Text.h"
#include "platform/system/NetworkInterfaces.h"

namespace korven::cli {

int discover(const CliOptions& o) {
  Session s;
  s.platform.setBroadcastInterfaces(o.interfaces);
  if (!s.start()) return failShown(kRefused, s.lastMessage());
  s.waitSinceStart(o.waitSeconds);
  const auto listed = s.op.listed();
  const std::string wait = secondsText(o.waitSeconds);
  if (listed.empty()) {
    return fail(kNoTerminal, "no terminal answered within " + wait +
                                 "; check the network and the terminals, or give a longer --wait");
  }
  if (o.json) {
    std::fputs(discoveredJson(listed).c_str(), stdout);
  } else {
    // An address is whatever a terminal sent: printed so it cannot steer the terminal.
    for (std::size_t i = 0; i < listed.size(); ++i) {
      std::printf("%zu %s\n", i, escapedText(listed[i]).c_str());
    }
  }
  std::fprintf(stderr, "%zu terminal%s answered within %s\n", listed.size(),
               listed.size() == 1 ? "" : "s", wait.c_str());
  return kClean;
}

int mode(const CliOptions& o) {
  Session s;
  s.platform.setBroadcastInterfaces(o.interfaces);
  const bool single = o.target == CliOptions::Target::Single;
  // No query goes out, and no reply may take the address box from the
  // terminal given: the frames would follow it.
  if (single) s.loader.discovery().restrictTo({o.terminal});
  if (!s.start(false)) return failShown(kRefused, s.lastMessage());
  ProgPrin& w = s.w();
  const std::map<std::string, Button*> buttons = {{"go-boot", &w.B_GO_BOOT},
                                                  {"go-term", &w.B_GO_TERM},
                                                  {"active", &w.B_MODE_ACTIVE},
                                                  {"passive", &w.B_MODE_PASSIVE},
                                                  {"show-mac", &w.B_SHOW_MAC}};
  if (single) {
    s.op.typeAddress(o.terminal);
  } else {
    s.op.allTerminals(true);  // the frames go by broadcast
  }
  Button& button = *buttons.at(o.modeName);
  button.userClick();  // the burst of ten runs inside the click
  if (w.AFF_STATUS0.text() == kSendError) {
    return fail(kNotClean, "the mode frame could not be sent (the window says \"" +
                               std::string(kSendError) +
                               "\"); check that the network interface is up");
  }
  std::fprintf(stderr, "%s sent ten times to %s\n", button.text().c_str(),
               single ? o.terminal.c_str() : "every terminal");
  return kClean;
}

int interfaces(const CliOptions&) {
  const std::vector<NetworkInterface> found = broadcastInterfaces({});
  if (found.empty()) {
    std::fprintf(stderr,
                 "korven-cli: no interface is up and able to broadcast besides loopback; a "
                 "broadcast goes out once, where the routing table sends it\n");
  }
  for (const NetworkInterface& i : found) {
    std::printf("%s %s %s\n", i.name.c_str(), dottedIpv4(i.address).c_str(),
                dottedIpv4(*i.broadcast).c_str());
  }
  return kClean;
}

}  // namespace korven::cli
