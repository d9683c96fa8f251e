// The ffmpeg program, run as a child process: raw frames in through a pipe,
// H.264 out; then the sound joined to the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace capture {

// The first executable `name` in the folders of PATH, or "" when there is none.
std::string findInPath(const std::string& name);

class VideoEncoder {
  public:
    ~VideoEncoder();
    // Starts `ffmpeg` encoding width x height RGBA frames at fps into `path`
    // (H.264, yuv420p). False with a reason when it cannot be started.
    bool start(const std::string& ffmpeg, const std::string& path, int width, int height, int fps, std::string& why);
    // False once ffmpeg has stopped reading (it has said why on standard error).
    bool write(const std::uint8_t* rgba, std::size_t size);
    // Closes the pipe and waits; true when ffmpeg ended with status 0.
    bool finish();

  private:
    int pipe_ = -1;
    pid_t child_ = -1;
};

// Runs a program with arguments, standard error passed on; true on status 0.
bool runProgram(const std::vector<std::string>& argv);

} // namespace capture
