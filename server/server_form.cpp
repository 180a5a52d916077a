#include "server/server_form.h"

#include <stdexcept>
#include <utility>

#include "ipc/codepage.h"
#include "server/command_document.h"
#include "server/connection_handler.h"
#include "server/qv_sync.h"

namespace qvr::server {

namespace {

Dispatcher& ResolveUi(Dispatcher* given) {
  Dispatcher* ui = given ? given : Dispatcher::Current();
  if (ui == nullptr) throw std::logic_error("ServerForm needs a UI thread with a dispatcher");
  return *ui;
}

}  // namespace

ServerForm::ServerForm(ServerFormOptions options) : options_(options) {
  options_.ui = &ResolveUi(options.ui);
}

ServerForm::~ServerForm() {
  FormDestroy();
}

void ServerForm::FormCreate() {
  FWriter = std::make_unique<TMailSlotWriter>(
      kMessagesSlot, options_.slots ? *options_.slots : ipc::SystemSlots());
  sync_ = std::make_unique<TQVSyncClass>(
      *options_.ui, [this](const std::u16string& text) { ShowAndForward(text); });
  server_ = std::make_unique<TcpServer>(
      options_.port, [this](TcpConnection& connection) { IdTCPServer1Execute(connection); });
  server_->Activate();
}

void ServerForm::FormDestroy() {
  // Hand-offs first: a connection thread waiting for this thread is let go at once.
  if (sync_) sync_->Close();
  if (server_) server_->Stop();
  server_.reset();
  sync_.reset();
  auto writer = std::move(FWriter);
  writer.reset();
}

void ServerForm::IdTCPServer1Execute(TcpConnection& connection) {
  server::IdTCPServer1Execute(
      connection, [this](std::vector<std::u16string> texts) { sync_->Deliver(std::move(texts)); });
}

void ServerForm::ShowAndForward(const std::u16string& text) {
  memo_ = text;
  if (memo_changed_) memo_changed_(memo_);
  if (FWriter) FWriter->WriteText(Utf16ToAnsi(text));
}

void ServerForm::SendIPCCommand(std::u16string_view action, std::u16string_view param1,
                                std::u16string_view param2) {
  const std::string document = BuildCommandDocument(action, param1, param2);
  if (FWriter) FWriter->WriteText(document);
}

void ServerForm::TntButton1Click(std::u16string_view action, std::u16string_view param1,
                                 std::u16string_view param2) {
  SendIPCCommand(action, param1, param2);
}

}  // namespace qvr::server
