// An output stream that hands each line written to it, without its line break, to a function:
// the run's own code writes its transcript and messages as text, and the outcome keeps them
// line by line.
#pragma once

#include <functional>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>

namespace vlm::host {

class LineStream : public std::ostream {
 public:
  explicit LineStream(std::function<void(std::string line)> take)
      : std::ostream(&buffer_), buffer_(std::move(take)) {}
  // A last line without its line break is handed on too.
  ~LineStream() override { buffer_.End(); }
  void End() { buffer_.End(); }

 private:
  class Buffer : public std::streambuf {
   public:
    explicit Buffer(std::function<void(std::string)> take) : take_(std::move(take)) {}
    void End() {
      if (!line_.empty()) take_(std::exchange(line_, {}));
    }

   protected:
    int_type overflow(int_type c) override {
      if (c == traits_type::eof()) return traits_type::not_eof(c);
      if (c == '\n')
        take_(std::exchange(line_, {}));
      else
        line_ += static_cast<char>(c);
      return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
      for (std::streamsize i = 0; i < n; ++i)
        overflow(traits_type::to_int_type(s[i]));
      return n;
    }

   private:
    std::function<void(std::string)> take_;
    std::string line_;
  };
  Buffer buffer_;
};

}  // namespace vlm::host
