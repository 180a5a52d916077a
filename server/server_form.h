// The server's window core, without any widget: it owns the mailslot writer FWriter, the
// relay listener and the memo text, and carries the window's handlers. The tray layer owns
// one ServerForm, shows MemoText() in Memo1 and calls the handlers; the headless program
// uses it as it is.
//
// Threads: construct, call every member and destroy on the UI thread, the one whose
// Dispatcher runs the hand-offs from connection threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "ipc/dispatcher.h"
#include "ipc/mailslot_writer.h"
#include "ipc/slot_channel.h"
#include "relay/protocol.h"
#include "server/tcp_server.h"

namespace qvr::server {

class TQVSyncClass;

// The slot every relayed message and every test command goes to.
inline constexpr std::u16string_view kMessagesSlot = u"Quelvane\\Messages";

struct ServerFormOptions {
  std::uint16_t port = relay::kPort;  // 0: an ephemeral port, for tests
  ipc::SlotBackend* slots = nullptr;  // nullptr: the platform's slots
  Dispatcher* ui = nullptr;           // nullptr: the constructing thread's dispatcher
};

class ServerForm {
 public:
  using MemoChanged = std::function<void(const std::u16string& text)>;

  // Throws std::logic_error when no dispatcher is given and the thread has none.
  explicit ServerForm(ServerFormOptions options = {});
  // FormDestroy.
  ~ServerForm();
  ServerForm(const ServerForm&) = delete;
  ServerForm& operator=(const ServerForm&) = delete;

  // Makes FWriter (opens nothing), then starts listening. Throws EIdCouldNotBindSocket when
  // the port is taken; the form then runs on without a listener and its writer works.
  void FormCreate();
  // Stops the listener (closing every connection and joining its thread; hand-offs that
  // arrive meanwhile are dropped), then releases FWriter. Idempotent.
  void FormDestroy();

  // The latest relayed message; "Memo1" before the first.
  const std::u16string& MemoText() const { return memo_; }
  // Called after every change of MemoText(), on the UI thread.
  void SetMemoChanged(MemoChanged callback) { memo_changed_ = std::move(callback); }

  // One message from a connection: shows it, then writes it into the slot. The result of
  // the write is not looked at.
  void ShowAndForward(const std::u16string& text);
  // Builds the command document and writes it into the slot. Throws EXmlError for an
  // action the document refuses; nothing is written then.
  void SendIPCCommand(std::u16string_view action, std::u16string_view param1,
                      std::u16string_view param2);
  // The Send button: the three fields as they are.
  void TntButton1Click(std::u16string_view action, std::u16string_view param1,
                       std::u16string_view param2);

  // True between a successful FormCreate and FormDestroy.
  bool Listening() const { return server_ && server_->Active(); }
  // The bound port while listening, else 0.
  std::uint16_t ListeningPort() const { return server_ ? server_->Port() : 0; }
  // While listening: whether an IPv6 listener was opened too.
  bool ListensOnIpv6() const { return server_ && server_->ListensOnIpv6(); }
  // Connections whose handler has not ended yet; thread-safe.
  std::size_t OpenConnections() const { return server_ ? server_->ConnectionCount() : 0; }

 private:
  void IdTCPServer1Execute(TcpConnection& connection);

  ServerFormOptions options_;
  std::u16string memo_ = u"Memo1";
  MemoChanged memo_changed_;
  std::unique_ptr<TMailSlotWriter> FWriter;
  std::unique_ptr<TQVSyncClass> sync_;
  std::unique_ptr<TcpServer> server_;
};

}  // namespace qvr::server
