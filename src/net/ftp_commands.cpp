// FTP接続 and the FTP commands on the run's kept connection.
#include <filesystem>

#include "commands/file_handles.h"
#include "commands/security.h"
#include "engine/interpreter.h"
#include "net/ftp_session.h"
#include "net/net_run.h"
#include "net/progress.h"
#include "net/register.h"
#include "text/encoding.h"
#include "text/japanese.h"
#include "text/paths.h"
#include "text/sjis.h"
#include "text/wildcard.h"
#include "words/errors.h"

namespace morivel::net {

namespace {

namespace fs = std::filesystem;
using engine::Interpreter;

std::string in_quotes(const std::string& s) {
  return "\"" + s + "\"";
}

void ftp_connect(Interpreter& in) {
  FtpSettings settings;
  settings.host = text::trim(system_value(in, "FTPホスト"));
  settings.user = system_value(in, "FTPユーザーID");
  settings.password = system_value(in, "FTPパスワード");
  settings.passive = text::to_upper_case(text::trim(system_value(in, "FTP接続方式"))) == "PASV";
  NetRun& run = NetRun::Of(in);
  run.ftp.reset();
  try {
    if (settings.host.empty()) throw GeneralError(text::sjis("ホスト名が未設定です。"));
    run.ftp = std::make_unique<FtpSession>(std::move(settings));
  } catch (const std::exception& e) {
    throw GeneralError(text::sjis("FTPのエラー。接続に失敗。") + e.what());
  }
}

void ftp_disconnect(Interpreter& in) {
  NetRun::Of(in).ftp.reset();
}

FtpSession& session(Interpreter& in) {
  NetRun& run = NetRun::Of(in);
  if (!run.ftp) throw GeneralError(text::sjis("FTPで接続が確立されていません。"));
  return *run.ftp;
}

void check(const TransferResult& result, const std::string& failure) {
  if (!result.ok()) throw GeneralError(failure + result.message);
}

void upload_file(Interpreter& in, FtpSession& ftp, const std::string& local,
                 const std::string& remote) {
  auto progress = open_progress(in);
  progress->SetText(text::extract_file_name(local) + text::sjis("をアップロード中"));
  check(ftp.Upload(commands::native_path(local).string(), remote, progress.get()),
        in_quotes(remote) + text::sjis("へのFTPアップロードに失敗"));
}

void ftp_upload(Interpreter& in) {
  std::string remote = text::trim(in.PopArgumentValue());
  std::string local = text::trim(in.PopArgumentValue());
  FtpSession& ftp = session(in);
  std::error_code ec;
  if (fs::is_directory(commands::native_path(local), ec))
    throw GeneralError(text::sjis("フォルダをアップすることは出来ません。"));
  if (remote.empty()) remote = text::extract_file_name(local);
  upload_file(in, ftp, local, remote);
}

void upload_tree(Interpreter& in, FtpSession& ftp, const fs::path& local, const std::string& remote,
                 int depth) {
  if (depth > 64) throw GeneralError(text::sjis("フォルダが深すぎます。"));
  // A folder that is there already is entered as it is.
  ftp.Command({"MKD " + remote});
  check(ftp.ChangeFolder(remote), in_quotes(remote) + text::sjis("へのFTPフォルダ変更に失敗"));
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(local, ec)) {
    std::string name = commands::script_name_of(entry.path().filename().string());
    if (entry.is_directory(ec))
      upload_tree(in, ftp, entry.path(), name, depth + 1);
    else
      upload_file(in, ftp, commands::script_path_of(entry.path()), name);
  }
  check(ftp.ParentFolder(), text::sjis("FTP親ディレクトリに移動に失敗"));
}

void ftp_upload_folder(Interpreter& in) {
  std::string remote = text::trim(in.PopArgumentValue());
  std::string local = text::trim(in.PopArgumentValue());
  FtpSession& ftp = session(in);
  fs::path folder = commands::native_path(local);
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    throw GeneralError(in_quotes(remote) + text::sjis("へのFTPアップロードに失敗"));
  if (remote.empty()) remote = commands::script_name_of(folder.filename().string());
  upload_tree(in, ftp, folder, remote, 0);
}

void ftp_download(Interpreter& in) {
  std::string local = text::trim(in.PopArgumentValue());
  std::string remote = text::trim(in.PopArgumentValue());
  FtpSession& ftp = session(in);
  if (local.empty()) local = text::extract_file_name(remote);
  if (commands::CheckFileOperation(in, local, text::sjis("ファイルを書き込みます。"))) return;
  auto progress = open_progress(in);
  progress->SetText(remote + text::sjis("をダウンロード中"));
  fs::path path = commands::native_path(local);
  TransferResult result = ftp.Download(remote, path.string(), progress.get());
  if (!result.ok()) {
    std::error_code ec;
    fs::remove(path, ec);
  }
  check(result, in_quotes(remote) + text::sjis("へのFTPダウンロードに失敗"));
}

void ftp_transfer_mode(Interpreter& in) {
  std::string mode = in.PopArgumentValue();
  session(in).SetBinary(mode.find(text::sjis("バイナリ")) != std::string::npos);
}

void ftp_change_folder(Interpreter& in) {
  std::string folder = text::trim(in.PopArgumentValue());
  check(session(in).ChangeFolder(folder),
        in_quotes(folder) + text::sjis("へのFTPフォルダ変更に失敗"));
}

void ftp_parent(Interpreter& in) {
  check(session(in).ParentFolder(), text::sjis("FTP親ディレクトリに移動に失敗"));
}

void ftp_make_folder(Interpreter& in) {
  std::string name = text::trim(in.PopArgumentValue());
  check(session(in).Command({"MKD " + name}),
        in_quotes(name) + text::sjis("へのFTPフォルダ作成に失敗。"));
}

void ftp_delete_file(Interpreter& in) {
  std::string name = text::trim(in.PopArgumentValue());
  check(session(in).Command({"DELE " + name}),
        in_quotes(name) + text::sjis("のFTPファイル削除に失敗"));
}

void ftp_delete_folder(Interpreter& in) {
  std::string name = text::trim(in.PopArgumentValue());
  check(session(in).Command({"RMD " + name}),
        in_quotes(name) + text::sjis("へのFTPフォルダ削除に失敗"));
}

void ftp_rename(Interpreter& in) {
  std::string to = text::trim(in.PopArgumentValue());
  std::string from = text::trim(in.PopArgumentValue());
  FtpSession& ftp = session(in);
  auto progress = open_progress(in);
  progress->SetText(from + text::sjis("をファイル名変更中"));
  check(ftp.Command({"RNFR " + from, "RNTO " + to}),
        in_quotes(from) + text::sjis("へのFTPファイル名変更に失敗"));
}

void ftp_chmod(Interpreter& in) {
  std::string mode = text::trim(in.PopArgumentValue());
  std::string file = text::trim(in.PopArgumentValue());
  check(session(in).Command({"SITE chmod " + mode + " " + file}),
        in_quotes(file) + text::sjis(" のFTPファイル属性変更に失敗"));
}

std::string listing(Interpreter& in, const std::string& command, const std::string& progress_text) {
  FtpSession& ftp = session(in);
  auto progress = open_progress(in);
  progress->SetText(progress_text);
  std::string out;
  check(ftp.Listing(command, out, progress.get()), text::sjis("FTPの一覧取得に失敗"));
  return out;
}

void ftp_list_files(Interpreter& in) {
  std::string pattern = text::trim(in.PopArgumentValue());
  std::string raw = listing(in, "NLST", in_quotes(pattern) + text::sjis(" のファイル一覧を取得中"));
  std::string out;
  for (std::string_view line : text::split_lines(raw)) {
    std::string name = text::trim(line);
    if (name.empty()) continue;
    if (!pattern.empty() && !text::wildcard_match_whole(name, pattern)) continue;
    out += name + "\r\n";
  }
  in.SetResult(text::trim(out), "s");
}

std::vector<std::string> words_of(std::string_view line) {
  std::vector<std::string> words;
  std::string current;
  for (char c : line) {
    if (c == ' ' || c == '\t') {
      if (!current.empty()) words.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) words.push_back(current);
  return words;
}

void ftp_list_folders(Interpreter& in) {
  std::string pattern = text::trim(in.PopArgumentValue());
  std::string raw =
      listing(in, "LIST", in_quotes(pattern) + text::sjis(" のディレクトリ一覧を取得中"));
  std::string out;
  for (std::string_view line : text::split_lines(raw)) {
    std::vector<std::string> words = words_of(line);
    if (words.empty()) continue;
    std::string first = words.front();
    for (char& c : first) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (first == "total" || first[0] != 'd') continue;
    const std::string& name = words.back();
    if (!pattern.empty() && !text::wildcard_match_whole(name, pattern)) continue;
    if (!out.empty()) out += "\r\n";
    out += name;
  }
  in.SetResult(out, "s");
}

void ftp_file_info(Interpreter& in) {
  std::string name = text::trim(in.PopArgumentValue());
  std::string raw =
      listing(in, "LIST " + name, in_quotes(name) + text::sjis(" のファイル情報を取得中"));
  in.SetResult(text::trim(raw), "s");
}

}  // namespace

void register_ftp_commands(commands::HandlerTable& table) {
  table.Set(232, ftp_connect);
  table.Set(233, ftp_upload);
  table.Set(499, ftp_upload_folder);
  table.Set(234, ftp_download);
  table.Set(235, ftp_disconnect);
  table.Set(320, ftp_transfer_mode);
  table.Set(321, ftp_change_folder);
  table.Set(326, ftp_make_folder);
  table.Set(322, ftp_delete_file);
  table.Set(323, ftp_delete_folder);
  table.Set(324, ftp_list_files);
  table.Set(433, ftp_file_info);
  table.Set(325, ftp_list_folders);
  table.Set(426, ftp_chmod);
  table.Set(448, ftp_rename);
  table.Set(427, ftp_parent);
}

}  // namespace morivel::net
