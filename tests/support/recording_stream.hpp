#pragma once

#include <ostream>
#include <sstream>
#include <string>

namespace test_support {

// A string buffer that counts how often its stream was flushed.
class CountingBuffer : public std::stringbuf {
 public:
  int flushes = 0;

 protected:
  int sync() override {
    ++flushes;
    return std::stringbuf::sync();
  }
};

// Holds the buffer, so that it exists before the stream that writes to it.
struct CountingBufferHolder {
  CountingBuffer buffer;
};

// An output stream that keeps what was written to it and counts its flushes.
class RecordingStream : private CountingBufferHolder, public std::ostream {
 public:
  RecordingStream() : std::ostream{&buffer} {}

  [[nodiscard]] std::string text() const { return buffer.str(); }
  [[nodiscard]] int flushes() const { return buffer.flushes; }
};

}  // namespace test_support
