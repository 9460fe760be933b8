// Commands: ネットワークドメイン列挙, ネットワークコンピューター列挙(ドメイン付き),
// 共有フォルダ列挙.
#include "archive/network.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include <unistd.h>

#include "archive/network_libraries.h"
#include "engine/interpreter.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::archive {
namespace {

using engine::Interpreter;

// An announcement waits this long at most for the daemon's first answers.
constexpr auto kBrowseTime = std::chrono::milliseconds(1500);

void add_unique(std::vector<std::string>& names, const std::string& name) {
  if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
    names.push_back(name);
}

#ifdef MORIVEL_HAVE_AVAHI

// Only made once the library is loaded, so the deleters can take its table for granted.
struct PollFree {
  void operator()(AvahiSimplePoll* p) const { AvahiLibrary::Get()->simple_poll_free(p); }
};
struct ClientFree {
  void operator()(AvahiClient* c) const { AvahiLibrary::Get()->client_free(c); }
};
struct DomainBrowserFree {
  void operator()(AvahiDomainBrowser* b) const { AvahiLibrary::Get()->domain_browser_free(b); }
};
struct ServiceBrowserFree {
  void operator()(AvahiServiceBrowser* b) const { AvahiLibrary::Get()->service_browser_free(b); }
};

// One browsing session with the daemon; the browsers report into `names` until each of them
// has said that nothing more is known for now.
struct Browse {
  explicit Browse(const AvahiApi& avahi) : api(avahi) {}

  const AvahiApi& api;
  std::unique_ptr<AvahiSimplePoll, PollFree> poll{api.simple_poll_new()};
  std::unique_ptr<AvahiClient, ClientFree> client;
  std::vector<std::string> names;
  int pending = 0;

