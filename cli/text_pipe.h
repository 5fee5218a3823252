#pragma once
// Text handed from a writing thread to a reader through a stream buffer,
// one chunk at a time, so that text made and read at once is never held
// whole (q7m import builds a module from the source as it is written).
#include <condition_variable>
#include <mutex>
#include <streambuf>
#include <string>
#include <string_view>

class TextPipe : public std::streambuf {
public:
    // Writer: waits until the reader has taken the previous chunk; false
    // once the reader has closed the pipe (the chunk is dropped).
    bool write(std::string_view chunk);
    // Writer: no more text; the reader sees the end after the last chunk.
    void finish();
    // Reader: takes no more text; a waiting or later write returns false.
    void close();

protected:
    int_type underflow() override;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string pending_;   // written, not yet taken
    std::string reading_;   // the chunk the reader is in
    bool hasPending_ = false;
    bool finished_ = false;
    bool closed_ = false;
};
