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
  const bool every = o.target == CliOptions::Target::All;
  const std::vector<std::string> addresses =
      o.target == CliOptions::Target::Single ? std::vector<std::string>{o.terminal} : o.terminals;
  // No query goes out, and no reply may take the address box from the
  // terminals given: the frames would follow it.
  if (!every) s.loader.discovery().restrictTo(addresses);
  if (!s.start(false)) return failShown(kRefused, s.lastMessage());
  ProgPrin& w = s.w();
  const std::map<std::string, Button*> buttons = {{"go-boot", &w.B_GO_BOOT},
                                                  {"go-term", &w.B_GO_TERM},
                                                  {"active", &w.B_MODE_ACTIVE},
                                                  {"passive", &w.B_MODE_PASSIVE},
                                                  {"show-mac", &w.B_SHOW_MAC}};
  Button& button = *buttons.at(o.modeName);
  std::vector<std::pair<std::string, bool>> sent;
  // The burst of ten runs inside the click, to the address in the box or,
  // in all-terminals mode, by broadcast.
  const auto burst = [&](const std::string& to) {
    button.userClick();
    sent.emplace_back(to, w.AFF_STATUS0.text() != kSendError);
  };
  if (every) {
    s.op.allTerminals(true);
    burst(kBroadcastAddress);
  } else {
    for (const std::string& address : addresses) {
      s.op.typeAddress(address);
      burst(address);
    }
  }
  std::vector<std::string> failed;
  for (const auto& [to, ok] : sent) {
    if (!ok) failed.push_back(escapedText(to));
  }
  if (o.json) std::fputs(modeJson(o.modeName, button.text(), sent).c_str(), stdout);
  if (!failed.empty()) {
    std::string names;
    for (const std::string& name : failed) names += (names.empty() ? "" : ", ") + name;
    warn("the mode frame could not be sent to " + names + " (the window says \"" +
         std::string(kSendError) + "\"); check that the network interface is up");
    return kNotClean;
  }
  std::fprintf(stderr, "%s sent ten times to %s\n", button.text().c_str(),
               every                   ? "every terminal"
               : addresses.size() == 1 ? addresses.front().c_str()
                                       : (std::to_string(addresses.size()) + " terminals").c_str());
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
