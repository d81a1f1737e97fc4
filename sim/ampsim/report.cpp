#include "ampsim/report.h"

#include <map>
#include <sstream>
#include <vector>

namespace ampsim {
namespace {

struct Outcome {
    uint64_t seed = 0;
    int runs = 0;
    sim::RunOutcome::Kind kind = sim::RunOutcome::kFinished;
    std::string report;
    std::string output;
};

const char* EndName(sim::RunOutcome::Kind kind) {
    switch (kind) {
        case sim::RunOutcome::kFinished:
            return "finished";
        case sim::RunOutcome::kDeadlock:
            return "deadlock";
        case sim::RunOutcome::kBugCheck:
            return "bug-check";
    }
    return "?";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        lines.push_back(line);
    }
    return lines;
}

// "differs at line N: <first's line> | <this one's line>", lines counted from 1.
void WriteDifference(const Outcome& first, const Outcome& other, std::ostream& out) {
    std::vector<std::string> a = Lines(first.output);
    std::vector<std::string> b = Lines(other.output);
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        ++at;
    }
    out << "  differs at line " << at + 1 << ":\n"
        << "    outcome 1: " << (at < a.size() ? a[at] : "(ends)") << "\n"
        << "    this one:  " << (at < b.size() ? b[at] : "(ends)") << "\n";
}

}  // namespace

const std::set<std::string>& EventCategories() {
    static const std::set<std::string> categories = {
        "pnp",    "usb", "usb-std", "usb-internal", "dbg",  "trace", "ioctl",    "io", "speaker",
        "kernel", "app", "msg",     "tray",         "menu", "proc",  "registry", "ui"};
    return categories;
}

RunResult RunAndPrint(ScenarioRunner& runner, uint64_t seed, const Shown& shown,
                      std::ostream& out) {
    RunResult result = runner.Run(seed, [&](const sim::Event& event) {
        if (shown.Has(event.category)) {
            out << sim::FormatEvent(event) << "\n";
        }
    });
    for (const std::string& left :
         {"pool outstanding=" + std::to_string(result.pool_outstanding),
          "handles open=" + std::to_string(result.handles_open) +
              " referenced=" + std::to_string(result.objects_referenced)}) {
        out << sim::FormatEvent(sim::Event{result.end_time, "kernel", left}) << "\n";
    }
    if (result.user_windows_outstanding) {
        out << sim::FormatEvent(sim::Event{
                   result.end_time, "user",
                   "windows outstanding=" + std::to_string(*result.user_windows_outstanding) +
                       " gdi objects outstanding=" +
                       std::to_string(*result.gdi_objects_outstanding)})
            << "\n";
        out << sim::FormatEvent(sim::Event{
                   result.end_time, "user",
                   "menus outstanding=" + std::to_string(*result.user_menus_outstanding) +
                       " program handles left=" + std::to_string(*result.program_handles_left)})
            << "\n";
    }
    return result;
}

bool ReportSeeds(ScenarioRunner& runner, SeedRange seeds, const Shown& shown, std::ostream& out) {
    std::vector<Outcome> outcomes;
    std::map<std::string, size_t> by_key;
    int deadlocks = 0;
    int bug_checks = 0;
    for (uint64_t seed = seeds.first;; ++seed) {
        std::ostringstream output;
        RunResult result = RunAndPrint(runner, seed, shown, output);
        deadlocks += result.outcome.kind == sim::RunOutcome::kDeadlock;
        bug_checks += result.outcome.kind == sim::RunOutcome::kBugCheck;
        std::string key = std::string(EndName(result.outcome.kind)) + "\n" + result.outcome.report +
                          "\n" + output.str();
        auto [found, added] = by_key.emplace(key, outcomes.size());
        if (added) {
            outcomes.push_back(
                Outcome{seed, 0, result.outcome.kind, result.outcome.report, output.str()});
        }
        ++outcomes[found->second].runs;
        if (seed == seeds.last) {
            break;
        }
    }
    out << "seeds " << seeds.first << ".." << seeds.last << " runs=" << seeds.last - seeds.first + 1
        << " outcomes=" << outcomes.size() << " deadlocks=" << deadlocks
        << " bug-checks=" << bug_checks << "\n";
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const Outcome& outcome = outcomes[i];
        out << "outcome " << i + 1 << " runs=" << outcome.runs << " end=" << EndName(outcome.kind)
            << " seed=" << outcome.seed << "\n";
        if (outcome.kind != sim::RunOutcome::kFinished) {
            out << "  report: " << outcome.report.substr(0, outcome.report.find('\n')) << "\n";
        } else if (i != 0) {
            WriteDifference(outcomes[0], outcome, out);
        }
    }
    return deadlocks == 0 && bug_checks == 0;
}

}  // namespace ampsim
