#include "sim/Options.h"

#include <algorithm>
#include <charconv>

namespace korven::sim {

namespace {

constexpr std::uint32_t kLoopbackNet = 127u << 24;
constexpr std::uint32_t kLastLoopback = (127u << 24) | 0xFFFFFE;  // 127.255.255.254
constexpr std::uint32_t kTestNet = 0xC6120000u;                   // 198.18.0.0/15
constexpr std::uint32_t kLastTestNet = 0xC613FFFEu;               // 198.19.255.254

// The network the first terminal lies in: loopback, or the test range.
bool inTestNet(std::uint32_t address) {
  return (address & 0xFFFE0000u) == kTestNet;
}
constexpr int kMaxCount = 100'000;

std::optional<long long> parseInt(const std::string& text, long long min, long long max) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [next, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || next != end || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

struct Pending {
  std::string target;
  std::string kind;
  std::string arg;
  std::string option;  // as given, for the error line
  bool after = false;  // --status-after
};

bool applyPending(Faults& f, const Pending& p, std::string& error) {
  const auto needArg = [&](bool wanted) {
    if (wanted && p.arg.empty()) {
      error = "--fault " + p.option + ": " + p.kind + " needs an argument";
      return false;
    }
    if (!wanted && !p.arg.empty()) {
      error = "--fault " + p.option + ": " + p.kind + " takes no argument";
      return false;
    }
    return true;
  };
  if (p.kind == "refuse" || p.kind == "silent" || p.kind == "answer-twice" ||
      p.kind == "malformed-reply" || p.kind == "announce-on-connect") {
    if (!needArg(false)) return false;
    if (p.kind == "refuse") f.refuse = true;
    if (p.kind == "silent") f.silent = true;
    if (p.kind == "answer-twice") f.answerTwice = true;
    if (p.kind == "malformed-reply") f.malformedReply = true;
    if (p.kind == "announce-on-connect") f.announceOnConnect = true;
    return true;
  }
  if (p.kind == "slow-accept") {
    if (!needArg(true)) return false;
    const auto ms = parseInt(p.arg, 1, 600'000);
    if (!ms) {
      error = "--fault " + p.option + ": the delay must be 1 to 600000 ms";
      return false;
    }
    f.slowAccept = *ms * 1000;
    return true;
  }
  if (p.kind == "close-after" || p.kind == "close-once-after" || p.kind == "stop-reading") {
    if (!needArg(true)) return false;
    const auto k = parseInt(p.arg, 0, 100'000);
    if (!k) {
      error = "--fault " + p.option + ": the block number must be 0 or more";
      return false;
    }
    (p.kind == "stop-reading" ? f.stopReadingAfterBlock : f.closeAfterBlock) = static_cast<int>(*k);
    f.closeOnce = p.kind == "close-once-after";
    return true;
  }
  if (p.kind == "status-during") {
    if (!needArg(true)) return false;
    const auto code = parseStatusCode(p.arg);
    if (!code) {
      error = "--fault " + p.option + ": unknown status " + p.arg;
      return false;
    }
    f.statusDuring = *code;
    return true;
  }
  error = "--fault " + p.option + ": unknown fault " + p.kind;
  return false;
}

}  // namespace

bool applyFault(Faults& faults, const std::string& kindAndArg, std::string& error) {
  Pending p;
  p.option = kindAndArg;
  const auto colon = kindAndArg.find(':');
  p.kind = kindAndArg.substr(0, colon);
  if (colon != std::string::npos) p.arg = kindAndArg.substr(colon + 1);
  return applyPending(faults, p, error);
}

std::string terminalsText(std::uint32_t first, int count) {
  const std::string last = formatIpv4(first + static_cast<std::uint32_t>(count - 1));
  return count == 1 ? "there is one, 0: " + formatIpv4(first)
                    : "there are " + std::to_string(count) + ", 0 to " + std::to_string(count - 1) +
                          ": " + formatIpv4(first) + " to " + last;
}

std::optional<std::size_t> terminalIndex(const std::string& name, std::uint32_t first, int count) {
  if (name.find('.') != std::string::npos) {
    const auto address = parseIpv4(name);
    if (!address || *address < first || *address - first >= static_cast<std::uint32_t>(count)) {
      return std::nullopt;
    }
    return *address - first;
  }
  // Counted from 0, as korven-cli, the window's lists and the reports count.
  const auto n = parseInt(name, 0, count - 1);
  if (!n) return std::nullopt;
  return static_cast<std::size_t>(*n);
}

std::optional<SimOptions> parseOptions(const std::vector<std::string>& args, std::string& error) {
  SimOptions o;
  std::vector<Pending> faults;
  std::vector<Pending> statuses;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      o.help = true;
      return o;
    }
    if (a == "--version") {
      o.version = true;
      return o;
    }
    if (a == "--until-signal") {
      o.untilSignal = true;
      continue;
    }
    if (a.rfind("--", 0) != 0) {
      error = "unexpected argument: " + a;
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      error = a + " needs a value";
      return std::nullopt;
    }
    const std::string& v = args[++i];
    const auto ms = [&](long long min, long long max) -> std::optional<TimeUs> {
      const auto n = parseInt(v, min, max);
      if (!n) {
        error = a;
        error += ": expected a whole number of milliseconds from " + std::to_string(min);
        error += " to " + std::to_string(max) + ", got \"" + v + "\"";
        return std::nullopt;
      }
      return *n * 1000;
    };
    if (a == "--count") {
      const auto n = parseInt(v, 1, kMaxCount);
      if (!n) {
        error = "--count: expected 1 to " + std::to_string(kMaxCount) + ", got \"" + v + "\"";
        return std::nullopt;
      }
      o.count = static_cast<int>(*n);
    } else if (a == "--first") {
      const auto address = parseIpv4(v);
      if (!address || !(((*address >> 24) == 127 && *address != kLoopbackNet) ||
                        (inTestNet(*address) && *address != kTestNet))) {
        error =
            "--first: expected a loopback address such as 127.0.0.2 (or, in a test's own "
            "segment, one of 198.18.0.0/15), got \"" +
            v + "\"";
        return std::nullopt;
      }
      o.first = *address;
    } else if (a == "--image") {
      o.imagePath = v;
    } else if (a == "--report") {
      o.reportPath = v;
    } else if (a == "--fault" || a == "--status" || a == "--status-after") {
      Pending p;
      p.option = v;
      const auto colon = v.find(':');
      if (colon == std::string::npos || colon == 0 || colon + 1 == v.size()) {
        error = a;
        error += " " + v + ": expected ";
        error += a == "--fault" ? "TERMINAL:KIND[:ARG]" : "TERMINAL:CODE";
        return std::nullopt;
      }
      p.after = a == "--status-after";
      p.target = v.substr(0, colon);
      const std::string rest = v.substr(colon + 1);
      const auto second = rest.find(':');
      p.kind = rest.substr(0, second);
      if (second != std::string::npos) p.arg = rest.substr(second + 1);
      (a == "--fault" ? faults : statuses).push_back(p);
    } else if (a == "--reply-spacing") {
      const auto n = parseInt(v, 0, 1'000'000);
      if (!n) {
        error = "--reply-spacing: expected 0 to 1000000 microseconds, got \"" + v + "\"";
        return std::nullopt;
      }
      o.replySpacing = *n;
    } else if (a == "--answers") {
      const auto n = parseInt(v, 1, 1000);
      if (!n) {
        error = "--answers: expected 1 to 1000, got \"" + v + "\"";
        return std::nullopt;
      }
      o.answers = static_cast<int>(*n);
    } else if (a == "--pace") {
      const auto t = ms(1, 65535);
      if (!t) return std::nullopt;
      o.pace = *t;
    } else if (a == "--early-tolerance") {
      const auto t = ms(0, 60'000);
      if (!t) return std::nullopt;
      o.earlyTolerance = *t;
    } else if (a == "--late-tolerance") {
      const auto t = ms(0, 60'000);
      if (!t) return std::nullopt;
      o.lateTolerance = *t;
    } else if (a == "--wait-late-tolerance") {
      const auto t = ms(0, 60'000);
      if (!t) return std::nullopt;
      o.waitLateTolerance = *t;
    } else if (a == "--go-boot") {
      if (v != "on" && v != "off") {
        error = "--go-boot: expected on or off, got \"" + v + "\"";
        return std::nullopt;
      }
      o.goBoot = v == "on";
    } else if (a == "--boot") {
      if (v != "bytes" && v != "whole") {
        error = "--boot: expected bytes or whole, got \"" + v + "\"";
        return std::nullopt;
      }
      o.boot = v == "bytes" ? BootStyle::Bytes : BootStyle::Whole;
    } else {
      error = "unknown option: " + a;
      return std::nullopt;
    }
  }
  const std::uint32_t last = inTestNet(o.first) ? kLastTestNet : kLastLoopback;
  if (o.first + static_cast<std::uint32_t>(o.count - 1) > last ||
      o.first + static_cast<std::uint32_t>(o.count - 1) < o.first) {
    error = "--count " + std::to_string(o.count) + " from " + formatIpv4(o.first) + " runs past " +
            formatIpv4(last);
    return std::nullopt;
  }
  o.terminals.resize(static_cast<std::size_t>(o.count));
  for (std::size_t i = 0; i < o.terminals.size(); ++i) {
    o.terminals[i].address = o.first + static_cast<std::uint32_t>(i);
    o.terminals[i].answers = o.answers;
  }
  const auto find = [&](const Pending& p, const char* option) -> TerminalConfig* {
    const auto index = terminalIndex(p.target, o.first, o.count);
    if (!index) {
      error = std::string(option) + " " + p.option + ": no terminal " + p.target + " (" +
              terminalsText(o.first, o.count) + ")";
      return nullptr;
    }
    return &o.terminals[*index];
  };
  for (const Pending& p : faults) {
    TerminalConfig* t = find(p, "--fault");
    if (!t || !applyPending(t->faults, p, error)) return std::nullopt;
  }
  for (const Pending& p : statuses) {
    const char* option = p.after ? "--status-after" : "--status";
    TerminalConfig* t = find(p, option);
    if (!t) return std::nullopt;
    const auto code = p.arg.empty() ? parseStatusCode(p.kind) : std::nullopt;
    if (!code) {
      error = std::string(option) + " " + p.option +
              ": unknown status (NEW, CHKERR, FULL, TERM or a hex byte)";
      return std::nullopt;
    }
    (p.after ? t->statusAfterSoundStream : t->statusOnConnect) = *code;
  }
  return o;
}

Expectations expectationsFrom(const SimOptions& options) {
  Expectations e;
  e.pace = options.pace;
  // Pieces are told apart by the pause before them, so the cut must stay
  // below the shortest pause the timetable sets.
  e.pieceGap = std::min<TimeUs>(40'000, options.pace / 2);
  e.goBoot = options.goBoot;
  e.boot = options.boot;
  e.earlyTolerance = options.earlyTolerance;
  e.lateTolerance = options.lateTolerance;
  e.waitLateTolerance = options.waitLateTolerance.value_or(options.lateTolerance);
  return e;
}

const char* usageText() {
  return R"(Usage: korven-sim [OPTION]...

Simulated KORVEN terminals on consecutive loopback addresses, to try
korven-loader and korven-cli without hardware. Each terminal answers the
discovery query (UDP port 1024; its reply goes to port 2024), takes the mode
frames, accepts update streams on TCP port 1024 and judges each one: its
bytes, their order and the pauses between them. It answers broadcasts: run
it only in a private network namespace (korven-sim(1) shows how).

Terminals:
  --count N              how many (default 8)
  --first ADDRESS        the first one's address: loopback (default
                         127.0.0.2) or, on a test's own segment, 198.18.0.0/15
  --fault T:KIND[:ARG]   a fault of terminal T (repeatable), KIND one of:
      refuse               refuses every connection
      slow-accept:MS       accepts a connection only after MS ms
      close-after:K        hangs up once block K has come
      close-once-after:K   the same on its first stream only, as a cable
                           pulled once: a retry goes through
      stop-reading:K       reads nothing more once block K has come, with
                           a receive buffer of a few KiB
      status-during:CODE   says CODE once the first block has come
      silent               never answers the query
      answer-twice         answers each query twice
      malformed-reply      answers with a reply without its commas
      announce-on-connect  sends its reply, unasked, whenever another
                           terminal accepts a connection
  --status T:CODE        what T says on each new connection (repeatable)
  --status-after T:CODE  what T says instead once it took a sound stream
  --answers N            replies of each terminal to each query (default 1)
  --reply-spacing US     microseconds between the replies to one query
                         (default 200; 0: back to back)

What a stream must be:
  --image FILE           the image it carries (leading zero bytes dropped)
  --pace MS              the block pace (default 100)
  --go-boot on|off       on: the boot request's bytes 1 s apart, then 1 s
                         and 5 s; off: 3 s each (default on)
  --boot bytes|whole     the boot request byte by byte, or in one piece as
                         for an image whose name holds WG (default bytes)
  --early-tolerance MS   a pause shorter by more is a fault (default 2)
  --late-tolerance MS    a pause longer by more is a fault (default 100)
  --wait-late-tolerance MS
                         the same for the boot step's waits (default: the
                         late tolerance)

Running:
  --report FILE          the record of every terminal and stream, as JSON,
                         written on the command report, at quit, and at
                         SIGINT or SIGTERM
  --until-signal         read no commands: run until SIGINT or SIGTERM,
                         whatever the standard input (in the background)
  --help, --version

T is a terminal's address or its number counted from 0 in address order
(the first address is 0), as korven-cli counts. CODE is NEW, CHKERR, FULL,
TERM or a byte in hex. The pieces of a stream are told apart by a pause of
40 ms (or half the pace, if shorter).

Commands on the standard input, one a line; its end is no quit:
  report                 write the --report file now
  forget                 drop the streams that have ended
  status T CODE          say CODE on T's open connections
  fault T KIND[:ARG]     add a fault (not slow-accept); "fault T none"
                         clears T's faults
  quit                   write the report and end
)";
}

}  // namespace korven::sim
