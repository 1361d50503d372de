#include <gtest/gtest.h>

#include "core/error.h"
#include "platform/posix/components.h"

namespace kartiva {
namespace {

TEST(LocalComponents, CreatesOnlyTheToolkit) {
  posix::LocalComponents components;
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
