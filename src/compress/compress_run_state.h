// `TCompressRunState`: the state of one compression or expansion run. It buffers input and
// output in blocks of 8,192 bytes, enforces the output budget, keeps the sums of the bytes read
// and written, applies the key and reports progress. The coders see it through three
// operations: `ReadByte`, `WriteByte` and `EndOfInput`.
//
// The compressor owns one object for its lifetime; one run uses it at a time. The streams
// given to `Start` must stay alive until `Finish` or `Abandon`.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "compress/compress_errors.h"
#include "compress/stream.h"

namespace vellumark {

// Progress handler: receives the percentage done; setting it to -1 asks to abort.
using TShowProgressEvent = std::function<void(int& PercentageDone)>;

// a * 100 / b for a part a of a whole b, computed so that it does not overflow.
int Percentage(int64_t a, int64_t b);

class TCompressRunState final {
 public:
  static constexpr int kBufferSize = 8192;
  static constexpr int64_t kUnlimitedBudget = 0x7FFFFFFF;

  TCompressRunState() = default;
  TCompressRunState(const TCompressRunState&) = delete;
  TCompressRunState& operator=(const TCompressRunState&) = delete;

  struct Setup {
    TStream* source = nullptr;
    TStream* dest = nullptr;
    int64_t input_length = 0;           // bytes to read from the source
    int64_t budget = kUnlimitedBudget;  // bytes the run may write
    int32_t key = 0;
    bool unscramble_input = false;
    bool scramble_output = false;
    TShowProgressEvent progress;  // may be empty
  };

  // Allocates both buffers and resets counts, sums and the key index.
  void Start(const Setup& setup);
  // Writes what is left in the output buffer, then frees the buffers.
  void Finish();
  // Frees the buffers without writing (after a coder raised).
  void Abandon();

  // Delivers the next input byte in `b` and returns true, or sets `b` to 0 and returns false
  // at the end of input (also once the progress handler asked to abort).
  bool ReadByte(uint8_t& b) {
    if (in_pos_ == in_end_ && !Refill()) {
      b = 0;
      return false;
    }
    b = in_buffer_[in_pos_++];
    sum_read_ += b;
    if (unscramble_) {
      b ^= key_bytes_[key_index_];
      key_index_ = (key_index_ + 1) & 3;
    }
    return true;
  }

  // Raises `EUnableToCompress` when the budget is spent.
  void WriteByte(uint8_t b) {
    if (budget_ <= 0) throw EUnableToCompress();
    --budget_;
    if (out_pos_ == kBufferSize) FlushOutput();
    if (scramble_) {
      b ^= key_bytes_[key_index_];
      key_index_ = (key_index_ + 1) & 3;
    }
    out_buffer_[out_pos_++] = b;
    sum_written_ += b;
    ++bytes_written_;
  }

  bool EndOfInput() const { return end_of_input_; }

  int64_t BytesWritten() const { return bytes_written_; }
  uint32_t SumRead() const { return sum_read_; }
  uint32_t SumWritten() const { return sum_written_; }

 private:
  bool Refill();
  void FlushOutput();

  TStream* source_ = nullptr;             // not owned
  TStream* dest_ = nullptr;               // not owned
  std::unique_ptr<uint8_t[]> in_buffer_;  // kBufferSize bytes during a run
  int in_pos_ = 0;                        // next byte to deliver
  int in_end_ = 0;                        // bytes held in the input buffer
  int64_t input_length_ = 0;              // the run's whole input length, for progress
  int64_t input_left_ = 0;                // input bytes still to be read from the source
  bool end_of_input_ = false;
  std::unique_ptr<uint8_t[]> out_buffer_;  // kBufferSize bytes during a run
  int out_pos_ = 0;                        // fill position of the output buffer
  int64_t budget_ = 0;                     // bytes the run may still write
  int64_t bytes_written_ = 0;
  uint32_t sum_read_ = 0;      // sum of the bytes read, before unscrambling; wraps
  uint32_t sum_written_ = 0;   // sum of the bytes written, as stored; wraps
  uint8_t key_bytes_[4] = {};  // the key, least significant byte first
  int key_index_ = 0;          // next key byte, 0 to 3
  bool unscramble_ = false;    // input bytes are combined with the key
  bool scramble_ = false;      // output bytes are combined with the key
  TShowProgressEvent progress_;
};

}  // namespace vellumark
