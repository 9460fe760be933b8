// The console front end: 表示 and messages go to standard output, errors to standard error.
#pragma once

#include "engine/terminal_host.h"
#include "gui/event_host.h"

namespace morivel::gui {

class ConsoleHost : public EventHost {
 public:
  void ShowText(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  engine::ErrorChoice ShowErrorDialog(const std::string& log) override;
  // The console's debug dialog lists the variables and the run-control stack on standard error
  // and lets the run go on.
  engine::DebugChoice ShowDebugDialog(const std::string& variables, const std::string& stack,
                                      const std::string& search) override;
  // Closing the console's (invisible) main window asks the close query like the window does.
  void CloseMainWindow() override { ending_.Close(); }
  void SetCloseQuery(std::function<bool()> query) { ending_.SetCloseQuery(std::move(query)); }
  // Prints the question and the numbered buttons; reads a number or a button's text from
  // standard input. End of input closes the question without a choice.
  std::string ChooseButton(const std::string& message, const std::string& buttons) override;

  // Dialogs on the terminal (gui/console_dialogs.cpp): the question goes to standard output,
  // the answer is a line of standard input; the end of input cancels.
  void ShowDialogMessage(const DialogStyle& style, const std::string& text) override;
  std::optional<std::string> AskText(const DialogStyle& style, const std::string& message) override;
  YesNo AskYesNo(const DialogStyle& style, const std::string& message, bool with_cancel) override;
  std::optional<std::string> SelectFromList(const DialogStyle& style, const std::string& message,
                                            const std::vector<std::string>& items,
                                            bool editable) override;
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

  bool Closed() const { return ending_.Closed(); }
  int ExitStatus() const { return ending_.ExitStatus(); }

 private:
  engine::ConsoleEnding ending_;
};

}  // namespace morivel::gui
