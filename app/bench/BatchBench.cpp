// An all-terminals update of the largest image to N simulated terminals:
// how long it takes against the timetable, how punctual the pauses were as
// the terminals received them, how far one piece fans out, and what it
// costs the program.   usage: batch_bench N [--unpinned] [--early US] [--no-history]
// (inside tools/in-netns)
#include <QApplication>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "app/SimProcess.h"
#include "app/bench/BenchProgram.h"
#include "app/bench/Cores.h"
#include "operator/Images.h"
#include "platform/system/SqliteHistory.h"
#include "platform/system/StdFiles.h"

namespace {

using namespace korven::bench;

constexpr int kBlocks = 991;                // the most the send table holds
const char* const kImage = "BATCH_WG.BIN";  // "WG": the boot request goes whole

// The nominal time from the click to the end tick, from the timetable, for
// three blocks or more, a "WG" file name, GO BOOT checked and INP_DEL "0"
// (block pace 100 ms): the first tick one block pace after the click; the
// two lead-in ticks and the boot request 1 ms apart; after the boot request
// 1 s, the next tick 1 ms later, and there 5 s before block 1; blocks 1 to
// B-1 one block pace apart; from the second-to-last block on, 600 ms before
// each of the eight pieces after it (the last block, the five end-marker
// bytes, the checksum and the end).
double nominalSeconds(int blocks) {
  const double pace = 0.100;
  const double tick = 0.001;
  return pace + 2 * tick + 1.0 + tick + 5.0 + (blocks - 2) * pace + 8 * 0.600;
}

struct Gaps {
  long long expected = 0;
  long long count = 0;
  long long min = -1;
  long long max = 0;
  long long early = 0;
  long long worstEarly = 0;
  long long worstLate = 0;
  std::map<int, long long> lateMs;
};

// Gap statistics per kind over every stream of every terminal.
std::map<QString, Gaps> mergeGaps(const QJsonArray& terminals) {
  std::map<QString, Gaps> all;
  for (const auto& t : terminals) {
    for (const auto& s : t.toObject().value("streams").toArray()) {
      const QJsonObject gaps = s.toObject().value("gaps").toObject();
      for (auto it = gaps.begin(); it != gaps.end(); ++it) {
        const QJsonObject g = it.value().toObject();
        Gaps& m = all[it.key()];
        const long long count = g.value("count").toInteger();
        m.expected = g.value("expected_us").toInteger();
        if (count == 0) continue;
        m.count += count;
        const long long lo = g.value("min_us").toInteger();
        m.min = m.min < 0 ? lo : std::min(m.min, lo);
        m.max = std::max(m.max, g.value("max_us").toInteger());
        m.early += g.value("early_count").toInteger();
        m.worstEarly = std::max(m.worstEarly, g.value("worst_early_us").toInteger());
        m.worstLate = std::max(m.worstLate, g.value("worst_late_us").toInteger());
        const QJsonObject late = g.value("late_ms").toObject();
        for (auto l = late.begin(); l != late.end(); ++l) {
          m.lateMs[l.key().toInt()] += l.value().toInteger();
        }
      }
    }
  }
  return all;
}

// The lateness below which the given share of the pauses lies, in whole ms.
int percentile(const std::map<int, long long>& histogram, double share) {
  long long total = 0;
  for (const auto& [ms, n] : histogram) total += n;
  long long seen = 0;
  for (const auto& [ms, n] : histogram) {
    seen += n;
    if (static_cast<double>(seen) >= share * static_cast<double>(total)) return ms;
  }
  return -1;
}

double ms(long long us) {
  return static_cast<double>(us) / 1000.0;
}

int fail(const char* what, const korven::simproc::SimProcess& sim) {
  std::printf("batch: %s\n%s", what, qPrintable(sim.output()));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 0;
  // --unpinned: the program and the simulator share every core, as on a
  // technician's PC where nothing is pinned. --early US: timed waits are
  // woken US microseconds before their end and spend the rest on
  // processing points, to measure whether that makes pauses more punctual.
  bool unpinned = false;
  long wakeEarly = 0;
  // As the window does, the update is kept in a history beside its report;
  // --no-history measures it without.
  bool keepHistory = true;
  bool usage = n < 1 || n > 32767;
  for (int i = 2; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--unpinned") {
      unpinned = true;
    } else if (option == "--no-history") {
      keepHistory = false;
    } else if (option == "--early" && i + 1 < argc) {
      wakeEarly = std::atol(argv[++i]);
      usage = usage || wakeEarly < 0 || wakeEarly > 100'000;
    } else {
      usage = true;
    }
  }
  if (usage) {
    std::fprintf(stderr,
                 "usage: batch_bench N [--unpinned] [--early US] [--no-history]   (1 to 32767 "
                 "terminals)\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  BenchProgram program;
  const std::string image = korven::imageOf(kBlocks, 41, 29);
  korven::simproc::SimProcess sim;
  const QString imagePath = program.folder() + "/" + kImage;
  if (!korven::StdFiles().replaceFile(imagePath.toStdString(), image))
    return fail("cannot write the image", sim);
  // The simulator takes arrival times when it reads, and on a busy machine
  // one read can come a few ms late, making the next pause look short; the
  // end-to-end tests allow the same 5 ms. The waits after the boot request
  // start once it has gone to every terminal, so the first ones wait longer
  // by the whole fan-out.
  // Pinned, the simulator cannot preempt the program some forty times per
  // fan-out: each such stall would hold back every later terminal of the
  // piece, and the pause each is owed keeps them back at the next ones.
  const int programCore = unpinned ? -1 : setCoresForTheReceivers();
  const bool started = sim.start(
      simulatorPath(), {"--count", QString::number(n), "--image", imagePath, "--boot", "whole",
                        "--early-tolerance", "5", "--wait-late-tolerance", "500"});
  keepTheSenderCore(programCore);
  if (!started) return fail("the simulator did not start", sim);
  std::string historyProblem;
  const auto history =
      keepHistory ? korven::openHistory((program.folder() + "/history.sqlite").toStdString(),
                                        historyProblem)
                  : nullptr;
  if (keepHistory && !history) return fail(("history: " + historyProblem).c_str(), sim);
  program.keepHistory(history.get());
  if (!program.start()) return fail("start-up failed", sim);
  program.platform.backend().setWakeMargin(korven::Micros(wakeEarly));
  korven::ProgPrin& w = program.w();
  const auto listedAt = Clock::now();
  if (!program.waitFor([&] { return w.LST_ALL.count() == n; }, 15'000)) {
    std::printf("batch: %d of %d terminals listed\n", w.LST_ALL.count(), n);
    return 1;
  }
  const double listing = secondsSince(listedAt);
  if (!program.chooseImage(kImage, image)) return fail("cannot choose the image", sim);
  program.clickAllTerminals();
  const auto switchedAt = Clock::now();
  if (!program.waitFor([&] { return program.allConnected(); }, 60'000)) {
    std::printf("batch: AFF_ALL_NB still red, %d of %d connected\n", program.markedLines(), n);
    return 1;
  }
  const double connecting = secondsSince(switchedAt);

  // Blocks 1 to B-1 are at cursors 3 to B+1, so block pauses end at 4 to B+1.
  program.platform.blockGapTo = kBlocks + 1;
  const double cpuBefore = cpuSeconds();
  const double nominal = nominalSeconds(kBlocks);
  const double took = program.update(static_cast<int>(nominal * 3000) + 60'000);
  const double cpu = cpuSeconds() - cpuBefore;
  if (took < 0) return fail("the update did not end", sim);
  program.runFor(500);  // the simulator sees the last closes
  const QJsonArray terminals = sim.report();

  std::printf("batch N=%d: listed in %.2f s, all connected %.2f s after SW_ALL\n", n, listing,
              connecting);
  if (programCore >= 0) {
    std::printf("  program on core %d, the simulator on the other cores\n", programCore);
  } else {
    std::printf("  program and simulator share the cores\n");
  }
  std::printf("  history: %s\n", history ? "kept beside the report" : "none (--no-history)");
  std::printf("  platform: %s; timed waits woken %lld us before their end\n",
              korven::qt::QtPlatform::backendName(),
              static_cast<long long>(program.platform.backend().wakeMargin().count()));
  std::printf(
      "  update of %d blocks (%s): %.3f s from the click to the window enabled; "
      "nominal %.3f s; ratio %.4f\n",
      kBlocks, kImage, took, nominal, took / nominal);
  const auto gaps = mergeGaps(terminals);
  for (const auto& [kind, g] : gaps) {
    if (g.count == 0) continue;
    std::printf(
        "  gaps %-12s %7lld, expected %8.1f ms, min %8.1f, max %8.1f; "
        "early beyond tolerance %lld, worst early %.1f ms, worst late %.1f ms\n",
        qPrintable(kind), g.count, ms(g.expected), ms(g.min), ms(g.max), g.early, ms(g.worstEarly),
        ms(g.worstLate));
  }
  const Gaps& block = gaps.count("block") ? gaps.at("block") : Gaps{};
  std::printf(
      "  block gap lateness over all terminals: p50 %d ms, p99 %d ms, max %.1f ms "
      "(1 ms buckets)\n",
      percentile(block.lateMs, 0.50), percentile(block.lateMs, 0.99), ms(block.worstLate));
  std::printf(
      "  shortest block pause between two hand-overs to one socket, in the program: "
      "%.2f ms\n",
      program.platform.shortestBlockGapMs);
  int widest = -1;
  const double fanOut = program.platform.fanOut.longestMs(&widest);
  std::printf(
      "  fan-out of one piece (first to last SendData of the piece, timed in the program): "
      "median %.2f ms, longest %.2f ms (cursor %d)\n",
      program.platform.fanOut.medianMs(), fanOut, widest);
  long long bootWaitLate = 0;
  long long worstLate = 0;
  for (const auto& [kind, g] : gaps) {
    if (kind == "boot-byte" || kind == "boot-to-data") {
      bootWaitLate = std::max(bootWaitLate, g.worstLate);
    }
    worstLate = std::max(worstLate, g.worstLate);
  }
  std::printf("  worst lateness: of the boot step's waits %.1f ms, of any pause %.1f ms\n",
              ms(bootWaitLate), ms(worstLate));
  std::printf(
      "  program CPU over the update %.2f s (user+sys, %.1f %% of one core), peak "
      "memory %ld kB\n",
      cpu, 100 * cpu / took, peakMemoryKb());
  const int ok = verifiedTerminals(terminals);
  std::printf("  streams verified ok: %d of %d", ok, n);
  const auto bad = unverifiedTerminals(terminals);
  for (std::size_t i = 0; i < bad.size() && i < 5; ++i)
    std::printf("%s %s", i ? "," : " (not:", bad[i].c_str());
  std::printf("%s\n", bad.empty() ? "" : bad.size() > 5 ? ", ...)" : ")");
  // The first problems the simulator named, for a run that misses.
  int named = 0;
  for (const auto& t : terminals) {
    for (const auto& s : t.toObject().value("streams").toArray()) {
      for (const auto& p : s.toObject().value("problems").toArray()) {
        if (named++ < 3) {
          std::printf("    %s: %s\n", qPrintable(t.toObject().value("address").toString()),
                      qPrintable(p.toString()));
        }
      }
    }
  }
  long long early = 0;
  for (const auto& [kind, g] : gaps) early += g.early;
  const bool met = fanOut <= 20 && percentile(block.lateMs, 0.99) <= 1 && ms(worstLate) <= 25 &&
                   took / nominal <= 1.003 && cpu / took <= 0.15 && early == 0 && ok == n;
  std::printf(
      "  targets (fan-out <= 20 ms, p99 block lateness <= 1 ms, worst lateness <= 25 ms, "
      "ratio <= 1.003, CPU <= 15 %% of a core, 0 pauses early by more than 5 ms, every "
      "stream verified): %s\n",
      met ? "met" : "MISSED");
  std::fflush(stdout);
  return 0;
}
