// Simple XML documents: the lenient reader, the outline reader, the indenting writer, paths and
// the text-level tag commands. Nothing here recurses per nesting level, so hostile depth is safe.
#include "formats/xml.h"

#include <algorithm>
#include <utility>

#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::formats {

namespace {

constexpr std::size_t kMaxXmlResultBytes = std::size_t{64} << 20;
constexpr std::size_t kMaxOutlineDepth = 256;

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// ASCII letters only change, so trail bytes of double-byte characters stay as they are.
std::string LowerName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t len = text::char_len(name, i);
    if (len == 1) {
      out.push_back(LowerAscii(name[i]));
    } else {
      out.append(name.substr(i, len));
    }
    i += len;
  }
  return out;
}

std::string UpperName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t len = text::char_len(name, i);
    if (len == 1) {
      out.push_back(UpperAscii(name[i]));
    } else {
      out.append(name.substr(i, len));
    }
    i += len;
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && LowerName(a) == LowerName(b);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

[[noreturn]] void ThrowTooLarge() {
  throw GeneralError(text::sjis("結果が大きすぎます(64MBまで)。"));
}

// Lines as a text list sees them: CR LF, CR or LF end a line; a final break adds no line.
template <class Fn>
void ForEachLine(std::string_view text, Fn&& fn) {
  for (std::string_view line : text::split_lines(text)) fn(line);
}

std::vector<std::string_view> PathSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size();) {
    if (i == path.size() || path[i] == '\\') {
      if (i > start) segments.push_back(path.substr(start, i - start));
      start = i + 1;
      if (i == path.size()) break;
      ++i;
      continue;
    }
    i += text::char_len(path, i);
  }
  return segments;
}

// ---- reader ---------------------------------------------------------------------------------

struct RawTag {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
};

class XmlReader {
 public:
  XmlReader(std::string_view text, TMXmlDocument& doc) : text_(text), doc_(doc) {}

  void Run() {
    ReadDeclaration();
    current_ = &doc_.Root();
    while (true) {
      SkipBlanks();
      if (AtEnd()) break;
      if (text_[pos_] == '<') {
        PlaceTag(ReadTag());
      } else {
        ReadText();
      }
    }
  }

 private:
  bool AtEnd() const { return pos_ >= text_.size(); }

  void SkipBlanks() {
    while (!AtEnd() && IsBlank(text_[pos_])) ++pos_;
  }

  void AppendChar(std::string& out) {
    const std::size_t len = text::char_len(text_, pos_);
    out.append(text_.substr(pos_, len));
    pos_ += len;
  }

  void ReadDeclaration() {
    SkipBlanks();
    if (!AtEnd() && text_[pos_] == '<') {
      RawTag tag = ReadTag();
      if (LowerName(tag.name) == "?xml?") {
        for (const auto& [name, value] : tag.attributes) {
          if (LowerName(name) == "version") doc_.Version = value;
          if (LowerName(name) == "encoding") doc_.Encoding = value;
        }
        if (doc_.Encoding != "Shift_JIS")
          throw EMXmlParser(text::sjis("Shift_JIS以外の文字は処理できません。"));
        return;
      }
    }
    doc_.HtmlMode = true;
    pos_ = 0;
  }

