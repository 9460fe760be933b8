// コンピューター名取得, ユーザー名取得 and IPアドレス取得 from the system.
#include <QHostAddress>
#include <QHostInfo>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "engine/interpreter.h"
#include "net/register.h"
#include "net/tcp.h"
#include "text/encoding.h"
#include "text/sjis.h"

namespace morivel::net {

namespace {

using engine::Interpreter;

void computer_name(Interpreter& in) {
  in.SetResult(text::from_utf8(QHostInfo::localHostName().toStdString()), "s");
}

std::string login_name() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->pw_name;
  const char* user = std::getenv("USER");
  return user ? user : "";
}

void user_name(Interpreter& in) {
  in.SetResult(text::from_utf8(login_name()), "s");
}

// The first IPv4 address of the name (an IPv6 one when it has none); "" when it has none.
void ip_address(Interpreter& in) {
  std::string name = text::trim(in.PopArgumentValue());
  QHostInfo info = QHostInfo::fromName(QString::fromStdString(text::to_utf8(name)));
  std::string found;
  for (const QHostAddress& address : info.addresses()) {
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
      found = address_text(address);
      break;
    }
    if (found.empty()) found = address_text(address);
  }
  in.SetResult(found, "s");
}

}  // namespace

void register_host_info(commands::HandlerTable& table) {
  table.Set(366, user_name);
  table.Set(367, computer_name);
  table.Set(368, ip_address);
}

}  // namespace morivel::net
