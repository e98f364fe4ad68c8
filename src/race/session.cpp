#include "race/session.hpp"

#include <nlohmann/json.hpp>
#include <optional>
#include <system_error>

#include "entry/checks.hpp"
#include "platform/files.hpp"
#include "platform/utf8.hpp"

namespace dpt {

namespace {

// Reading the file as text fails for bytes that are not UTF-8 like any other read error.
class TextCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "text"; }
    std::string message(int) const override {
        return "invalid data: stream did not contain valid UTF-8";
    }
};

const TextCategory kTextCategory;

Result<std::string> read_text_file(const std::filesystem::path& path) {
    auto bytes = read_file(path);
    if (!bytes.ok()) return bytes;
    if (!is_valid_utf8(bytes.value())) return std::error_code(1, kTextCategory);
    return bytes;
}

// The parser's own text without its "[json.exception.<kind>.<id>] " tag; it names the
// line and column where reading stopped.
std::string parse_error_text(const nlohmann::json::exception& e) {
    std::string_view what = e.what();
    if (!what.empty() && what.front() == '[') {
        const auto close = what.find("] ");
        if (close != std::string_view::npos) what.remove_prefix(close + 2);
    }
    return std::string(what);
}

}  // namespace

std::filesystem::path session_file_path(const std::filesystem::path& home, std::string_view agent) {
    return home / ".qdx" / "tarnixhold" / std::filesystem::path(agent) / "info.json";
}

std::string read_session_id(const std::filesystem::path& home, std::string_view agent) {
    const std::filesystem::path path = session_file_path(home, agent);
    const std::string text = require_ok(read_text_file(path), "info.json missing");

    nlohmann::json document;
    std::optional<std::string> parse_error;
    try {
        document = nlohmann::json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        parse_error = parse_error_text(e);
    }
    if (parse_error)
        raise_failure("info.json parse: " + *parse_error, std::source_location::current());

    std::optional<std::string> session_id;
    if (document.is_object()) {
        const auto member = document.find("session_id");
        if (member != document.end() && member->is_string()) {
            session_id = member->get<std::string>();
        }
    }
    return require_present(std::move(session_id), "session_id field missing");
}

}  // namespace dpt
