#include <gtest/gtest.h>

namespace vn::test {
void CreateSandbox();
void RemoveSandbox();
}  // namespace vn::test

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  vn::test::CreateSandbox();
  const int result = RUN_ALL_TESTS();
  vn::test::RemoveSandbox();
  return result;
}
