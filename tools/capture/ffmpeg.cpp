#include "tools/capture/ffmpeg.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace capture {
namespace {

// Spawns argv with `input` (or /dev/null when -1) as its standard input and
// standard output sent to standard error, so that the capture's own
// standard output carries only what it prints itself.
pid_t spawn(const std::vector<std::string>& argv, int input) {
    std::vector<char*> args;
    for (const std::string& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) {
        posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, input);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

bool waitOk(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

std::string findInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return "";
    }
    const std::string folders = path;
    std::size_t begin = 0;
    while (begin <= folders.size()) {
        std::size_t end = folders.find(':', begin);
        if (end == std::string::npos) {
            end = folders.size();
        }
        // An empty entry means the working folder.
        const std::string folder = end > begin ? folders.substr(begin, end - begin) : ".";
        const std::string candidate = folder + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        begin = end + 1;
    }
    return "";
}

VideoEncoder::~VideoEncoder() {
    if (pipe_ >= 0 || child_ > 0) {
        finish();
    }
}

bool VideoEncoder::start(const std::string& ffmpeg, const std::string& path, int width, int height, int fps,
                         std::string& why) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        why = std::strerror(errno);
        return false;
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::vector<std::string> argv = {
        ffmpeg,     "-hide_banner", "-loglevel", "error",   "-nostdin", "-y",       "-f",
        "rawvideo", "-pix_fmt",     "rgba",      "-s",      size,       "-r",       std::to_string(fps),
        "-i",       "pipe:0",       "-c:v",      "libx264", "-preset",  "veryfast", "-crf",
        "18",       "-pix_fmt",     "yuv420p",   "-f",      "mp4",      path};
    child_ = spawn(argv, ends[0]);
    close(ends[0]);
    if (child_ < 0) {
        close(ends[1]);
        why = "cannot start " + ffmpeg;
        return false;
    }
    pipe_ = ends[1];
    return true;
}

bool VideoEncoder::write(const std::uint8_t* rgba, std::size_t size) {
    while (size > 0 && pipe_ >= 0) {
        const ssize_t n = ::write(pipe_, rgba, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        rgba += n;
        size -= static_cast<std::size_t>(n);
    }
    return pipe_ >= 0;
}

bool VideoEncoder::finish() {
    if (pipe_ >= 0) {
        close(pipe_);
        pipe_ = -1;
    }
    if (child_ <= 0) {
        return false;
    }
    const bool ok = waitOk(child_);
    child_ = -1;
    return ok;
}

bool runProgram(const std::vector<std::string>& argv) {
    const pid_t pid = spawn(argv, -1);
    return pid > 0 && waitOk(pid);
}

} // namespace capture
