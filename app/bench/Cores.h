#pragma once

// Pinning for the benchmarks that run a sender and its receivers on one
// machine: a local receiver woken by a send is placed by the kernel on the
// sender's core, where it preempts the sender; so, given two cores or more,
// the sender keeps one core and the receivers get the others.
namespace korven::bench {

// Restricts the calling thread, and what it starts from now on, to every
// core but the first allowed one; returns that core, or -1 when nothing was
// changed (fewer than two cores).
int setCoresForTheReceivers();

// Puts the calling thread back on `core`; nothing when it is negative.
void keepTheSenderCore(int core);

}  // namespace korven::bench
