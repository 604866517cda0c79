#!/bin/bash
# A PC on two networks: the program's namespace joined by two virtual links
# to two segments, each with simulated terminals, the default route through
# the first. Broadcasts must reach both segments, each once per frame; with
# --interface only the one named; with only loopback, one datagram a frame.
# Run inside a private network namespace:
#   tools/in-netns tests/e2e/several-networks.sh BUILD_BIN_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
if [ "$(id -u)" != 0 ] || ! ip netns add "kn$$probe" 2>/dev/null; then
  echo "several-networks: SKIPPED: needs root that can make named network namespaces"
  exit 77
fi
ip netns del "kn$$probe"
work=$(mktemp -d)
tag=kn$$
pc=${tag}pc
segments=(${tag}a ${tag}b)
sims=()
failures=0

cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  for ns in "$pc" "${segments[@]}"; do ip netns del "$ns" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

check() { # WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    echo "ok: $1 ($3)"
  else
    echo "FAILED: $1: expected $2, got $3"
    failures=$((failures + 1))
  fi
}

# Segment N (1, 2): 198.18.N.1 at its end of the link, terminals 198.18.N.16
# to .18 on the segment, the PC at 198.18.N.2.
ip netns add "$pc"
ip -n "$pc" link set lo up
for n in 1 2; do
  ns=${segments[$((n - 1))]}
  ip netns add "$ns"
  ip -n "$ns" link set lo up
  ip link add "${tag}p$n" netns "$pc" type veth peer name "${tag}s$n" netns "$ns"
  ip -n "$pc" addr add "198.18.$n.2/24" dev "${tag}p$n"
  ip -n "$pc" link set "${tag}p$n" up
  ip -n "$ns" addr add "198.18.$n.1/24" dev "${tag}s$n"
  ip -n "$ns" link set "${tag}s$n" up
  # Every address of the terminals is the segment's own, as if each were a box on it.
  ip -n "$ns" route add local "198.18.$n.16/30" dev lo
done
ip -n "$pc" route add default via 198.18.1.1

cd "$work"
head -c 16 /dev/zero >FW_WG.BIN
head -c 200 /dev/urandom | tr '\000' '\001' >>FW_WG.BIN
tail -c 200 FW_WG.BIN >expected.bin
for n in 1 2; do
  ip netns exec "${segments[$((n - 1))]}" "$bin/korven-sim" --first "198.18.$n.16" --count 3 \
    --image expected.bin --boot whole --early-tolerance 5 --late-tolerance 60000 \
    --wait-late-tolerance 60000 </dev/null >"segment$n.log" 2>&1 &
  sims+=($!)
done
sleep 0.5

cli() { ip netns exec "$pc" "$bin/korven-cli" "$@" 2>>cli.log; }
count() { grep -c -- "$1" "$2" || true; }

check "terminals found on both networks" 6 "$(cli discover --wait 2 | wc -l)"
check "terminals found with --interface ${tag}p2" "198.18.2.16 198.18.2.17 198.18.2.18" \
  "$(cli discover --wait 2 --interface "${tag}p2" | awk '{print $2}' | xargs)"
cli mode go-boot --all >/dev/null
for n in 1 2; do
  check "GO BOOT frames seen on segment $n" 10 "$(count 'COMMAND GO BOOT broadcast' "segment$n.log")"
done
cli update FW_WG.BIN --all --wait 2 --verdict-wait 0 >update.txt || true
check "terminals streamed" 6 "$(count ' streamed' update.txt)"
sleep 0.2
for n in 1 2; do
  check "sound streams on segment $n" 3 "$(count 'blocks 4 OK' "segment$n.log")"
done

# Only loopback, as in the other tests: one datagram a frame, as before.
"$bin/korven-sim" --count 2 </dev/null >loopback.log 2>&1 &
sims+=($!)
sleep 0.3
"$bin/korven-cli" mode go-boot --all >/dev/null 2>>cli.log
check "GO BOOT frames seen with only loopback" 10 "$(count 'COMMAND GO BOOT broadcast' loopback.log)"

if [ "$failures" -ne 0 ]; then
  echo "--- korven-cli said:"; cat cli.log
  exit 1
fi
