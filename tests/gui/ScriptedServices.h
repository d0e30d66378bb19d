#pragma once

// The wizard's message boxes and file choosers, answered from a script in the GUI tests.
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Services.h"
#include "app/Feedback.h"

namespace talvix::gui::test {

struct Prompt {
  std::string text;
  Caption caption;
  MessageIcon icon;
};

// Message boxes as a record; questions answered from a script (No when it runs out).
class ScriptedPrompter : public Prompter {
 public:
  void inform(std::string_view text, Caption caption, MessageIcon icon) override {
    prompts.push_back({std::string(text), caption, icon});
  }
  bool askYesNo(std::string_view text, Caption caption, MessageIcon icon) override {
    prompts.push_back({std::string(text), caption, icon});
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QStringList texts() const {
    QStringList out;
    for (const Prompt& p : prompts) out << QString::fromStdString(p.text);
    return out;
  }
  QString last() const {
    return prompts.empty() ? QString() : QString::fromStdString(prompts.back().text);
  }
  std::vector<Prompt> prompts;
  std::deque<bool> answers;
};

// Disk-file and folder choosers answered from a script; a null string answers as a cancelled
// chooser.
class ScriptedDialogs : public FileDialogs {
 public:
  std::optional<QString> openDiskFile(QWidget*) override { return next(files); }
  std::optional<QString> chooseFolder(QWidget*, const QString& title) override {
    folderTitles.push_back(title);
    return next(folders);
  }
  QStringList files, folders, folderTitles;

 private:
  static std::optional<QString> next(QStringList& queue) {
    if (queue.isEmpty()) return std::nullopt;
    const QString value = queue.takeFirst();
    if (value.isNull()) return std::nullopt;
    return value;
  }
};

}  // namespace talvix::gui::test
