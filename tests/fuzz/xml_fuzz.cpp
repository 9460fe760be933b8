// Fuzz target: arbitrary bytes through the XML and outline readers, paths, writer and tag commands.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/xml.h"

namespace {

using morivel::GeneralError;
using morivel::formats::TMXmlDocument;

// The input's first line doubles as a path and a tag name, so lookups hit names that exist.
std::string_view FirstLine(std::string_view input) {
  return input.substr(0, std::min(input.find('\n'), input.size()));
}

void ExerciseDocument(TMXmlDocument& doc, std::string_view path) {
  (void)doc.PathList();
  for (const auto* node : doc.FindAll(path)) (void)node;
  if (const auto* node = doc.FindFirst(path)) (void)morivel::formats::WriteXmlNode(*node);
  doc.CreatePath(path).SetAttribute("k", "v");
  const std::string written = doc.Write();
  // A document written from a tree must not be read into anything that breaks the writer.
  try {
    (void)TMXmlDocument::ReadXml(written).Write();
  } catch (const GeneralError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view path = FirstLine(input);
  try {
    TMXmlDocument doc = TMXmlDocument::ReadXml(input);
    ExerciseDocument(doc, path);
  } catch (const GeneralError&) {
    // Reader messages and the size guard are the defined failures.
  }
  try {
    TMXmlDocument outline = TMXmlDocument::ReadOutline(input);
    ExerciseDocument(outline, path);
  } catch (const GeneralError&) {
  }
  (void)morivel::formats::RemoveTags(input);
  (void)morivel::formats::CutOutTags(input, path);
  return 0;
}
