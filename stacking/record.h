// The fusion in the run's record: a member "apilado" of pila.json and a
// paragraph of pila.txt.
#pragma once

#include <string>

#include "stacking/recipe.h"
#include "stacking/stacker.h"

namespace velmira::stacking {

// A JSON object: {"resultado": "hecho"|"fallido"|"cancelado", ...}.
std::string recordJson(const Outcome& outcome);
// Lines for people, each ended by "\n".
std::string recordText(const Outcome& outcome);

}  // namespace velmira::stacking
