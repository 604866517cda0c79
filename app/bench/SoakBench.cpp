// Consecutive all-terminals updates of a small image to 20 simulated
// terminals, the mode switched off and on between them, a random tenth of
// the terminals faulted each round. Per round: who was verified and whether
// every faulted terminal was listed as failed; at the end the program's
// descriptors and resident memory over the run.
//   usage: soak_bench [ROUNDS [SEED]]   (inside tools/in-netns)
#include <QApplication>
#include <QJsonObject>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/SimProcess.h"
#include "app/bench/BenchProgram.h"
#include "operator/Images.h"
#include "platform/system/StdFiles.h"

using namespace korven::bench;

namespace {

constexpr int kTerminals = 20;
constexpr int kFaulted = kTerminals / 10;
const char* const kImage = "SOAK_WG.BIN";
// A refusing terminal fails every send; one that hangs up after the boot
// request or after block 2 fails the sends after that.
const char* const kFaults[] = {"refuse", "close-after:0", "close-after:2"};

std::string addressOf(int terminal) {
  return "127.0.0." + std::to_string(2 + terminal);
}

struct Sample {
  int round;
  int descriptors;
  long residentKb;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
  const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 2026;
  if (rounds < 1) {
    std::fprintf(stderr, "usage: soak_bench [ROUNDS [SEED]]\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  BenchProgram program;
  const std::string image = korven::imageOf(3, 41, 13);
  const QString imagePath = program.folder() + "/" + kImage;
  korven::simproc::SimProcess sim;
  // As in the batch bench: 5 ms of the simulator's own read jitter allowed.
  if (!korven::StdFiles().replaceFile(imagePath.toStdString(), image) ||
      !sim.start(simulatorPath(), {"--count", QString::number(kTerminals), "--image", imagePath,
                                   "--boot", "whole", "--early-tolerance", "5"})) {
    std::printf("soak: the simulator did not start\n%s", qPrintable(sim.output()));
    return 1;
  }
  if (!program.start()) return 1;
  korven::ProgPrin& w = program.w();
  if (!program.waitFor([&] { return w.LST_ALL.count() == kTerminals; }, 10'000) ||
      !program.chooseImage(kImage, image)) {
    std::printf("soak: %d of %d terminals listed\n", w.LST_ALL.count(), kTerminals);
    return 1;
  }
  std::printf("soak: %d rounds, %d terminals, %d faulted per round (seed %u)\n", rounds, kTerminals,
              kFaulted, seed);

  std::mt19937 random(seed);
  std::map<int, std::string> faulted;  // terminal -> fault of this round
  std::vector<Sample> samples;
  int roundsMet = 0;
  for (int round = 1; round <= rounds; ++round) {
    for (const auto& [t, kind] : faulted) {
      sim.command(QString("fault %1 none").arg(t), {"FAULT", "ERROR"});
    }
    faulted.clear();
    while (static_cast<int>(faulted.size()) < kFaulted) {
      const int t = static_cast<int>(random() % kTerminals);
      faulted.emplace(t, kFaults[random() % std::size(kFaults)]);
    }
    bool commandsOk = true;
    for (const auto& [t, kind] : faulted) {
      const QString answer =
          sim.command(QString("fault %1 %2").arg(t).arg(kind.c_str()), {"FAULT", "ERROR"});
      commandsOk = commandsOk && answer.startsWith("FAULT");
    }
    int refusing = 0;
    for (const auto& [t, kind] : faulted) refusing += kind == "refuse" ? 1 : 0;

    if (w.allTerminals()) program.clickAllTerminals();
    program.runFor(100);
    program.clickAllTerminals();
    const bool connected =
        program.waitFor([&] { return program.markedLines() == kTerminals - refusing; }, 5000);
    program.runFor(300);  // the refusers have been tried
    const double took = program.update(60'000);
    program.runFor(300);  // the simulator sees the closes

    // Each report holds this round's streams only: a report that grew
    // with the run would make the bench's own memory grow.
    const QJsonArray terminals = sim.report();
    const bool forgotten = !sim.command("forget", {"FORGOTTEN", "ERROR"}).isEmpty();
    const std::vector<std::string> failed = program.failures();
    const auto listed = [&](int t) {
      return std::find(failed.begin(), failed.end(), "ERR ---> " + addressOf(t)) != failed.end();
    };
    int verified = 0;
    int faultedListed = 0;
    std::string notVerified;
    std::string wronglyListed;
    for (int t = 0; t < kTerminals && t < terminals.size(); ++t) {
      const QJsonArray streams = terminals[t].toObject().value("streams").toArray();
      const int fresh = static_cast<int>(streams.size());
      const bool ok = fresh == 1 && streams.last().toObject().value("verdict").toString() == "ok";
      if (faulted.count(t) != 0) {
        faultedListed += listed(t) ? 1 : 0;
      } else {
        verified += ok ? 1 : 0;
        if (!ok) notVerified += " " + addressOf(t) + "(" + std::to_string(fresh) + " streams)";
        if (listed(t)) wronglyListed += " " + addressOf(t);
      }
    }
    std::string faults;
    for (const auto& [t, kind] : faulted) {
      faults += " " + addressOf(t) + " " + kind + (listed(t) ? " listed" : " NOT LISTED");
    }
    const bool met = commandsOk && forgotten && took > 0 && verified == kTerminals - kFaulted &&
                     faultedListed == kFaulted && wronglyListed.empty();
    roundsMet += met ? 1 : 0;
    std::printf("round %3d: %.2f s, %s, verified %d of %d non-faulted%s; faulted:%s%s%s\n", round,
                took, connected ? "connected" : "NOT all connected", verified,
                kTerminals - kFaulted, notVerified.empty() ? "" : (", not:" + notVerified).c_str(),
                faults.c_str(),
                wronglyListed.empty() ? "" : ("; listed but not faulted:" + wronglyListed).c_str(),
                met ? "" : "  <- MISSED");
    std::fflush(stdout);
    if (round == 1 || round == (rounds + 1) / 2 || round == rounds) {
      // Freed heap is handed back first, so what is measured is held.
      ::malloc_trim(0);
      samples.push_back({round, openDescriptors(), residentMemoryKb()});
    }
  }
  std::printf("soak: %d of %d rounds met every verdict\n", roundsMet, rounds);
  for (const Sample& s : samples) {
    std::printf("  after round %3d: %d open descriptors, resident memory %ld kB\n", s.round,
                s.descriptors, s.residentKb);
  }
  const Sample& first = samples.front();
  const Sample& last = samples.back();
  const bool flat = last.descriptors <= first.descriptors * 1.05 &&
                    static_cast<double>(last.residentKb) <= first.residentKb * 1.05;
  std::printf("  descriptors %+d, memory %+.1f %% from round %d to %d: %s\n",
              last.descriptors - first.descriptors,
              100.0 * static_cast<double>(last.residentKb - first.residentKb) /
                  static_cast<double>(first.residentKb),
              first.round, last.round, flat ? "flat (within 5 %)" : "NOT flat");
  return 0;
}
