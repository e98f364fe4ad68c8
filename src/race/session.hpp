#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace dpt {

// The path of an agent's session file: <home>/.qdx/tarnixhold/<agent>/info.json.
std::filesystem::path session_file_path(const std::filesystem::path& home, std::string_view agent);

// Reads the agent's session file once (no retry, no waiting for it to appear) and returns
// the string member `session_id` of its top-level object, escapes resolved; any string,
// the empty one included, is accepted. Fails the test with "info.json missing" and the
// read error (also when the bytes are not UTF-8), "info.json parse" and the parser's
// message with line and column, or "session_id field missing".
std::string read_session_id(const std::filesystem::path& home, std::string_view agent);

}  // namespace dpt
