#include "store.hpp"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

namespace tarnix {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t max_agent_name = 200;
constexpr std::size_t max_session_id = 128;
constexpr std::size_t max_state_file = 1 << 20;

std::string errno_text(int err) { return fmt::format("{} (errno {})", std::strerror(err), err); }

[[noreturn]] void fail(std::string_view what, const fs::path& path, int err) {
    throw StoreError(fmt::format("{} {}: {}", what, path.string(), errno_text(err)));
}

void random_bytes(void* buf, std::size_t len) {
    auto* out = static_cast<unsigned char*>(buf);
    while (len > 0) {
        ssize_t n = getrandom(out, len, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw StoreError("cannot read the kernel's random source: " + errno_text(errno));
        }
        out += n;
        len -= static_cast<std::size_t>(n);
    }
}

std::string random_hex(std::size_t bytes) {
    std::vector<unsigned char> buf(bytes);
    random_bytes(buf.data(), buf.size());
    std::string out;
    out.reserve(bytes * 2);
    for (unsigned char b : buf) out += fmt::format("{:02x}", b);
    return out;
}

void make_dir(const fs::path& dir) {
    if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return;
    if (errno == ENOENT) {
        make_dir(dir.parent_path());
        if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) return;
    }
    fail("cannot create directory", dir, errno);
}

void write_all(int fd, std::string_view data, const fs::path& path) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("cannot write", path, errno);
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Reads a file whole, without following a final symbolic link; nothing if it is absent,
// unreadable or larger than `limit`.
std::optional<std::string> read_whole_file(const fs::path& path, std::size_t limit) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || data.size() + static_cast<std::size_t>(n) > limit) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

// A small state file: anything implausibly large is refused.
std::optional<std::string> read_small_file(const fs::path& path) {
    return read_whole_file(path, max_state_file);
}

// A claimed message has no size limit of its own here, since `send` already bounded it.
std::optional<std::string> read_message_file(const fs::path& path) {
    return read_whole_file(path, std::numeric_limits<std::size_t>::max());
}

// Inbox names sort in the order the messages were sent: wall-clock nanoseconds first, then the
// sender's pid and random bits so two senders in the same nanosecond never collide.
std::string new_message_name() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long ns = static_cast<unsigned long long>(ts.tv_sec) * 1000000000ULL +
                            static_cast<unsigned long long>(ts.tv_nsec);
    return fmt::format("{:020}-{:010}-{}", ns, static_cast<long>(::getpid()), random_hex(4));
}

}  // namespace

std::optional<std::string> agent_name_problem(std::string_view name) {
    if (name.empty()) return "the agent name is empty";
    if (name.size() > max_agent_name)
        return fmt::format("the agent name is longer than {} bytes", max_agent_name);
    if (name.find('/') != std::string_view::npos) return "the agent name contains '/'";
    if (name.find("..") != std::string_view::npos) return "the agent name contains '..'";
    if (name.front() == '.') return "the agent name starts with '.'";
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f) return "the agent name contains a control character";
    return std::nullopt;
}

bool is_valid_session_id(std::string_view id) {
    if (id.empty() || id.size() > max_session_id) return false;
    return std::all_of(id.begin(), id.end(), [](unsigned char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-' || c == '_';
    });
}

std::string new_session_id() { return random_hex(16); }

std::string escape_line(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += '\t';
                break;
            default:
                if (c < 0x20 || c == 0x7f)
                    out += fmt::format("\\x{:02x}", c);
                else
                    out += static_cast<char>(c);
        }
    }
    return out;
}

std::string format_delivery(const Message& m) {
    return "[" + escape_line(m.sender) + "] " + escape_line(m.body) + "\n";
}

std::string encode_message(const Message& m) {
    return std::to_string(m.sender.size()) + "\n" + m.sender + m.body;
}

std::optional<Message> decode_message(std::string_view data) {
    auto nl = data.find('\n');
    if (nl == std::string_view::npos || nl == 0 || nl > 20) return std::nullopt;
    std::size_t len = 0;
    auto [end, ec] = std::from_chars(data.data(), data.data() + nl, len);
    if (ec != std::errc() || end != data.data() + nl) return std::nullopt;
    std::string_view rest = data.substr(nl + 1);
    if (len > rest.size()) return std::nullopt;
    return Message{std::string(rest.substr(0, len)), std::string(rest.substr(len))};
}

Store::Store(fs::path root) : root_(std::move(root)) {}

Store Store::from_environment() {
    const char* qdx = std::getenv("QDX_HOME");
    if (qdx && *qdx) return Store(fs::path(qdx) / "tarnixhold");
    const char* home = std::getenv("HOME");
    if (home && *home) return Store(fs::path(home) / ".qdx" / "tarnixhold");
    throw StoreError("neither QDX_HOME nor HOME is set");
}

