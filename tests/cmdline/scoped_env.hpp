#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/env.hpp"

namespace dpt::testing {

// Clears every variable the harness reads, applies the given ones, and restores the
// previous values when it goes out of scope.
class ScopedEnv {
  public:
    using Setting = std::pair<std::string, std::optional<std::string>>;
    using Settings = std::vector<Setting>;

    explicit ScopedEnv(const std::vector<Setting>& settings = {}) {
        for (const std::string_view name :
             {kBootstrapVar, kNoCaptureVar, kThreadsVar, kShuffleVar, kShuffleSeedVar, kTimeUnitVar,
              kTimeIntegrationVar, kTimeDocExampleVar}) {
            apply({std::string(name), std::nullopt});
        }
        for (const Setting& setting : settings) apply(setting);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) set(it->first, it->second);
    }

  private:
    void apply(const Setting& setting) {
        const char* old = std::getenv(setting.first.c_str());
        saved_.emplace_back(setting.first, old ? std::optional<std::string>(old) : std::nullopt);
        set(setting.first, setting.second);
    }
    static void set(const std::string& name, const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name.c_str());
        }
    }

    std::vector<Setting> saved_;
};

}  // namespace dpt::testing
