#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "app/Feedback.h"

class QWidget;

namespace talvix::gui {

// The system's file and folder choosers; tests put a scripted one in their place.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // A virtual disk file that exists; none when the user cancels.
  virtual std::optional<QString> openDiskFile(QWidget* parent) = 0;
  // A folder; none when the user cancels.
  virtual std::optional<QString> chooseFolder(QWidget* parent, const QString& title) = 0;
};

class QtFileDialogs : public FileDialogs {
 public:
  std::optional<QString> openDiskFile(QWidget* parent) override;
  std::optional<QString> chooseFolder(QWidget* parent, const QString& title) override;
};

// Message boxes: the application title or the program file's name as caption.
class QtPrompter : public Prompter {
 public:
  void inform(std::string_view text, Caption caption, MessageIcon icon) override;
  bool askYesNo(std::string_view text, Caption caption, MessageIcon icon) override;
};

// Carries every prompt to the user-interface thread and waits for the answer, so workers
// can ask too.
class UiThreadPrompter : public Prompter {
 public:
  UiThreadPrompter(Prompter& inner, QObject* ui) : inner_(inner), ui_(ui) {}
  void inform(std::string_view text, Caption caption, MessageIcon icon) override;
  bool askYesNo(std::string_view text, Caption caption, MessageIcon icon) override;

 private:
  Prompter& inner_;
  QObject* ui_;
};

QString captionText(Caption caption);

}  // namespace talvix::gui
