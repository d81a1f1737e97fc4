// What ampsim prints of a run, and its report over a range of seeds.
#pragma once

#include <cstdint>
#include <ostream>
#include <set>
#include <string>

#include "ampsim/runner.h"
#include "ampsim/values.h"

namespace ampsim {

// The event categories a run can print, as `--show` names them.
const std::set<std::string>& EventCategories();

struct Shown {
    std::set<std::string> categories;  // "all" stands for every one
    bool Has(const std::string& category) const {
        return categories.count("all") != 0 || categories.count(category) != 0;
    }
};

// Runs once and writes each shown event, then the final "kernel pool outstanding" and "kernel
// handles open" lines.
RunResult RunAndPrint(ScenarioRunner& runner, uint64_t seed, const Shown& shown, std::ostream& out);

// Runs every seed of the range, groups the runs whose printed output and end are the same, and
// writes one line for the range, one for each distinct outcome (in the order of its first
// seed, which reproduces it) and, for each outcome after the first, the first line in which
// it differs from the first, or the report of its deadlock or bug check. Returns false when
// a run ended in a deadlock or bug check.
bool ReportSeeds(ScenarioRunner& runner, SeedRange seeds, const Shown& shown, std::ostream& out);

}  // namespace ampsim
