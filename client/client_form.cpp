#include "client/client_form.h"

#include <utility>

namespace qvr::client {

ClientForm::ClientForm(const TSettings& settings, RelayClientOptions options,
                       ipc::SlotBackend& slots)
    : slots_(slots), forwarder_(settings, options) {}

ClientForm::~ClientForm() {
  FormDestroy();
}

void ClientForm::FormCreate() {
  FReader = std::make_unique<TMailSlotReader>(kSenderSlotName, false, slots_);
  FReader->SetOnMessage([this](TMailSlotReader& sender, const std::u16string& text) {
    ForwardMessage(sender, text);
  });
}

void ClientForm::FormDestroy() {
  std::unique_ptr<TMailSlotReader> reader = std::move(FReader);
  reader.reset();
  forwarder_.Disconnect();
}

void ClientForm::ForwardMessage(TMailSlotReader& sender, const std::u16string& text) {
  // The messages queued behind this one go out in the same delivery run, at once: the
  // socket may hold this frame back for them and send all in full segments.
  forwarder_.ForwardMessage(text, sender.HasQueuedMessages());
}

}  // namespace qvr::client
