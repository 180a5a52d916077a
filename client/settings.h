// The client's three settings. One object per program, used on the UI thread only.
#pragma once

#include <string>

namespace qvr {

class TSettings {
 public:
  bool Filter_Message() const { return filter_message_; }
  void SetFilter_Message(bool value) { filter_message_ = value; }

  bool Filter_QVAction_Presenter_SetPage() const { return filter_set_page_; }
  void SetFilter_QVAction_Presenter_SetPage(bool value) { filter_set_page_ = value; }

  // Host name or dotted IPv4 address of the relay server; empty stands for "localhost".
  const std::u16string& Host() const { return host_; }
  void SetHost(std::u16string value) { host_ = std::move(value); }

  bool operator==(const TSettings&) const = default;

 private:
  bool filter_set_page_ = true;
  bool filter_message_ = true;
  std::u16string host_;
};

}  // namespace qvr
