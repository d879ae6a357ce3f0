#include "app/thread_reservations.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace app {

bool arenaCountGiven(const char* arenaMax, const char* tunables) {
  return arenaMax != nullptr ||
         (tunables != nullptr && std::strstr(tunables, "glibc.malloc.arena_max=") != nullptr);
}

size_t workerStackBytes(size_t current) { return std::min(current, kWorkerStackBytes); }

bool addressSpaceLimited() {
  struct rlimit limit;
  return getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY;
}

bool limitMallocArenas() {
  if (!addressSpaceLimited() ||
      arenaCountGiven(std::getenv("MALLOC_ARENA_MAX"), std::getenv("GLIBC_TUNABLES")))
    return true;
  return mallopt(M_ARENA_MAX, kMallocArenas) == 1;
}

bool limitDefaultThreadStack() {
  pthread_attr_t attr;
  if (pthread_getattr_default_np(&attr) != 0) return false;
  size_t current = 0;
  bool done = pthread_attr_getstacksize(&attr, &current) == 0;
  const size_t wanted = workerStackBytes(current);
  if (done && wanted != current)
    done = pthread_attr_setstacksize(&attr, wanted) == 0 && pthread_setattr_default_np(&attr) == 0;
  pthread_attr_destroy(&attr);
  return done;
}

bool limitThreadReservations() {
  const bool arenas = limitMallocArenas();
  const bool stack = limitDefaultThreadStack();
  return arenas && stack;
}

}  // namespace app
