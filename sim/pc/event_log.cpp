#include "pc/event_log.h"

#include <cstdio>

namespace sim {

std::string FormatEvent(const Event& event) {
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "t=%lld.%03lld ",
                  static_cast<long long>(event.time / kTicksPerSecond),
                  static_cast<long long>(event.time % kTicksPerSecond / kTicksPerMs));
    return stamp + event.category + " " + event.text;
}

void EventLog::Add(Ticks time, std::string_view category, std::string text) {
    if (!Wants(category)) {
        return;
    }
    if (!keep_) {
        on_event(Event{time, std::string(category), std::move(text)});
        return;
    }
    events_.push_back(Event{time, std::string(category), std::move(text)});
    if (on_event) {
        on_event(events_.back());
    }
}

void EventLog::StreamOnly(const std::set<std::string>& categories) {
    keep_ = false;
    all_ = categories.count("all") != 0;
    only_.assign(categories.begin(), categories.end());
}

std::vector<std::string> EventLog::Texts(const std::string& category) const {
    std::vector<std::string> texts;
    for (const Event& event : events_) {
        if (event.category == category) {
            texts.push_back(event.text);
        }
    }
    return texts;
}

std::string EventLog::Tail(size_t count) const {
    std::string tail;
    size_t first = events_.size() > count ? events_.size() - count : 0;
    for (size_t i = first; i < events_.size(); ++i) {
        tail += FormatEvent(events_[i]) + "\n";
    }
    return tail;
}

}  // namespace sim
