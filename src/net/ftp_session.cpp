// FTP on libcurl: libcurl has no working folder of its own between requests, so the session
// keeps one and every request names its folder in the URL; the multi handle keeps the control
// connection open from one command to the next.
#include "net/ftp_session.h"

#include <sys/stat.h>

#include "text/encoding.h"
#include "words/errors.h"

namespace morivel::net {

namespace {

std::string escaped(const std::string& part) {
  char* out = curl().easy_escape(nullptr, part.data(), static_cast<int>(part.size()));
  if (!out) throw std::bad_alloc();
  std::string result(out);
  curl().free(out);
  return result;
}

std::vector<std::string> path_parts(const std::string& path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (c == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

// A line break inside a name would end the command early and send the rest as a command of its
// own on the control connection.
bool one_line(const std::string& command) {
  return command.find_first_of("\r\n") == std::string::npos;
}

TransferResult multi_line_refused() {
  return {CURLE_QUOTE_ERROR, text::sjis("名前に改行があります。")};
}

}  // namespace

FtpSession::FtpSession(FtpSettings settings) : settings_(std::move(settings)), multi_(new_multi()) {
  EasyHandle easy = new_easy();
  Prepare(easy.get(), FolderUrl());
  easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
  TransferResult result = run_transfer(multi_.get(), easy.get(), nullptr);
  if (!result.ok()) throw GeneralError(result.message);
}

std::string FtpSession::FolderUrl() const {
  std::string url = "ftp://" + settings_.host + "/";
  if (from_root_) url += "%2F";
  for (const std::string& part : folder_) url += escaped(part) + "/";
  return url;
}

std::string FtpSession::FileUrl(const std::string& name) const {
  std::string url = FolderUrl();
  std::vector<std::string> parts = path_parts(name);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) url += "/";
    url += escaped(parts[i]);
  }
  return url;
}

void FtpSession::Prepare(CURL* easy, const std::string& url) {
  easy_setopt(easy, CURLOPT_URL, url.c_str());
  easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
  if (!settings_.user.empty()) {
    easy_setopt(easy, CURLOPT_USERNAME, settings_.user.c_str());
    easy_setopt(easy, CURLOPT_PASSWORD, settings_.password.c_str());
  }
  if (!settings_.passive) easy_setopt(easy, CURLOPT_FTPPORT, "-");
  easy_setopt(easy, CURLOPT_TRANSFERTEXT, binary_ ? 0L : 1L);
  easy_setopt(easy, CURLOPT_FTP_RESPONSE_TIMEOUT, 30L);
}

TransferResult FtpSession::Upload(const std::string& native_local, const std::string& remote,
                                  Progress* progress) {
  FileHandle in(std::fopen(native_local.c_str(), "rb"));
  if (!in) return {CURLE_READ_ERROR, text::sjis("ファイルが開けません。")};
  struct stat info {};
  curl_off_t size = fstat(fileno(in.get()), &info) == 0 ? info.st_size : -1;
  EasyHandle easy = new_easy();
  Prepare(easy.get(), FileUrl(remote));
  easy_setopt(easy.get(), CURLOPT_UPLOAD, 1L);
  easy_setopt(easy.get(), CURLOPT_READDATA, in.get());
  easy_setopt(easy.get(), CURLOPT_INFILESIZE_LARGE, size);
  return run_transfer(multi_.get(), easy.get(), progress);
}

TransferResult FtpSession::Download(const std::string& remote, const std::string& native_local,
                                    Progress* progress) {
  FileHandle out(std::fopen(native_local.c_str(), "wb"));
  if (!out) return {CURLE_WRITE_ERROR, text::sjis("ファイルが作れません。")};
  EasyHandle easy = new_easy();
  Prepare(easy.get(), FileUrl(remote));
  easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, write_to_file);
  easy_setopt(easy.get(), CURLOPT_WRITEDATA, out.get());
  TransferResult result = run_transfer(multi_.get(), easy.get(), progress);
  if (std::fflush(out.get()) != 0 && result.ok()) result = {CURLE_WRITE_ERROR, "write error"};
  return result;
}

TransferResult FtpSession::ChangeFolder(const std::string& remote) {
  std::vector<std::string> saved = folder_;
  bool saved_root = from_root_;
  if (!remote.empty() && remote[0] == '/') {
    from_root_ = true;
    folder_.clear();
  }
  for (const std::string& part : path_parts(remote)) {
    if (part == ".") continue;
    if (part == ".." && !folder_.empty() && folder_.back() != "..")
      folder_.pop_back();
    else
      folder_.push_back(part);
  }
  TransferResult result = Command({});
  if (!result.ok()) {
    folder_ = std::move(saved);
    from_root_ = saved_root;
  }
  return result;
}

TransferResult FtpSession::ParentFolder() {
  return ChangeFolder("..");
}

TransferResult FtpSession::Command(const std::vector<std::string>& commands) {
  for (const std::string& command : commands)
    if (!one_line(command)) return multi_line_refused();
  EasyHandle easy = new_easy();
  Prepare(easy.get(), FolderUrl());
  easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
  Slist list = make_slist(commands);
  if (list) easy_setopt(easy.get(), CURLOPT_POSTQUOTE, list.get());
  return run_transfer(multi_.get(), easy.get(), nullptr);
}

TransferResult FtpSession::Listing(const std::string& command, std::string& out,
                                   Progress* progress) {
  if (!one_line(command)) return multi_line_refused();
  EasyHandle easy = new_easy();
  Prepare(easy.get(), FolderUrl());
  easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, command.c_str());
  easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, write_to_string);
  easy_setopt(easy.get(), CURLOPT_WRITEDATA, &out);
  return run_transfer(multi_.get(), easy.get(), progress);
}

}  // namespace morivel::net
