#include "engine/worker_threads.h"

#include <sched.h>

#include <barrier>
#include <exception>
#include <thread>
#include <vector>

namespace lumo {
namespace {

// Runs `call`, keeping the exception it throws in `*error`.
template <typename Call>
void capture(std::exception_ptr* error, Call&& call) {
  try {
    call();
  } catch (...) {
    *error = std::current_exception();
  }
}

}  // namespace

void run_in_two_phases(std::size_t count, const std::function<void(std::size_t)>& work,
                       const std::function<bool()>& between,
                       const std::function<void(std::size_t)>& finish) {
  if (count == 0) return;
  std::barrier<> sync(static_cast<std::ptrdiff_t>(count));
  std::vector<std::exception_ptr> errors(count);
  bool proceed = false;  // written before the second barrier, read after it
  const auto share = [&](std::size_t i) {
    capture(&errors[i], [&] { work(i); });
    sync.arrive_and_wait();  // every share has done its work
    sync.arrive_and_wait();  // the calling thread has decided
    if (proceed) capture(&errors[i], [&] { finish(i); });
  };

  std::vector<std::thread> threads;
  threads.reserve(count - 1);
  std::vector<std::size_t> own;  // the shares of the calling thread
  own.reserve(count);
  own.push_back(0);
  for (std::size_t i = 1; i < count; ++i) {
    try {
      threads.emplace_back(share, i);
    } catch (...) {
      own.push_back(i);
      sync.arrive_and_drop();  // nobody will arrive for this share
    }
  }
  for (const std::size_t i : own) capture(&errors[i], [&] { work(i); });
  sync.arrive_and_wait();
  std::exception_ptr first;
  for (const std::exception_ptr& error : errors) {
    if (error && !first) first = error;
  }
  if (!first) capture(&first, [&] { proceed = between(); });
  sync.arrive_and_wait();
  if (proceed) {
    for (const std::size_t i : own) capture(&errors[i], [&] { finish(i); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::exception_ptr& error : errors) {
    if (error && !first) first = error;
  }
  if (first) std::rethrow_exception(first);
}

std::size_t available_threads() {
  std::size_t count = 1;
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    count = static_cast<std::size_t>(CPU_COUNT(&set));
  } else {
    count = std::thread::hardware_concurrency();
  }
  return count == 0 ? 1 : count;
}

}  // namespace lumo
