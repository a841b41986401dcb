#pragma once

#include <string>

#include "tools/random.h"
#include "tools/sample_collection.h"
#include "tools/sample_plan.h"

namespace vq::tools {

// The VERSION.NFO text of `game` in UTF-8 (the caller encodes it): the label
// block with "Name:", "Unique-ID:" and "SID:" as the game and its plan say,
// then a comment and free text.
std::string MakeNfo(TRandom& rng, const TSampleGame& game, const TGamePlan& plan);

}  // namespace vq::tools
