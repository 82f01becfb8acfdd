// Running one job's shares on several threads, in two phases with a step
// on the calling thread between them.
#ifndef LUMO_ENGINE_WHOLE_WORKER_THREADS_H_
#define LUMO_ENGINE_WHOLE_WORKER_THREADS_H_

#include <cstddef>
#include <functional>

namespace lumo {

// Runs work(i) for every share i in [0, count), share 0 on the calling
// thread and each other share on a thread of its own; once all are done,
// runs between() on the calling thread alone; then, if no call failed and
// between() returned true, runs finish(i) for every share on the same
// threads as before. A thread that cannot be started leaves its share to
// the calling thread. Returns once every thread has ended, rethrowing the
// first exception any call threw.
void run_in_two_phases(std::size_t count, const std::function<void(std::size_t)>& work,
                       const std::function<bool()>& between,
                       const std::function<void(std::size_t)>& finish);

}  // namespace lumo

#endif  // LUMO_ENGINE_WHOLE_WORKER_THREADS_H_
