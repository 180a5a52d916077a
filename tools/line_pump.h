// Writes lines to a stream from a thread of its own, so that the thread that produces them
// never waits for the consumer of the output. Lines appended while a write is under way go
// out together with the next write: one write per line when they come one by one, large
// writes under a burst. Every write is flushed at once.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace qvr::tools {

class LinePump {
 public:
  explicit LinePump(std::FILE* out);
  // Finishes if Finish has not been called.
  ~LinePump();
  LinePump(const LinePump&) = delete;
  LinePump& operator=(const LinePump&) = delete;

  // Appends `line` and an LF. Waits while much output is still unwritten, so a stalled
  // consumer holds the producer back instead of filling memory. False once writing failed.
  bool Append(std::string_view line);

  // Writes what is left and ends the thread; false when some output could not be written.
  bool Finish();

 private:
  void Run();

  std::FILE* out_;
  std::mutex mutex_;
  std::condition_variable has_lines_;
  std::condition_variable has_room_;
  std::string pending_;  // appended, not yet taken by the writing thread
  bool finishing_ = false;
  bool failed_ = false;
  std::thread thread_;
};

}  // namespace qvr::tools
