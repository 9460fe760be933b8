// The spreadsheet server on the suite's Calc documents.
#include <algorithm>
#include <cstdlib>
#include <thread>

#include "bridges/office_uno.h"

namespace morivel::bridges::uno {

namespace {

OUString csv_options() {
  // Comma, double quote, Windows Shift-JIS, from line 1; text as shown.
  return "44,34," + OUString::number(RTL_TEXTENCODING_MS_932) + ",1,,0,false,true,true";
}

const char* calc_filter(const fs::path& file) {
  std::string ext = lower_extension(file);
  if (ext == ".xlsx") return "Calc MS Excel 2007 XML";
  if (ext == ".xls") return "MS Excel 97";
  if (ext == ".ods") return "calc8";
  if (ext == ".csv") return "Text - txt - csv (StarCalc)";
  if (ext == ".pdf") return "calc_pdf_Export";
  throw OfficeError("no spreadsheet format for the extension \"" + ext +
                    "\" (.xlsx, .xls, .ods, .csv, .pdf)");
}

class CalcServer : public Spreadsheet {
 public:
  explicit CalcServer(std::shared_ptr<Connection> link) : link_(std::move(link)) {}
  ~CalcServer() override = default;

  void NewWorkbook() override {
    guarded(
        [&] { Adopt(load(*link_, "private:factory/scalc", load_arguments(link_->Headless()))); });
  }

  void Open(const fs::path& file) override {
    guarded([&] {
      bool csv = lower_extension(file) == ".csv";
      Sequence<PropertyValue> args =
          csv ? load_arguments(link_->Headless(), "Text - txt - csv (StarCalc)", csv_options())
              : load_arguments(link_->Headless());
      Adopt(load(*link_, file_url(file), args));
    });
  }

  void Save(const fs::path& file) override {
    const char* filter = calc_filter(file);
    if (lower_extension(file) == ".csv") return SaveCsv(file);
    guarded([&] { store(Document(), file, filter); });
  }

  void SaveCsv(const fs::path& file) override {
    guarded([&] { store(Document(), file, "Text - txt - csv (StarCalc)", csv_options()); });
  }

  void Quit() override {
    guarded([&] {
      for (const auto& doc : opened_) close_without_saving(doc);
      opened_.clear();
      book_.clear();
      sheet_.clear();
      link_->End();
    });
  }

  void SetCell(CellAddress at, const std::u16string& input) override {
    guarded([&] { Cell(at)->setFormula(ustring(input)); });
  }

  CellValue GetCell(CellAddress at) override {
    return guarded([&] { return ValueOf(Cell(at)); });
  }

