// The client's main window without its face: it owns the slot reader and the relay
// connection and binds one to the other. The tray program and the headless program both
// drive it from their UI thread, which a Dispatcher must serve.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "client/forwarder.h"
#include "client/settings.h"
#include "ipc/mailslot_reader.h"
#include "ipc/slot_channel.h"

namespace qvr::client {

// The slot into which the presentation program writes its event messages.
inline constexpr std::u16string_view kSenderSlotName = u"Quelvane\\RemoteSender";

class ClientForm {
 public:
  explicit ClientForm(const TSettings& settings, RelayClientOptions options = {},
                      ipc::SlotBackend& slots = ipc::SystemSlots());
  // Runs FormDestroy when it has not run yet.
  ~ClientForm();
  ClientForm(const ClientForm&) = delete;
  ClientForm& operator=(const ClientForm&) = delete;

  // Makes the reader on the slot, started at once, and binds it to ForwardMessage. Opens no
  // connection: the first message does.
  void FormCreate();
  // Takes the reader out and destroys it (queued messages are dropped), then closes the
  // relay connection.
  void FormDestroy();

  // One message from the reader: see Forwarder::ForwardMessage. Failures leave as
  // RelayError for the top-level handler of the loop that delivered the message.
  void ForwardMessage(TMailSlotReader& sender, const std::u16string& text);

  // For the settings dialog, after OK has stored its values: when the host differs from
  // `host_before` the relay connection is closed, so the new host applies to the next
  // message. True when the host differed.
  bool ApplyHost(std::u16string_view host_before) { return forwarder_.ApplyHost(host_before); }

  // True while a reader exists and owns its slot.
  bool ReaderOwnsSlot() const { return FReader && FReader->OwnsSlot(); }

  Forwarder& forwarder() { return forwarder_; }

 private:
  ipc::SlotBackend& slots_;
  Forwarder forwarder_;
  std::unique_ptr<TMailSlotReader> FReader;
};

}  // namespace qvr::client
