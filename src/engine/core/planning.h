// Deciding a converter's plan from the shape of its dictionary groups, once,
// when it is built.
#ifndef LUMO_ENGINE_CORE_PLANNING_H_
#define LUMO_ENGINE_CORE_PLANNING_H_

#include "engine/core/conversion_plan.h"
#include "engine/core/converter.h"

namespace lumo {

// The plan of `converter` with every fast path it allows.
ConversionPlan fast_plan(const Converter& converter);

// The plan of `converter` with every fast path off; cuts as fast_plan().
ConversionPlan plain_plan(const Converter& converter);

}  // namespace lumo

#endif  // LUMO_ENGINE_CORE_PLANNING_H_
