// The office plug-in's shared pieces: text between the program and the suite, failures as
// OfficeError, the connection to the suite and the operations every kind of document has. Only
// the plug-in's own files include it; they are built against the suite's generated headers.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScript.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/view/XPrintable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/exc_hlp.hxx>
#include <rtl/uri.hxx>
#include <rtl/ustring.hxx>

#include "bridges/office.h"

namespace morivel::bridges::uno {

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

std::string utf8(const OUString& s);
OUString ustring(std::u16string_view s);
OUString ustring_of_utf8(std::string_view s);
std::u16string u16(const OUString& s);
// A file URL built byte by byte, so that non-ASCII names do not depend on the process locale.
OUString file_url(const fs::path& file);
std::string lower_extension(const fs::path& file);
PropertyValue property(const char* name, const Any& value);

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

// ---- the connection ---------------------------------------------------------------------------

// The suite process a connection started: a child of ours until it ends, its output kept in an
// unlinked file for the reason a failed start gives.
class SuiteProcess {
 public:
  SuiteProcess() = default;
  ~SuiteProcess();
  SuiteProcess(const SuiteProcess&) = delete;
  SuiteProcess& operator=(const SuiteProcess&) = delete;

  void Start(const std::vector<std::string>& arguments);
  struct End {
    bool success = false;  // exit status 0: the suite handed its work to one already running
    std::string reason;    // how it ended and the last of what it wrote
  };
  // Whether the process has ended since it was started (each end is reported once).
  std::optional<End> Ended();
  // Whether the process started last still runs (an end found here is not reported again).
  bool Running() {
    Ended();
    return pid_ >= 0;
  }

 private:
  std::string LastOutput() const;
  int pid_ = -1;
  int output_ = -1;
};

class Connection {
 public:
  explicit Connection(OfficeOptions options) : options_(std::move(options)) {}

  // Windows need a window-system plug-in of the suite; the "nogui" packages have none.
  bool Headless() const { return options_.headless || !HasWindowSystem(); }

  // The suite's desktop, attaching to the suite on our pipe or starting it first.
  Reference<css::frame::XDesktop2> Desktop();

  // The suite's own context, for services that must run inside the suite.
  Reference<css::uno::XComponentContext> Context();

  // Ends the suite. A suite on screen is left running while it holds a document with unsaved
  // changes, which is the user's work; a headless one has no user, only scripts' documents.
  void End();

 private:
  static bool HasWindowSystem();
  bool HoldsUnsavedWork();
  bool Alive();
  OUString ConnectionUrl() const;
  Reference<css::uno::XComponentContext> Resolve();
  void StartSuite();

  // The pipe answers for a moment after the suite agreed to end; a start command right after a
  // quit must not attach to the ending suite.
  // Nor may it start while the ending one still holds the profile: the new process would hand
  // its arguments to the old one and leave.
  void AwaitEnd();
  bool Answers();
  bool Locked() const;
  fs::path ProfileLock() const;

  // A suite's first start with a new profile takes long on a busy machine.
  Reference<css::uno::XComponentContext> AwaitSuite();

  OfficeOptions options_;
  SuiteProcess process_;
  Reference<css::frame::XDesktop2> desktop_;
  Reference<css::uno::XComponentContext> remote_;
};

// ---- documents --------------------------------------------------------------------------------

// What loading any document passes: hidden without windows; document macros may run, as a
// script that opens a file to run its macros expects.
Sequence<PropertyValue> load_arguments(bool hidden, const char* filter = nullptr,
                                       const OUString& filter_options = {});
// Opening a file that is open already takes that document, as the suite will not load it twice.
Reference<css::lang::XComponent> load(Connection& link, const OUString& url,
                                      const Sequence<PropertyValue>& args);
void store(const Reference<css::lang::XComponent>& doc, const fs::path& file, const char* filter,
           const OUString& filter_options = {});
// Prints the document where `target` says; `pdf_filter` is the document kind's PDF export.
void print(const Reference<css::lang::XComponent>& doc, const char* pdf_filter,
           const PrintTarget& target);
void dispatch(Connection& link, const Reference<css::lang::XComponent>& doc, const char* command);
void close_without_saving(const Reference<css::lang::XComponent>& doc);
// A macro of the document by the name scripts give (see macro_uri).
void run_macro(const Reference<css::lang::XComponent>& doc, const std::u16string& name);

// ---- the servers ------------------------------------------------------------------------------

std::unique_ptr<Spreadsheet> make_spreadsheet(std::shared_ptr<Connection> link);
std::unique_ptr<WordProcessor> make_word_processor(std::shared_ptr<Connection> link);

}  // namespace morivel::bridges::uno
