// The platform's system calls on Linux and other POSIX systems.
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>

#include <new>
#include <thread>

#include "platform/platform.h"

namespace lumo::platform {

void* map_zeroed_pages(std::size_t bytes) noexcept {
  void* const p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void unmap_pages(void* pages, std::size_t bytes) noexcept { munmap(pages, bytes); }

#if defined(__linux__)
#define LUMO_THREAD_AFFINITY 1
#endif

std::size_t usable_processors() noexcept {
#if defined(LUMO_THREAD_AFFINITY)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0)
    return static_cast<std::size_t>(CPU_COUNT(&set));
#endif
  return std::thread::hardware_concurrency();
}

struct Thread {
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  pthread_t id{};
#if !defined(__GLIBC__)
  std::atomic<bool> finished{false};  // the body has returned
#endif
#if defined(LUMO_THREAD_AFFINITY)
  cpu_set_t allowed{};  // the processors the thread may use once running
  bool placed = false;
#endif
};

namespace {

void* run(void* thread) {
  auto* const self = static_cast<Thread*>(thread);
#if defined(LUMO_THREAD_AFFINITY)
  if (self->placed) sched_setaffinity(0, sizeof(self->allowed), &self->allowed);
#endif
  self->body(self->argument);
#if !defined(__GLIBC__)
  self->finished.store(true, std::memory_order_release);
#endif
  return nullptr;
}

}  // namespace

Thread* start_thread(void (*body)(void*), void* argument) noexcept {
  auto* const thread = new (std::nothrow) Thread{body, argument};
  if (thread == nullptr) return nullptr;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) {
    delete thread;
    return nullptr;
  }
#if defined(LUMO_THREAD_AFFINITY)
  thread->placed = sched_getaffinity(0, sizeof(thread->allowed), &thread->allowed) == 0;
  if (thread->placed) {
    cpu_set_t elsewhere = thread->allowed;
    const int current = sched_getcpu();
    if (current >= 0 && current < CPU_SETSIZE) CPU_CLR(current, &elsewhere);
    thread->placed = CPU_COUNT(&elsewhere) > 0 &&
                     pthread_attr_setaffinity_np(&attributes, sizeof(elsewhere), &elsewhere) == 0;
  }
#endif
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  const bool masked = pthread_sigmask(SIG_SETMASK, &all, &previous) == 0;
  const bool started = pthread_create(&thread->id, &attributes, &run, thread) == 0;
  if (masked) pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  pthread_attr_destroy(&attributes);
  if (started) return thread;
  delete thread;
  return nullptr;
}

bool try_join_thread(Thread* thread) noexcept {
#if defined(__GLIBC__)
  if (pthread_tryjoin_np(thread->id, nullptr) != 0) return false;
  delete thread;
  return true;
#else
  // Without a join that does not wait: a thread whose body has returned
  // ends within microseconds.
  if (!thread->finished.load(std::memory_order_acquire)) return false;
  pthread_join(thread->id, nullptr);
  delete thread;
  return true;
#endif
}

void join_thread(Thread* thread) noexcept {
  pthread_join(thread->id, nullptr);
  delete thread;
}

void wait_while(const std::atomic<std::uint32_t>& word, std::uint32_t value) noexcept {
  word.wait(value, std::memory_order_acquire);
}

void wake_all(std::atomic<std::uint32_t>& word) noexcept { word.notify_all(); }

}  // namespace lumo::platform
