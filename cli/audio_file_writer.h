#pragma once
// Writes a rendered song as a stereo sound file (44,100 Hz unless told) through libsndfile:
// WAV, or FLAC when the name ends in ".flac"; "-" writes WAV to standard
// output. A file is written under a temporary name beside the requested one
// and renamed into place only when complete, so a failed or interrupted
// render never leaves a partial file under the requested name. Standard
// output is streamed: the WAV header first (with the sizes when the length
// is known, else open-ended ones), then the samples as they are rendered.
#include <cstdint>
#include <string>

struct sf_private_tag;

enum class SampleFormat { s16, f32 };

constexpr uint64_t audioLengthUnknown = UINT64_MAX;

struct AudioFileWriter {
    sf_private_tag* file = nullptr;
    std::string path;          // as requested, "-" for standard output
    std::string temporaryPath; // empty when writing to memory
    SampleFormat format = SampleFormat::s16;
    bool streaming = false;    // "-": written straight to standard output
    bool readerGone = false;   // standard output's reader has closed the pipe
    int sampleRate = 44100;    // frames per second; set before audioFileOpen
};

bool isFlacPath(const std::string& path);

// Opens the output; frames is the length when known in advance (else
// audioLengthUnknown), for a stream's header. False with the reason (the
// system's, where it has one).
bool audioFileOpen(AudioFileWriter& writer, const std::string& path, SampleFormat format,
                   uint64_t frames, std::string& reason);
// Appends frames interleaved stereo frames in the writer's format.
bool audioFileWriteS16(AudioFileWriter& writer, const int16_t* samples, uint32_t frames,
                       std::string& reason);
bool audioFileWriteF32(AudioFileWriter& writer, const float* samples, uint32_t frames,
                       std::string& reason);
// Completes the file and puts it in place (renames it, or copies it to
// standard output). On failure nothing is left under the requested name.
bool audioFileFinish(AudioFileWriter& writer, std::string& reason);
// Drops an unfinished file and its temporary name.
void audioFileAbandon(AudioFileWriter& writer);