  void SetBlock(CellAddress corner, const std::vector<std::vector<std::u16string>>& rows) override {
    guarded([&] {
      for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].empty()) continue;
        Sequence<OUString> fields(static_cast<sal_Int32>(rows[i].size()));
        for (std::size_t j = 0; j < rows[i].size(); ++j) fields.getArray()[j] = ustring(rows[i][j]);
        int row = corner.row + static_cast<int>(i);
        int last_column = corner.column + static_cast<int>(rows[i].size()) - 1;
        Reference<css::sheet::XCellRangeFormula> range(
            Sheet()->getCellRangeByPosition(corner.column, row, last_column, row), UNO_QUERY_THROW);
        range->setFormulaArray(Sequence<Sequence<OUString>>(&fields, 1));
      }
    });
  }

  CellRows GetBlock(CellAddress from, CellAddress to) override {
    // The whole answer crosses the pipe at once; a sheet-sized range would exhaust memory.
    constexpr long long kMaxCells = 4'000'000;
    long long columns = std::abs(static_cast<long long>(to.column) - from.column) + 1;
    long long rows_wanted = std::abs(static_cast<long long>(to.row) - from.row) + 1;
    if (columns * rows_wanted > kMaxCells)
      throw OfficeError("the range has more than " + std::to_string(kMaxCells) + " cells");
    return guarded([&] {
      Reference<css::table::XCellRange> cells = Range(from, to);
      Reference<css::sheet::XCellRangeData> range(cells, UNO_QUERY_THROW);
      CellRows rows;
      for (const Sequence<Any>& row : range->getDataArray()) {
        rows.emplace_back();
        for (const Any& field : row) rows.back().push_back(ValueOf(field));
      }
      ShowDates(cells, rows);
      return rows;
    });
  }

  void Select(CellAddress from, CellAddress to) override {
    guarded([&] {
      Reference<css::view::XSelectionSupplier> view(Controller(), UNO_QUERY_THROW);
      view->select(Any(Range(from, to)));
    });
  }

  void ActivateBook(const std::u16string& book, const std::u16string& sheet) override {
    guarded([&] {
      Reference<css::lang::XComponent> doc = FindBook(book);
      book_.set(doc, UNO_QUERY_THROW);
      ActivateSheet(sheet);
    });
  }

  void ActivateSheet(const std::u16string& name) override {
    guarded([&] {
      Reference<css::sheet::XSpreadsheets> sheets = Book()->getSheets();
      if (!sheets->hasByName(ustring(name)))
        throw OfficeError("no sheet named \"" + utf8(ustring(name)) + "\"");
      sheet_.set(sheets->getByName(ustring(name)), UNO_QUERY_THROW);
      if (Reference<css::sheet::XSpreadsheetView> view{Controller(), UNO_QUERY}; view.is())
        view->setActiveSheet(sheet_);
    });
  }

  // A headless suite sees no clipboard but its own, which no command fills, and its paste on a
  // hidden document brings it down: only a suite with windows pastes.
  void Paste() override {
    guarded([&] {
      Reference<css::lang::XComponent> doc = Document();
      if (link_->Headless())
        throw OfficeError("LibreOffice runs headless and has no clipboard to paste from");
      dispatch(*link_, doc, ".uno:Paste");
    });
  }

  void Print(const PrintTarget& target) override {
    guarded([&] { print(Document(), "calc_pdf_Export", target); });
  }

  // Without a screen there is nothing to preview on, and the suite's preview of a hidden
  // document breaks the next load: a headless suite only checks that a workbook is open.
  // The suite switches to its preview after the dispatch returns and does not hold its caller,
  // so both the preview's start and its end are waited for here.
  void PrintPreview(std::chrono::milliseconds longest, const std::atomic<bool>& give_up) override {
    guarded([&] {
      Reference<css::lang::XComponent> doc = Document();
      if (link_->Headless()) return;
      dispatch(*link_, doc, ".uno:PrintPreview");
      if (!AwaitView(true, std::chrono::seconds(30), give_up))
        throw OfficeError("the print preview did not open");
      if (AwaitView(false, longest, give_up)) return;
      // The sheet view must be back before the next command selects or pastes.
      dispatch(*link_, doc, ".uno:ClosePreview");
      if (!AwaitView(false, std::chrono::seconds(30), std::atomic<bool>(false)))
        throw OfficeError("the print preview did not close");
    });
  }

  void RunMacro(const std::u16string& name) override {
    guarded([&] { run_macro(Document(), name); });
  }

 private:
  void Adopt(const Reference<css::lang::XComponent>& doc) {
    Reference<css::sheet::XSpreadsheetDocument> book(doc, UNO_QUERY);
    if (!book.is()) {
      close_without_saving(doc);
      throw OfficeError("the file is not a spreadsheet");
    }
    opened_.push_back(doc);
    book_ = book;
    sheet_.clear();
    if (Reference<css::sheet::XSpreadsheetView> view{Controller(), UNO_QUERY}; view.is())
      sheet_ = view->getActiveSheet();
    if (!sheet_.is())
      sheet_.set(Reference<css::container::XIndexAccess>(book_->getSheets(), UNO_QUERY_THROW)
                     ->getByIndex(0),
                 UNO_QUERY_THROW);
  }

  Reference<css::sheet::XSpreadsheetDocument> Book() {
    if (!book_.is()) throw OfficeError("no workbook is open");
    return book_;
  }
  Reference<css::lang::XComponent> Document() { return {Book(), UNO_QUERY_THROW}; }
  Reference<css::sheet::XSpreadsheet> Sheet() {
    Book();
    return sheet_;
  }
  // Whether the workbook shows its preview (`preview`) or not before `longest` passes.
  bool AwaitView(bool preview, std::chrono::milliseconds longest,
                 const std::atomic<bool>& give_up) {
    auto deadline = std::chrono::steady_clock::now() + longest;
    while (InPreview() != preview) {
      if (give_up || std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
  }

  // The preview has a view of its own, without the sheet view's interface. A workbook the user
  // closed meanwhile shows no preview either.
  bool InPreview() {
    try {
      Reference<css::frame::XController> view = Controller();
      return view.is() && !Reference<css::sheet::XSpreadsheetView>(view, UNO_QUERY).is();
    } catch (const css::lang::DisposedException&) {
      return false;
    }
  }

  Reference<css::frame::XController> Controller() {
    return Reference<css::frame::XModel>(Book(), UNO_QUERY_THROW)->getCurrentController();
  }

  Reference<css::table::XCell> Cell(CellAddress at) {
    if (at.column < 0 || at.row < 0) throw OfficeError("a cell address is negative");
    return Sheet()->getCellByPosition(at.column, at.row);
  }

  Reference<css::table::XCellRange> Range(CellAddress from, CellAddress to) {
    if (std::min({from.column, from.row, to.column, to.row}) < 0)
      throw OfficeError("a cell address is negative");
    return Sheet()->getCellRangeByPosition(
        std::min(from.column, to.column), std::min(from.row, to.row),
        std::max(from.column, to.column), std::max(from.row, to.row));
  }

  // Whether a number format of the workbook shows its numbers as dates or times of day.
  bool ShowsDate(sal_Int32 format_key) {
    Reference<css::util::XNumberFormatsSupplier> supplier(Book(), UNO_QUERY_THROW);
    sal_Int16 type = 0;
    supplier->getNumberFormats()->getByKey(format_key)->getPropertyValue("Type") >>= type;
    return (type & (css::util::NumberFormat::DATE | css::util::NumberFormat::TIME)) != 0;
  }

  // A date is read as the user sees it in the cell, not as the day number it is stored as.
  CellValue ValueOf(const Reference<css::table::XCell>& cell) {
    CellValue value = StoredValueOf(cell);
    if (!value.is_number) return value;
    sal_Int32 format = 0;
    Reference<css::beans::XPropertySet>(cell, UNO_QUERY_THROW)->getPropertyValue("NumberFormat") >>=
        format;
    if (!ShowsDate(format)) return value;
    return CellValue{false, 0,
                     u16(Reference<css::text::XTextRange>(cell, UNO_QUERY_THROW)->getString())};
  }

  // The numbers of a block that show as dates become the text their cells show. The block's
  // formats come in ranges of equal format, so only the cells of date ranges are read one by one.
  void ShowDates(const Reference<css::table::XCellRange>& cells, CellRows& rows) {
    Reference<css::sheet::XCellRangeAddressable> block(cells, UNO_QUERY_THROW);
    const css::table::CellRangeAddress corner = block->getRangeAddress();
    Reference<css::sheet::XCellFormatRangesSupplier> supplier(cells, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> ranges = supplier->getCellFormatRanges();
    for (sal_Int32 i = 0; i < ranges->getCount(); ++i) {
      Reference<css::beans::XPropertySet> range(ranges->getByIndex(i), UNO_QUERY_THROW);
      sal_Int32 format = 0;
      range->getPropertyValue("NumberFormat") >>= format;
      if (!ShowsDate(format)) continue;
      css::table::CellRangeAddress area =
          Reference<css::sheet::XCellRangeAddressable>(range, UNO_QUERY_THROW)->getRangeAddress();
      for (sal_Int32 row = area.StartRow; row <= area.EndRow; ++row)
        for (sal_Int32 column = area.StartColumn; column <= area.EndColumn; ++column) {
          auto r = static_cast<std::size_t>(row - corner.StartRow);
          auto c = static_cast<std::size_t>(column - corner.StartColumn);
          if (r >= rows.size() || c >= rows[r].size() || !rows[r][c].is_number) continue;
          Reference<css::text::XTextRange> text(
              cells->getCellByPosition(column - corner.StartColumn, row - corner.StartRow),
              UNO_QUERY_THROW);
          rows[r][c] = CellValue{false, 0, u16(text->getString())};
        }
    }
  }

  static CellValue StoredValueOf(const Reference<css::table::XCell>& cell) {
    css::table::CellContentType type = cell->getType();
    bool number = type == css::table::CellContentType_VALUE;
    if (type == css::table::CellContentType_FORMULA) {
      sal_Int32 result = 0;
      Reference<css::beans::XPropertySet>(cell, UNO_QUERY_THROW)
          ->getPropertyValue("FormulaResultType2") >>= result;
      number = result == css::sheet::FormulaResult::VALUE;
    }
    if (number) return CellValue{true, cell->getValue(), {}};
    return CellValue{false, 0,
                     u16(Reference<css::text::XTextRange>(cell, UNO_QUERY_THROW)->getString())};
  }

  static CellValue ValueOf(const Any& field) {
    double number = 0;
    if (field >>= number) return CellValue{true, number, {}};
    OUString text;
    field >>= text;
    return CellValue{false, 0, u16(text)};
  }

  Reference<css::lang::XComponent> FindBook(const std::u16string& name) {
    Reference<css::container::XEnumeration> open =
        link_->Desktop()->getComponents()->createEnumeration();
    while (open->hasMoreElements()) {
      Reference<css::lang::XComponent> doc(open->nextElement(), UNO_QUERY);
      Reference<css::sheet::XSpreadsheetDocument> book(doc, UNO_QUERY);
      if (book.is() && NamedAs(doc, name)) return doc;
    }
    throw OfficeError("no workbook named \"" + utf8(ustring(name)) + "\"");
  }

  // A workbook answers to its title and to its file's name, with or without the extension.
  static bool NamedAs(const Reference<css::lang::XComponent>& doc, const std::u16string& name) {
    OUString wanted = ustring(name);
    if (Reference<css::frame::XTitle> title{doc, UNO_QUERY}; title.is())
      if (title->getTitle() == wanted) return true;
    Reference<css::frame::XModel> model(doc, UNO_QUERY);
    if (!model.is()) return false;
    OUString url = model->getURL();
    OUString file = url.copy(url.lastIndexOf('/') + 1);
    OUString decoded = rtl::Uri::decode(file, rtl_UriDecodeWithCharset, RTL_TEXTENCODING_UTF8);
    sal_Int32 dot = decoded.lastIndexOf('.');
    return decoded == wanted || (dot > 0 && decoded.copy(0, dot) == wanted);
  }

  std::shared_ptr<Connection> link_;
  std::vector<Reference<css::lang::XComponent>> opened_;
  Reference<css::sheet::XSpreadsheetDocument> book_;
  Reference<css::sheet::XSpreadsheet> sheet_;
};
}  // namespace

std::unique_ptr<Spreadsheet> make_spreadsheet(std::shared_ptr<Connection> link) {
  return std::make_unique<CalcServer>(std::move(link));
}

}  // namespace morivel::bridges::uno
