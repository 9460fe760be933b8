// libcurl on the GUI thread: a transfer runs on a multi handle while Qt's events keep turning,
// and the progress display may stop it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "net/curl_library.h"

namespace morivel::net {

class Progress;

struct EasyDeleter {
  void operator()(CURL* easy) const { curl().easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl().multi_cleanup(multi); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl().slist_free_all(list); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// A new easy handle with the settings every transfer shares (no signals, the CA file that
// SSL_CERT_FILE names when set). Throws std::bad_alloc when libcurl cannot make one, and
// std::runtime_error when libcurl is not installed.
EasyHandle new_easy();
MultiHandle new_multi();

// Appends each string to a list for CURLOPT_QUOTE and its kin.
Slist make_slist(const std::vector<std::string>& items);

// What became of a transfer.
struct TransferResult {
  CURLcode code = CURLE_OK;
  std::string message;  // Shift-JIS; empty on success
  bool ok() const { return code == CURLE_OK; }
};

// Runs `easy` to its end on `multi` (connections stay cached there for the next transfer),
// letting Qt's events run meanwhile. The progress display sees the percentage and may stop it.
TransferResult run_transfer(CURLM* multi, CURL* easy, Progress* progress);

// Callbacks for CURLOPT_WRITEFUNCTION: into a std::string / a FILE*.
size_t write_to_string(char* data, size_t size, size_t count, void* target);
size_t write_to_file(char* data, size_t size, size_t count, void* target);

}  // namespace morivel::net
