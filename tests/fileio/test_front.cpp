#include <gtest/gtest.h>
TEST(Front, Builds) {}
