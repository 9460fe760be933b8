// The spreadsheet and word-processor servers as the office commands see them. The office suite
// itself is reached by a plug-in (office_uno_*.cpp) loaded at first use, so this header carries no
// suite headers and the program runs where the suite is not installed.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace morivel::bridges {

// A failure of the suite or of the way to it; what() is UTF-8. Header-only on purpose: the
// plug-in throws it and the program catches it.
class OfficeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A cell counted from 0, as scripts give it.
struct CellAddress {
  int column = 0;
  int row = 0;
};

// What a cell holds: a number, or a text (empty for an empty cell).
struct CellValue {
  bool is_number = false;
  double number = 0;
  std::u16string text;
};

using CellRows = std::vector<std::vector<CellValue>>;

// Where a print command's pages go: a PDF file when `pdf` is set, else the named printer, else
// (both empty) the system's default printer.
struct PrintTarget {
  std::filesystem::path pdf;
  std::string printer;  // UTF-8
};

class Spreadsheet {
 public:
  virtual ~Spreadsheet() = default;
  // A new workbook becomes the active one, its first sheet the active sheet.
  virtual void NewWorkbook() = 0;
  virtual void Open(const std::filesystem::path& file) = 0;
  // The format follows the file's extension.
  virtual void Save(const std::filesystem::path& file) = 0;
  // Shift-JIS CSV whatever the extension.
  virtual void SaveCsv(const std::filesystem::path& file) = 0;
  // Closes the workbooks opened here without saving and ends the suite (one on screen only when
  // no other document has unsaved changes).
  virtual void Quit() = 0;
  // Numbers, formulas ("=...") and texts are told apart as typing them into the cell would.
  virtual void SetCell(CellAddress at, const std::u16string& input) = 0;
  virtual CellValue GetCell(CellAddress at) = 0;
  // Row i, field j goes to (corner.column + j, corner.row + i); rows may differ in length.
  virtual void SetBlock(CellAddress corner,
                        const std::vector<std::vector<std::u16string>>& rows) = 0;
  // Every cell of the rectangle spanned by two corners (in any order), row by row.
  virtual CellRows GetBlock(CellAddress from, CellAddress to) = 0;
  virtual void Select(CellAddress from, CellAddress to) = 0;
  // The workbook is found by its title or file name.
  virtual void ActivateBook(const std::u16string& book, const std::u16string& sheet) = 0;
  virtual void ActivateSheet(const std::u16string& sheet) = 0;
  virtual void Paste() = 0;
  virtual void Print(const PrintTarget& target) = 0;
  // Shows the active workbook's print preview and returns once it is closed; a preview still open
  // after `longest`, or when `give_up` is set, is closed here. A suite without windows shows none.
  virtual void PrintPreview(std::chrono::milliseconds longest,
                            const std::atomic<bool>& give_up) = 0;
  virtual void RunMacro(const std::u16string& name) = 0;
};

class WordProcessor {
 public:
  virtual ~WordProcessor() = default;
  virtual void NewDocument() = 0;
  virtual void Open(const std::filesystem::path& file) = 0;
  virtual void Save(const std::filesystem::path& file) = 0;
  // Closes the documents opened here without saving and ends the suite, as Spreadsheet::Quit.
  virtual void Quit() = 0;
  virtual void SetBookmarkText(const std::u16string& bookmark, const std::u16string& text) = 0;
  // Line breaks of the text (CR LF, CR or LF) start new paragraphs.
  virtual void AppendText(const std::u16string& text) = 0;
  // Paragraphs separated by CR LF.
  virtual std::u16string WholeText() = 0;
  virtual void Print(const PrintTarget& target) = 0;
  virtual void RunMacro(const std::u16string& name) = 0;
};

// How to reach the suite.
struct OfficeOptions {
  std::string program;      // the suite's starter; empty: the installed suite's soffice
  std::string pipe_name;    // the connection's pipe; attached to when the suite listens on it
  std::string profile_dir;  // empty: the user's own profile
  bool headless = true;     // no windows (console front end, or no display)
};

// The suite, attached or started on first use; shared by both families.
class OfficeSuite {
 public:
  virtual ~OfficeSuite() = default;
  virtual std::unique_ptr<Spreadsheet> StartSpreadsheet() = 0;
  virtual std::unique_ptr<WordProcessor> StartWordProcessor() = 0;
};

// Loads the plug-in; throws OfficeError saying how to install the suite when it cannot.
std::unique_ptr<OfficeSuite> load_office_suite(const OfficeOptions& options);

}  // namespace morivel::bridges

// The plug-in's one entry: a new suite object, or nullptr with `error` (UTF-8) filled.
extern "C" morivel::bridges::OfficeSuite* morivel_office_suite_create(
    const morivel::bridges::OfficeOptions* options, std::string* error);
