#include "cli/json_text.hpp"

#include "report/json_escape.hpp"

namespace dpt {

// The reports' escaper already writes exactly what a JSON string needs.
std::string escape_json_text(std::string_view text) { return json_escape(text); }

}  // namespace dpt
