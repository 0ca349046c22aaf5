// A signing service's command line: /bin/sh runs the command with the bytes to
// sign on its standard input (a file, so no pipe can fill up both ways) and its
// standard output read back; its standard error goes to ours.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "signing.h"

extern char** environ;

namespace quarnet::publisher {
namespace {

constexpr std::size_t OUTPUT_LIMIT = 4096;  // far above any signature

std::string exit_text(int status) {
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return std::string("was ended by signal ") + strsignal(WTERMSIG(status));
    return "did not finish";
}

}  // namespace

std::optional<std::string> run_signer_command(const std::string& command, std::string_view input, std::string& error) {
    std::unique_ptr<std::FILE, decltype(&std::fclose)> in(std::tmpfile(), &std::fclose);
    int out[2] = {-1, -1};
    if (!in || std::fwrite(input.data(), 1, input.size(), in.get()) != input.size() || std::fflush(in.get()) != 0 ||
        lseek(fileno(in.get()), 0, SEEK_SET) != 0 || fcntl(fileno(in.get()), F_SETFD, FD_CLOEXEC) != 0 ||
        pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("cannot hand it the bytes to sign: ") + std::strerror(errno);
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(in.get()), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, "/bin/sh", &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        error = std::string("cannot start /bin/sh: ") + std::strerror(spawned);
        return std::nullopt;
    }
    std::string output;
    char block[512];
    ssize_t count = 0;
    while ((count = read(out[0], block, sizeof block)) > 0 || (count < 0 && errno == EINTR)) {
        if (count > 0 && output.size() <= OUTPUT_LIMIT) output.append(block, static_cast<std::size_t>(count));
    }
    close(out[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) continue;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "it " + exit_text(status);
        return std::nullopt;
    }
    if (output.size() > OUTPUT_LIMIT) {
        error = "it printed more than " + std::to_string(OUTPUT_LIMIT) + " bytes, which is no signature";
        return std::nullopt;
    }
    return output;
}

}  // namespace quarnet::publisher
