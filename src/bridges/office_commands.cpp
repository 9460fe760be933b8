// The spreadsheet (エクセル...) and word-processor (ワード...) commands, served by the office
// suite.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>

#include "bridges/families.h"
#include "bridges/office.h"
#include "commands/coordinates.h"
#include "commands/file_handles.h"
#include "commands/printer_choice.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "formats/csv.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::bridges {

namespace {

using engine::Interpreter;

// The suite and the two servers of a run. A start command makes its server; the quit commands
// leave them in place, so a later start reuses them (and the suite is started again if needed).
class OfficeSession : public words::OwnedObject {
 public:
  Spreadsheet& StartSpreadsheet() {
    if (!calc_) calc_ = Suite().StartSpreadsheet();
    return *calc_;
  }
  WordProcessor& StartWordProcessor() {
    if (!writer_) writer_ = Suite().StartWordProcessor();
    return *writer_;
  }
  Spreadsheet& Calc() {
    if (!calc_) throw OfficeError("エクセル起動がまだ実行されていません。");
    return *calc_;
  }
  WordProcessor& Writer() {
    if (!writer_) throw OfficeError("ワード起動がまだ実行されていません。");
    return *writer_;
  }

 private:
  OfficeSuite& Suite() {
    if (!suite_) suite_ = load_office_suite(Options());
    return *suite_;
  }

