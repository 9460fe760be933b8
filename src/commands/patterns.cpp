// Commands: wildcard pattern commands.
#include <optional>
#include <string>

#include "commands/families.h"
#include "engine/interpreter.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "text/wildcard.h"
#include "words/errors.h"

namespace morivel::commands {
namespace {

using engine::Interpreter;

// マッチ: the matched part and the picked-up parts, one per line; a variable given as the
// source keeps what follows the match.
void match(Interpreter& in) {
  std::string pattern = in.PopArgumentValue();
  std::string source_text = in.PopArgumentText();
  words::THashNode* variable = in.FindWord(source_text);
  if (variable && variable->Kind != words::kVariable) variable = nullptr;
  std::string source = variable ? variable->GetValue() : in.EvalArgument(source_text);
  if (pattern.empty()) {
    in.SetResult("", "s");
    return;
  }

  std::optional<text::WildcardPrefixMatch> found;
  try {
    found = text::WildcardPattern(pattern).MatchPrefix(source);
  } catch (const GeneralError& e) {
    throw in.Error(text::sjis("マッチでエラー。") + e.what());
  }
  if (!found) {
    in.SetResult("", "s");
    return;
  }

  std::string result = source.substr(0, found->end);
  for (const std::string& pickup : found->pickups) result += "\r\n" + pickup;
  bool keeps_rest = variable && variable != in.State().Sys.Sore && !variable->Reserved;
  if (keeps_rest) variable->SetValue(source.substr(found->end));
  in.SetResult(text::trim(result), "s");
}

}  // namespace

void register_patterns(HandlerTable& table) {
  table.Set(374, match);
}

}  // namespace morivel::commands
