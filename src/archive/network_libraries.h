// The functions the network listings take from the mDNS daemon's client library and from Samba's
// client library. Both trees are large (Samba's alone is some 80 shared libraries) and only these
// commands use them, so they are opened at the first listing.
#pragma once

#include "platform/optional_library.h"

#ifdef MORIVEL_HAVE_AVAHI
#include <avahi-client/client.h>
#include <avahi-client/lookup.h>
#include <avahi-common/simple-watch.h>
#endif
#ifdef MORIVEL_HAVE_SMBCLIENT
#include <libsmbclient.h>
#endif

namespace morivel::archive {

#ifdef MORIVEL_HAVE_AVAHI
struct AvahiApi {
  // The poll functions live in the common library, which the client library brings along and
  // whose functions are found through the client's handle.
  static constexpr const char* kSoname = "libavahi-client.so.3";
  decltype(&avahi_simple_poll_new) simple_poll_new;
  decltype(&avahi_simple_poll_free) simple_poll_free;
  decltype(&avahi_simple_poll_get) simple_poll_get;
  decltype(&avahi_simple_poll_iterate) simple_poll_iterate;
  decltype(&avahi_client_new) client_new;
  decltype(&avahi_client_free) client_free;
  decltype(&avahi_domain_browser_new) domain_browser_new;
  decltype(&avahi_domain_browser_free) domain_browser_free;
  decltype(&avahi_service_browser_new) service_browser_new;
  decltype(&avahi_service_browser_free) service_browser_free;

  void Resolve(platform::OptionalLibrary& library) {
    library.Resolve("avahi_simple_poll_new", simple_poll_new);
    library.Resolve("avahi_simple_poll_free", simple_poll_free);
    library.Resolve("avahi_simple_poll_get", simple_poll_get);
    library.Resolve("avahi_simple_poll_iterate", simple_poll_iterate);
    library.Resolve("avahi_client_new", client_new);
    library.Resolve("avahi_client_free", client_free);
    library.Resolve("avahi_domain_browser_new", domain_browser_new);
    library.Resolve("avahi_domain_browser_free", domain_browser_free);
    library.Resolve("avahi_service_browser_new", service_browser_new);
    library.Resolve("avahi_service_browser_free", service_browser_free);
  }
};
using AvahiLibrary = platform::LazyLibrary<AvahiApi>;
#endif

#ifdef MORIVEL_HAVE_SMBCLIENT
struct SmbApi {
  static constexpr const char* kSoname = "libsmbclient.so.0";
  decltype(&smbc_new_context) new_context;
  decltype(&smbc_free_context) free_context;
  decltype(&smbc_setDebug) set_debug;
  decltype(&smbc_setTimeout) set_timeout;
  decltype(&smbc_setOptionNoAutoAnonymousLogin) set_no_auto_anonymous_login;
  decltype(&smbc_setConfiguration) set_configuration;
  decltype(&smbc_init_context) init_context;
  decltype(&smbc_getFunctionOpendir) get_opendir;
  decltype(&smbc_getFunctionReaddir) get_readdir;
  decltype(&smbc_getFunctionClosedir) get_closedir;

  void Resolve(platform::OptionalLibrary& library) {
    library.Resolve("smbc_new_context", new_context);
    library.Resolve("smbc_free_context", free_context);
    library.Resolve("smbc_setDebug", set_debug);
    library.Resolve("smbc_setTimeout", set_timeout);
    library.Resolve("smbc_setOptionNoAutoAnonymousLogin", set_no_auto_anonymous_login);
    library.Resolve("smbc_setConfiguration", set_configuration);
    library.Resolve("smbc_init_context", init_context);
    library.Resolve("smbc_getFunctionOpendir", get_opendir);
    library.Resolve("smbc_getFunctionReaddir", get_readdir);
    library.Resolve("smbc_getFunctionClosedir", get_closedir);
  }
};
using SmbLibrary = platform::LazyLibrary<SmbApi>;
#endif

}  // namespace morivel::archive
