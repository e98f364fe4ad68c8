#include "report/reporter.hpp"

namespace dpt {

const TimeThreshold& TimeLimits::for_kind(TestKind kind) const noexcept {
    switch (kind) {
        case TestKind::unit:
            return unit;
        case TestKind::integration:
            return integration;
        case TestKind::documentation_example:
            return documentation_example;
        case TestKind::unspecified:
            return unspecified;
    }
    return unspecified;
}

}  // namespace dpt