  bool Connect() {
    if (!poll) return false;
    int error = 0;
    client.reset(api.client_new(api.simple_poll_get(poll.get()), AvahiClientFlags(0), nullptr,
                                nullptr, &error));
    return client != nullptr;
  }
  void Finished() { --pending; }
  void Run() {
    auto deadline = std::chrono::steady_clock::now() + kBrowseTime;
    while (pending > 0 && std::chrono::steady_clock::now() < deadline)
      if (api.simple_poll_iterate(poll.get(), 100) != 0) break;
  }
};

// "name [00:11:22:33:44:55]", as workstations announce themselves, names the computer "name".
std::string computer_of(const char* service_name) {
  std::string name = service_name ? service_name : "";
  std::size_t bracket = name.find(" [");
  if (bracket != std::string::npos) name.erase(bracket);
  return name;
}

void on_domain(AvahiDomainBrowser*, AvahiIfIndex, AvahiProtocol, AvahiBrowserEvent event,
               const char* domain, AvahiLookupResultFlags, void* data) {
  auto* browse = static_cast<Browse*>(data);
  if (event == AVAHI_BROWSER_NEW && domain) add_unique(browse->names, domain);
  if (event == AVAHI_BROWSER_ALL_FOR_NOW || event == AVAHI_BROWSER_FAILURE) browse->Finished();
}

void on_service(AvahiServiceBrowser*, AvahiIfIndex, AvahiProtocol, AvahiBrowserEvent event,
                const char* name, const char*, const char*, AvahiLookupResultFlags, void* data) {
  auto* browse = static_cast<Browse*>(data);
  if (event == AVAHI_BROWSER_NEW) add_unique(browse->names, computer_of(name));
  if (event == AVAHI_BROWSER_ALL_FOR_NOW || event == AVAHI_BROWSER_FAILURE) browse->Finished();
}

#endif

#ifdef MORIVEL_HAVE_SMBCLIENT

struct ContextFree {
  void operator()(SMBCCTX* c) const { SmbLibrary::Get()->free_context(c, 1); }
};

// A private configuration: names resolve through the host's own resolver only, so a listing
// never broadcasts to find a computer. Written afresh for each listing and removed after it.
class SmbConfiguration {
 public:
  SmbConfiguration() {
    std::string pattern = (std::filesystem::temp_directory_path() / "morivel-smb-XXXXXX").string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) return;
    static const char kText[] =
        "[global]\n  name resolve order = host\n  client min protocol = SMB2\n";
    bool written = ::write(fd, kText, sizeof kText - 1) == static_cast<ssize_t>(sizeof kText - 1);
    ::close(fd);
    path_ = pattern;
    if (!written) path_.clear();
  }
  ~SmbConfiguration() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  SmbConfiguration(const SmbConfiguration&) = delete;
  SmbConfiguration& operator=(const SmbConfiguration&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

#endif

std::string lines_of(const std::vector<std::string>& names, const std::string& prefix = {}) {
  std::string out;
  for (const std::string& name : names) out += prefix + text::from_utf8(name) + "\r\n";
  return out;
}

void domains_command(Interpreter& in) {
  in.SetResult(lines_of(network_domains()), "s");
}

// The computers of one domain, or of every domain when none is given; with_domain joins the
// domain name directly to each computer name.
std::string computers_text(const std::string& domain, bool with_domain) {
  if (!domain.empty())
    return lines_of(network_computers(text::to_utf8(domain)), with_domain ? domain : "");
  std::string all;
  for (const std::string& each : network_domains()) {
    std::string sjis_domain = text::from_utf8(each);
    if (text::trim(sjis_domain).empty()) continue;
    std::string block = text::trim(computers_text(sjis_domain, with_domain));
    if (!block.empty()) all += block + "\r\n";
  }
  return text::trim(all);
}

void computers(Interpreter& in, bool with_domain) {
  std::string domain = in.PopArgumentValue();
  if (in.ImplicitSore()) domain.clear();
  in.SetResult(computers_text(text::trim(domain), with_domain), "s");
}

void computers_command(Interpreter& in) {
  computers(in, false);
}
void computers_with_domain_command(Interpreter& in) {
  computers(in, true);
}

void shares_command(Interpreter& in) {
  std::string computer = text::trim(in.PopArgumentValue());
  if (computer.compare(0, 2, "\\\\") != 0) computer = "\\\\" + computer;
  in.SetResult(lines_of(network_shares(text::to_utf8(computer))), "s");
}

}  // namespace

std::vector<std::string> network_domains() {
  std::vector<std::string> names;
#ifdef MORIVEL_HAVE_AVAHI
  const AvahiApi* avahi = AvahiLibrary::Get();
  if (!avahi) return names;
  Browse browse(*avahi);
  if (!browse.Connect()) return names;
  std::unique_ptr<AvahiDomainBrowser, DomainBrowserFree> browser(avahi->domain_browser_new(
      browse.client.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, nullptr,
      AVAHI_DOMAIN_BROWSER_BROWSE, AvahiLookupFlags(0), on_domain, &browse));
  if (!browser) return {"local"};
  browse.pending = 1;
  browse.Run();
  names.push_back("local");
  for (const std::string& n : browse.names) add_unique(names, n);
#endif
  return names;
}

std::vector<std::string> network_computers(const std::string& domain) {
#ifdef MORIVEL_HAVE_AVAHI
  const AvahiApi* avahi = AvahiLibrary::Get();
  if (!avahi) return {};
  Browse browse(*avahi);
  if (!browse.Connect()) return {};
  std::vector<std::unique_ptr<AvahiServiceBrowser, ServiceBrowserFree>> browsers;
  for (const char* type : {"_workstation._tcp", "_smb._tcp"}) {
    AvahiServiceBrowser* b =
        avahi->service_browser_new(browse.client.get(), AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type,
                                   domain.c_str(), AvahiLookupFlags(0), on_service, &browse);
    if (!b) continue;
    browsers.emplace_back(b);
    ++browse.pending;
  }
  browse.Run();
  return browse.names;
#else
  (void)domain;
  return {};
#endif
}

std::vector<std::string> network_shares(const std::string& computer) {
  std::vector<std::string> shares;
#ifdef MORIVEL_HAVE_SMBCLIENT
  std::string host = computer;
  while (!host.empty() && host.front() == '\\') host.erase(0, 1);
  if (host.empty()) return shares;
  const SmbApi* smb = SmbLibrary::Get();
  if (!smb) return shares;
  std::unique_ptr<SMBCCTX, ContextFree> ctx(smb->new_context());
  if (!ctx) return shares;
  smb->set_debug(ctx.get(), 0);
  smb->set_timeout(ctx.get(), 2000);
  smb->set_no_auto_anonymous_login(ctx.get(), false);
  SmbConfiguration conf;
  if (conf.Path().empty()) return shares;
  smb->set_configuration(ctx.get(), conf.Path().c_str());
  if (!smb->init_context(ctx.get())) return shares;
  std::string url = "smb://" + host + "/";
  SMBCFILE* dir = smb->get_opendir(ctx.get())(ctx.get(), url.c_str());
  if (!dir) return shares;
  while (smbc_dirent* entry = smb->get_readdir(ctx.get())(ctx.get(), dir))
    if (entry->smbc_type == SMBC_FILE_SHARE) shares.push_back("\\\\" + host + "\\" + entry->name);
  smb->get_closedir(ctx.get())(ctx.get(), dir);
#else
  (void)computer;
#endif
  return shares;
}

std::string network_library_problems() {
  std::string problems;
#ifdef MORIVEL_HAVE_AVAHI
  if (!AvahiLibrary::Get()) problems += AvahiLibrary::Problem() + "\n";
#endif
#ifdef MORIVEL_HAVE_SMBCLIENT
  if (!SmbLibrary::Get()) problems += SmbLibrary::Problem() + "\n";
#endif
  return problems;
}

void register_network_commands(commands::HandlerTable& table) {
  table.Set(372, domains_command);
  table.Set(354, computers_command);
  table.Set(370, computers_with_domain_command);
  table.Set(355, shares_command);
}

}  // namespace morivel::archive
