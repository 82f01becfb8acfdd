// What lumo asks of the operating system, in one place: zeroed pages for the
// sparse tables, the processors the process may use, worker threads that
// leave signals to the program's own threads and sleep on a word, and the
// processor's vector instructions. src/platform/posix.cc and src/platform/windows.cc each
// define the system calls; the build compiles the one for its target. The
// rest of the engine includes no system header.
#ifndef LUMO_PLATFORM_PLATFORM_H_
#define LUMO_PLATFORM_PLATFORM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace lumo::platform {

// `bytes` of fresh, zeroed, readable and writable memory mapped from the
// system, or null when it has none. Thread-safe.
void* map_zeroed_pages(std::size_t bytes) noexcept;

// Gives back what map_zeroed_pages(bytes) returned. Thread-safe.
void unmap_pages(void* pages, std::size_t bytes) noexcept;

// How many processors the process may run on; 0 when the system does not
// say. Thread-safe.
std::size_t usable_processors() noexcept;

// A thread started by start_thread, until one of the joins below ends it.
struct Thread;

// Starts a thread running body(argument), on another processor than the
// calling thread's where there is one (left to itself, a scheduler may
// queue a new thread behind its creator on the creator's processor); once
// running, the thread may move to any processor the process may use. Where
// the system has signals, the thread starts with every one blocked, so that
// they keep going to the threads of the program that uses us. Null when no
// thread could be started.
Thread* start_thread(void (*body)(void*), void* argument) noexcept;

// Joins `thread` if it has ended, and then frees it: true; else false.
bool try_join_thread(Thread* thread) noexcept;

// Waits for `thread` to end, joins it and frees it.
void join_thread(Thread* thread) noexcept;

// Blocks while `word` holds `value`, sleeping until wake_all(word); may
// return spuriously. On POSIX systems these are the standard atomic wait and
// notify (a futex on Linux); on Windows, the system's wait on an address,
// since libstdc++ 12 there waits on a condition variable and can miss a
// wake-up.
void wait_while(const std::atomic<std::uint32_t>& word, std::uint32_t value) noexcept;

// Wakes every thread blocked in wait_while(word, ...).
void wake_all(std::atomic<std::uint32_t>& word) noexcept;

// Whether the processor runs AVX2 instructions and the system keeps their
// registers. Thread-safe.
bool has_avx2() noexcept;

}  // namespace lumo::platform

#endif  // LUMO_PLATFORM_PLATFORM_H_