  // At "<": the name runs to ">" or a blank; then attributes, or a skipped declaration body.
  RawTag ReadTag() {
    RawTag tag;
    ++pos_;
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == '>') {
        ++pos_;
        return tag;
      }
      if (IsBlank(c)) break;
      AppendChar(tag.name);
    }
    if (AtEnd()) return tag;
    if (!tag.name.empty() && tag.name.front() == '!') {
      const std::size_t close = text_.find('>', pos_);
      pos_ = close == std::string_view::npos ? text_.size() : close + 1;
      return tag;
    }
    ReadAttributes(tag);
    return tag;
  }

  void ReadAttributes(RawTag& tag) {
    while (true) {
      SkipBlanks();
      if (AtEnd()) return;
      if (text_[pos_] == '>') {
        ++pos_;
        return;
      }
      std::string word;
      while (!AtEnd() && text_[pos_] != '=' && text_[pos_] != '>') AppendChar(word);
      word = text::trim(word);
      if (AtEnd() || text_[pos_] == '>') {
        AppendBareWord(tag, word);
        continue;
      }
      ++pos_;  // "="
      SkipBlanks();
      tag.attributes.emplace_back(word, ReadAttributeValue(word));
    }
  }

  // A word without "=" may only be the "?" or "/" that ends a declaration or an empty element.
  void AppendBareWord(RawTag& tag, const std::string& word) {
    if (word == "?" || word == "/") {
      tag.name += word;
      return;
    }
    if (word.empty()) return;
    throw EMXmlParser(text::sjis("アトリビュートの読み込みで,不正な文字列\"") + word +
                      text::sjis("\"があります。"));
  }

  std::string ReadAttributeValue(const std::string& name) {
    if (!AtEnd() && text_[pos_] == '"') {
      const std::size_t close = text_.find('"', pos_ + 1);
      if (close == std::string_view::npos) {
        throw EMXmlParser(text::sjis("アトリビュート \"") + name + text::sjis("\"の値が\"") +
                          text::sjis("で終わっていません。"));
      }
      std::string value(text_.substr(pos_ + 1, close - pos_ - 1));
      pos_ = close + 1;
      return value;
    }
    std::string value;
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == ' ' || c == '/' || c == '>' || c == '?') break;
      AppendChar(value);
    }
    return value;
  }

  void PlaceTag(RawTag tag) {
    if (!tag.name.empty() && tag.name.front() == '!') return;
    if (!tag.name.empty() && tag.name.front() == '/') {
      CloseElement(tag.name);
      return;
    }
    std::string name = doc_.HtmlMode ? LowerName(tag.name) : std::move(tag.name);
    const bool self_closing = !name.empty() && name.back() == '/';
    if (self_closing) name.pop_back();
    TMXmlNode& element = current_->AddChild(XmlKind::Element, name);
    for (auto& [attr_name, value] : tag.attributes)
      element.Attributes.push_back(std::make_unique<TMXmlNode>(
          &element, XmlKind::Attribute, std::move(attr_name), std::move(value)));
    if (self_closing || (doc_.HtmlMode && IsVoidHtmlElement(name))) return;
    current_ = &element;
  }

  static bool IsVoidHtmlElement(std::string_view name) {
    return name == "br" || name == "hr" || name == "meta" || name == "img";
  }

  // Only a closing tag for the current element closes anything; others are ignored.
  void CloseElement(const std::string& tag_name) {
    const std::string_view name = std::string_view(tag_name).substr(1);
    if (!SameName(name, current_->Name)) return;
    current_ = current_->Parent;
    if (!current_) throw EMXmlParser(text::sjis("タグが対応していません。<") + tag_name + ">");
  }

  void ReadText() {
    const std::size_t end = std::min(text_.find('<', pos_), text_.size());
    const std::string value = text::trim(text_.substr(pos_, end - pos_));
    pos_ = end;
    if (!value.empty()) current_->AddChild(XmlKind::Text, "", value);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  TMXmlDocument& doc_;
  TMXmlNode* current_ = nullptr;
};

// ---- writer -----------------------------------------------------------------------------------

// Every piece handed to Emit ends at a line end, or is a whole element written on one line, so
// indenting piece by piece equals indenting the child's whole text line by line.
class XmlWriter {
 public:
  std::string Take() { return std::move(out_); }

  void WriteTree(const TMXmlNode& start) {
    struct Frame {
      const TMXmlNode* node;
      std::size_t next_child;
      std::size_t level;
    };
    std::vector<Frame> stack;
    auto visit = [&](const TMXmlNode& node, std::size_t level) {
      if (Open(node, level)) stack.push_back(Frame{&node, 0, level});
    };
    visit(start, 0);
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next_child < frame.node->Children.size()) {
        const TMXmlNode& child = *frame.node->Children[frame.next_child++];
        visit(child, frame.level + 1);
        continue;
      }
      Emit(frame.level, "</" + frame.node->Name + ">\r\n");
      stack.pop_back();
    }
  }

  void Raw(std::string_view piece) { Emit(0, piece); }

 private:
  // Writes what comes before the children; true when the children still have to be written.
  bool Open(const TMXmlNode& node, std::size_t level) {
    if (node.Kind == XmlKind::Text) {
      Emit(level, node.Value + "\r\n");
      return false;
    }
    std::string head = "<" + node.Name;
    for (const auto& attribute : node.Attributes)
      head += " " + attribute->Name + "=\"" + attribute->Value + "\"";
    if (node.Children.empty()) {
      Emit(level, head + "/>\r\n");
      return false;
    }
    if (node.Children.size() == 1 && node.Children.front()->Kind == XmlKind::Text) {
      Emit(level, head + ">" + node.Children.front()->Value + "</" + node.Name + ">");
      return false;
    }
    Emit(level, head + ">\r\n");
    return true;
  }

  void Emit(std::size_t level, std::string_view piece) {
    if (level == 0) {
      Reserve(piece.size());
      out_.append(piece);
      return;
    }
    ForEachLine(piece, [&](std::string_view line) {
      Reserve(level + line.size() + 2);
      out_.append(level, '\t');
      out_.append(line);
      out_.append("\r\n");
    });
  }

  void Reserve(std::size_t more) {
    if (out_.size() + more > kMaxXmlResultBytes) ThrowTooLarge();
  }

  std::string out_;
};

