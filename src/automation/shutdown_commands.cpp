// Commands: WINDOWS終了 and WINDOWS再起動, through systemd-logind on the system bus, after the
// question the security level calls for.
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

#include "automation/families.h"
#include "engine/host.h"
#include "engine/interpreter.h"
#include "text/encoding.h"

namespace morivel::automation {
namespace {

using engine::Interpreter;

constexpr int kHigh = 2, kLow = 0;

// True when the user (or the level) lets the system go down.
bool allowed(Interpreter& in, const char* question) {
  int level = in.State().SecurityLevel;
  if (level == kHigh) return false;
  if (level == kLow) return true;
  return in.GetHost().AskYesNo(engine::Host::DialogStyle{}, text::sjis(question), false) ==
         engine::Host::YesNo::Yes;
}

bool call_logind(const char* method) {
  QDBusInterface manager(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
  if (!manager.isValid()) return false;
  QDBusMessage reply = manager.call(QString::fromLatin1(method), false);
  return reply.type() == QDBusMessage::ReplyMessage;
}

void power_off(Interpreter& in) {
  if (!allowed(in, "Windowsを終了させてもよろしいですか？")) return;
  if (!call_logind("PowerOff")) throw in.Error(text::sjis("Windowsの終了に失敗しました。"));
}

void reboot(Interpreter& in) {
  if (!allowed(in, "Windowsを再起動させてもよろしいですか？")) return;
  if (!call_logind("Reboot")) throw in.Error(text::sjis("Windowsの再起動に失敗しました。"));
}

}  // namespace

void RegisterShutdownCommands(commands::HandlerTable& table) {
  table.Set(569, power_off);
  table.Set(570, reboot);
}

}  // namespace morivel::automation
