// The word-processor server on the suite's Writer documents.
#include "bridges/office_uno.h"

namespace morivel::bridges::uno {

namespace {

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

  void Print(const PrintTarget& target) override {
    guarded([&] { print(Component(), "writer_pdf_Export", target); });
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
}  // namespace

std::unique_ptr<WordProcessor> make_word_processor(std::shared_ptr<Connection> link) {
  return std::make_unique<WriterServer>(std::move(link));
}

}  // namespace morivel::bridges::uno
