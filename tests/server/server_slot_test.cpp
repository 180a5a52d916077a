// The server's writer against a real slot owner, as Quelvane holds it.
#include <gtest/gtest.h>

#include "ipc/slot_channel.h"
#include "relay/protocol.h"
#include "server/server_form.h"
#include "tests/server/server_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine.h"

namespace qvr::server {
namespace {

std::string ReadOne(ipc::SlotOwner& owner) {
  std::string buffer(ipc::kSlotMaxMessage, '\0');
  std::size_t length = 0;
  const auto result = owner.Read(buffer.data(), buffer.size(), length);
  EXPECT_EQ(result, ipc::SlotOwner::ReadResult::kMessage);
  buffer.resize(result == ipc::SlotOwner::ReadResult::kMessage ? length : 0);
  return buffer;
}

TEST(ServerSlot, RelayedMessagesAndCommandsReachTheOwnerByteForByte) {
  QVR_SKIP_UNDER_WINE(qvr::test::kWineZeroByteMessages);
  qvr::test::IsolatedUserDirs dirs;
  auto owner = ipc::SystemSlots().Create(kMessagesSlot, ipc::kSlotMaxMessage, 10000);
  ASSERT_NE(owner, nullptr);
  test::UiThread ui;
  auto form = ui.Call([] {
    auto f = std::make_unique<ServerForm>(ServerFormOptions{0, nullptr, nullptr});
    f->FormCreate();
    return f;
  });

  test::TestClient client(form->ListeningPort());
  const std::string high_bytes = std::string(
                                     "Gr\xFC\xDF"
                                     "e \x80\x81\xFF ") +
                                 '\0' + "end";
  client.Send(high_bytes +
              "\x0C"
              "\x0C");
  EXPECT_EQ(ReadOne(*owner), high_bytes);
  EXPECT_EQ(ReadOne(*owner), "");

  EXPECT_THROW(ui.Call([&] { form->TntButton1Click(u"Set Page", u"1", u""); }), std::runtime_error);
  ui.Call([&] { form->TntButton1Click(u"SetPage", u"\u00FCber", u""); });
  EXPECT_EQ(ReadOne(*owner),
            "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
            "<QuelvaneIPC><Remote><SetPage Param1=\"\xFC"
            "ber\" Param2=\"\"/></Remote>"
            "</QuelvaneIPC>\n");
  ui.Call([&] { form.reset(); });
}

TEST(ServerSlot, StartsWithoutAnOwnerAndDeliversOnceOneExists) {
  qvr::test::IsolatedUserDirs dirs;
  test::UiThread ui;
  auto form = ui.Call([] {
    auto f = std::make_unique<ServerForm>(ServerFormOptions{0, nullptr, nullptr});
    f->FormCreate();
    return f;
  });
  test::TestClient client(form->ListeningPort());
  client.Send("nobody listens\x0C");
  ASSERT_TRUE(test::Eventually(
      [&] { return ui.Call([&] { return form->MemoText(); }) == u"nobody listens"; }));
  auto owner = ipc::SystemSlots().Create(kMessagesSlot, ipc::kSlotMaxMessage, 10000);
  ASSERT_NE(owner, nullptr);
  client.Send("now someone does\x0C");
  EXPECT_EQ(ReadOne(*owner), "now someone does");
  ui.Call([&] { form.reset(); });
}

}  // namespace
}  // namespace qvr::server
