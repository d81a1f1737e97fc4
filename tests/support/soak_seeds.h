// The seeds a soak test runs: TABVOLT_SOAK_SEEDS=A..B (both included), or the test's own
// default range. A malformed value fails the test and runs no seed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "ampsim/values.h"

namespace support {

inline ampsim::SeedRange SoakSeeds(ampsim::SeedRange fallback) {
    const char* text = std::getenv("TABVOLT_SOAK_SEEDS");
    if (text != nullptr && !ampsim::ParseSeedRange(text, &fallback)) {
        ADD_FAILURE() << "TABVOLT_SOAK_SEEDS=" << text << " is not A..B";
        return ampsim::SeedRange{1, 0};
    }
    return fallback;
}

}  // namespace support
