// ampsim: runs tabvolt on a simulated PC described by a scenario and prints what happened.
//   ampsim [--seed N | --seeds A..B [-j N]] [--show CATEGORIES] [SCENARIO]
//   ampsim --print-scenario [SCENARIO]
// Exit status: 0 after a complete run that left nothing behind, 2 for a bad command line or
// scenario, 3 when a run ended in a deadlock or a bug check, 4 when a run left something
// outstanding (pool, kernel handles, windows, GDI objects, menus, handles a program left).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>
#include <string>
#include <thread>

#include "ampsim/report.h"
#include "ampsim/runner.h"
#include "ampsim/values.h"

namespace {

// More runs than this in one call are a typing mistake rather than a plan.
constexpr uint64_t kMaxSeedRuns = 1'000'000;
// More processes than this are a typing mistake.
constexpr uint64_t kMaxJobs = 256;
// The longest scenario read: 16 MiB.
constexpr size_t kMaxScenarioBytes = 16 << 20;

int Usage(const std::string& problem) {
    std::cerr << "ampsim: " << problem << "\n"
              << "usage: ampsim [--seed N | --seeds A..B [-j N]] [--show CATEGORIES|all] "
                 "[SCENARIO]\n"
              << "       ampsim --print-scenario [SCENARIO]\n";
    return 2;
}

struct Options {
    uint64_t seed = 0;
    bool many = false;
    ampsim::SeedRange seeds;
    bool print = false;
    ampsim::Shown shown{{"pnp", "ioctl"}};
    bool show_given = false;
    uint64_t jobs = 0;  // 0: one a core
    std::string path;
};

// An empty result means the option is fine; otherwise it says what is wrong. Each --show
// adds to those before it.
std::string ParseShow(const std::string& text, Options* options) {
    ampsim::Shown* shown = &options->shown;
    if (!options->show_given) {
        shown->categories.clear();
        options->show_given = true;
    }
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ',')) {
        if (part.empty()) {
            continue;
        }
        if (part != "all" && ampsim::EventCategories().count(part) == 0) {
            std::string known;
            for (const std::string& category : ampsim::EventCategories()) {
                known += " " + category;
            }
            return "unknown --show category " + ampsim::Quote(part) + " (all," + known + ")";
        }
        shown->categories.insert(part);
    }
    return text.find_first_not_of(',') == std::string::npos ? "--show needs at least one category"
                                                            : "";
}

std::string ParseSeeds(const std::string& text, Options* options) {
    options->many = true;
    if (!ampsim::ParseSeedRange(text, &options->seeds)) {
        return "bad --seeds " + ampsim::Quote(text) + " (A..B, A no greater than B)";
    }
    if (options->seeds.last - options->seeds.first >= kMaxSeedRuns) {
        return "--seeds covers more than " + std::to_string(kMaxSeedRuns) + " runs";
    }
    return "";
}

std::string ParseArguments(int argc, char** argv, Options* options) {
    bool seed_given = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        std::string problem;
        if (arg == "--seed" || arg == "--seeds" || arg == "--show" || arg == "-j") {
            if (!has_value) {
                return arg + " needs a value";
            }
            std::string value = argv[++i];
            bool seeding = arg == "--seed" || arg == "--seeds";
            if (seeding && seed_given) {
                return "give one --seed or --seeds";
            }
            seed_given |= seeding;
            if (arg == "--seed" && !ampsim::ParseDecimal(value, UINT64_MAX, &options->seed)) {
                problem = "bad --seed " + ampsim::Quote(value);
            } else if (arg == "--seeds") {
                problem = ParseSeeds(value, options);
            } else if (arg == "--show") {
                problem = ParseShow(value, options);
            } else if (arg == "-j" && (!ampsim::ParseDecimal(value, kMaxJobs, &options->jobs) ||
                                       options->jobs == 0)) {
                problem = "bad -j " + ampsim::Quote(value) + " (1 to " + std::to_string(kMaxJobs) +
                          " processes)";
            }
        } else if (arg == "--print-scenario") {
            options->print = true;
        } else if (!arg.empty() && arg[0] == '-') {
            problem = "unknown option " + ampsim::Quote(arg);
        } else if (options->path.empty() && !arg.empty()) {
            options->path = arg;
        } else {
            problem = "one scenario at a time";
        }
        if (!problem.empty()) {
            return problem;
        }
    }
    if (options->jobs != 0 && !options->many) {
        return "-j goes with --seeds";
    }
    return "";
}

