// ampsim: runs tabvolt on a simulated PC described by a scenario and prints what happened.
//   ampsim [--seed N | --seeds A..B] [--show CATEGORIES] [SCENARIO]
//   ampsim --print-scenario [SCENARIO]
// Exit status: 0 after a complete run, 2 for a bad command line or scenario, 3 when a run
// ended in a deadlock or a bug check.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "ampsim/report.h"
#include "ampsim/runner.h"
#include "ampsim/values.h"

namespace {

// More runs than this in one call are a typing mistake rather than a plan.
constexpr uint64_t kMaxSeedRuns = 1'000'000;

int Usage(const std::string& problem) {
    std::cerr << "ampsim: " << problem << "\n"
              << "usage: ampsim [--seed N | --seeds A..B] [--show CATEGORIES|all] [SCENARIO]\n"
              << "       ampsim --print-scenario [SCENARIO]\n";
    return 2;
}

struct Options {
    uint64_t seed = 0;
    bool many = false;
    ampsim::SeedRange seeds;
    bool print = false;
    ampsim::Shown shown{{"pnp", "ioctl"}};
    std::string path;
};

// An empty result means the option is fine; otherwise it says what is wrong.
std::string ParseShow(const std::string& text, ampsim::Shown* shown) {
    shown->categories.clear();
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
    return shown->categories.empty() ? "--show needs at least one category" : "";
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
        if (arg == "--seed" || arg == "--seeds" || arg == "--show") {
            if (!has_value) {
                return arg + " needs a value";
            }
            std::string value = argv[++i];
            if (arg != "--show" && seed_given) {
                return "give one --seed or --seeds";
            }
            seed_given |= arg != "--show";
            if (arg == "--seed" && !ampsim::ParseDecimal(value, UINT64_MAX, &options->seed)) {
                problem = "bad --seed " + ampsim::Quote(value);
            } else if (arg == "--seeds") {
                problem = ParseSeeds(value, options);
            } else if (arg == "--show") {
                problem = ParseShow(value, &options->shown);
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
    return "";
}

// The scenario's text, or "" with *error set.
bool ReadScenario(const std::string& path, std::string* text, std::string* error) {
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        *error = "cannot read " + path + ": it is a directory";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    if (!file || !(contents << file.rdbuf())) {
        // An empty file is a scenario that does nothing; reading it sets failbit too.
        if (file && file.peek() == std::ifstream::traits_type::eof()) {
            *text = "";
            return true;
        }
        *error = "cannot read " + path;
        return false;
    }
    *text = contents.str();
    return true;
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
    if (options.print) {
        std::cout << text;
        return 0;
    }

    std::unique_ptr<ampsim::ScenarioRunner> runner;
    try {
        runner = std::make_unique<ampsim::ScenarioRunner>(text);
    } catch (const ampsim::ScenarioError& error) {
        std::cerr << "ampsim: " << name << ":" << error.line << ": " << error.what() << "\n";
        return 2;
    }

    // Only the shown categories are formatted, and nothing is kept: a long run costs nothing
    // for what nobody looks at.
    runner->StreamOnly(options.shown.categories);
    if (options.many) {
        bool clean = ampsim::ReportSeeds(*runner, options.seeds, options.shown, std::cout);
        return clean ? 0 : 3;
    }
    ampsim::RunResult result = ampsim::RunAndPrint(*runner, options.seed, options.shown, std::cout);
    if (!result.ok()) {
        std::cout.flush();
        std::cerr << "ampsim: " << result.outcome.report << "\n"
                  << "ampsim: reproduce with --seed " << options.seed << "\n";
        return 3;
    }
    return 0;
}
