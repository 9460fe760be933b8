// Commands: simple XML documents, HTML tags, HTML tables and relative URLs.
#include <string>
#include <vector>

#include "commands/families.h"
#include "text/paths.h"
#include "engine/interpreter.h"
#include "formats/csv.h"
#include "formats/table_ops.h"
#include "formats/xml.h"
#include "text/sjis.h"

namespace morivel::commands {
namespace {

using formats::TMXmlDocument;
using formats::TMXmlNode;
using formats::XmlKind;

void SetText(engine::Interpreter& in, std::string value) {
  in.SetResult(std::move(value), "s");
}

// ---- XML documents ------------------------------------------------------------------------

std::string TextOf(const TMXmlNode& node) {
  std::string text;
  for (const auto& child : node.Children) {
    if (child->Kind == XmlKind::Text) text += child->Value;
  }
  return text;
}

void xml_get_text(engine::Interpreter& in) {
  const std::string key = in.PopArgumentValue();
  const TMXmlDocument doc = TMXmlDocument::ReadXml(in.PopArgumentValue());
  std::string out;
  for (const TMXmlNode* node : doc.FindAll(key)) out += TextOf(*node) + "\r\n";
  SetText(in, text::trim(out));
}

void xml_set_text(engine::Interpreter& in) {
  std::string value = in.PopArgumentValue();
  const std::string key = in.PopArgumentValue();
  TMXmlDocument doc = TMXmlDocument::ReadXml(in.PopArgumentValue());
  TMXmlNode& node = doc.CreatePath(key);
  if (TMXmlNode* text = node.FirstText()) {
    text->Value = std::move(value);
  } else {
    node.AddChild(XmlKind::Text, "", std::move(value));
  }
  SetText(in, doc.Write());
}

void xml_get_attributes(engine::Interpreter& in) {
  const std::string key = in.PopArgumentValue();
  const TMXmlDocument doc = TMXmlDocument::ReadXml(in.PopArgumentValue());
  std::string out;
  if (const TMXmlNode* node = doc.FindFirst(key)) {
    for (const auto& attribute : node->Attributes)
      out += attribute->Name + "=" + attribute->Value + "\r\n";
  }
  SetText(in, std::move(out));
}

// Each "name=value" line sets one attribute; lines without "=" name nothing and are skipped.
void xml_set_attributes(engine::Interpreter& in) {
  const std::string lines = in.PopArgumentValue();
  const std::string key = in.PopArgumentValue();
  TMXmlDocument doc = TMXmlDocument::ReadXml(in.PopArgumentValue());
  TMXmlNode& node = doc.CreatePath(key);
  node.Attributes.clear();
  for (const std::string& line : formats::SplitLineArray(lines)) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    node.SetAttribute(std::string_view(line).substr(0, equals),
                      std::string_view(line).substr(equals + 1));
  }
  SetText(in, doc.Write());
}

void xml_cut_out(engine::Interpreter& in) {
  const std::string key = in.PopArgumentValue();
  const TMXmlDocument doc = TMXmlDocument::ReadXml(in.PopArgumentValue());
  const TMXmlNode* node = doc.FindFirst(key);
  SetText(in, node ? formats::WriteXmlNode(*node) : std::string());
}

void xml_path_list(engine::Interpreter& in) {
  SetText(in, TMXmlDocument::ReadXml(in.PopArgumentValue()).PathList());
}

// ---- HTML -----------------------------------------------------------------------------------

void remove_tags(engine::Interpreter& in) {
  SetText(in, formats::RemoveTags(in.PopArgumentValue()));
}

void cut_out_tags(engine::Interpreter& in) {
  const std::string name = in.PopArgumentValue();
  SetText(in, formats::CutOutTags(in.PopArgumentValue(), name));
}

void table_to_html(engine::Interpreter& in) {
  const std::string option = in.PopArgumentValue();
  formats::TCsvDb db;
  db.ReadCsv(in.PopArgumentValue());
  SetText(in, formats::WriteHtmlLimited(db, option));
}

// ---- URLs -------------------------------------------------------------------------------------

// Components between "/"; a final "/" adds no empty component.
std::vector<std::string> UrlComponents(std::string_view url) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start < url.size()) {
    const std::size_t slash = url.find('/', start);
    if (slash == std::string_view::npos) {
      parts.emplace_back(url.substr(start));
      break;
    }
    parts.emplace_back(url.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

std::string ExpandUrl(std::string_view relative, std::string_view base) {
  const std::size_t slash = relative.find('/');
  if (slash != std::string_view::npos && slash + 1 < relative.size() && relative[slash + 1] == '/')
    return std::string(relative);
  std::vector<std::string> parts = UrlComponents(base);
  text::follow_relative_components(parts, UrlComponents(relative));
  std::string out;
  for (const std::string& part : parts) out += part + "/";
  if (!out.empty()) out.pop_back();
  return out;
}

void expand_url(engine::Interpreter& in) {
  const std::string base = in.PopArgumentValue();
  SetText(in, ExpandUrl(in.PopArgumentValue(), base));
}

}  // namespace

void register_xml(HandlerTable& table) {
  table.Set(100, remove_tags);
  table.Set(101, cut_out_tags);
  table.Set(394, table_to_html);
  table.Set(523, expand_url);
  table.Set(441, xml_get_text);
  table.Set(442, xml_set_text);
  table.Set(443, xml_get_attributes);
  table.Set(444, xml_set_attributes);
  table.Set(445, xml_cut_out);
  table.Set(453, xml_path_list);
}

}  // namespace morivel::commands
