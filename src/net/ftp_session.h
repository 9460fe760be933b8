// One FTP connection kept between commands, on libcurl.
#pragma once

#include <string>
#include <vector>

#include "net/curl_transfer.h"

namespace morivel::net {

class Progress;

struct FtpSettings {
  std::string host;  // "name" or "name:port"
  std::string user;
  std::string password;
  bool passive = true;
};

class FtpSession {
 public:
  // Connects and logs in; throws GeneralError with libcurl's reason.
  explicit FtpSession(FtpSettings settings);

  // Each returns what became of the request; none throws on a server's refusal.
  TransferResult Upload(const std::string& native_local, const std::string& remote,
                        Progress* progress);
  TransferResult Download(const std::string& remote, const std::string& native_local,
                          Progress* progress);
  // Checks that the folder exists on the server, then makes it the working folder.
  TransferResult ChangeFolder(const std::string& remote);
  TransferResult ParentFolder();
  // Raw commands sent in the working folder, in order (MKD, DELE, RNFR/RNTO, SITE ...).
  TransferResult Command(const std::vector<std::string>& commands);
  // The listing the command gives ("NLST" or "LIST", with an optional argument).
  TransferResult Listing(const std::string& command, std::string& out, Progress* progress);
  void SetBinary(bool binary) { binary_ = binary; }

 private:
  std::string FolderUrl() const;
  std::string FileUrl(const std::string& name) const;
  void Prepare(CURL* easy, const std::string& url);

  FtpSettings settings_;
  MultiHandle multi_;
  // The working folder as the path below the login folder, each part without "/"; an entry
  // ".." climbs above it.
  std::vector<std::string> folder_;
  // A folder given from the root ("/x") starts here.
  bool from_root_ = false;
  bool binary_ = true;
};

}  // namespace morivel::net
