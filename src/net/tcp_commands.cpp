// TCP接続 and the other TCP commands: one client and one server per run.
#include "engine/interpreter.h"
#include "expr/literal.h"
#include "net/net_run.h"
#include "net/register.h"
#include "net/tcp.h"
#include "text/encoding.h"
#include "text/sjis.h"
#include "words/errors.h"

namespace morivel::net {

namespace {

using engine::Interpreter;

// A label argument as written; a quoted name is taken by its value.
std::string pop_label_name(Interpreter& in) {
  std::string raw = text::trim(in.PopArgumentText());
  if (!raw.empty() && (raw[0] == '`' || raw[0] == '"' || raw[0] == '\''))
    return text::trim(in.EvalArgument(raw));
  return raw;
}

GeneralError argument_error(Interpreter& in, const char* utf8_reason) {
  return GeneralError("\"" + in.CurrentCommandName() +
                      text::sjis("\"命令の引数に誤りがあります。") + text::sjis(utf8_reason));
}

TcpClient& client_of(Interpreter& in, NetRun& run) {
  if (!run.client) run.client = std::make_unique<TcpClient>(in, run);
  return *run.client;
}

void tcp_connect(Interpreter& in) {
  std::string target = text::trim(in.PopArgumentValue());
  if (target.empty()) throw argument_error(in, "接続先が設定されていません");
  NetRun& run = NetRun::Of(in);
  try {
    client_of(in, run).Connect(target, configured_port(in));
  } catch (const std::exception& e) {
    throw GeneralError(text::sjis("TCP/IPのエラー。サーバー\"") + target +
                       text::sjis("\"へ接続できませんでした。") + e.what());
  }
}

void tcp_disconnect(Interpreter& in) {
  NetRun& run = NetRun::Of(in);
  if (run.client) run.client->Close();
  run.status = text::sjis("切断");
}

void tcp_status(Interpreter& in) {
  in.SetResult(NetRun::Of(in).status, "s");
}

void tcp_send(Interpreter& in) {
  std::string bytes = in.PopArgumentValue();
  NetRun& run = NetRun::Of(in);
  try {
    if (!run.client) throw GeneralError(text::sjis("接続されていません。"));
    run.client->Send(bytes);
  } catch (const std::exception& e) {
    throw GeneralError(text::sjis("サーバーへの送信に失敗。") + e.what());
  }
}

void set_client_read_label(Interpreter& in) {
  auto label = label_argument(in, pop_label_name(in));
  NetRun::Of(in).client_read_label = std::move(label);
}

void set_server_read_label(Interpreter& in) {
  auto label = label_argument(in, pop_label_name(in));
  NetRun::Of(in).server_read_label = std::move(label);
}

void set_server_connect_label(Interpreter& in) {
  auto label = label_argument(in, pop_label_name(in));
  NetRun::Of(in).server_connect_label = std::move(label);
}

void server_start(Interpreter& in) {
  NetRun& run = NetRun::Of(in);
  run.status = text::sjis("起動準備中");
  if (!run.server) run.server = std::make_unique<TcpServer>(in, run);
  // A receive label set before the start belongs to an earlier server.
  run.server_read_label = nullptr;
  try {
    run.server->Start(configured_port(in));
  } catch (const std::exception& e) {
    throw GeneralError(text::sjis("TCP/IPサーバーの起動に失敗。") + e.what());
  }
  run.status = text::sjis("起動中");
}

void server_stop(Interpreter& in) {
  NetRun& run = NetRun::Of(in);
  if (run.server) run.server->Stop();
  run.status = text::sjis("停止中");
}

void server_clients(Interpreter& in) {
  NetRun& run = NetRun::Of(in);
  in.SetResult(run.server ? run.server->ClientList() : std::string(), "s");
}

TcpServer& active_server(NetRun& run) {
  if (!run.server || !run.server->Active())
    throw GeneralError(text::sjis("TCP/IPのエラー。サーバーがアクティブではありません。"));
  return *run.server;
}

void server_send(Interpreter& in) {
  std::string bytes = in.PopArgumentValue();
  std::string who = text::trim(in.PopArgumentValue());
  if (who.empty()) throw GeneralError(text::sjis("TCP/IPのエラー。相手先が設定されていません"));
  TcpServer& server = active_server(NetRun::Of(in));
  int index = server.FindClient(who);
  if (index >= 0) server.SendTo(index, bytes);
}

void server_drop(Interpreter& in) {
  std::string who = text::trim(in.PopArgumentValue());
  if (who.empty()) throw argument_error(in, "相手先が設定されていません");
  TcpServer& server = active_server(NetRun::Of(in));
  int index = server.FindClient(who);
  if (index >= 0) server.Drop(index);
}

}  // namespace

void register_tcp_commands(commands::HandlerTable& table) {
  table.Set(356, tcp_connect);
  table.Set(357, tcp_disconnect);
  table.Set(358, tcp_status);
  table.Set(359, tcp_send);
  table.Set(360, set_client_read_label);
  table.Set(361, server_start);
  table.Set(362, server_stop);
  table.Set(363, server_clients);
  table.Set(364, server_send);
  table.Set(365, set_server_read_label);
  table.Set(371, set_server_connect_label);
  table.Set(405, server_drop);
}

void register_net_handlers(commands::HandlerTable& table) {
  register_tcp_commands(table);
  register_host_info(table);
  register_http_commands(table);
  register_ftp_commands(table);
  register_mail_commands(table);
}

}  // namespace morivel::net
