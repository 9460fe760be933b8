// The office plug-in: the spreadsheet and word-processor servers on the office suite's UNO API,
// through a pipe connection to a suite that is attached to or started here.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <rtl/textenc.h>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XDispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XPrintable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <rtl/uri.hxx>
#include <rtl/ustring.hxx>

#include "bridges/office.h"

namespace morivel::bridges {

namespace {

namespace css = com::sun::star;
using css::beans::PropertyValue;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;
namespace fs = std::filesystem;

// ---- text -------------------------------------------------------------------------------------

std::string utf8(const OUString& s) {
  return rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8).getStr();
}

// The suite's characters are UTF-16 units of another type name.
static_assert(sizeof(sal_Unicode) == sizeof(char16_t));

OUString ustring(std::u16string_view s) {
  return OUString(reinterpret_cast<const sal_Unicode*>(s.data()), static_cast<sal_Int32>(s.size()));
}

OUString ustring_of_utf8(std::string_view s) {
  return OUString(s.data(), static_cast<sal_Int32>(s.size()), RTL_TEXTENCODING_UTF8);
}

std::u16string u16(const OUString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.getStr()),
                        static_cast<std::size_t>(s.getLength()));
}

// A file URL built byte by byte, so that non-ASCII names do not depend on the process locale.
OUString file_url(const fs::path& file) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  const std::string native = fs::absolute(file).lexically_normal().native();
  for (unsigned char c : native) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return OUString::createFromAscii(url.c_str());
}

std::string lower_extension(const fs::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

PropertyValue property(const char* name, const Any& value) {
  PropertyValue p;
  p.Name = OUString::createFromAscii(name);
  p.Value = value;
  return p;
}

// ---- failures ---------------------------------------------------------------------------------

// Runs one piece of work with every failure of the suite as an OfficeError.
template <class Work>
auto guarded(Work work) -> decltype(work()) {
  try {
    return work();
  } catch (const css::uno::Exception& e) {
    Any caught = cppu::getCaughtException();
    std::string text = utf8(caught.getValueTypeName());
    if (!e.Message.isEmpty()) text += ": " + utf8(e.Message);
    throw OfficeError(text);
  } catch (const fs::filesystem_error& e) {
    throw OfficeError(e.what());
  }
}

// ---- the suite process ------------------------------------------------------------------------

const char* kUnoBootstrap = "vnd.sun.star.pathname:" MORIVEL_OFFICE_PROGRAM_DIR "/fundamentalrc";

Reference<css::uno::XComponentContext> local_context() {
  // The local UNO runtime needs its bootstrap file named before it starts; it lives for the run.
  static Reference<css::uno::XComponentContext> context = [] {
    setenv("URE_BOOTSTRAP", kUnoBootstrap, 0);
    // The bridge writes to the suite's pipe from threads of its own; a suite that ends (as the
    // quit commands ask) must fail those writes, not end this program by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    return cppu::defaultBootstrap_InitialComponentContext();
  }();
  return context;
}

// Starts the suite detached (a grandchild, so no zombie is left) with its output discarded.
void spawn_suite(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int null_fd = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null_fd < 0) throw OfficeError("/dev/null cannot be opened");
  pid_t child = fork();
  if (child == 0) {
    setsid();
    if (fork() == 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
      execv(argv[0], argv.data());
    }
    _exit(0);
  }
  close(null_fd);
  if (child < 0) throw OfficeError("the office suite cannot be started (fork failed)");
  waitpid(child, nullptr, 0);
}

class Connection {
 public:
  explicit Connection(OfficeOptions options) : options_(std::move(options)) {}

  // Windows need a window-system plug-in of the suite; the "nogui" packages have none.
  bool Headless() const { return options_.headless || !HasWindowSystem(); }

  // The suite's desktop, attaching to the suite on our pipe or starting it first.
  Reference<css::frame::XDesktop2> Desktop() {
    if (desktop_.is() && Alive()) return desktop_;
    desktop_.clear();
    Reference<css::uno::XComponentContext> remote = Resolve();
    if (!remote.is()) {
      StartSuite();
      remote = AwaitSuite();
    }
    desktop_ = css::frame::Desktop::create(remote);
    remote_ = remote;
    return desktop_;
  }

  // The suite's own context, for services that must run inside the suite.
  Reference<css::uno::XComponentContext> Context() {
    Desktop();
    return remote_;
  }

