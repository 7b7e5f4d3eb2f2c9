#include "compress/compress_run_state.h"

#include <algorithm>

namespace vellumark {

int Percentage(int64_t a, int64_t b) {
  if (b <= 0) return 0;
  if (b <= 100000) return static_cast<int>(a * 100 / b);
  return static_cast<int>(a / (b / 100));
}

void TCompressRunState::Start(const Setup& setup) {
  source_ = setup.source;
  dest_ = setup.dest;
  in_buffer_ = std::make_unique<uint8_t[]>(kBufferSize);
  out_buffer_ = std::make_unique<uint8_t[]>(kBufferSize);
  in_pos_ = in_end_ = out_pos_ = 0;
  input_length_ = input_left_ = std::max<int64_t>(setup.input_length, 0);
  end_of_input_ = false;
  budget_ = setup.budget;
  bytes_written_ = 0;
  sum_read_ = sum_written_ = 0;
  const auto key = static_cast<uint32_t>(setup.key);
  for (int i = 0; i < 4; ++i) key_bytes_[i] = static_cast<uint8_t>(key >> (8 * i));
  key_index_ = 0;
  unscramble_ = setup.unscramble_input;
  scramble_ = setup.scramble_output;
  progress_ = setup.progress;
}

void TCompressRunState::Finish() {
  if (out_pos_ > 0 && dest_ != nullptr) dest_->Write(out_buffer_.get(), out_pos_);
  out_pos_ = 0;
  Abandon();
}

void TCompressRunState::Abandon() {
  in_buffer_.reset();
  out_buffer_.reset();
  source_ = dest_ = nullptr;
  progress_ = nullptr;
}

bool TCompressRunState::Refill() {
  if (end_of_input_ || input_left_ <= 0) {
    end_of_input_ = true;
    return false;
  }
  const size_t wanted = static_cast<size_t>(std::min<int64_t>(input_left_, kBufferSize));
  const size_t got = source_->Read(in_buffer_.get(), wanted);
  if (got == 0) {
    end_of_input_ = true;
    return false;
  }
  input_left_ -= static_cast<int64_t>(got);
  in_pos_ = 0;
  in_end_ = static_cast<int>(got);
  if (progress_) {
    int percent = Percentage(input_length_ - input_left_, input_length_);
    progress_(percent);
    if (percent == -1) {
      // An abort ends the input as if it were exhausted; the bytes just read are dropped.
      input_left_ = 0;
      in_end_ = 0;
      end_of_input_ = true;
      return false;
    }
  }
  std::this_thread::yield();
  return true;
}

void TCompressRunState::FlushOutput() {
  std::this_thread::yield();
  dest_->Write(out_buffer_.get(), kBufferSize);
  out_pos_ = 0;
}

}  // namespace vellumark
