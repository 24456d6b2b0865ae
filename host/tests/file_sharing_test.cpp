// Sharing of one file between opens: every pair of access and sharing modes
// in one process and across two, opens held together, a killed holder, racing
// opens, and two x9rec consoles adding to one file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <vector>

#include "x9runx.h"

namespace {

constexpr int32_t kRead = 0, kWrite = 1, kReadWrite = 2;
constexpr int32_t kDenyAll = 0x10, kDenyWrite = 0x20, kDenyRead = 0x30, kDenyNone = 0x40;

std::string hex(int32_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(mode));
    return text;
}

// An open as the sharing table describes it: what it does and what it lets
// the other opens do.
struct OpenRule {
    bool reads, writes, othersMayRead, othersMayWrite;
};

OpenRule ruleOf(int32_t mode) {
    int32_t access = mode & 3, sharing = mode & 0xF0;
    return {access != kWrite, access != kRead, sharing != kDenyAll && sharing != kDenyRead,
            sharing != kDenyAll && sharing != kDenyWrite};
}

bool mayOpenBeside(int32_t inPlace, int32_t next) {
    OpenRule held = ruleOf(inPlace), wanted = ruleOf(next);
    return (!wanted.reads || held.othersMayRead) && (!wanted.writes || held.othersMayWrite) &&
           (!held.reads || wanted.othersMayRead) && (!held.writes || wanted.othersMayWrite);
}

// Every access with every sharing, no sharing bits included.
std::vector<int32_t> allModes() {
    std::vector<int32_t> modes;
    for (int32_t sharing : {0, kDenyAll, kDenyWrite, kDenyRead, kDenyNone})
        for (int32_t access : {kRead, kWrite, kReadWrite}) modes.push_back(sharing | access);
    return modes;
}

std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

