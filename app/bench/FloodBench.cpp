// A discovery flood: 1,000 simulated terminals answer the start-up query ten
// times each, 10,000 replies within one second. It prints the lines listed
// and the longest time the window went without handling its events,
// measured as the largest gap between the ticks of a 1 ms precise timer
// (which also ticks inside the handlers that process pending events).
//   usage: flood_bench   (inside tools/in-netns)
#include <QApplication>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "app/SimProcess.h"
#include "app/bench/BenchProgram.h"

using namespace korven::bench;

int main(int argc, char** argv) {
  constexpr int kTerminals = 1000;
  constexpr int kAnswers = 10;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  BenchProgram program;
  korven::simproc::SimProcess sim;
  // 70 us between replies, and the time to send each: 10,000 in about one second.
  if (!sim.start(simulatorPath(), {"--count", QString::number(kTerminals), "--answers",
                                   QString::number(kAnswers), "--reply-spacing", "70"})) {
    std::printf("flood: the simulator did not start\n%s", qPrintable(sim.output()));
    return 1;
  }
  if (!program.start()) return 1;
  korven::ProgPrin& w = program.w();

  int datagrams = 0;
  Clock::time_point firstDatagram;
  Clock::time_point lastDatagram;
  w.UDP_RX->onDataArrival.connect([&](std::size_t) {
    lastDatagram = Clock::now();
    if (datagrams++ == 0) firstDatagram = lastDatagram;
  });
  Clock::time_point lastListed;
  int listedBefore = 0;
  QTimer pulse;
  pulse.setTimerType(Qt::PreciseTimer);
  Clock::time_point lastPulse = Clock::now();
  double longestMs = 0;
  QObject::connect(&pulse, &QTimer::timeout, [&] {
    const Clock::time_point now = Clock::now();
    longestMs =
        std::max(longestMs, std::chrono::duration<double, std::milli>(now - lastPulse).count());
    lastPulse = now;
    if (w.LST_ALL.count() != listedBefore) {
      listedBefore = w.LST_ALL.count();
      lastListed = now;
    }
  });
  pulse.start(1);
  const Clock::time_point started = Clock::now();
  // The query goes out 500 ms after start-up; the replies take a second.
  program.waitFor([&] { return w.LST_ALL.count() == kTerminals; }, 10'000);
  program.runFor(1500);  // the rest of the flood: duplicates only
  pulse.stop();

  std::set<std::string> distinct;
  for (int i = 0; i < w.LST_ALL.count(); ++i) distinct.insert(w.LST_ALL.line(i));
  int answered = 0;
  for (const auto& t : sim.report()) answered += t.toObject().value("answered").toInt();
  const auto msBetween = [](Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
  };
  std::printf("flood: %d terminals answering %d times each; the simulator sent %d replies\n",
              kTerminals, kAnswers, answered);
  std::printf(
      "  datagrams the program read: %d, the first %.0f ms and the last %.0f ms after "
      "start-up (%.0f ms apart)\n",
      datagrams, msBetween(started, firstDatagram), msBetween(started, lastDatagram),
      msBetween(firstDatagram, lastDatagram));
  std::printf(
      "  lines listed in LST_ALL: %d, distinct %zu, AFF_ALL_NB %s; the last listed "
      "%.0f ms after the first datagram\n",
      w.LST_ALL.count(), distinct.size(), w.AFF_ALL_NB.text().c_str(),
      msBetween(firstDatagram, lastListed));
  std::printf(
      "  longest time without handling events (largest gap of a 1 ms precise timer): "
      "%.2f ms\n",
      longestMs);
  const bool met = w.LST_ALL.count() == kTerminals &&
                   static_cast<int>(distinct.size()) == kTerminals && longestMs <= 50;
  std::printf("  targets (1,000 lines, each once, longest gap <= 50 ms): %s\n",
              met ? "met" : "MISSED");
  return 0;
}
