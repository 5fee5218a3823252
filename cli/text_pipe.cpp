#include "cli/text_pipe.h"

bool TextPipe::write(std::string_view chunk) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !hasPending_ || closed_; });
    if (closed_) return false;
    if (chunk.empty()) return true;  // nothing to hand over
    pending_.assign(chunk);
    hasPending_ = true;
    changed_.notify_all();
    return true;
}

void TextPipe::finish() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
}

void TextPipe::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

TextPipe::int_type TextPipe::underflow() {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return hasPending_ || finished_; });
    if (!hasPending_) return traits_type::eof();
    reading_.swap(pending_);
    hasPending_ = false;
    changed_.notify_all();
    setg(reading_.data(), reading_.data(), reading_.data() + reading_.size());
    return traits_type::to_int_type(*gptr());
}
