// The window front end: the visible main window and Qt message boxes.
#pragma once

#include <QStringList>

#include <functional>

#include "gui/event_host.h"
#include "gui/main_window.h"
#include "gui/qt_text.h"

namespace morivel::gui {

class WindowHost : public EventHost {
 public:
  explicit WindowHost(MainWindow& window) : window_(window) {}
  void ShowText(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  engine::ErrorChoice ShowErrorDialog(const std::string& log) override;
  engine::DebugChoice ShowDebugDialog(const std::string& variables, const std::string& stack,
                                      const std::string& search) override;
  void SetDebugMode(bool on) { debug_mode_ = on; }
  std::string ChooseButton(const std::string& message, const std::string& buttons) override;
  void CloseMainWindow() override;

  // Dialogs: the dialog forms (gui/dialogs.cpp).
  void ShowDialogMessage(const DialogStyle& style, const std::string& text) override;
  std::optional<std::string> AskText(const DialogStyle& style, const std::string& message) override;
  YesNo AskYesNo(const DialogStyle& style, const std::string& message, bool with_cancel) override;
  std::optional<std::string> SelectFromList(const DialogStyle& style, const std::string& message,
                                            const std::vector<std::string>& items,
                                            bool editable) override;
  std::optional<std::string> SelectButton(const DialogStyle& style, const std::string& message,
                                          const std::vector<std::string>& choices) override;
  std::optional<std::string> EditMemo(const DialogStyle& style, const std::string& text) override;
  std::optional<std::vector<std::string>> EditItems(const DialogStyle& style,
                                                    const std::array<std::string, 2>& titles,
                                                    const std::vector<InputItem>& items) override;
  std::optional<std::string> ChooseColour(const DialogStyle& style) override;
  std::optional<std::string> ChooseFont(const DialogStyle& style) override;
  std::optional<std::vector<std::string>> ChooseFiles(const DialogStyle& style,
                                                      const FileRequest& request) override;
  std::optional<std::string> ChooseFolder(const DialogStyle& style,
                                          const std::string& prompt) override;

  bool Closed() const { return closed_; }
  // Every text 表示 showed, for whoever wants to read the run back (tests, the debug view).
  const QStringList& ShownText() const { return shown_; }

 private:
  QStringList shown_;
  MainWindow& window_;
  bool closed_ = false;
  bool debug_mode_ = false;
};

}  // namespace morivel::gui
