#include "entry/console.hpp"

#include <gtest/gtest.h>

#include "entry/capture.hpp"
#include "entry/run_in_child.hpp"

namespace dpt {
namespace {

TEST(Console, PrintsToTheCaptureWhenInstalledElseToTheStreams) {
    const auto run = testing::run_in_child([] {
        print_out("out1 ");
        print_err("err1 ");
        auto capture = std::make_shared<CapturedOutput>();
        install_capture(capture);
        print_out("captured-out ");
        print_err("captured-err");
        install_capture(nullptr);
        print_out(capture->copy());
        return 0;
    });
    EXPECT_EQ(run.out, "out1 captured-out captured-err");
    EXPECT_EQ(run.err, "err1 ");
}

TEST(CapturedOutput, KeepsBytesAsWritten) {
    CapturedOutput capture;
    const std::string bytes("a\0\xff\xfe", 4);
    capture.append(bytes);
    EXPECT_EQ(capture.copy(), bytes);
}

}  // namespace
}  // namespace dpt