  // Ends the suite. A suite on screen is left running while it holds a document with unsaved
  // changes, which is the user's work; a headless one has no user, only scripts' documents.
  void End() {
    if (!desktop_.is()) return;
    try {
      if (Headless() || !HoldsUnsavedWork()) {
        desktop_->terminate();
        AwaitEnd();
      }
    } catch (const css::uno::RuntimeException&) {
      // The suite going away under the call is the expected end.
      AwaitEnd();
    }
    desktop_.clear();
    remote_.clear();
  }

 private:
  static bool HasWindowSystem() {
    static const bool found = [] {
      std::error_code error;
      for (const auto& entry : fs::directory_iterator(MORIVEL_OFFICE_PROGRAM_DIR, error))
        if (entry.path().filename().string().starts_with("libvclplug_")) return true;
      return false;
    }();
    return found;
  }

  bool HoldsUnsavedWork() {
    Reference<css::container::XEnumeration> open = desktop_->getComponents()->createEnumeration();
    while (open->hasMoreElements()) {
      Reference<css::util::XModifiable> doc(open->nextElement(), UNO_QUERY);
      if (doc.is() && doc->isModified()) return true;
    }
    return false;
  }

  bool Alive() {
    try {
      desktop_->getComponents();
      return true;
    } catch (const css::uno::RuntimeException&) {
      return false;
    }
  }

  OUString ConnectionUrl() const {
    return "uno:pipe,name=" + ustring_of_utf8(options_.pipe_name) +
           ";urp;StarOffice.ComponentContext";
  }

  Reference<css::uno::XComponentContext> Resolve() {
    Reference<css::bridge::XUnoUrlResolver> resolver =
        css::bridge::UnoUrlResolver::create(local_context());
    try {
      return Reference<css::uno::XComponentContext>(resolver->resolve(ConnectionUrl()),
                                                    UNO_QUERY_THROW);
    } catch (const css::connection::NoConnectException&) {
      return {};
    }
  }

  void StartSuite() {
    std::string program = MORIVEL_OFFICE_PROGRAM_DIR "/soffice";
    if (access(program.c_str(), X_OK) != 0)
      throw OfficeError("LibreOffice is not installed (" + program + " is missing)");
    std::vector<std::string> arguments = {
        program,       "--nologo",      "--norestore",
        "--nodefault", "--nolockcheck", "--accept=pipe,name=" + options_.pipe_name + ";urp;"};
    if (Headless()) {
      arguments.push_back("--headless");
      arguments.push_back("--invisible");
    }
    if (!options_.profile_dir.empty())
      arguments.push_back("-env:UserInstallation=" + utf8(file_url(options_.profile_dir)));
    spawn_suite(arguments);
  }

  // The pipe answers for a moment after the suite agreed to end; a start command right after a
  // quit must not attach to the ending suite.
  // Nor may it start while the ending one still holds the profile: the new process would hand
  // its arguments to the old one and leave.
  void AwaitEnd() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline && (Answers() || Locked()))
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  bool Answers() {
    try {
      return Resolve().is();
    } catch (const css::uno::RuntimeException&) {
      return false;
    }
  }

  bool Locked() const {
    std::error_code error;
    return fs::exists(ProfileLock(), error);
  }

  fs::path ProfileLock() const {
    if (!options_.profile_dir.empty()) return fs::path(options_.profile_dir) / ".lock";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    fs::path base = config && *config ? fs::path(config) : fs::path(home ? home : "") / ".config";
    return base / "libreoffice" / "4" / ".lock";
  }

  // A suite's first start with a new profile takes long on a busy machine.
  Reference<css::uno::XComponentContext> AwaitSuite() {
    auto start = std::chrono::steady_clock::now();
    auto last_spawn = start;
    while (std::chrono::steady_clock::now() < start + std::chrono::seconds(120)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
      if (auto remote = Resolve(); remote.is()) return remote;
      // A start that went to an instance on its way out is lost; starting again is harmless,
      // since a second start only hands its arguments to the first.
      if (std::chrono::steady_clock::now() - last_spawn > std::chrono::seconds(15)) {
        StartSuite();
        last_spawn = std::chrono::steady_clock::now();
      }
    }
    throw OfficeError("LibreOffice did not answer on pipe " + options_.pipe_name);
  }

  OfficeOptions options_;
  Reference<css::frame::XDesktop2> desktop_;
  Reference<css::uno::XComponentContext> remote_;
};

// ---- documents --------------------------------------------------------------------------------

// What loading any document passes: hidden without windows; document macros may run, as a
// script that opens a file to run its macros expects.
Sequence<PropertyValue> load_arguments(bool hidden, const char* filter = nullptr,
                                       const OUString& filter_options = {}) {
  std::vector<PropertyValue> args = {
      property("Hidden", Any(hidden)),
      property("MacroExecutionMode",
               Any(sal_Int16(css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN)))};
  if (filter) args.push_back(property("FilterName", Any(OUString::createFromAscii(filter))));
  if (!filter_options.isEmpty()) args.push_back(property("FilterOptions", Any(filter_options)));
  return Sequence<PropertyValue>(args.data(), static_cast<sal_Int32>(args.size()));
}

