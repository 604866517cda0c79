#!/bin/sh
# ./dev with a command it does not know: one line naming it (and the command
# meant, when near), then the usage, exit 2.
#   usage: dev-unknown-command.sh PATH_OF_DEV
dev=$1
failed=0
check() { # TYPED EXPECTED_FIRST_LINE
  first=$("$dev" "$1" 2>&1 >/dev/null | head -n 1)
  "$dev" "$1" >/dev/null 2>&1
  rc=$?
  if [ "$rc" != 2 ] || [ "$first" != "$2" ]; then
    echo "./dev $1: exit $rc, first line: $first (expected exit 2, $2)"
    failed=1
  fi
}
check bogus "dev: unknown command 'bogus'"
check tset "dev: unknown command 'tset'; did you mean 'test'?"
check package-chek "dev: unknown command 'package-chek'; did you mean 'package-check'?"
check fleet "dev: unknown command 'fleet'; did you mean 'fleet-build'?"
[ "$("$dev" bogus 2>&1 | sed -n 2p)" = "usage: ./dev COMMAND [ARG...]" ] ||
  { echo "./dev bogus: no usage after the line"; failed=1; }
exit $failed
