// Runs a program from a test with an argument vector, through no shell, so
// that build and temporary paths holding blanks or quotes reach it as they
// are; its standard output and error are captured or written to files.
#ifndef QOX_TESTS_COMMON_QOX_TEST_RUN_H
#define QOX_TESTS_COMMON_QOX_TEST_RUN_H

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace qoxtest {

// What to run and where its streams go. An empty mOutput or mErrors is
// captured into the outcome; a name is a file written afresh (mode 0600).
// mErrorsToOutput sends standard error where standard output goes.
struct Command
{
    std::vector<std::string> mArguments; // the program (found in PATH when it has no slash) and its arguments
    std::string mFolder;                 // working folder; empty: this process's
    std::vector<std::string> mEnvironment; // NAME=value added to this process's environment
    std::vector<std::string> mUnset;       // names left out of it
    std::string mInput;                    // file read as standard input; empty: /dev/null
    std::string mOutput;
    std::string mErrors;
    bool mErrorsToOutput = false;
};

// The exit code (-1 when the program could not run or died of a signal)
// and what it wrote to the streams captured.
struct Outcome
{
    int mExit = -1;
    std::string mOut;
    std::string mErr;
};

namespace detail {

// In the child: fd becomes the file at path (written afresh), or the pipe's
// writing end.
inline bool Redirect(int fd, const std::string& path, int pipeEnd)
{
    if (path.empty())
        return dup2(pipeEnd, fd) == fd;
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    return file >= 0 && dup2(file, fd) == fd;
}

} // namespace detail

inline Outcome Run(const Command& command)
{
    Outcome outcome;
    if (command.mArguments.empty())
        return outcome;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return outcome;
    if (pipe2(err, O_CLOEXEC) != 0)
    {
        close(out[0]);
        close(out[1]);
        return outcome;
    }
    // Everything the child needs is made before it forks: it only calls
    // what is safe after a fork in a threaded process.
    std::vector<char*> argv;
    for (const std::string& argument : command.mArguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    const auto dropped = [&command](const std::string& entry) {
        for (const std::string& name : command.mUnset)
            if (entry.compare(0, name.size() + 1, name + "=") == 0)
                return true;
        for (const std::string& added : command.mEnvironment)
            if (entry.compare(0, added.find('=') + 1, added, 0, added.find('=') + 1) == 0)
                return true;
        return false;
    };
    for (char** entry = environ; *entry; ++entry)
        if (!dropped(*entry))
            environment.emplace_back(*entry);
    environment.insert(environment.end(), command.mEnvironment.begin(), command.mEnvironment.end());
    std::vector<char*> envp;
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const std::string input = command.mInput.empty() ? "/dev/null" : command.mInput;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0)
    {
        const int in = open(input.c_str(), O_RDONLY | O_CLOEXEC);
        const bool ready = in >= 0 && dup2(in, 0) == 0 && detail::Redirect(1, command.mOutput, out[1]) &&
                           (command.mErrorsToOutput ? dup2(1, 2) == 2 : detail::Redirect(2, command.mErrors, err[1])) &&
                           (command.mFolder.empty() || chdir(command.mFolder.c_str()) == 0);
        if (ready)
            execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    // Both pipes read as they fill, so that neither stream blocks the child.
    pollfd streams[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&outcome.mOut, &outcome.mErr};
    int live = child > 0 ? 2 : 0;
    char buffer[4096];
    while (live > 0)
    {
        if (poll(streams, 2, -1) < 0)
        {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i)
        {
            if (streams[i].fd < 0 || streams[i].revents == 0)
                continue;
            const ssize_t n = read(streams[i].fd, buffer, sizeof buffer);
            if (n > 0)
                texts[i]->append(buffer, static_cast<size_t>(n));
            else if (n < 0 && errno == EINTR)
                continue;
            else
            {
                close(streams[i].fd);
                streams[i].fd = -1;
                --live;
            }
        }
    }
    for (const pollfd& stream : streams)
        if (stream.fd >= 0)
            close(stream.fd);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        outcome.mExit = WEXITSTATUS(status);
    return outcome;
}

// The program run with these arguments, its streams captured.
inline Outcome Run(const std::vector<std::string>& arguments, const std::string& folder = "")
{
    Command command;
    command.mArguments = arguments;
    command.mFolder = folder;
    return Run(command);
}

// Whether a program of that name is found in PATH.
inline bool HaveProgram(const std::string& name)
{
    return Run({"sh", "-c", "command -v \"$1\"", "sh", name}).mExit == 0;
}

} // namespace qoxtest

#endif