// The document already open from `url` in the suite (by this run, an earlier one or the user).
Reference<css::lang::XComponent> open_document(Connection& link, const OUString& url) {
  Reference<css::container::XEnumeration> open =
      link.Desktop()->getComponents()->createEnumeration();
  while (open->hasMoreElements()) {
    Reference<css::frame::XModel> model(open->nextElement(), UNO_QUERY);
    if (model.is() && model->getURL() == url) return {model, UNO_QUERY};
  }
  return {};
}

// Opening a file that is open already takes that document, as the suite will not load it twice.
Reference<css::lang::XComponent> load(Connection& link, const OUString& url,
                                      const Sequence<PropertyValue>& args) {
  if (url.startsWith("file:"))
    if (Reference<css::lang::XComponent> doc = open_document(link, url); doc.is()) return doc;
  Reference<css::frame::XComponentLoader> loader(link.Desktop(), UNO_QUERY_THROW);
  Reference<css::lang::XComponent> doc = loader->loadComponentFromURL(url, "_blank", 0, args);
  if (!doc.is())
    throw OfficeError("the document cannot be opened (missing, locked or not a document): " +
                      utf8(url));
  return doc;
}

void store(const Reference<css::lang::XComponent>& doc, const fs::path& file, const char* filter,
           const OUString& filter_options = {}) {
  std::vector<PropertyValue> args = {property("FilterName", Any(OUString::createFromAscii(filter))),
                                     property("Overwrite", Any(true))};
  if (!filter_options.isEmpty()) args.push_back(property("FilterOptions", Any(filter_options)));
  Reference<css::frame::XStorable> storable(doc, UNO_QUERY_THROW);
  Sequence<PropertyValue> arguments(args.data(), static_cast<sal_Int32>(args.size()));
  // PDF is an export only: the document keeps its own file.
  if (std::string_view(filter).ends_with("_pdf_Export"))
    storable->storeToURL(file_url(file), arguments);
  else
    storable->storeAsURL(file_url(file), arguments);
}

// Printing goes to the PDF file named by MORIVEL_PRINT_PDF when it is set, else to the printer.
void print(const Reference<css::lang::XComponent>& doc, const char* pdf_filter) {
  if (const char* pdf = std::getenv("MORIVEL_PRINT_PDF"); pdf && *pdf) {
    std::vector<PropertyValue> args = {
        property("FilterName", Any(OUString::createFromAscii(pdf_filter)))};
    Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)
        ->storeToURL(file_url(pdf), Sequence<PropertyValue>(args.data(), 1));
    return;
  }
  Reference<css::view::XPrintable> printable(doc, UNO_QUERY_THROW);
  std::vector<PropertyValue> options = {property("Wait", Any(true))};
  printable->print(Sequence<PropertyValue>(options.data(), 1));
}

void dispatch(Connection& link, const Reference<css::lang::XComponent>& doc, const char* command) {
  Reference<css::frame::XModel> model(doc, UNO_QUERY_THROW);
  Reference<css::frame::XDispatchProvider> frame(model->getCurrentController()->getFrame(),
                                                 UNO_QUERY_THROW);
  Reference<css::frame::XDispatchHelper> helper =
      css::frame::DispatchHelper::create(link.Context());
  helper->executeDispatch(frame, OUString::createFromAscii(command), "", 0, {});
}

void close_without_saving(const Reference<css::lang::XComponent>& doc) {
  try {
    if (Reference<css::util::XModifiable> modifiable{doc, UNO_QUERY}; modifiable.is())
      modifiable->setModified(false);
    if (Reference<css::util::XCloseable> closeable{doc, UNO_QUERY}; closeable.is())
      closeable->close(true);
    else
      doc->dispose();
  } catch (const css::uno::Exception&) {
    // Already closed by the user or gone with the suite: nothing left to close.
  }
}

// ---- macros -----------------------------------------------------------------------------------

