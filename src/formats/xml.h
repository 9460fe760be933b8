// Simple XML (and lenient HTML) documents: node tree, reader, outline reader, writer, paths,
// and the tag commands that work on the text directly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "words/errors.h"

namespace morivel::formats {

// A failure of the XML reader; the message is Shift-JIS.
class EMXmlParser : public GeneralError {
 public:
  using GeneralError::GeneralError;
};

enum class XmlKind : std::uint8_t { Element = 1, Attribute = 2, Text = 3 };

class TMXmlNode {
 public:
  TMXmlNode(TMXmlNode* parent, XmlKind kind, std::string name, std::string value = {});
  // Frees deep trees without recursing once per level.
  ~TMXmlNode();
  TMXmlNode(const TMXmlNode&) = delete;
  TMXmlNode& operator=(const TMXmlNode&) = delete;

  TMXmlNode* Parent;
  XmlKind Kind;
  std::string Name;
  std::string Value;  // a text node's text, an attribute's value
  std::vector<std::unique_ptr<TMXmlNode>> Children;
  std::vector<std::unique_ptr<TMXmlNode>> Attributes;

  TMXmlNode& AddChild(XmlKind kind, std::string name, std::string value = {});
  // First child / attribute whose name equals `name` ignoring ASCII case, or nullptr.
  TMXmlNode* FindChild(std::string_view name) const;
  TMXmlNode* FindAttribute(std::string_view name) const;
  // Overwrites the attribute of that name or appends one.
  void SetAttribute(std::string_view name, std::string_view value);
  // The first text child, or nullptr.
  TMXmlNode* FirstText() const;
};

class TMXmlDocument {
 public:
  TMXmlDocument();

  // Reads XML (with a Shift_JIS declaration) or, without a declaration, HTML.
  // Throws EMXmlParser with the reader's messages.
  static TMXmlDocument ReadXml(std::string_view text);
  // Reads the outline form: one node per line ("name,value"), depth by leading tabs or spaces.
  static TMXmlDocument ReadOutline(std::string_view text);

  TMXmlNode& Root() { return *root_; }
  const TMXmlNode& Root() const { return *root_; }
  bool HtmlMode = false;
  std::string Version = "1.0";
  std::string Encoding = "Shift_JIS";

  // The document written from the tree (declaration unless in HTML mode, then each top node).
  std::string Write() const;

  // Paths are names separated by "\" (at character starts), compared ignoring ASCII case;
  // empty segments are skipped, so an empty path is the root.
  TMXmlNode* FindFirst(std::string_view path) const;
  std::vector<TMXmlNode*> FindAll(std::string_view path) const;
  TMXmlNode& CreatePath(std::string_view path);
  // Every leaf as its path from the top, one per line; text nodes are leaves with empty names.
  std::string PathList() const;

 private:
  std::unique_ptr<TMXmlNode> root_;
};

// One element (with its subtree) or text node in the indented text form; written iteratively.
// Throws GeneralError when the text would exceed 64 MiB.
std::string WriteXmlNode(const TMXmlNode& node);

// ---- tag commands on plain text --------------------------------------------------------------

// Drops every run from "<" to the next ">" after trimming the text.
std::string RemoveTags(std::string_view text);
// Every element of that tag name (nesting counted), tags included, each followed by CR LF.
std::string CutOutTags(std::string_view text, std::string_view tag_name);

}  // namespace morivel::formats
