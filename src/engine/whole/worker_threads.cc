#include "engine/whole/worker_threads.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "engine/whole/tuning.h"
#include "platform/hints.h"
#include "platform/platform.h"

namespace lumo {
namespace {

// Spins until `done()` holds or tuning::kSpinTime has passed; true if it held.
template <typename Done>
bool spin_until(Done done) {
  const auto start = std::chrono::steady_clock::now();
  for (unsigned spins = 1; !done(); ++spins) {
    if (spins % 64 == 0 && std::chrono::steady_clock::now() - start > tuning::kSpinTime)
      return false;
    platform::spin_pause();
  }
  return true;
}

// Waits until `word` holds a value for which `done(value)` holds: spinning
// for a while, then sleeping until it changes.
template <typename Done>
void await(const std::atomic<std::uint32_t>& word, Done done) {
  if (spin_until([&] { return done(word.load(std::memory_order_acquire)); })) return;
  for (std::uint32_t value = word.load(std::memory_order_acquire); !done(value);
       value = word.load(std::memory_order_acquire)) {
    platform::wait_while(word, value);
  }
}

// Runs `call`, keeping the exception it throws in `*error`.
template <typename Call>
void capture(std::exception_ptr* error, Call&& call) {
  try {
    call();
  } catch (...) {
    *error = std::current_exception();
  }
}

// A thread running `body`, started as platform::start_thread starts one:
// on another processor than the caller's, with signals blocked.
class WorkerThread {
 public:
  explicit WorkerThread(std::function<void()> body) : body_(std::move(body)) {}
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  ~WorkerThread() { join(); }

  // False when no thread could be started.
  bool start() {
    thread_ = platform::start_thread(&WorkerThread::run, this);
    return thread_ != nullptr;
  }

  void join() {
    if (thread_ == nullptr) return;
    // A thread that has just finished its work ends within microseconds.
    if (!spin_until([this] { return platform::try_join_thread(thread_); })) {
      platform::join_thread(thread_);
    }
    thread_ = nullptr;
  }

 private:
  static void run(void* self) { static_cast<WorkerThread*>(self)->body_(); }

  std::function<void()> body_;
  platform::Thread* thread_ = nullptr;
};

}  // namespace

void run_in_two_phases(std::size_t count, const std::function<void(std::size_t)>& work,
                       const std::function<bool()>& between,
                       const std::function<void(std::size_t)>& finish) {
  if (count == 0) return;
  std::vector<std::exception_ptr> errors(count);
  // Each share has a thread: far fewer than 2^32 of them.
  std::atomic<std::uint32_t> working{static_cast<std::uint32_t>(count)};  // shares not done
  std::atomic<std::uint32_t> decision{0};  // 0 until between() has run, then 1 to finish, 2 not
  const auto work_share = [&](std::size_t i) {
    capture(&errors[i], [&] { work(i); });
    if (working.fetch_sub(1, std::memory_order_acq_rel) == 1) platform::wake_all(working);
  };
  const auto share = [&](std::size_t i) {
    work_share(i);
    await(decision, [](std::uint32_t value) { return value != 0; });
    if (decision.load(std::memory_order_acquire) == 1) capture(&errors[i], [&] { finish(i); });
  };

  std::vector<std::unique_ptr<WorkerThread>> threads;
  threads.reserve(count - 1);
  std::vector<std::size_t> own;  // the shares of the calling thread
  own.reserve(count);
  own.push_back(0);
  for (std::size_t i = 1; i < count; ++i) {
    bool started = false;
    try {
      threads.push_back(std::make_unique<WorkerThread>([&share, i] { share(i); }));
      started = threads.back()->start();
      if (!started) threads.pop_back();
    } catch (...) {
    }
    if (!started) own.push_back(i);
  }
  for (const std::size_t i : own) work_share(i);
  await(working, [](std::uint32_t value) { return value == 0; });
  std::exception_ptr first;
  for (const std::exception_ptr& error : errors) {
    if (error && !first) first = error;
  }
  bool proceed = false;
  if (!first) capture(&first, [&] { proceed = between(); });
  decision.store(proceed ? 1 : 2, std::memory_order_release);
  platform::wake_all(decision);
  if (proceed) {
    for (const std::size_t i : own) capture(&errors[i], [&] { finish(i); });
  }
  for (const std::unique_ptr<WorkerThread>& thread : threads) thread->join();
  for (const std::exception_ptr& error : errors) {
    if (error && !first) first = error;
  }
  if (first) std::rethrow_exception(first);
}

}  // namespace lumo
