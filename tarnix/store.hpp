#pragma once

// The message store of one machine: per-agent inboxes under $QDX_HOME/tarnixhold, safe to use
// from any number of processes at once. A message is published with one rename into the inbox and
// claimed with one rename out of it, so each message has exactly one winner among all claimers.

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarnix {

// A failure of the store or the file system; the message is meant for standard error.
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Message {
    std::string sender;
    std::string body;
};

// Why `name` cannot be an agent name (it would leave its directory or clash with the store's own
// entries), or nothing when it is fine.
std::optional<std::string> agent_name_problem(std::string_view name);

// Whether `id` has the form of a session id (letters, digits, '-' and '_'; 1 to 128 bytes), so it
// is safe to use as a file name.
bool is_valid_session_id(std::string_view id);

// A fresh session id: 32 lower-case hex digits from the kernel's random source. Throws StoreError.
std::string new_session_id();

// `text` with '\\', line feed, carriage return and the other control bytes escaped, so it fits on
// one line and can be read back unambiguously.
std::string escape_line(std::string_view text);

// The line that delivers `m`: "[<sender>] <body>\n", both escaped.
std::string format_delivery(const Message& m);

// The on-disk form of a message and its inverse; decode gives nothing for a damaged file.
std::string encode_message(const Message& m);
std::optional<Message> decode_message(std::string_view data);

// What one pass over an inbox did.
struct ClaimResult {
    int delivered = 0;
    // The deliver callback failed; the message it was given went back into the inbox.
    bool output_failed = false;
    // Claimed files that did not hold a message; they stay under claimed/ for inspection.
    std::vector<std::string> damaged;
};

class Store {
  public:
    // `root` is the tarnixhold directory itself.
    explicit Store(std::filesystem::path root);

    // The store of $QDX_HOME (or $HOME/.qdx). Throws StoreError when neither is set.
    static Store from_environment();

    const std::filesystem::path& root() const { return root_; }

    // The agent's state directory. Throws StoreError for a name refused by agent_name_problem.
    std::filesystem::path agent_dir(std::string_view agent) const;
    std::filesystem::path inbox_dir(std::string_view agent) const;
    std::filesystem::path info_path(std::string_view agent) const;
    std::filesystem::path lock_path(std::string_view agent) const;
    std::filesystem::path stop_request_path(std::string_view agent) const;

    // Creates the agent's directories if missing. Throws StoreError.
    void ensure_agent(std::string_view agent) const;

    // Publishes `m` into the agent's inbox (creating the agent's directories if needed) with one
    // rename, so a claimer sees either nothing or the whole message. Throws StoreError.
    void publish(std::string_view agent, const Message& m) const;

    // Claims the agent's pending messages in the order they were sent, handing each to `deliver`,
    // and removes each once delivered. When `deliver` returns false the message is put back into
    // the inbox and the pass stops. Messages another claimer wins are skipped. Throws StoreError
    // when the inbox cannot be read (for instance because the agent's state was removed).
    ClaimResult claim_pending(std::string_view agent,
                              const std::function<bool(const Message&)>& deliver) const;

    // Session entries map a session id to its agent. Throw StoreError on file-system failures.
    void bind_session(std::string_view session_id, std::string_view agent) const;
    void unbind_session(std::string_view session_id) const;
    // The agent of a session, or nothing for an unknown or malformed id.
    std::optional<std::string> agent_of_session(std::string_view session_id) const;

    // The session id recorded in the agent's info.json, or nothing if absent or unreadable.
    std::optional<std::string> recorded_session(std::string_view agent) const;

    // Replaces the agent's info.json with `json_text` in one rename. Throws StoreError.
    void write_info(std::string_view agent, std::string_view json_text) const;

  private:
    std::filesystem::path sessions_dir() const;
    // Writes `data` to a fresh file in `tmp_dir` and renames it to `target`.
    void write_atomically(const std::filesystem::path& tmp_dir, const std::filesystem::path& target,
                          std::string_view data) const;

    std::filesystem::path root_;
};

}  // namespace tarnix
