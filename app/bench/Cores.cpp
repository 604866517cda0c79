#include "app/bench/Cores.h"

#include <sched.h>

namespace korven::bench {

int setCoresForTheReceivers() {
  cpu_set_t all;
  CPU_ZERO(&all);
  if (::sched_getaffinity(0, sizeof all, &all) != 0 || CPU_COUNT(&all) < 2) return -1;
  int kept = 0;
  while (!CPU_ISSET(kept, &all)) ++kept;
  cpu_set_t others = all;
  CPU_CLR(kept, &others);
  return ::sched_setaffinity(0, sizeof others, &others) == 0 ? kept : -1;
}

void keepTheSenderCore(int core) {
  if (core < 0) return;
  cpu_set_t mine;
  CPU_ZERO(&mine);
  CPU_SET(core, &mine);
  ::sched_setaffinity(0, sizeof mine, &mine);
}

}  // namespace korven::bench
