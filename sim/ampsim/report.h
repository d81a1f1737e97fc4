// What ampsim prints of a run, and its report over a range of seeds.
#pragma once

#include <cstdint>
#include <functional>
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

// What the run left behind, as "pool=BYTES handles=N referenced=N windows=N gdi=N menus=N
// program-handles=N" with only the counts that are not 0; "" when it left nothing.
std::string LeftOutstanding(const RunResult& result);

// ampsim's exit status for a run's end: 0 when it finished and left nothing, 3 after a
// deadlock or bug check, 4 when it finished but left something outstanding.
constexpr int kExitClean = 0;
constexpr int kExitStuck = 3;
constexpr int kExitLeft = 4;
int ExitStatus(const RunResult& result);

// The worst end among the seeds, and the first seed that ended so.
struct SeedsVerdict {
    int status = kExitClean;
    uint64_t seed = 0;
    // The first line of its deadlock or bug-check report, or what it left outstanding.
    std::string why;
};

struct SeedOptions {
    SeedRange seeds;
    // Processes that run seeds side by side; the report is the same for any number.
    unsigned jobs = 1;
    // Told how many runs are done after each one.
    std::function<void(uint64_t done, uint64_t total)> progress;
};

// Runs every seed of the range, groups the runs whose printed output (with the end-of-run
// account) and end are the same, and writes one line for the range, one for each distinct
// outcome (in the order of its first seed, which reproduces it) and, for each outcome after
// the first, the first line in which it differs from the first, or the report of its
// deadlock or bug check, and what it left outstanding.
SeedsVerdict ReportSeeds(ScenarioRunner& runner, const SeedOptions& options, const Shown& shown,
                         std::ostream& out);

}  // namespace ampsim
