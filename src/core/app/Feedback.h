#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace talvix {

// Where long work reports how far it got. 64-bit, so a disk of any size maps onto it; a
// progress bar scales the range to what it can show.
class ProgressTarget {
 public:
  virtual ~ProgressTarget() = default;
  virtual void setProgressRange(std::int64_t low, std::int64_t high) = 0;
  virtual void setProgressPosition(std::int64_t position) = 0;
};

// A page's status line.
class StatusLine {
 public:
  virtual ~StatusLine() = default;
  virtual void setStatusText(std::string_view text) = 0;
};

// Message boxes. The caption is the application title, the program file's name (the
// toolkit's default caption) or none; texts are shown exactly as given.
enum class Caption { applicationTitle, programName, none };
enum class MessageIcon { information, question, none };

class Prompter {
 public:
  virtual ~Prompter() = default;
  virtual void inform(std::string_view text, Caption caption = Caption::applicationTitle,
                      MessageIcon icon = MessageIcon::information) = 0;
  // A question with Yes and No; true for Yes.
  virtual bool askYesNo(std::string_view text, Caption caption = Caption::applicationTitle,
                        MessageIcon icon = MessageIcon::question) = 0;
};

inline constexpr std::string_view kApplicationTitle = "Talvix VMDK Recovery";

}  // namespace talvix
