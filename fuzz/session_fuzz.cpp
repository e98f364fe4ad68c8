// Whatever the session file holds, reading it either gives the string member session_id of
// its top-level object or fails the test with one of the three messages, chosen by what is
// wrong with the bytes: not UTF-8, not one JSON document, or no string session_id.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "entry/capture.hpp"
#include "entry/test_failure.hpp"
#include "platform/utf8.hpp"
#include "race/session.hpp"

namespace {

constexpr std::string_view kAgent = "fuzz_agent";

std::filesystem::path home;

void remove_home() {
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
}

void write_session_file(std::string_view bytes) {
    const std::filesystem::path path = dpt::session_file_path(home, kAgent);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        std::abort();
    if (std::fclose(file) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    unsetenv("DPT_BACKTRACE");
    // The file is rewritten on every run; memory-backed storage keeps that from dominating.
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "session_fuzz_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    home = pattern;
    std::atexit(remove_home);
    std::filesystem::create_directories(dpt::session_file_path(home, kAgent).parent_path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    write_session_file(input);

    // Failure reports go to a capture of this run instead of standard error.
    dpt::install_capture(std::make_shared<dpt::CapturedOutput>());
    std::optional<std::string> id;
    std::optional<std::string> failure;
    try {
        id = dpt::read_session_id(home, kAgent);
    } catch (const dpt::TestFailure& e) {
        failure = e.message;
    }
    dpt::install_capture(nullptr);

    if (!dpt::is_valid_utf8(input)) {
        if (!failure || !failure->starts_with("info.json missing: ")) std::abort();
        return 0;
    }
    const auto document = nlohmann::json::parse(input, nullptr, false);
    if (document.is_discarded()) {
        if (!failure || !failure->starts_with("info.json parse: ") ||
            failure->size() == std::string_view("info.json parse: ").size())
            std::abort();
        return 0;
    }
    if (document.is_object()) {
        const auto member = document.find("session_id");
        if (member != document.end() && member->is_string()) {
            if (!id || *id != member->get<std::string>()) std::abort();
            return 0;
        }
    }
    if (!failure || *failure != "session_id field missing") std::abort();
    return 0;
}
