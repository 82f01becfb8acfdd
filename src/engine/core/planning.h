// Deciding a converter's plan from the shape of its dictionary groups, once,
// when it is built.
#ifndef LUMO_ENGINE_CORE_PLANNING_H_
#define LUMO_ENGINE_CORE_PLANNING_H_

#include "engine/core/conversion_plan.h"
#include "engine/core/converter.h"

namespace lumo {

// The plan of `converter` taking each path of `paths` where the converter
// allows it and it pays, with the paths it needs (see FastPath) whether
// asked for or not. Cuts are planned alike whatever the paths.
ConversionPlan fast_plan(const Converter& converter, FastPaths paths = FastPaths::all());

// The plan of `converter` with every fast path off: fast_plan(converter, {}).
ConversionPlan plain_plan(const Converter& converter);

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_PLANNING_H_
