// HTTPダウンロード and HTTPポスト on libcurl: redirects followed, HTTPS checked against the
// system's certificate store.
#include <cctype>
#include <filesystem>

#include "commands/file_handles.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "net/curl_transfer.h"
#include "net/progress.h"
#include "net/register.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::net {

namespace {

using engine::Interpreter;

// Form encoding of Shift-JIS bytes: letters, digits and "*-._@" stay, a blank becomes "+",
// everything else "%XX".
std::string form_encode(const std::string& bytes) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (std::isalnum(c) || c == '*' || c == '-' || c == '.' || c == '_' || c == '@') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

void set_web_options(CURL* easy, const std::string& url) {
  easy_setopt(easy, CURLOPT_URL, url.c_str());
  easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
  easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
  easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

void http_download(Interpreter& in) {
  std::string file = text::trim(in.PopArgumentValue());
  std::string url = text::trim(in.PopArgumentValue());
  const std::string failure = "\"" + url + text::sjis("\"からのダウンロードに失敗");
  if (commands::CheckFileOperation(in, file, text::sjis("ファイルを書き込みます。"))) return;
  // Checked before the file is opened, which would otherwise be left empty.
  if (std::string missing = transfer_library_problem(); !missing.empty())
    throw GeneralError(failure + missing);
  std::filesystem::path path = commands::native_path(file);
  auto progress = open_progress(in);
  progress->SetText("\"" + url + text::sjis("\" よりHTTPデータ取得中"));
  TransferResult result;
  {
    FileHandle out(std::fopen(path.c_str(), "wb"));
    if (!out) throw GeneralError(failure);
    EasyHandle easy = new_easy();
    set_web_options(easy.get(), url);
    easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, write_to_file);
    easy_setopt(easy.get(), CURLOPT_WRITEDATA, out.get());
    MultiHandle multi = new_multi();
    result = run_transfer(multi.get(), easy.get(), progress.get());
    if (std::fflush(out.get()) != 0 && result.ok()) result = {CURLE_WRITE_ERROR, "write error"};
  }
  if (!result.ok()) {
    // A half file must not pass for the download.
    std::error_code ec;
    std::filesystem::remove(path, ec);
    throw GeneralError(failure + result.message);
  }
}

std::string form_body(Interpreter& in, words::THashNode& data) {
  words::THash temporary;
  words::THash* hash = data.InnerHash();
  if (!hash) {
    temporary.SetFromText(data.GetValue());
    hash = &temporary;
  }
  std::string body;
  for (const words::THashNode* word : hash->Enumerate()) {
    if (!body.empty()) body += '&';
    body += form_encode(word->Name) + "=" + form_encode(word->GetValue());
  }
  (void)in;
  return body;
}

void http_post(Interpreter& in) {
  std::string url = text::trim(in.PopArgumentValue());
  words::THashNode* data = in.PopArgumentVariable(false);
  std::string body = form_body(in, *data);
  if (std::string missing = transfer_library_problem(); !missing.empty())
    throw GeneralError("\"" + url + text::sjis("\"へのHTTPポストに失敗") + missing);
  auto progress = open_progress(in);
  progress->SetText("\"" + url + text::sjis("\" へHTTPデータ送信中"));
  std::string response;
  EasyHandle easy = new_easy();
  set_web_options(easy.get(), url);
  easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.c_str());
  easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, write_to_string);
  easy_setopt(easy.get(), CURLOPT_WRITEDATA, &response);
  MultiHandle multi = new_multi();
  TransferResult result = run_transfer(multi.get(), easy.get(), progress.get());
  if (!result.ok())
    throw GeneralError("\"" + url + text::sjis("\"へのHTTPポストに失敗") + result.message);
  in.SetResult(response, "s");
}

}  // namespace

void register_http_commands(commands::HandlerTable& table) {
  table.Set(236, http_download);
  table.Set(460, http_post);
}

}  // namespace morivel::net
