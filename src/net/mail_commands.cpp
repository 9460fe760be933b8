// メール送信 (SMTP) and メール受信 (POP3) on libcurl.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include "commands/file_handles.h"
#include "engine/interpreter.h"
#include "expr/number.h"
#include "net/curl_transfer.h"
#include "net/mail_message.h"
#include "net/net_run.h"
#include "net/progress.h"
#include "net/register.h"
#include "text/encoding.h"
#include "text/japanese.h"
#include "text/paths.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::net {

namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

// "host" or "host:port"; the standard port when none is given.
std::string server_url(const char* scheme, const std::string& host, int default_port) {
  std::string url = std::string(scheme) + "://" + host;
  if (host.find(':') == std::string::npos) url += ":" + std::to_string(default_port);
  return url;
}

bool uses_auth(Interpreter& in, const char* method) {
  return text::to_upper_case(system_value(in, "メール認証方式")).find(method) != std::string::npos;
}

std::string rfc_date() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  long offset = local.tm_gmtoff / 60;
  char zone_sign = offset < 0 ? '-' : '+';
  offset = offset < 0 ? -offset : offset;
  char out[64];
  std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                local.tm_hour, local.tm_min, local.tm_sec, zone_sign, offset / 60, offset % 60);
  return out;
}

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw GeneralError(text::sjis("ファイルが読めません。"));
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string script_folder(Interpreter& in) {
  const words::THashNode* folder = in.State().Sys.ScriptFolder;
  return folder ? folder->GetValue() : std::string();
}

GeneralError send_error(const std::string& reason) {
  return GeneralError(text::sjis("メールの送信エラー。") + reason);
}

OutgoingMail outgoing_mail(Interpreter& in) {
  OutgoingMail mail;
  mail.from = text::trim(system_value(in, "メール送信元"));
  mail.sender_name = system_value(in, "メール送信者名");
  mail.to = address_lines(system_value(in, "メール送信先"));
  mail.cc = address_lines(system_value(in, "メールCC"));
  mail.bcc = address_lines(system_value(in, "メールBCC"));
  mail.subject = system_value(in, "メールタイトル");
  mail.body = system_value(in, "メール本文");
  mail.date = rfc_date();
  words::TRandom& random = in.State().Random;
  unsigned first = random.Below(0x1000000u);
  unsigned second = random.Below(0x1000000u);
  char boundary[48];
  std::snprintf(boundary, sizeof boundary, "----morivel_%06X%06X", first, second);
  mail.boundary = boundary;
  for (const std::string& line : address_lines(system_value(in, "メール添付ファイル"))) {
    std::string path = text::expand_absolute_path(line, script_folder(in));
    fs::path native = commands::native_path(path);
    std::error_code ec;
    if (!fs::is_regular_file(native, ec))
      throw send_error(text::sjis("添付ファイル\"") + path + text::sjis("\"がありません。"));
    mail.attachments.push_back({text::extract_file_name(path), read_file(native)});
  }
  return mail;
}

struct Reader {
  const std::string* data;
  std::size_t at = 0;
};

size_t read_message(char* buffer, size_t size, size_t count, void* source) {
  auto* reader = static_cast<Reader*>(source);
  size_t n = std::min(size * count, reader->data->size() - reader->at);
  std::memcpy(buffer, reader->data->data() + reader->at, n);
  reader->at += n;
  return n;
}

bool connection_failure(CURLcode code) {
  return code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_HOST ||
         code == CURLE_OPERATION_TIMEDOUT || code == CURLE_LOGIN_DENIED;
}

