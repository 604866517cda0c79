// Discovery at scale: N simulated terminals answer the start-up query all at
// once, their replies back to back. It prints the lines listed, the time
// from the query to the last line, the datagrams the program read against
// those the simulator sent (and those the kernel dropped for want of room),
// and the longest time the window went without handling its events,
// measured as the largest gap between the ticks of a 1 ms precise timer
// (which also ticks inside the handlers that process pending events).
//   usage: discovery_bench N   (inside tools/in-netns)
#include <QApplication>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "app/SimProcess.h"
#include "app/bench/BenchProgram.h"

namespace {

using namespace korven::bench;

// A run ends once every terminal is listed, or when no line came for this long.
constexpr int kQuietMs = 5000;
constexpr int kLimitMs = 600'000;
// After the last line: what the window still does for it (layouts, paints)
// counts towards the longest gap too.
constexpr int kAfterMs = 500;
constexpr int kReplyPort = 2024;  // where the program reads the replies

double msBetween(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

// The datagrams the kernel dropped on the UDP sockets bound to `port`, from
// /proc/net/udp of this network namespace; -1 when it cannot be read.
long kernelDrops(int port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  if (!std::getline(table, line)) return -1;  // the header
  long drops = 0;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot;
    std::string local;
    fields >> slot >> local;
    const auto colon = local.find(':');
    if (colon == std::string::npos || std::stol(local.substr(colon + 1), nullptr, 16) != port) {
      continue;
    }
    std::string last;
    for (std::string field; fields >> field;) last = field;
    drops += std::atol(last.c_str());
  }
  return drops;
}

}  // namespace

int main(int argc, char** argv) {
  const int terminals = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (terminals < 1 || terminals > 32767) {
    std::printf("usage: discovery_bench N   (1 to 32767 terminals)\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  BenchProgram program;
  korven::simproc::SimProcess sim;
  if (!sim.start(simulatorPath(),
                 {"--count", QString::number(terminals), "--reply-spacing", "0"})) {
    std::printf("discovery: the simulator did not start\n%s", qPrintable(sim.output()));
    return 1;
  }
  if (!program.start()) return 1;
  korven::ProgPrin& w = program.w();

  // Connected after the program's own handlers, so these run once the
  // query has gone and once a reply has been handled.
  Clock::time_point query;
  bool queried = false;
  double cpuAtQuery = 0;
  w.TIM_UDP_CALL->onTimer.connect([&] {
    query = Clock::now();
    queried = true;
    cpuAtQuery = cpuSeconds();
  });
  int datagrams = 0;
  int listed = 0;
  Clock::time_point lastListed;
  double cpuAtLastLine = 0;
  w.UDP_RX->onDataArrival.connect([&](std::size_t) {
    ++datagrams;
    if (w.LST_ALL.count() != listed) {
      listed = w.LST_ALL.count();
      lastListed = Clock::now();
      cpuAtLastLine = cpuSeconds();
    }
  });
  QTimer pulse;
  pulse.setTimerType(Qt::PreciseTimer);
  Clock::time_point lastPulse = Clock::now();
  double longestMs = 0;
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    if (queried) longestMs = std::max(longestMs, msBetween(lastPulse, now));
    lastPulse = now;
  });
  pulse.start(1);

  const Clock::time_point started = Clock::now();
  program.waitFor(
      [&] {
        if (listed == terminals) return true;
        // Over once no line came for a while; while none came, since the start.
        return msBetween(listed > 0 ? lastListed : started, Clock::now()) > kQuietMs;
      },
      kLimitMs);
  program.runFor(kAfterMs);
  pulse.stop();

  std::set<std::string> distinct;
  for (int i = 0; i < w.LST_ALL.count(); ++i) distinct.insert(w.LST_ALL.line(i));
  int sent = 0;
  for (const auto& t : sim.report()) sent += t.toObject().value("answered").toInt();
  const bool met = w.LST_ALL.count() == terminals &&
                   static_cast<int>(distinct.size()) == terminals && longestMs <= 100 &&
                   (terminals != 1000 || msBetween(query, lastListed) <= 1000);
  std::printf("discovery %d: %d of %d terminals listed (%zu distinct, AFF_ALL_NB %s)\n", terminals,
              w.LST_ALL.count(), terminals, distinct.size(), w.AFF_ALL_NB.text().c_str());
  std::printf("  the last line %.0f ms after the query; the program's CPU time meanwhile %.2f s\n",
              listed > 0 ? msBetween(query, lastListed) : -1.0, cpuAtLastLine - cpuAtQuery);
  std::printf("  datagrams: %d sent, %d read by the program, %ld dropped by the kernel\n", sent,
              datagrams, kernelDrops(kReplyPort));
  std::printf(
      "  longest time without handling events (largest gap of a 1 ms precise timer): %.1f ms\n",
      longestMs);
  std::printf("  targets (all listed; the last within 1 s at N = 1000; gap <= 100 ms): %s\n",
              met ? "met" : "MISSED");
  return 0;
}
