// The text of korven-cli --help; korven-cli(1) says the same at length.
#include "app/cli/CliOptions.h"

namespace korven::cli {

const char* cliUsage() {
  return R"HELP(Usage: korven-cli discover [OPTION]...
       korven-cli update IMAGE TARGET [OPTION]...
       korven-cli mode MODE TARGET [OPTION]...
       korven-cli interfaces
       korven-cli history [ADDRESS...] [OPTION]...

The firmware loader without its window, for scripts: the same discovery, mode
commands and update stream as korven-loader. It works in the current folder
(images, reports) and never reads or writes TCP_BRD.CFG.

Commands:
  discover            list the number and address of every terminal that
                      answers the discovery query within --wait
  update IMAGE        stream IMAGE (a *.BIN file of the current folder, or a
                      path) to the terminals of TARGET, as UPDATE does
  mode MODE           send a mode frame ten times, as the window's buttons
                      do: go-boot, go-term, active, passive or show-mac
  interfaces          list the interfaces a broadcast goes out on (name,
                      address, broadcast address): each one up, not
                      loopback, that can broadcast
  history [ADDRESS...]
                      what each terminal last took (address, image, its
                      SHA-256's first 12 digits, outcome, clean, when), or
                      every run of the terminals given, newest first

Targets (update and mode need one; mode takes all but --retry):
  --terminal ADDRESS  one terminal
  --all               every terminal that answers within --wait
  --from N, --to M    with --all: only the terminals numbered N to M
  --terminals ADDRESS,...
                      the terminals given
  --retry REPORT      the terminals not clean in REPORT, in its waves
                      unless --waves is given (update)
  Only the terminals given are asked and streamed. An address is written
  as four numbers without leading zeros (10.0.0.7); a broadcast,
  unspecified, multicast or reserved address is refused.

Timing (update):
  --wait SECONDS      how long terminals may take to answer and connect
                      (default 3; discover takes it too)
  --delay MS          extra milliseconds per block (default 0: a block every
                      100 ms)
  --go-boot on|off    on: the boot request's bytes 1 s apart, then 1 s and
                      5 s; off: 3 s each (default on)
  --verdict-wait SECONDS
                      after the streams, how long to wait for each
                      terminal's verdict (default 10; 0: none)
  --waves SIZES       in waves, each one batch: counts or percentages of the
                      terminals, the last one repeated (1,10%,100%)
  --max-failed N|P%   after a wave, stop when more than N terminals (or P% of
                      those updated) are not clean (default 0)
  --pause-between-waves SECONDS
                      a pause after each wave (default 0)
  --dry-run           all but the sending: discovery, connections, the image
                      read, the plan; the report says "planned" or "held
                      back" (written only with --report)

Night runs (update):
  --window START-END  every update ends before END, local time (22:00-05:00,
                      or HH:MM:SS; an END before START crosses midnight): a
                      wave starts only if its streams, its verdict wait and
                      the pause after it fit; the rest are "held back".
                      Outside the window the run finds its terminals, then
                      waits for START
  --window-now-or-never
                      outside the window, end at once, every terminal held
                      back, instead of waiting
  --retries N         after each wave (or the batch), stream its terminals
                      that were cut, not connected or said CHKERR again, up
                      to N times (default 0), each in the window
  --retry-pause SECONDS
                      the pause before each retry (default 30)
  The plan (each wave's size, start and end) is printed before the first
  byte, and each update says when it ends.

Trust (update):
  --sha256 HEX        refuse, before anything is sent, an image whose
                      SHA-256 is not HEX (as sha256sum prints it)
  --require-verdict   a terminal that says nothing after its stream is not
                      clean (exit 1, and --retry takes it)
  --skip-current      not the terminals whose latest record in the history is
                      clean with this image's SHA-256: "already current"

History (update, history):
  --history FILE      the fleet's memory (default history.sqlite in the
                      current folder); every update is kept in it
  --no-history        keep none (update)
  --pending           history: the terminals whose latest record is not a
                      current one of --image NAME or --sha256 HEX
  --import            history: record the report files given instead of
                      addresses, each once

Networks (discover, update, mode):
  --interface NAME,...
                      broadcasts (the query, frames to all terminals) go out
                      on these interfaces only; by default on every one
                      korven-cli interfaces lists

Output:
  --report FILE       the run's one report, made before anything is sent
                      (default reports/DATE_TIME_IMAGE.csv)
  --json              the report (mode: what was sent), or an error, as
                      JSON on stdout
  --quiet             nothing on stderr but errors and the closing tally
  --verbose           the window's start-up notice too
  --help, --version

Progress goes to stderr: on a terminal a bar, otherwise a line per step and
one every 10 s, with the time left by the update's timetable and how many
terminals are connected, streamed and failed. The steps are named in the
terminals' words, as the window shows them:
  GO TO THE BOOT      the boot request, which sends each terminal into its
                      boot loader, and the waits after it
  PROGRAM THE QVL     the image: its blocks, end marker and checksum, which
                      the terminal writes into its memory
After the streams, each terminal is connected again to hear its verdict
(NEW, TERM, CHKERR, FULL); one that says nothing is "streamed, no verdict".
Last comes a tally: how many terminals streamed clean, streamed with no
verdict, were cut (at which piece) or were not connected, and the report.

Exit status:
  0  every terminal of the update streamed and none replied CHKERR or FULL
     (with --require-verdict: each said NEW or TERM; a dry run: every one
     connected, none held back; a retry: nothing left to retry)
  1  some did not, or were held back, or the report could not be written
  2  bad usage, or the update was refused before anything was sent (an
     image not as given, a report that cannot be made)
  3  no terminal answered, or the one terminal did not connect in time

Examples:
  korven-cli discover
  korven-cli update FW_WG.BIN --terminal 10.0.0.7
  korven-cli update FW_WG.BIN --all --waves 1,10%,100% --report site.csv
  korven-cli update FW_WG.BIN --retry site.csv
  korven-cli update FW_WG.BIN --all --waves 25% --window 22:00-05:00 --retries 2
  korven-cli update FW_WG.BIN --all --sha256 "$(cut -c1-64 FW_WG.BIN.sha256)"
  korven-cli update FW_WG.BIN --all --skip-current
  korven-cli history --pending --image FW_WG.BIN
  korven-cli mode go-boot --all

Manual pages: korven-cli(1), korven-report(5), korven-history(5).
)HELP";
}

}  // namespace korven::cli
