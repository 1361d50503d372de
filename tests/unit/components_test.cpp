#include <gtest/gtest.h>

#include "core/error.h"
#include "platform/linux/components.h"

namespace kartiva {
namespace {

TEST(LocalComponents, CreatesOnlyTheToolkit) {
  linux_os::LocalComponents components;
  EXPECT_NE(components.CreateToolkit("KV5ToolKit.App"), nullptr);
  try {
    components.CreateToolkit("Word.Application");
    ADD_FAILURE() << "created a component that does not exist";
  } catch (const OutrightFailure& failure) {
    EXPECT_EQ(failure.code(), kErrCannotCreateComponent);
  }
}

}  // namespace
}  // namespace kartiva
