// The run's event log: every observable thing the simulated PC does, stamped with virtual
// time and a category ("pnp", "trace", "dbg", "usb", "kernel", ...).
#pragma once

#include <functional>
#include <string>
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
    void Add(Ticks time, std::string category, std::string text);
    const std::vector<Event>& events() const { return events_; }
    // Texts of the events of one category, in order.
    std::vector<std::string> Texts(const std::string& category) const;
    // The last `count` events, formatted, for failure reports.
    std::string Tail(size_t count) const;
    // Called for every event as it is added (ampsim prints from here).
    std::function<void(const Event&)> on_event;

  private:
    std::vector<Event> events_;
};

}  // namespace sim