bool is_name_char(char16_t c) {
  return c == u'_' || (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') ||
         (c >= u'A' && c <= u'Z') || c > 0x7F;
}

std::u16string lower(std::u16string s) {
  for (char16_t& c : s)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return s;
}

// Whether a Basic module's source declares the routine `name` (as Sub or Function).
bool declares_routine(const std::u16string& source, const std::u16string& name) {
  std::u16string text = lower(source);
  std::u16string wanted = lower(name);
  for (std::u16string_view keyword : {u"sub ", u"function "}) {
    for (std::size_t at = text.find(keyword); at != std::u16string::npos;
         at = text.find(keyword, at + 1)) {
      std::size_t start = at + keyword.size();
      while (start < text.size() && text[start] == u' ') ++start;
      std::size_t end = start + wanted.size();
      bool line_start = at == 0 || text[at - 1] == u'\n' || text[at - 1] == u'\r' ||
                        text[at - 1] == u' ' || text[at - 1] == u'\t';
      if (line_start && text.compare(start, wanted.size(), wanted) == 0 &&
          (end >= text.size() || !is_name_char(text[end])))
        return true;
    }
  }
  return false;
}

// The "Library.Module" of the document's Basic that declares `routine`, or empty.
std::u16string module_declaring(const Reference<css::lang::XComponent>& doc,
                                const std::u16string& routine) {
  Reference<css::document::XEmbeddedScripts> scripts(doc, UNO_QUERY);
  if (!scripts.is()) return {};
  Reference<css::script::XLibraryContainer> libraries(scripts->getBasicLibraries(), UNO_QUERY);
  if (!libraries.is()) return {};
  for (const OUString& library : libraries->getElementNames()) {
    libraries->loadLibrary(library);
    Reference<css::container::XNameAccess> modules(libraries->getByName(library), UNO_QUERY);
    if (!modules.is()) continue;
    for (const OUString& module : modules->getElementNames()) {
      OUString source;
      if ((modules->getByName(module) >>= source) && declares_routine(u16(source), routine))
        return u16(library) + u"." + u16(module);
    }
  }
  return {};
}

// A macro name as scripts write it: a whole script URI; "file.py$function" for a Python macro
// of the document; "Library.Module.Routine", "Module.Routine" (library Standard) or a routine
// alone, searched for in the document's Basic. A "Book!" prefix is dropped.
OUString macro_uri(const Reference<css::lang::XComponent>& doc, std::u16string name) {
  if (name.starts_with(u"vnd.sun.star.script:")) return ustring(name);
  if (std::size_t bang = name.find(u'!'); bang != std::u16string::npos) name.erase(0, bang + 1);
  if (name.find(u"$") != std::u16string::npos)
    return "vnd.sun.star.script:" + ustring(name) + "?language=Python&location=document";
  auto dots = std::count(name.begin(), name.end(), u'.');
  if (dots == 1) name = u"Standard." + name;
  if (dots == 0) {
    std::u16string module = module_declaring(doc, name);
    if (module.empty())
      throw OfficeError("macro \"" + utf8(ustring(name)) + "\" is not in the document");
    name = module + u"." + name;
  }
  return "vnd.sun.star.script:" + ustring(name) + "?language=Basic&location=document";
}

void run_macro(const Reference<css::lang::XComponent>& doc, const std::u16string& name) {
  Reference<css::script::provider::XScriptProviderSupplier> supplier(doc, UNO_QUERY_THROW);
  Reference<css::script::provider::XScript> script =
      supplier->getScriptProvider()->getScript(macro_uri(doc, name));
  Sequence<sal_Int16> out_index;
  Sequence<Any> out_values;
  script->invoke({}, out_index, out_values);
}

// ---- the spreadsheet --------------------------------------------------------------------------

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
      Reference<css::sheet::XCellRangeData> range(Range(from, to), UNO_QUERY_THROW);
      CellRows rows;
      for (const Sequence<Any>& row : range->getDataArray()) {
        rows.emplace_back();
        for (const Any& field : row) rows.back().push_back(ValueOf(field));
      }
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

  void Print() override {
    guarded([&] { print(Document(), "calc_pdf_Export"); });
  }

  // Without a screen there is nothing to preview on, and the suite's preview of a hidden
  // document breaks the next load: a headless suite only checks that a workbook is open.
  void PrintPreview() override {
    guarded([&] {
      Reference<css::lang::XComponent> doc = Document();
      if (!link_->Headless()) dispatch(*link_, doc, ".uno:PrintPreview");
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

  static CellValue ValueOf(const Reference<css::table::XCell>& cell) {
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

// ---- the word processor -----------------------------------------------------------------------

const char* writer_filter(const fs::path& file) {
  std::string ext = lower_extension(file);
  if (ext == ".odt") return "writer8";
  if (ext == ".docx") return "MS Word 2007 XML";
  if (ext == ".doc") return "MS Word 97";
  if (ext == ".rtf") return "Rich Text Format";
  if (ext == ".txt") return "Text (encoded)";
  if (ext == ".pdf") return "writer_pdf_Export";
  throw OfficeError("no document format for the extension \"" + ext +
                    "\" (.odt, .docx, .doc, .rtf, .txt, .pdf)");
}

// Plain text files are Shift-JIS with CR LF, as the scripts' own text files are.
const OUString kTextOptions = "MS_932,CRLF,,";

// The suite separates paragraphs by CR on input; scripts write CR LF.
std::u16string paragraphs_for_suite(const std::u16string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    out += text[i] == u'\n' ? u'\r' : text[i];
  }
  return out;
}

std::u16string paragraphs_for_script(const std::u16string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      out += u"\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

class WriterServer : public WordProcessor {
 public:
  explicit WriterServer(std::shared_ptr<Connection> link) : link_(std::move(link)) {}
  ~WriterServer() override = default;

  void NewDocument() override {
    guarded(
        [&] { Adopt(load(*link_, "private:factory/swriter", load_arguments(link_->Headless()))); });
  }

  void Open(const fs::path& file) override {
    guarded([&] {
      bool text = lower_extension(file) == ".txt";
      Sequence<PropertyValue> args =
          text ? load_arguments(link_->Headless(), "Text (encoded)", kTextOptions)
               : load_arguments(link_->Headless());
      Adopt(load(*link_, file_url(file), args));
    });
  }

  void Save(const fs::path& file) override {
    const char* filter = writer_filter(file);
    guarded([&] {
      store(Component(), file, filter, lower_extension(file) == ".txt" ? kTextOptions : OUString());
    });
  }

  void Quit() override {
    guarded([&] {
      for (const auto& doc : opened_) close_without_saving(doc);
      opened_.clear();
      document_.clear();
      link_->End();
    });
  }

  void SetBookmarkText(const std::u16string& bookmark, const std::u16string& text) override {
    guarded([&] {
      Reference<css::text::XBookmarksSupplier> supplier(Document(), UNO_QUERY_THROW);
      Reference<css::container::XNameAccess> marks = supplier->getBookmarks();
      if (!marks->hasByName(ustring(bookmark)))
        throw OfficeError("no bookmark named \"" + utf8(ustring(bookmark)) + "\"");
      Reference<css::text::XTextContent> mark(marks->getByName(ustring(bookmark)), UNO_QUERY_THROW);
      mark->getAnchor()->setString(ustring(paragraphs_for_suite(text)));
    });
  }

  void AppendText(const std::u16string& text) override {
    guarded([&] {
      Reference<css::text::XText> body = Document()->getText();
      body->insertString(body->getEnd(), ustring(paragraphs_for_suite(text)), false);
    });
  }

  std::u16string WholeText() override {
    return guarded([&] { return paragraphs_for_script(u16(Document()->getText()->getString())); });
  }

  void Print() override {
    guarded([&] { print(Component(), "writer_pdf_Export"); });
  }

  void RunMacro(const std::u16string& name) override {
    guarded([&] { run_macro(Component(), name); });
  }

 private:
  void Adopt(const Reference<css::lang::XComponent>& doc) {
    Reference<css::text::XTextDocument> text(doc, UNO_QUERY);
    if (!text.is()) {
      close_without_saving(doc);
      throw OfficeError("the file is not a text document");
    }
    opened_.push_back(doc);
    document_ = text;
  }

  Reference<css::text::XTextDocument> Document() {
    if (!document_.is()) throw OfficeError("no document is open");
    return document_;
  }
  Reference<css::lang::XComponent> Component() { return {Document(), UNO_QUERY_THROW}; }

  std::shared_ptr<Connection> link_;
  std::vector<Reference<css::lang::XComponent>> opened_;
  Reference<css::text::XTextDocument> document_;
};

// ---- the suite --------------------------------------------------------------------------------

class UnoSuite : public OfficeSuite {
 public:
  explicit UnoSuite(const OfficeOptions& options) : link_(std::make_shared<Connection>(options)) {}

  std::unique_ptr<Spreadsheet> StartSpreadsheet() override {
    return std::make_unique<CalcServer>(link_);
  }
  std::unique_ptr<WordProcessor> StartWordProcessor() override {
    return std::make_unique<WriterServer>(link_);
  }

 private:
  std::shared_ptr<Connection> link_;
};

}  // namespace

}  // namespace morivel::bridges

extern "C" __attribute__((visibility("default"))) morivel::bridges::OfficeSuite*
morivel_office_suite_create(const morivel::bridges::OfficeOptions* options, std::string* error) {
  try {
    return new morivel::bridges::UnoSuite(*options);
  } catch (const std::exception& e) {
    *error = e.what();
    return nullptr;
  }
}