bool readAll(int fd, void* data, std::size_t size) {
    auto* at = static_cast<char*>(data);
    while (size > 0) {
        ssize_t n = ::read(fd, at, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Another process that opens the file and closes its opens on request, so a
// test can hold opens outside its own process.
class Peer {
  public:
    explicit Peer(const std::string& file) {
        int requests[2], answers[2];
        if (::pipe(requests) != 0 || ::pipe(answers) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(requests[1]);
            ::close(answers[0]);
            serve(file, requests[0], answers[1]);
        }
        ::close(requests[0]);
        ::close(answers[1]);
        toPeer_ = requests[1];
        fromPeer_ = answers[0];
    }
    ~Peer() {
        ::close(toPeer_);
        ::close(fromPeer_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // The peer's __OsOpenFile answer; -1 when the peer is gone.
    int32_t open(int32_t mode) { return ask(mode); }
    void closeAll() { ask(kCloseAll); }
    void kill() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

  private:
    static constexpr int32_t kCloseAll = -1;

    [[noreturn]] static void serve(const std::string& file, int requests, int answers) {
        std::vector<int32_t> handles;
        int32_t request = 0;
        while (readAll(requests, &request, sizeof request)) {
            int32_t answer = 0;
            if (request == kCloseAll) {
                for (int32_t handle : handles) __OsCloseFile(handle);
                handles.clear();
            } else {
                int32_t handle = 0;
                answer = __OsOpenFile(file.c_str(), &handle, request);
                if (answer == 0) handles.push_back(handle);
            }
            if (::write(answers, &answer, sizeof answer) != sizeof answer) break;
        }
        ::_exit(0);
    }

    int32_t ask(int32_t request) {
        int32_t answer = -1;
        if (::write(toPeer_, &request, sizeof request) != sizeof request) return -1;
        return readAll(fromPeer_, &answer, sizeof answer) ? answer : -1;
    }

    pid_t pid_ = 0;
    int toPeer_ = -1, fromPeer_ = -1;
};

class FileSharing : public ::testing::Test {
  protected:
    FileSharing() { std::ofstream(file) << "0123456789"; }
    ~FileSharing() override {
        for (int32_t handle : held_) __OsCloseFile(handle);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    // Opens the file and keeps the handle until closeAll; answers the error.
    int32_t open(int32_t mode) {
        int32_t handle = -1;
        int32_t error = __OsOpenFile(file.c_str(), &handle, mode);
        if (error == 0) {
            held_.push_back(handle);
        } else {
            EXPECT_EQ(handle, 0) << "a refused open hands out no handle";
        }
        return error;
    }
    void closeAll() {
        for (int32_t handle : held_) EXPECT_EQ(__OsCloseFile(handle), 0);
        held_.clear();
    }
    // With every open closed, an open that denies all and does all gets in
    // only when nothing of the earlier opens is left.
    void expectNothingLeft(const std::string& where) {
        EXPECT_EQ(open(kReadWrite | kDenyAll), 0) << where;
        closeAll();
    }

    static std::filesystem::path makeFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "x9shareXXXXXX").string();
        return mkdtemp(pattern.data());
    }

    const std::filesystem::path root_ = makeFolder();
    const std::string file = (root_ / "f.bin").string();

  private:
    std::vector<int32_t> held_;
};

TEST_F(FileSharing, SpotChecksOfTheRule) {
    struct Case {
        int32_t first, second;
        bool allowed;
        const char* why;
    };
    const Case cases[] = {
        {kReadWrite | kDenyAll, kReadWrite | kDenyAll, false, "the lost-records case"},
        {kRead | kDenyWrite, kRead | kDenyWrite, true, "two readers who both deny writing"},
        {kRead | kDenyWrite, kWrite | kDenyNone, false, "a writer beside one denying write"},
        {kRead | kDenyNone, kRead | kDenyWrite, true, "denying write beside a reader"},
        {kReadWrite | kDenyNone, kRead | kDenyWrite, false, "denying write beside a writer"},
        {kWrite | kDenyRead, kWrite | kDenyRead, true, "two writers who both deny reading"},
        {kWrite | kDenyNone, kRead | kDenyNone, true, "a reader beside a writer"},
        {kReadWrite, kReadWrite | kDenyNone, true, "no sharing bits is deny none"},
        {kRead, kRead | kDenyAll, false, "deny all beside an open without sharing bits"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ASSERT_EQ(mayOpenBeside(c.first, c.second), c.allowed);
        ASSERT_EQ(open(c.first), 0);
        EXPECT_EQ(open(c.second), c.allowed ? 0 : kOsLockViolation);
        closeAll();
    }
}

TEST_F(FileSharing, TableHoldsBetweenOpensOfOneProcess) {
    std::size_t descriptors = openDescriptors();
    for (int32_t first : allModes()) {
        for (int32_t second : allModes()) {
            std::string pair = hex(first) + " then " + hex(second);
            ASSERT_EQ(open(first), 0) << pair;
            EXPECT_EQ(open(second), mayOpenBeside(first, second) ? 0 : kOsLockViolation) << pair;
            closeAll();
            EXPECT_EQ(openDescriptors(), descriptors) << pair;
            expectNothingLeft(pair);
        }
    }
}

TEST_F(FileSharing, TableHoldsBetweenProcesses) {
    Peer peer(file);
    for (int32_t first : allModes()) {
        for (int32_t second : allModes()) {
            std::string pair = hex(first) + " in the other process, then " + hex(second);
            ASSERT_EQ(peer.open(first), 0) << pair;
            EXPECT_EQ(open(second), mayOpenBeside(first, second) ? 0 : kOsLockViolation) << pair;
            closeAll();
            peer.closeAll();
            expectNothingLeft(pair);
        }
    }
}

TEST_F(FileSharing, EveryOpenInPlaceHasItsSay) {
    Peer peer(file);
    ASSERT_EQ(open(kRead | kDenyWrite), 0);
    ASSERT_EQ(peer.open(kRead | kDenyNone), 0);
    EXPECT_EQ(peer.open(kWrite | kDenyNone), kOsLockViolation) << "the first open denies write";
    EXPECT_EQ(open(kRead | kDenyRead), kOsLockViolation) << "both opens read";
    closeAll();
    EXPECT_EQ(peer.open(kWrite | kDenyNone), 0) << "only a reader that denies nothing is left";
    EXPECT_EQ(open(kRead | kDenyAll), kOsLockViolation);
    peer.closeAll();
    expectNothingLeft("after the peer closed");
}

TEST_F(FileSharing, CreateCutsNoFileThatAnotherOpenDeniesWriting) {
    ASSERT_EQ(open(kRead | kDenyWrite), 0);
    int32_t handle = -1;
    EXPECT_EQ(__OsCreateFile(file.c_str(), &handle, 0), kOsLockViolation);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(std::filesystem::file_size(file), 10u);
    closeAll();
    ASSERT_EQ(open(kRead | kDenyNone), 0);
    ASSERT_EQ(__OsCreateFile(file.c_str(), &handle, 0), 0);
    EXPECT_EQ(std::filesystem::file_size(file), 0u);
    EXPECT_EQ(open(kRead | kDenyWrite), kOsLockViolation) << "the created handle writes";
    EXPECT_EQ(__OsCloseFile(handle), 0);
    closeAll();
    expectNothingLeft("after create");
}

TEST_F(FileSharing, AFileTheUserMayOnlyReadOpensForReading) {
    ::chmod(file.c_str(), 0444);
    ASSERT_EQ(open(kRead | kDenyWrite), 0);
    EXPECT_EQ(open(kRead | kDenyNone), 0);
    EXPECT_EQ(open(kRead | kDenyRead), kOsLockViolation);
    closeAll();
    ASSERT_EQ(open(kRead | kDenyAll), 0);
    EXPECT_EQ(open(kRead | kDenyNone), kOsLockViolation);
}

TEST_F(FileSharing, AFileTheUserMayOnlyWriteStillRefusesWhatItMust) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
    ::chmod(file.c_str(), 0222);
    ASSERT_EQ(open(kWrite | kDenyAll), 0);
    EXPECT_EQ(open(kWrite | kDenyNone), kOsLockViolation);
    closeAll();
    ASSERT_EQ(open(kWrite | kDenyNone), 0);
    EXPECT_EQ(open(kWrite | kDenyWrite), kOsLockViolation);
}

TEST_F(FileSharing, AKilledProcessLeavesNoSharingBehind) {
    Peer peer(file);
    ASSERT_EQ(peer.open(kReadWrite | kDenyAll), 0);
    ASSERT_EQ(peer.open(kWrite | kDenyNone), kOsLockViolation);
    ASSERT_EQ(open(kRead | kDenyNone), kOsLockViolation);
    peer.kill();
    expectNothingLeft("after the holder was killed");
}

// Two processes open with deny all as fast as they can; a shared counter of
// the processes inside must never pass one.
TEST_F(FileSharing, RacingExclusiveOpensNeverBothGetIn) {
    struct Shared {
        std::atomic<int> ready{0}, inside{0}, overlaps{0}, strayAnswers{0}, entries{0};
    };
    static_assert(std::atomic<int>::is_always_lock_free);
    void* memory =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* shared = new (memory) Shared;
    auto race = [&] {
        // Both start together, or one could be done before the other forks.
        for (++shared->ready; shared->ready.load() < 2;) ::sched_yield();
        for (int round = 0; round < 2000; ++round) {
            int32_t handle = 0;
            int32_t error = __OsOpenFile(file.c_str(), &handle, kReadWrite | kDenyAll);
            if (error != 0) {
                if (error != kOsLockViolation) ++shared->strayAnswers;
                continue;
            }
            if (++shared->inside != 1) ++shared->overlaps;
            ++shared->entries;
            // Some work while inside, as a holder would do, widens the
            // window in which a second holder would show.
            char data[10];
            uint32_t done = 0;
            __OsReadFile(handle, sizeof data, data, &done);
            if (shared->inside.load() != 1) ++shared->overlaps;
            --shared->inside;
            __OsCloseFile(handle);
        }
    };
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        race();
        ::_exit(0);
    }
    race();
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(shared->overlaps.load(), 0);
    EXPECT_EQ(shared->strayAnswers.load(), 0);
    EXPECT_GT(shared->entries.load(), 0);
    ::munmap(memory, sizeof(Shared));
}

#if !defined(__i386__)
// The 32-bit build runs under an emulator that cannot start another 32-bit
// program.

// An x9rec console fed line by line through a pipe.
class ConsoleProcess {
  public:
    ConsoleProcess() {
        int input[2], output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(input[0], 0);
            ::dup2(output[1], 1);
            ::execl(X9REC_PATH, X9REC_PATH, "DOS", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(output[1]);
        toConsole_ = input[1];
        fromConsole_ = output[0];
    }
    ~ConsoleProcess() { finish(); }
    ConsoleProcess(const ConsoleProcess&) = delete;
    ConsoleProcess& operator=(const ConsoleProcess&) = delete;

    // Sends script lines that print nothing.
    void send(const std::string& line) {
        std::string text = line + "\n";
        if (::write(toConsole_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            ADD_FAILURE() << "the console is gone";
    }
    // Sends one operation and answers its result line (empty when none comes
    // within the safety deadline).
    std::string run(const std::string& line) {
        send(line);
        std::string answer;
        char c = 0;
        pollfd ready{fromConsole_, POLLIN, 0};
        while (::poll(&ready, 1, 20000) == 1 && ::read(fromConsole_, &c, 1) == 1 && c != '\n')
            answer += c;
        return answer;
    }
    void finish() {
        if (pid_ <= 0) return;
        ::close(toConsole_);
        ::close(fromConsole_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

  private:
    pid_t pid_ = 0;
    int toConsole_ = -1, fromConsole_ = -1;
};

TEST_F(FileSharing, SecondConsoleCannotOpenAFileTheFirstDeniesToAll) {
    std::ofstream(file, std::ios::trunc) << "";
    const std::string declare = "decl file=" + file + " fields=18:6";
    ConsoleProcess first;
    first.send(declare);
    ASSERT_EQ(first.run("open 0x12"), "open ret=0 err=0");

    std::filesystem::path script = root_ / "second.x9";
    std::ofstream(script) << declare << "\nopen 0x12\nrec second\nadd\nrec again\nadd\nclose\n";
    std::filesystem::path printed = root_ / "second.out";
    std::string command =
        std::string(X9REC_PATH) + " DOS " + script.string() + " > " + printed.string() + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::stringstream second;
    second << std::ifstream(printed).rdbuf();
    EXPECT_EQ(second.str().substr(0, second.str().find('\n')),
              "open ret=0 err=32 (locked elsewhere)");

    first.send("rec first");
    EXPECT_EQ(first.run("add"), "add ret=0 err=0");
    first.send("rec more");
    EXPECT_EQ(first.run("add"), "add ret=0 err=0");
    EXPECT_EQ(first.run("close"), "close ret=0 err=0");
    first.finish();
    std::stringstream content;
    content << std::ifstream(file, std::ios::binary).rdbuf();
    EXPECT_EQ(content.str(), "first more  ");
}
#endif

}  // namespace
