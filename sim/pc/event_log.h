// The run's event log: every observable thing the simulated PC does, stamped with virtual
// time and a category ("pnp", "trace", "dbg", "usb", "kernel", ...). By default every event
// is kept, for tests that read the log afterwards; a long run streams instead, keeping
// nothing and passing on only the categories it shows. Events nobody would see are not
// even formatted: callers ask Wants before they build an event's text.
#pragma once

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sched/scheduler.h"

namespace sim {

struct Event {
    Ticks time = 0;
    std::string category;
    std::string text;
};

// "t=SECONDS.MILLISECONDS CATEGORY TEXT"
std::string FormatEvent(const Event& event);

class EventLog {
  public:
    // Whether an event of this category would be kept or reach on_event.
    // Asked several times a request; a scan of the few shown names, lengths compared
    // first, is cheaper than a tree lookup.
    bool Wants(std::string_view category) const {
        return (keep_ || on_event) &&
               (all_ || std::find(only_.begin(), only_.end(), category) != only_.end());
    }
    // Adds the event if anyone wants it.
    void Add(Ticks time, std::string_view category, std::string text);
    // From now on keeps nothing and hands on_event only these categories (all of them if
    // the set holds "all").
    void StreamOnly(const std::set<std::string>& categories);

    const std::vector<Event>& events() const { return events_; }
    // Texts of the kept events of one category, in order.
    std::vector<std::string> Texts(const std::string& category) const;
    // The last `count` kept events, formatted, for failure reports.
    std::string Tail(size_t count) const;
    // Called for every wanted event as it is added (ampsim prints from here).
    std::function<void(const Event&)> on_event;

  private:
    std::vector<Event> events_;
    bool keep_ = true;
    bool all_ = true;
    std::vector<std::string> only_;
};

}  // namespace sim
