// ampsim: runs tabvolt on a simulated PC described by a scenario and prints what happened.
//   ampsim [--seed N] [--show CATEGORIES] [SCENARIO]
// Exit status: 0 after a complete run, 2 for a bad command line or scenario, 3 when the run
// ended in a deadlock or a bug check.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

#include "ampsim/runner.h"

namespace {

int Usage() {
    std::cerr << "usage: ampsim [--seed N] [--show CATEGORIES|all] [SCENARIO]\n";
    return 2;
}

std::set<std::string> SplitCommas(const std::string& text) {
    std::set<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ',')) {
        if (!part.empty()) {
            parts.insert(part);
        }
    }
    return parts;
}

}  // namespace

int main(int argc, char** argv) {
    uint64_t seed = 0;
    std::set<std::string> show = {"pnp", "ioctl"};
    std::string path;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--seed" && i + 1 < argc) {
            try {
                seed = std::stoull(argv[++i]);
            } catch (const std::exception&) {
                return Usage();
            }
        } else if (arg == "--show" && i + 1 < argc) {
            show = SplitCommas(argv[++i]);
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage();
        } else if (path.empty()) {
            path = arg;
        } else {
            return Usage();
        }
    }

    std::string text = ampsim::kDefaultScenario;
    std::string name = "default";
    if (!path.empty()) {
        std::ifstream file(path);
        if (!file) {
            std::cerr << "ampsim: cannot read " << path << "\n";
            return 2;
        }
        std::stringstream contents;
        contents << file.rdbuf();
        text = contents.str();
        name = path;
    }

    std::unique_ptr<ampsim::ScenarioRunner> runner;
    try {
        runner = std::make_unique<ampsim::ScenarioRunner>(text);
    } catch (const ampsim::ScenarioError& error) {
        std::cerr << "ampsim: " << name << ":" << error.line << ": " << error.what() << "\n";
        return 2;
    }

    runner->StreamOnly(show);
    ampsim::RunResult result = runner->Run(
        seed, [](const sim::Event& event) { std::cout << sim::FormatEvent(event) << "\n"; });
    std::cout << sim::FormatEvent(
                     sim::Event{result.end_time, "kernel",
                                "pool outstanding=" + std::to_string(result.pool_outstanding)})
              << "\n";
    if (!result.ok()) {
        std::cout.flush();
        std::cerr << "ampsim: " << result.outcome.report << "\n"
                  << "ampsim: reproduce with --seed " << seed << "\n";
        return 3;
    }
    return 0;
}
