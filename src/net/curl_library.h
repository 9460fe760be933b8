// The transfer library's functions. Its dependency tree (TLS, HTTP/2, SSH, LDAP, Kerberos ...) is
// needed only by the mail, FTP and HTTP commands, so it is opened at the first transfer.
#pragma once

#include <curl/curl.h>

#include <string>

#include "platform/optional_library.h"

namespace morivel::net {

struct CurlApi {
  static constexpr const char* kSoname = "libcurl.so.4";
  decltype(&curl_global_init) global_init;
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_strerror) easy_strerror;
  decltype(&curl_easy_escape) easy_escape;
  decltype(&curl_free) free;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
  decltype(&curl_multi_init) multi_init;
  decltype(&curl_multi_cleanup) multi_cleanup;
  decltype(&curl_multi_add_handle) multi_add_handle;
  decltype(&curl_multi_remove_handle) multi_remove_handle;
  decltype(&curl_multi_perform) multi_perform;
  decltype(&curl_multi_poll) multi_poll;
  decltype(&curl_multi_info_read) multi_info_read;

  void Resolve(platform::OptionalLibrary& library) {
    library.Resolve("curl_global_init", global_init);
    library.Resolve("curl_easy_init", easy_init);
    library.Resolve("curl_easy_cleanup", easy_cleanup);
    library.Resolve("curl_easy_setopt", easy_setopt);
    library.Resolve("curl_easy_strerror", easy_strerror);
    library.Resolve("curl_easy_escape", easy_escape);
    library.Resolve("curl_free", free);
    library.Resolve("curl_slist_append", slist_append);
    library.Resolve("curl_slist_free_all", slist_free_all);
    library.Resolve("curl_multi_init", multi_init);
    library.Resolve("curl_multi_cleanup", multi_cleanup);
    library.Resolve("curl_multi_add_handle", multi_add_handle);
    library.Resolve("curl_multi_remove_handle", multi_remove_handle);
    library.Resolve("curl_multi_perform", multi_perform);
    library.Resolve("curl_multi_poll", multi_poll);
    library.Resolve("curl_multi_info_read", multi_info_read);
  }
};
using CurlLibrary = platform::LazyLibrary<CurlApi>;

// The loaded table. Throws std::runtime_error saying what is missing (ASCII) when the library
// cannot be used; the commands check transfer_library_problem() first to fail in their own words.
const CurlApi& curl();

// Why transfers cannot run, as a Shift-JIS text; empty when the library is loaded.
std::string transfer_library_problem();

// curl_easy_setopt through the loaded library; the options and values are libcurl's own.
template <typename Value>
CURLcode easy_setopt(CURL* easy, CURLoption option, Value value) {
  return curl().easy_setopt(easy, option, value);
}

}  // namespace morivel::net
