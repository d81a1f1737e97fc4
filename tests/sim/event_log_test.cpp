// The event log: what is kept, what reaches the listener, and what is not even wanted.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "pc/event_log.h"

namespace {

struct LogCase {
    const char* name;
    std::optional<std::set<std::string>> streamed;  // nullopt: the default, keep everything
    bool listener;
    std::vector<std::string> heard;  // categories on_event saw, in order
    std::vector<std::string> kept;
    std::vector<std::string> wanted;
};

TEST(EventLog, KeepsOrStreamsWhatIsWanted) {
    const LogCase cases[] = {
        {"default",
         std::nullopt,
         true,
         {"pnp", "trace", "usb", "pnp"},
         {"pnp", "trace", "usb", "pnp"},
         {"pnp", "trace", "usb"}},
        {"default without listener",
         std::nullopt,
         false,
         {},
         {"pnp", "trace", "usb", "pnp"},
         {"pnp", "trace", "usb"}},
        {"streamed",
         std::set<std::string>{"pnp", "usb"},
         true,
         {"pnp", "usb", "pnp"},
         {},
         {"pnp", "usb"}},
        {"streamed all",
         std::set<std::string>{"all"},
         true,
         {"pnp", "trace", "usb", "pnp"},
         {},
         {"pnp", "trace", "usb"}},
        {"streamed to nobody", std::set<std::string>{"pnp"}, false, {}, {}, {}},
    };
    for (const LogCase& c : cases) {
        sim::EventLog log;
        std::vector<std::string> heard;
        if (c.listener) {
            log.on_event = [&heard](const sim::Event& event) { heard.push_back(event.category); };
        }
        if (c.streamed) {
            log.StreamOnly(*c.streamed);
        }
        for (const char* category : {"pnp", "trace", "usb", "pnp"}) {
            log.Add(0, category, "text");
        }
        std::vector<std::string> kept;
        for (const sim::Event& event : log.events()) {
            kept.push_back(event.category);
        }
        std::vector<std::string> wanted;
        for (const char* category : {"pnp", "trace", "usb"}) {
            if (log.Wants(category)) {
                wanted.push_back(category);
            }
        }
        EXPECT_EQ(heard, c.heard) << c.name;
        EXPECT_EQ(kept, c.kept) << c.name;
        EXPECT_EQ(wanted, c.wanted) << c.name;
    }
}

}  // namespace