void mail_send(Interpreter& in) {
  std::string host = text::trim(system_value(in, "メールホスト"));
  if (host.empty()) throw send_error(text::sjis("ホスト名が未設定です。"));
  if (address_lines(system_value(in, "メール送信先")).empty())
    throw send_error(text::sjis("送信先が未設定です。"));
  if (system_value(in, "メール本文").empty()) throw send_error(text::sjis("本文が未設定です。"));
  OutgoingMail mail = outgoing_mail(in);
  // The address goes into the envelope and the headers as it is; a line break there would add
  // commands and headers of its own.
  if (mail.from.find_first_of("\r\n") != std::string::npos)
    throw send_error(text::sjis("送信元が正しくありません。"));
  std::string message;
  try {
    message = compose_mail(mail);
  } catch (const std::exception&) {
    throw send_error(text::sjis("メールのデコードに失敗"));
  }
  if (std::string missing = transfer_library_problem(); !missing.empty())
    throw send_error(text::sjis("接続に失敗") + missing);
  auto progress = open_progress(in);
  progress->SetText(text::sjis("サーバーに接続中"));
  EasyHandle easy = new_easy();
  bool implicit_tls = host.size() > 4 && host.compare(host.size() - 4, 4, ":465") == 0;
  std::string url = server_url(implicit_tls ? "smtps" : "smtp", host, 25);
  easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  easy_setopt(easy.get(), CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  std::string from = "<" + mail.from + ">";
  easy_setopt(easy.get(), CURLOPT_MAIL_FROM, from.c_str());
  std::vector<std::string> addresses;
  for (const auto* list : {&mail.to, &mail.cc, &mail.bcc})
    for (const std::string& address : *list) addresses.push_back("<" + address + ">");
  Slist recipients = make_slist(addresses);
  easy_setopt(easy.get(), CURLOPT_MAIL_RCPT, recipients.get());
  std::string user = system_value(in, "メールID");
  std::string password = system_value(in, "メールパスワード");
  if (uses_auth(in, "LOGIN")) {
    easy_setopt(easy.get(), CURLOPT_USERNAME, user.c_str());
    easy_setopt(easy.get(), CURLOPT_PASSWORD, password.c_str());
    easy_setopt(easy.get(), CURLOPT_LOGIN_OPTIONS, "AUTH=LOGIN");
  }
  Reader reader{&message};
  easy_setopt(easy.get(), CURLOPT_UPLOAD, 1L);
  easy_setopt(easy.get(), CURLOPT_READFUNCTION, read_message);
  easy_setopt(easy.get(), CURLOPT_READDATA, &reader);
  easy_setopt(easy.get(), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
  progress->SetText(text::sjis("メール送信"));
  MultiHandle multi = new_multi();
  TransferResult result = run_transfer(multi.get(), easy.get(), progress.get());
  if (!result.ok()) {
    if (connection_failure(result.code))
      throw send_error(text::sjis("接続に失敗") + result.message);
    throw send_error(text::sjis("送信に失敗。") + result.message);
  }
  progress->SetPercent(100);
  progress->SetText(text::sjis("完了"));
  in.GetHost().Wait(0.1);
}

// ---- receiving ---------------------------------------------------------------------------------

GeneralError receive_error(const std::string& reason) {
  return GeneralError(text::sjis("メールの受信エラー。") + reason);
}

class Pop3 {
 public:
  Pop3(Interpreter& in, const std::string& host)
      : base_(server_url("pop3", host, 110)),
        user_(system_value(in, "メールID")),
        password_(system_value(in, "メールパスワード")),
        apop_(uses_auth(in, "APOP")),
        multi_(new_multi()) {}

  TransferResult Fetch(const std::string& path, std::string& out, const char* request,
                       Progress* progress) {
    EasyHandle easy = new_easy();
    std::string url = base_ + "/" + path;
    easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    easy_setopt(easy.get(), CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    easy_setopt(easy.get(), CURLOPT_USERNAME, user_.c_str());
    easy_setopt(easy.get(), CURLOPT_PASSWORD, password_.c_str());
    if (apop_) easy_setopt(easy.get(), CURLOPT_LOGIN_OPTIONS, "AUTH=+APOP");
    if (request) {
      easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, request);
      easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
    }
    easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, write_to_string);
    easy_setopt(easy.get(), CURLOPT_WRITEDATA, &out);
    return run_transfer(multi_.get(), easy.get(), progress);
  }

 private:
  std::string base_, user_, password_;
  bool apop_;
  MultiHandle multi_;  // the one connection; closing it sends QUIT, which commits deletions
};

// The LIST answer: each message's number and its size in bytes as the server counts them.
std::map<long long, long long> listed_sizes(const std::string& list) {
  std::map<long long, long long> sizes;
  for (std::string_view line : text::split_lines(list)) {
    if (line.empty() || line[0] < '0' || line[0] > '9') continue;
    long long number = 0;
    long long size = -1;
    if (std::sscanf(std::string(line).c_str(), "%lld %lld", &number, &size) >= 1)
      sizes[number] = size;
  }
  return sizes;
}

// libcurl ends a message quietly when the server hangs up before the closing dot line, so a
// message shorter than the server said it is was cut off on the way.
bool cut_short(const std::map<long long, long long>& sizes, int number, const std::string& raw) {
  auto listed = sizes.find(number);
  return listed != sizes.end() && listed->second > 0 &&
         static_cast<long long>(raw.size()) < listed->second;
}

// An attachment's name as a plain file name: nothing in it may climb out of the folder.
std::string safe_file_name(const std::string& name) {
  std::string plain = text::extract_file_name(name);
  if (plain.empty() || plain == "." || plain == "..") plain = "attachment";
  return plain;
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw GeneralError(text::sjis("ファイルが書けません。"));
}

void store_message(const std::string& folder, const std::string& raw) {
  IncomingMail mail = parse_mail(raw);
  std::error_code ec;
  for (Attachment& file : mail.attachments) {
    std::string name = safe_file_name(file.name);
    while (fs::exists(commands::native_path(folder + name), ec)) name = "_" + name;
    file.name = name;
    write_file(commands::native_path(folder + name), file.bytes);
  }
  int number = 1;
  while (fs::exists(commands::native_path(folder + std::to_string(number) + ".txt"), ec)) ++number;
  std::string stem = folder + std::to_string(number);
  write_file(commands::native_path(stem + ".txt"), mail_summary(mail));
  write_file(commands::native_path(stem + ".eml"), raw);
}

std::string receive_folder(Interpreter& in, std::string folder) {
  folder = text::trim(folder);
  if (!text::ends_with_separator(folder)) folder += "\\";
  bool absolute = folder.find(':') != std::string::npos || folder[0] == '/' || folder[0] == '\\';
  if (!absolute) folder = script_folder(in) + folder;
  std::error_code ec;
  fs::create_directories(commands::native_path(folder), ec);
  if (!fs::is_directory(commands::native_path(folder), ec))
    throw receive_error(text::sjis("メール受信用フォルダが作成できません。"));
  return folder;
}

void mail_receive(Interpreter& in) {
  std::string folder = receive_folder(in, in.PopArgumentValue());
  std::string host = text::trim(system_value(in, "メールホスト"));
  if (host.empty()) throw receive_error(text::sjis("ホスト名が未設定です。"));
  if (system_value(in, "メールID").empty())
    throw receive_error(text::sjis("ユーザーＩＤが未設定です。"));
  if (system_value(in, "メールパスワード").empty())
    throw receive_error(text::sjis("パスワードが未設定です。"));
  bool delete_after = expr::ToNumber(system_value(in, "メールサーバーから削除")) != 0;
  if (std::string missing = transfer_library_problem(); !missing.empty())
    throw receive_error(text::sjis("メールの受信に失敗しました。") + missing);
  auto progress = open_progress(in);
  progress->SetText(text::sjis("メールの受信：ホストに接続中"));
  Pop3 pop(in, host);
  std::string list;
  TransferResult listed = pop.Fetch("", list, nullptr, progress.get());
  if (!listed.ok())
    throw receive_error(text::sjis("メールの受信に失敗しました。") + listed.message);
  const std::map<long long, long long> sizes = listed_sizes(list);
  const int count = static_cast<int>(sizes.size());
  const std::string n = std::to_string(count);
  progress->SetText(text::sjis("メールの受信：") + n + text::sjis(" 通のメール"));
  for (int i = 1; i <= count; ++i) {
    const std::string index = std::to_string(i);
    progress->SetText(index + "/" + n + text::sjis("番目のメールを受信中"));
    progress->SetPercent(i * 100 / count);
    std::string raw;
    if (!pop.Fetch(index, raw, nullptr, progress.get()).ok() || cut_short(sizes, i, raw))
      throw receive_error(index + text::sjis("番のメール受信に失敗しました。"));
    store_message(folder, raw);
    std::string ignored;
    if (delete_after) {
      TransferResult deleted = pop.Fetch(index, ignored, "DELE", nullptr);
      if (!deleted.ok())
        throw receive_error(text::sjis("メールの受信に失敗しました。") + deleted.message);
    }
  }
}

}  // namespace

void register_mail_commands(commands::HandlerTable& table) {
  table.Set(138, mail_send);
  table.Set(139, mail_receive);
}

}  // namespace morivel::net
