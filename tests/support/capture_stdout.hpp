#pragma once

#include <iostream>
#include <sstream>
#include <string>
#include <utility>

namespace test_support {

// What one call wrote to std::cout, and how often it flushed the stream.
struct CapturedOutput {
  std::string text;
  int flushes = 0;
};

// Runs `action` with std::cout redirected into memory and returns what it wrote.
template <typename Action>
CapturedOutput captureStdout(Action&& action) {
  class RecordingBuffer : public std::stringbuf {
   public:
    int flushes = 0;

   protected:
    int sync() override {
      ++flushes;
      return std::stringbuf::sync();
    }
  };

  // Restores std::cout even when the action throws (a failed assertion).
  struct Redirect {
    std::streambuf* previous;
    explicit Redirect(std::streambuf* target) : previous(std::cout.rdbuf(target)) {}
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;
    Redirect(Redirect&&) = delete;
    Redirect& operator=(Redirect&&) = delete;
    ~Redirect() { std::cout.rdbuf(previous); }
  };

  RecordingBuffer buffer;
  {
    const Redirect redirect{&buffer};
    std::forward<Action>(action)();
  }
  return CapturedOutput{buffer.str(), buffer.flushes};
}

}  // namespace test_support
