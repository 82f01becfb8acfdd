// The tuning constants of the building a converter. Each was set by a measurement, named
// beside it: `bench` is `.venv/bin/python benchmarks/bench.py`, `compare` is
// `benchmarks/compare.py`, `engine` is `benchmarks/engine_bench.cc`, all on the
// 2-core development machine. None changes a result, only speed.
#ifndef LUMO_ENGINE_CONFIG_TUNING_H_
#define LUMO_ENGINE_CONFIG_TUNING_H_

#include <cstddef>

namespace lumo::tuning {

// Dictionary texts from this size on are built on two threads, when there
// are two (bench: s2t build 3.2 to 1.6 ms).
inline constexpr std::size_t kTwoThreadTextBytes = std::size_t{1} << 19;

}  // namespace lumo::tuning

#endif  // LUMO_ENGINE_CONFIG_TUNING_H_
