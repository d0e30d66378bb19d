#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/DiskImageExport.h"
#include "app/Feedback.h"

namespace talvix::test {

// Records what long work reports, and answers questions from a script.
class Recorder : public ProgressTarget, public StatusLine, public Prompter, public ExportView {
 public:
  void setProgressRange(std::int64_t low, std::int64_t high) override {
    ranges.push_back({low, high});
  }
  void setProgressPosition(std::int64_t position) override { positions.push_back(position); }
  void setStatusText(std::string_view text) override { statuses.emplace_back(text); }
  void inform(std::string_view text, Caption, MessageIcon) override { messages.emplace_back(text); }
  bool askYesNo(std::string_view text, Caption, MessageIcon) override {
    messages.emplace_back(text);
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  void setNavigationEnabled(bool enabled) override {
    events.push_back(enabled ? "enable" : "disable");
  }
  void setCopyControlsVisible(bool visible) override {
    events.push_back(visible ? "show" : "hide");
  }

  std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
  std::vector<std::int64_t> positions;
  std::vector<std::string> statuses;
  std::vector<std::string> messages;
  std::vector<std::string> events;
  std::deque<bool> answers;
};

}  // namespace talvix::test