// ---- tag commands -----------------------------------------------------------------------------

bool IsTagNameChar(char c) {
  return c == '-' || (c >= '/' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_' ||
         (c >= 'a' && c <= 'z');
}

// The upper-cased run of name characters after the "<" at `lt`.
std::string TagNameAt(std::string_view text, std::size_t lt) {
  std::size_t i = lt + 1;
  const std::size_t start = i;
  while (i < text.size()) {
    const std::size_t len = text::char_len(text, i);
    if (len == 1 && !IsTagNameChar(text[i])) break;
    i += len;
  }
  return UpperName(text.substr(start, i - start));
}

// Just past the ">" that ends the tag at `lt`, quotes respected; npos when there is none.
std::size_t TagEnd(std::string_view text, std::size_t lt) {
  char quote = '\0';
  for (std::size_t i = lt + 1; i < text.size(); i += text::char_len(text, i)) {
    if (text::char_len(text, i) != 1) continue;
    const char c = text[i];
    if (quote != '\0') {
      if (c == quote) quote = '\0';
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// `from` is always a character start here, so the scan can step from it directly.
std::size_t NextTagStart(std::string_view text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); i += text::char_len(text, i)) {
    if (text[i] == '<' && text::char_len(text, i) == 1) return i;
  }
  return std::string_view::npos;
}

// Where the element opened at `lt` ends (just past its closing tag), or npos for "at the end".
std::size_t ElementEnd(std::string_view text, std::size_t lt, const std::string& name) {
  std::size_t pos = TagEnd(text, lt);
  const std::string closing = "/" + name;
  int depth = 1;
  while (pos != std::string_view::npos) {
    const std::size_t next = NextTagStart(text, pos);
    if (next == std::string_view::npos) return std::string_view::npos;
    const std::string found = TagNameAt(text, next);
    pos = TagEnd(text, next);
    if (found == name) ++depth;
    if (found == closing && --depth == 0) return pos;
  }
  return std::string_view::npos;
}

}  // namespace

// ---- nodes -------------------------------------------------------------------------------------

TMXmlNode::TMXmlNode(TMXmlNode* parent, XmlKind kind, std::string name, std::string value)
    : Parent(parent), Kind(kind), Name(std::move(name)), Value(std::move(value)) {}

TMXmlNode::~TMXmlNode() {
  std::vector<std::unique_ptr<TMXmlNode>> pending = std::move(Children);
  while (!pending.empty()) {
    std::unique_ptr<TMXmlNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->Children) pending.push_back(std::move(child));
    node->Children.clear();
  }
}

TMXmlNode& TMXmlNode::AddChild(XmlKind kind, std::string name, std::string value) {
  Children.push_back(std::make_unique<TMXmlNode>(this, kind, std::move(name), std::move(value)));
  return *Children.back();
}

TMXmlNode* TMXmlNode::FindChild(std::string_view name) const {
  for (const auto& child : Children) {
    if (SameName(child->Name, name)) return child.get();
  }
  return nullptr;
}

TMXmlNode* TMXmlNode::FindAttribute(std::string_view name) const {
  for (const auto& attribute : Attributes) {
    if (SameName(attribute->Name, name)) return attribute.get();
  }
  return nullptr;
}

void TMXmlNode::SetAttribute(std::string_view name, std::string_view value) {
  if (TMXmlNode* attribute = FindAttribute(name)) {
    attribute->Value = std::string(value);
    return;
  }
  Attributes.push_back(
      std::make_unique<TMXmlNode>(this, XmlKind::Attribute, std::string(name), std::string(value)));
}

TMXmlNode* TMXmlNode::FirstText() const {
  for (const auto& child : Children) {
    if (child->Kind == XmlKind::Text) return child.get();
  }
  return nullptr;
}

// ---- documents ---------------------------------------------------------------------------------

TMXmlDocument::TMXmlDocument()
    : root_(std::make_unique<TMXmlNode>(nullptr, XmlKind::Element, "XMLDocument")) {}

TMXmlDocument TMXmlDocument::ReadXml(std::string_view text) {
  TMXmlDocument doc;
  XmlReader(text, doc).Run();
  return doc;
}

