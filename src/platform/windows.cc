// The platform's system calls on Windows.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// WaitOnAddress came with Windows 8.
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0602
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0602
#endif
#include <windows.h>

#include <bit>
#include <cstdint>
#include <new>
#include <thread>

#include "platform/platform.h"

namespace lumo::platform {

void* map_zeroed_pages(std::size_t bytes) noexcept {
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmap_pages(void* pages, std::size_t bytes) noexcept {
  static_cast<void>(bytes);
  VirtualFree(pages, 0, MEM_RELEASE);
}

std::size_t usable_processors() noexcept {
  // A process spread over several processor groups has an affinity mask for
  // none of them: it may use every active processor.
  USHORT groups[2];
  USHORT group_count = 2;
  const bool one_group =
      GetProcessGroupAffinity(GetCurrentProcess(), &group_count, groups) != 0 && group_count == 1;
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (one_group && GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) != 0)
    return static_cast<std::size_t>(std::popcount(static_cast<std::uint64_t>(process_mask)));
  const DWORD active = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  return active != 0 ? active : std::thread::hardware_concurrency();
}

struct Thread {
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
  HANDLE handle = nullptr;
  DWORD_PTR allowed = 0;  // the processors the thread may use once running
  bool placed = false;
};

namespace {

DWORD WINAPI run(LPVOID thread) {
  auto* const self = static_cast<Thread*>(thread);
  if (self->placed) SetThreadAffinityMask(GetCurrentThread(), self->allowed);
  self->body(self->argument);
  return 0;
}

}  // namespace

Thread* start_thread(void (*body)(void*), void* argument) noexcept {
  auto* const thread = new (std::nothrow) Thread{body, argument};
  if (thread == nullptr) return nullptr;
  // Windows has no signals to block. The thread is placed while suspended,
  // within the processor group it starts in.
  thread->handle = CreateThread(nullptr, 0, &run, thread, CREATE_SUSPENDED, nullptr);
  if (thread->handle == nullptr) {
    delete thread;
    return nullptr;
  }
  DWORD_PTR system_mask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &thread->allowed, &system_mask) != 0) {
    const DWORD current = GetCurrentProcessorNumber();
    const DWORD_PTR elsewhere = current < sizeof(DWORD_PTR) * 8
                                    ? thread->allowed & ~(DWORD_PTR{1} << current)
                                    : thread->allowed;
    thread->placed = elsewhere != 0 && SetThreadAffinityMask(thread->handle, elsewhere) != 0;
  }
  ResumeThread(thread->handle);
  return thread;
}

bool try_join_thread(Thread* thread) noexcept {
  if (WaitForSingleObject(thread->handle, 0) != WAIT_OBJECT_0) return false;
  CloseHandle(thread->handle);
  delete thread;
  return true;
}

void join_thread(Thread* thread) noexcept {
  WaitForSingleObject(thread->handle, INFINITE);
  CloseHandle(thread->handle);
  delete thread;
}

// The system's wait on an address, as the standard library of MSVC waits:
// libstdc++ 12 waits on a condition variable it may miss a notice on.
void wait_while(const std::atomic<std::uint32_t>& word, std::uint32_t value) noexcept {
  static_assert(sizeof(word) == sizeof(value) && std::atomic<std::uint32_t>::is_always_lock_free);
  WaitOnAddress(const_cast<std::atomic<std::uint32_t>*>(&word), &value, sizeof(value), INFINITE);
}

void wake_all(std::atomic<std::uint32_t>& word) noexcept { WakeByAddressAll(&word); }

}  // namespace lumo::platform
