// The transfer loop shared by the HTTP, FTP and mail commands.
#include "net/curl_transfer.h"

#include <QCoreApplication>

#include <cstdlib>
#include <new>
#include <stdexcept>

#include "net/progress.h"
#include "text/encoding.h"

namespace morivel::net {

namespace {

struct ProgressLink {
  Progress* progress = nullptr;
  bool stopped = false;
};

int on_progress(void* client, curl_off_t dl_total, curl_off_t dl_now, curl_off_t ul_total,
                curl_off_t ul_now) {
  auto* link = static_cast<ProgressLink*>(client);
  if (!link->progress) return 0;
  curl_off_t total = dl_total > 0 ? dl_total : ul_total;
  curl_off_t now = dl_total > 0 ? dl_now : ul_now;
  if (total > 0) link->progress->SetPercent(static_cast<int>(now * 100 / total));
  if (link->progress->StopRequested()) {
    link->stopped = true;
    return 1;
  }
  return 0;
}

// libcurl wants its global set-up before the first handle; once for the process.
void global_init() {
  static const bool done = [] {
    curl().global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

}  // namespace

const CurlApi& curl() {
  const CurlApi* api = CurlLibrary::Get();
  if (!api) throw std::runtime_error(CurlLibrary::Problem());
  return *api;
}

std::string transfer_library_problem() {
  return text::from_utf8(CurlLibrary::Problem());
}

EasyHandle new_easy() {
  global_init();
  EasyHandle easy(curl().easy_init());
  if (!easy) throw std::bad_alloc();
  easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  easy_setopt(easy.get(), CURLOPT_CONNECTTIMEOUT, 20L);
  // A server that stops sending for a minute counts as gone.
  easy_setopt(easy.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  easy_setopt(easy.get(), CURLOPT_LOW_SPEED_TIME, 60L);
  if (const char* ca_file = std::getenv("SSL_CERT_FILE"); ca_file && *ca_file)
    easy_setopt(easy.get(), CURLOPT_CAINFO, ca_file);
  return easy;
}

MultiHandle new_multi() {
  global_init();
  MultiHandle multi(curl().multi_init());
  if (!multi) throw std::bad_alloc();
  return multi;
}

Slist make_slist(const std::vector<std::string>& items) {
  curl_slist* list = nullptr;
  for (const std::string& item : items) {
    curl_slist* longer = curl().slist_append(list, item.c_str());
    if (!longer) {
      curl().slist_free_all(list);
      throw std::bad_alloc();
    }
    list = longer;
  }
  return Slist(list);
}

TransferResult run_transfer(CURLM* multi, CURL* easy, Progress* progress) {
  ProgressLink link{progress, false};
  char error_text[CURL_ERROR_SIZE] = {};
  easy_setopt(easy, CURLOPT_ERRORBUFFER, error_text);
  easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, on_progress);
  easy_setopt(easy, CURLOPT_XFERINFODATA, &link);
  TransferResult result;
  if (curl().multi_add_handle(multi, easy) != CURLM_OK) {
    result.code = CURLE_FAILED_INIT;
  } else {
    int running = 1;
    while (running) {
      if (curl().multi_perform(multi, &running) != CURLM_OK) break;
      if (!running) break;
      curl().multi_poll(multi, nullptr, 0, 10, nullptr);
      QCoreApplication::processEvents();
    }
    result.code = CURLE_FAILED_INIT;
    int left = 0;
    while (CURLMsg* message = curl().multi_info_read(multi, &left))
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
        result.code = message->data.result;
    curl().multi_remove_handle(multi, easy);
  }
  easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
  easy_setopt(easy, CURLOPT_XFERINFODATA, nullptr);
  easy_setopt(easy, CURLOPT_NOPROGRESS, 1L);
  if (result.code != CURLE_OK) {
    std::string reason = error_text[0] ? error_text : curl().easy_strerror(result.code);
    if (link.stopped) reason = text::to_utf8(text::sjis("中止しました。"));
    result.message = text::from_utf8(reason);
  }
  return result;
}

size_t write_to_string(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

size_t write_to_file(char* data, size_t size, size_t count, void* target) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(target)) * size;
}

}  // namespace morivel::net
