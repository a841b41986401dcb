#include "ui/shared_cpu.h"

#include <pthread.h>

namespace vq {

TSharedCpu::TSharedCpu() {
  if (pthread_getaffinity_np(pthread_self(), sizeof FFormerSet, &FFormerSet) != 0) return;
  const int cpu = sched_getcpu();
  if (cpu < 0 || !CPU_ISSET(cpu, &FFormerSet)) return;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(cpu, &one);
  FPinned = pthread_setaffinity_np(pthread_self(), sizeof one, &one) == 0;
}

TSharedCpu::~TSharedCpu() {
  if (FPinned) pthread_setaffinity_np(pthread_self(), sizeof FFormerSet, &FFormerSet);
}

}  // namespace vq