TMXmlDocument TMXmlDocument::ReadOutline(std::string_view text) {
  TMXmlDocument doc;
  doc.root_->Name = "XmlDocument";
  std::vector<TMXmlNode*> parents(kMaxOutlineDepth + 1, nullptr);
  TMXmlNode* previous = nullptr;
  std::size_t previous_depth = 0;
  ForEachLine(text, [&](std::string_view line) {
    if (!line.empty() && line.front() == '#') return;
    std::size_t indent = 0;
    while (indent < line.size() && (line[indent] == '\t' || line[indent] == ' ')) ++indent;
    const std::size_t depth = std::min(indent, kMaxOutlineDepth);
    std::string_view rest = line.substr(indent);
    std::size_t comma = 0;
    while (comma < rest.size() && rest[comma] != ',') comma += text::char_len(rest, comma);
    std::string_view name = rest.substr(0, comma);
    std::string_view value = comma < rest.size() ? rest.substr(comma + 1) : std::string_view();
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    if (!name.empty() && (name.front() == '+' || name.front() == '-')) name.remove_prefix(1);
    if (name.empty()) return;
    TMXmlNode* parent = doc.root_.get();
    if (previous && depth > previous_depth) {
      parent = previous;
    } else if (previous && parents[depth]) {
      parent = parents[depth];
    }
    parents[depth] = parent;
    previous = &parent->AddChild(XmlKind::Element, std::string(name), std::string(value));
    previous_depth = depth;
  });
  return doc;
}

std::string TMXmlDocument::Write() const {
  XmlWriter writer;
  if (!HtmlMode) writer.Raw("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n");
  for (const auto& child : root_->Children) {
    writer.WriteTree(*child);
    writer.Raw("\r\n");
  }
  return writer.Take();
}

TMXmlNode* TMXmlDocument::FindFirst(std::string_view path) const {
  TMXmlNode* node = root_.get();
  for (std::string_view segment : PathSegments(path)) {
    node = node->FindChild(segment);
    if (!node) return nullptr;
  }
  return node;
}

std::vector<TMXmlNode*> TMXmlDocument::FindAll(std::string_view path) const {
  std::vector<TMXmlNode*> found{root_.get()};
  for (std::string_view segment : PathSegments(path)) {
    std::vector<TMXmlNode*> next;
    for (const TMXmlNode* node : found) {
      for (const auto& child : node->Children) {
        if (SameName(child->Name, segment)) next.push_back(child.get());
      }
    }
    found = std::move(next);
    if (found.empty()) break;
  }
  return found;
}

TMXmlNode& TMXmlDocument::CreatePath(std::string_view path) {
  TMXmlNode* node = root_.get();
  for (std::string_view segment : PathSegments(path)) {
    TMXmlNode* child = node->FindChild(segment);
    node = child ? child : &node->AddChild(XmlKind::Element, std::string(segment));
  }
  return *node;
}

std::string TMXmlDocument::PathList() const {
  struct Frame {
    const TMXmlNode* node;
    std::size_t next_child;
    std::size_t prefix_length;  // of the prefix before this node's name was added
  };
  std::string out;
  std::string prefix;
  std::vector<Frame> stack{Frame{root_.get(), 0, 0}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next_child >= frame.node->Children.size()) {
      prefix.resize(frame.prefix_length);
      stack.pop_back();
      continue;
    }
    const TMXmlNode& child = *frame.node->Children[frame.next_child++];
    if (child.Children.empty()) {
      if (out.size() + prefix.size() + child.Name.size() + 2 > kMaxXmlResultBytes) ThrowTooLarge();
      out += prefix + child.Name + "\r\n";
      continue;
    }
    stack.push_back(Frame{&child, 0, prefix.size()});
    prefix += child.Name + "\\";
  }
  return out;
}

std::string WriteXmlNode(const TMXmlNode& node) {
  XmlWriter writer;
  writer.WriteTree(node);
  return writer.Take();
}

// ---- tag commands -----------------------------------------------------------------------------

std::string RemoveTags(std::string_view text) {
  const std::string_view trimmed = text::trim_view(text);
  std::string out;
  bool in_tag = false;
  for (std::size_t i = 0; i < trimmed.size();) {
    const std::size_t len = text::char_len(trimmed, i);
    const char c = trimmed[i];
    if (len == 1 && c == '<') {
      in_tag = true;
    } else if (len == 1 && c == '>' && in_tag) {
      in_tag = false;
    } else if (!in_tag) {
      out.append(trimmed.substr(i, len));
    }
    i += len;
  }
  return out;
}

std::string CutOutTags(std::string_view text, std::string_view tag_name) {
  std::string name;
  for (char c : UpperName(tag_name)) {
    if (c != '<' && c != '>') name.push_back(c);
  }
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t lt = NextTagStart(text, pos);
    while (lt != std::string_view::npos && TagNameAt(text, lt) != name)
      lt = NextTagStart(text, lt + 1);
    if (lt == std::string_view::npos) break;
    const std::size_t end = ElementEnd(text, lt, name);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    out.append(text.substr(lt, stop - lt));
    out.append("\r\n");
    pos = stop;
  }
  return out;
}

}  // namespace morivel::formats
