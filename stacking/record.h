// The fusion in the run's record: a member "apilado" of pila.json and a
// paragraph of pila.txt.
#pragma once

#include <optional>
#include <string>

#include "stacking/recipe.h"
#include "stacking/stacker.h"

namespace velmira::stacking {

// A JSON object: {"resultado": "hecho"|"fallido"|"cancelado", ...}.
std::string recordJson(const Outcome& outcome);
// Lines for people, each ended by "\n".
std::string recordText(const Outcome& outcome);

// The run's record in `folder` gains the fusion: pila.json the member
// "apilado" (in place of an earlier fusion's), pila.txt the lines.  Each
// file is replaced only once its new text is complete.  A folder without a
// record gets none.  Returns why it could not be written, or nothing.
std::optional<std::string> addToRecord(const std::string& folder, const Outcome& outcome);

}  // namespace velmira::stacking