// The scenario's text; false with *error set. Only so much is read: a scenario this long
// would be a mistake (or /dev/zero), and `repeat` keeps long runs short.
bool ReadScenario(const std::string& path, std::string* text, std::string* error) {
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        *error = "cannot read " + path + ": it is a directory";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path;
        return false;
    }
    text->clear();
    char chunk[65536];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text->append(chunk, static_cast<size_t>(file.gcount()));
        if (text->size() > kMaxScenarioBytes) {
            *error =
                path + ": a scenario is at most " + std::to_string(kMaxScenarioBytes) + " bytes";
            return false;
        }
    }
    if (file.bad()) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

// Seeds done, their rate and the time left, on one line of the terminal kept up to date;
// nothing when standard error is not a terminal.
class Progress {
  public:
    Progress() : terminal_(isatty(STDERR_FILENO) != 0), start_(Clock::now()), shown_(start_) {}
    ~Progress() {
        if (drawn_) {
            std::cerr << "\r\033[K" << std::flush;
        }
    }
    void operator()(uint64_t done, uint64_t total) {
        Clock::time_point now = Clock::now();
        if (!terminal_ || now - shown_ < std::chrono::milliseconds(250)) {
            return;
        }
        shown_ = now;
        drawn_ = true;
        double seconds = std::chrono::duration<double>(now - start_).count();
        double rate = static_cast<double>(done) / seconds;
        std::cerr << "\r\033[Kseeds " << done << "/" << total << "  " << static_cast<uint64_t>(rate)
                  << "/s  " << static_cast<uint64_t>(static_cast<double>(total - done) / rate)
                  << "s left" << std::flush;
    }

  private:
    using Clock = std::chrono::steady_clock;
    bool terminal_;
    bool drawn_ = false;
    Clock::time_point start_;
    Clock::time_point shown_;
};

// What reproduces one seed's run.
std::string Reproduce(const Options& options, uint64_t seed) {
    return "ampsim --seed " + std::to_string(seed) +
           (options.path.empty() ? "" : " " + options.path);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string problem = ParseArguments(argc, argv, &options);
    if (!problem.empty()) {
        return Usage(problem);
    }

    std::string text = ampsim::kDefaultScenario;
    std::string name = "default";
    if (!options.path.empty()) {
        std::string error;
        if (!ReadScenario(options.path, &text, &error)) {
            std::cerr << "ampsim: " << error << "\n";
            return 2;
        }
        name = options.path;
    }

    std::unique_ptr<ampsim::ScenarioRunner> runner;
    try {
        runner = std::make_unique<ampsim::ScenarioRunner>(text);
    } catch (const ampsim::ScenarioError& error) {
        std::cerr << "ampsim: " << name << ":" << error.line << ": " << error.what() << "\n";
        return 2;
    }
    // Printed only once every line has been checked, so that what is printed can be run.
    if (options.print) {
        std::cout << text;
        return 0;
    }

    // Only the shown categories are formatted, and nothing is kept: a long run costs nothing
    // for what nobody looks at.
    runner->StreamOnly(options.shown.categories);
    if (options.many) {
        ampsim::SeedOptions seeds{options.seeds, static_cast<unsigned>(options.jobs), nullptr};
        if (seeds.jobs == 0) {
            seeds.jobs = std::max(1u, std::thread::hardware_concurrency());
        }
        ampsim::SeedsVerdict verdict;
        try {
            Progress progress;
            seeds.progress = std::ref(progress);
            verdict = ampsim::ReportSeeds(*runner, seeds, options.shown, std::cout);
        } catch (const std::runtime_error& error) {
            std::cout.flush();
            std::cerr << "ampsim: " << error.what() << "\n";
            return ampsim::kExitStuck;
        }
        if (verdict.status != ampsim::kExitClean) {
            std::cout.flush();
            std::cerr << "ampsim: seed " << verdict.seed
                      << (verdict.status == ampsim::kExitStuck ? " ended: " : " left outstanding: ")
                      << verdict.why << "\n"
                      << "ampsim: reproduce with " << Reproduce(options, verdict.seed) << "\n";
        }
        return verdict.status;
    }
    ampsim::RunResult result = ampsim::RunAndPrint(*runner, options.seed, options.shown, std::cout);
    int status = ampsim::ExitStatus(result);
    if (status != ampsim::kExitClean) {
        std::cout.flush();
        std::cerr << "ampsim: "
                  << (status == ampsim::kExitStuck
                          ? result.outcome.report
                          : "left outstanding: " + ampsim::LeftOutstanding(result))
                  << "\n"
                  << "ampsim: reproduce with " << Reproduce(options, options.seed) << "\n";
    }
    return status;
}
