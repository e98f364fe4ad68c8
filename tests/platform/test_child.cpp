// A small child program for the process tests. Its first argument picks one behaviour:
//   env                print every environment entry, each followed by a NUL byte
//   echo               copy standard input to standard output until its end
//   exit N             exit with code N
//   kill-self          end by SIGKILL
//   flood N            write N bytes to standard error, then N bytes to standard output
//   close-stdin        close standard input, print "closed\n" and exit 0
//   fds                print the open descriptors, space-separated, ascending
//   sigstate           print the SigIgn and SigBlk lines of /proc/self/status
//   invalid-utf8       print "a\xFF" "b\xE2\x82" and exit
//   pgrp               print "<pid> <process group id>"
//   sleep MS           sleep MS milliseconds, then exit 0
//   grandchild-sleeps  start a grandchild that keeps standard output open and sleeps 60 s,
//                      print "started\n" and sleep 60 s
// Called as "hook-check", it takes its words from the HELPER_HOOK variable instead.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

void write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            std::exit(90);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void write_text(int fd, const std::string& text) { write_all(fd, text.data(), text.size()); }

std::string pattern(std::size_t size, char first) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(first + i % 23);
    return s;
}

int run(const std::vector<std::string>& words) {
    const std::string& what = words.empty() ? std::string() : words[0];
    const auto arg = [&](std::size_t i) { return i < words.size() ? words[i] : std::string("0"); };
    if (what == "env") {
        for (char** e = environ; *e != nullptr; ++e) write_all(1, *e, std::strlen(*e) + 1);
    } else if (what == "echo") {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                return 91;
            }
            write_all(1, buf, static_cast<std::size_t>(n));
        }
    } else if (what == "exit") {
        return std::stoi(arg(1));
    } else if (what == "kill-self") {
        ::raise(SIGKILL);
    } else if (what == "flood") {
        const auto size = static_cast<std::size_t>(std::stoull(arg(1)));
        write_text(2, pattern(size, 'A'));
        write_text(1, pattern(size, 'a'));
    } else if (what == "close-stdin") {
        ::close(0);
        write_text(1, "closed\n");
    } else if (what == "fds") {
        DIR* dir = ::opendir("/proc/self/fd");
        if (dir == nullptr) return 92;
        std::vector<int> fds;
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            const int fd = std::atoi(e->d_name);
            if (fd != ::dirfd(dir)) fds.push_back(fd);
        }
        ::closedir(dir);
        std::sort(fds.begin(), fds.end());
        std::string out;
        for (int fd : fds) out += (out.empty() ? "" : " ") + std::to_string(fd);
        write_text(1, out);
    } else if (what == "sigstate") {
        std::ifstream status("/proc/self/status");
        std::string line, out;
        while (std::getline(status, line)) {
            if (line.rfind("SigIgn:", 0) == 0 || line.rfind("SigBlk:", 0) == 0) out += line + "\n";
        }
        write_text(1, out);
    } else if (what == "invalid-utf8") {
        write_text(1,
                   "a\xFF"
                   "b\xE2\x82");
    } else if (what == "pgrp") {
        write_text(1, std::to_string(::getpid()) + " " + std::to_string(::getpgrp()));
    } else if (what == "sleep") {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(arg(1))));
    } else if (what == "grandchild-sleeps") {
        if (::fork() == 0) {
            ::sleep(60);
            std::_Exit(0);
        }
        write_text(1, "started\n");
        ::sleep(60);
    } else {
        write_text(2, "unknown behaviour: " + what + "\n");
        return 99;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    if (!words.empty() && words[0] == "hook-check") {
        words.clear();
        const char* chosen = std::getenv("HELPER_HOOK");
        std::istringstream in(chosen != nullptr ? chosen : "echo");
        for (std::string w; in >> w;) words.push_back(w);
    }
    return run(words);
}
