// The operations every kind of document has: loading, storing, printing, dispatching the suite's
// commands, closing and running the document's macros.
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "bridges/office_uno.h"

namespace morivel::bridges::uno {

namespace {

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

// The suite reads a script URI as a URI: characters beyond ASCII, and those that would end the
// name, go as %-escaped UTF-8 bytes. `keep` names the ASCII characters that stay as they are.
OUString uri_escaped(std::u16string_view text, std::string_view keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string bytes = utf8(ustring(text));
  std::string out;
  for (unsigned char c : bytes) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 (c < 0x80 && keep.find(static_cast<char>(c)) != std::string_view::npos);
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return OUString::createFromAscii(out.c_str());
}

// The characters a macro's name keeps, and those a whole script URI keeps (its own escapes too).
constexpr std::string_view kNameChars = "._-$~!*'()/";
constexpr std::string_view kUriChars = "._-$~!*'():/?&=;,+@%#";

// A macro name as scripts write it: a whole script URI; "file.py$function" for a Python macro
// of the document; "Library.Module.Routine", "Module.Routine" (library Standard) or a routine
// alone, searched for in the document's Basic. A "Book!" prefix is dropped.
OUString macro_uri(const Reference<css::lang::XComponent>& doc, std::u16string name) {
  if (name.starts_with(u"vnd.sun.star.script:")) return uri_escaped(name, kUriChars);
  if (std::size_t bang = name.find(u'!'); bang != std::u16string::npos) name.erase(0, bang + 1);
  if (name.find(u"$") != std::u16string::npos)
    return "vnd.sun.star.script:" + uri_escaped(name, kNameChars) +
           "?language=Python&location=document";
  auto dots = std::count(name.begin(), name.end(), u'.');
  if (dots == 1) name = u"Standard." + name;
  if (dots == 0) {
    std::u16string module = module_declaring(doc, name);
    if (module.empty())
      throw OfficeError("macro \"" + utf8(ustring(name)) + "\" is not in the document");
    name = module + u"." + name;
  }
  return "vnd.sun.star.script:" + uri_escaped(name, kNameChars) +
         "?language=Basic&location=document";
}

}  // namespace

// ---- documents --------------------------------------------------------------------------------

Sequence<PropertyValue> load_arguments(bool hidden, const char* filter,
                                       const OUString& filter_options) {
  std::vector<PropertyValue> args = {
      property("Hidden", Any(hidden)),
      property("MacroExecutionMode",
               Any(sal_Int16(css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN)))};
  // A visible document's menus ask the window system for the clipboard's formats as it comes up;
  // done on the thread our call arrives on, that wait can stall the suite for good, so the suite
  // loads such documents on its own main thread.
  if (!hidden) args.push_back(property("OnMainThread", Any(true)));
  if (filter) args.push_back(property("FilterName", Any(OUString::createFromAscii(filter))));
  if (!filter_options.isEmpty()) args.push_back(property("FilterOptions", Any(filter_options)));
  return Sequence<PropertyValue>(args.data(), static_cast<sal_Int32>(args.size()));
}

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
           const OUString& filter_options) {
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

void print(const Reference<css::lang::XComponent>& doc, const char* pdf_filter,
           const PrintTarget& target) {
  if (!target.pdf.empty()) {
    std::vector<PropertyValue> args = {
        property("FilterName", Any(OUString::createFromAscii(pdf_filter)))};
    Reference<css::frame::XStorable>(doc, UNO_QUERY_THROW)
        ->storeToURL(file_url(target.pdf), Sequence<PropertyValue>(args.data(), 1));
    return;
  }
  Reference<css::view::XPrintable> printable(doc, UNO_QUERY_THROW);
  if (!target.printer.empty()) {
    std::vector<PropertyValue> printer = {property("Name", Any(ustring_of_utf8(target.printer)))};
    printable->setPrinter(Sequence<PropertyValue>(printer.data(), 1));
  }
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

void run_macro(const Reference<css::lang::XComponent>& doc, const std::u16string& name) {
  Reference<css::script::provider::XScriptProviderSupplier> supplier(doc, UNO_QUERY_THROW);
  OUString uri = macro_uri(doc, name);
  Reference<css::script::provider::XScript> script;
  try {
    script = supplier->getScriptProvider()->getScript(uri);
  } catch (const css::uno::Exception& e) {
    // The suite's Basic compiles names beyond ASCII only in compatible modules; elsewhere the
    // routine is in the source, yet not there to run, which would otherwise make no sense.
    bool wide = std::any_of(name.begin(), name.end(), [](char16_t c) { return c > 0x7F; });
    if (!wide || uri.indexOf("language=Basic") < 0) throw;
    throw OfficeError("macro \"" + utf8(ustring(name)) +
                      "\" cannot be run: LibreOffice Basic knows routines named beyond ASCII only "
                      "in modules that begin with \"Option Compatible\" or \"Option VBASupport "
                      "1\" (" +
                      utf8(e.Message) + ")");
  }
  Sequence<sal_Int16> out_index;
  Sequence<Any> out_values;
  script->invoke({}, out_index, out_values);
}

}  // namespace morivel::bridges::uno
