#include "operator/Operator.h"

#include <algorithm>

#include "connections/ConnectionManager.h"
#include "operator/Images.h"
#include "operator/MessageLog.h"
#include "update/Pace.h"

namespace korven {

std::string imageOf(int blocks, int lastBlockBytes, int seed) {
  std::string image(16, '\0');
  const int bytes = blocks > 0 ? (blocks - 1) * 64 + lastBlockBytes : 0;
  for (int i = 0; i < bytes; ++i) image += static_cast<char>((i * seed + 7) % 255 + 1);
  return image;
}

std::string oneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

bool Operator::waitUntil(const std::function<bool()>& done, Micros limit) {
  return platform_.eventLoop().waitUntil(done, limit);
}

void Operator::wait(Micros duration) {
  // One timer for the whole wait: a pause of minutes, or a night's wait for
  // the window, costs no wake-up every few milliseconds.
  platform_.eventLoop().processEventsFor(duration);
}

bool Operator::writeImage(const std::string& name, const std::string& bytes) {
  Files& files = platform_.files();
  return files.replaceFile(files.currentFolder() + files.separator() + name, bytes);
}

bool Operator::chooseImage(const std::string& name) {
  ComboBox& box = w().MENU_NOM_FICHIER;
  box.userFocusIn();
  for (int i = 0; i < box.itemCount(); ++i) {
    if (box.item(i) == name) box.userPick(i);
  }
  box.userFocusOut();
  return w().NOM_FICHIER.text() == name;
}

void Operator::typeAddress(const std::string& address) {
  ComboBox& box = w().INP_IP;
  box.userEdit(std::string());
  box.userType(address);
}

bool Operator::pickAddress(const std::string& address) {
  const auto& items = w().INP_IP.items();
  const auto found = std::find(items.begin(), items.end(), address);
  return found != items.end() && w().INP_IP.userPick(static_cast<int>(found - items.begin()));
}

bool Operator::connected() const {
  return w().connected();
}

void Operator::ask(const std::string& address) {
  typeAddress(address);
  w().B_ASK.userClick();
}

void Operator::clearTerminalLists() {
  const bool was = w().allTerminals();
  allTerminals(true);
  w().AFF_ALL_NB.userDblClick();
  allTerminals(was);
}

std::vector<std::string> Operator::listed() const {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(w().LST_ALL.count()));
  for (int i = 0; i < w().LST_ALL.count(); ++i) lines.push_back(w().LST_ALL.line(i));
  return lines;
}

void Operator::listOnly(const std::vector<std::string>& addresses, Micros wait) {
  // Asked one by one in single-terminal mode, as a technician types each
  // address and presses ASK.
  allTerminals(false);
  loader_.discovery().restrictTo(addresses);
  clearTerminalLists();
  for (const std::string& address : addresses) ask(address);
  waitUntil([&] { return listed().size() >= addresses.size(); }, wait);
  loader_.report().expected = addresses;
  allTerminals(true);
}

void Operator::allTerminals(bool on) {
  if (w().allTerminals() != on) w().SW_ALL.userClick();
}

void Operator::setRange(int from, int to) {
  w().SCROLL_XTOY_0.userSetValue(from);
  w().SCROLL_XTOY_1.userSetValue(to);
}

int Operator::markedLines() const {
  int marked = 0;
  for (int i = 0; i < w().LST_ALL.count(); ++i) marked += w().LST_ALL.selected(i) ? 1 : 0;
  return marked;
}

bool Operator::allConnected() const {
  return w().allConnected();
}

Operator::Update Operator::update(std::optional<Micros> limit) {
  w().B_UPDATE.userClick();
  // A started update disables the window within the click; a refused one
  // leaves it as it was, with its message box shown.
  if (w().PROG_PRIN.enabled()) return Update::Refused;
  if (!limit) {
    const Micros length = timetable();
    limit = length + length / 4 + Micros(60'000'000);
  }
  return waitUntil([this] { return w().PROG_PRIN.enabled(); }, *limit) ? Update::Ran
                                                                       : Update::TimedOut;
}

Micros Operator::timetable() const {
  // The window is disabled while an update runs: the settings stay as laid.
  return timetableOf(loader_.sendTable().NB_ENV - 9);
}

Micros Operator::timetableOf(int blocks) const {
  return timetableLength(blocks, blockPace(w().INP_DEL.text()).value_or(100),
                         w().SW_GO_BOOT.value() == 1,
                         bootRequestGoesWhole(w().MENU_NOM_FICHIER.text()));
}

std::vector<std::string> Operator::failures() const {
  return w().LST_ALL_ERR.items();
}

std::vector<TerminalView> Operator::terminals() const {
  const auto listed = failures();
  const auto failed = [&](const std::string& address) {
    return std::find(listed.begin(), listed.end(), kFailurePrefix + address) != listed.end();
  };
  std::vector<TerminalView> shown;
  if (!w().allTerminals()) {
    const TcpSocket* single = w().TCPIP.element(0);
    const std::string address = single != nullptr ? single->remoteHost() : std::string();
    shown.push_back({0, address, connected(), w().AFF_STATUS0.text(), failed(address)});
    return shown;
  }
  const ListBox& lines = w().LST_ALL;
  for (int i = 0; i < lines.count(); ++i) {
    const std::string status = w().LST_STATUS.hasLine(i) ? w().LST_STATUS.line(i) : std::string();
    shown.push_back({i, lines.line(i), lines.selected(i), status, failed(lines.line(i))});
  }
  return shown;
}

}  // namespace korven