fs::path Store::agent_dir(std::string_view agent) const {
    if (auto problem = agent_name_problem(agent)) throw StoreError(*problem);
    return root_ / std::string(agent);
}

fs::path Store::inbox_dir(std::string_view agent) const { return agent_dir(agent) / "inbox"; }
fs::path Store::info_path(std::string_view agent) const { return agent_dir(agent) / "info.json"; }
fs::path Store::lock_path(std::string_view agent) const {
    return agent_dir(agent) / "listener.lock";
}
fs::path Store::stop_request_path(std::string_view agent) const {
    return agent_dir(agent) / "stop-request";
}
fs::path Store::sessions_dir() const { return root_ / ".sessions"; }

void Store::ensure_agent(std::string_view agent) const {
    fs::path dir = agent_dir(agent);
    make_dir(dir / "inbox");
    make_dir(dir / "tmp");
    make_dir(dir / "claimed");
}

void Store::write_atomically(const fs::path& tmp_dir, const fs::path& target,
                             std::string_view data) const {
    fs::path tmp =
        tmp_dir / fmt::format(".{}-{}.tmp", static_cast<long>(::getpid()), random_hex(8));
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) fail("cannot create", tmp, errno);
    try {
        write_all(fd, data, tmp);
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail("cannot write", tmp, err);
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        fail("cannot publish", target, err);
    }
}

void Store::publish(std::string_view agent, const Message& m) const {
    ensure_agent(agent);
    fs::path dir = agent_dir(agent);
    write_atomically(dir / "tmp", dir / "inbox" / new_message_name(), encode_message(m));
}

ClaimResult Store::claim_pending(std::string_view agent,
                                 const std::function<bool(const Message&)>& deliver) const {
    fs::path dir = agent_dir(agent);
    fs::path inbox = dir / "inbox";
    fs::path claimed = dir / "claimed";
    make_dir(claimed);

    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(inbox, ec);
    if (ec) throw StoreError(fmt::format("cannot read inbox {}: {}", inbox.string(), ec.message()));
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (!name.empty() && name.front() != '.') names.push_back(std::move(name));
    }
    if (ec) throw StoreError(fmt::format("cannot read inbox {}: {}", inbox.string(), ec.message()));
    std::sort(names.begin(), names.end());

    // The claimer's pid makes the claimed name private to this process.
    const std::string tag = std::to_string(static_cast<long>(::getpid()));
    ClaimResult result;
    for (const auto& name : names) {
        fs::path src = inbox / name;
        fs::path dst = claimed / (name + "." + tag);
        if (::rename(src.c_str(), dst.c_str()) != 0) {
            if (errno == ENOENT) continue;  // another claimer won it
            fail("cannot claim", src, errno);
        }
        auto data = read_message_file(dst);
        auto message = data ? decode_message(*data) : std::nullopt;
        if (!message) {
            // Kept where it is for inspection: printing a damaged file would deliver garbage.
            result.damaged.push_back(dst.string());
            continue;
        }
        if (!deliver(*message)) {
            ::rename(dst.c_str(), src.c_str());
            result.output_failed = true;
            return result;
        }
        ::unlink(dst.c_str());
        ++result.delivered;
    }
    return result;
}

void Store::bind_session(std::string_view session_id, std::string_view agent) const {
    if (!is_valid_session_id(session_id)) throw StoreError("malformed session id");
    agent_dir(agent);  // validates the name
    make_dir(sessions_dir());
    write_atomically(sessions_dir(), sessions_dir() / std::string(session_id), agent);
}

void Store::unbind_session(std::string_view session_id) const {
    if (!is_valid_session_id(session_id)) return;
    fs::path entry = sessions_dir() / std::string(session_id);
    if (::unlink(entry.c_str()) != 0 && errno != ENOENT) fail("cannot remove", entry, errno);
}

std::optional<std::string> Store::agent_of_session(std::string_view session_id) const {
    if (!is_valid_session_id(session_id)) return std::nullopt;
    auto agent = read_small_file(sessions_dir() / std::string(session_id));
    if (!agent || agent_name_problem(*agent)) return std::nullopt;
    return agent;
}

std::optional<std::string> Store::recorded_session(std::string_view agent) const {
    auto text = read_small_file(info_path(agent));
    if (!text) return std::nullopt;
    auto doc = nlohmann::json::parse(*text, nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    auto it = doc.find("session_id");
    if (it == doc.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

void Store::write_info(std::string_view agent, std::string_view json_text) const {
    fs::path dir = agent_dir(agent);
    make_dir(dir / "tmp");
    write_atomically(dir / "tmp", dir / "info.json", json_text);
}

}  // namespace tarnix
