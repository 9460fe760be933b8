// ブラウザ進む, ブラウザ戻る, ブラウザHTML取得, ブラウザHTML書く on the browser part.
#include <algorithm>
#include <cctype>

#include "bridges/families.h"
#include "engine/interpreter.h"
#include "gui/front_end.h"
#include "gui/kinds/media.h"
#include "gui/part_registry.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::bridges {

namespace {

using engine::Interpreter;

gui::BrowserPart& browser_argument(Interpreter& in) {
  std::string raw = text::trim(in.PopArgumentText());
  if (raw.empty()) throw in.ArgumentError();
  std::string name = gui::written_as_literal(raw) ? in.EvalArgument(raw) : raw;
  gui::PartRegistry& parts = gui::front_end(in).Parts();
  words::THashNode* word = parts.FindWord(in, name);
  if (!word) throw in.Error("\"" + name + text::sjis("\"は、部品ではありません。"));
  words::TObjNode* node = parts.NodeOfWord(*word);
  auto* browser = node ? dynamic_cast<gui::BrowserPart*>(parts.PartOf(*node)) : nullptr;
  if (!browser) throw in.Error(text::sjis("ブラウザ部品を指定してください。"));
  return *browser;
}

std::size_t find_ascii_nocase(const std::string& haystack, std::string_view needle,
                              std::size_t from) {
  auto it = std::search(haystack.begin() + static_cast<std::ptrdiff_t>(from), haystack.end(),
                        needle.begin(), needle.end(), [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                        });
  return it == haystack.end() ? std::string::npos : static_cast<std::size_t>(it - haystack.begin());
}

// What a page's body holds: the text between the body tags, or the whole page without them.
std::string body_inner_html(const std::string& page) {
  std::size_t open = find_ascii_nocase(page, "<body", 0);
  if (open == std::string::npos) return page;
  std::size_t start = page.find('>', open);
  if (start == std::string::npos) return page;
  ++start;
  std::size_t end = find_ascii_nocase(page, "</body", start);
  return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void go_forward(Interpreter& in) {
  browser_argument(in).Forward();  // nothing ahead is no error
}

void go_back(Interpreter& in) {
  browser_argument(in).Back();
}

void read_html(Interpreter& in) {
  gui::BrowserPart& browser = browser_argument(in);
  in.SetResult(body_inner_html(browser.Html()), "s");
}

void write_html(Interpreter& in) {
  std::string html = in.PopArgumentValue();
  browser_argument(in).ShowHtml(html);
}

}  // namespace

void register_browser(commands::HandlerTable& table) {
  table.Set(435, go_forward);
  table.Set(436, go_back);
  table.Set(540, read_html);
  table.Set(541, write_html);
}

}  // namespace morivel::bridges
