#include "ampsim/report.h"

#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace ampsim {
namespace {

// One seed's run as the report needs it, and as a seed process hands it over.
struct SeedRun {
    uint64_t seed = 0;
    sim::RunOutcome::Kind kind = sim::RunOutcome::kFinished;
    int status = kExitClean;
    std::string report;
    std::string output;
    std::string left;
};

struct Outcome {
    SeedRun first;
    int runs = 0;
};

SeedRun RunSeed(ScenarioRunner& runner, uint64_t seed, const Shown& shown) {
    std::ostringstream output;
    RunResult result = RunAndPrint(runner, seed, shown, output);
    return SeedRun{seed,         result.outcome.kind,    ExitStatus(result), result.outcome.report,
                   output.str(), LeftOutstanding(result)};
}

void WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size != 0) {
        ssize_t written = write(fd, bytes, size);
        if (written <= 0) {
            _exit(1);
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

bool ReadAll(int fd, void* data, size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size != 0) {
        ssize_t got = read(fd, bytes, size);
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

void WriteRun(int fd, const SeedRun& run) {
    int64_t numbers[3] = {static_cast<int64_t>(run.seed), run.kind, run.status};
    WriteAll(fd, numbers, sizeof numbers);
    for (const std::string* text : {&run.report, &run.output, &run.left}) {
        uint64_t size = text->size();
        WriteAll(fd, &size, sizeof size);
        WriteAll(fd, text->data(), text->size());
    }
}

bool ReadRun(int fd, SeedRun* run) {
    int64_t numbers[3];
    if (!ReadAll(fd, numbers, sizeof numbers)) {
        return false;
    }
    run->seed = static_cast<uint64_t>(numbers[0]);
    run->kind = static_cast<sim::RunOutcome::Kind>(numbers[1]);
    run->status = static_cast<int>(numbers[2]);
    for (std::string* text : {&run->report, &run->output, &run->left}) {
        uint64_t size = 0;
        if (!ReadAll(fd, &size, sizeof size)) {
            return false;
        }
        text->resize(size);
        if (!ReadAll(fd, text->data(), size)) {
            return false;
        }
    }
    return true;
}

// Seed processes: process k runs the k-th seed of every `jobs` in turn and hands each run
// over through a pipe, so that reading them round in turn gives the runs in seed order.
class SeedProcesses {
  public:
    SeedProcesses(ScenarioRunner& runner, const SeedOptions& options, const Shown& shown,
                  uint64_t total) {
        for (uint64_t k = 0; k < options.jobs && k < total; ++k) {
            int ends[2];
            if (pipe(ends) != 0) {
                throw std::runtime_error("cannot make a pipe for a seed process");
            }
            pid_t pid = fork();
            if (pid < 0) {
                throw std::runtime_error("cannot start a seed process");
            }
            if (pid == 0) {
                // Nothing of the parent's course may run here: whatever goes wrong ends the
                // process, and the parent says which seed went without its report.
                close(ends[0]);
                try {
                    for (uint64_t i = k; i < total; i += options.jobs) {
                        WriteRun(ends[1], RunSeed(runner, options.seeds.first + i, shown));
                    }
                } catch (...) {
                    _exit(1);
                }
                _exit(0);
            }
            close(ends[1]);
            children_.push_back(Child{pid, ends[0]});
        }
    }
    ~SeedProcesses() {
        for (const Child& child : children_) {
            close(child.fd);
            waitpid(child.pid, nullptr, 0);
        }
    }
    SeedRun Take(uint64_t index, uint64_t seed) {
        SeedRun run;
        if (!ReadRun(children_[index % children_.size()].fd, &run)) {
            throw std::runtime_error("the process running seed " + std::to_string(seed) +
                                     " ended without its report; reproduce with --seed " +
                                     std::to_string(seed));
        }
        return run;
    }

  private:
    struct Child {
        pid_t pid;
        int fd;
    };
    std::vector<Child> children_;
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
void WriteDifference(const SeedRun& first, const SeedRun& other, std::ostream& out) {
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
        // "tray#2" is a `tray` line of the second copy.
        if (shown.Has(event.category.substr(0, event.category.find('#')))) {
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

std::string LeftOutstanding(const RunResult& result) {
    std::string left;
    for (auto [name, count] :
         {std::pair{"pool", result.pool_outstanding}, std::pair{"handles", result.handles_open},
          std::pair{"referenced", result.objects_referenced},
          std::pair{"windows", result.user_windows_outstanding.value_or(0)},
          std::pair{"gdi", result.gdi_objects_outstanding.value_or(0)},
          std::pair{"menus", result.user_menus_outstanding.value_or(0)},
          std::pair{"program-handles", result.program_handles_left.value_or(0)}}) {
        if (count != 0) {
            left += (left.empty() ? "" : " ") + std::string(name) + "=" + std::to_string(count);
        }
    }
    return left;
}

int ExitStatus(const RunResult& result) {
    return !result.ok() ? kExitStuck : !LeftOutstanding(result).empty() ? kExitLeft : kExitClean;
}

SeedsVerdict ReportSeeds(ScenarioRunner& runner, const SeedOptions& options, const Shown& shown,
                         std::ostream& out) {
    const SeedRange& seeds = options.seeds;
    uint64_t total = seeds.last - seeds.first + 1;
    std::vector<Outcome> outcomes;
    std::map<std::string, size_t> by_key;
    int deadlocks = 0;
    int bug_checks = 0;
    int leaving = 0;
    SeedsVerdict verdict;
    out.flush();
    std::unique_ptr<SeedProcesses> processes;
    if (options.jobs > 1) {
        processes = std::make_unique<SeedProcesses>(runner, options, shown, total);
    }
    for (uint64_t i = 0; i < total; ++i) {
        uint64_t seed = seeds.first + i;
        SeedRun run = processes ? processes->Take(i, seed) : RunSeed(runner, seed, shown);
        deadlocks += run.kind == sim::RunOutcome::kDeadlock;
        bug_checks += run.kind == sim::RunOutcome::kBugCheck;
        leaving += !run.left.empty();
        if (run.status > verdict.status) {
            verdict = SeedsVerdict{
                run.status, seed,
                run.status == kExitStuck ? run.report.substr(0, run.report.find('\n')) : run.left};
        }
        std::string key = std::string(EndName(run.kind)) + "\n" + run.report + "\n" + run.output;
        auto [found, added] = by_key.emplace(key, outcomes.size());
        if (added) {
            outcomes.push_back(Outcome{std::move(run), 0});
        }
        ++outcomes[found->second].runs;
        if (options.progress) {
            options.progress(i + 1, total);
        }
    }
    out << "seeds " << seeds.first << ".." << seeds.last << " runs=" << total
        << " outcomes=" << outcomes.size() << " deadlocks=" << deadlocks
        << " bug-checks=" << bug_checks << " outstanding=" << leaving << "\n";
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const SeedRun& first = outcomes[i].first;
        out << "outcome " << i + 1 << " runs=" << outcomes[i].runs << " end=" << EndName(first.kind)
            << " seed=" << first.seed << "\n";
        if (first.kind != sim::RunOutcome::kFinished) {
            out << "  report: " << first.report.substr(0, first.report.find('\n')) << "\n";
        } else if (i != 0) {
            WriteDifference(outcomes[0].first, first, out);
        }
        if (!first.left.empty()) {
            out << "  left: " << first.left << "\n";
        }
    }
    return verdict;
}

}  // namespace ampsim
