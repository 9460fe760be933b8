// The visible side of a run: everything the engine shows, asks or waits for goes through here.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morivel::engine {

class PartAccess;

enum class ErrorChoice { Continue, Quit, Debug };
enum class DebugChoice { Continue, LineStep, Stop };

class Host {
 public:
  virtual ~Host() = default;
  // 表示: text drawn on the main window (and, in the console, printed). Shift-JIS.
  virtual void ShowText(const std::string& text) = 0;
  // A plain message box (言う and the run-time's own notices).
  virtual void ShowMessage(const std::string& text) = 0;
  // The error dialog with the whole error log; tells what the user chose.
  virtual ErrorChoice ShowErrorDialog(const std::string& log) = 0;
  // The debug dialog: the variables, the run-control stack, and a word to look for.
  virtual DebugChoice ShowDebugDialog(const std::string& variables, const std::string& stack,
                                      const std::string& search) {
    (void)variables, (void)stack, (void)search;
    return DebugChoice::Continue;
  }
  // A question answered by one of several buttons, given as lines of `buttons`. Returns the
  // chosen button's text, or "" when the question was closed without a choice.
  virtual std::string ChooseButton(const std::string& message, const std::string& buttons) {
    (void)message, (void)buttons;
    return {};
  }

  // ---- Dialogs ---------------------------------------------------------------------------------
  // Every dialog is modal and ends before the call returns. All texts are Shift-JIS; nullopt is a
  // cancel. A host without a user interface cancels every question and shows messages plainly.

  // What every dialog form takes from the run's settings.
  struct DialogStyle {
    std::string title;          // ダイアログタイトル; empty: the main window's caption
    std::string font_face;      // 文字書体 (face｜style｜size)
    int font_size = 12;         // 文字サイズ
    std::string font_colour;    // 文字色 ("#RRGGBB" or a decimal colour number)
    int ime_mode = 0;           // ダイアログIMEの状態: 0 off, 1 on, 2-4 kana modes
    std::string initial;        // ダイアログ初期値
    std::array<int, 4> rect{};  // ダイアログサイズ設定: left, top, right, bottom
  };
  enum class YesNo { Yes, No, Cancel };
  // One row of the item editor and how its value is edited.
  struct InputItem {
    enum class Kind { Text, Number, Pick, File, Colour };
    std::string name;
    std::string value;
    Kind kind = Kind::Text;
    std::vector<std::string> choices;  // Pick
    std::string filter;                // File: "description|pattern|..."
  };
  // A file dialog: `filter` is "description|pattern|..."; `default_extension` has no dot.
  struct FileRequest {
    std::string filter;
    std::string initial_name;
    std::string default_extension;
    bool save = false;
    bool multiple = false;
  };

  // 言う: the prepared message; the form may still cut it to the screen's height.
  virtual void ShowDialogMessage(const DialogStyle& style, const std::string& text) {
    (void)style;
    ShowMessage(text);
  }
  // 尋ねる: a line of text, starting with style.initial.
  virtual std::optional<std::string> AskText(const DialogStyle& style, const std::string& message) {
    (void)style, (void)message;
    return std::nullopt;
  }
  // 二択 (with_cancel false) and 三択.
  virtual YesNo AskYesNo(const DialogStyle& style, const std::string& message, bool with_cancel) {
    (void)style, (void)message;
    return with_cancel ? YesNo::Cancel : YesNo::No;
  }
  // どれか尋ねる (editable: any text) and リストから選択 (one of the items).
  virtual std::optional<std::string> SelectFromList(const DialogStyle& style,
                                                    const std::string& message,
                                                    const std::vector<std::string>& items,
                                                    bool editable) {
    (void)style, (void)message, (void)items, (void)editable;
    return std::nullopt;
  }
  // ボタンで選択: the caption of the button pressed. By default the plain button question.
  virtual std::optional<std::string> SelectButton(const DialogStyle& style,
                                                  const std::string& message,
                                                  const std::vector<std::string>& choices) {
    (void)style;
    std::string lines;
    for (const std::string& choice : choices) lines += choice + "\r\n";
    std::string chosen = ChooseButton(message, lines);
    if (chosen.empty()) return std::nullopt;
    return chosen;
  }
  // メモ記入: the edited text.
  virtual std::optional<std::string> EditMemo(const DialogStyle& style, const std::string& text) {
    (void)style, (void)text;
    return std::nullopt;
  }
  // 項目記入: the edited values, one per item in order.
  virtual std::optional<std::vector<std::string>> EditItems(
      const DialogStyle& style, const std::array<std::string, 2>& titles,
      const std::vector<InputItem>& items) {
    (void)style, (void)titles, (void)items;
    return std::nullopt;
  }
  // 色選択: the colour as the decimal 0x00BBGGRR number.
  virtual std::optional<std::string> ChooseColour(const DialogStyle& style) {
    (void)style;
    return std::nullopt;
  }
  // フォント選択: "face", "|" style words, "|" size.
  virtual std::optional<std::string> ChooseFont(const DialogStyle& style) {
    (void)style;
    return std::nullopt;
  }
  // 読込ファイル選択 and 書込ファイル選択: the chosen files as script paths (one unless multiple).
  virtual std::optional<std::vector<std::string>> ChooseFiles(const DialogStyle& style,
                                                              const FileRequest& request) {
    (void)style, (void)request;
    return std::nullopt;
  }
  // フォルダ選択 (empty prompt) and フォルダ拡張選択: a folder as a script path.
  virtual std::optional<std::string> ChooseFolder(const DialogStyle& style,
                                                  const std::string& prompt) {
    (void)style, (void)prompt;
    return std::nullopt;
  }
  // ---- end of Dialogs --------------------------------------------------------------------------
  // Ends the program once control is back in the event loop.
  virtual void CloseMainWindow() = 0;

  // Waits while events (timers, parts) keep being handled.
  virtual void Wait(double seconds) = 0;
  // Lets pending events run once.
  virtual void ProcessEvents() {}
  // The script timer: `fire` runs once after `milliseconds`; a new setting replaces the old.
  virtual void StartTimer(int milliseconds, std::function<void()> fire) = 0;
  virtual void StopTimer() = 0;

  // The parts of the run; none in a host without a window system (parts then read and assign
  // only their word's value).
  virtual PartAccess* Parts() { return nullptr; }

  // The clipboard's text (Shift-JIS); nullopt when the host has no clipboard at all (an empty
  // clipboard is empty text).
  virtual std::optional<std::string> ClipboardText() { return std::nullopt; }
  // Replaces the clipboard's text; false when the host has no clipboard.
  virtual bool SetClipboardText(const std::string& text) {
    (void)text;
    return false;
  }
};

}  // namespace morivel::engine