  // One suite per user, on a pipe of ours; tests and side-by-side setups name their own.
  static OfficeOptions Options() {
    OfficeOptions options;
    const char* pipe = std::getenv("MORIVEL_OFFICE_PIPE");
    options.pipe_name = pipe && *pipe ? pipe : "morivel_office_" + std::to_string(getuid());
    if (const char* profile = std::getenv("MORIVEL_OFFICE_PROFILE")) options.profile_dir = profile;
    if (const char* program = std::getenv("MORIVEL_OFFICE_PROGRAM")) options.program = program;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    bool offscreen = platform && std::string(platform) == "offscreen";
    options.headless = offscreen || (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"));
    return options;
  }

  // Declared first so that it goes last: the servers belong to the suite.
  std::unique_ptr<OfficeSuite> suite_;
  std::unique_ptr<Spreadsheet> calc_;
  std::unique_ptr<WordProcessor> writer_;
};

OfficeSession& session_of(Interpreter& in) {
  auto& owned = in.State().OwnedObjects;
  for (const auto& object : owned)
    if (auto* session = dynamic_cast<OfficeSession*>(object.get())) return *session;
  owned.push_back(std::make_unique<OfficeSession>());
  return static_cast<OfficeSession&>(*owned.back());
}

// Runs a command's work with every failure of the suite in the family's words.
template <class Work>
void guarded(Interpreter& in, const char* family_message, Work work) {
  try {
    work(session_of(in));
  } catch (const OfficeError& e) {
    throw in.Error(text::sjis(family_message) + text::from_utf8(e.what()));
  }
}

template <class Work>
void with_calc(Interpreter& in, Work work) {
  guarded(in, "Excelのエラー。", [&](OfficeSession& s) { work(s.Calc()); });
}

template <class Work>
void with_writer(Interpreter& in, Work work) {
  guarded(in, "Wordのエラー。", [&](OfficeSession& s) { work(s.Writer()); });
}

// The suite may call back into this program while it works: its paste asks this program for the
// clipboard's text when a script copied it, and a preview waits for the user. Such work runs on a
// thread of its own while this one keeps answering the window system; events that would run the
// script's labels wait until the command is done, as the suite's objects are not for two threads.
// A request to stop the run (closing the window) sets `give_up` for work that can end early.
template <class Work>
void while_serving_events(Interpreter& in, Work work, std::atomic<bool>* give_up = nullptr) {
  std::future<void> done = std::async(std::launch::async, work);
  while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
    in.GetHost().ProcessEvents();
    if (give_up && in.State().StopFlag) *give_up = true;
  }
  done.get();
}

// How long エクセル印刷プレビュー waits for the user to close the preview before closing it itself.
std::chrono::milliseconds preview_limit() {
  constexpr double kDefaultSeconds = 600;
  double seconds = kDefaultSeconds;
  if (const char* text = std::getenv("MORIVEL_OFFICE_PREVIEW_SECONDS"); text && *text) {
    char* end = nullptr;
    double given = std::strtod(text, &end);
    if (*end == '\0' && given >= 0 && given <= 86400) seconds = given;
  }
  return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

CellAddress pop_cell(Interpreter& in) {
  std::vector<long long> v = commands::CoordinateValues(in, in.PopArgumentText());
  if (v.size() != 2) throw in.Error(text::sjis("座標の指定エラー"));
  auto clamp = [](long long n) {
    return static_cast<int>(std::clamp<long long>(n, -1, INT32_MAX));
  };
  return CellAddress{clamp(v[0]), clamp(v[1])};
}

std::u16string pop_text(Interpreter& in) {
  return text::to_utf16(in.PopArgumentValue());
}

// The file a save command writes, once the security policy allows it; nullopt when refused.
std::optional<std::filesystem::path> pop_target_file(Interpreter& in) {
  const std::string file = in.PopArgumentValue();
  if (commands::CheckFileOperation(in, file, "\"" + file + text::sjis("\"へ保存しますか？")))
    return std::nullopt;
  return commands::native_path(file);
}

std::string cell_text(const CellValue& value) {
  return value.is_number ? expr::NumberToText(value.number) : text::from_utf16(value.text);
}

// Where the print commands print: the PDF file MORIVEL_PRINT_PDF names, else the printer the
// printer setup chose (a name ending in ".pdf" is a PDF file), else the default printer.
PrintTarget print_target(Interpreter& in) {
  PrintTarget target;
  if (const char* pdf = std::getenv("MORIVEL_PRINT_PDF"); pdf && *pdf) {
    target.pdf = pdf;
    return target;
  }
  const std::string& chosen = commands::ChosenPrinter(in);
  std::string lower = chosen;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower.ends_with(".pdf"))
    target.pdf = std::filesystem::absolute(std::filesystem::path(chosen));
  else
    target.printer = chosen;
  return target;
}

// ---- spreadsheet ------------------------------------------------------------------------------

void calc_start(Interpreter& in) {
  guarded(in, "Excelのエラー。", [](OfficeSession& s) { s.StartSpreadsheet().NewWorkbook(); });
}

void calc_open(Interpreter& in) {
  const std::filesystem::path file = commands::native_path(in.PopArgumentValue());
  with_calc(in, [&](Spreadsheet& calc) { calc.Open(file); });
}

void calc_save(Interpreter& in) {
  if (auto file = pop_target_file(in)) with_calc(in, [&](Spreadsheet& calc) { calc.Save(*file); });
}

void calc_save_csv(Interpreter& in) {
  if (auto file = pop_target_file(in))
    with_calc(in, [&](Spreadsheet& calc) { calc.SaveCsv(*file); });
}

void calc_quit(Interpreter& in) {
  with_calc(in, [](Spreadsheet& calc) { calc.Quit(); });
}

void calc_set(Interpreter& in) {
  const std::u16string value = pop_text(in);
  const CellAddress at = pop_cell(in);
  with_calc(in, [&](Spreadsheet& calc) { calc.SetCell(at, value); });
}

void calc_get(Interpreter& in) {
  std::string name = text::trim(in.PopArgumentText());
  if (name.size() >= 2 && name.front() == '`' && name.back() == '`')
    name = name.substr(1, name.size() - 2);
  words::THashNode* target = in.FindWord(name);
  if (!target)
    throw in.Error(text::sjis("単語\"") + name + text::sjis("\"は、定義されていません。"));
  if (target->Reserved) throw in.Error("\"" + target->Name + text::sjis("\"は、読取専用です。"));
  const CellAddress at = pop_cell(in);
  std::string value;
  with_calc(in, [&](Spreadsheet& calc) { value = cell_text(calc.GetCell(at)); });
  target->SetValue(std::move(value));
}

void calc_set_block(Interpreter& in) {
  const CellAddress corner = pop_cell(in);
  formats::TCsvDb table;
  table.ReadCsv(in.PopArgumentValue());
  std::vector<std::vector<std::u16string>> rows(table.RowCount());
  for (std::size_t i = 0; i < table.RowCount(); ++i)
    if (const formats::TCsvCells* row = table.Row(i))
      for (std::size_t j = 0; j < row->Count(); ++j)
        rows[i].push_back(text::to_utf16(row->View(j)));
  with_calc(in, [&](Spreadsheet& calc) { calc.SetBlock(corner, rows); });
}

void calc_get_block(Interpreter& in) {
  const CellAddress to = pop_cell(in);
  const CellAddress from = pop_cell(in);
  formats::TCsvDb table;
  with_calc(in, [&](Spreadsheet& calc) {
    CellRows rows = calc.GetBlock(from, to);
    for (std::size_t i = 0; i < rows.size(); ++i)
      for (std::size_t j = 0; j < rows[i].size(); ++j) table.SetCell(j, i, cell_text(rows[i][j]));
  });
  in.SetResult(table.WriteCsv(), "s");
}

void calc_select(Interpreter& in) {
  const CellAddress to = pop_cell(in);
  const CellAddress from = pop_cell(in);
  with_calc(in, [&](Spreadsheet& calc) { calc.Select(from, to); });
}

void calc_activate_book(Interpreter& in) {
  const std::u16string sheet = pop_text(in);
  const std::u16string book = pop_text(in);
  with_calc(in, [&](Spreadsheet& calc) { calc.ActivateBook(book, sheet); });
}

void calc_activate_sheet(Interpreter& in) {
  const std::u16string sheet = pop_text(in);
  with_calc(in, [&](Spreadsheet& calc) { calc.ActivateSheet(sheet); });
}

// The suite learns of a new clipboard owner through its own event loop; a paste right after a
// script's コピー would still see the clipboard as it was. Half a second lets that news arrive.
void calc_paste(Interpreter& in) {
  constexpr double kClipboardSettleSeconds = 0.5;
  with_calc(in, [&](Spreadsheet& calc) {
    in.GetHost().Wait(kClipboardSettleSeconds);
    while_serving_events(in, [&] { calc.Paste(); });
  });
}

void calc_print(Interpreter& in) {
  const PrintTarget target = print_target(in);
  with_calc(in, [&](Spreadsheet& calc) { calc.Print(target); });
}

void calc_print_preview(Interpreter& in) {
  const std::chrono::milliseconds longest = preview_limit();
  with_calc(in, [&](Spreadsheet& calc) {
    std::atomic<bool> give_up = false;
    while_serving_events(
        in, [&] { calc.PrintPreview(longest, give_up); }, &give_up);
  });
}

void calc_run_macro(Interpreter& in) {
  const std::u16string name = pop_text(in);
  with_calc(in, [&](Spreadsheet& calc) { calc.RunMacro(name); });
}

// ---- word processor ---------------------------------------------------------------------------

void writer_start(Interpreter& in) {
  guarded(in, "Wordのエラー。", [](OfficeSession& s) { s.StartWordProcessor().NewDocument(); });
}

void writer_open(Interpreter& in) {
  const std::filesystem::path file = commands::native_path(in.PopArgumentValue());
  with_writer(in, [&](WordProcessor& writer) { writer.Open(file); });
}

void writer_save(Interpreter& in) {
  if (auto file = pop_target_file(in))
    with_writer(in, [&](WordProcessor& writer) { writer.Save(*file); });
}

void writer_quit(Interpreter& in) {
  with_writer(in, [](WordProcessor& writer) { writer.Quit(); });
}

void writer_set_bookmark(Interpreter& in) {
  const std::u16string value = pop_text(in);
  const std::u16string bookmark = pop_text(in);
  with_writer(in, [&](WordProcessor& writer) { writer.SetBookmarkText(bookmark, value); });
}

void writer_append(Interpreter& in) {
  const std::u16string value = pop_text(in);
  with_writer(in, [&](WordProcessor& writer) { writer.AppendText(value); });
}

void writer_whole_text(Interpreter& in) {
  std::u16string whole;
  with_writer(in, [&](WordProcessor& writer) { whole = writer.WholeText(); });
  in.SetResult(text::from_utf16(whole), "s");
}

void writer_print(Interpreter& in) {
  const PrintTarget target = print_target(in);
  with_writer(in, [&](WordProcessor& writer) { writer.Print(target); });
}

void writer_run_macro(Interpreter& in) {
  const std::u16string name = pop_text(in);
  with_writer(in, [&](WordProcessor& writer) { writer.RunMacro(name); });
}

}  // namespace

void register_office(commands::HandlerTable& table) {
  table.Set(109, calc_start);
  table.Set(110, calc_open);
  table.Set(111, calc_save);
  table.Set(454, calc_save_csv);
  table.Set(112, calc_quit);
  table.Set(113, calc_set);
  table.Set(114, calc_get);
  table.Set(115, calc_run_macro);
  table.Set(133, calc_print);
  table.Set(533, calc_activate_book);
  table.Set(534, calc_activate_sheet);
  table.Set(535, calc_select);
  table.Set(536, calc_paste);
  table.Set(537, calc_print_preview);
  table.Set(538, calc_set_block);
  table.Set(539, calc_get_block);
  table.Set(124, writer_start);
  table.Set(125, writer_open);
  table.Set(126, writer_save);
  table.Set(127, writer_quit);
  table.Set(128, writer_set_bookmark);
  table.Set(129, writer_append);
  table.Set(130, writer_whole_text);
  table.Set(131, writer_run_macro);
  table.Set(134, writer_print);
}

}  // namespace morivel::bridges
